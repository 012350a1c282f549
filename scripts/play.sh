#!/usr/bin/env bash
# Installs what is missing, builds, and starts the game on the default track.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release
exec build/release/bin/rutline "$@"
