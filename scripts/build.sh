#!/usr/bin/env bash
# Configures and builds one configuration: scripts/build.sh release|asan|fuzz
set -euo pipefail
cd "$(dirname "$0")/.."
config=${1:-release}
case "$config" in
  release) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan)    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DRUTLINE_SANITIZE=ON -DRUTLINE_BENCH=OFF) ;;
  fuzz)    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DRUTLINE_FUZZ=ON -DRUTLINE_BENCH=OFF
                  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "usage: scripts/build.sh release|asan|fuzz" >&2; exit 2 ;;
esac
cmake -S . -B "build/$config" -G Ninja "${flags[@]}" >/dev/null
cmake --build "build/$config" -j"$(nproc)"
