#!/usr/bin/env python3
"""Draws Pelmora's bitmaps and icon: resources/bitmaps/*.bmp (24-bit) and
resources/pelmora.ico. Each bitmap of the skin is drawn at 100, 125, 150, 175
and 200 % (bitmap_ID.bmp, bitmap_ID_125.bmp, ...): every shape is given in
96-dpi units and drawn at the scale's own pixels, so no set is a stretched copy
of another. Plain Python, no imaging library, so the output is the
same on every machine.

    make_artwork.py [OUT_ROOT]    writes the files below OUT_ROOT/resources
    make_artwork.py --check ROOT  exits 1 when a committed file differs
"""
import math
import struct
import sys
from pathlib import Path

# Palette: one dark slate for every band, one teal for actions.
BAND_TOP = (38, 51, 64)
BAND_BOTTOM = (27, 37, 48)
ACCENT = (25, 163, 142)
BODY = (239, 242, 244)
WHITE = (255, 255, 255)

# 5 x 7 capitals for the splash lettering.
GLYPHS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    " ": ["00000"] * 7,
}


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


SCALES = (100, 125, 150, 175, 200)


class Canvas:
    """Coordinates are in 96-dpi units; the pixels are `scale` times as many."""

    def __init__(self, width, height, fill=(0, 0, 0), scale=1.0, pixels=None):
        self.width, self.height, self.scale = width, height, scale
        self.pw, self.ph = pixels or (int(round(width * scale)), int(round(height * scale)))
        self.px = [[fill] * self.pw for _ in range(self.ph)]

    def at(self, v):
        return int(round(v * self.scale))

    def set(self, x, y, colour, alpha=1.0):  # in pixels
        if 0 <= x < self.pw and 0 <= y < self.ph and alpha > 0:
            self.px[y][x] = mix(self.px[y][x], colour, alpha)

    def rect(self, x0, y0, x1, y1, colour):
        self.pixel_rect(self.at(x0), self.at(y0), self.at(x1), self.at(y1), colour)

    def pixel_rect(self, x0, y0, x1, y1, colour):
        for y in range(max(0, y0), min(self.ph, y1)):
            for x in range(max(0, x0), min(self.pw, x1)):
                self.px[y][x] = colour

    def vgradient(self, x0, y0, x1, y1, top, bottom):
        x0, y0, x1, y1 = self.at(x0), self.at(y0), self.at(x1), self.at(y1)
        for y in range(y0, y1):
            c = mix(top, bottom, (y - y0) / max(1, y1 - y0 - 1))
            self.pixel_rect(x0, y, x1, y + 1, c)

    def shape(self, x0, y0, x1, y1, inside, colour, samples=4):
        """Anti-aliased fill of the points where inside(x, y) holds."""
        n = samples * samples
        k = self.scale
        px0, py0 = int(math.floor(x0 * k)), int(math.floor(y0 * k))
        px1, py1 = int(math.ceil(x1 * k)), int(math.ceil(y1 * k))
        for y in range(max(0, py0), min(self.ph, py1)):
            for x in range(max(0, px0), min(self.pw, px1)):
                hits = sum(inside((x + (i + 0.5) / samples) / k, (y + (j + 0.5) / samples) / k)
                           for i in range(samples) for j in range(samples))
                if hits:
                    self.set(x, y, colour, hits / n)

    def rounded(self, x0, y0, x1, y1, r, colour):
        def inside(x, y):
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return x0 <= x <= x1 and y0 <= y <= y1 and (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        self.shape(int(x0), int(y0), int(math.ceil(x1)), int(math.ceil(y1)), inside, colour)

    def line(self, ax, ay, bx, by, width, colour):
        def inside(x, y):
            dx, dy = bx - ax, by - ay
            t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
            return math.hypot(x - ax - t * dx, y - ay - t * dy) <= width / 2
        pad = int(width) + 1
        self.shape(int(min(ax, bx)) - pad, int(min(ay, by)) - pad,
                   int(max(ax, bx)) + pad + 1, int(max(ay, by)) + pad + 1, inside, colour)

    def text(self, x, y, word, scale, colour, spacing=1):
        for ch in word:
            rows = GLYPHS[ch]
            for gy, row in enumerate(rows):
                for gx, bit in enumerate(row):
                    if bit == "1":
                        self.rect(x + gx * scale, y + gy * scale,
                                  x + (gx + 1) * scale, y + (gy + 1) * scale, colour)
            x += (5 + spacing) * scale

    def paste(self, other, x0, y0):  # in pixels
        for y in range(other.ph):
            for x in range(other.pw):
                self.set(x0 + x, y0 + y, other.px[y][x])


def text_width(word, scale, spacing=1):
    return len(word) * (5 + spacing) * scale - spacing * scale


def bmp_bytes(canvas):
    stride = (canvas.pw * 3 + 3) & ~3
    rows = bytearray()
    for y in range(canvas.ph - 1, -1, -1):  # bottom-up
        line = bytearray()
        for r, g, b in canvas.px[y]:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        rows += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.pw, canvas.ph, 1, 24, 0, len(rows),
                       2835, 2835, 0, 0)
    return header + info + bytes(rows)


# --- the main window's bands ----------------------------------------------

def top_band(k):
    c = Canvas(620, 37, scale=k)
    c.vgradient(0, 0, 620, 35, BAND_TOP, BAND_BOTTOM)
    c.rect(0, 35, 620, 37, ACCENT)
    return c


def bottom_band(k):
    c = Canvas(620, 13, scale=k)
    c.vgradient(0, 0, 620, 13, BAND_BOTTOM, (20, 28, 37))
    return c


def side_border(k, inner_right):
    c = Canvas(10, 2, scale=k)
    c.rect(0, 0, 10, 2, BAND_BOTTOM)
    x = 9 if inner_right else 0
    c.rect(x, 0, x + 1, 2, (52, 67, 82))
    return c


# --- buttons: four frames side by side: normal, pressed, hover, disabled ----

def frames(k, width, height, draw):
    """Four frames of equal pixel width, however the scale rounds."""
    c = None
    for i, state in enumerate(("normal", "pressed", "hover", "disabled")):
        f = Canvas(width, height, scale=k)
        draw(f, state)
        c = c or Canvas(width * 4, height, scale=k, pixels=(f.pw * 4, f.ph))
        c.paste(f, i * f.pw, 0)
    return c


def band_under(f, y_offset=0, band_height=37):
    for y in range(f.height):
        t = (y + y_offset) / (band_height - 3)
        f.rect(0, y, f.width, y + 1, mix(BAND_TOP, BAND_BOTTOM, t))


def caption_button(base, hover, pressed):
    def draw(f, state):
        band_under(f)
        face = {"normal": base, "hover": hover, "pressed": pressed,
                "disabled": (141, 152, 162)}[state]
        border = mix(face, (0, 0, 0), 0.25)
        f.rounded(0.5, 0.5, f.width - 0.5, f.height - 0.5, 4, border)
        f.rounded(1.5, 1.5, f.width - 1.5, f.height - 1.5, 3, face)
        if state != "disabled":  # a light top edge reads as "raised"
            top = mix(face, WHITE, 0.35 if state != "pressed" else 0.0)
            f.rect(4, 1, f.width - 4, 2, top)
    return draw


def glyph_button(glyph, hover_face):
    def draw(f, state):
        band_under(f)
        faces = {"hover": hover_face, "pressed": mix(hover_face, (0, 0, 0), 0.3)}
        if state in faces:
            f.rect(0, 0, f.width, f.height - 2, faces[state])
        ink = (120, 132, 144) if state == "disabled" else WHITE
        cx, cy = f.width / 2, (f.height - 2) / 2
        s = min(f.width, f.height) * 0.16
        if glyph == "close":
            f.line(cx - s, cy - s, cx + s, cy + s, 1.6, ink)
            f.line(cx - s, cy + s, cx + s, cy - s, 1.6, ink)
        else:
            f.line(cx - s, cy + s * 0.6, cx + s, cy + s * 0.6, 1.6, ink)
    return draw


def settings_button():
    def draw(f, state):
        band_under(f)
        face = {"normal": (49, 64, 79), "hover": (64, 82, 100), "pressed": (30, 41, 52),
                "disabled": (60, 68, 76)}[state]
        f.rounded(1.5, 4.5, f.width - 1.5, f.height - 4.5, 4, face)
        ink = (130, 140, 150) if state == "disabled" else (ACCENT if state != "pressed" else WHITE)
        cx, cy, r = 10.5, f.height / 2, 5.0

        def gear(x, y):
            d = math.hypot(x - cx, y - cy)
            a = math.atan2(y - cy, x - cx)
            outer = r + (1.6 if math.cos(8 * a) > 0.2 else 0.0)
            return 2.0 <= d <= outer
        f.shape(int(cx - 9), int(cy - 9), int(cx + 10), int(cy + 10), gear, ink)
    return draw


def small_close():
    def draw(f, state):
        f.rect(0, 0, f.width, f.height, mix(BAND_TOP, BAND_BOTTOM, 0.4))
        if state in ("hover", "pressed"):
            f.rounded(0, 0, f.width, f.height, 2,
                      (200, 66, 59) if state == "hover" else (158, 47, 42))
        ink = (120, 132, 144) if state == "disabled" else WHITE
        f.line(3.5, 3.5, 9.5, 9.5, 1.5, ink)
        f.line(3.5, 9.5, 9.5, 3.5, 1.5, ink)
    return draw


# --- settings dialog background, drawn for its 530 x 254 client area ---------

def settings_background(k):
    scale = 450 / 530  # the dialog stretches it to 530 units
    c = Canvas(450, 254, scale=k)
    c.rect(0, 0, 450, 254, BODY)
    c.vgradient(0, 0, 450, 31, BAND_TOP, BAND_BOTTOM)
    c.rect(0, 31, 450, 33, ACCENT)
    border = (205, 212, 218)
    for x0, x1 in ((10, 245), (268, 520)):
        a, b = x0 * scale, x1 * scale
        c.rounded(a, 46, b, 198, 4, border)
        c.rounded(a + 1, 47, b - 1, 197, 3, WHITE)
        c.rect(int(a) + 6, 72, int(b) - 6, 73, (226, 231, 235))  # under the caption
    c.rect(0, 253, 450, 254, border)
    return c


# --- splash -----------------------------------------------------------------

def logo(c, cx, cy, r, ring, arrow):
    """The mark: a ring with an upward arrow, Pelmora's 'bring up to date'."""
    c.shape(int(cx - r - 2), int(cy - r - 2), int(cx + r + 3), int(cy + r + 3),
            lambda x, y: r - r * 0.16 <= math.hypot(x - cx, y - cy) <= r, ring)
    w = r * 0.16
    c.line(cx, cy + r * 0.45, cx, cy - r * 0.45, w * 2, arrow)
    c.line(cx, cy - r * 0.5, cx - r * 0.35, cy - r * 0.12, w * 2, arrow)
    c.line(cx, cy - r * 0.5, cx + r * 0.35, cy - r * 0.12, w * 2, arrow)


def splash(k):
    c = Canvas(429, 264, scale=k)
    for y in range(c.ph):
        for x in range(c.pw):
            t = y / k / 263 * 0.7 + x / k / 428 * 0.3
            c.px[y][x] = mix((33, 46, 60), (17, 24, 32), t)
    logo(c, 214.5, 78, 34, ACCENT, WHITE)
    word = "PELMORA"
    c.text(int(214.5 - text_width(word, 6) / 2), 130, word, 6, WHITE)
    c.rect(150, 186, 279, 188, ACCENT)
    maker = "KORVATH DALLOW"
    c.text(int(214.5 - text_width(maker, 2) / 2), 200, maker, 2, (160, 174, 188))
    return c


# --- icon -------------------------------------------------------------------

def icon_image(size):
    """BGRA rows, top-down, with alpha."""
    samples = 4
    r = size * 0.5 - 0.5
    cx = cy = size / 2
    rows = []
    ring_r = size * 0.34
    art = Canvas(size, size, ACCENT)  # in pixels: scale 1
    logo(art, cx, cy, ring_r, WHITE, WHITE)
    for y in range(size):
        row = []
        for x in range(size):
            corner = size * 0.22

            def inside(px, py):
                qx = min(max(px, corner), size - corner)
                qy = min(max(py, corner), size - corner)
                return (px - qx) ** 2 + (py - qy) ** 2 <= corner * corner
            hits = sum(inside(x + (i + 0.5) / samples, y + (j + 0.5) / samples)
                       for i in range(samples) for j in range(samples))
            red, green, blue = art.px[y][x]
            row.append((blue, green, red, int(round(255 * hits / (samples * samples)))))
        rows.append(row)
    del r
    return rows


def ico_bytes(sizes):
    images = []
    for size in sizes:
        rows = icon_image(size)
        xor = bytearray()
        for row in reversed(rows):
            for b, g, r, a in row:
                xor += bytes((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(rows):
            bits = bytearray(mask_stride)
            for x, (_, _, _, a) in enumerate(row):
                if a == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                             len(xor) + len(mask), 0, 0, 0, 0)
        images.append(header + bytes(xor) + bytes(mask))
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def skin(k):
    """Resource id -> canvas, drawn at scale k."""
    return {
        138: frames(k, 32, 32, glyph_button("close", (200, 66, 59))),
        139: frames(k, 31, 32, glyph_button("minimum", (64, 82, 100))),
        140: top_band(k),
        144: bottom_band(k),
        145: side_border(k, inner_right=True),
        146: side_border(k, inner_right=False),
        147: frames(k, 91, 31, settings_button()),
        148: settings_background(k),
        149: frames(k, 85, 27, caption_button(ACCENT, (33, 184, 159), (18, 122, 107))),
        150: frames(k, 13, 13, small_close()),
        151: frames(k, 200, 26, caption_button(ACCENT, (33, 184, 159), (18, 122, 107))),
        152: frames(k, 100, 26, caption_button((91, 107, 122), (110, 127, 143), (70, 84, 95))),
        156: splash(k),
    }


def artwork():
    """File name below resources/ -> bytes."""
    files = {}
    for percent in SCALES:
        suffix = "" if percent == 100 else f"_{percent}"
        for i, c in skin(percent / 100).items():
            files[f"bitmaps/bitmap_{i}{suffix}.bmp"] = bmp_bytes(c)
    files["pelmora.ico"] = ico_bytes([16, 32, 48])
    return files


def main(argv):
    check = len(argv) > 1 and argv[1] == "--check"
    root = Path(argv[2] if check else (argv[1] if len(argv) > 1 else
                                       Path(__file__).resolve().parents[2]))
    differ = []
    for name, data in artwork().items():
        path = root / "resources" / name
        if check:
            if not path.exists() or path.read_bytes() != data:
                differ.append(name)
        else:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
    if differ:
        print("differs from the generator's output:", ", ".join(differ))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
