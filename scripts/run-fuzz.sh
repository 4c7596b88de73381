#!/usr/bin/env bash
# Builds the fuzz targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for a bounded time from a copy of its seed corpus in
# tests/fuzz/corpus (the image target: the image tests' tests/data/images).
# Fails on any finding: a crash, a sanitizer report, a leak,
# a failed check of the harness, an input that runs longer than 10 s, or one
# that asks for more than 1 GiB at once or 2 GiB in all (the inputs are tiny).
# The input is kept in <build dir>/findings/<target>/; replay it with
# `<build dir>/tests/fuzz/fuzz_<target> FILE` (ULVFUZZ_VERBOSE=1 prints how
# each input ended).
#
# ULV_FUZZ_SECONDS: seconds per target (default 60; 0 skips fuzzing).
# ULV_FUZZ_SEED: the fuzzers' random seed (default 1, so that a run repeats
# the same inputs in the same order; set another to explore further).
# ULV_FUZZ_BUILD_DIR: the build directory (default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${ULV_FUZZ_SECONDS:-60}
seed=${ULV_FUZZ_SEED:-1}
dir=${ULV_FUZZ_BUILD_DIR:-build-fuzz}
targets=(matfile call_arguments library image)
[ "$seconds" -gt 0 ] || exit 0

CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DULV_FUZZ=ON \
  -DULV_SANITIZE=ON -DULV_BUILD_TESTS=OFF -DULV_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The targets make their private directories under TMPDIR; those of an input
# that crashed are removed with the rest.
mkdir "$work/tmp"
export TMPDIR="$work/tmp" ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
status=0
for target in "${targets[@]}"; do
  corpus="$work/$target"
  findings="$(realpath -m "$dir")/findings/$target"  # absolute: a target may change directory
  seeds="tests/fuzz/corpus/$target"
  [ "$target" != image ] || seeds=tests/data/images  # the image tests' corpus
  cp -r "$seeds" "$corpus"
  mkdir -p "$findings"
  echo "== fuzz $target (${seconds} s) =="
  if "$dir/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -seed="$seed" -timeout=10 \
    -rss_limit_mb=2048 -malloc_limit_mb=1024 -artifact_prefix="$findings/" -print_final_stats=1 \
    "$corpus" >"$work/$target.log" 2>&1; then
    grep -E '^stat::(number_of_executed_units|new_units_added)' "$work/$target.log" || true
  else
    tail -n 80 "$work/$target.log"
    echo "fuzz_$target: FINDING, input kept in $findings/"
    status=1
  fi
done
exit $status
