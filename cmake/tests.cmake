# Tests: GoogleTest executables run under Wine, helper executables the
# integration tests drive, and the pytest suites that drive the launcher.
enable_testing()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(wine_run ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
# Tests of the shipped file itself read the i686 launcher whichever
# architecture the suite runs on.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(shipped_build_default ${CMAKE_BINARY_DIR})
else()
    set(shipped_build_default ${CMAKE_SOURCE_DIR}/build)
endif()
set(TARNHOLD_SHIPPED_BUILD_DIR ${shipped_build_default} CACHE PATH "Build folder of the shipped i686 launcher")
set(test_env
    "TARNHOLD_ARCH=${CMAKE_SYSTEM_PROCESSOR}"
    "TARNHOLD_SHIPPED_LAUNCHER=${TARNHOLD_SHIPPED_BUILD_DIR}/TarnholdLauncher.exe"
    "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix"
    "TARNHOLD_BUILD_DIR=${CMAKE_BINARY_DIR}"
    "TARNHOLD_SOURCE_DIR=${CMAKE_SOURCE_DIR}")

# Each unit test runs in a fresh folder of its own, which becomes its current
# directory (the launcher works relative to its current directory too).
file(GLOB unit_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cpp)
foreach(source ${unit_test_sources})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source} $<TARGET_OBJECTS:launcher_resources>)
    target_link_libraries(${name} PRIVATE launcher_core gtest_main gmock)
    target_link_options(${name} PRIVATE -mconsole)
    add_test(NAME ${name}
        COMMAND ${wine_run} --fresh-dir ${CMAKE_BINARY_DIR}/testwork/${name} $<TARGET_FILE:${name}>)
    # The unit tests share one Wine registry; the ones that touch the launcher's
    # own keys must not run side by side.
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${test_env}" RESOURCE_LOCK registry TIMEOUT 600)
endforeach()

file(GLOB helper_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/helpers/*.cpp)
foreach(source ${helper_sources})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source} $<TARGET_OBJECTS:launcher_resources>)
    target_link_libraries(${name} PRIVATE launcher_core)
    target_link_options(${name} PRIVATE -mconsole)
    list(APPEND helper_targets ${name})
endforeach()

file(GLOB tool_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*.cpp)
foreach(source ${tool_sources})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source} $<TARGET_OBJECTS:launcher_resources>)
    target_link_libraries(${name} PRIVATE launcher_core)
    target_link_options(${name} PRIVATE -mconsole)
endforeach()

file(GLOB integration_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/integration/test_*.py)
foreach(source ${integration_tests})
    get_filename_component(name ${source} NAME_WE)
    add_test(NAME ${name}
        COMMAND /usr/bin/python3 -m pytest -q -p no:cacheprovider ${source}
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/integration)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${test_env}" RESOURCE_LOCK registry TIMEOUT 1200)
endforeach()

# The publisher's own sources live in tools/publisher/, since every
# tools/*.cpp is an executable of its own.
file(GLOB publisher_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/publisher/*.cpp)
target_sources(publisher PRIVATE ${publisher_sources})

# Folders include only their own headers and those of the folders below them.
add_test(NAME include_layers
    COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/check_layers.py ${CMAKE_SOURCE_DIR})

# A short run of every fuzz target (the codec and the parsers of server
# data), built natively with the sanitizers.
add_test(NAME native_fuzz COMMAND ${CMAKE_SOURCE_DIR}/scripts/fuzz.sh 20 ${CMAKE_BINARY_DIR})
# Alone: its sanitizer builds and runs would starve the Wine tests of the
# machine's cores and turn their time limits into chance.
set_tests_properties(native_fuzz PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE)

# The stand-in game, named as the launcher looks for it, in a folder of its own.
add_executable(standin_game WIN32 ${CMAKE_SOURCE_DIR}/tools/game/standin_game.cpp)
target_link_options(standin_game PRIVATE -municode)
set_target_properties(standin_game PROPERTIES OUTPUT_NAME Tarnhold RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/game)
