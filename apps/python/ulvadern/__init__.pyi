# Types of the package ulvadern (denoise's own come from its annotations).
from ._denoise import denoise as denoise
from ._ulvadern import (
    HostError as HostError,
    HostWarning as HostWarning,
    __version__ as __version__,
    call as call,
    functions as functions,
    imread as imread,
    imwrite as imwrite,
    library_path as library_path,
    loadmat as loadmat,
    savemat as savemat,
)
