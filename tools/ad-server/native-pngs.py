#!/usr/bin/env python3
"""Writes the native ads' image assets: flat-coloured PNGs (8-bit RGB) under
resources/adserver/adnet/static/creatives/native/. Run from the source tree's root."""
import pathlib
import struct
import zlib

# name: (width, height, colour)
IMAGES = {
    "image.png": (320, 160, (0xF9, 0xA8, 0x25)),
    "icon.png": (64, 64, (0x6A, 0x1B, 0x9A)),
    "logo.png": (48, 48, (0x00, 0x83, 0x8F)),
    "attribution.png": (16, 16, (0x42, 0x42, 0x42)),
}


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(width, height, colour):
    row = b"\x00" + bytes(colour) * width
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(row * height, 9)) + chunk(b"IEND", b""))


def main():
    folder = pathlib.Path("resources/adserver/adnet/static/creatives/native")
    folder.mkdir(parents=True, exist_ok=True)
    for name, (width, height, colour) in IMAGES.items():
        (folder / name).write_bytes(png(width, height, colour))


if __name__ == "__main__":
    main()
