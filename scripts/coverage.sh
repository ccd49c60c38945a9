#!/usr/bin/env bash
# Line coverage of the program code by the whole test suite, from a --coverage build
# in build-cov/. Test code, benchmarks and fuzz targets are not counted.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
command -v gcovr >/dev/null || { apt-get install -y -qq --no-install-recommends gcovr >/dev/null; }
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build-cov -DCMAKE_BUILD_TYPE=Debug -DSORTIMENTOR_BENCH=OFF \
      -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
cmake --build build-cov -j"$(nproc)" >/dev/null
find build-cov -name '*.gcda' -delete
(cd build-cov && ctest -j"$(nproc)" --timeout 300 >/dev/null) || echo "coverage: some tests failed" >&2
gcovr -r . build-cov --exclude '(.*/)?tests/.*' --exclude 'bench/.*' --exclude 'fuzz/.*' --exclude 'build-cov/.*' \
      --exclude-unreachable-branches --print-summary -o build-cov/coverage.txt | tail -3
