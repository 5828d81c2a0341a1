#!/usr/bin/env python3
"""Runs nimbello-icon and reads back what it wrote: exit codes, file names, PNG sizes and pixels.

usage: test_nimbello_icon.py PATH-TO-nimbello-icon SCRATCH-DIR
"""
import os
import shutil
import struct
import subprocess
import sys
import zlib

TOOL, SCRATCH = sys.argv[1], sys.argv[2]
failures = []

LIGHT, DARK = (55, 56, 58), (41, 43, 44)
BLACK, GREEN, LIME = (0, 0, 0), (0, 128, 0), (0, 255, 0)


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def read_png(path):
    """Width, height, colour type and rows of RGB tuples of an 8-bit RGB PNG."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour_type = header[:4]
    raw = zlib.decompress(idat)
    stride, rows, prev = width * 3, [], bytearray(width * 3)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b = prev[i]
            c = prev[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * 3:x * 3 + 3]) for x in range(width)])
        prev = line
    return width, height, depth, colour_type, rows


def run(*args, out=None):
    if out is not None:
        shutil.rmtree(out, ignore_errors=True)
    return subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=60)


def bar_top(rows, x):
    for y, row in enumerate(rows):
        if row[x] == LIME:
            return y
    return -1


# Defaults: 16 x 16, clBlack / clGreen / clLime; history and phase carry over between pictures.
out = os.path.join(SCRATCH, "defaults")
strip = os.path.join(SCRATCH, "strip.png")
result = run("--out", out, "--strip", strip, "--scale", "3", "50", "30", "100", out=out)
check(result.returncode == 0, f"defaults: exit {result.returncode} {result.stderr}")
check(sorted(os.listdir(out)) == ["0001.png", "0002.png", "0003.png"], f"files {os.listdir(out)}")
frames = [read_png(os.path.join(out, f"{n:04}.png")) for n in (1, 2, 3)]
for width, height, depth, colour_type, _ in frames:
    check((width, height, depth, colour_type) == (16, 16, 8, 2), "16 x 16 8-bit RGB")
first, second, third = (f[4] for f in frames)
check(first[0][0] == LIGHT and first[9][0] == LIGHT and first[10][0] == DARK, "frame tones")
check(first[15][7] == DARK and first[0][7] == LIGHT, "top and bottom rows")
check(first[1][1] == BLACK and first[1][3] == GREEN and first[3][1] == GREEN, "first grid")
check(second[1][2] == GREEN and second[1][3] == BLACK, "grid moved left on the second picture")
check([bar_top(first, x) for x in range(1, 15)] == [-1] * 12 + [7, 7], "bars of 50 %")
check([bar_top(second, x) for x in range(1, 15)] == [-1] * 11 + [7, 11, 11], "bars of 30 %")
check([bar_top(third, x) for x in range(1, 15)] == [-1] * 10 + [7, 11, 1, 1], "bars of 100 %")

# The strip: every frame side by side, each pixel a 3 x 3 square.
width, height, depth, colour_type, rows = read_png(strip)
check((width, height) == (3 * 16 * 3, 16 * 3), f"strip size {width}x{height}")
check(all(rows[y][16 * 3 + x] == second[y // 3][x // 3] for y in range(48) for x in range(48)),
      "second frame in the strip")

# Sizes from the small-icon metrics; colours by name and number, system colours in the classic
# scheme.
for size, expected in (("20", (20, 20)), ("24x16", (24, 16)), ("72x16", (64, 64)),
                       ("65X65", (64, 64)), ("2x1", (4, 3))):
    out = os.path.join(SCRATCH, "size")
    result = run("--size", size, "--out", out, "0", out=out)
    check(result.returncode == 0, f"--size {size}: exit {result.returncode}")
    if result.returncode == 0:
        check(read_png(os.path.join(out, "0001.png"))[:2] == expected, f"--size {size}")
out = os.path.join(SCRATCH, "colours")
result = run("--background=clBtnFace", "--grid", "$0000FF", "--bar", "CLNAVY", "--out", out, "0",
             out=out)
check(result.returncode == 0, f"colours: exit {result.returncode} {result.stderr}")
if result.returncode == 0:
    rows = read_png(os.path.join(out, "0001.png"))[4]
    check((rows[1][1], rows[1][3], rows[14][14]) == ((212, 208, 200), (255, 0, 0), (0, 0, 128)),
          f"colours drawn {rows[1][1]} {rows[1][3]} {rows[14][14]}")

# A rejected colour: exit 1, a message naming it, and no file at all.
for option, name in (("--background", "clLimee"), ("--grid", ""), ("--bar", "12abc")):
    out = os.path.join(SCRATCH, "rejected")
    strip = os.path.join(SCRATCH, "rejected.png")
    if os.path.exists(strip):
        os.remove(strip)
    result = run(option, name, "--out", out, "--strip", strip, "50", out=out)
    check(result.returncode == 1, f"{option} {name!r}: exit {result.returncode}")
    check(option in result.stderr and f'"{name}"' in result.stderr, f"message: {result.stderr!r}")
    check(not os.path.exists(out) and not os.path.exists(strip), f"{option} {name!r}: files written")

# Usage errors: exit 2 and nothing written.
out = os.path.join(SCRATCH, "usage")
for args in ([], ["50"], ["--out", out], ["--out", out, "fifty"], ["--out", out, "1.5"],
             ["--size", "0", "--out", out, "5"], ["--size", "16x", "--out", out, "5"],
             ["--size", "x16", "--out", out, "5"], ["--scale", "0", "--out", out, "5"],
             ["--out", out, "--colour", "red", "5"], ["--out", out, "5", "--bar"],
             ["--out", out, "99999999999"]):
    result = run(*args, out=out)
    check(result.returncode == 2, f"{args}: exit {result.returncode}")
    check("usage:" in result.stderr, f"{args}: usage on standard error")
    check(not os.path.exists(out), f"{args}: files written")

# Percentages are used as given; "--" lets a negative one follow anywhere.
out = os.path.join(SCRATCH, "percent")
result = run("--out", out, "--", "-20", "250", out=out)
check(result.returncode == 0, f"negative and large: exit {result.returncode}")
if result.returncode == 0:
    rows = read_png(os.path.join(out, "0002.png"))[4]
    check([bar_top(rows, x) for x in (12, 13, 14)] == [14, 1, 1], "-20 % and 250 %")

result = run("--help")
check(result.returncode == 0 and "clBtnFace" in result.stdout and "212, 208, 200" in result.stdout,
      "--help lists the scheme")

print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
