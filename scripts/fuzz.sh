#!/usr/bin/env bash
# Runs one libFuzzer target for a while: scripts/fuzz.sh NAME [SECONDS]
# (NAME as in fuzz/CMakeLists.txt, for example "scanner").
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:?usage: scripts/fuzz.sh NAME [SECONDS]}
seconds=${2:-60}
scripts/install-deps.sh
scripts/build.sh fuzz
work=$(mktemp -d)
cp -r "fuzz/corpus/$name/." "$work/" 2>/dev/null || true
"build/fuzz/fuzz/${name}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 "$work"
