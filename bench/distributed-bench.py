#!/usr/bin/env python3
"""Images per second of ulvadern.distributed.denoise_files on local clusters
of 1 and 2 worker processes (one thread each), measured in alternation so
that a shared machine's load falls on both alike.

    PYTHONPATH=build/python /usr/bin/python3 bench/distributed-bench.py \
        [--images 16] [--repeats 5] [--tile 1]

The inputs are copies of samples/camera_noisy.png (512x512; tiled T x T
with --tile T) under distinct names; each run writes a fresh output directory. Cluster start-up is not
timed; one warm-up run per cluster is not counted. In the same alternation,
`ulvadern denoise -j 1` and `-j 2` on the same images give the speed-up the
machine allows at the time, for comparison on a loaded machine.
"""

import argparse
import pathlib
import shutil
import statistics
import subprocess
import tempfile
import time

import distributed
import numpy as np

import ulvadern
from ulvadern.distributed import denoise_files

SAMPLE = pathlib.Path(__file__).resolve().parents[1] / "samples" / "camera_noisy.png"
TOOL = pathlib.Path(ulvadern.__file__).resolve().parent / "ulvadern"


def timed_run(client, inputs, folder):
    out = pathlib.Path(tempfile.mkdtemp(dir=folder))
    start = time.perf_counter()
    records = denoise_files(inputs, out, client=client)
    seconds = time.perf_counter() - start
    if any(r.status != "done" for r in records):
        raise SystemExit(f"failed: {[r.error for r in records if r.error]}")
    shutil.rmtree(out)
    return len(inputs) / seconds


def timed_tool_run(jobs, inputs, folder):
    out = pathlib.Path(tempfile.mkdtemp(dir=folder))
    start = time.perf_counter()
    subprocess.run([TOOL, "denoise", "-q", "-j", str(jobs), *inputs, "--out-dir", out], check=True)
    seconds = time.perf_counter() - start
    shutil.rmtree(out)
    return len(inputs) / seconds


def summary(label, rates):
    for n, measured in rates.items():
        print(f"{label} {n}: {statistics.median(measured):.2f} images/s "
              f"(median of {len(measured)}; {min(measured):.2f} .. {max(measured):.2f})")
    ratios = [two / one for one, two in zip(rates[1], rates[2])]
    print(f"{label} 2 / 1: {statistics.median(ratios):.2f} "
          f"(run by run: {min(ratios):.2f} .. {max(ratios):.2f})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--images", type=int, default=16)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--tile", type=int, default=1, help="inputs of the sample tiled T x T")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        inputs = [pathlib.Path(folder) / f"field{k:03d}.png" for k in range(args.images)]
        image = np.tile(ulvadern.imread(SAMPLE), (args.tile, args.tile))
        for path in inputs:
            ulvadern.imwrite(path, image)
        clusters = {n: distributed.LocalCluster(n_workers=n, threads_per_worker=1,
                                                dashboard_address=":0") for n in (1, 2)}
        clients = {n: distributed.Client(cluster) for n, cluster in clusters.items()}
        rates = {n: [] for n in clients}
        tool_rates = {n: [] for n in clients}
        for n, client in clients.items():
            timed_run(client, inputs[:2 * n], folder)
        for _ in range(args.repeats):
            for n, client in clients.items():
                rates[n].append(timed_run(client, inputs, folder))
                tool_rates[n].append(timed_tool_run(n, inputs, folder))
        for n in clients:
            clients[n].close()
            clusters[n].close()
    summary("dask workers", rates)
    summary("ulvadern denoise -j", tool_rates)


if __name__ == "__main__":
    main()
