"""ulvadern.denoise: scikit-image's conventions of ranges, dtypes and
channel axes around the compiled core, which takes gray levels 0..255."""

from __future__ import annotations

import os
from typing import Optional, Sequence, Tuple, Union

import numpy as np

from . import _ulvadern

# uint16 samples to 8-bit gray levels and back: 65535 / 255.
_UINT16_PER_LEVEL = 257


def denoise(
    image: np.ndarray,
    *,
    channel_axis: Optional[int] = None,
    preserve_range: bool = False,
    keep_offset: bool = False,
    levels: int = _ulvadern.DEFAULT_LEVELS,
    gains: Union[float, Sequence[float], np.ndarray, None] = None,
    pot: float = _ulvadern.DEFAULT_POT,
    seed: Union[int, np.random.Generator, None] = None,
    threads: Optional[int] = None,
    workdir: Union[str, os.PathLike, None] = None,
    return_masks: bool = False,
) -> Union[np.ndarray, Tuple[np.ndarray, np.ndarray, np.ndarray]]:
    """Removes noise from an image while keeping its edges.

    Parameters
    ----------
    image : ndarray
        A gray (H, W) image, or with ``channel_axis`` a multichannel one.
        Ranges follow scikit-image: float images in [0, 1], uint8 in
        0..255, uint16 in 0..65535. bool and complex images are refused;
        other integer dtypes need ``preserve_range=True``.
    channel_axis : int or None
        The axis of the channels (-1 for (H, W, C), 0 for (C, H, W)); each
        channel is denoised on its own, from the same seed. The alpha
        channel (the 2nd of two, the 4th of four) is returned unchanged.
    preserve_range : bool
        Take the values as gray levels 0..255 whatever the dtype, and
        return uint8.
    keep_offset : bool
        Return the library's own output, which is ``levels`` gray levels
        brighter, its highlights clipped at 255. By default the image is
        denoised shifted down by ``levels`` (the masks and detail
        coefficients do not change under a constant shift), so the result
        has no offset and white stays reachable.
    levels : int
        Wavelet levels, 1..12; each side needs 1 + 4 * 2**(levels-1) - 2
        pixels.
    gains : float or sequence of float
        Per-level gains (finite), at least ``levels`` of them; one number
        is every level's gain. Default: ones.
    pot : float
        Exponent of the power mean that fuses neighbouring levels' masks,
        finite and > 0.
    seed : int, numpy.random.Generator or None
        Seed of the library's random generators, set before every channel;
        a Generator gives one (and advances). None: the fixed default seed
        20261207, so results are reproducible.
    threads : int or None
        Threads (1..64) that share the work on each channel; -1 or None (the
        default): one per core. The result is the same for any count.
    workdir : str, os.PathLike or None
        Directory for the library's MAT-files ("minimiza.mat",
        "mascaras.mat"); None: a private temporary one, removed afterwards.
    return_masks : bool
        Also return the edge-probability masks (maskh, maskv), each float64
        of shape (H, W, levels), page k the mask of level k + 1, cropped to
        the image; (H, W, levels, C) for the C denoised channels of a
        multichannel image. ``call("ulvadern", ...)`` and "mascaras.mat" in
        ``workdir`` keep the raw (H + 2, W + 2, levels) ones.

    Returns
    -------
    ndarray, or (image, maskh, maskv)
        The denoised image in the input's shape, dtype and range (uint8 with
        ``preserve_range``). The denoiser works on 8-bit gray levels: float
        and uint16 results have 8-bit precision.

    Raises
    ------
    HostError
        The library's own failures (an image too small for ``levels``, ...).
    TypeError, ValueError
        Unsuitable arguments. KeyboardInterrupt (Ctrl-C) stops a call
        within about half a second and leaves no temporary files.
    """
    array = np.asarray(image)
    _require_real_dtype(array, preserve_range)
    channels_last = _with_channels_last(array, channel_axis)
    gray = _gray_levels(channels_last, preserve_range)
    alpha = channel_axis is not None and gray.shape[-1] in (2, 4)
    if alpha and preserve_range:
        # The library checks the channels it denoises; the alpha is cast here.
        _require_finite(gray[..., -1], "the alpha channel")
    outcome = _ulvadern.denoise_gray_levels(
        gray[..., :-1] if alpha else gray,
        levels=levels,
        gains=gains,
        pot=pot,
        seed=seed,
        workdir=workdir,
        return_masks=return_masks,
        threads=threads,
        keep_offset=keep_offset,
    )
    denoised = outcome[0] if return_masks else outcome
    result = _in_range_of(denoised, array.dtype, preserve_range)
    if alpha:
        kept = _in_range_of(channels_last[..., -1:], array.dtype, preserve_range, as_is=True)
        result = np.concatenate([result, kept], axis=-1)
    if channel_axis is not None:
        result = np.moveaxis(result, -1, channel_axis)
    if not return_masks:
        return result
    return result, _cropped(outcome[1]), _cropped(outcome[2])


def _require_real_dtype(array: np.ndarray, preserve_range: bool) -> None:
    kind = array.dtype.kind
    if kind == "b":
        raise TypeError(
            "denoise takes gray levels, not a bool image (a mask); convert it first, "
            "e.g. image.astype(np.uint8) * 255"
        )
    if kind not in "uif":
        raise TypeError(f"denoise takes images of a real dtype, not {array.dtype}")
    if preserve_range or array.dtype in (np.uint8, np.uint16) or kind == "f":
        return
    raise TypeError(
        f"{array.dtype} images have no gray-level range here: convert to uint8, uint16 or "
        "float in [0, 1], or pass preserve_range=True to take the values as gray levels 0..255"
    )


def _with_channels_last(array: np.ndarray, channel_axis: Optional[int]) -> np.ndarray:
    if channel_axis is None:
        if array.ndim == 2:
            return array
        raise ValueError(_shape_advice(array.shape))
    if array.ndim != 3:
        raise ValueError(
            f"with channel_axis, denoise takes a 3-D image, not an array of shape {array.shape}"
        )
    try:
        return np.moveaxis(array, channel_axis, -1)
    except np.AxisError as error:
        raise ValueError(f"channel_axis={channel_axis} is not an axis of a 3-D image") from error


def _shape_advice(shape: Tuple[int, ...]) -> str:
    text = f"denoise takes a 2-D (H, W) gray image, not an array of shape {shape}"
    if len(shape) == 3 and shape[-1] <= 4:
        return text + "; for an (H, W, C) image pass channel_axis=-1"
    if len(shape) == 3 and shape[0] <= 4:
        return text + "; for a (C, H, W) image pass channel_axis=0"
    if len(shape) == 3:
        return text + "; for a multichannel image pass channel_axis"
    return text


def _gray_levels(array: np.ndarray, preserve_range: bool) -> np.ndarray:
    if preserve_range or array.dtype == np.uint8:
        return array.astype(np.float64)
    if array.dtype == np.uint16:
        return array / float(_UINT16_PER_LEVEL)
    values = array.astype(np.float64)
    _require_finite(values, "the image")
    low, high = values.min(initial=0.0), values.max(initial=0.0)
    if low < 0 or high > 1:
        raise ValueError(
            f"a float image must lie in [0, 1] (this one spans {low:g} .. {high:g}); "
            "pass preserve_range=True if its values are gray levels 0..255"
        )
    return values * 255.0


def _require_finite(values: np.ndarray, what: str) -> None:
    if not np.all(np.isfinite(values)):
        raise ValueError(f"{what} holds NaN or infinite values")


def _in_range_of(
    values: np.ndarray, dtype: np.dtype, preserve_range: bool, as_is: bool = False
) -> np.ndarray:
    """8-bit gray levels (or, as_is, samples of the input) in the output's dtype."""
    if as_is and not preserve_range:
        return values
    if preserve_range:
        return np.clip(np.rint(values), 0, 255).astype(np.uint8) if as_is else values
    if dtype == np.uint8:
        return values
    if dtype == np.uint16:
        return values.astype(np.uint16) * np.uint16(_UINT16_PER_LEVEL)
    return (values / 255.0).astype(dtype)


def _cropped(masks: np.ndarray) -> np.ndarray:
    """The masks of the image grown by its one-pixel border, cut back to it."""
    return masks[1:-1, 1:-1, ...]
