#!/usr/bin/env python3
"""Draws the program's icons: APPICON (the Lumora mark: a globe with a
rising signal) and RSSICON (the news mark). Each size is drawn on its own grid with
stroke widths chosen for that size, rather than scaled down from a large one,
so the 16-pixel images stay crisp in the notification area.

Run from anywhere:  python3 resources/make_icons.py
It rewrites resources/appicon.ico and resources/rssicon.ico (committed, so
the build does not need to run it) and, with --preview DIR, PNG copies.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pixels import (Canvas, arc, circle, ellipse_ring, hex_colour, intersect,  # noqa: E402
                    linear, ring, rounded_rect, segment, write_ico, write_png)

HERE = os.path.dirname(os.path.abspath(__file__))

# Brand colours, shared with the start page.
BLUE = hex_colour("2f5fe0")
TEAL = hex_colour("10b2a6")
DEEP = hex_colour("1b3a8f")
AMBER = hex_colour("ffc247")
WHITE = hex_colour("ffffff")


def app_icon(size):
    s = float(size)
    c = Canvas(size, size)
    cx = cy = s / 2
    r = s * 0.47
    c.fill(circle(cx, cy, r), linear(BLUE, TEAL, s * 0.2, s * 0.08, s * 0.8, s * 0.92))
    # A darker rim keeps the globe apart from light backgrounds.
    rim = max(1.0, s / 24)
    c.fill(ring(cx, cy, r, r - rim), DEEP[:3] + (150,))
    inner = circle(cx, cy, r - rim)
    if size >= 24:
        # Globe lines: a meridian and two parallels, faint behind the signal.
        faint = WHITE[:3] + (60,)
        line = max(1.0, s / 32)
        c.fill(intersect(inner, ellipse_ring(cx, cy, s * 0.2, r - rim, line)), faint)
        c.fill(intersect(inner, segment(0, cy - s * 0.16, s, cy - s * 0.16, line)), faint)
        c.fill(intersect(inner, segment(0, cy + s * 0.16, s, cy + s * 0.16, line)), faint)
    # A soft highlight in the upper left gives the globe its light.
    c.fill(intersect(inner, circle(cx - r * 0.3, cy - r * 0.35, r * 0.62)), WHITE[:3] + (34,))
    # The signal: a source low in the middle and two waves rising from it.
    ox, oy = cx, s * 0.72
    width = max(1.6, s * 0.095)
    c.fill(arc(ox, oy, s * 0.21, width, 42, 138), WHITE)
    c.fill(arc(ox, oy, s * 0.39, width, 47, 133), WHITE)
    c.fill(circle(ox, oy, max(1.5, s * 0.09)), AMBER)
    return c


def news_icon(size):
    s = float(size)
    c = Canvas(size, size)
    inset = s * 0.04
    radius = max(2.5, s * 0.2)
    tile = rounded_rect(inset, inset, s - inset, s - inset, radius)
    c.fill(tile, linear(hex_colour("ffb43c"), hex_colour("ee6410"), 0, inset, 0, s - inset))
    edge = max(1.0, s / 24)
    rim = intersect(tile, lambda x, y: not rounded_rect(inset + edge, inset + edge, s - inset - edge,
                                                        s - inset - edge, radius - edge)(x, y))
    c.fill(rim, hex_colour("b9500c", 150))
    ox, oy = s * 0.29, s * 0.71
    width = max(1.7, s * 0.11)
    c.fill(circle(ox, oy, max(1.5, s * 0.09)), WHITE)
    c.fill(arc(ox, oy, s * 0.27, width, 0, 90), WHITE)
    c.fill(arc(ox, oy, s * 0.47, width, 0, 90), WHITE)
    return c


def main(argv):
    preview = None
    if len(argv) > 2 and argv[1] == "--preview":
        preview = argv[2]
        os.makedirs(preview, exist_ok=True)
    sets = {
        "appicon": [app_icon(n) for n in (16, 24, 32, 48)],
        "rssicon": [news_icon(n) for n in (16, 32, 48)],
    }
    for name, canvases in sets.items():
        write_ico(os.path.join(HERE, name + ".ico"), canvases)
        if preview:
            for cv in canvases:
                write_png(os.path.join(preview, "%s-%d.png" % (name, cv.width)), cv)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
