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
