#!/usr/bin/python3
# Draws the archive window's toolbar images (off = shown normally, on = under
# the mouse) and the six file-type images of the file list, each at its size
# and at twice that size (the "@2x" files, for screens scaled by two), from
# the same drawing: every coordinate and line width is given on a 32-pixel
# grid and scaled, so the large images are drawn sharp, not enlarged. The
# toolbar images come twice more as "dark_" files for a dark desktop: their
# edges lighter than their fill instead of darker, and the greys of the
# "off" images lighter, so nothing drawn dark vanishes into a dark toolbar.
# Run once by hand when an image changes (needs python3-pil); the PNGs are
# committed and embedded as resources.
from PIL import Image, ImageDraw
import os

HERE = os.path.dirname(os.path.abspath(__file__))
WHITE = (255, 255, 255, 255)


def canvas(size):
    return Image.new("RGBA", (size, size), (0, 0, 0, 0))


class Pen:
    """Draws on a size x size image with coordinates of a 32 x 32 grid."""

    def __init__(self, img):
        self.d = ImageDraw.Draw(img)
        self.k = img.size[0] / 32

    def pts(self, points):
        return [(x * self.k, y * self.k) for x, y in points]

    def box(self, a, b):
        # A box's far corner is its last pixel: it grows by the scale minus one.
        k = self.k
        return [(a[0] * k, a[1] * k), ((b[0] + 1) * k - 1, (b[1] + 1) * k - 1)]

    def w(self, width):
        return max(1, round(width * self.k))

    def polygon(self, points, fill=None, outline=None):
        self.d.polygon(self.pts(points), fill=fill, outline=outline, width=self.w(1) if outline else 0)

    def line(self, points, fill, width):
        self.d.line(self.pts(points), fill=fill, width=self.w(width))

    def rectangle(self, a, b, fill=None, outline=None):
        self.d.rectangle(self.box(a, b), fill=fill, outline=outline, width=self.w(1))

    def ellipse(self, a, b, fill=None, outline=None, width=1):
        self.d.ellipse(self.box(a, b), fill=fill, outline=outline, width=self.w(width))


def page(p, fill, edge):
    p.polygon([(7, 3), (20, 3), (26, 9), (26, 29), (7, 29)], fill=fill, outline=edge)
    p.polygon([(20, 3), (20, 9), (26, 9)], fill=edge)


def draw(name, colour, size, on_dark=False):
    img = canvas(size)
    p = Pen(img)
    # The edge colour: darker than the fill on a light toolbar, lighter on a
    # dark one (alpha included: 165, as the light images have always had).
    if on_dark:
        dark = tuple(min(255, c + 90) for c in colour[:3]) + (165,)
    else:
        dark = tuple(max(0, c - 90) for c in colour)
    if name == "open":
        p.polygon([(2, 9), (12, 9), (14, 12), (29, 12), (29, 27), (2, 27)], fill=dark)
        p.polygon([(6, 15), (31, 15), (27, 27), (2, 27)], fill=colour, outline=dark)
    elif name == "new":
        page(p, WHITE, dark)
        p.line([(16, 12), (16, 24)], fill=colour, width=3)
        p.line([(10, 18), (22, 18)], fill=colour, width=3)
    elif name == "run":
        p.polygon([(8, 4), (27, 16), (8, 28)], fill=colour, outline=dark)
    elif name == "view":
        p.ellipse((4, 4), (22, 22), outline=dark, width=3, fill=WHITE)
        p.ellipse((8, 8), (18, 18), fill=colour)
        p.line([(20, 20), (29, 29)], fill=dark, width=5)
    elif name == "add":
        p.rectangle((3, 12), (22, 29), fill=colour, outline=dark)
        p.line([(25, 2), (25, 14)], fill=dark, width=3)
        p.line([(19, 8), (31, 8)], fill=dark, width=3)
    elif name == "extract":
        p.rectangle((3, 14), (24, 29), fill=colour, outline=dark)
        p.polygon([(20, 2), (30, 10), (24, 10), (24, 18), (16, 18), (16, 10), (10, 10)], fill=dark)
    elif name == "delete":
        p.line([(6, 6), (26, 26)], fill=colour, width=6)
        p.line([(26, 6), (6, 26)], fill=colour, width=6)
    elif name == "quit":
        p.rectangle((4, 3), (18, 29), fill=dark)
        p.rectangle((7, 6), (15, 29), fill=WHITE)
        p.polygon([(14, 13), (23, 13), (23, 8), (31, 16), (23, 24), (23, 19), (14, 19)], fill=colour)
    return img


def grey(c, on_dark=False):
    v = int(0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2])
    if on_dark:
        v = int(v + (255 - v) * 0.45)
    return (v, v, v, 255)


def save(img, name, scale):
    img.save(os.path.join(HERE, name + ("@2x" if scale == 2 else "") + ".png"))


buttons = {
    "open": (230, 180, 40, 255), "new": (40, 140, 60, 255), "run": (40, 160, 60, 255),
    "view": (40, 100, 200, 255), "add": (200, 140, 40, 255), "extract": (60, 120, 210, 255),
    "delete": (210, 40, 40, 255), "quit": (160, 60, 160, 255),
}


def filetype(kind, size):
    img = canvas(size)
    p = Pen(img)
    if kind == "exe":
        p.rectangle((3, 5), (29, 27), fill=WHITE, outline=(0, 0, 128, 255))
        p.rectangle((3, 5), (29, 10), fill=(0, 0, 128, 255))
    else:
        page(p, WHITE, (90, 90, 90, 255))
        if kind == "default":
            for y in (13, 17, 21, 25):
                p.line([(10, y), (23, y)], fill=(120, 120, 120, 255), width=1)
    return img


for scale in (1, 2):
    for name, colour in buttons.items():
        save(draw(name, colour, 32 * scale), f"on_{name}", scale)
        save(draw(name, grey(colour), 32 * scale), f"off_{name}", scale)
        save(draw(name, colour, 32 * scale, True), f"dark_on_{name}", scale)
        save(draw(name, grey(colour, True), 32 * scale, True), f"dark_off_{name}", scale)
    for kind in ("default", "exe", "noext"):
        save(filetype(kind, 32 * scale), f"large_{kind}", scale)
        save(filetype(kind, 16 * scale), f"small_{kind}", scale)
