#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, test and run ulvadern.
# Safe to run again: it only calls apt-get when a package is missing.
set -euo pipefail
packages=(
  build-essential cmake pkg-config git
  clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libmatio-dev libnlopt-dev libnlopt-cxx-dev libsleef-dev
  libpng-dev libjpeg62-turbo-dev libtiff-dev
  octave liboctave-dev
  python3 python3-dev python3-pybind11 python3-numpy python3-pytest python3-skimage
  python3-setuptools python3-wheel python3-venv python3-pip dpkg-dev fakeroot
  python3-dask python3-distributed  # ulvadern.distributed: collections and stacks on a cluster
  help2man
  python3-pil  # only to remake the image test corpus (tests/data/images/make_images.py)
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
