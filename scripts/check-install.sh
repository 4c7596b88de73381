#!/usr/bin/env bash
# Checks every way of installing ulvadern from a built folder (default
# build-test-release): `cmake --install` into a temporary prefix, the C++
# consumer example, `pip install .` into a fresh virtual environment, the
# Octave package and the Debian package. The installed copies are then run
# with the build folder moved away, so that nothing can reach into it; at the
# end the prefix is uninstalled by its manifest and must be left empty.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:-build-test-release}")
[ -f "$build/CMakeCache.txt" ] || { echo "check-install: $build is not a build folder" >&2; exit 2; }
unset ULVADERN_LIBRARY LD_LIBRARY_PATH PYTHONPATH
work=$(mktemp -d)
away="$build.away-$$"
restore() {
  [ -d "$away" ] && mv "$away" "$build"
  rm -rf "$work"
}
trap restore EXIT
prefix=$work/prefix
python=/usr/bin/python3
step() { echo "== install: $* =="; }
# Octave reports harmless notes on stderr at exit; they are shown when it fails.
octave_eval() {
  if ! octave-cli --norc --quiet --eval "$1" 2>"$work/octave.err"; then
    cat "$work/octave.err" >&2
    return 1
  fi
}

step "cmake --install into $prefix"
# The manual page is made by a target of its own, when the build has one.
man=""
if cmake --build "$build" --target help | grep -q "ulvadern_man"; then
  cmake --build "$build" --target ulvadern_man >/dev/null
  man=share/man/man1/ulvadern.1
fi
cmake --install "$build" --prefix "$prefix" >/dev/null
[ -z "$man" ] || [ -f "$prefix/$man" ] || { echo "check-install: no $man" >&2; exit 1; }
cp "$build/install_manifest.txt" "$work/manifest.txt"

step "pip install . into a fresh virtual environment"
"$python" -m venv --system-site-packages "$work/venv"
ULVADERN_CMAKE_BUILD_DIR=$build "$work/venv/bin/pip" install --quiet --no-build-isolation \
  --no-index "$root"

step "Octave package and Debian package"
cmake --build "$build" --target octave_package >/dev/null
cp "$build"/octave/ulvadern-*.tar.gz "$work/"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/ulvadern_*_amd64.deb)
mv "$deb" "$work/"
deb=$work/$(basename "$deb")

mv "$build" "$away"
cd "$work"

step "the installed tool"
"$prefix/bin/ulvadern" --version
"$prefix/bin/ulvadern" denoise -q "$root/samples/camera_noisy.png" -o "$work/denoised.png"
head -c 8 "$work/denoised.png" | od -An -c | grep -q 'P   N   G'

step "the consumer example against the prefix"
cmake -S "$root/examples/cpp-consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/denoise_array" | grep "$prefix/lib/libulvadern.so"
step "the consumer example built with pkg-config's flags"
read -ra flags <<<"$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs ulvadern)"
c++ -o "$work/denoise_array_pc" "$root/examples/cpp-consumer/main.cpp" "${flags[@]}" \
  -Wl,-rpath,"$prefix/lib"
"$work/denoise_array_pc" | grep "$prefix/lib/libulvadern.so"

denoise_array_py='
import numpy as np, ulvadern, warnings
warnings.simplefilter("ignore", ulvadern.HostWarning)
x = (np.add.outer(np.arange(64), np.arange(64)) * 2 % 256).astype(np.uint8)
y = ulvadern.denoise(x)
assert y.shape == x.shape and y.dtype == np.uint8, (y.shape, y.dtype)
print("denoised", y.shape, "with", ulvadern.library_path())'
step "the Python module from the virtual environment"
"$work/venv/bin/python" -c "$denoise_array_py" | grep "$work/venv"
"$work/venv/bin/python" -m ulvadern --help | grep -q "^Usage: ulvadern denoise"
"$work/venv/bin/python" -m ulvadern -q "$root/samples/camera_noisy.png" -o "$work/from_python.png"
cmp "$work/denoised.png" "$work/from_python.png"
step "the Python module from the prefix"
site=$(cd "$prefix" && ls -d lib/python3*/*-packages)
PYTHONPATH=$prefix/$site "$python" -c "$denoise_array_py" | grep "$prefix/lib/libulvadern.so"
PYTHONPATH=$prefix/$site "$python" -m ulvadern --help | grep -q "^Usage: ulvadern denoise"

denoise_octave='y = ulvadern(uint8(mod((0:63)'"'"' * 2 + (0:63) * 3, 256))); assert(isa(y, "uint8") && isequal(size(y), [64 64])); disp("denoised in Octave")'
step "the Octave package in a fresh octave-cli"
mkdir "$work/home"
HOME=$work/home octave_eval "pkg install -local $(echo "$work"/ulvadern-*.tar.gz)"
HOME=$work/home octave_eval "pkg load ulvadern; $denoise_octave" | grep denoised
step "the Octave MEX files in the prefix"
octave_eval "addpath('$prefix/lib/ulvadern/octave'); $denoise_octave" | grep denoised

step "the Debian package $(basename "$deb")"
dpkg-deb -c "$deb"
dpkg-deb -f "$deb" Depends
apt-get install --simulate "$deb" | grep "^Inst ulvadern"
dpkg-deb -x "$deb" "$work/deb"
"$work/deb/usr/bin/ulvadern" info | grep "$work/deb/usr/lib/libulvadern.so"

step "uninstall by the manifest"
xargs -d '\n' rm -f < "$work/manifest.txt"
left=$(find "$prefix" ! -type d)
[ -z "$left" ] || { echo "check-install: left after uninstalling:" >&2; echo "$left" >&2; exit 1; }
echo "== install: all checks passed =="
