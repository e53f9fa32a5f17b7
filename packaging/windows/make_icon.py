#!/usr/bin/env python3
"""Draws Varnolt's Windows icon, the design of packaging/varnolt.svg (the globe a
drawing lands on, one grid line of its plane laid across it), into an .ico file with
16, 24, 32, 48, 64 and 256 pixel images: 32-bit bitmaps with alpha, the largest as
PNG. Standard library only, so the cross build needs no image tools.

    make_icon.py OUT.ico
"""
import math
import struct
import sys
import zlib

SEA_CENTRE, SEA_RADIUS = (24.0, 22.0), 34.0
SEA_INNER, SEA_OUTER = (0x5F, 0xB0, 0xEA), (0x1F, 0x5F, 0x9E)
GRID, GRID_OPACITY, GRID_HALF_WIDTH = (0xE3, 0xF1, 0xFC), 0.85, 0.8
RIM = (0x17, 0x3F, 0x66)
ORANGE, WHITE = (0xF2, 0x8C, 0x28), (0xFF, 0xFF, 0xFF)
SIZES = (16, 24, 32, 48, 64, 256)


def bezier(p0, p1, p2, pieces=48):
    return [tuple((1 - t) ** 2 * a + 2 * (1 - t) * t * b + t * t * c
                  for a, b, c in zip(p0, p1, p2))
            for t in (i / pieces for i in range(pieces + 1))]


# The grid's two curved parallels, as short chords.
PARALLELS = [bezier((8, 19), (32, 23), (56, 19)), bezier((8, 45), (32, 41), (56, 45))]


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def ellipse_distance(x, y, rx, ry):
    # |f| / |grad f| for f = x^2/rx^2 + y^2/ry^2 - 1: the distance near the curve.
    f = x * x / (rx * rx) + y * y / (ry * ry) - 1
    g = math.hypot(2 * x / (rx * rx), 2 * y / (ry * ry))
    return abs(f) / g if g > 0 else ry


def over(dst, colour, alpha):
    r, g, b, a = dst
    return (r + (colour[0] / 255 - r) * alpha, g + (colour[1] / 255 - g) * alpha,
            b + (colour[2] / 255 - b) * alpha, a + (1 - a) * alpha)


def sample(u, v):
    """The colour at (u, v) of the 64-unit design, as straight RGBA in 0..1."""
    px = (0.0, 0.0, 0.0, 0.0)
    d = math.hypot(u - 32, v - 32)
    if d <= 27:
        t = min(1.0, math.hypot(u - SEA_CENTRE[0], v - SEA_CENTRE[1]) / SEA_RADIUS)
        px = tuple(((1 - t) * i + t * o) / 255 for i, o in zip(SEA_INNER, SEA_OUTER)) + (1.0,)
        x, y = u - 32, v - 32
        near = min(ellipse_distance(x, y, 11, 27), ellipse_distance(x, y, 21, 27), abs(x), abs(y))
        for curve in PARALLELS:
            for (ax, ay), (bx, by) in zip(curve, curve[1:]):
                near = min(near, segment_distance(u, v, ax, ay, bx, by))
        if near <= GRID_HALF_WIDTH:
            px = over(px, GRID, GRID_OPACITY)
    if abs(d - 27) <= 1:
        px = over(px, RIM, 1.0)
    if segment_distance(u, v, 9, 52, 55, 12) <= 1.5:
        px = over(px, ORANGE, 1.0)
    dot = math.hypot(u - 55, v - 12)
    if dot <= 4:
        px = over(px, ORANGE, 1.0)
    if abs(dot - 4) <= 0.75:
        px = over(px, WHITE, 1.0)
    return px


def render(size):
    """size x size pixels, top row first, each (r, g, b, a) in 0..255."""
    ss = 4 if size <= 64 else 2
    step = 64.0 / (size * ss)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for j in range(ss):
                for i in range(ss):
                    r, g, b, a = sample((x * ss + i + 0.5) * step, (y * ss + j + 0.5) * step)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = ss * ss
            alpha = acc[3] / n
            colour = [c / acc[3] if acc[3] > 0 else 0.0 for c in acc[:3]]
            row.append(tuple(round(c * 255) for c in colour) + (round(alpha * 255),))
        rows.append(row)
    return rows


def bitmap(rows):
    """An icon image as a 32-bit DIB: the header, BGRA rows bottom-up, an empty mask."""
    size = len(rows)
    head = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_row = ((size + 31) // 32) * 4
    return head + pixels + bytes(mask_row * size)


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body)))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    images = [png(render(s)) if s >= 256 else bitmap(render(s)) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        side = 0 if size >= 256 else size  # 0 stands for 256
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
