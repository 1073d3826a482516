#!/usr/bin/python3
# Draws the archive window's toolbar images (off = shown normally, on = under
# the mouse) and the six file-type images of the file list. Run once by hand
# when an image changes; the PNGs are committed and embedded as resources.
from PIL import Image, ImageDraw
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def canvas(size=32):
    return Image.new("RGBA", (size, size), (0, 0, 0, 0))


def page(d, s, fill, edge):
    k = s / 32
    d.polygon([(7*k, 3*k), (20*k, 3*k), (26*k, 9*k), (26*k, 29*k), (7*k, 29*k)], fill=fill, outline=edge)
    d.polygon([(20*k, 3*k), (20*k, 9*k), (26*k, 9*k)], fill=edge)


def draw(name, colour):
    img = canvas()
    d = ImageDraw.Draw(img)
    dark = tuple(max(0, c - 90) for c in colour)
    if name == "open":
        d.polygon([(2, 9), (12, 9), (14, 12), (29, 12), (29, 27), (2, 27)], fill=dark)
        d.polygon([(6, 15), (31, 15), (27, 27), (2, 27)], fill=colour, outline=dark)
    elif name == "new":
        page(d, 32, (255, 255, 255, 255), dark)
        d.line([(16, 12), (16, 24)], fill=colour, width=3)
        d.line([(10, 18), (22, 18)], fill=colour, width=3)
    elif name == "run":
        d.polygon([(8, 4), (27, 16), (8, 28)], fill=colour, outline=dark)
    elif name == "view":
        d.ellipse([(4, 4), (22, 22)], outline=dark, width=3, fill=(255, 255, 255, 255))
        d.ellipse([(8, 8), (18, 18)], fill=colour)
        d.line([(20, 20), (29, 29)], fill=dark, width=5)
    elif name == "add":
        d.rectangle([(3, 12), (22, 29)], fill=colour, outline=dark)
        d.line([(25, 2), (25, 14)], fill=dark, width=3)
        d.line([(19, 8), (31, 8)], fill=dark, width=3)
    elif name == "extract":
        d.rectangle([(3, 14), (24, 29)], fill=colour, outline=dark)
        d.polygon([(20, 2), (30, 10), (24, 10), (24, 18), (16, 18), (16, 10), (10, 10)], fill=dark)
    elif name == "delete":
        d.line([(6, 6), (26, 26)], fill=colour, width=6)
        d.line([(26, 6), (6, 26)], fill=colour, width=6)
    elif name == "quit":
        d.rectangle([(4, 3), (18, 29)], fill=dark)
        d.rectangle([(7, 6), (15, 29)], fill=(255, 255, 255, 255))
        d.polygon([(14, 13), (23, 13), (23, 8), (31, 16), (23, 24), (23, 19), (14, 19)], fill=colour)
    return img


def grey(c):
    v = int(0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2])
    return (v, v, v, 255)


buttons = {
    "open": (230, 180, 40, 255), "new": (40, 140, 60, 255), "run": (40, 160, 60, 255),
    "view": (40, 100, 200, 255), "add": (200, 140, 40, 255), "extract": (60, 120, 210, 255),
    "delete": (210, 40, 40, 255), "quit": (160, 60, 160, 255),
}
for name, colour in buttons.items():
    draw(name, colour).save(os.path.join(HERE, f"on_{name}.png"))
    draw(name, grey(colour)).save(os.path.join(HERE, f"off_{name}.png"))


def filetype(kind, size):
    img = canvas(size)
    d = ImageDraw.Draw(img)
    k = size / 32
    if kind == "exe":
        d.rectangle([(3*k, 5*k), (29*k, 27*k)], fill=(255, 255, 255, 255), outline=(0, 0, 128, 255))
        d.rectangle([(3*k, 5*k), (29*k, 10*k)], fill=(0, 0, 128, 255))
    else:
        page(d, size, (255, 255, 255, 255), (90, 90, 90, 255))
        if kind == "default":
            for y in (13, 17, 21, 25):
                d.line([(10*k, y*k), (23*k, y*k)], fill=(120, 120, 120, 255), width=max(1, int(k)))
    return img


for kind in ("default", "exe", "noext"):
    filetype(kind, 32).save(os.path.join(HERE, f"large_{kind}.png"))
    filetype(kind, 16).save(os.path.join(HERE, f"small_{kind}.png"))
