#!/usr/bin/env python3
"""Draws the start page's images into resources/help/img/ (committed, so the
build does not need to run it):

  logo.png      the Lumora mark with a light halo, for the dark header
  head.png      the header's colour run, one pixel high, repeated downwards
  waves.png     faint signal waves at the header's right end
  town.png      the welcome picture: heather hills, houses and our mast
  status.png, account.png, radio.png, soft.png, news.png, help.png
                section icons
  gear.png      the settings button's glyph
  go.png        the small arrow before links

Run: python3 resources/make_page_images.py [--preview]
"""

import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from make_icons import AMBER, BLUE, DEEP, TEAL, WHITE, app_icon, news_icon  # noqa: E402
from pixels import (Canvas, arc, circle, hex_colour, intersect, linear, mix,  # noqa: E402
                    polygon, rect, ring, rounded_rect, segment, subtract, union, write_png)

OUT = os.path.join(HERE, "help", "img")

# Header colour run, left to right; the page's CSS uses the same end colours
# as its fallback background.
HEAD_LEFT = hex_colour("1c3a94")
HEAD_MID = hex_colour("2357c9")
HEAD_RIGHT = hex_colour("0f9aa3")
HEATHER = hex_colour("9a6cc9")
HEATHER_DARK = hex_colour("7a4fae")
INK = hex_colour("27408b")


def logo():
    size = 46
    c = Canvas(size, size)
    c.fill(circle(size / 2, size / 2, size / 2 - 0.5), WHITE[:3] + (60,))
    mark = app_icon(40)
    for y in range(40):
        for x in range(40):
            r, g, b, a = mark.px[y * 40 + x]
            c.blend(x + 3, y + 3, (r, g, b, 255), a / 255.0)
    return c


def head():
    width = 552
    c = Canvas(width, 1)
    for x in range(width):
        t = x / (width - 1)
        colour = mix(HEAD_LEFT, HEAD_MID, t / 0.55) if t < 0.55 else mix(HEAD_MID, HEAD_RIGHT, (t - 0.55) / 0.45)
        c.px[x] = list(colour)
    return c


def waves():
    w, h = 230, 64
    c = Canvas(w, h)
    ox, oy = w - 40, h + 18
    for i, radius in enumerate((30, 52, 74, 96, 118, 140)):
        alpha = 46 - i * 6
        c.fill(arc(ox, oy, radius, 7, 90, 180, round_caps=False), WHITE[:3] + (alpha,))
    return c


def town():
    w, h = 180, 108
    c = Canvas(w, h)
    frame = rounded_rect(0.5, 0.5, w - 0.5, h - 0.5, 9)
    c.fill(frame, linear(hex_colour("d9ecff"), hex_colour("f7fbff"), 0, 0, 0, h * 0.75))
    # Evening sun.
    c.fill(intersect(frame, circle(40, 40, 15)), hex_colour("ffd77a"))
    c.fill(intersect(frame, ring(40, 40, 22, 17)), hex_colour("ffd77a", 90))
    # Heather hills, far and near.
    c.fill(intersect(frame, circle(150, 200, 118)), linear(hex_colour("c6a6e6"), HEATHER, 0, 80, 0, h))
    c.fill(intersect(frame, circle(30, 230, 150)), linear(HEATHER, HEATHER_DARK, 0, 80, 0, h))
    # Houses on the near hill.
    for x0, y0, wall, roof in ((20, 86, 18, "2f5fe0"), (44, 82, 22, "10b2a6"), (72, 84, 16, "2f5fe0")):
        c.fill(rect(x0, y0, x0 + wall, y0 + 16), WHITE)
        c.fill(polygon([(x0 - 3, y0 + 0.5), (x0 + wall / 2, y0 - 9), (x0 + wall + 3, y0 + 0.5)]), hex_colour(roof))
        c.fill(rect(x0 + wall / 2 - 2.5, y0 + 6, x0 + wall / 2 + 2.5, y0 + 12), hex_colour("ffc247"))
    # The mast on the far hill, sending its signal.
    mx, top, foot = 134, 30, 84
    steel = hex_colour("40508a")
    c.fill(segment(mx, top, mx - 9, foot, 2.2), steel)
    c.fill(segment(mx, top, mx + 9, foot, 2.2), steel)
    for k in range(3):
        y = top + 14 + k * 13
        half = 9 * (y - top) / (foot - top)
        c.fill(segment(mx - half, y, mx + half, y, 1.4), steel)
    c.fill(circle(mx, top - 2, 4), AMBER)
    for radius, alpha in ((11, 230), (19, 170), (27, 110)):
        c.fill(arc(mx, top - 2, radius, 2.6, 20, 70), BLUE[:3] + (alpha,))
        c.fill(arc(mx, top - 2, radius, 2.6, 110, 160), BLUE[:3] + (alpha,))
    c.fill(subtract(frame, rounded_rect(1.5, 1.5, w - 1.5, h - 1.5, 8)), hex_colour("b8c8e8"))
    return c


def badge(size, colour_top, colour_bottom):
    """The round tinted plate that section icons stand on."""
    c = Canvas(size, size)
    c.fill(circle(size / 2, size / 2, size / 2 - 0.5), linear(colour_top, colour_bottom, 0, 0, 0, size))
    return c


def status_icon():
    s = 32
    c = badge(s, hex_colour("e3f7f5"), hex_colour("c4ece8"))
    for i, height in enumerate((6, 10, 14, 18)):
        x0 = 8 + i * 4.5
        c.fill(rounded_rect(x0, 24 - height, x0 + 3.2, 24, 1.2), mix(TEAL, DEEP, i / 5.0))
    c.fill(circle(24, 10, 4.2), hex_colour("3cbf62"))
    c.fill(union(segment(22.2, 10.2, 23.6, 11.6, 1.3), segment(23.6, 11.6, 26, 8.6, 1.3)), WHITE)
    return c


def account_icon():
    s = 32
    c = badge(s, hex_colour("e6edff"), hex_colour("cbd8fb"))
    c.fill(circle(16, 12.5, 5), BLUE)
    body = intersect(circle(16, 30, 10.5), rect(0, 0, s, 25.5))
    c.fill(body, BLUE)
    return c


def radio_icon():
    s = 32
    c = badge(s, hex_colour("f3eafc"), hex_colour("e2d2f6"))
    c.fill(segment(12, 11, 22, 5.5, 1.4), hex_colour("5a4a8a"))
    c.fill(rounded_rect(6.5, 11, 25.5, 24.5, 3), HEATHER_DARK)
    c.fill(circle(12.5, 17.8, 4), hex_colour("e9ddf7"))
    c.fill(circle(12.5, 17.8, 1.6), HEATHER_DARK)
    for y in (15, 18, 21):
        c.fill(segment(19, y, 22.5, y, 1.3), hex_colour("e9ddf7"))
    return c


def soft_icon():
    s = 32
    c = badge(s, hex_colour("fff3dc"), hex_colour("ffe3b0"))
    disc = subtract(circle(16, 16, 10.5), circle(16, 16, 2.6))
    c.fill(disc, linear(hex_colour("dfe6f2"), hex_colour("9fb2d6"), 6, 6, 26, 26))
    c.fill(intersect(disc, arc(16, 16, 7.5, 2.2, 100, 170, round_caps=False)), WHITE[:3] + (200,))
    c.fill(intersect(disc, arc(16, 16, 7.5, 2.2, 280, 350, round_caps=False)), hex_colour("f5a623", 170))
    c.fill(ring(16, 16, 10.5, 9.7), hex_colour("6d7fa8", 160))
    c.fill(ring(16, 16, 4.6, 3.9), hex_colour("6d7fa8", 140))
    return c


def help_icon():
    s = 32
    c = badge(s, hex_colour("e6edff"), hex_colour("cbd8fb"))
    ink = BLUE
    # A question mark: the hook over the top, the stem, the dot.
    c.fill(arc(16, 12, 4.6, 2.8, -40, 185), ink)
    hook_x, hook_y = 16 + 4.6 * math.cos(math.radians(-40)), 12 + 4.6 * math.sin(math.radians(40))
    c.fill(segment(hook_x, hook_y, 16, 17.2, 2.8), ink)
    c.fill(segment(16, 17.2, 16, 18.6, 2.8), ink)
    c.fill(circle(16, 23.2, 1.8), ink)
    return c


def gear():
    s = 16
    c = Canvas(s, s)
    cx = cy = s / 2
    teeth = []
    for k in range(8):
        a = k * math.pi / 4
        ca, sa = math.cos(a), math.sin(a)
        pts = []
        for u, v in ((4.5, -1.4), (7.6, -1.2), (7.6, 1.2), (4.5, 1.4)):
            pts.append((cx + u * ca - v * sa, cy + u * sa + v * ca))
        teeth.append(polygon(pts))
    shape = subtract(union(circle(cx, cy, 5.6), *teeth), circle(cx, cy, 2.3))
    c.fill(shape, WHITE)
    return c


def news_small():
    return news_icon(32)


def go_arrow():
    c = Canvas(8, 9)
    c.fill(polygon([(1.5, 1), (6.8, 4.5), (1.5, 8)]), TEAL)
    return c


IMAGES = {
    "logo.png": logo,
    "head.png": head,
    "waves.png": waves,
    "town.png": town,
    "status.png": status_icon,
    "account.png": account_icon,
    "radio.png": radio_icon,
    "soft.png": soft_icon,
    "news.png": news_small,
    "help.png": help_icon,
    "gear.png": gear,
    "go.png": go_arrow,
}


def main(argv):
    os.makedirs(OUT, exist_ok=True)
    for name, draw in IMAGES.items():
        write_png(os.path.join(OUT, name), draw())
    if "--preview" in argv:
        for name in sorted(IMAGES):
            print("%-12s %6d bytes" % (name, os.path.getsize(os.path.join(OUT, name))))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
