#!/usr/bin/env bash
# Cross-builds the engine (tags/, platform/mp3info, tools/tagprobe) and its tests for
# 64-bit Windows with MinGW-w64 into build-win/ and runs them under wine64 with ctest.
# A wine that cannot start is an error, never a pass.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

wine=$(command -v wine64 || true)
[ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
wineserver=$(command -v wineserver || true)
[ -z "$wineserver" ] && [ -x /usr/lib/wine/wineserver64 ] && wineserver=/usr/lib/wine/wineserver64
loud() { printf '\n!!!!!!!!!! WINDOWS TESTS: %s\n\n' "$1" >&2; exit 1; }
[ -n "$wine" ] && [ -n "$wineserver" ] || loud "wine64 is not installed (Debian package wine64)"
command -v x86_64-w64-mingw32-g++-posix >/dev/null || loud "MinGW-w64 is not installed (g++-mingw-w64-x86-64)"

echo "== the engine's tests built for Windows, under wine"
mkdir -p build-win
# The wine prefix belongs to the build; no display: wine runs console programs without X.
export WINEPREFIX=$PWD/build-win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
# No wine server of this prefix outlives the script, however it ends.
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
# The first start creates the prefix and takes a while.
timeout 600 "$wine" wineboot -i >/dev/null 2>&1 || loud "wineboot failed in $WINEPREFIX"
# One server for every test program: a program started just as an idle server
# shuts down may fail to connect.
timeout 60 "$wineserver" -w || true
"$wineserver" -p || loud "wineserver does not start"
[ "$(timeout 120 "$wine" cmd /c echo wine-ok </dev/null 2>/dev/null | tr -d '\r')" = wine-ok ] ||
  loud "wine64 cannot run a Windows program (cmd /c echo)"

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSORTIMENTOR_GUI=OFF -DSORTIMENTOR_BENCH=OFF >/dev/null
cmake --build build-win -j"$jobs"
# Qt for Windows cannot be installed here: the Qt parts are at least compiled for
# Windows (syntax only) against Debian's Qt headers, so their Windows branches build.
qt=$(pkg-config --variable=includedir Qt6Core 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)
# The window's form header comes from uic, as the real build makes it.
forms=build-win/forms
mkdir -p "$forms"
uic=$(qtpaths6 --query QT_HOST_LIBEXECS 2>/dev/null || echo /usr/lib/qt6/libexec)/uic
for ui in app/*.ui; do "$uic" "$ui" -o "$forms/ui_$(basename "$ui" .ui).h" || loud "uic cannot compile $ui"; done
printf '%s\n' platform/*.cpp app/*.cpp ui/*.cpp |
  xargs -P"$jobs" -n1 x86_64-w64-mingw32-g++-posix -std=c++20 -fsyntax-only -Wall -Wextra -Werror -Wno-attributes \
    -I"$qt" -I"$qt/QtCore" -I"$qt/QtGui" -I"$qt/QtWidgets" -Iplatform -Iplatform/mp3info -Itags -Iapp -Iui -I"$forms" ||
  loud "the Qt parts do not compile for Windows (errors above)"
help=$("$wine" build-win/tools/tagprobe.exe --help 2>/dev/null || true)
[[ "$help" == Usage:* ]] || loud "tagprobe.exe does not run under wine"
cd build-win && ctest --output-on-failure -j"$jobs" --timeout 300
