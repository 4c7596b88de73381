import os

import numpy as np
import pytest

import ulvadern


@pytest.mark.parametrize("dtype", [np.uint8, np.uint16, np.float32, np.float64, np.int16])
def test_every_real_dtype_gives_the_same_image(noisy, dtype):
    reference = ulvadern.denoise(noisy)
    assert reference.dtype == np.uint8 and reference.shape == noisy.shape
    assert np.array_equal(ulvadern.denoise(noisy.astype(dtype)), reference)


def test_bool_image_is_taken_as_zeros_and_ones(noisy):
    mask = noisy > 128
    assert np.array_equal(ulvadern.denoise(mask), ulvadern.denoise(mask.astype(float)))


@pytest.mark.filterwarnings("ignore::ulvadern.HostWarning")  # a flat image fits poorly
def test_orientation_and_layout_survive_the_round_trip():
    # Left half dark, right half bright, not square: a transposed or
    # scrambled image would show in the halves' levels.
    image = np.full((40, 72), 50.0)
    image[:, 36:] = 200.0
    result = ulvadern.denoise(image).astype(int)
    assert result.shape == (40, 72)
    assert np.all(result[:, :24] == 53) and np.all(result[:, 50:] == 203)
    for view in (np.asfortranarray(image), np.repeat(image, 2, axis=1)[:, ::2]):
        assert np.array_equal(ulvadern.denoise(view), ulvadern.denoise(image))


def test_colour_is_denoised_channel_by_channel_from_one_seed(noisy):
    colour = np.stack([noisy, 255 - noisy, noisy], axis=-1).astype(np.uint8)
    result = ulvadern.denoise(colour, seed=9)
    assert result.shape == (64, 64, 3) and result.flags.c_contiguous
    for c in range(3):
        assert np.array_equal(result[..., c], ulvadern.denoise(colour[..., c], seed=9))
    assert np.array_equal(result[..., 0], result[..., 2])
    assert ulvadern.denoise(colour[..., :1]).shape == (64, 64, 1)


def test_seeds_reproduce_and_differ(noisy):
    first = ulvadern.denoise(noisy, seed=1)
    assert np.array_equal(first, ulvadern.denoise(noisy, seed=1))
    assert not np.array_equal(first, ulvadern.denoise(noisy, seed=2))
    assert np.array_equal(ulvadern.denoise(noisy), ulvadern.denoise(noisy, seed=20261207))


def test_parameters_reach_the_library(noisy):
    plain = ulvadern.denoise(noisy, levels=2)
    assert not np.array_equal(plain, ulvadern.denoise(noisy, levels=2, gains=(0.2, 0.2)))
    assert not np.array_equal(plain, ulvadern.denoise(noisy, levels=2, pot=2.0))
    # More than five levels default to one gain each.
    assert ulvadern.denoise(np.tile(noisy, (2, 2)), levels=6).shape == (128, 128)


@pytest.mark.parametrize(
    "image, error",
    [
        (np.ones((64, 64), complex), TypeError),
        (np.ones((64, 64), object), TypeError),
        (np.full((64, 64), "a"), TypeError),
        (np.ones((64, 64, 3, 1)), ValueError),
        (np.ones(64), ValueError),
        (np.ones((0, 64)), ValueError),
        (5.0, ValueError),
    ],
)
def test_unsuitable_images_are_refused(image, error):
    with pytest.raises(error):
        ulvadern.denoise(image)


@pytest.mark.parametrize(
    "options, error",
    [
        ({"levels": 0}, ValueError),
        ({"levels": 13}, ValueError),
        ({"levels": 10**30}, ValueError),
        ({"levels": 2.0}, TypeError),
        ({"levels": True}, TypeError),
        ({"gains": (1, 1)}, ValueError),
        ({"gains": "abc"}, TypeError),
        ({"pot": "x"}, TypeError),
        ({"pot": 0}, ValueError),
        ({"pot": -0.5}, ValueError),
        ({"pot": float("nan")}, ValueError),
        ({"pot": float("inf")}, ValueError),
        ({"gains": (1, float("nan"), 1)}, ValueError),
        ({"gains": (1, 1, 1, float("-inf"))}, ValueError),
        ({"seed": -1}, ValueError),
        ({"seed": 1.5}, TypeError),
        ({"threads": 0}, ValueError),
        ({"threads": 65}, ValueError),
        ({"threads": 2.0}, TypeError),
    ],
)
def test_unsuitable_options_are_refused(noisy, options, error):
    with pytest.raises(error):
        ulvadern.denoise(noisy, **options)


def test_the_reasons_for_refused_fusion_exponents_and_gains_are_given(noisy):
    with pytest.raises(ValueError, match="pot must be > 0: the power mean of the masks"):
        ulvadern.denoise(noisy, pot=0)
    with pytest.raises(ValueError, match=r"gains must be finite numbers \(gains\[1\] is nan\)"):
        ulvadern.denoise(noisy, gains=[1, np.nan, 1])
    with pytest.raises(ulvadern.HostError, match=r"mult\(3\) = 1e\+308 is too large a gain"):
        ulvadern.denoise(noisy, gains=[1e308] * 3)
    with pytest.raises(ulvadern.HostError, match=r"pot, .* must be a finite real scalar \(got NaN\)"):
        ulvadern.call("ulvadern", noisy, 3, [1, 1, 1], np.nan)


def test_library_failures_carry_its_message(noisy):
    with pytest.raises(ulvadern.HostError, match="levels need an image of at least 31 x 31"):
        ulvadern.denoise(noisy[:16, :16], levels=4)
    noisy[3, 3] = np.nan
    with pytest.raises(ulvadern.HostError, match="NaN or Inf"):
        ulvadern.denoise(noisy)


def test_masks_come_from_the_calls_own_file(noisy, tmp_path):
    image, maskh, maskv = ulvadern.denoise(noisy, workdir=tmp_path, return_masks=True)
    assert np.array_equal(image, ulvadern.denoise(noisy))
    assert maskh.shape == maskv.shape == (66, 66, 3)  # the image grown by its border, per level
    assert 0 <= maskh.min() and maskv.max() <= 1
    saved = ulvadern.loadmat(tmp_path / "mascaras.mat")
    assert np.array_equal(saved["maskh"], maskh) and np.array_equal(saved["maskv"], maskv)
    colour = np.stack([noisy, noisy[::-1]], axis=-1)
    _, colour_h, _ = ulvadern.denoise(colour, return_masks=True)
    assert colour_h.shape == (66, 66, 3, 2) and np.array_equal(colour_h[..., 0], maskh)


def test_private_directories_are_removed(noisy, tmp_path, monkeypatch):
    monkeypatch.setenv("TMPDIR", str(tmp_path))
    ulvadern.denoise(noisy, return_masks=True)
    with pytest.raises(ulvadern.HostError):
        ulvadern.denoise(noisy[:8, :8])
    assert os.listdir(tmp_path) == []


def test_the_bundled_sample_gains_psnr(samples):
    noisy = ulvadern.imread(samples / "camera_noisy.png")
    clean = ulvadern.imread(samples / "camera.png").astype(float)
    result = ulvadern.denoise(noisy).astype(float) - 3  # the library's +levels offset

    def psnr(a):
        return 10 * np.log10(255**2 / np.mean((a - clean) ** 2))

    assert psnr(noisy) < 23 and psnr(result) > 28
