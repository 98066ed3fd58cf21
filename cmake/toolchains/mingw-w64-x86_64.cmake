# Cross-builds the Windows console program with mingw-w64 (x86_64).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(UITRANS_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${UITRANS_MINGW_PREFIX}-gcc-win32 ${UITRANS_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${UITRANS_MINGW_PREFIX}-g++-win32 ${UITRANS_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${UITRANS_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${UITRANS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The tests run on the build machine: the Linux build's end-to-end tests
# drive this program under wine (UITRANS_WINDOWS_EXE).
set(UITRANS_BUILD_TESTS OFF CACHE BOOL "Build the test suite")
