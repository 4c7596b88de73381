"""Denoise the bundled sample and write a side-by-side PNG (noisy | denoised).

Notebook style: run it whole, or cell by cell (`# %%`) in an editor that
understands cells. Needs only the ulvadern module and NumPy:

    PYTHONPATH=build/python /usr/bin/python3 examples/denoise_sample.py [OUT.png]
"""

# %% Imports and paths
import pathlib
import struct
import sys
import zlib

import numpy as np

import ulvadern

samples = pathlib.Path(__file__).resolve().parent.parent / "samples"
output = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "camera_side_by_side.png")

# %% Read the noisy image (8-bit gray, 512 x 512) and its clean original
noisy = ulvadern.imread(samples / "camera_noisy.png")
clean = ulvadern.imread(samples / "camera.png")
print("noisy:", noisy.shape, noisy.dtype)

# %% Denoise at the defaults: 3 levels, gains (1, 1, 1, 1, 1), pot 0.3.
# The default seed makes the run reproducible; pass seed=... for another draw.
denoised = ulvadern.denoise(noisy)


# %% How much did it help? (denoise returns the image without the library's
# +levels offset; keep_offset=True would give the library's own output.)
def psnr(image, reference):
    error = np.mean((image.astype(float) - reference.astype(float)) ** 2)
    return 10 * np.log10(255**2 / error)


print(f"PSNR noisy    {psnr(noisy, clean):5.2f} dB")
print(f"PSNR denoised {psnr(denoised, clean):5.2f} dB")


# %% Side by side, written as an 8-bit gray PNG with the standard library's
# zlib (ulvadern.imwrite would do as well).
def write_gray_png(path, image):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    height, width = image.shape
    rows = b"".join(b"\0" + row.tobytes() for row in np.ascontiguousarray(image, np.uint8))
    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9))
    pathlib.Path(path).write_bytes(png + chunk(b"IEND", b""))


gap = np.full((noisy.shape[0], 8), 255, np.uint8)
write_gray_png(output, np.hstack([noisy, gap, denoised]))
print("wrote", output)
