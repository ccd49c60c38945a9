#!/usr/bin/env bash
# Cross-builds the whole program (the window with Qt for Windows, tagprobe and every
# test) for 64-bit Windows with MinGW-w64 into build-win/ and runs the tests under
# wine64 with ctest. Without Qt for Windows (scripts/qt-mingw.sh), only the engine
# and its tests, and it says so loudly. A wine that cannot start is an error, never a pass.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

wine=$(command -v wine64 || true)
[ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
wineserver=$(command -v wineserver || true)
[ -z "$wineserver" ] && [ -x /usr/lib/wine/wineserver64 ] && wineserver=/usr/lib/wine/wineserver64
loud() { printf '\n!!!!!!!!!! WINDOWS TESTS: %s\n\n' "$1" >&2; }
fail() { loud "$1"; exit 1; }
[ -n "$wine" ] && [ -n "$wineserver" ] || fail "wine64 is not installed (Debian package wine64)"
command -v x86_64-w64-mingw32-g++-posix >/dev/null || fail "MinGW-w64 is not installed (g++-mingw-w64-x86-64)"

configure=(cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DSORTIMENTOR_GUI=OFF)
if qt=$(bash scripts/qt-mingw.sh --no-build | tail -1); then
  echo "== the whole program built for Windows (Qt in $qt), its tests under wine"
  configure=("$qt/bin/qt-cmake" -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake")
  # A tree configured without Qt cannot take it afterwards.
  grep -qs qt.toolchain.cmake build-win/CMakeCache.txt || rm -rf build-win
else
  loud "no Qt for Windows at hand: the window is NOT built for Windows, only the engine (bash scripts/qt-mingw.sh builds Qt)"
  grep -qs qt.toolchain.cmake build-win/CMakeCache.txt && rm -rf build-win
fi
mkdir -p build-win
# The wine prefix belongs to the build; no display: the tests run offscreen.
export WINEPREFIX=$PWD/build-win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
# No wine server of this prefix outlives the script, however it ends.
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
# The first start creates the prefix and takes a while.
timeout 600 "$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot failed in $WINEPREFIX"
# One server for every test program: a program started just as an idle server
# shuts down may fail to connect.
timeout 60 "$wineserver" -w || true
"$wineserver" -p || fail "wineserver does not start"
[ "$(timeout 120 "$wine" cmd /c echo wine-ok </dev/null 2>/dev/null | tr -d '\r')" = wine-ok ] ||
  fail "wine64 cannot run a Windows program (cmd /c echo)"

"${configure[@]}" -S . -B build-win -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORTIMENTOR_BENCH=OFF >/dev/null
cmake --build build-win -j"$jobs"
tagprobe=build-win/bin/tagprobe.exe
[ -f "$tagprobe" ] || tagprobe=build-win/tools/tagprobe.exe
help=$("$wine" "$tagprobe" --help 2>/dev/null || true)
[[ "$help" == Usage:* ]] || fail "tagprobe.exe does not run under wine"
cd build-win && ctest --output-on-failure -j"$jobs" --timeout 300
