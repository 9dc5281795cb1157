#!/usr/bin/env python3
"""Draws the converter's icon, a handheld showing a sound wave, as zelvio.svg, as the 16 x 16
and 32 x 32 PNG images beside it, and as zelvio.ico for the Windows programs (both sizes in 16
colours, each pixel the colour of the shape at its centre). The shapes are laid out on the 32-pixel grid; the 16-pixel image
halves them and keeps fewer, wider wave bars so that each bar still fills whole pixels.

Run from this folder: python3 make_icons.py
"""
import struct
import zlib

BODY = "#2f3e4e"
SCREEN = "#b8d8a8"
WAVE = "#1f4f2f"
KEYS = "#8aa0b4"


def shapes(size):
    """Rounded rectangles (x, y, w, h, r, colour) and circles (cx, cy, r, colour) in pixels."""
    if size == 32:
        bars = [(10 + 2 * i, h) for i, h in enumerate([2, 6, 10, 6, 8, 4, 2])]
        bar_width, mid = 1, 11
        rects = [(6, 1, 20, 30, 3, BODY), (8, 4, 16, 14, 0, SCREEN)]
        keys = [(16, 25, 2.5, KEYS), (10.5, 25, 1.5, KEYS), (21.5, 25, 1.5, KEYS)]
    else:
        bars = [(5 + 2 * i, h) for i, h in enumerate([1, 5, 3, 1])]
        bar_width, mid = 1, 5.5
        rects = [(3, 0, 10, 16, 2, BODY), (4, 2, 8, 7, 0, SCREEN)]
        keys = [(8, 12.5, 1.5, KEYS)]
    rects += [(x, mid - h / 2, bar_width, h, 0, WAVE) for x, h in bars]
    return rects, keys


def inside_rect(px, py, rect):
    x, y, w, h, r, _ = rect
    if not (x <= px < x + w and y <= py < y + h):
        return False
    # Outside the rounded corners: farther than r from the corner circle's centre.
    cx = min(max(px, x + r), x + w - r)
    cy = min(max(py, y + r), y + h - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


def inside_circle(px, py, circle):
    cx, cy, r, _ = circle
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def render(size, samples=4):
    rects, keys = shapes(size)
    layers = [(s, inside_rect) for s in rects] + [(s, inside_circle) for s in keys]
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            total = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    px = x + (sx + 0.5) / samples
                    py = y + (sy + 0.5) / samples
                    colour = None
                    for shape, test in layers:  # painter's order: the last hit is on top
                        if test(px, py, shape):
                            colour = shape[-1]
                    if colour is not None:
                        r, g, b = rgb(colour)
                        total[0] += r
                        total[1] += g
                        total[2] += b
                        total[3] += 1
            n = samples * samples
            if total[3]:
                row += bytes([total[0] // total[3], total[1] // total[3], total[2] // total[3],
                              (255 * total[3] + n // 2) // n])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def write_png(path, rows):
    height, width = len(rows), len(rows[0]) // 4

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + row for row in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def indexed(size, palette):
    """Rows of palette indices, None where no shape covers the pixel's centre."""
    rects, keys = shapes(size)
    layers = [(s, inside_rect) for s in rects] + [(s, inside_circle) for s in keys]
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            colour = None
            for shape, test in layers:
                if test(x + 0.5, y + 0.5, shape):
                    colour = shape[-1]
            row.append(None if colour is None else palette.index(colour))
        rows.append(row)
    return rows


def write_ico(path, sizes):
    """A Windows icon of 4-bit (16-colour) bitmaps with a transparency mask, one per size."""
    palette = [None, BODY, SCREEN, WAVE, KEYS] + [None] * 11
    quads = b"".join(bytes([*rgb(c)[::-1], 0]) if c else bytes(4) for c in palette)
    images = []
    for size in sizes:
        rows = indexed(size, palette)
        xor_stride = (size // 2 + 3) // 4 * 4
        and_stride = (size // 8 + 3) // 4 * 4
        xor = b""
        mask = b""
        for row in reversed(rows):  # bitmaps run bottom-up
            nibbles = [0 if i is None else i for i in row]
            line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
            xor += line.ljust(xor_stride, b"\0")
            bits = 0
            for i in row:
                bits = (bits << 1) | (1 if i is None else 0)
            mask += bits.to_bytes(size // 8, "big").ljust(and_stride, b"\0")
        header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, len(xor) + len(mask),
                             0, 0, 16, 0)
        images.append((size, header + quads + xor + mask))
    ico = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        ico += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    ico += b"".join(data for _, data in images)
    with open(path, "wb") as f:
        f.write(ico)


def write_svg(path):
    rects, keys = shapes(32)
    lines = ['<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">']
    for x, y, w, h, r, colour in rects:
        corner = f' rx="{r:g}"' if r else ""
        lines.append(f'  <rect x="{x:g}" y="{y:g}" width="{w:g}" height="{h:g}"{corner}'
                     f' fill="{colour}"/>')
    for cx, cy, r, colour in keys:
        lines.append(f'  <circle cx="{cx:g}" cy="{cy:g}" r="{r:g}" fill="{colour}"/>')
    lines.append("</svg>")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    write_svg("zelvio.svg")
    for size in (16, 32):
        write_png(f"zelvio-{size}.png", render(size))
    write_ico("zelvio.ico", (32, 16))
