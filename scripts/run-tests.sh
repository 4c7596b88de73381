#!/usr/bin/env bash
# Checks the sources' formatting, then builds and runs every test twice: a
# release build, then a build under AddressSanitizer +
# UndefinedBehaviorSanitizer (the release build is then installed and
# packaged, scripts/check-install.sh); then runs the fuzz targets for a
# bounded time (scripts/run-fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/check-format.sh
jobs=$(nproc)
for variant in release asan; do
  dir=build-test-$variant
  sanitize=OFF
  [ "$variant" = asan ] && sanitize=ON
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DULV_SANITIZE=$sanitize -DULV_BUILD_BENCH=OFF >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "== tests ($variant) =="
  (cd "$dir" && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j"$jobs")
  # The release build is also installed, packaged and run from the install.
  if [ "$variant" = release ]; then ./scripts/check-install.sh "$dir"; fi
done
./scripts/run-fuzz.sh
