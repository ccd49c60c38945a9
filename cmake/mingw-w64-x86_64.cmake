# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The engine's tests then run under wine64 through ctest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
# The posix thread model gives std::thread and std::mutex with GCC 12.
find_program(CMAKE_C_COMPILER NAMES ${_triple}-gcc-posix ${_triple}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_triple}-g++-posix ${_triple}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Without Qt, static executables: wine (and a plain Windows machine) needs no MinGW
# runtime DLLs. Qt's DLLs import the runtime DLLs, so a build with Qt (this file chained
# from Qt's own toolchain) shares them rather than carrying a second C++ runtime.
if(NOT DEFINED QT_CHAINLOAD_TOOLCHAIN_FILE)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endif()

# Debian installs the 64-bit loader outside PATH.
find_program(WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(WINE64 NAMES wine64 wine)
# Tests (and their discovery at build time) run under wine with a prefix of the build's
# own, created on first use; WINEPREFIX from the environment wins.
if(WINE64)
  if(DEFINED ENV{WINEPREFIX})
    set(_prefix $ENV{WINEPREFIX})
  else()
    set(_prefix ${CMAKE_BINARY_DIR}/wineprefix)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${_prefix} WINEDEBUG=-all ${WINE64})
  set(SORTI_WINEPREFIX ${_prefix})
endif()
