# The program's icons for the desktop (hicolor theme): the game's ship in
# its neon colours, nose to the upper right, inside the white play-field
# outline on the dark field, with the green energy bar below. PNGs at the
# theme's sizes, an SVG of the same drawing, and the raw 64-pixel picture
# the programs give their windows.
# Usage: icons.py <output folder>
import math
import os
import sys

import numpy as np

from neon import Canvas, d_circle, d_polygon, d_segment, glow_falloff, rgb, save_png, smooth_edge
from sprites import CYAN, HULL, ICE, MAGENTA, SHIP_HULL

SIZES = (32, 48, 64, 128, 256)
WINDOW_SIZE = 64  # the picture the programs set as their windows' icon
DESIGN = 64.0  # the drawing's own units; every size scales from them
FIELD = "#0a1026"
GREEN = "#00ff00"
SHIP_SCALE = 1.55
SHIP_TURN = -math.pi / 4  # nose towards the upper right
SHIP_CENTRE = (32.0, 30.0)


def ship_points_of(pts):
    """Points of the 32-pixel sprite about its centre, scaled, turned and placed."""
    c, s = math.cos(SHIP_TURN), math.sin(SHIP_TURN)
    return [(SHIP_CENTRE[0] + (x - 16) * SHIP_SCALE * c - (y - 16) * SHIP_SCALE * s,
             SHIP_CENTRE[1] + (x - 16) * SHIP_SCALE * s + (y - 16) * SHIP_SCALE * c)
            for x, y in pts]


def ship_points():
    return ship_points_of(SHIP_HULL)


def ship_point(x, y):
    return ship_points_of([(x, y)])[0]


def d_round_box(cv, x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    qx, qy = np.abs(cv.X - cx) - hx, np.abs(cv.Y - cy) - hy
    outside = np.hypot(np.maximum(qx, 0), np.maximum(qy, 0))
    return outside + np.minimum(np.maximum(qx, qy), 0) - r


def icon(size):
    cv = Canvas(size, size)
    k = size / DESIGN
    cv.X, cv.Y = cv.X / k, cv.Y / k  # draw in design units
    edge = 0.6 / k + 0.25  # about half a pixel, whatever the size

    def cover(d):
        return smooth_edge(d, edge)

    field = d_round_box(cv, 2, 2, 62, 62, 9)
    cv.over(rgb(FIELD), cover(field))
    outline = np.abs(d_round_box(cv, 6, 6, 58, 58, 6)) - max(0.9, 0.6 / k)
    cv.over(rgb("#ffffff"), 0.9 * cover(outline))
    bar = d_round_box(cv, 14, 50, 50, 54, 1.2)
    cv.light(rgb(GREEN), 0.35 * glow_falloff(np.maximum(bar, 0), 1.5))
    cv.over(rgb(GREEN), cover(bar))

    hull = d_polygon(cv, ship_points())
    cv.light(CYAN, 0.5 * glow_falloff(hull, 2.4) * (hull > 0) * (field < 0))
    cv.over(HULL, cover(hull))
    cv.over(CYAN, cover(np.abs(hull) - 0.9))
    (nx, ny), (tx, ty) = ship_points_of([(25.5, 16), (12, 16)])
    cv.over(ICE, 0.8 * cover(d_segment(cv, nx, ny, tx, ty) - 0.6))
    ex, ey = ship_point(10.2, 16)
    engine = d_circle(cv, ex, ey, 2.0)
    cv.light(MAGENTA, 0.9 * glow_falloff(engine, 2.8) * (field < 0))
    cv.over(rgb("#ffd0f4"), cover(engine))
    cx, cy = ship_point(19, 16)
    cv.over(rgb("#7ffcff"), cover(d_circle(cv, cx, cy, 2.0)))
    cv.px *= (field < 1.5)[..., None]  # nothing outside the rounded square
    return cv.image()


def hex_of(colour):
    return "#%02x%02x%02x" % tuple(int(round(v * 255)) for v in colour)


def svg():
    """The same drawing as shapes, for the scalable icon."""
    hull = " ".join("%.2f,%.2f" % p for p in ship_points())
    (nx, ny), (tx, ty) = ship_points_of([(25.5, 16), (12, 16)])
    ex, ey = ship_point(10.2, 16)
    cx, cy = ship_point(19, 16)
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">
  <defs>
    <filter id="glow" x="-50%" y="-50%" width="200%" height="200%">
      <feGaussianBlur stdDeviation="1.6"/>
    </filter>
    <clipPath id="field"><rect x="2" y="2" width="60" height="60" rx="9"/></clipPath>
  </defs>
  <rect x="2" y="2" width="60" height="60" rx="9" fill="{FIELD}"/>
  <rect x="6" y="6" width="52" height="52" rx="6" fill="none" stroke="#ffffff"
        stroke-opacity="0.9" stroke-width="1.8"/>
  <g clip-path="url(#field)">
    <rect x="14" y="50" width="36" height="4" rx="1.2" fill="{GREEN}" opacity="0.5"
          filter="url(#glow)"/>
    <polygon points="{hull}" fill="none" stroke="{hex_of(CYAN)}" stroke-width="3"
             opacity="0.6" filter="url(#glow)"/>
    <circle cx="{ex:.2f}" cy="{ey:.2f}" r="3.5" fill="{hex_of(MAGENTA)}" filter="url(#glow)"/>
  </g>
  <rect x="14" y="50" width="36" height="4" rx="1.2" fill="{GREEN}"/>
  <polygon points="{hull}" fill="{hex_of(HULL)}" stroke="{hex_of(CYAN)}" stroke-width="1.8"
           stroke-linejoin="round"/>
  <line x1="{nx:.2f}" y1="{ny:.2f}" x2="{tx:.2f}" y2="{ty:.2f}" stroke="{hex_of(ICE)}"
        stroke-opacity="0.8" stroke-width="1.2" stroke-linecap="round"/>
  <circle cx="{ex:.2f}" cy="{ey:.2f}" r="2" fill="#ffd0f4"/>
  <circle cx="{cx:.2f}" cy="{cy:.2f}" r="2" fill="#7ffcff"/>
</svg>
"""


def write_rgba(img, path):
    """Width, height (16-bit little-endian each), then RGBA rows top down."""
    with open(path, "wb") as f:
        f.write(img.width.to_bytes(2, "little") + img.height.to_bytes(2, "little"))
        f.write(np.asarray(img.convert("RGBA")).tobytes())


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join("..", "icons")
    for size in SIZES:
        folder = os.path.join(out, "%dx%d" % (size, size))
        os.makedirs(folder, exist_ok=True)
        img = icon(size)
        save_png(img, os.path.join(folder, "shooter.png"))
        if size == WINDOW_SIZE:
            write_rgba(img, os.path.join(out, "window-icon.rgba"))
        print("  icon", size)
    os.makedirs(os.path.join(out, "scalable"), exist_ok=True)
    with open(os.path.join(out, "scalable", "shooter.svg"), "w") as f:
        f.write(svg())
    print("  icon scalable")


if __name__ == "__main__":
    main()
