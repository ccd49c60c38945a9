#!/usr/bin/env bash
# Usage: scripts/mutation.sh [N] [SEED] — mutation score of the engine's tests (see mutation.py).
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 scripts/mutation.py "${1:-30}" "${2:-1}"
