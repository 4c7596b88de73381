import re
from pathlib import Path

import numpy as np
import pytest

import ulvadern


def test_images_round_trip_through_files(tmp_path):
    gray = np.arange(48, dtype=np.uint8).reshape(6, 8)
    rgba = np.stack([gray, gray + 1, gray + 2, np.full_like(gray, 255)], axis=-1)
    for name, image in [("gray.png", gray), ("rgba.png", rgba), ("gray.pgm", gray)]:
        ulvadern.imwrite(tmp_path / name, image)
        back = ulvadern.imread(tmp_path / name)
        assert back.dtype == np.uint8 and np.array_equal(back, image)
    ulvadern.imwrite(tmp_path / "clipped.png", np.array([[-5.0, 3.6, 300.0, np.nan]]))
    assert ulvadern.imread(tmp_path / "clipped.png").tolist() == [[0, 4, 255, 0]]


def test_image_files_fail_clearly(tmp_path):
    with pytest.raises(OSError, match="no such file"):
        ulvadern.imread(tmp_path / "missing.png")
    with pytest.raises(ValueError):
        ulvadern.imwrite(tmp_path / "out.xyz", np.zeros((2, 2)))
    with pytest.raises(ValueError):
        ulvadern.imwrite(tmp_path / "out.png", np.zeros((2, 2, 5)))


CORPUS = Path(__file__).resolve().parents[1] / "data" / "images"


def corpus_pattern(channels, full):
    y, x, c = np.mgrid[0:12, 0:16, 0:channels]
    v = (13 * x + 7 * y + 60 * c) % 256
    return v * (full // 255) if full > 1 else (v / 255.0).astype(np.float32)


def test_sixteen_bit_and_float_files_read_in_their_depth():
    wide = ulvadern.imread(CORPUS / "png_rgb16.png")
    assert wide.dtype == np.uint16 and np.array_equal(wide, corpus_pattern(3, 65535))
    floats = ulvadern.imread(CORPUS / "tiff_gray_float.tif")
    assert floats.dtype == np.float32
    assert np.array_equal(floats, corpus_pattern(1, 1)[:, :, 0])
    assert ulvadern.imread(CORPUS / "pgm_gray8.pgm").dtype == np.uint8


def test_depths_and_formats_are_kept_on_writing(tmp_path):
    wide = corpus_pattern(4, 65535).astype(np.uint16)
    for name in ("wide.png", "wide.tif"):
        ulvadern.imwrite(tmp_path / name, wide)
        back = ulvadern.imread(tmp_path / name)
        assert back.dtype == np.uint16 and np.array_equal(back, wide)
    floats = corpus_pattern(3, 1)
    ulvadern.imwrite(tmp_path / "f.tif", floats)
    assert np.array_equal(ulvadern.imread(tmp_path / "f.tif"), floats)
    ulvadern.imwrite(tmp_path / "noext", wide[:, :, 0], format="pgm")
    assert (tmp_path / "noext").read_bytes().startswith(b"P5\n16 12\n65535\n")
    gray = corpus_pattern(1, 255)[:, :, 0].astype(np.uint8)
    ulvadern.imwrite(tmp_path / "low.jpg", gray, quality=10)
    ulvadern.imwrite(tmp_path / "high.jpg", gray, quality=95)
    assert (tmp_path / "low.jpg").stat().st_size < (tmp_path / "high.jpg").stat().st_size
    with pytest.raises(ValueError, match="quality"):
        ulvadern.imwrite(tmp_path / "q.jpg", gray, quality=0)
    with pytest.raises(ValueError, match="PGM files hold gray images only"):
        ulvadern.imwrite(tmp_path / "c.pgm", floats)


@pytest.mark.parametrize("name, reason", [
    ("bad_truncated.png", "truncated PNG"),
    ("bad_crc.png", "CRC error"),
    ("bad_truncated.jpg", "Premature end of JPEG file"),
    ("bad_truncated.tif", "corrupt TIFF"),
    ("bad_lying.pgm", "truncated PGM/PPM"),
    ("bad_rle.bmp", "compressed"),
    ("bad_lying.png", "too large: a 1000000x1000000 image needs about"),
])
def test_damaged_and_lying_files_raise_oserror(name, reason):
    with pytest.raises(OSError, match=re.escape(reason)):
        ulvadern.imread(CORPUS / name)


def test_max_pixels_sets_the_limit():
    with pytest.raises(OSError, match="has 192 pixels, more than the limit of 100"):
        ulvadern.imread(CORPUS / "png_gray8.png", max_pixels=100)
    assert ulvadern.imread(CORPUS / "png_gray8.png", max_pixels=192).shape == (12, 16)
