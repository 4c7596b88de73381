#!/usr/bin/python3
"""Writes the image test corpus into this directory: small files of every
format and depth the tools read, and damaged ones. Needs python3-numpy and
python3-pil (for JPEG and 8-bit files); TIFF and BMP variants PIL does not
write are written here byte by byte. Deterministic: rerunning gives the same
files.

Good files hold a pattern the tests recompute (see pattern()). Their names
say what they hold; damaged files start with "bad_".
"""
import io
import struct
import zlib
from pathlib import Path

import numpy as np
from PIL import Image, ImageCms

HERE = Path(__file__).resolve().parent
W, H = 16, 12


def pattern(channels, full):
    """Sample (y, x, c) = (13 x + 7 y + 60 c) mod 256, scaled to `full`."""
    y, x, c = np.mgrid[0:H, 0:W, 0:channels]
    v = (13 * x + 7 * y + 60 * c) % 256
    return v if full == 255 else v * (full // 255) if full == 65535 else v / 255.0


def low_bits(bits):
    y, x = np.mgrid[0:H, 0:W]
    return (x + y) % (1 << bits)


def save(name, data):
    (HERE / name).write_bytes(data)


def pil_bytes(image, fmt, **options):
    out = io.BytesIO()
    image.save(out, fmt, **options)
    return out.getvalue()


# ---- PNG ------------------------------------------------------------------

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(width, height, bit_depth, colour_type, rows, extra=b""):
    """A PNG from raw rows (bytes each, without the filter byte)."""
    raw = b"".join(b"\0" + row for row in rows)
    ihdr = struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def packed_rows(values, bits):
    rows = []
    for row in values:
        bitstring = "".join(format(int(v), "0%db" % bits) for v in row)
        bitstring += "0" * (-len(bitstring) % 8)
        rows.append(int(bitstring, 2).to_bytes(len(bitstring) // 8, "big"))
    return rows


def write_pngs():
    for bits in (1, 2, 4):
        save("png_gray%d.png" % bits, png(W, H, bits, 0, packed_rows(low_bits(bits), bits)))
    for channels, colour_type, name in ((1, 0, "gray"), (2, 4, "graya"), (3, 2, "rgb"),
                                        (4, 6, "rgba")):
        for full, bits in ((255, 8), (65535, 16)):
            values = pattern(channels, full).astype(">u2" if bits == 16 else "u1")
            rows = [values[r].tobytes() for r in range(H)]
            save("png_%s%d.png" % (name, bits), png(W, H, bits, colour_type, rows))
    # A palette of 4 colours, the last one half transparent.
    palette = bytes([0, 0, 0, 255, 0, 0, 0, 255, 0, 255, 255, 255])
    rows = packed_rows(low_bits(2), 2)
    save("png_palette.png", png(W, H, 2, 3, rows, chunk(b"PLTE", palette) +
                                chunk(b"tRNS", bytes([255, 255, 255, 128]))))
    rgb = Image.fromarray(pattern(3, 255).astype(np.uint8))
    save("png_rgb8_interlaced.png", pil_bytes(rgb, "PNG", interlace=True))
    save("png_rgb8_icc.png", pil_bytes(rgb, "PNG", icc_profile=srgb_profile()))


def srgb_profile():
    """littlecms's sRGB profile with a fixed date and no profile ID (an MD5
    that covers the date), so that the files come out the same each time."""
    profile = bytearray(ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes())
    profile[24:36] = struct.pack(">6H", 2026, 1, 1, 0, 0, 0)
    profile[84:100] = bytes(16)
    return bytes(profile)


# ---- JPEG -----------------------------------------------------------------

def exif_orientation(value):
    """An APP1 EXIF block holding only the orientation."""
    ifd = struct.pack("<H", 1) + struct.pack("<HHII", 0x0112, 3, 1, value) + struct.pack("<I", 0)
    return b"Exif\0\0" + b"II*\0" + struct.pack("<I", 8) + ifd


def write_jpegs():
    gray = Image.fromarray(pattern(1, 255)[:, :, 0].astype(np.uint8))
    rgb = Image.fromarray(pattern(3, 255).astype(np.uint8))
    save("jpeg_gray.jpg", pil_bytes(gray, "JPEG", quality=100))
    save("jpeg_rgb.jpg", pil_bytes(rgb, "JPEG", quality=100, subsampling=0))
    save("jpeg_rgb_icc.jpg", pil_bytes(rgb, "JPEG", quality=100, icc_profile=srgb_profile()))
    save("jpeg_progressive.jpg", pil_bytes(rgb, "JPEG", quality=100, subsampling=0,
                                           progressive=True))
    # Stored 16x12 with a bright top-left 8x6 block; shown turned 90 degrees clockwise.
    block = np.zeros((H, W), np.uint8)
    block[: H // 2, : W // 2] = 255
    save("jpeg_exif6.jpg", pil_bytes(Image.fromarray(block), "JPEG", quality=100,
                                     exif=exif_orientation(6)))


# ---- TIFF (written here: PIL does not write every depth) --------------------

def tiff(values, sample_format, tiled=False):
    """An uncompressed little-endian TIFF of values (H, W, C): one strip, or
    one 16x16 tile (rows beyond the image padded with zeros)."""
    height, width, channels = values.shape
    if tiled:
        values = np.concatenate([values, np.zeros((16 - height, width, channels), values.dtype)])
    data = np.ascontiguousarray(values).tobytes()
    bits = values.dtype.itemsize * 8
    entries = []
    extra = b""
    offset_base = 8

    def add(tag, kind, items):
        entries.append((tag, kind, items))

    add(256, 4, [width])
    add(257, 4, [height])
    add(258, 3, [bits] * channels)
    add(259, 3, [1])
    add(262, 3, [2 if channels >= 3 else 1])
    if not tiled:
        add(273, 4, [0])  # strip offset, set below
    add(277, 3, [channels])
    if not tiled:
        add(278, 4, [height])
        add(279, 4, [len(data)])
    add(284, 3, [1])
    if tiled:
        add(322, 3, [16])
        add(323, 3, [16])
        add(324, 4, [0])  # tile offset, set below
        add(325, 4, [len(data)])
    if channels in (2, 4):
        add(338, 3, [2])
    add(339, 3, [sample_format] * channels)
    ifd_size = 2 + 12 * len(entries) + 4
    extra_at = offset_base + ifd_size
    # Values longer than 4 bytes go after the directory, then the pixels.
    out_entries = []
    for tag, kind, items in entries:
        packed = struct.pack("<" + ("H" if kind == 3 else "I") * len(items), *items)
        if len(packed) > 4:
            out_entries.append((tag, kind, len(items), struct.pack("<I", extra_at + len(extra))))
            extra += packed
        else:
            out_entries.append((tag, kind, len(items), packed.ljust(4, b"\0")))
    pixels_at = extra_at + len(extra)
    body = struct.pack("<H", len(out_entries))
    for tag, kind, count, value in out_entries:
        if tag in (273, 324):
            value = struct.pack("<I", pixels_at)
        body += struct.pack("<HHI", tag, kind, count) + value
    body += struct.pack("<I", 0)
    return b"II*\0" + struct.pack("<I", offset_base) + body + extra + data


def write_tiffs():
    for channels, name in ((1, "gray"), (2, "graya"), (3, "rgb"), (4, "rgba")):
        save("tiff_%s8.tif" % name, tiff(pattern(channels, 255).astype("<u1"), 1))
        save("tiff_%s16.tif" % name, tiff(pattern(channels, 65535).astype("<u2"), 1))
    save("tiff_gray_float.tif", tiff(pattern(1, 1).astype("<f4"), 3))
    save("tiff_rgb_float.tif", tiff(pattern(3, 1).astype("<f4"), 3))
    save("tiff_rgb8_tiled.tif", tiff(pattern(3, 255).astype("<u1"), 1, tiled=True))
    rgb = Image.fromarray(pattern(3, 255).astype(np.uint8))
    save("tiff_rgb8_deflate.tif", pil_bytes(rgb, "TIFF", compression="tiff_adobe_deflate"))


# ---- PGM/PPM --------------------------------------------------------------

def pnm(magic, maximum, values):
    dtype = ">u2" if maximum > 255 else "u1"
    return b"%s\n# made by make_images.py\n%d %d\n%d\n" % (magic, W, H, maximum) + \
        values.astype(dtype).tobytes()


def write_pnms():
    save("pgm_gray8.pgm", pnm(b"P5", 255, pattern(1, 255)))
    save("pgm_gray16.pgm", pnm(b"P5", 65535, pattern(1, 65535)))
    save("ppm_rgb8.ppm", pnm(b"P6", 255, pattern(3, 255)))
    save("ppm_rgb16.ppm", pnm(b"P6", 65535, pattern(3, 65535)))
    # Maximum 15: samples 0..15 rescaled to 0..255 (times 17).
    save("pgm_max15.pgm", pnm(b"P5", 15, low_bits(4)))


# ---- BMP ------------------------------------------------------------------

def bmp(bits, rows_bottom_up, palette=b"", compression=0, masks=b""):
    header_size = 40
    stride = len(rows_bottom_up[0])
    pixels_at = 14 + header_size + len(masks) + len(palette)
    size = pixels_at + stride * len(rows_bottom_up)
    info = struct.pack("<IiiHHIIiiII", header_size, W, H, 1, bits, compression,
                       stride * len(rows_bottom_up), 2835, 2835, len(palette) // 4, 0)
    return (b"BM" + struct.pack("<IHHI", size, 0, 0, pixels_at) + info + masks + palette +
            b"".join(rows_bottom_up))


def padded(row):
    return row + b"\0" * (-len(row) % 4)


def write_bmps():
    rgb = Image.fromarray(pattern(3, 255).astype(np.uint8))
    save("bmp_rgb24.bmp", pil_bytes(rgb, "BMP"))
    gray = Image.fromarray(pattern(1, 255)[:, :, 0].astype(np.uint8))
    save("bmp_gray8.bmp", pil_bytes(gray, "BMP"))
    # 1 bit per pixel, a black and white palette.
    rows = [padded(r) for r in packed_rows(low_bits(1), 1)][::-1]
    save("bmp_gray1.bmp", bmp(1, rows, bytes([0, 0, 0, 0, 255, 255, 255, 0])))
    # 16 bits, 5-6-5 bit fields.
    values = pattern(3, 255)
    r5, g6, b5 = values[:, :, 0] >> 3, values[:, :, 1] >> 2, values[:, :, 2] >> 3
    words = (r5 << 11) | (g6 << 5) | b5
    rows = [padded(words[y].astype("<u2").tobytes()) for y in range(H)][::-1]
    save("bmp_rgb565.bmp", bmp(16, rows, compression=3,
                               masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F)))


# ---- damaged --------------------------------------------------------------

def write_damaged():
    good = (HERE / "png_gray8.png").read_bytes()
    save("bad_truncated.png", good[: len(good) // 2])
    crc = bytearray(good)
    crc[good.index(b"IEND") - 5] ^= 0xFF  # the last byte of IDAT's CRC
    save("bad_crc.png", bytes(crc))
    save("bad_signature.png", b"\x89PNX" + good[4:])
    ihdr = bytearray(good)
    ihdr[good.index(b"IHDR") + 12] = 3  # bit depth 3 does not exist
    save("bad_header.png", bytes(ihdr))
    # The header claims 1000000 x 1000000 pixels; the file holds a few.
    save("bad_lying.png", png(1000000, 1000000, 8, 0, [b"\0" * 4]))
    # 3000 x 3000 pixels within any budget, in a file far too small to hold them.
    save("bad_lying_small.png", png(3000, 3000, 8, 0, [b"\0" * 4]))
    # An honest 30000 x 30000 1-bit header whose 112 MB of rows inflate from 110 KB.
    rows = 30000 * (1 + 30000 // 8)
    bomb = zlib.compress(b"\0" * rows, 9)
    ihdr = struct.pack(">IIBBBBB", 30000, 30000, 1, 0, 0, 0, 0)
    save("bad_bomb.png", b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", bomb) +
         chunk(b"IEND", b""))

    jpeg = (HERE / "jpeg_rgb.jpg").read_bytes()
    save("bad_truncated.jpg", jpeg[: len(jpeg) * 2 // 3])
    sof = bytearray(jpeg)
    at = jpeg.index(b"\xff\xc0")
    sof[at + 9] = 7  # seven components
    save("bad_header.jpg", bytes(sof))

    tif = (HERE / "tiff_rgb16.tif").read_bytes()
    save("bad_truncated.tif", tif[: len(tif) - 100])
    save("bad_header.tif", tif[:4] + struct.pack("<I", len(tif) + 1000) + tif[8:])
    # Width and height (the first two entries) raised to 4000 in an uncompressed file.
    small = bytearray((HERE / "tiff_gray8.tif").read_bytes())
    small[18:22] = small[30:34] = struct.pack("<I", 4000)
    save("bad_lying.tif", bytes(small))

    save("bad_truncated.pgm", (HERE / "pgm_gray8.pgm").read_bytes()[:-10])
    save("bad_lying.pgm", b"P5\n5000 5000\n255\n" + b"\x80" * 100)
    save("bad_maximum.pgm", b"P5\n2 1\n100\n\x10\xff")
    save("bad_digits.pgm", b"P5\n4 3999999999999\n255\n")

    bmp_good = (HERE / "bmp_rgb24.bmp").read_bytes()
    save("bad_truncated.bmp", bmp_good[:-40])
    rle = bytearray((HERE / "bmp_gray8.bmp").read_bytes())
    rle[30] = 1  # BI_RLE8
    save("bad_rle.bmp", bytes(rle))


if __name__ == "__main__":
    write_pngs()
    write_jpegs()
    write_tiffs()
    write_pnms()
    write_bmps()
    write_damaged()
