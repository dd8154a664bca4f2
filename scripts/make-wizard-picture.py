#!/usr/bin/env python3
"""Draws the wizard's 300 x 214 side picture (app/resources/wizard.png):
a modem on a bench with its status lights, a serial cable and an arrow
carrying new firmware into it. Standard library only."""
import math
import struct
import sys
import zlib

W, H = 300, 214


def lerp(a, b, t):
    return tuple(int(a[i] + (b[i] - a[i]) * t) for i in range(3))


def main(path):
    px = [[(0, 0, 0)] * W for _ in range(H)]
    # Background: deep blue to teal.
    for y in range(H):
        for x in range(W):
            px[y][x] = lerp((14, 32, 74), (22, 110, 128), (x / W + y / H) / 2)

    def rect(x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(H, y1)):
            for x in range(max(0, x0), min(W, x1)):
                px[y][x] = c

    def disc(cx, cy, r, c):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                if 0 <= x < W and 0 <= y < H and (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    px[y][x] = c

    # Bench and the modem's case with a lighter top face.
    rect(0, 168, W, H, (10, 22, 48))
    rect(60, 118, 250, 168, (196, 204, 214))
    rect(60, 110, 250, 118, (226, 232, 238))
    rect(60, 164, 250, 168, (120, 128, 140))
    # Status lights on the front panel.
    for i, c in enumerate([(60, 220, 90), (60, 220, 90), (250, 190, 40), (60, 220, 90), (230, 60, 60)]):
        disc(90 + i * 26, 146, 5, c)
    # Serial cable leaving on the left.
    for x in range(0, 60):
        y = 140 + int(6 * math.sin(x / 9.0))
        rect(x, y, x + 1, y + 5, (40, 44, 52))
    # Arrow of firmware coming down into the modem.
    rect(146, 30, 164, 80, (250, 200, 60))
    for i in range(22):
        rect(155 - 22 + i, 80 + i, 155 + 22 - i, 81 + i, (250, 200, 60))
    # Data bits falling beside the arrow.
    for k in range(14):
        x = 40 + (k * 71) % 220
        y = 12 + (k * 37) % 80
        if 130 < x < 180:
            continue
        rect(x, y, x + 6 if k % 2 else x + 3, y + 9, (150, 220, 235))

    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in px)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "app/resources/wizard.png")
