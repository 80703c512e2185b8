# make build: the shipped launcher, i686, in $(BUILD).
# make test:  both architectures, then every test on the one this machine runs.
# make demo:  both architectures, then the launcher under Wine against local servers.
BUILD ?= build
BUILD64 ?= $(BUILD)-x86_64
FUZZ_SECONDS ?= 600

.PHONY: all deps deps-x86_64 build build-x86_64 test demo fuzz clean

all: build

deps:
	scripts/install-deps.sh
	scripts/build-poco.sh i686

deps-x86_64: deps
	scripts/build-poco.sh x86_64

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake

$(BUILD64)/build.ninja: | deps-x86_64
	cmake -S . -B $(BUILD64) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	      -DTARNHOLD_SHIPPED_BUILD_DIR=$(abspath $(BUILD))

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j2

build-x86_64: deps-x86_64 $(BUILD64)/build.ninja
	cmake --build $(BUILD64) -j2

test: build build-x86_64
	scripts/run-tests.sh $(BUILD) $(BUILD64)

demo: build build-x86_64
	scripts/demo.sh $(BUILD) $(BUILD64)

fuzz: deps
	scripts/fuzz.sh $(FUZZ_SECONDS) $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD64)
