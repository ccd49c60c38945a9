#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in a
# normal build, then the engine alone without the window (built only), the engine's
# tests built for Windows under wine, then once more
# under AddressSanitizer and UndefinedBehaviorSanitizer (its ctest summary comes last).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

# With ccache the engine-only build below takes many objects from this one.
launcher=(); command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 300)

echo "== the engine alone (-DSORTIMENTOR_GUI=OFF): built, its tests are the ones above"
cmake -S . -B build-nogui -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORTIMENTOR_GUI=OFF "${launcher[@]}" >/dev/null
cmake --build build-nogui -j"$jobs"

bash scripts/test-windows.sh

echo "== the same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORTIMENTOR_SANITIZE=ON -DSORTIMENTOR_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-asan && ctest --output-on-failure -j"$jobs" --timeout 600
