#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --runtime
cmake -S . -B build-run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORTIMENTOR_TESTS=OFF -DSORTIMENTOR_BENCH=OFF >/dev/null
cmake --build build-run -j"$(nproc)" --target sortimentor
exec ./build-run/app/sortimentor "$@"
