#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, test and run ulvadern.
# Safe to run again: it only calls apt-get when a package is missing.
set -euo pipefail
packages=(
  build-essential cmake pkg-config git
  clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libmatio-dev libnlopt-dev libnlopt-cxx-dev libstb-dev libsleef-dev
  octave liboctave-dev
  python3 python3-dev python3-pybind11 python3-numpy python3-pytest
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
