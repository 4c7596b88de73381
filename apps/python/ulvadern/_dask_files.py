"""Image collections on a Dask cluster: one task per image.

Each task runs the package's own command-line tool on its image (``ulvadern
denoise IN -o OUT``), so an output is byte for byte what the tool writes with
the same options: the same reading, channels, alpha, depth, ICC profile and
format, and the same whole-file write (a temporary beside the target, synced,
then renamed over it). A process per image also keeps a crash or an
exhausted memory inside one task, never the worker.
"""

from __future__ import annotations

import dataclasses
import os
import pathlib
import subprocess
import time
from typing import Any, Dict, Iterable, List, Optional, Sequence

import numpy as np

from ._dask_cluster import cluster_client
from ._dask_receipts import RECEIPTS, Task, is_complete, write_receipt

_TOOL = pathlib.Path(__file__).resolve().parent / "ulvadern"

# The tool's denoise options a task passes on: keyword -> (option, the
# metavar of its value, None for a flag). Their values are checked by the tool.
TOOL_OPTIONS = {
    "levels": ("--levels", "N"),
    "gains": ("--gains", "G1,G2,..."),
    "pot": ("--pot", "P"),
    "seed": ("--seed", "S"),
    "luma": ("--luma", None),
    "keep_offset": ("--keep-offset", None),
    "format": ("--format", "FMT"),
    "quality": ("--quality", "Q"),
    "depth": ("--depth", "8|16"),
    "max_pixels": ("--max-pixels", "N"),
    "save_masks": ("--save-masks", "DIR"),
    "reference": ("--reference", "CLEAN"),
}
_PATH_OPTIONS = ("save_masks", "reference")

# Format names the tool knows -> the extension of its outputs; an input
# directory contributes the files with these extensions.
_EXTENSIONS = {
    "png": ".png",
    "jpg": ".jpg",
    "jpeg": ".jpg",
    "tif": ".tif",
    "tiff": ".tif",
    "pgm": ".pgm",
    "ppm": ".ppm",
    "pnm": ".ppm",
    "bmp": ".bmp",
}

_PROGRESS_INTERVAL = 0.1  # seconds

class UsageError(ValueError):
    """Options the command-line tool refuses (its exit code 2)."""


@dataclasses.dataclass
class FileRecord:
    """What became of one input."""

    input: str
    output: str
    status: str  # "done", "skipped" (complete already, with resume) or "failed"
    error: Optional[str] = None
    seconds: float = 0.0
    worker: Optional[str] = None  # the Dask worker's address


def denoise_files(
    inputs: Iterable[os.PathLike | str],
    out_dir: os.PathLike | str,
    *,
    client: Any = None,
    resume: bool = False,
    threads: int = 1,
    progress: bool = False,
    **denoise_options: Any,
) -> List[FileRecord]:
    """Denoises image files on a Dask cluster, one task per image.

    Parameters
    ----------
    inputs : paths
        Image files, or directories (their images, sorted by name).
    out_dir : path
        Where the outputs go, NAME.png for NAME.EXT (``format`` changes the
        extension); on a filesystem every worker reaches at the same path.
    client : distributed.Client or None
        None: a local cluster of this machine's cores (one worker process
        per ``threads`` cores), closed at the end; its workers are started
        afresh, so a script calls this under ``if __name__ == "__main__":``.
    resume : bool
        Skip the inputs whose output is complete: its receipt (written in
        out_dir/.ulvadern-done once the output was renamed into place)
        names the same input, unchanged since, the same options, and the
        output's present size and modification time.
    threads : int
        Threads of each task (``ulvadern denoise -t``); run as many tasks
        per machine as it has cores divided by this.
    progress : bool
        Show Dask's progress bar.
    **denoise_options
        The tool's denoise options, with keyword names: levels, gains, pot,
        seed, luma, keep_offset, format, quality, depth, max_pixels,
        save_masks, reference. The defaults are the tool's.

    Returns
    -------
    list of FileRecord
        One per input, in order. A failing image is reported in its record
        (status "failed", the tool's message) and does not stop the others.

    Raises
    ------
    UsageError
        Options the tool refuses, or two inputs that would share an output.
    """
    arguments = tool_arguments(denoise_options)
    check_arguments(arguments, threads)
    out = pathlib.Path(out_dir).absolute()
    tasks = _plan(expand_inputs(inputs), out, arguments, denoise_options.get("format"), threads)
    (out / RECEIPTS).mkdir(parents=True, exist_ok=True)
    records = {task.input: _skipped(task) for task in tasks if resume and is_complete(task)}
    todo = [task for task in tasks if task.input not in records]
    if todo:
        with cluster_client(client, threads) as running:
            records.update(_run(running, todo, progress))
    return [records[task.input] for task in tasks]


def tool_arguments(options: Dict[str, Any]) -> tuple:
    """The tool's command-line options for keyword options."""
    arguments = []
    for keyword, value in options.items():
        if keyword not in TOOL_OPTIONS:
            raise TypeError(f"denoise_files() got an unexpected option {keyword!r}")
        option, metavar = TOOL_OPTIONS[keyword]
        if value is None or value is False or (metavar is None and not value):
            continue  # unset, or a flag that is off (NumPy's False too)
        if metavar is None:
            arguments.append(option)
        elif keyword in _PATH_OPTIONS:
            arguments += [option, os.path.abspath(value)]
        elif isinstance(value, (list, tuple, np.ndarray)):
            arguments += [option, ",".join(str(item) for item in np.ravel(value).tolist())]
        else:
            arguments += [option, str(value)]
    return tuple(arguments)


def check_arguments(arguments: Sequence[str], threads: int = 1) -> None:
    """The tool's own checks of the options, before any task: given an empty
    standard input, it ends with 2 for a usage mistake, else fails on the image."""
    checked = _run_tool("-", "-o", "-", "--threads", str(threads), *arguments)
    if checked.returncode == 2:
        raise UsageError(checked.stderr.strip())


def expand_inputs(inputs: Iterable[os.PathLike | str]) -> List[pathlib.Path]:
    files = []
    for given in inputs:
        path = pathlib.Path(given).absolute()
        if path.is_dir():
            files += sorted(p for p in path.iterdir() if p.is_file() and _is_image(p))
        else:
            files.append(path)
    return files


def denoise_file(task: Task) -> FileRecord:
    """The task: the tool on one image, then its receipt."""
    start = time.monotonic()
    record = FileRecord(task.input, task.output, "failed", worker=_worker_address())
    try:
        source = os.stat(task.input)
        ran = _run_tool(task.input, "-o", task.output, "--threads", str(task.threads),
                        *task.arguments)
        if ran.returncode == 0:
            write_receipt(task, source)
            record.status = "done"
        else:
            record.error = ran.stderr.strip() or f"the tool ended with status {ran.returncode}"
    except OSError as error:
        record.error = str(error)
    record.seconds = time.monotonic() - start
    return record


def _run_tool(*arguments: str) -> subprocess.CompletedProcess:
    """ulvadern denoise -q ARGUMENTS, its messages kept; nothing on standard input."""
    return subprocess.run(
        [_TOOL, "denoise", "-q", *arguments],
        stdin=subprocess.DEVNULL,
        capture_output=True,
        text=True,
        errors="replace",
        check=False,
    )


def _run(client: Any, todo: List[Task], progress: bool) -> Dict[str, FileRecord]:
    import distributed

    futures = client.map(denoise_file, todo, pure=False)
    if progress:
        distributed.progress(futures, interval=_PROGRESS_INTERVAL)
        # The scheduler stops feeding the bar at its next tick; a local
        # cluster closed before then logs a spurious error.
        time.sleep(2 * _PROGRESS_INTERVAL)
    records = {}
    for task, future in zip(todo, futures):
        try:
            records[task.input] = future.result()
        except Exception as error:  # the task's worker died too often, or the cluster went
            message = f"{type(error).__name__}: {error}"
            records[task.input] = FileRecord(task.input, task.output, "failed", message)
    return records


def _plan(
    files: List[pathlib.Path],
    out: pathlib.Path,
    arguments: tuple,
    format: Optional[str],
    threads: int,
) -> List[Task]:
    extension = _EXTENSIONS[str(format).lower()] if format else ".png"
    inputs = set(files)
    writers: Dict[pathlib.Path, pathlib.Path] = {}
    for file in files:
        output = out / (file.stem + extension)
        if output in inputs:
            raise UsageError(f'the output "{output}" would replace an input')
        if output in writers:
            raise UsageError(f'"{writers[output]}" and "{file}" would both be written to "{output}"')
        writers[output] = file
    return [Task(str(file), str(output), arguments, threads) for output, file in writers.items()]


def _skipped(task: Task) -> FileRecord:
    return FileRecord(task.input, task.output, "skipped")


def _is_image(path: pathlib.Path) -> bool:
    return path.suffix[1:].lower() in _EXTENSIONS


def _worker_address() -> Optional[str]:
    import distributed

    try:
        return distributed.get_worker().address
    except ValueError:
        return None
