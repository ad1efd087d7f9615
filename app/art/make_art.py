#!/usr/bin/env python3
"""Draws the program's icon (morvane.ico) and the home-page link picture (link.bmp).

The pictures are drawn here from simple shapes so that the repository holds their
source; run this script after changing it and commit the two files it writes:

    python3 app/art/make_art.py
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def clamp(v):
    return max(0, min(255, int(round(v))))


def blend(dst, src, a):
    return tuple(d + (s - d) * a for d, s in zip(dst, src))


class Canvas:
    """RGBA picture drawn with supersampled coverage, so edges come out smooth."""

    def __init__(self, w, h, ss=4):
        self.w, self.h, self.ss = w, h, ss
        self.px = [[(0.0, 0.0, 0.0, 0.0) for _ in range(w)] for _ in range(h)]

    def fill(self, inside, colour):
        """Paints colour (r, g, b) over every pixel, weighted by the share of the
        pixel's sample points for which inside(x, y) holds (coordinates in pixels)."""
        ss = self.ss
        for y in range(self.h):
            for x in range(self.w):
                hits = 0
                for sy in range(ss):
                    for sx in range(ss):
                        if inside(x + (sx + 0.5) / ss, y + (sy + 0.5) / ss):
                            hits += 1
                if hits:
                    a = hits / (ss * ss)
                    r, g, b, da = self.px[y][x]
                    c = colour(x, y) if callable(colour) else colour
                    out_a = a + da * (1 - a)
                    rgb = blend((r, g, b), c, a / out_a if out_a else 0)
                    self.px[y][x] = (rgb[0], rgb[1], rgb[2], out_a)


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def polygon(points):
    def inside(x, y):
        n, c = len(points), False
        for i in range(n):
            (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
            if (ya > y) != (yb > y) and x < (xb - xa) * (y - ya) / (yb - ya) + xa:
                c = not c
        return c
    return inside


def draw_icon(size):
    """The icon: a photograph (sky, sun, hills) on a blue tile, with a green
    arrow in the corner for the conversion."""
    s = size / 32.0
    cv = Canvas(size, size)
    cv.fill(rounded_rect(1 * s, 1 * s, 31 * s, 31 * s, 6 * s),
            lambda x, y: blend((52, 120, 214), (24, 64, 150), y / size))
    cv.fill(rounded_rect(5 * s, 7 * s, 27 * s, 25 * s, 1.5 * s), (250, 250, 250))
    cv.fill(rounded_rect(7 * s, 9 * s, 25 * s, 23 * s, 0.5 * s),
            lambda x, y: blend((150, 205, 250), (225, 240, 255), (y - 9 * s) / (14 * s)))
    cv.fill(circle(20.5 * s, 13 * s, 2.2 * s), (255, 196, 40))
    cv.fill(polygon([(7 * s, 23 * s), (13 * s, 14.5 * s), (19 * s, 23 * s)]), (60, 150, 70))
    cv.fill(polygon([(13 * s, 23 * s), (18.5 * s, 17.5 * s), (25 * s, 23 * s)]), (40, 120, 55))
    cv.fill(circle(25 * s, 25 * s, 6 * s), (255, 255, 255))
    cv.fill(circle(25 * s, 25 * s, 5 * s), (30, 170, 80))
    cv.fill(polygon([(22 * s, 23.8 * s), (25 * s, 23.8 * s), (25 * s, 21.5 * s), (28.6 * s, 25 * s),
                     (25 * s, 28.5 * s), (25 * s, 26.2 * s), (22 * s, 26.2 * s)]), (255, 255, 255))
    return cv


def icon_image(cv):
    """One icon directory entry's image: a 32-bit bottom-up DIB with its AND mask."""
    w, h = cv.w, cv.h
    header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for y in reversed(range(h)):
        for x in range(w):
            r, g, b, a = cv.px[y][x]
            pixels += bytes((clamp(b), clamp(g), clamp(r), clamp(a * 255)))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(h)):
        row = bytearray(mask_stride)
        for x in range(w):
            if cv.px[y][x][3] < 0.5:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + pixels + mask


def write_ico(path, sizes):
    images = [icon_image(draw_icon(n)) for n in sizes]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for n, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n % 256, n % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        out += img
    with open(path, 'wb') as f:
        f.write(out)


# A 5 x 7 pixel font for the capital letters and signs the link picture uses.
FONT = {
    'M': ['10001', '11011', '10101', '10101', '10001', '10001', '10001'],
    'O': ['01110', '10001', '10001', '10001', '10001', '10001', '01110'],
    'R': ['11110', '10001', '10001', '11110', '10100', '10010', '10001'],
    'V': ['10001', '10001', '10001', '10001', '10001', '01010', '00100'],
    'A': ['01110', '10001', '10001', '11111', '10001', '10001', '10001'],
    'N': ['10001', '11001', '10101', '10011', '10001', '10001', '10001'],
    'E': ['11111', '10000', '10000', '11110', '10000', '10000', '11111'],
    'H': ['10001', '10001', '10001', '11111', '10001', '10001', '10001'],
    'P': ['11110', '10001', '10001', '11110', '10000', '10000', '10000'],
    'G': ['01110', '10001', '10000', '10111', '10001', '10001', '01111'],
    'W': ['10001', '10001', '10001', '10101', '10101', '10101', '01010'],
    'B': ['11110', '10001', '10001', '11110', '10001', '10001', '11110'],
    'I': ['01110', '00100', '00100', '00100', '00100', '00100', '01110'],
    'D': ['11100', '10010', '10001', '10001', '10001', '10010', '11100'],
    'L': ['10000', '10000', '10000', '10000', '10000', '10000', '11111'],
    'X': ['10001', '10001', '01010', '00100', '01010', '10001', '10001'],
    '>': ['10000', '01000', '00100', '00010', '00100', '01000', '10000'],
    ' ': ['00000'] * 7,
}


def text_shape(text, x0, y0, scale):
    cells = set()
    for i, ch in enumerate(text):
        for row, bits in enumerate(FONT[ch]):
            for col, bit in enumerate(bits):
                if bit == '1':
                    cells.add((i * 6 + col, row))

    def inside(x, y):
        cx, cy = math.floor((x - x0) / scale), math.floor((y - y0) / scale)
        return (cx, cy) in cells
    return inside


def write_link_bmp(path):
    """The 200 x 40 home-page picture: the small icon, the program's name and
    the maker's name on a blue band, saved as a 24-bit bottom-up BMP."""
    w, h = 200, 40
    cv = Canvas(w, h, ss=3)
    cv.fill(lambda x, y: True, lambda x, y: blend((36, 92, 190), (20, 52, 128), y / h))
    cv.fill(rounded_rect(1, 1, w - 1, h - 1, 5), lambda x, y: blend((70, 140, 230), (30, 80, 170), y / h))
    icon = draw_icon(32)
    for y in range(32):
        for x in range(32):
            r, g, b, a = icon.px[y][x]
            if a:
                dr, dg, db, da = cv.px[y + 4][x + 6]
                c = blend((dr, dg, db), (r, g, b), a)
                cv.px[y + 4][x + 6] = (c[0], c[1], c[2], 1.0)
    cv.fill(text_shape('MORVANE', 46, 6, 2), (255, 255, 255))
    cv.fill(text_shape('BRINDLEX WEB >', 46, 26, 1), (220, 235, 255))
    rows = bytearray()
    stride = (w * 3 + 3) & ~3
    for y in reversed(range(h)):
        row = bytearray()
        for x in range(w):
            r, g, b, _ = cv.px[y][x]
            row += bytes((clamp(b), clamp(g), clamp(r)))
        rows += row + bytes(stride - len(row))
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(head + info + rows)


if __name__ == '__main__':
    write_ico(os.path.join(HERE, 'morvane.ico'), [16, 32, 48])
    write_link_bmp(os.path.join(HERE, 'link.bmp'))
