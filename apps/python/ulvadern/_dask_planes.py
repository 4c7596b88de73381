"""Stacks as lazy dask arrays: every (H, W) plane denoised on its own, from a
seed of its own that depends only on the base seed and the plane's index."""

from __future__ import annotations

import operator
from typing import Any, Dict, Tuple, Union

import numpy as np

from . import _ulvadern
from ._denoise import denoise

# Options that would make a plane something other than one gray image.
_REFUSED = ("channel_axis", "return_masks", "workdir")

Seed = Union[int, np.random.Generator, None]


def plane_seed(seed: Seed, index: int) -> int:
    """The seed of plane `index` (its flat, C-order index over the leading
    axes) for the base seed: the first 64-bit word of NumPy's
    ``SeedSequence(seed, spawn_key=(index,))``. None is the default seed,
    ulvadern's DEFAULT_SEED."""
    sequence = np.random.SeedSequence(_base_seed(seed), spawn_key=(index,))
    return int(sequence.generate_state(1, np.uint64)[0])


def denoise_planes(array: Any, *, seed: Seed = None, threads: int = 1, **denoise_options: Any):
    """Denoises every (H, W) plane of an (..., H, W) array, lazily.

    Parameters
    ----------
    array : dask.array.Array or array-like
        Any leading axes (z, time, ...); rechunked so that each chunk holds
        whole planes (its leading chunks are kept).
    seed : int, numpy.random.Generator or None
        The base seed; plane k gets ``plane_seed(seed, k)``, k its flat
        index over the leading axes, so the result is the same for any
        chunking and any number of workers. A Generator gives one base
        seed (and advances) when this is called.
    threads : int
        Threads of each plane's denoising.
    **denoise_options
        As ``ulvadern.denoise``: levels, gains, pot, preserve_range,
        keep_offset.

    Returns
    -------
    dask.array.Array
        The denoised planes, in the array's shape; its dtype is denoise's
        (the input's, uint8 with preserve_range).
    """
    import dask.array as da

    for name in _REFUSED:
        if name in denoise_options:
            raise TypeError(f"denoise_planes denoises gray (H, W) planes; it takes no {name}")
    stack = da.asarray(array)
    if stack.ndim < 2:
        raise ValueError(f"denoise_planes takes an (..., H, W) array, not one of shape {stack.shape}")
    dtype = np.dtype(np.uint8) if denoise_options.get("preserve_range") else stack.dtype
    whole_planes = stack.rechunk({stack.ndim - 2: -1, stack.ndim - 1: -1})
    return whole_planes.map_blocks(
        _denoise_block,
        dtype=dtype,
        meta=np.empty((0,) * stack.ndim, dtype),
        out_dtype=dtype,
        leading_shape=stack.shape[:-2],
        base=_base_seed(seed),
        threads=threads,
        options=denoise_options,
    )


def _denoise_block(
    block: np.ndarray,
    block_info: Dict[Any, Any] = None,
    *,
    out_dtype: np.dtype,
    leading_shape: Tuple[int, ...],
    base: int,
    threads: int,
    options: Dict[str, Any],
) -> np.ndarray:
    starts = [start for start, _ in block_info[0]["array-location"][:-2]]
    planes = []
    for local in np.ndindex(*block.shape[:-2]):
        index = tuple(start + offset for start, offset in zip(starts, local))
        flat = int(np.ravel_multi_index(index, leading_shape)) if index else 0
        planes.append(
            denoise(block[local], seed=plane_seed(base, flat), threads=threads, **options)
        )
    if not planes:
        return np.empty(block.shape, out_dtype)
    return np.stack(planes).reshape(block.shape)


def _base_seed(seed: Seed) -> int:
    if seed is None:
        return _ulvadern.DEFAULT_SEED
    if isinstance(seed, np.random.Generator):
        return int(seed.integers(1 << 64, dtype=np.uint64))
    return operator.index(seed)
