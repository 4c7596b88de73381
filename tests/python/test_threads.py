import os
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import ulvadern


def test_parallel_calls_match_serial_ones(noisy):
    jobs = [(np.roll(noisy, 7 * k, axis=k % 2), k) for k in range(8)]

    def run(job):
        image, seed = job
        return ulvadern.denoise(image, seed=seed, return_masks=True)

    serial = [run(job) for job in jobs]
    with ThreadPoolExecutor(max_workers=4) as pool:
        parallel = list(pool.map(run, jobs))
    for one, other in zip(serial, parallel):
        assert all(np.array_equal(a, b) for a, b in zip(one, other))


def test_calls_release_the_gil(noisy):
    # While another thread denoises, this one keeps running Python code.
    image = np.tile(noisy, (3, 3))
    worker = threading.Thread(target=ulvadern.denoise, args=(image,))
    ticks = []
    worker.start()
    while worker.is_alive():
        ticks.append(time.perf_counter())
        time.sleep(0.001)
    worker.join()
    duration = ticks[-1] - ticks[0]
    assert len(ticks) > 10 and max(np.diff(ticks)) < duration / 2


def test_worker_threads_give_the_same_image(noisy):
    # Large enough for the element-wise steps to be cut into ranges.
    image = np.tile(noisy, (6, 6))
    assert np.array_equal(ulvadern.denoise(image, threads=3), ulvadern.denoise(image))


@pytest.mark.filterwarnings("ignore:Waiting for another call:ulvadern.HostWarning")
def test_threads_sharing_a_workdir_take_turns(noisy, tmp_path):
    # The library passes data through fixed file names in its directory:
    # calls that shared it unguarded would read each other's files.
    jobs = [(np.roll(noisy, 9 * k, axis=k % 2), k) for k in range(4)]

    def run(job, workdir=None):
        image, seed = job
        return ulvadern.denoise(image, seed=seed, workdir=workdir, return_masks=True)

    solo = [run(job) for job in jobs]
    with ThreadPoolExecutor(max_workers=4) as pool:
        shared = list(pool.map(lambda job: run(job, tmp_path), jobs))
    for one, other in zip(solo, shared):
        assert all(np.array_equal(a, b) for a, b in zip(one, other))
    assert sorted(os.listdir(tmp_path)) == ["mascaras.mat", "minimiza.mat"]
