# Cross-builds Quillet for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64-posix),
# and runs what it builds, the tests among them, under wine:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The "posix" flavour has the threads of C++ (std::thread, std::mutex) that the tree's workers
# take; the "win32" one has none. GoogleTest's build asks for C too.
set(QUILLET_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${QUILLET_MINGW_PREFIX}-g++-posix ${QUILLET_MINGW_PREFIX}-g++
             REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${QUILLET_MINGW_PREFIX}-gcc-posix ${QUILLET_MINGW_PREFIX}-gcc
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QUILLET_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLET_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program built runs under wine: ctest starts the tests so, and gtest_discover_tests lists
# them so. The 64-bit loader needs no 32-bit wine.
find_program(QUILLET_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(QUILLET_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLET_WINE})
endif()
