# Cross toolchain: 32-bit Windows (i686), the shipped launcher.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
