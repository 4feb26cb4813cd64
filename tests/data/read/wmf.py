#!/usr/bin/env python3
"""Writes small Windows metafiles of the kinds clip art holds: a drawing whose window reaches
beyond the placeable bounding box, text in two alignments (top and baseline) and background modes, and dashed pens. Usage:
wmf.py OUT."""
import struct
import sys

out = sys.argv[1]


def rec(function, *words, raw=b""):
    body = b"".join(struct.pack("<h" if w < 0 else "<H", w) for w in words) + raw
    if len(body) % 2:
        body += b"\0"
    return struct.pack("<IH", 3 + len(body) // 2, function) + body


def rgb(r, g, b):
    return r | g << 8 | b << 16


def brush(colour):
    return rec(0x02FC, 0, colour & 0xFFFF, colour >> 16, 0)


def pen(style, width, colour):
    return rec(0x02FA, style, width, 0, colour & 0xFFFF, colour >> 16)


def font(height, weight, face):
    name = face.encode("ascii").ljust(32, b"\0")
    return rec(0x02FB, height, 0, 0, 0, weight, raw=bytes([0, 0, 0, 0, 0, 0, 4, 0]) + name)


def select(i):
    return rec(0x012D, i)


def rectangle(l, t, r, b, f=0x041B):
    return rec(f, b, r, t, l)


def text_out(x, y, s):
    data = s.encode("ascii")
    return rec(0x0521, len(data), raw=data + (b"\0" if len(data) % 2 else b"") +
               struct.pack("<hh", y, x))


def ext_text_out(x, y, s):
    data = s.encode("ascii")
    return rec(0x0A32, y, x, len(data), 0, raw=data)


def metafile(name, bbox, records, objects, inch=96):
    body = b"".join(records) + rec(0)
    words = 9 + len(body) // 2
    biggest = max(struct.unpack_from("<I", body, i)[0] for i in offsets(body))
    header = struct.pack("<HHHIHIH", 1, 9, 0x300, words, objects, biggest, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, *bbox, inch, 0)
    check = 0
    for (w,) in struct.iter_unpack("<H", placeable):
        check ^= w
    with open(f"{out}/{name}", "wb") as f:
        f.write(placeable + struct.pack("<H", check) + header + body)


def offsets(body):
    i = 0
    while i < len(body):
        yield i
        i += 2 * struct.unpack_from("<I", body, i)[0]


ANISOTROPIC = 8
# The window starts left of and above the bounding box and is larger than it.
metafile("window-beyond-box.wmf", (0, 0, 100, 80), [
    rec(0x0103, ANISOTROPIC), rec(0x020B, -40, -50), rec(0x020C, 160, 200),
    brush(rgb(255, 0, 0)), select(0), pen(5, 0, 0), select(1),
    rectangle(-50, -40, 150, 120),
    brush(rgb(0, 0, 255)), select(2), rectangle(-50, -40, 0, 0, 0x0418),
    brush(rgb(0, 160, 0)), select(3), rectangle(100, 80, 150, 120),
], 4)
# Dashed, dotted and dash-dot pens one pixel wide, and a solid one for comparison.
# Units of 1/1440 inch in the box; the records map their window onto a viewport given in
# device pixels, as a program drawing on a 96-dpi screen recorded it.
metafile("viewport-records.wmf", (0, 0, 1440, 1080), [
    rec(0x0103, ANISOTROPIC), rec(0x020B, 0, 0), rec(0x020C, 750, 1000),
    rec(0x020D, 0, 0), rec(0x020E, 72, 96),
    brush(rgb(255, 0, 0)), select(0), pen(5, 0, 0), select(1), rectangle(0, 0, 1000, 750),
    brush(rgb(0, 0, 255)), select(2), rectangle(500, 375, 1000, 750),
], 3, inch=1440)
# A white ground over the whole box first: renderers that fit the picture to what is drawn
# then place it as GDI does.
ground = [brush(rgb(255, 255, 255)), select(0), pen(5, 0, 0), select(1),
          rectangle(0, 0, 161, 121)]
lines = [rec(0x0103, ANISOTROPIC), rec(0x020B, 0, 0), rec(0x020C, 120, 160)] + ground
for i, style in enumerate((0, 1, 2, 3, 4)):
    lines += [pen(style, 1, rgb(0, 0, 0)), select(2 + i), rec(0x0214, 10 + 20 * i, 10),
              rec(0x0213, 10 + 20 * i, 150)]
metafile("dashed-pens.wmf", (0, 0, 160, 120), lines, 7)
# Text: a font, colour, transparent and opaque background, left/top and centre/baseline.
metafile("text.wmf", (0, 0, 200, 100), [
    rec(0x0103, ANISOTROPIC), rec(0x020B, 0, 0), rec(0x020C, 100, 200),
    brush(rgb(255, 255, 255)), select(0), pen(5, 0, 0), select(1), rectangle(0, 0, 201, 101),
    font(28, 700, "DejaVu Sans"), select(2),
    rec(0x0209, 0, 0x00FF), rec(0x0102, 1), text_out(8, 6, "Glyph"),
    rec(0x0209, 0xFFFF, 0x00FF), rec(0x0201, 0x0080, 0), rec(0x0102, 2),
    rec(0x012E, 24), ext_text_out(60, 85, "wright"),
], 3)
