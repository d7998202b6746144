# Cross-builds the command-line tools for 64-bit Windows with Debian's MinGW-w64
# (package g++-mingw-w64-x86-64-posix: the POSIX thread model, which std::thread needs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEXIL_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${VEXIL_MINGW_PREFIX}-gcc-posix ${VEXIL_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VEXIL_MINGW_PREFIX}-g++-posix ${VEXIL_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VEXIL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VEXIL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -O2 rather than CMake's -O3 for Release: with -O3, MinGW-w64's GCC 12 inlines
# libstdc++'s string and vector code far enough to report writes past the end that
# cannot happen (-Wrestrict, -Warray-bounds, -Wstringop-overflow on operator+ and
# insert). -O2 is also what the Linux builds run with (RelWithDebInfo).
# (Set as cache entries: CMake's Windows-GNU platform file appends -O3 to the _INIT
# values, and the later flag would win.)
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags for Release builds")
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags for Release builds")

# The executables carry the C++ runtime and winpthreads inside, so they run on a
# Windows machine with nothing else installed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the test programs under Wine. Debian 12's wine64 package puts the loader
# in /usr/lib/wine; the wine package adds /usr/bin/wine64 (or wine) in front of it.
find_program(VEXIL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VEXIL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXIL_WINE})
endif()
