#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: every label
# in the optimised build, then the unit and integration labels again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

scripts/build.sh release
(cd build/release && ctest --output-on-failure -j"$jobs" --timeout 600)

scripts/build.sh asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
(cd build/asan && ctest -L 'unit|integration' --output-on-failure -j"$jobs" --timeout 900)
