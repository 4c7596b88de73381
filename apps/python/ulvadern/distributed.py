"""ulvadern on a Dask cluster: image collections and stacks beyond one machine.

    >>> from distributed import Client
    >>> from ulvadern.distributed import denoise_files, denoise_planes
    >>> records = denoise_files(paths, "out", client=Client("tcp://scheduler:8786"))
    >>> clean = denoise_planes(zstack_dask_array, seed=7).compute()

``denoise_files`` runs one task per image, each the command-line tool's
``ulvadern denoise`` on it, so outputs are the tool's, byte for byte.
``denoise_planes`` denoises the (H, W) planes of an (..., H, W) dask array,
each from a seed derived from the base seed and the plane's index.

    python3 -m ulvadern.distributed IN... --out-dir DIR [--scheduler ADDRESS] [--resume]

is the command; ``--help`` lists its options. Needs Dask (Debian:
python3-dask, python3-distributed).
"""

from ._dask_files import FileRecord, UsageError, denoise_files
from ._dask_planes import denoise_planes, plane_seed

__all__ = ["FileRecord", "UsageError", "denoise_files", "denoise_planes", "plane_seed"]

if __name__ == "__main__":
    import sys

    from ._dask_command import main

    sys.exit(main())
