# make demo: build and start the launcher under Wine against local servers.
# make test: build and run every test (installs what it needs first).
BUILD ?= build
FUZZ_SECONDS ?= 600

.PHONY: all deps build test demo fuzz bench clean

all: build

deps:
	scripts/install-deps.sh
	scripts/build-poco.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j2

test: build
	scripts/run-tests.sh $(BUILD)

demo: build
	scripts/demo.sh $(BUILD)

fuzz: deps
	scripts/fuzz.sh $(FUZZ_SECONDS) $(BUILD)

clean:
	rm -rf $(BUILD)
