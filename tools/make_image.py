#!/usr/bin/env python3
"""Writes the synthetic firmware image that Corvane carries.

The code bytes are made up: a banner, a version tag the simulated charger
reports once the image is installed, and filler from a fixed generator, so
the same bytes come out on every run. The last two code bytes are chosen so
that the plain CRC-16 over the code equals the value stored in the header.

    python3 tools/make_image.py resources/upgrade-2.10e.bin
"""
import sys

TOTAL_SIZE = 12810
HEADER_SIZE = 128
CODE_LENGTH = TOTAL_SIZE - HEADER_SIZE  # 12682
CODE_CRC = 0x20C5
VERSION = b"2.10e"
BANNER = (b"Veltra charger firmware\x00"
          b"Copyright Veltra. Synthetic image for the Corvane bench utility.\x00"
          b"VER:" + VERSION + b"\x00")


def crc16_update(reg, byte):
    for bit in range(7, -1, -1):
        top = reg & 0x8000
        reg = ((reg << 1) & 0xFFFF) | ((byte >> bit) & 1)
        if top:
            reg ^= 0x1021
    return reg


def crc16_plain(data):
    reg = 0
    for b in data:
        reg = crc16_update(reg, b)
    return reg


def crc16_xmodem(data):
    return crc16_plain(bytes(data) + b"\x00\x00")


def filler(count, seed=0x2104E):
    out = bytearray()
    state = seed
    for _ in range(count):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((state >> 16) & 0xFF)
    return out


def main():
    prefix = bytearray(BANNER)
    prefix += filler(CODE_LENGTH - 2 - len(prefix))
    # Appending two bytes t to a message whose augmented CRC is a gives a
    # plain CRC of a ^ t, so t is fixed by the CRC we want.
    tail = CODE_CRC ^ crc16_xmodem(prefix)
    code = prefix + bytes([tail >> 8, tail & 0xFF])
    assert len(code) == CODE_LENGTH
    assert crc16_plain(code) == CODE_CRC
    assert crc16_xmodem(code) == 0x8F0F
    header = bytes([CODE_LENGTH >> 8, CODE_LENGTH & 0xFF, CODE_CRC >> 8, CODE_CRC & 0xFF])
    image = header + bytes(HEADER_SIZE - 4) + code
    assert len(image) == TOTAL_SIZE
    with open(sys.argv[1], "wb") as f:
        f.write(image)


if __name__ == "__main__":
    main()
