#!/usr/bin/env python3
"""Draws bexlow's icon: a white square holding a red diamond outline whose
upper-right half is solid red and whose lower-left half is hatched with red
diagonal strokes.

Writes packaging/icons/bexlow.png (32 x 32, 16-colour palette, opaque) and
packaging/icons/bexlow.svg (the same drawing, scalable). Only the standard
library is used, so the icon can be rebuilt anywhere:

    scripts/make-icon.py [output-directory]
"""
import pathlib
import struct
import sys
import zlib

SIZE = 32
CENTRE = 16.0   # the diamond's centre, in pixel coordinates
RADIUS = 14.0   # centre to a vertex
OUTLINE = 1.5   # outline width, measured along the axes
HATCH_PERIOD = 4

# The 16 colours of the classic VGA palette; the icon uses white and red.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
RED = 9
WHITE = 15


def pixel(x, y):
    """Palette index of pixel (x, y), judged at the pixel's centre."""
    dx = x + 0.5 - CENTRE
    dy = y + 0.5 - CENTRE
    distance = abs(dx) + abs(dy)
    if distance > RADIUS:
        return WHITE
    if distance > RADIUS - OUTLINE:
        return RED
    # The diagonal from the upper-left edge to the lower-right edge splits the
    # diamond; strokes in the lower-left half run from lower left to upper right.
    if dx - dy >= 0:
        return RED
    return RED if (x + y) % HATCH_PERIOD == 0 else WHITE


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path):
    rows = bytearray()
    for y in range(SIZE):
        rows.append(0)  # no filter
        for x in range(0, SIZE, 2):
            rows.append(pixel(x, y) << 4 | pixel(x + 1, y))
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 4, 3, 0, 0, 0)  # 4-bit palette
    palette = b"".join(bytes(colour) for colour in PALETTE)
    data = (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"PLTE", palette)
            + png_chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + png_chunk(b"IEND", b""))
    path.write_bytes(data)


def write_svg(path):
    c, r = CENTRE, RADIUS
    top, right, bottom, left = (c, c - r), (c + r, c), (c, c + r), (c - r, c)
    upper_left_mid, lower_right_mid = (c - r / 2, c - r / 2), (c + r / 2, c + r / 2)

    def points(*corners):
        return " ".join(f"{x:g},{y:g}" for x, y in corners)

    strokes = "\n".join(
        f'      <line x1="{s - SIZE:g}" y1="{SIZE:g}" x2="{s:g}" y2="0"/>'
        for s in range(0, 2 * SIZE + 1, HATCH_PERIOD))
    text = f"""<svg xmlns="http://www.w3.org/2000/svg" width="{SIZE}" height="{SIZE}" viewBox="0 0 {SIZE} {SIZE}">
  <title>bexlow</title>
  <defs>
    <clipPath id="lower-left">
      <polygon points="{points(upper_left_mid, left, bottom, lower_right_mid)}"/>
    </clipPath>
  </defs>
  <rect width="{SIZE}" height="{SIZE}" fill="#ffffff"/>
  <polygon points="{points(upper_left_mid, top, right, lower_right_mid)}" fill="#ff0000"/>
  <g clip-path="url(#lower-left)" stroke="#ff0000" stroke-width="1">
{strokes}
  </g>
  <polygon points="{points(top, right, bottom, left)}" fill="none" stroke="#ff0000" stroke-width="1.5"
           stroke-linejoin="miter"/>
</svg>
"""
    path.write_text(text)


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / "packaging" / "icons"
    out.mkdir(parents=True, exist_ok=True)
    write_png(out / "bexlow.png")
    write_svg(out / "bexlow.svg")


if __name__ == "__main__":
    main()
