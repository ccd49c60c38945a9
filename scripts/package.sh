#!/usr/bin/env bash
# Installs what is missing, builds the program with Debian's hardening flags into
# build-deb/ and makes the Debian package there with CPack, then checks it with lintian,
# desktop-file-validate and appstreamcli. Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --package
# Debian's hardening, all of it (bind-now too, as lintian asks).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
launcher=(); command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# The prefix of the package, so that the window's private library goes where Debian
# keeps them, /usr/lib/<triplet>/sortimentor (a folder ldconfig does not look into).
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DSORTIMENTOR_TESTS=OFF -DSORTIMENTOR_BENCH=OFF \
      "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
      "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" \
      "-DCMAKE_MODULE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" \
      "${launcher[@]}" >/dev/null
cmake --build build-deb -j"${JOBS:-$(nproc)}"
(cd build-deb && rm -f sortimentor_*.deb && cpack -G DEB >/dev/null)
deb=$(ls build-deb/sortimentor_*.deb)
# Errors fail the script; warnings and notes are listed (README: the package).
lintian --fail-on error --info "$deb"
# The desktop entry and the AppStream metainfo as the package lays them out.
root=build-deb/deb-root
rm -rf "$root" && dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/sortimentor.desktop"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/org.example.sortimentor.metainfo.xml" >/dev/null
appstreamcli validate-tree --no-net "$root" >/dev/null
rm -rf "$root"
echo "$deb"
