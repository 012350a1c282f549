#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Fast and silent
# when everything is already there.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libode-dev duktape-dev libpng-dev zlib1g-dev
          libsdl2-dev libgl-dev libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
          libegl-dev libgl1-mesa-dri libegl-mesa0)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
