"""Small raster drawing kit for the program's artwork (standard library only).

Shapes are inside-tests over pixel coordinates; each pixel's coverage comes
from a grid of samples, so edges are smooth at 16 pixels as well as at 48.
Colours are (r, g, b, a) with components 0..255; alpha is straight, not
premultiplied, because that is what both PNG and 32-bit icon images store.
"""

import math
import struct
import zlib

SAMPLES = 4  # per axis: 16 samples per pixel


def hex_colour(text, alpha=255):
    text = text.lstrip("#")
    return (int(text[0:2], 16), int(text[2:4], 16), int(text[4:6], 16), alpha)


def mix(c0, c1, t):
    t = 0.0 if t < 0 else 1.0 if t > 1 else t
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


class Canvas:
    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.width = width
        self.height = height
        self.px = [list(background) for _ in range(width * height)]

    # --- compositing -----------------------------------------------------

    def blend(self, x, y, colour, coverage):
        """Paints colour over pixel (x, y) with the given coverage (0..1)."""
        if coverage <= 0:
            return
        dst = self.px[y * self.width + x]
        sa = colour[3] / 255.0 * min(coverage, 1.0)
        da = dst[3] / 255.0
        oa = sa + da * (1 - sa)
        if oa <= 0:
            return
        for i in range(3):
            dst[i] = (colour[i] * sa + dst[i] * da * (1 - sa)) / oa
        dst[3] = oa * 255.0

    def fill(self, inside, paint, box=None):
        """Fills the shape `inside(x, y)`; paint is a colour or a function
        (x, y) -> colour evaluated at the pixel centre."""
        x0, y0, x1, y1 = box if box else (0, 0, self.width, self.height)
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.width, int(math.ceil(x1))), min(self.height, int(math.ceil(y1)))
        step = 1.0 / SAMPLES
        offsets = [(i + 0.5) * step for i in range(SAMPLES)]
        total = SAMPLES * SAMPLES
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for oy in offsets:
                    for ox in offsets:
                        if inside(x + ox, y + oy):
                            hits += 1
                if hits:
                    colour = paint(x + 0.5, y + 0.5) if callable(paint) else paint
                    self.blend(x, y, colour, hits / total)

    # --- output ----------------------------------------------------------

    def rgba_rows(self):
        rows = []
        for y in range(self.height):
            row = bytearray()
            for x in range(self.width):
                r, g, b, a = self.px[y * self.width + x]
                a = int(round(a))
                if a == 0:
                    row += b"\0\0\0\0"  # fully clear pixels compress better as zeros
                else:
                    row += bytes((int(round(r)), int(round(g)), int(round(b)), a))
            rows.append(bytes(row))
        return rows


# --- shapes: functions (x, y) -> bool ---------------------------------------

def circle(cx, cy, r):
    r2 = r * r
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r2


def ring(cx, cy, r_out, r_in):
    o2, i2 = r_out * r_out, r_in * r_in
    return lambda x, y: i2 <= (x - cx) ** 2 + (y - cy) ** 2 <= o2


def ellipse_ring(cx, cy, rx, ry, width):
    """An ellipse outline of roughly the given stroke width."""
    def inside(x, y):
        dx, dy = (x - cx) / rx, (y - cy) / ry
        d = math.sqrt(dx * dx + dy * dy)
        if d == 0:
            return False
        # distance in pixels along the normal, approximated by the radius at that angle
        radius = math.sqrt((dx * rx) ** 2 + (dy * ry) ** 2) / d
        return abs(d - 1.0) * radius <= width / 2.0
    return inside


def arc(cx, cy, radius, width, start_deg, end_deg, round_caps=True):
    """A stroke along a circle between two angles (degrees, counter-clockwise
    from the positive x axis, y pointing down on screen)."""
    a0, a1 = math.radians(start_deg), math.radians(end_deg)
    half = width / 2.0
    caps = [(cx + radius * math.cos(a), cy - radius * math.sin(a)) for a in (a0, a1)]

    def inside(x, y):
        dx, dy = x - cx, cy - y
        ang = math.atan2(dy, dx)
        while ang < a0:
            ang += 2 * math.pi
        d = math.hypot(dx, dy)
        if ang <= a1 and abs(d - radius) <= half:
            return True
        if round_caps:
            for px, py in caps:
                if (x - px) ** 2 + (y - py) ** 2 <= half * half:
                    return True
        return False
    return inside


def segment(x0, y0, x1, y1, width):
    """A stroke between two points with round ends."""
    vx, vy = x1 - x0, y1 - y0
    length2 = vx * vx + vy * vy or 1e-9
    half2 = (width / 2.0) ** 2

    def inside(x, y):
        t = ((x - x0) * vx + (y - y0) * vy) / length2
        t = 0.0 if t < 0 else 1.0 if t > 1 else t
        px, py = x0 + t * vx - x, y0 + t * vy - y
        return px * px + py * py <= half2
    return inside


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = x0 + r if x < x0 + r else x1 - r if x > x1 - r else x
        cy = y0 + r if y < y0 + r else y1 - r if y > y1 - r else y
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def polygon(points):
    """Even-odd inside test."""
    n = len(points)

    def inside(x, y):
        result = False
        j = n - 1
        for i in range(n):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: all(s(x, y) for s in shapes)


def subtract(shape, *holes):
    return lambda x, y: shape(x, y) and not any(h(x, y) for h in holes)


def linear(c0, c1, x0, y0, x1, y1):
    """Gradient paint from c0 at (x0, y0) to c1 at (x1, y1)."""
    vx, vy = x1 - x0, y1 - y0
    length2 = vx * vx + vy * vy or 1e-9
    return lambda x, y: mix(c0, c1, ((x - x0) * vx + (y - y0) * vy) / length2)


# --- file formats ------------------------------------------------------------

def _png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _filter_rows(rows, bpp):
    """Picks, row by row, the PNG filter with the smallest sum of magnitudes."""
    out = bytearray()
    prev = bytes(len(rows[0])) if rows else b""
    for row in rows:
        candidates = []
        for kind in range(5):
            f = bytearray(len(row))
            for i, v in enumerate(row):
                a = row[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                pred = (0, a, b, (a + b) >> 1, _paeth(a, b, c))[kind]
                f[i] = (v - pred) & 0xFF
            cost = sum(v if v < 128 else 256 - v for v in f)
            candidates.append((cost, kind, f))
        _, kind, f = min(candidates, key=lambda c: c[0])
        out.append(kind)
        out += f
        prev = row
    return bytes(out)


def png_bytes(canvas):
    """RGBA PNG, or an indexed one when the picture has few enough colours
    (flat artwork usually does, and it is then a fraction of the size)."""
    rows = canvas.rgba_rows()
    colours = {}
    for row in rows:
        for i in range(0, len(row), 4):
            colours.setdefault(row[i:i + 4], len(colours))
            if len(colours) > 256:
                break
        if len(colours) > 256:
            break
    header = b"\x89PNG\r\n\x1a\n"
    w, h = canvas.width, canvas.height
    if len(colours) <= 256:
        palette = sorted(colours, key=lambda c: colours[c])
        index = {c: i for i, c in enumerate(palette)}
        idx_rows = [bytes(index[row[i:i + 4]] for i in range(0, len(row), 4)) for row in rows]
        raw = b"".join(b"\0" + r for r in idx_rows)
        chunks = _png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 3, 0, 0, 0))
        chunks += _png_chunk(b"PLTE", b"".join(c[:3] for c in palette))
        alphas = bytes(c[3] for c in palette).rstrip(b"\xff")
        if alphas:
            chunks += _png_chunk(b"tRNS", alphas)
    else:
        raw = _filter_rows(rows, 4)
        chunks = _png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    chunks += _png_chunk(b"IDAT", zlib.compress(raw, 9))
    chunks += _png_chunk(b"IEND", b"")
    return header + chunks


def write_png(path, canvas):
    with open(path, "wb") as f:
        f.write(png_bytes(canvas))


def _icon_bitmap(canvas):
    """A 32-bit icon image: BITMAPINFOHEADER (double height for the XOR and
    AND halves), BGRA rows bottom-up, then the 1-bit AND mask. Every Windows
    version and every icon loader reads this form; PNG entries need Vista."""
    w, h = canvas.width, canvas.height
    rows = canvas.rgba_rows()
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(rows):
        for i in range(0, len(row), 4):
            r, g, b, a = row[i:i + 4]
            xor += bytes((b, g, r, a))
    stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x in range(w):
            if row[x * 4 + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def ico_bytes(canvases):
    images = [_icon_bitmap(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.width % 256, c.height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def write_ico(path, canvases):
    with open(path, "wb") as f:
        f.write(ico_bytes(canvases))
