"""``python3 -m ulvadern.distributed``: denoise_files from the command line,
with Dask's progress bar, a summary and the tool's exit codes."""

from __future__ import annotations

import argparse
import contextlib
import sys
import time
from typing import Iterator, List, Optional, Sequence

from ._dask_files import (
    TOOL_OPTIONS,
    FileRecord,
    UsageError,
    check_arguments,
    denoise_files,
    tool_arguments,
)

EXIT_OK, EXIT_FAILURE, EXIT_USAGE = 0, 1, 2

_DESCRIPTION = """\
Denoises image files on a Dask cluster, one task per image, each the output
`ulvadern denoise IN -o DIR/NAME.png` would write (byte for byte) with the
same options. Outputs are written whole; a failing image is reported and
the others go on; a task whose worker dies is run again elsewhere."""

_EPILOG = """\
Exit code: 0 when every image was denoised (or skipped by --resume), 1 when
any failed, 2 for usage mistakes."""


def parser() -> argparse.ArgumentParser:
    made = argparse.ArgumentParser(
        prog="python3 -m ulvadern.distributed",
        description=_DESCRIPTION,
        epilog=_EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    made.add_argument("inputs", nargs="+", metavar="IN", help="image files or directories")
    made.add_argument("--out-dir", required=True, metavar="DIR",
                      help="where the outputs go, on a filesystem all workers share")
    made.add_argument("--scheduler", metavar="ADDRESS",
                      help="a Dask scheduler (tcp://HOST:8786); default: a local cluster "
                      "of this machine's cores")
    made.add_argument("--resume", action="store_true",
                      help="skip inputs whose output a previous run completed")
    made.add_argument("-t", "--threads", type=int, default=1, metavar="T",
                      help="threads per image (default 1: one task per core)")
    made.add_argument("-q", "--quiet", action="store_true",
                      help="print errors only (no progress bar or summary)")
    tool = made.add_argument_group(
        "denoising", "as `ulvadern denoise` (python3 -m ulvadern --help describes them)")
    for keyword, (option, metavar) in TOOL_OPTIONS.items():
        if metavar is None:
            tool.add_argument(option, dest=keyword, action="store_true")
        else:
            tool.add_argument(option, dest=keyword, metavar=metavar)
    return made


def main(argv: Optional[Sequence[str]] = None) -> int:
    args = parser().parse_intermixed_args(argv)
    options = {keyword: getattr(args, keyword) for keyword in TOOL_OPTIONS}
    start = time.monotonic()
    try:
        # Usage mistakes before any connection.
        check_arguments(tool_arguments(options), args.threads)
        with _client(args.scheduler) as client:
            records = denoise_files(args.inputs, args.out_dir, client=client, resume=args.resume,
                                    threads=args.threads, progress=not args.quiet, **options)
    except UsageError as error:
        print(_printable(str(error)), file=sys.stderr)
        return EXIT_USAGE
    except OSError as error:
        print(f"ulvadern.distributed: {_printable(str(error))}", file=sys.stderr)
        return EXIT_FAILURE
    if not records:
        print("ulvadern.distributed: no images to denoise", file=sys.stderr)
        return EXIT_FAILURE
    _report(records, time.monotonic() - start, args.quiet)
    return EXIT_FAILURE if any(r.status == "failed" for r in records) else EXIT_OK


@contextlib.contextmanager
def _client(address: Optional[str]) -> Iterator[object]:
    if address is None:
        yield None
        return
    import distributed

    with distributed.Client(address) as client:
        yield client


def _report(records: List[FileRecord], seconds: float, quiet: bool) -> None:
    for record in records:
        if record.status == "failed":
            print(f"{_printable(record.input)}: {_printable(record.error or '')}", file=sys.stderr)
    if quiet:
        return
    counts = {status: sum(r.status == status for r in records) for status in
              ("done", "skipped", "failed")}
    rate = counts["done"] / seconds if seconds > 0 else 0.0
    noun = "image" if len(records) == 1 else "images"
    print(f"{len(records)} {noun}: {counts['done']} denoised, {counts['skipped']} skipped "
          f"(complete already), {counts['failed']} failed, in {seconds:.1f} s "
          f"({rate:.2f} images/s)")


def _printable(text: str) -> str:
    return "".join(c if c.isprintable() or c == "\n" else c.encode("unicode_escape").decode()
                   for c in text)
