"""ulvadern.distributed on a local Dask cluster of two worker processes."""

import logging
import os
import pathlib
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import ulvadern

distributed = pytest.importorskip("distributed")
da = pytest.importorskip("dask.array")

from ulvadern.distributed import UsageError, denoise_files, denoise_planes, plane_seed  # noqa: E402

TOOL = pathlib.Path(ulvadern.__file__).resolve().parent / "ulvadern"
OPTIONS = {"levels": 2, "seed": 5}
TOOL_OPTIONS = ["--levels", "2", "--seed", "5"]


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, dashboard_address=":0",
        silence_logs=logging.CRITICAL,
    ) as cluster, distributed.Client(cluster) as connected:
        yield connected


@pytest.fixture(scope="module")
def camera():
    return ulvadern.imread(pathlib.Path(__file__).resolve().parents[2] / "samples" / "camera.png")


@pytest.fixture(scope="module")
def images(tmp_path_factory, camera):
    """Eight 64x64 crops, gray and colour, and the tool's outputs for them."""
    folder = tmp_path_factory.mktemp("images")
    for k in range(8):
        crop = camera[40 * k:40 * k + 64, 50 * k:50 * k + 64]
        if k % 4 == 3:
            crop = np.stack([crop, crop[::-1], crop[:, ::-1]], axis=-1)
        ulvadern.imwrite(folder / f"field{k}.png", crop)
    inputs = sorted(folder.iterdir())
    expected = tmp_path_factory.mktemp("expected")
    subprocess.run([TOOL, "denoise", "-q", *inputs, "--out-dir", expected, *TOOL_OPTIONS],
                   check=True)
    return inputs, expected


def same_as_the_tools(out_dir, expected, names):
    return all((out_dir / name).read_bytes() == (expected / name).read_bytes() for name in names)


def outputs_of(folder):
    return sorted(p.name for p in folder.iterdir() if not p.name.startswith("."))


def test_outputs_are_the_tools_byte_for_byte(client, images, tmp_path):
    inputs, expected = images
    records = denoise_files(inputs, tmp_path, client=client, **OPTIONS)
    assert [r.status for r in records] == ["done"] * 8
    assert [r.input for r in records] == [str(p) for p in inputs]
    assert {r.worker for r in records} <= set(client.scheduler_info()["workers"])
    assert outputs_of(tmp_path) == outputs_of(expected)
    assert same_as_the_tools(tmp_path, expected, outputs_of(expected))


def test_a_corrupt_image_fails_alone_and_the_command_says_so(client, images, tmp_path):
    inputs, expected = images
    corrupt = tmp_path / "corrupt.png"
    corrupt.write_bytes(inputs[0].read_bytes()[:300])
    given = [corrupt, *inputs[1:]]
    ran = subprocess.run(
        [sys.executable, "-m", "ulvadern.distributed", *map(str, given), "--out-dir",
         str(tmp_path / "out"), "--scheduler", client.scheduler.address, "-q", *TOOL_OPTIONS],
        capture_output=True, text=True)
    assert ran.returncode == 1
    assert "corrupt.png" in ran.stderr and "truncated" in ran.stderr
    names = outputs_of(expected)[1:]
    assert outputs_of(tmp_path / "out") == names
    assert same_as_the_tools(tmp_path / "out", expected, names)


def test_resume_skips_complete_outputs_and_redoes_the_others(client, images, tmp_path):
    inputs, expected = images
    denoise_files(inputs, tmp_path, client=client, **OPTIONS)
    written = {p.name: p.stat().st_mtime_ns for p in tmp_path.iterdir()}
    records = denoise_files(inputs, tmp_path, client=client, resume=True, **OPTIONS)
    assert [r.status for r in records] == ["skipped"] * 8
    assert {p.name: p.stat().st_mtime_ns for p in tmp_path.iterdir()} == written

    (tmp_path / "field1.png").unlink()
    (tmp_path / "field2.png").write_bytes(b"not the output")
    records = denoise_files(inputs, tmp_path, client=client, resume=True, **OPTIONS)
    assert [r.status for r in records] == ["skipped", "done", "done"] + ["skipped"] * 5
    assert same_as_the_tools(tmp_path, expected, outputs_of(expected))
    # Other options make other outputs: nothing is complete for them.
    records = denoise_files(inputs[:2], tmp_path, client=client, resume=True, levels=1)
    assert [r.status for r in records] == ["done", "done"]


def test_an_input_changed_while_the_tool_ran_is_not_complete(images, tmp_path, monkeypatch):
    from ulvadern import _dask_files
    from ulvadern._dask_receipts import RECEIPTS, Task, is_complete

    source = tmp_path / "field.png"
    source.write_bytes(images[0][0].read_bytes())
    (tmp_path / RECEIPTS).mkdir()
    task = Task(str(source), str(tmp_path / "out.png"), tuple(TOOL_OPTIONS), 1)
    tool = _dask_files._run_tool

    def tool_then_edit(*arguments):
        ran = tool(*arguments)
        os.utime(source, ns=(source.stat().st_atime_ns, source.stat().st_mtime_ns + 10**9))
        return ran

    monkeypatch.setattr(_dask_files, "_run_tool", tool_then_edit)
    assert _dask_files.denoise_file(task).status == "done"
    assert not is_complete(task)


def test_usage_mistakes_are_refused_before_any_work(images, tmp_path):
    inputs, _ = images
    with pytest.raises(UsageError, match="--levels"):
        denoise_files(inputs, tmp_path / "out", levels=0)
    with pytest.raises(TypeError, match="jobs"):
        denoise_files(inputs, tmp_path / "out", jobs=2)
    from ulvadern._dask_files import tool_arguments

    assert tool_arguments({"luma": np.False_, "keep_offset": np.True_}) == ("--keep-offset",)
    twin = tmp_path / "field0.jpg"
    twin.write_bytes(b"")
    with pytest.raises(UsageError, match="would both be written"):
        denoise_files([inputs[0], twin], tmp_path / "out")
    assert not (tmp_path / "out").exists()
    ran = subprocess.run([sys.executable, "-m", "ulvadern.distributed", str(inputs[0]),
                          "--out-dir", str(tmp_path / "out"), "--depth", "16", "--format", "jpg"],
                         capture_output=True, text=True)
    assert ran.returncode == 2 and "--depth 16" in ran.stderr


def test_planes_are_denoised_alike_for_any_chunking(client, camera):
    stack = np.stack([camera[:256, :256], camera[256:, :256], camera[:256, 256:],
                      camera[256:, 256:]])
    seeds = [plane_seed(9, k) for k in range(4)]
    assert len(set(seeds)) == 4
    expected = np.stack([ulvadern.denoise(plane, seed=s, levels=2)
                         for plane, s in zip(stack, seeds)])
    for chunks in [(1, 256, 256), (3, 100, 128)]:
        lazy = denoise_planes(da.from_array(stack, chunks=chunks), seed=9, levels=2)
        assert lazy.chunks[-2:] == ((256,), (256,))
        np.testing.assert_array_equal(client.compute(lazy).result(), expected)
    grid = denoise_planes(da.from_array(stack.reshape(2, 2, 256, 256), chunks=(1, 2, 128, 256)),
                          seed=9, levels=2)
    np.testing.assert_array_equal(client.compute(grid).result().reshape(stack.shape), expected)


def test_a_killed_worker_still_leaves_every_output_complete(client, images, tmp_path):
    inputs, expected = images
    records = []
    run = threading.Thread(target=lambda: records.extend(
        denoise_files(inputs, tmp_path, client=client, **OPTIONS)))
    run.start()
    busy = wait_for_a_busy_worker(client)
    os.kill(client.run(os.getpid)[busy], signal.SIGKILL)
    run.join(timeout=120)
    assert [r.status for r in records] == ["done"] * 8
    assert outputs_of(tmp_path) == outputs_of(expected)
    assert same_as_the_tools(tmp_path, expected, outputs_of(expected))


def wait_for_a_busy_worker(client, timeout=30.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        busy = [address for address, tasks in client.processing().items() if tasks]
        if busy:
            return busy[0]
        time.sleep(0.005)
    raise AssertionError("no worker took a task")
