#!/usr/bin/env python3
"""Draws the window's images and the window icon into ui/img (or the folder given as argument).

Run: python3 tools/gen-images/gen_images.py  (Python 3 standard library only), then commit ui/img.

Flat pictograms in the window's colours: dark slate line work, accent blue, light grey and white.
The output is deterministic, so running it again changes no committed file.
"""

import os
import sys

from fileformats import ico_bitmap, ico_bytes, png_bytes
from raster import (Canvas, arc, box, circle, grow, intersect, outline, polygon, polyline, ring,
                    segment, subtract, union)

INK = (74, 82, 92)
BLUE = (0, 145, 220)
DARK_BLUE = (0, 101, 156)
GREY = (149, 151, 153)
LIGHT = (216, 220, 225)
PALE = (220, 235, 246)
WHITE = (255, 255, 255)


# --- 32 x 32 tool button pictograms (design units = pixels at 32) ------------------------------------

def magnifier(c, mirrored=False, inner=None):
    m = (lambda x: 32 - x) if mirrored else (lambda x: x)
    c.fill(circle(m(13.5), 13.5, 8.5), PALE)
    c.fill(ring(m(13.5), 13.5, 8.5, 3.2), INK)
    c.fill(segment(m(20.5), 20.5, m(27.5), 27.5, 5.0), BLUE)
    if inner:
        inner(c, m)


def scan_1(c):
    magnifier(c, inner=lambda c, m: c.fill(arc(m(13.5), 13.5, 5.0, 1.6, 190, 260), WHITE))


def scan_2(c):
    # The second search glyph: mirrored, with the signal the search is listening for.
    def waves(c, m):
        c.fill(polyline([(m(8.5), 14), (m(11), 14), (m(12.5), 10.5), (m(14.5), 17), (m(16), 13.5), (m(18.5), 13.5)],
                        1.6), BLUE)
    magnifier(c, mirrored=True, inner=waves)


def plug(c, body):
    c.fill(box(11, 3.5, 14, 11.5, 1.0), INK)
    c.fill(box(18, 3.5, 21, 11.5, 1.0), INK)
    c.fill(box(8, 10.5, 24, 20.5, 3.0), body)
    c.fill(polygon([(11.5, 20), (20.5, 20), (18.5, 24.5), (13.5, 24.5)]), body)
    c.fill(segment(16, 24, 16, 29.5, 3.2), INK)


def connect_32(c):
    plug(c, BLUE)
    c.fill(box(12, 14, 20, 16, 1.0), WHITE)


def disconnect_32(c):
    plug(c, GREY)
    slash = segment(5, 27, 27, 5, 3.0)
    c.clear(grow(slash, 1.6))
    c.fill(slash, BLUE)


def trash_can(c, body, lid):
    c.fill(subtract(box(12.5, 3.5, 19.5, 8.5, 1.5), box(14.5, 5.5, 17.5, 9, 0.5)), lid)
    c.fill(box(6.5, 7.5, 25.5, 10.5, 1.2), lid)
    c.fill(polygon([(8.5, 12), (23.5, 12), (22, 28.5), (10, 28.5)]), body)
    for x in (12.5, 16, 19.5):
        c.fill(segment(x, 15, x, 25.5, 1.7), WHITE)


def delete_1(c):
    trash_can(c, BLUE, INK)


def delete_2(c):
    trash_can(c, INK, BLUE)


def reset_32(c):
    # A clockwise arrow around a centre, open at the top where its head points into the gap.
    import math
    cx, cy, r = 16.0, 16.5, 10.0
    c.fill(arc(cx, cy, r, 3.6, -40, 238), BLUE)
    a = math.radians(244)
    px, py = cx + r * math.cos(a), cy + r * math.sin(a)
    tx, ty = -math.sin(a), math.cos(a)  # direction of travel
    nx, ny = math.cos(a), math.sin(a)  # outwards
    c.fill(polygon([(px + tx * 6.5, py + ty * 6.5),
                    (px - tx * 1.0 + nx * 5.5, py - ty * 1.0 + ny * 5.5),
                    (px - tx * 1.0 - nx * 5.5, py - ty * 1.0 - ny * 5.5)]), BLUE)
    c.fill(circle(cx, cy, 2.6), INK)


def chip(c, body, die):
    for p in (11.5, 16, 20.5):
        c.fill(box(3, p - 1.1, 9, p + 1.1, 0.6), GREY)
        c.fill(box(23, p - 1.1, 29, p + 1.1, 0.6), GREY)
        c.fill(box(p - 1.1, 3, p + 1.1, 9, 0.6), GREY)
        c.fill(box(p - 1.1, 23, p + 1.1, 29, 0.6), GREY)
    c.fill(box(7, 7, 25, 25, 2.5), body)
    c.fill(box(11.5, 11.5, 20.5, 20.5, 1.2), die)


def werkstueck_32(c):
    chip(c, INK, BLUE)
    c.fill(circle(10, 10, 1.2), WHITE)


def tessun32(c):
    c.fill(box(3, 3, 29, 29, 6), BLUE)
    c.fill(box(9, 8.5, 23, 12, 1), WHITE)
    c.fill(box(14.2, 8.5, 17.8, 24, 1), WHITE)


PAGE = [(7.5, 2.5), (19, 2.5), (25.5, 9), (25.5, 29.5), (7.5, 29.5)]


def document(c, page=PAGE, lines=((11.5, 14.5, 21.5), (11.5, 18.5, 21.5), (11.5, 22.5, 18))):
    sheet = polygon(page)
    c.fill(sheet, WHITE)
    c.fill(outline(sheet, 1.8), INK)
    fx, fy = page[1]
    ex, ey = page[2]
    c.fill(polygon([(fx, fy), (fx, ey), (ex, ey)]), LIGHT)
    c.fill(polyline([(fx, fy), (fx, ey), (ex, ey)], 1.6), INK)
    for x0, y, x1 in lines:
        c.fill(segment(x0, y, x1, y, 1.8), BLUE)


def document_32(c):
    document(c)


def badge(c, cx, cy, r):
    c.clear(circle(cx, cy, r + 1.6))
    c.fill(circle(cx, cy, r), BLUE)


def doc_close_32(c):
    document(c, page=[(4.5, 2.5), (16, 2.5), (22.5, 9), (22.5, 27.5), (4.5, 27.5)],
             lines=((8.5, 14.5, 18.5), (8.5, 18.5, 14)))
    badge(c, 23, 23, 7.5)
    c.fill(segment(20, 20, 26, 26, 2.0), WHITE)
    c.fill(segment(26, 20, 20, 26, 2.0), WHITE)


def update_32(c):
    # Writing into the board: an arrow down into a tray.
    c.fill(polyline([(5.5, 19), (5.5, 27.5), (26.5, 27.5), (26.5, 19)], 3.0), INK)
    c.fill(segment(16, 3.5, 16, 14, 4.6), BLUE)
    c.fill(polygon([(8.5, 12.5), (23.5, 12.5), (16, 22)]), BLUE)


def import_32(c):
    c.fill(polyline([(13, 7.5), (13, 4), (27.5, 4), (27.5, 28), (13, 28), (13, 24.5)], 3.0), INK)
    c.fill(segment(3.5, 16, 15, 16, 4.4), BLUE)
    c.fill(polygon([(13.5, 8.5), (22.5, 16), (13.5, 23.5)]), BLUE)


# --- small images (design units = pixels) ----------------------------------------------------------

def close_8(colour):
    def draw(c):
        c.fill(segment(1.5, 1.5, 6.5, 6.5, 1.5), colour)
        c.fill(segment(6.5, 1.5, 1.5, 6.5, 1.5), colour)
    return draw


def dot(c):
    c.fill(circle(5.5, 5.5, 3.0), BLUE)


def connect_16(c):
    c.fill(box(5, 1, 7, 5.5, 0.5), INK)
    c.fill(box(9, 1, 11, 5.5, 0.5), INK)
    c.fill(box(3, 5, 13, 10.5, 1.5), BLUE)
    c.fill(box(6, 10, 10, 12.5, 0.5), BLUE)
    c.fill(box(7, 12, 9, 15.5, 0.5), INK)


def file_16(c):
    sheet = polygon([(3, 1), (9.5, 1), (13, 4.5), (13, 15), (3, 15)])
    c.fill(sheet, WHITE)
    c.fill(outline(sheet, 1.0), INK)
    c.fill(polyline([(9.5, 1), (9.5, 4.5), (13, 4.5)], 1.0), INK)
    for y in (8, 10.5):
        c.fill(segment(5.5, y, 10.5, y, 1.1), BLUE)


def ombrix(c):
    """Wordmark: a blue capital O and "mbrix" in slate, on a 118 x 21 strip."""
    w = 2.5  # stroke
    base, xtop, top = 16.5, 7.5, 2.5
    gap = 3.4
    glyphs = []

    def o(x):
        c.fill(ring(x + 8, 10, 6.9, w + 0.4), BLUE)
        return 16 + 0.4

    def m(x):
        x += w / 2
        r = 2.9
        c.fill(segment(x, xtop, x, base, w), INK)
        c.fill(arc(x + r, xtop + r, r, w, 180, 360), INK)
        c.fill(segment(x + 2 * r, xtop + r, x + 2 * r, base, w), INK)
        c.fill(arc(x + 3 * r, xtop + r, r, w, 180, 360), INK)
        c.fill(segment(x + 4 * r, xtop + r, x + 4 * r, base, w), INK)
        return 4 * r + w

    def b(x):
        x += w / 2
        r = 4.2
        c.fill(segment(x, top, x, base, w), INK)
        c.fill(ring(x + r, base - r + 0.1, r, w), INK)
        return 2 * r + w

    def r_(x):
        x += w / 2
        c.fill(segment(x, xtop, x, base, w), INK)
        c.fill(arc(x + 4.2, xtop + 4.2, 4.2, w, 180, 280), INK)
        return 5.5 + w

    def i(x):
        x += w / 2
        c.fill(segment(x, xtop, x, base, w), INK)
        c.fill(circle(x, top + 0.6, 1.5), BLUE)
        return w

    def x_(x):
        x += w / 2
        c.fill(segment(x, xtop, x + 7, base, w), INK)
        c.fill(segment(x + 7, xtop, x, base, w), INK)
        return 7 + w

    glyphs = [o, m, b, r_, i, x_]
    # Lay out once without drawing to centre the word, then draw.
    probe = Canvas(1, 1)
    widths = []
    for g in glyphs:
        saved, c.fill = c.fill, probe.fill
        widths.append(g(-1000))
        c.fill = saved
    x = (118 - (sum(widths) + gap * (len(widths) - 1))) / 2
    for g, gw in zip(glyphs, widths):
        g(x)
        x += gw + gap


# --- the window icon ---------------------------------------------------------------------------------

def monitor_icon(c):
    """A blue tile with a monitor showing a console prompt (design in 32 units)."""
    c.fill(box(1, 1, 31, 31, 6.5), BLUE)
    c.fill(box(5, 6.5, 27, 22.5, 2.0), WHITE)
    c.fill(box(7.3, 8.8, 24.7, 20.2, 0.8), DARK_BLUE)
    c.fill(polyline([(10.5, 11.5), (14, 14.5), (10.5, 17.5)], 2.3), WHITE)
    c.fill(segment(16, 17.5, 21, 17.5, 2.3), WHITE)
    c.fill(box(13.5, 22, 18.5, 25, 0), WHITE)
    c.fill(box(9.5, 24.5, 22.5, 27, 1.2), WHITE)


def monitor_icon_16(c):
    """The same icon drawn on the 16 pixel grid, where the 32 unit drawing would blur."""
    c.fill(box(0, 0, 16, 16, 3.0), BLUE)
    c.fill(box(2, 2, 14, 11, 1.0), WHITE)
    c.fill(box(3, 3, 13, 10, 0), DARK_BLUE)
    c.fill(polyline([(4.5, 4.5), (6.5, 6.5), (4.5, 8.5)], 1.2), WHITE)
    c.fill(box(7.5, 8, 11, 9, 0), WHITE)
    c.fill(box(7, 11, 9, 12.5, 0), WHITE)
    c.fill(box(4.5, 12.5, 11.5, 14, 0.5), WHITE)


# --- output ------------------------------------------------------------------------------------------

IMAGES = [
    # name, width, height, design width, drawing
    ("Ombrix2.png", 118, 21, 118, ombrix),
    ("Close_8.png", 8, 8, 8, close_8(INK)),
    ("Close_8_blue.png", 8, 8, 8, close_8(BLUE)),
    ("Close_8_bluedark.png", 8, 8, 8, close_8(DARK_BLUE)),
    ("Scan_1_32x32.png", 32, 32, 32, scan_1),
    ("Scan_2_32x32.png", 32, 32, 32, scan_2),
    ("Connect_32.png", 32, 32, 32, connect_32),
    ("Disconnect_32.png", 32, 32, 32, disconnect_32),
    ("Delete_1_32x32.png", 32, 32, 32, delete_1),
    ("Delete_2_32x32.png", 32, 32, 32, delete_2),
    ("Reset_32.png", 32, 32, 32, reset_32),
    ("Werkstueck_32.png", 32, 32, 32, werkstueck_32),
    ("tessun32.png", 32, 32, 32, tessun32),
    ("Document_32x32.png", 32, 32, 32, document_32),
    ("Update_32x32.png", 32, 32, 32, update_32),
    ("DocClose_32.png", 32, 32, 32, doc_close_32),
    ("Import_32x32.png", 32, 32, 32, import_32),
    ("Dot.png", 11, 11, 11, dot),
    ("Connect_16.png", 16, 16, 16, connect_16),
    ("File_16.png", 16, 16, 16, file_16),
]


def render(width, height, design_width, drawing):
    c = Canvas(width, height, design_width)
    drawing(c)
    return c.rgba()


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "ui", "img")
    os.makedirs(folder, exist_ok=True)
    for name, width, height, design_width, drawing in IMAGES:
        write(folder, name, png_bytes(width, height, render(width, height, design_width, drawing)))

    # Qt and Windows both take the deepest image of a size; the palette images serve old displays.
    entries = [(256, 32, png_bytes(256, 256, render(256, 256, 32, monitor_icon)))]
    for size in (48, 32, 16):
        pixels = render(size, size, size, monitor_icon_16) if size == 16 else render(size, size, 32, monitor_icon)
        entries += [(size, bpp, ico_bitmap(size, pixels, bpp)) for bpp in (32, 8, 4)]
    write(folder, "ZVDebugMonitor.ico", ico_bytes(entries))


if __name__ == "__main__":
    main()
