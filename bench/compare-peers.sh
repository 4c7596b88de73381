#!/usr/bin/env bash
# Times ulvadern and two well-known denoisers on the same images in one run
# and prints the ratios ours / theirs (lower is better): the whole
# `ulvadern denoise` process as a user runs it (PNG in and out, default
# threads, median of five runs; CPU seconds beside the wall time, which a
# shared machine inflates), and the call alone in bench_ulvadern (median of
# five calls in one process). Then each phase's bandwidth against a copy of
# the same size, and the call against the algorithm's floor: the fits'
# arithmetic plus every phase's least bytes at the copy bandwidth.
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
cli=$build/ulvadern
peer_time=${PEER_TIME:-$here/../../shared/tools/peer-time}
[ -x "$bench" ] || { echo "no $bench: build the bench_ulvadern target first" >&2; exit 2; }
[ -x "$cli" ] || { echo "no $cli: build the ulvadern_cli target first" >&2; exit 2; }
[ -x "$peer_time" ] || { echo "no peer-time at $peer_time (set PEER_TIME)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-images "$work" >/dev/null
# The median of five calls, as peer-time takes the median of five runs.
"$bench" '--benchmark_filter=^(Ulvadern/|ObjectiveArithmetic)' --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_format=json \
  --benchmark_out="$work/ours.json" --benchmark_out_format=json >/dev/null
"$bench" '--benchmark_filter=^Copy/' --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_format=json \
  --benchmark_out="$work/copy.json" --benchmark_out_format=json >/dev/null
# The process a user runs, as its own child: wall and CPU seconds (user + system).
/usr/bin/python3 - "$cli" "$work" >"$work/process.txt" <<'PY'
import os, statistics, subprocess, sys, time
cli, work = sys.argv[1], sys.argv[2]
for side in (512, 2048):
    walls, cpus = [], []
    for _ in range(5):
        start = time.perf_counter()
        child = subprocess.Popen([cli, "denoise", f"{work}/camera_noisy_{side}.png",
                                  "-o", f"{work}/out_{side}.png", "--quiet"],
                                 stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        walls.append((time.perf_counter() - start) * 1e3)
        cpus.append((usage.ru_utime + usage.ru_stime) * 1e3)
        if status != 0:
            sys.exit(f"ulvadern denoise failed on the {side}x{side} image")
    print(side, statistics.median(walls), statistics.median(cpus))
PY
"$peer_time" "$work/camera_noisy_512.png" "$work/camera_noisy_2048.png" | tee "$work/peers.txt"

/usr/bin/python3 - "$work/ours.json" "$work/peers.txt" "$work/copy.json" "$work/process.txt" <<'PY'
import json, sys
ours, evaluations, calls = {}, {}, {}
objective_us = None
phases = ("prepare", "transform", "fits", "masks", "mat_writes", "fusion", "reconstruction")
bandwidth_phases = ("prepare", "transform", "masks", "fusion", "reconstruction")
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    if b["name"].startswith("ObjectiveArithmetic"):
        objective_us = b["seconds_per_evaluation"] * 1e6
        continue
    side = int(b["name"].split("/")[1])
    ours[side] = b["real_time"]  # ms per call
    calls[side] = b
    print(f"ulvadern {side}x{side}: " + ", ".join(f"{p} {b[p]:.0f} ms" for p in phases) +
          f", {b['evaluations_per_fit']:.0f} evaluations per fit")
    evaluations[side] = b["evaluations_per_fit"]
copy = {int(b["name"].split("/")[1]): b["GBps"]
        for b in json.load(open(sys.argv[3]))["benchmarks"] if b.get("aggregate_name") == "median"}
process = {}
for line in open(sys.argv[4]):
    side, wall, cpu = line.split()
    process[int(side)] = (float(wall), float(cpu))
peers = {}
for line in open(sys.argv[2]).read().splitlines()[1:]:
    path, pixels, bayes, bilateral = line.split()
    side = int(round(int(pixels) ** 0.5))
    peers[side] = (float(bayes), float(bilateral))
print()
print(f"{'side':>6} {'process_ms':>11} {'process_cpu_ms':>15} {'call_ms':>8} {'bayesshrink_ms':>15} "
      f"{'bilateral_ms':>13} {'process/bayes':>14} {'process/bilateral':>18} {'call/bayes':>11} "
      f"{'call/bilateral':>15}")
for side in sorted(ours):
    bayes, bilateral = peers[side]
    wall, cpu = process[side]
    print(f"{side:6d} {wall:11.1f} {cpu:15.1f} {ours[side]:8.1f} {bayes:15.1f} {bilateral:13.1f} "
          f"{wall / bayes:14.2f} {wall / bilateral:18.2f} {ours[side] / bayes:11.2f} "
          f"{ours[side] / bilateral:15.2f}")
print()
print("each phase's least bytes moved, GB/s, and its share of the copy bandwidth:")
for side in sorted(calls):
    b = calls[side]
    print(f"{side}x{side} (copy {copy[side]:.1f} GB/s): " + ", ".join(
        f"{p} {b[p + '_GBps']:.2f} ({b[p + '_GBps'] / copy[side]:.2f})" for p in bandwidth_phases))
if objective_us is not None:
    print()
    print(f"one evaluation's arithmetic (10000 samples, probed as the minimiser does): "
          f"{objective_us:.1f} us")
    for side in sorted(evaluations):
        fits = 6 * evaluations[side] * objective_us / 1000
        bytes_ms = calls[side]["minimum_MB"] / 1000 / copy[side] * 1000
        floor = fits + bytes_ms
        print(f"{side}x{side}: floor {floor:.1f} ms = the six fits' arithmetic, 6 x "
              f"{evaluations[side]:.0f} evaluations, {fits:.1f} ms + {calls[side]['minimum_MB']:.0f} MB "
              f"at the copy bandwidth, {bytes_ms:.1f} ms; the call takes {ours[side] / floor:.1f}x it")
PY
