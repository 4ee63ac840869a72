#!/usr/bin/env python3
"""Writes a synthetic firmware image in the image file format.

The code bytes are made up: a banner, a version tag ("VER:<label>") that the
simulated charger reports once the image is installed, and filler from a
fixed generator, so the same arguments give the same bytes on every run.

With the default label, 2.10e, it writes the image Corvane carries,
byte for byte: its last two code bytes are chosen so that the plain CRC-16
over the code equals the value the carried image has always had (20C5). Any
other label gives an image whose header holds the CRC its code has.

    python3 tools/make_image.py resources/upgrade-2.10e.bin
    python3 tools/make_image.py --label 2.11a 2.11a.bin
    python3 tools/make_image.py --label 3.00 --code-length 65535 3.00.bin
"""
import argparse

HEADER_SIZE = 128
MAX_CODE_LENGTH = 65535
CARRIED_LABEL = "2.10e"
CARRIED_CODE_LENGTH = 12682
CARRIED_CODE_CRC = 0x20C5
CARRIED_XMODEM_CRC = 0x8F0F


def banner(label):
    return (b"Veltra charger firmware\x00"
            b"Copyright Veltra. Synthetic image for the Corvane bench utility.\x00"
            b"VER:" + label.encode("ascii") + b"\x00")


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


def make_code(label, code_length, code_crc=None):
    """The code bytes; with code_crc, the last two bytes make its CRC that."""
    prefix = bytearray(banner(label))
    if code_crc is None:
        return bytes(prefix + filler(code_length - len(prefix)))
    prefix += filler(code_length - 2 - len(prefix))
    # Appending two bytes t to a message whose augmented CRC is a gives a
    # plain CRC of a ^ t, so t is fixed by the CRC we want.
    tail = code_crc ^ crc16_xmodem(prefix)
    return bytes(prefix + bytes([tail >> 8, tail & 0xFF]))


def make_image(label, code_length):
    carried = label == CARRIED_LABEL and code_length == CARRIED_CODE_LENGTH
    code = make_code(label, code_length, CARRIED_CODE_CRC if carried else None)
    crc = crc16_plain(code)
    assert len(code) == code_length
    if carried:
        assert crc == CARRIED_CODE_CRC
        assert crc16_xmodem(code) == CARRIED_XMODEM_CRC
    header = bytes([code_length >> 8, code_length & 0xFF, crc >> 8, crc & 0xFF])
    return header + bytes(HEADER_SIZE - 4) + code


def parse_arguments():
    parser = argparse.ArgumentParser(
        description="Write a synthetic charger firmware image whose code carries its label.")
    parser.add_argument("--label", default=CARRIED_LABEL,
                        help="the version the firmware reports once installed "
                             "(default %(default)s, the carried image)")
    parser.add_argument("--code-length", type=int, default=CARRIED_CODE_LENGTH,
                        help="code bytes after the 128-byte header (default %(default)s)")
    parser.add_argument("file", help="where to write the image")
    args = parser.parse_args()
    # The simulated firmware reads its version as a short printable tag.
    if not (1 <= len(args.label) <= 16 and all(0x20 < ord(c) < 0x7F for c in args.label)):
        parser.error("the label must be 1 to 16 printable characters without spaces")
    if not len(banner(args.label)) + 2 <= args.code_length <= MAX_CODE_LENGTH:
        parser.error("the code length must be from %d to %d"
                     % (len(banner(args.label)) + 2, MAX_CODE_LENGTH))
    return args


def main():
    args = parse_arguments()
    image = make_image(args.label, args.code_length)
    with open(args.file, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    main()
