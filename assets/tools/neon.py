# Drawing kit for the game's pictures: signed-distance shapes rendered on a
# supersampled float canvas, soft glows, and a PNG writer that obeys the
# engine's colour-key rule (opaque pure black turns transparent on load).
import math

import numpy as np
from PIL import Image

SS = 4  # supersampling factor; pictures are tiny, so edges are worth it


class Canvas:
    """Premultiplied RGBA in floats, sampled SS times per pixel and axis."""

    def __init__(self, w, h, ss=SS):
        self.w, self.h, self.ss = w, h, ss
        xs = (np.arange(w * ss) + 0.5) / ss
        ys = (np.arange(h * ss) + 0.5) / ss
        self.X, self.Y = np.meshgrid(xs, ys)
        self.px = np.zeros((h * ss, w * ss, 4))

    def polar(self, cx, cy):
        dx, dy = self.X - cx, self.Y - cy
        return np.hypot(dx, dy), np.arctan2(dy, dx)

    def over(self, rgb, alpha):
        """Lays colour rgb (0..1, scalar triple or per-sample array) with the
        given per-sample alpha over what is there."""
        a = np.clip(alpha, 0.0, 1.0)[..., None]
        col = np.broadcast_to(np.asarray(rgb, dtype=float), self.px.shape[:2] + (3,))
        src = np.concatenate([col * a, a], axis=-1)
        self.px = src + self.px * (1.0 - a)

    def light(self, rgb, amount):
        """Adds light: colour grows additively, coverage grows like a screen.
        Used for glows, which should brighten rather than hide."""
        a = np.clip(amount, 0.0, 1.0)[..., None]
        col = np.broadcast_to(np.asarray(rgb, dtype=float), self.px.shape[:2] + (3,))
        self.px[..., :3] = self.px[..., :3] + col * a
        self.px[..., 3:] = self.px[..., 3:] + a * (1.0 - self.px[..., 3:])

    def window(self, cx, cy, r_zero, soft):
        """Fades everything out between r_zero - soft and r_zero, so glows end
        inside the sprite instead of at its square border."""
        r, _ = self.polar(cx, cy)
        t = np.clip((r_zero - r) / soft, 0.0, 1.0)
        self.px *= (t * t * (3.0 - 2.0 * t))[..., None]

    def image(self):
        """Box-filters down to pixels and returns an 8-bit RGBA PIL image."""
        h, w, ss = self.h, self.w, self.ss
        p = self.px.reshape(h, ss, w, ss, 4).mean(axis=(1, 3))
        return array_image(to_rgba8(p))


def to_rgba8(premult):
    """Premultiplied float RGBA -> straight 8-bit RGBA with clean transparency:
    fully transparent pixels are (0,0,0,0), visible ones never pure black."""
    a = np.clip(premult[..., 3], 0.0, 1.0)
    rgb = premult[..., :3] / np.maximum(a, 1e-6)[..., None]
    out = np.zeros(premult.shape[:2] + (4,), dtype=np.uint8)
    out[..., :3] = np.round(np.clip(rgb, 0.0, 1.0) * 255.0)
    out[..., 3] = np.round(a * 255.0)
    return fix_black(out)


def fix_black(rgba):
    """Keeps the engine's colour key from eating dark details."""
    clear = rgba[..., 3] == 0
    rgba[clear] = 0
    black = (rgba[..., 3] > 0) & (rgba[..., :3].max(axis=-1) == 0)
    rgba[black, :3] = (2, 2, 3)
    return rgba


def smooth_edge(d, width=0.6):
    """Coverage of a shape from its signed distance d (negative inside)."""
    t = np.clip(0.5 - d / max(width, 1e-6), 0.0, 1.0)
    return t * t * (3.0 - 2.0 * t)


def glow_falloff(d, radius):
    """Light around a shape at distance d outside it; 1 at the edge."""
    d = np.maximum(d, 0.0)
    return np.exp(-((d / radius) ** 2)) * 0.6 + np.exp(-d / (radius * 0.5)) * 0.4


def d_circle(cv, cx, cy, r):
    return np.hypot(cv.X - cx, cv.Y - cy) - r


def d_segment(cv, ax, ay, bx, by):
    """Unsigned distance to the segment from a to b."""
    px, py = cv.X - ax, cv.Y - ay
    vx, vy = bx - ax, by - ay
    t = np.clip((px * vx + py * vy) / max(vx * vx + vy * vy, 1e-9), 0.0, 1.0)
    return np.hypot(px - vx * t, py - vy * t)


def d_polyline(cv, pts, closed=False):
    d = np.full(cv.X.shape, np.inf)
    n = len(pts)
    for i in range(n if closed else n - 1):
        (ax, ay), (bx, by) = pts[i], pts[(i + 1) % n]
        d = np.minimum(d, d_segment(cv, ax, ay, bx, by))
    return d


def d_polygon(cv, pts):
    """Signed distance to a simple polygon (negative inside, even-odd rule)."""
    d = d_polyline(cv, pts, closed=True)
    inside = np.zeros(cv.X.shape, dtype=bool)
    n = len(pts)
    for i in range(n):
        (ax, ay), (bx, by) = pts[i], pts[(i + 1) % n]
        crosses = (ay > cv.Y) != (by > cv.Y)
        xint = ax + (cv.Y - ay) * (bx - ax) / ((by - ay) if by != ay else 1e-9)
        inside ^= crosses & (cv.X < xint)
    return np.where(inside, -d, d)


def star_points(cx, cy, r_out, r_in, n, phase=0.0):
    pts = []
    for i in range(2 * n):
        r = r_out if i % 2 == 0 else r_in
        a = phase + math.pi * i / n
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def regular_points(cx, cy, r, n, phase=0.0):
    return [(cx + r * math.cos(phase + 2 * math.pi * i / n),
             cy + r * math.sin(phase + 2 * math.pi * i / n)) for i in range(n)]


def rgb(hexstr):
    """'#rrggbb' -> floats 0..1."""
    v = int(hexstr.lstrip("#"), 16)
    return np.array([(v >> 16) & 255, (v >> 8) & 255, v & 255]) / 255.0


def save_png(img, path):
    """PIL's PNG writer adds no time or text chunks, so the bytes only depend
    on the pixels; the fixed compression level keeps them stable too."""
    img.save(path, format="PNG", optimize=False, compress_level=9)


def array_image(arr):
    return Image.fromarray(np.ascontiguousarray(arr), mode="RGBA")
