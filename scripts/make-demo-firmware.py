#!/usr/bin/env python3
"""Writes the sample firmware images of data/demo/.

The images are made-up data (a repeatable pseudo-random pattern), written as
Intel HEX with 32 data bytes per record and CR LF line ends. The Lucent
image carries its flash identification in data bytes 28 to 31 of its first
record (characters 65 to 72 of the file): code 0x12AB (little-endian),
flash type 55 and size code 40, which is what the demo's Lucent modem
reports.
"""
import os
import random
import sys


def record(address, rtype, data):
    body = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, rtype]) + bytes(data)
    checksum = (-sum(body)) & 0xFF
    return ":" + body.hex().upper() + "%02X" % checksum + "\r\n"


def image(size, seed, head=None):
    rng = random.Random(seed)
    data = bytearray(rng.randrange(256) for _ in range(size))
    if head is not None:
        data[28:32] = head
    lines = []
    for offset in range(0, size, 32):
        lines.append(record(offset, 0, data[offset:offset + 32]))
    lines.append(record(0, 1, b""))
    return "".join(lines)


FILES = {
    "QAGB0502.HEX": (8192, 1, None),      # QBX7720 5.02
    "QAGB0301.HEX": (8192, 2, None),      # QBX7720 3.01: no 4.x device may take it
    "KZDE0401.HEX": (8192, 3, None),      # KV5120ZA 4.01
    "TPGB0305.HEX": (4096, 4, None),      # QBXHP-TA 3.05
    "LVNL0601.HEX": (4096, 5, bytes([0xAB, 0x12, 0x55, 0x40])),  # LV5600 6.01
    "RSGB17.HEX": (4096, 6, None),        # RW3360-SP 2.17
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data", "demo")
    for name, (size, seed, head) in FILES.items():
        with open(os.path.join(folder, name), "w", newline="") as out:
            out.write(image(size, seed, head))


if __name__ == "__main__":
    main()
