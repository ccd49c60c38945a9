#!/usr/bin/env bash
# Test code against program code, in lines of code as cloc counts them (no blank or
# comment lines). Benchmarks, fuzz targets and data are neither.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v cloc >/dev/null || apt-get install -y -qq --no-install-recommends cloc >/dev/null
langs="C++,C/C++ Header,Python"
files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
git ls-files | grep -vE '^(bench|fuzz|docs|data)/' > "$files/all"
grep -E '(^|/)tests/' "$files/all" > "$files/tests" || true
grep -vE '(^|/)tests/' "$files/all" | grep -vE '^(scripts|cmake)/' > "$files/program" || true
count() { cloc --list-file="$1" --include-lang="$langs" --quiet --csv | awk -F, '$2=="SUM"{print $5}'; }
t=$(count "$files/tests"); p=$(count "$files/program")
awk -v p="$p" -v t="$t" 'BEGIN { printf "program code: %d lines\ntest code:    %d lines\nratio:        %.2f\n", p, t, t / p }'
