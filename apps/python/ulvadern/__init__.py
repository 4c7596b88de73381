"""Edge-preserving noise removal for gray-level images (NumPy in, NumPy out).

    >>> import ulvadern
    >>> clean = ulvadern.denoise(noisy)                  # noisy's shape, dtype and range
    >>> rgb = ulvadern.denoise(photo, channel_axis=-1)   # each channel; alpha kept
    >>> ca, ch, cv = ulvadern.call("maltrans2d", x, None, 3, nargout=3)

``denoise`` follows scikit-image's conventions (float images in [0, 1],
uint8 0..255, uint16 0..65535, ``channel_axis``) and returns the image
without the library's +levels offset; ``call`` returns the library's own
results, offset included.

Every call runs in a private temporary directory (or ``workdir``), with the
GIL released, so threads may call at the same time. The library's errors are
raised as :class:`HostError`, its warnings issued as :class:`HostWarning`.
"""

from ._denoise import denoise
from ._ulvadern import (
    HostError,
    HostWarning,
    __version__,
    call,
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
