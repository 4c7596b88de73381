"""Receipts of complete outputs: beside each output directory's outputs, in
.ulvadern-done, one per output, written once the output is renamed into
place. An output is complete when its receipt names the same input,
unchanged since, the same options, and the output's present size and
modification time; anything else (no receipt, an output replaced or
removed, an input changed, other options) makes it to be done again."""

from __future__ import annotations

import dataclasses
import json
import os
import pathlib
import tempfile
from typing import Any, Dict

RECEIPTS = ".ulvadern-done"


@dataclasses.dataclass(frozen=True)
class Task:
    """One image of a run: what the tool reads and writes, with what options."""

    input: str
    output: str
    arguments: tuple  # the denoise options; the output is the same for any thread count
    threads: int


def is_complete(task: Task) -> bool:
    try:
        written = json.loads(_receipt_path(task).read_text())
        return written == _receipt(task, os.stat(task.input))
    except (OSError, ValueError):
        return False


def write_receipt(task: Task, source: os.stat_result) -> None:
    """source: the input as it was before the tool read it, so that an input
    changed while the tool ran leaves a receipt that no longer matches."""
    _write_whole(_receipt_path(task), json.dumps(_receipt(task, source)))


def _receipt(task: Task, source: os.stat_result) -> Dict[str, Any]:
    output = os.stat(task.output)
    return {
        "input": task.input,
        "input_size": source.st_size,
        "input_mtime_ns": source.st_mtime_ns,
        "arguments": list(task.arguments),
        "output_size": output.st_size,
        "output_mtime_ns": output.st_mtime_ns,
    }


def _receipt_path(task: Task) -> pathlib.Path:
    output = pathlib.Path(task.output)
    return output.parent / RECEIPTS / (output.name + ".json")


def _write_whole(target: pathlib.Path, text: str) -> None:
    """text into a temporary beside target, synced, then renamed over it."""
    descriptor, temporary = tempfile.mkstemp(dir=target.parent, prefix=f".{target.name}.")
    try:
        with os.fdopen(descriptor, "w") as file:
            file.write(text)
            file.flush()
            os.fsync(file.fileno())
        os.replace(temporary, target)
    except BaseException:
        os.unlink(temporary)
        raise
