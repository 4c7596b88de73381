import pathlib

import numpy as np
import pytest


@pytest.fixture
def samples():
    return pathlib.Path(__file__).resolve().parents[2] / "samples"


@pytest.fixture
def noisy():
    """A 64x64 uint8 image of squares on a ramp with Gaussian noise."""
    rng = np.random.default_rng(5)
    rows, cols = np.mgrid[0:64, 0:64]
    clean = 40 + 2.0 * cols
    clean[16:40, 12:36] = 200
    return np.clip(clean + rng.normal(0, 15, clean.shape), 0, 255).round().astype(np.uint8)
