#!/usr/bin/env python3
"""Writes the seed corpus of ProcessInformation_fuzz: answers shaped like Windows' own, for a
32-bit and a 64-bit process. Each record is followed by its thread entries and then its name, as
the kernel writes them; the first byte of a file picks the width (1: 64-bit)."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "ProcessInformation")
# Where the fuzz target says the answer lies, by width.
ADDRESS = {4: 0x00410000, 8: 0x7FF000010000}
# Fixed part of SYSTEM_PROCESS_INFORMATION and one SYSTEM_THREAD_INFORMATION, by width.
FIXED = {4: 0xB8, 8: 0x100}
THREAD = {4: 0x40, 8: 0x50}
PROCESSES = [  # id, parent, name, threads, working set
    (0, 0, "", 2, 8192),
    (4, 0, "System", 12, 150 * 2**20),
    (412, 4, "smss.exe", 2, 1 * 2**20),
    (5120, 4800, "explorer.exe", 10, 180 * 2**20),
    (7788, 5120, "game.exe", 8, 6 * 2**30),
]


def record(width, at, pid, parent, name, threads, working_set, last):
    p = "I" if width == 4 else "Q"
    encoded = name.encode("utf-16-le")
    name_at = FIXED[width] + threads * THREAD[width]
    size = (name_at + len(encoded) + 2 + 7) // 8 * 8
    body = bytearray(size)
    struct.pack_into("<II", body, 0, 0 if last else size, threads)
    # WorkingSetPrivateSize, HardFaultCount, CycleTime; PageFaultCount below, by width.
    struct.pack_into("<qI4xQ", body, 0x08, working_set // 3, 40 + pid % 7, 9_000_000_000 + pid)
    struct.pack_into("<qqq", body, 0x20, 132_000_000_000_000_000 + pid, 500_000, 200_000)
    pointer = ADDRESS[width] + at + name_at if name else 0
    struct.pack_into("<HH", body, 0x38, len(encoded), len(encoded) + 2)
    if width == 8:
        struct.pack_into("<Q i 4x Q Q", body, 0x40, pointer, 8, pid, parent)
        struct.pack_into("<I", body, 0x80, 0xFFFFFF00 + pid % 200)
        struct.pack_into("<Q", body, 0x90, working_set)
    else:
        struct.pack_into("<I i I I", body, 0x3C, pointer, 8, pid, parent)
        struct.pack_into("<I", body, 0x60, 0xFFFFFF00 + pid % 200)
        struct.pack_into("<I", body, 0x68, min(working_set, 0xFFFFFFFF))
    body[name_at:name_at + len(encoded)] = encoded
    return bytes(body)


def answer(width):
    data = b""
    for i, (pid, parent, name, threads, ws) in enumerate(PROCESSES):
        data += record(width, len(data), pid, parent, name, threads, ws, i == len(PROCESSES) - 1)
    return data


os.makedirs(HERE, exist_ok=True)
for width, flag in ((4, 0), (8, 1)):
    with open(os.path.join(HERE, f"windows-{width * 8}bit"), "wb") as f:
        f.write(bytes([flag]) + answer(width))
    # Memory list counts of Windows 8 to 11: 22 of them.
    counts = [10000 + i for i in range(22)]
    with open(os.path.join(HERE, f"memory-lists-{width * 8}bit"), "wb") as f:
        f.write(bytes([flag]) + struct.pack("<22" + ("I" if width == 4 else "Q"), *counts))
