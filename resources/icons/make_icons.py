#!/usr/bin/env python3
"""Draws the program's icons and writes them to resources/Icons.h as XPM data.

Each icon is a small scene of flat-coloured shapes (circles, a heart, rounded
rectangles and thick polylines for the ECG trace).  Every pixel is sampled
4x4 times; a pixel whose samples are mostly empty becomes transparent, the
others take the palette colour closest to the mean of their samples.  Giving
a palette a blend colour or two between neighbouring fills is enough for soft
inner edges, while the outer silhouette stays crisp because XPM only knows
fully transparent or fully opaque pixels.

Usage:
    python3 resources/icons/make_icons.py            # rewrite resources/Icons.h
    python3 resources/icons/make_icons.py --png DIR  # also write PNG previews
"""

import argparse
import math
import os
import struct
import zlib

SUBSAMPLES = 4

HERE = os.path.dirname(os.path.abspath(__file__))
HEADER_PATH = os.path.normpath(os.path.join(HERE, "..", "Icons.h"))


# ---------------------------------------------------------------------------
# Geometry helpers.  All shapes are predicates f(x, y) -> bool in pixel units,
# with (0, 0) at the top-left corner of the image and y growing downwards.

def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


def polyline_dist(px, py, pts):
    return min(seg_dist(px, py, *pts[i], *pts[i + 1]) for i in range(len(pts) - 1))


def point_in_polygon(px, py, pts):
    inside = False
    n = len(pts)
    j = n - 1
    for i in range(n):
        xi, yi = pts[i]
        xj, yj = pts[j]
        if (yi > py) != (yj > py):
            xcross = xi + (py - yi) * (xj - xi) / (yj - yi)
            if px < xcross:
                inside = not inside
        j = i
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_out, r_in):
    return lambda x, y: r_in * r_in < (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        qx = min(max(x, x0 + r), x1 - r)
        qy = min(max(y, y0 + r), y1 - r)
        return (x - qx) ** 2 + (y - qy) ** 2 <= r * r
    return inside


def stroke(pts, width):
    half = width / 2.0
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    bx0, bx1 = min(xs) - half, max(xs) + half
    by0, by1 = min(ys) - half, max(ys) + half

    def inside(x, y):
        if not (bx0 <= x <= bx1 and by0 <= y <= by1):
            return False
        return polyline_dist(x, y, pts) <= half
    return inside


def heart_outline(cx, cy, scale, steps=240):
    """Classic parametric heart, 32 x 29 units before scaling.

    (cx, cy) is where the parametric origin lands; the lobes reach about
    12 units above it and the tip 17 units below.
    """
    pts = []
    for i in range(steps):
        t = 2.0 * math.pi * i / steps
        x = 16.0 * math.sin(t) ** 3
        y = 13.0 * math.cos(t) - 5.0 * math.cos(2 * t) - 2.0 * math.cos(3 * t) - math.cos(4 * t)
        pts.append((cx + x * scale, cy - y * scale))
    return pts


def polygon_fill(pts):
    return lambda x, y: point_in_polygon(x, y, pts)


def polygon_inset(pts, inset):
    """Inside the polygon and at least `inset` away from its edge."""
    closed = pts + [pts[0]]
    return lambda x, y: point_in_polygon(x, y, pts) and polyline_dist(x, y, closed) >= inset


def both(a, b):
    return lambda x, y: a(x, y) and b(x, y)


# ---------------------------------------------------------------------------
# ECG trace: one beat, P wave, QRS complex and T wave, as a polyline.

def ecg_beat(x0, x1, base, up, down, p_height=0.17, t_height=0.28):
    """One P-QRS-T complex from x0 to x1 on baseline `base`.

    `up` is the R wave height and `down` the S wave depth, in pixels; the P
    and T heights are fractions of `up`.
    """
    w = x1 - x0

    def at(f):
        return x0 + f * w

    pts = [(at(0.00), base)]
    # P wave: small rounded bump.
    for k in range(7):
        f = k / 6.0
        pts.append((at(0.12 + 0.14 * f), base - p_height * up * math.sin(math.pi * f)))
    pts += [
        (at(0.34), base),
        (at(0.38), base + 0.18 * down),  # Q
        (at(0.46), base - up),           # R
        (at(0.54), base + down),         # S
        (at(0.59), base),
    ]
    # T wave: wider, slightly taller than P.
    for k in range(9):
        f = k / 8.0
        pts.append((at(0.66 + 0.20 * f), base - t_height * up * math.sin(math.pi * f)))
    pts.append((at(1.00), base))
    return pts


def spike(x0, x1, base, up, down):
    """A short flat-QRS-flat blip, for the small record/stop glyphs."""
    w = x1 - x0

    def at(f):
        return x0 + f * w

    return [
        (at(0.00), base),
        (at(0.32), base),
        (at(0.40), base + 0.25 * down),
        (at(0.50), base - up),
        (at(0.60), base + down),
        (at(0.68), base),
        (at(1.00), base),
    ]


# ---------------------------------------------------------------------------
# Rendering.

def hex_rgb(s):
    s = s.lstrip("#")
    return tuple(int(s[i:i + 2], 16) for i in (0, 2, 4))


class Icon:
    def __init__(self, ident, name, size, palette, layers, comment):
        self.ident = ident
        self.name = name
        self.size = size
        # palette: list of (xpm char, "#rrggbb"); '.' is reserved for None.
        self.palette = palette
        # layers: list of (predicate, "#rrggbb"), painted bottom to top.
        self.layers = layers
        self.comment = comment

    def render(self):
        """Returns rows of palette characters ('.' = transparent)."""
        pal = [(ch, hex_rgb(col)) for ch, col in self.palette]
        layers = [(f, hex_rgb(col)) for f, col in self.layers]
        n = SUBSAMPLES
        rows = []
        for py in range(self.size):
            row = []
            for px in range(self.size):
                acc = [0, 0, 0]
                hits = 0
                for sy in range(n):
                    for sx in range(n):
                        x = px + (sx + 0.5) / n
                        y = py + (sy + 0.5) / n
                        col = None
                        for f, c in reversed(layers):
                            if f(x, y):
                                col = c
                                break
                        if col is not None:
                            hits += 1
                            acc[0] += col[0]
                            acc[1] += col[1]
                            acc[2] += col[2]
                if hits * 2 < n * n:
                    row.append(".")
                    continue
                mean = [a / hits for a in acc]
                best = min(pal, key=lambda pc: sum((pc[1][i] - mean[i]) ** 2 for i in range(3)))
                row.append(best[0])
            rows.append("".join(row))
        return rows

    def xpm_lines(self, rows):
        used = [(ch, col) for ch, col in self.palette if any(ch in r for r in rows)]
        has_clear = any("." in r for r in rows)
        colours = ([(".", "None")] if has_clear else []) + [(ch, col.upper()) for ch, col in used]
        lines = ["%d %d %d 1" % (self.size, self.size, len(colours))]
        lines += ["%s c %s" % (ch, col) for ch, col in colours]
        lines += rows
        return lines


# Colours shared by several icons.
RED = "#d81e2c"
RED_DARK = "#8e0f1a"
RED_MID = "#b3151f"
WHITE = "#ffffff"
PINK = "#f2a7ad"


def icon_ready():
    """1030: red record dot with a white ECG blip: press to start recording."""
    cx = cy = 16.0
    # Baseline on a pixel boundary with an even stroke width keeps the
    # flat parts of the trace crisp.
    blip = spike(6.0, 26.0, 18.0, 9.0, 4.0)
    layers = [
        (circle(cx, cy, 14.6), RED_DARK),
        (circle(cx, cy, 13.3), RED),
        (stroke(blip, 2.0), WHITE),
    ]
    palette = [("a", RED_DARK), ("b", RED), ("c", RED_MID), ("d", PINK), ("e", WHITE)]
    return Icon(1030, "icon1030", 32, palette, layers, "ready to record: red record dot with an ECG blip")


def icon_recording():
    """1031: red stop square with a white ECG blip: recording, press to stop."""
    blip = spike(7.0, 25.0, 18.0, 8.0, 3.5)
    layers = [
        (rounded_rect(4.0, 4.0, 28.0, 28.0, 3.0), RED_DARK),
        (rounded_rect(5.0, 5.0, 27.0, 27.0, 2.0), RED),
        (stroke(blip, 2.0), WHITE),
    ]
    palette = [("a", RED_DARK), ("b", RED), ("c", RED_MID), ("d", PINK), ("e", WHITE)]
    return Icon(1031, "icon1031", 32, palette, layers, "recording: red stop square with an ECG blip")


def icon_main():
    """110: red heart with a P-QRS-T trace across it; built to survive 16x16."""
    scale = 0.93
    # Centre the heart vertically: it spans -12..+17 units around its origin.
    cy = 16.0 - (17.0 - 12.0) / 2.0 * scale + 0.3
    heart = heart_outline(16.0, cy, scale)
    # Baseline on a row boundary and a 2 px pen: the flat runs stay sharp and
    # halve cleanly to one pixel when the window manager shows it at 16x16.
    beat = ecg_beat(0.0, 32.0, 18.0, 13.0, 5.0, p_height=0.25, t_height=0.33)
    pen = stroke(beat, 2.0)
    layers = [
        (polygon_fill(heart), RED_DARK),
        (polygon_inset(heart, 1.3), RED),
        # Where the trace leaves the heart (ends, tip of the R wave) it is
        # drawn dark so it still shows on a light background.
        (pen, RED_DARK),
        (both(pen, polygon_inset(heart, 1.0)), WHITE),
    ]
    palette = [("a", RED_DARK), ("b", RED), ("d", WHITE), ("e", PINK)]
    return Icon(110, "icon110", 32, palette, layers, "main window: heart with an ECG trace")


def icon_about():
    """109: blue disc with a white lower-case i."""
    blue = "#1f62c4"
    blue_dark = "#103f8a"
    layers = [
        (circle(12.0, 12.0, 11.4), blue_dark),
        (circle(12.0, 12.0, 10.3), blue),
        (circle(12.0, 6.9, 1.85), WHITE),
        (rounded_rect(10.5, 9.9, 13.5, 18.6, 0.6), WHITE),
        (rounded_rect(9.2, 9.9, 13.5, 11.3, 0.4), WHITE),   # top serif
        (rounded_rect(9.2, 17.2, 14.8, 18.6, 0.4), WHITE),  # foot
    ]
    palette = [("a", blue_dark), ("b", blue), ("c", "#8fb1e2"), ("d", WHITE)]
    return Icon(109, "icon109", 24, palette, layers, "About button: blue disc with a white i")


ICONS = [icon_about, icon_main, icon_ready, icon_recording]


# ---------------------------------------------------------------------------
# Output.

def c_string(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def write_header(path, rendered):
    out = [
        "// Generated by resources/icons/make_icons.py -- edit the script, not this file.",
        "#pragma once",
        "",
        "namespace resources {",
        "",
    ]
    for icon, rows in rendered:
        out.append("// %d, %s" % (icon.ident, icon.comment))
        out.append("inline const char* const %s[] = {" % icon.name)
        lines = icon.xpm_lines(rows)
        for i, line in enumerate(lines):
            out.append("    " + c_string(line) + ("," if i + 1 < len(lines) else ""))
        out.append("};")
        out.append("")
    out.append("// XPM data for an icon id, or nullptr if there is no such icon.")
    out.append("inline const char* const* iconData(int id)")
    out.append("{")
    out.append("    switch (id) {")
    for icon, _ in rendered:
        out.append("    case %d:" % icon.ident)
        out.append("        return %s;" % icon.name)
    out.append("    default:")
    out.append("        return nullptr;")
    out.append("    }")
    out.append("}")
    out.append("")
    out.append("} // namespace resources")
    out.append("")
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(out))


def write_png(path, pixels, width, height):
    """pixels: rows of (r, g, b) tuples."""
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def preview(directory, icon, rows, zoom=4):
    """4x preview on a checkerboard so transparent pixels are visible."""
    colours = {ch: hex_rgb(col) for ch, col in icon.palette}
    pixels = []
    for y in range(icon.size * zoom):
        row = []
        for x in range(icon.size * zoom):
            ch = rows[y // zoom][x // zoom]
            if ch == ".":
                row.append((204, 204, 204) if ((x // 8 + y // 8) % 2) else (245, 245, 245))
            else:
                row.append(colours[ch])
        pixels.append(row)
    write_png(os.path.join(directory, "%s.png" % icon.name), pixels, icon.size * zoom, icon.size * zoom)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--png", metavar="DIR", help="also write 4x PNG previews into DIR")
    parser.add_argument("--zoom", type=int, default=4, help="preview magnification (default: %(default)s)")
    parser.add_argument("--out", default=HEADER_PATH, help="header to write (default: %(default)s)")
    args = parser.parse_args()

    rendered = []
    for make in ICONS:
        icon = make()
        rows = icon.render()
        used = {ch for r in rows for ch in r}
        assert len(used) <= 8, "%s uses %d colours" % (icon.name, len(used))
        rendered.append((icon, rows))
        if args.png:
            os.makedirs(args.png, exist_ok=True)
            preview(args.png, icon, rows, args.zoom)

    write_header(args.out, rendered)


if __name__ == "__main__":
    main()
