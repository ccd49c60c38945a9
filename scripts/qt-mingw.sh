#!/usr/bin/env bash
# Provides Qt 6.4.2 (qtbase) built for 64-bit Windows with Debian's MinGW-w64 and prints
# its install prefix as the last line. Taken from ../shared/qt6-mingw/ after checking
# its SHA-256; without that file, built from Debian 12's own qt6-base source package
# (about 70 minutes on two cores). The result is cached outside the clone.
#   bash scripts/qt-mingw.sh            -> prints e.g. /root/.cache/sortimentor/qt6-mingw-6.4.2/qt6-mingw
#   bash scripts/qt-mingw.sh --no-build -> the same, but fails at once where it would have to build
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
version=6.4.2
tar_sha=f6fb0cf5b4fe338b2f00c29abb1615b1ad1d821fd6f5ad9970fc6d615b29ece7
src_sha=4f14b89a9463a540fd84a6718b8519a2297119b454ef547721015a9e9019ae9e
cache=${SORTIMENTOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/sortimentor}/qt6-mingw-$version
prefix=$cache/qt6-mingw
shipped=${QT_MINGW_TARBALL:-$here/../shared/qt6-mingw/qt6-mingw-$version.tar.xz}

if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi
mkdir -p "$cache"

if [ -f "$shipped" ]; then
  echo "$tar_sha  $shipped" | sha256sum -c --quiet - >&2 || { echo "qt-mingw: $shipped has a wrong checksum" >&2; exit 1; }
  rm -rf "$prefix"
  tar xJf "$shipped" -C "$cache"
  touch "$prefix/.complete"
  echo "$prefix"
  exit 0
fi

[ "${1:-}" = "--no-build" ] && { echo "qt-mingw: $shipped is absent and Qt for Windows is not built yet" >&2; exit 1; }
echo "qt-mingw: $shipped is absent: building Qt $version for Windows from Debian's source (about 70 minutes)" >&2
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
need=(cmake ninja-build dpkg-dev g++-mingw-w64-x86-64 qt6-base-dev qt6-base-dev-tools)
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
# Debian's source needs a deb-src entry for the suites the machine already uses.
if ! grep -rqs '^deb-src\|^Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  $SUDO tee /etc/apt/sources.list.d/sortimentor-src.sources >/dev/null <<'S'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
S
  $SUDO apt-get update -qq
fi
w=$cache/work
mkdir -p "$w"
(cd "$w" && apt-get source --download-only qt6-base >&2)
orig=$(ls "$w"/qt6-base_$version*.orig.tar.xz | head -1)
echo "$src_sha  $orig" | sha256sum -c --quiet - >&2 || { echo "qt-mingw: $orig is not the expected source" >&2; exit 1; }
src=$w/qtbase-everywhere-src-$version
[ -d "$src" ] || tar xJf "$orig" -C "$w"
# 6.4.2's Windows platform plugin does not build without OpenGL: one guard is missing.
sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
  "$src/src/plugins/platforms/windows/qwindowswindow.cpp"
cat >"$w/mingw.cmake" <<'T'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
T
cmake -G Ninja -S "$src" -B "$w/build" -DCMAKE_TOOLCHAIN_FILE="$w/mingw.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF \
  -DFEATURE_icu=OFF -DFEATURE_tabletevent=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_doubleconversion=OFF >"$w/configure.log" 2>&1 ||
  { tail -40 "$w/configure.log" >&2; exit 1; }
cmake --build "$w/build" --parallel "$(nproc)" >"$w/build.log" 2>&1 || { grep -m5 -B2 -A5 -i error "$w/build.log" >&2; exit 1; }
cmake --install "$w/build" >"$w/install.log" 2>&1
touch "$prefix/.complete"
echo "$prefix"
