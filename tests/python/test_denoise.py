import os

import numpy as np
import pytest

import ulvadern


def test_float_uint8_and_uint16_versions_give_the_same_picture(noisy):
    reference = ulvadern.denoise(noisy)
    assert reference.dtype == np.uint8 and reference.shape == noisy.shape
    for dtype in (np.float64, np.float32):
        result = ulvadern.denoise(noisy.astype(dtype) / 255)
        assert result.dtype == dtype and 0 <= result.min() and result.max() <= 1
        assert np.abs(np.rint(result * 255.0) - reference).max() <= 1
        assert np.mean(np.rint(result * 255.0) != reference) < 0.001
    wide = ulvadern.denoise(noisy.astype(np.uint16) * 257)
    assert wide.dtype == np.uint16 and np.all(wide % 257 == 0)
    assert np.array_equal(wide // 257, reference)


def test_preserve_range_takes_values_as_gray_levels(noisy):
    reference = ulvadern.denoise(noisy)
    for dtype in (np.float64, np.int16, np.uint16):
        result = ulvadern.denoise(noisy.astype(dtype), preserve_range=True)
        assert result.dtype == np.uint8 and np.array_equal(result, reference)


@pytest.mark.parametrize(
    "image, error, message",
    [
        (np.full((64, 64), 2.0), ValueError, r"\[0, 1\].*preserve_range=True"),
        (np.full((64, 64), -0.1), ValueError, r"\[0, 1\]"),
        (np.full((64, 64), np.nan), ValueError, "NaN"),
        (np.ones((64, 64), bool), TypeError, "bool"),
        (np.ones((64, 64), complex), TypeError, "complex"),
        (np.ones((64, 64), np.int16), TypeError, "preserve_range=True"),
        (np.ones((64, 64), object), TypeError, "real dtype"),
        (np.ones((3, 64, 64)), ValueError, "channel_axis=0"),
        (np.ones((64, 64, 3)), ValueError, "channel_axis=-1"),
        (np.ones((64, 64, 3, 1)), ValueError, "2-D"),
        (np.ones(64), ValueError, "2-D"),
        (np.ones((0, 64)), ValueError, "empty"),
    ],
)
def test_unsuitable_images_are_refused_with_advice(image, error, message):
    with pytest.raises(error, match=message):
        ulvadern.denoise(image)


def test_the_offset_is_removed_without_clipping_highlights(noisy):
    image = noisy.copy()
    image[20:44, 40:60] = 255  # a white patch, clipped by the noise already
    library = ulvadern.call("ulvadern", image, 3, np.ones(5), 0.3)
    kept = ulvadern.denoise(image, keep_offset=True)
    assert np.array_equal(kept, library)
    result = ulvadern.denoise(image)
    below = library < 255
    # Rounding may put a vanishing share of pixels one level apart.
    difference = result[below].astype(int) - (library[below].astype(int) - 3)
    assert np.abs(difference).max() <= 1 and np.mean(difference != 0) < 0.001
    assert np.any(library == 255) and np.any(result == 255)
    assert np.all(result[~below] >= 252)
    floats = ulvadern.denoise(image / 255.0)
    assert floats.max() == 1.0


def test_channels_are_denoised_one_by_one_and_alpha_is_kept(noisy):
    rgb = np.stack([noisy, 255 - noisy, noisy], axis=-1)
    result = ulvadern.denoise(rgb, channel_axis=-1, seed=9)
    assert result.shape == (64, 64, 3) and result.dtype == np.uint8
    for c in range(3):
        assert np.array_equal(result[..., c], ulvadern.denoise(rgb[..., c], seed=9))
    first = ulvadern.denoise(np.moveaxis(rgb, -1, 0), channel_axis=0, seed=9)
    assert np.array_equal(np.moveaxis(first, 0, -1), result)
    alpha = np.random.default_rng(0).random((64, 64))
    rgba = np.concatenate([rgb / 255.0, alpha[..., None]], axis=-1)
    with_alpha = ulvadern.denoise(rgba, channel_axis=-1, seed=9)
    assert np.array_equal(with_alpha[..., 3], alpha)
    assert np.array_equal(np.rint(with_alpha[..., :3] * 255), result)
    gray_alpha = ulvadern.denoise(np.stack([noisy, noisy // 2], axis=0), channel_axis=0)
    assert np.array_equal(gray_alpha[1], noisy // 2)
    assert np.array_equal(gray_alpha[0], ulvadern.denoise(noisy))
    nan_alpha = np.stack([noisy, np.full(noisy.shape, np.nan)], axis=-1)
    with pytest.raises(ValueError, match="alpha channel holds NaN"):
        ulvadern.denoise(nan_alpha, channel_axis=-1, preserve_range=True)


def test_seeds_reproduce_and_differ(noisy):
    # Large enough for the fits to draw samples, which the seed then picks.
    noisy = np.tile(noisy, (3, 3))
    first = ulvadern.denoise(noisy, seed=1)
    assert np.array_equal(first, ulvadern.denoise(noisy, seed=np.int64(1)))
    assert not np.array_equal(first, ulvadern.denoise(noisy, seed=2))
    assert np.array_equal(ulvadern.denoise(noisy), ulvadern.denoise(noisy, seed=20261207))
    drawn = [ulvadern.denoise(noisy, seed=np.random.default_rng(7)) for _ in range(2)]
    assert np.array_equal(*drawn)
    generator = np.random.default_rng(7)
    assert not np.array_equal(
        ulvadern.denoise(noisy, seed=generator), ulvadern.denoise(noisy, seed=generator)
    )


def test_options_as_numpy_users_give_them(noisy):
    plain = ulvadern.denoise(noisy, levels=2)
    assert np.array_equal(ulvadern.denoise(noisy, levels=2, gains=0.5),
                          ulvadern.denoise(noisy, levels=2, gains=(0.5, 0.5)))
    assert not np.array_equal(plain, ulvadern.denoise(noisy, levels=2, gains=0.2))
    assert not np.array_equal(plain, ulvadern.denoise(noisy, levels=2, pot=2.0))
    for threads in (-1, None, 1, 2):
        assert np.array_equal(ulvadern.denoise(noisy, levels=2, threads=threads), plain)
    # More than five levels default to one gain each.
    assert ulvadern.denoise(np.tile(noisy, (2, 2)), levels=6).shape == (128, 128)


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
        ({"seed": np.random.RandomState(1)}, TypeError),
        ({"threads": 0}, ValueError),
        ({"threads": -2}, ValueError),
        ({"threads": 65}, ValueError),
        ({"threads": 2.0}, TypeError),
        ({"channel_axis": 3}, ValueError),
        ({"colour": True}, TypeError),
    ],
)
def test_unsuitable_options_are_refused(noisy, options, error):
    with pytest.raises(error):
        ulvadern.denoise(noisy, **options)


def test_the_reasons_for_refused_options_are_given(noisy):
    with pytest.raises(TypeError, match="unexpected keyword argument 'sigma'"):
        ulvadern.denoise(noisy, sigma=3)
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
    gray_levels = noisy.astype(float)
    gray_levels[3, 3] = np.nan
    with pytest.raises(ulvadern.HostError, match="NaN or Inf"):
        ulvadern.denoise(gray_levels, preserve_range=True)


def test_masks_are_cropped_to_the_image(noisy, tmp_path):
    image, maskh, maskv = ulvadern.denoise(noisy, workdir=tmp_path, return_masks=True)
    assert np.array_equal(image, ulvadern.denoise(noisy))
    assert maskh.shape == maskv.shape == (64, 64, 3)
    assert 0 <= maskh.min() and maskv.max() <= 1
    saved = ulvadern.loadmat(tmp_path / "mascaras.mat")  # the library's own, with the border
    assert saved["maskh"].shape == (66, 66, 3)
    assert np.array_equal(saved["maskh"][1:-1, 1:-1], maskh)
    assert np.array_equal(saved["maskv"][1:-1, 1:-1], maskv)
    colour = np.stack([noisy, noisy[::-1]], axis=0)
    _, colour_h, _ = ulvadern.denoise(colour, channel_axis=0, return_masks=True)
    assert colour_h.shape == (64, 64, 3, 1) and np.array_equal(colour_h[..., 0], maskh)


def test_private_directories_keep_the_files_in_memory(noisy, tmp_path, monkeypatch):
    monkeypatch.setenv("TMPDIR", str(tmp_path))
    on_disk = ulvadern.denoise(noisy, workdir=tmp_path / "work", return_masks=True, threads=1)
    assert sorted(os.listdir(tmp_path / "work")) == ["mascaras.mat", "minimiza.mat"]
    for threads in (1, None):
        in_memory = ulvadern.denoise(noisy, return_masks=True, threads=threads)
        for expected, got in zip(on_disk, in_memory):
            assert np.array_equal(expected, got)
    assert os.listdir(tmp_path) == ["work"]


def test_private_directories_are_removed(noisy, tmp_path, monkeypatch):
    monkeypatch.setenv("TMPDIR", str(tmp_path))
    ulvadern.denoise(noisy, return_masks=True)
    with pytest.raises(ulvadern.HostError):
        ulvadern.denoise(noisy[:8, :8])
    assert os.listdir(tmp_path) == []


def test_the_bundled_sample_gains_psnr(samples):
    noisy = ulvadern.imread(samples / "camera_noisy.png")
    clean = ulvadern.imread(samples / "camera.png").astype(float)
    result = ulvadern.denoise(noisy).astype(float)

    def psnr(a):
        return 10 * np.log10(255**2 / np.mean((a - clean) ** 2))

    assert psnr(noisy) < 23 and psnr(result) > 28
