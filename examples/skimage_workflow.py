"""ulvadern in a scikit-image workflow: read, add noise, denoise, score.

    PYTHONPATH=build/python /usr/bin/python3 examples/skimage_workflow.py

denoise takes and returns images in scikit-image's conventions: here a float
image in [0, 1] goes in and a float image in [0, 1] comes out.
"""

# %% Read the bundled sample as a float image in [0, 1]
import pathlib

import numpy as np
from skimage import img_as_float, io, util
from skimage.metrics import peak_signal_noise_ratio

import ulvadern

samples = pathlib.Path(__file__).resolve().parent.parent / "samples"
clean = img_as_float(io.imread(samples / "camera.png", as_gray=True))

# %% Add Gaussian noise of standard deviation 20 gray levels (of 255)
noisy = util.random_noise(clean, mode="gaussian", var=(20 / 255) ** 2, seed=1)

# %% Denoise: same dtype and range out; seed fixes the library's random draws
denoised = ulvadern.denoise(noisy, seed=1)
assert denoised.dtype == noisy.dtype and 0 <= denoised.min() and denoised.max() <= 1

# %% Score with scikit-image's PSNR
before = peak_signal_noise_ratio(clean, noisy, data_range=1)
after = peak_signal_noise_ratio(clean, denoised, data_range=1)
print(f"PSNR noisy {before:.2f} dB -> denoised {after:.2f} dB")
if not after > before + 3:
    raise SystemExit("denoising did not help as expected")

# %% A colour image: channels on the last axis
rgb = np.stack([noisy, noisy[::-1], noisy[:, ::-1]], axis=-1)
print("colour:", ulvadern.denoise(rgb, channel_axis=-1).shape)
