#!/usr/bin/env python3
"""The preview of a FITS file: `preview --from` reads a frame written by the
host's FITS writer and writes a PNG, which is decoded here by a reader of its
own (zlib and the PNG filters, nothing of libpng) and compared with the
frame as astropy reads it.

    preview_test.py --host r6odi-capture --pattern fits_pattern --work DIR
"""
import argparse
import os
import struct
import subprocess
import sys
import zlib

import numpy
from astropy.io import fits


def fail(message):
    sys.exit(f"preview: {message}")


def run(command):
    result = subprocess.run(command, capture_output=True, text=True, timeout=300)
    if result.returncode != 0:
        fail(f"{' '.join(command)}: exit {result.returncode}\n{result.stdout}{result.stderr}")
    return result.stdout


def unfilter(kind, line, previous):
    """One row of 8-bit grey through the PNG filter that encoded it."""
    out = bytearray(line)
    for i in range(len(out)):
        left = out[i - 1] if i else 0
        up = previous[i]
        corner = previous[i - 1] if i else 0
        if kind == 1:
            out[i] = (out[i] + left) & 0xFF
        elif kind == 2:
            out[i] = (out[i] + up) & 0xFF
        elif kind == 3:
            out[i] = (out[i] + (left + up) // 2) & 0xFF
        elif kind == 4:
            p = left + up - corner
            nearest = min((abs(p - left), 0, left), (abs(p - up), 1, up), (abs(p - corner), 2, corner))[2]
            out[i] = (out[i] + nearest) & 0xFF
        elif kind != 0:
            fail(f"unknown PNG filter {kind}")
    return out


def read_grey_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail(f"{path} is not a PNG file")
    chunks = {}
    position = 8
    while position < len(data):
        length, kind = struct.unpack(">I4s", data[position:position + 8])
        body = data[position + 8:position + 8 + length]
        (crc,) = struct.unpack(">I", data[position + 8 + length:position + 12 + length])
        if zlib.crc32(kind + body) != crc:
            fail(f"{path}: chunk {kind} fails its CRC")
        chunks[kind] = chunks.get(kind, b"") + body
        position += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    if (depth, colour, interlace) != (8, 0, 0) or b"IEND" not in chunks:
        fail(f"{path}: depth {depth}, colour type {colour}, interlace {interlace}; want 8-bit grey")
    raw = zlib.decompress(chunks[b"IDAT"])
    rows = []
    previous = bytes(width)
    for row in range(height):
        start = row * (width + 1)
        previous = unfilter(raw[start], raw[start + 1:start + 1 + width], previous)
        rows.append(bytes(previous))
    return numpy.frombuffer(b"".join(rows), dtype=numpy.uint8).reshape(height, width)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--pattern", required=True)
    parser.add_argument("--work", required=True)
    opts = parser.parse_args()
    folder = os.path.join(opts.work, "preview")
    os.makedirs(folder, exist_ok=True)
    source = os.path.join(folder, "pattern.fits")
    picture = os.path.join(folder, "pattern.png")
    for path in (source, picture):
        if os.path.exists(path):
            os.remove(path)
    run([opts.pattern, source])
    output = run([opts.host, "preview", "--from", source, "--png", picture])
    if f"Wrote {picture}: 301 x 203" not in output:
        fail(f"no report of the picture:\n{output}")
    with fits.open(source) as hdus:
        top_first = hdus[0].data[::-1].astype(numpy.int64)
    grey = read_grey_png(picture)
    if grey.shape != top_first.shape:
        fail(f"picture {grey.shape}, frame {top_first.shape}")
    # The stretch only ever brightens with the frame's value: in the order of
    # the frame's pixels the picture's never drop, from black to white. A
    # picture upside down, shifted or of other pixels breaks this.
    order = numpy.argsort(top_first, axis=None, kind="stable")
    ranked = grey.ravel()[order]
    if numpy.any(numpy.diff(ranked.astype(int)) < 0) or ranked[0] != 0 or ranked[-1] != 255:
        fail("the picture does not follow the frame's values from black to white")
    print("preview: passed")


if __name__ == "__main__":
    main()
