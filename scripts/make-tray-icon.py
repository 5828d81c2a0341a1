#!/usr/bin/env python3
"""Writes resources/NimbelloTray.ico: the tray applet's embedded 16 x 16 icon, the empty box of the
usage graph. One image, 24-bit colour with its transparency mask: a one-pixel dark grey frame,
lightest along the top and darkening down the sides to the bottom row, around a transparent
interior. Run it again only to change the picture; the build uses the checked-in file."""
import pathlib
import struct

SIZE = 16
TOP = (55, 55, 58)
BOTTOM = (41, 42, 44)


def frame_colour(y):
    # Row 0 is the top row; the sides darken evenly towards the bottom row.
    t = y / (SIZE - 1)
    return tuple(round(a + (b - a) * t) for a, b in zip(TOP, BOTTOM))


def is_frame(x, y):
    return x in (0, SIZE - 1) or y in (0, SIZE - 1)


def image():
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 24, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        row = bytearray()
        bits = 0
        for x in range(SIZE):
            if is_frame(x, y):
                r, g, b = frame_colour(y)
                row += bytes((b, g, r))
            else:
                row += b"\0\0\0"
                bits |= 1 << (SIZE - 1 - x)  # 1: transparent
        row += b"\0" * (-len(row) % 4)
        colour += row
        mask += struct.pack(">H", bits) + b"\0\0"  # rows padded to 32 bits
    return header + bytes(colour) + bytes(mask)


def main():
    data = image()
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 24, len(data), 6 + 16)
    out = directory + entry + data
    assert len(out) == 894, len(out)
    path = pathlib.Path(__file__).resolve().parent.parent / "resources" / "NimbelloTray.ico"
    path.write_bytes(out)
    print(f"{path}: {len(out)} bytes")


if __name__ == "__main__":
    main()
