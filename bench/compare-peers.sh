#!/usr/bin/env bash
# Times ulvadern (bench_ulvadern) and two well-known denoisers on the same
# images in one run, each the median of five calls in one process, and prints
# the ratios ours / theirs (lower is better).
#
#   bench/compare-peers.sh [BUILD_DIR]        (default: build)
#
# The peers are timed by ../shared/tools/peer-time (scikit-image
# denoise_wavelet BayesShrink, OpenCV bilateralFilter), which needs
#   apt-get install -y python3-skimage python3-opencv
# Those packages are for measuring only: they are NOT dependencies of the
# project. Everything runs single-threaded; the machine may be shared, so
# compare the ratios of one run, not absolute times of different runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
bench=$build/bench/bench_ulvadern
peer_time=${PEER_TIME:-$here/../../shared/tools/peer-time}
[ -x "$bench" ] || { echo "no $bench: build the bench_ulvadern target first" >&2; exit 2; }
[ -x "$peer_time" ] || { echo "no peer-time at $peer_time (set PEER_TIME)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-images "$work" >/dev/null
# The median of five calls, as peer-time takes the median of five runs.
"$bench" '--benchmark_filter=^(Ulvadern/|ObjectiveArithmetic)' --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_format=json \
  --benchmark_out="$work/ours.json" --benchmark_out_format=json >/dev/null
"$peer_time" "$work/camera_noisy_512.png" "$work/camera_noisy_2048.png" | tee "$work/peers.txt"

/usr/bin/python3 - "$work/ours.json" "$work/peers.txt" <<'PY'
import json, sys
ours = {}
evaluations = {}
objective_us = None
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    if b["name"].startswith("ObjectiveArithmetic"):
        objective_us = b["seconds_per_evaluation"] * 1e6
        continue
    side = int(b["name"].split("/")[1])
    ours[side] = b["real_time"]  # ms per call
    phases = ("prepare", "transform", "fits", "masks", "mat_writes", "fusion", "reconstruction")
    print(f"ulvadern {side}x{side}: " + ", ".join(f"{p} {b[p]:.0f} ms" for p in phases) +
          f", {b['evaluations_per_fit']:.0f} evaluations per fit")
    evaluations[side] = b["evaluations_per_fit"]
peers = {}
for line in open(sys.argv[2]).read().splitlines()[1:]:
    path, pixels, bayes, bilateral = line.split()
    side = int(round(int(pixels) ** 0.5))
    peers[side] = (float(bayes), float(bilateral))
print()
print(f"{'side':>6} {'ulvadern_ms':>12} {'bayesshrink_ms':>15} {'bilateral_ms':>13} "
      f"{'vs_bayesshrink':>15} {'vs_bilateral':>13}")
for side in sorted(ours):
    bayes, bilateral = peers[side]
    print(f"{side:6d} {ours[side]:12.1f} {bayes:15.1f} {bilateral:13.1f} "
          f"{ours[side] / bayes:15.2f} {ours[side] / bilateral:13.2f}")
if objective_us is not None:
    print()
    print(f"one evaluation's arithmetic (10000 samples, probed as the minimiser does): "
          f"{objective_us:.1f} us")
    for side in sorted(evaluations):
        floor = 6 * evaluations[side] * objective_us / 1000
        print(f"{side}x{side}: the six fits' arithmetic alone, 6 x {evaluations[side]:.0f} "
              f"evaluations: {floor:.1f} ms")
PY
