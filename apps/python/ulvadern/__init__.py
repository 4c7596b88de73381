"""Edge-preserving noise removal for gray-level images (NumPy in, NumPy out).

    >>> import ulvadern
    >>> clean = ulvadern.denoise(noisy)                  # uint8, noisy's shape
    >>> ca, ch, cv = ulvadern.call("maltrans2d", x, None, 3, nargout=3)

Every call runs in a private temporary directory (or ``workdir``), with the
GIL released, so threads may call at the same time. The library's errors are
raised as :class:`HostError`, its warnings issued as :class:`HostWarning`.
"""

from ._ulvadern import (
    HostError,
    HostWarning,
    __version__,
    call,
    denoise,
    functions,
    imread,
    imwrite,
    library_path,
    loadmat,
    savemat,
)

__all__ = [
    "HostError",
    "HostWarning",
    "call",
    "denoise",
    "functions",
    "imread",
    "imwrite",
    "library_path",
    "loadmat",
    "savemat",
]
