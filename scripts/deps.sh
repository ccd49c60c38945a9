#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, only those missing.
set -euo pipefail
PKGS=(cmake g++ make pkg-config libgtest-dev
      qt6-base-dev qt6-translations-l10n qt6-svg-dev libgl-dev libglib2.0-dev
      libtag1-dev zlib1g-dev libxxhash-dev lame ffmpeg python3-mutagen
      xvfb xauth imagemagick desktop-file-utils appstream
      at-spi2-core python3-pyatspi dbus-daemon fuse3 exfat-fuse exfatprogs
      g++-mingw-w64-x86-64 libz-mingw-w64-dev wine64 librsvg2-bin nsis)
# The program alone needs less.
RUNTIME=(cmake g++ make pkg-config zlib1g-dev libxxhash-dev libglib2.0-dev qt6-base-dev qt6-translations-l10n qt6-svg-dev libgl-dev)
[ "${1:-}" = "--runtime" ] && PKGS=("${RUNTIME[@]}")
# The Debian package: dpkg-shlibdeps (dpkg-dev) and lintian; the clean root's check adds
# mmdebstrap and a display.
[ "${1:-}" = "--package" ] && PKGS=("${RUNTIME[@]}" dpkg-dev lintian desktop-file-utils appstream)
[ "${1:-}" = "--check-package" ] && PKGS=(mmdebstrap xvfb x11-utils xdotool imagemagick strace)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
