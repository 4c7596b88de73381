#!/usr/bin/env python3
"""Writes the seed inputs of the call-argument and library fuzz targets.

The MAT-file seeds (corpus/matfile) were saved by Octave; the call-argument
seeds reuse two of them. Run from anywhere: python3 tests/fuzz/make_seeds.py
"""
import pathlib
import struct
import zlib

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE / "corpus"


def png_gray(width, height, pixels):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    rows = b"".join(b"\0" + bytes(pixels[r * width:(r + 1) * width]) for r in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def call_argument_seeds():
    mat = (CORPUS / "matfile" / "sample_double.mat").read_bytes()
    classes = (CORPUS / "matfile" / "classes.mat").read_bytes()
    return {
        "literals": b"[1 2 3]\n[]\n[1 2; 3 4]\n[1,2;3,4]\n'text'\n\"3\"\n3\n-1.5e-3\ninf\nword\n",
        "bad_literals": b"[1 2; 3]\n[1 x]\n[;]\n0x10\n'\n[\n",
        "mat_variable": b"in.mat:vv\nin.mat\nIN.MAT:vv\nin.mat:none\0" + mat,
        "mat_several": b"in.mat\nin.mat:u\nin.mat:c\0" + classes,
        "png": b"in.png\0" + png_gray(4, 3, list(range(0, 240, 20))),
        "pgm": b"in.png\0P5\n3 2\n255\n" + bytes([0, 50, 100, 150, 200, 250]),
    }


# Library calls in the encoding of library_fuzzer.cpp.
FUNCTIONS = ["ulvadern", "gaussfit", "maltrans2d", "invmaltrans2d", "lixo", "transfwav", "touint"]
SPECIAL = {0: 0, 1: 1, -1: 2, 0.5: 3, 2: 4, 3: 5, 4: 6, 255: 7, 0.3: 21}
SMALL_BASE = 24  # selectors from here on are whole numbers 0, 1, 2, ...


def number(value):
    if value in SPECIAL:
        return bytes([SPECIAL[value]])
    if float(value).is_integer() and 0 <= value < 255 - SMALL_BASE:
        return bytes([SMALL_BASE + int(value)])
    return b"\xff" + struct.pack("<d", value)


def matrix(rows, cols, values, pages=1, cls=0):
    body = bytes([cls, rows, cols, pages])
    if cls == 3:  # char: the bytes themselves
        return body + bytes(values)
    return body + b"".join(number(v) for v in values)


def text(word):
    return matrix(1, len(word), word.encode(), cls=3)


def image(rows, cols):
    return matrix(rows, cols, [(7 * k) % 200 for k in range(rows * cols)])


def call(function, nargout, inputs, sample=None):
    head = bytes([FUNCTIONS.index(function), nargout, len(inputs), 1 if sample else 0])
    return head + (sample or b"") + b"".join(inputs)


def library_seeds():
    stack = matrix(6, 6, [k % 9 for k in range(72)], pages=2)
    return {
        "touint": call("touint", 1, [matrix(3, 4, [-1, 0, 0.5, 3, 255, 256, 1, 2, 4, 0, 0, 1])]),
        "ulvadern_default": call("ulvadern", 1, [image(8, 8)]),
        "ulvadern_options": call("ulvadern", 1, [image(9, 7), matrix(1, 1, [1]),
                                                 matrix(1, 3, [1, 0.5, 2]), matrix(1, 1, [0.3])]),
        "ulvadern_uint8": call("ulvadern", 1, [matrix(6, 6, list(range(36)), cls=1)]),
        "maltrans2d": call("maltrans2d", 3, [image(12, 12), matrix(0, 0, []), matrix(1, 1, [2])]),
        "maltrans2d_haar": call("maltrans2d", 3, [image(8, 8), matrix(0, 0, []), matrix(1, 1, [1]),
                                                  text("haar")]),
        "invmaltrans2d": call("invmaltrans2d", 1, [stack, stack, stack, matrix(1, 1, [1])]),
        "lixo": call("lixo", 2, [matrix(1, 16, list(range(16))), text("db2")]),
        "transfwav": call("transfwav", 3, [image(8, 8), matrix(1, 2, [0.5, 0.5]),
                                           matrix(1, 2, [0.5, -1])]),
        "gaussfit": call("gaussfit", 1, [matrix(1, 1, [0.5]), matrix(1, 1, [1]), matrix(1, 1, [2])],
                         sample=matrix(1, 12, [k % 5 for k in range(12)])),
    }


def main():
    for target, seeds in (("call_arguments", call_argument_seeds()), ("library", library_seeds())):
        folder = CORPUS / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
