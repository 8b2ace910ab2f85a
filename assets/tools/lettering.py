# The bitmap font (58 glyphs, codes 32..89, 32x32 cells shown at 50 %) and
# the render engine's ZEPH logo. Glyph shapes come from DejaVu Sans Bold,
# rasterised large and styled here: white-to-ice fill with a near-black
# outline so text stays readable over sparks and bright backgrounds.
import numpy as np
from PIL import Image, ImageDraw, ImageFont

from neon import Canvas, d_polyline, glow_falloff, rgb, smooth_edge, to_rgba8

FONT_FILE = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FIRST, LAST = 32, 89
CELL = 32
UP = 4  # glyphs are rasterised at 4x and box-filtered down
CAP_HEIGHT = 21  # pixels in the 32x32 cell, about 10.5 on screen
BASELINE = 26
MAX_WIDTH = 27
OUTLINE = 1.6  # pixels at 1x; at 50 % on screen it is just under one pixel


def _glyph_mask(ch, font):
    """Coverage of one character at UP x the cell size, ink centred, on the
    common baseline; glyphs wider than MAX_WIDTH are narrowed."""
    big = CELL * UP
    pad = big  # room for wide glyphs before they are narrowed
    img = Image.new("L", (big + 2 * pad, big), 0)
    ImageDraw.Draw(img).text((pad + big // 2, BASELINE * UP), ch, font=font, fill=255,
                             anchor="ls")
    a = np.asarray(img).astype(float) / 255
    cols = np.nonzero(a.max(axis=0) > 0)[0]
    if cols.size == 0:
        return np.zeros((big, big))
    x0, x1 = cols[0], cols[-1] + 1
    ink = a[:, x0:x1]
    width = x1 - x0
    limit = MAX_WIDTH * UP
    if width > limit:
        ink = np.asarray(Image.fromarray((ink * 255).astype(np.uint8)).resize(
            (limit, big), Image.LANCZOS)).astype(float) / 255
        width = limit
    out = np.zeros((big, big))
    left = (big - width) // 2
    out[:, left:left + width] = ink
    return out


def _dilate(mask, radius):
    """Max over a disc of the given radius (in samples)."""
    out = mask.copy()
    r = int(np.ceil(radius))
    for dy in range(-r, r + 1):
        for dx in range(-r, r + 1):
            if dx * dx + dy * dy <= radius * radius:
                out = np.maximum(out, np.roll(np.roll(mask, dy, axis=0), dx, axis=1))
    return out


def _style(mask):
    """Premultiplied RGBA at UP resolution: outline under a gradient fill."""
    big = mask.shape[0]
    y = (np.arange(big)[:, None] + 0.5) / UP
    top = BASELINE - CAP_HEIGHT
    t = np.clip((y - top) / CAP_HEIGHT, 0, 1)
    fill = rgb("#ffffff") * (1 - t[..., None]) + rgb("#8ff3ff") * t[..., None]
    fill = np.broadcast_to(fill, (big, big, 3))
    edge = _dilate(mask, OUTLINE * UP)
    px = np.zeros((big, big, 4))
    px[..., :3] = rgb("#060a18") * edge[..., None]
    px[..., 3] = edge
    a = mask[..., None]
    px[..., :3] = fill * a + px[..., :3] * (1 - a)
    px[..., 3:] = a + px[..., 3:] * (1 - a)
    return px


def font_sheet():
    """256x256 sheet, eight cells a row from the top left, codes 32..89."""
    font = ImageFont.truetype(FONT_FILE, int(round(CAP_HEIGHT * UP / 0.729)))
    big = CELL * UP
    sheet = np.zeros((8 * big, 8 * big, 4))
    for code in range(FIRST, LAST + 1):
        i = code - FIRST
        cx, cy = (i % 8) * big, (i // 8) * big
        if code == 32:
            continue
        sheet[cy:cy + big, cx:cx + big] = _style(_glyph_mask(chr(code), font))
    small = sheet.reshape(8 * CELL, UP, 8 * CELL, UP, 4).mean(axis=(1, 3))
    return Image.fromarray(to_rgba8(small), "RGBA")


# Neon-tube letter strokes in a unit box (x right, y down), one polyline each.
def _arc(cx, cy, r, a0, a1, n=10):
    return [(cx + r * np.cos(a), cy + r * np.sin(a)) for a in np.linspace(a0, a1, n)]


LETTERS = {
    "Z": [[(0.02, 0), (1, 0), (0, 1), (0.98, 1)]],
    "E": [[(1, 0), (0, 0), (0, 1), (1, 1)], [(0, 0.5), (0.78, 0.5)]],
    "P": [[(0, 1), (0, 0)] + _arc(0.66, 0.27, 0.27, -np.pi / 2, np.pi / 2) + [(0, 0.54)]],
    "H": [[(0, 0), (0, 1)], [(1, 0), (1, 1)], [(0, 0.5), (1, 0.5)]],
}


def logo():
    """ZEPH in slanted neon tubes, magenta to cyan, over a thin swoosh."""
    cv = Canvas(192, 48)
    h, w, gap, slant = 26.0, 28.0, 11.0, 0.22
    x0, y0 = (192 - (4 * w + 3 * gap)) / 2, 7.0
    d = np.full(cv.X.shape, np.inf)
    for k, ch in enumerate("ZEPH"):
        for line in LETTERS[ch]:
            pts = [(x0 + k * (w + gap) + px * w + (1 - py) * h * slant, y0 + py * h)
                   for px, py in line]
            d = np.minimum(d, d_polyline(cv, pts))
    t = np.clip((cv.X - 14) / 164, 0, 1)[..., None]
    hue = rgb("#ff2bd6") * (1 - t) + rgb("#2ee8ff") * t
    swoosh = d_polyline(cv, [(10, 42.5), (182, 40.5)])
    fade = np.clip(1 - np.abs(cv.X - 96) / 90, 0, 1) ** 0.7
    cv.light(hue, 0.55 * glow_falloff(swoosh - 0.3, 1.6) * fade)
    cv.over(hue * 0.6 + 0.4, smooth_edge(swoosh - 0.45) * fade)
    tube = d - 1.7
    cv.light(hue, 0.8 * glow_falloff(tube, 2.4))
    cv.over(hue, smooth_edge(tube))
    cv.over(hue * 0.35 + 0.65, smooth_edge(d - 0.7))
    return cv.image()


ALL = {"Font1.png": font_sheet, "ZEPH.png": logo}
