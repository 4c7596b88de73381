"""``python3 -m ulvadern ARGS`` is ``ulvadern denoise ARGS``.

It runs the command-line tool that comes with the package (installed beside
it), so the options, batches, worker processes and messages are the tool's
own; ``python3 -m ulvadern --help`` lists them.
"""

import os
import pathlib
import sys


def main():
    tool = pathlib.Path(__file__).resolve().parent / "ulvadern"
    if not os.access(tool, os.X_OK):
        sys.exit(f"ulvadern: the command-line tool is missing from the package ({tool})")
    os.execv(tool, ["ulvadern", "denoise", *sys.argv[1:]])


if __name__ == "__main__":
    main()
