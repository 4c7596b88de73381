# Types of the compiled part of ulvadern.
import os
from typing import Any, Dict, Optional, Sequence, Tuple, Union

import numpy as np

__version__: str
DEFAULT_SEED: int
DEFAULT_LEVELS: int
DEFAULT_POT: float

class HostError(RuntimeError): ...
class HostWarning(UserWarning): ...

_Seed = Union[int, np.random.Generator, None]
_Path = Union[str, os.PathLike]

def denoise_gray_levels(
    image: np.ndarray,
    *,
    levels: int = ...,
    gains: Union[float, Sequence[float], np.ndarray, None] = None,
    pot: float = ...,
    seed: _Seed = None,
    workdir: Optional[_Path] = None,
    return_masks: bool = False,
    threads: Optional[int] = None,
    keep_offset: bool = False,
) -> Union[np.ndarray, Tuple[np.ndarray, np.ndarray, np.ndarray]]: ...
def call(
    name: str, *args: Any, nargout: int = 1, seed: _Seed = None, workdir: Optional[_Path] = None
) -> Any: ...
def functions() -> Dict[str, Tuple[int, int]]: ...
def library_path() -> str: ...
def savemat(path: _Path, variables: Dict[str, Any]) -> None: ...
def loadmat(path: _Path) -> Dict[str, Any]: ...
def imread(path: _Path) -> np.ndarray: ...
def imwrite(path: _Path, image: np.ndarray) -> None: ...
