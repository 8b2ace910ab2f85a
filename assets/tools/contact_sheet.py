# Contact sheets for looking at the generated pictures: every picture at 1x
# and 4x over the game's dark field and over mid grey, the tiles repeated to
# show their seams, and a mock game frame that uses the sprites the way the
# game does (additive sparks, shots and exhaust, font at 50 %).
import math
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

DARK = (9, 11, 20)
GREY = (128, 128, 128)
LABEL = ImageFont.load_default()


def load(gfx, name):
    """Loads a picture the way the engine does: opaque pure black becomes
    transparent."""
    a = np.asarray(Image.open(os.path.join(gfx, name)).convert("RGBA")).astype(float) / 255
    key = (a[..., 3] == 1.0) & (a[..., :3].max(axis=-1) == 0)
    a[key] = 0
    return a


def blend(dst, src, x, y, additive, opacity=1.0):
    """Draws src (straight RGBA floats) onto the RGB float picture dst."""
    h, w = src.shape[:2]
    x0, y0 = max(x, 0), max(y, 0)
    x1, y1 = min(x + w, dst.shape[1]), min(y + h, dst.shape[0])
    if x0 >= x1 or y0 >= y1:
        return
    s = src[y0 - y:y1 - y, x0 - x:x1 - x]
    a = s[..., 3:] * opacity
    region = dst[y0:y1, x0:x1]
    if additive:
        region += s[..., :3] * a
    else:
        region *= 1 - a
        region += s[..., :3] * a
    np.clip(region, 0, 1, out=region)


def scaled(src, k):
    return src.repeat(k, axis=0).repeat(k, axis=1)


def transform(src, angle_deg, scale):
    """Rotates about the centre and scales (bilinear), keeping the size of the
    scaled square so the caller can centre it."""
    h, w = src.shape[:2]
    size = int(math.ceil(max(w, h) * scale * 1.5)) + 2
    c = size / 2.0
    ys, xs = np.mgrid[0:size, 0:size] + 0.5
    ca, sa = math.cos(math.radians(angle_deg)), math.sin(math.radians(angle_deg))
    u = ((xs - c) * ca + (ys - c) * sa) / scale + w / 2.0 - 0.5
    v = (-(xs - c) * sa + (ys - c) * ca) / scale + h / 2.0 - 0.5
    x0, y0 = np.floor(u).astype(int), np.floor(v).astype(int)
    fx, fy = (u - x0)[..., None], (v - y0)[..., None]
    out = np.zeros((size, size, 4))
    for dx, dy, wgt in ((0, 0, (1 - fx) * (1 - fy)), (1, 0, fx * (1 - fy)),
                        (0, 1, (1 - fx) * fy), (1, 1, fx * fy)):
        xi, yi = x0 + dx, y0 + dy
        ok = ((xi >= 0) & (xi < w) & (yi >= 0) & (yi < h))[..., None]
        out += np.where(ok, src[np.clip(yi, 0, h - 1), np.clip(xi, 0, w - 1)], 0) * wgt
    return out


def put(dst, src, cx, cy, angle=0.0, scale=1.0, additive=False, opacity=1.0):
    t = src if (angle == 0 and scale == 1) else transform(src, angle, scale)
    blend(dst, t, int(round(cx - t.shape[1] / 2)), int(round(cy - t.shape[0] / 2)),
          additive, opacity)


def to_image(f):
    return Image.fromarray(np.round(np.clip(f, 0, 1) * 255).astype(np.uint8), "RGB")


def sprite_sheet(gfx, names):
    """Rows: name, 1x on dark, 1x on grey, 4x on dark, 4x on grey."""
    row_h = [max(Image.open(os.path.join(gfx, n)).size[1] * 4, 16) + 10 for n in names]
    widths = [Image.open(os.path.join(gfx, n)).size[0] for n in names]
    col = max(widths) * 4 + 12
    W = 170 + 2 * (max(widths) + 12) + 2 * col
    H = sum(row_h) + 20
    pic = np.zeros((H, W, 3))
    pic[:, :] = np.array(DARK) / 255
    y = 10
    labels = []
    for name, rh in zip(names, row_h):
        src = load(gfx, name)
        add = name.startswith("Particle-")
        x = 170
        for bg, k in ((DARK, 1), (GREY, 1), (DARK, 4), (GREY, 4)):
            cw = (max(widths) + 12) if k == 1 else col
            pic[y - 4:y + rh - 6, x - 4:x + cw - 8] = np.array(bg) / 255
            blend(pic, scaled(src, k), x, y, add and bg == DARK)
            x += cw
        labels.append((name + (" (+)" if add else ""), y))
        y += rh
    img = to_image(pic)
    dr = ImageDraw.Draw(img)
    for text, ly in labels:
        dr.text((6, ly), text, fill=(220, 220, 220), font=LABEL)
    return img


def big_sheet(gfx, names):
    """Font, logo and panel: 1x and 4x over dark and grey."""
    srcs = [load(gfx, n) for n in names]
    W = max(s.shape[1] for s in srcs) * 4 * 2 + 40
    H = sum(s.shape[0] * 5 + 30 for s in srcs) + 20
    pic = np.zeros((H, W, 3)) + np.array(DARK) / 255
    y = 10
    for s in srcs:
        h, w = s.shape[:2]
        for i, bg in enumerate((DARK, GREY)):
            x = 10 + i * (w * 4 + 20)
            pic[y:y + h, x:x + w] = np.array(bg) / 255
            blend(pic, s, x, y, False)
            pic[y + h + 8:y + h * 5 + 8, x:x + w * 4] = np.array(bg) / 255
            blend(pic, scaled(s, 4), x, y + h + 8, False)
        y += h * 5 + 30
    return to_image(pic)


def tile_sheet(gfx):
    """Each tile alone, repeated 2x2 (seams cross the middle) and a 4x zoom of
    the corner where four copies meet."""
    pic = np.zeros((5 * 530 + 10, 256 + 512 + 512 + 40, 3)) + np.array(DARK) / 255
    for k in range(5):
        t = load(gfx, "Tile%d.png" % (k + 1))[..., :3]
        y = 10 + k * 530
        pic[y:y + 256, 10:266] = t
        pic[y:y + 512, 276:788] = np.tile(t, (2, 2, 1))
        corner = np.roll(np.roll(t, 64, axis=0), 64, axis=1)[:128, :128]
        pic[y:y + 512, 798:1310] = scaled(corner, 4)
    return to_image(pic)


def text_line(dst, font, x, y, text, additive=False, both=False):
    """Bitmap text the way the game draws it: 32x32 frames at 50 %, pen
    advancing 16 pixels."""
    for i, ch in enumerate(text):
        code = ord(ch) - 32
        if code <= 0 or code >= 58:
            continue
        fx, fy = (code % 8) * 32, (code // 8) * 32
        glyph = font[fy:fy + 32, fx:fx + 32]
        cx, cy = x + 16 * i + 8, y + 8
        if both:
            put(dst, glyph, cx, cy, scale=0.5)
            put(dst, glyph, cx, cy, scale=0.5, additive=True)
        else:
            put(dst, glyph, cx, cy, scale=0.5, additive=additive)


def scene(gfx):
    """A mock frame at the game's positions, to judge contrast and balance."""
    rng = np.random.default_rng(7)
    pic = np.zeros((768, 1024, 3))
    tile = load(gfx, "Tile2.png")[..., :3]
    pic[:] = np.tile(tile, (3, 4, 1))[:768, :1024]
    # Border outside the field, near-black at the pulse's middle opacity.
    border = np.ones((768, 1024, 1), dtype=bool)
    border[83:683, 211:811] = False
    pic = np.where(border, pic * (1 - 60 / 255) + (5 / 255) * (60 / 255), pic)
    font = load(gfx, "Font1.png")
    logo = load(gfx, "ZEPH.png")
    put(pic, logo, 416 + 96, 30 + 24)
    text_line(pic, font, 300, 10, "CREATED WITH KORVALINE AND", additive=True)
    text_line(pic, font, 496, 100, "1234", both=True)
    text_line(pic, font, 240, 560, "0123456789 ABCDEFGHIJKLMNOPQRSTUVWXY", both=True)
    text_line(pic, font, 240, 590, "!\"#$%&'()*+,-./:;<=>?@", both=True)
    put(pic, load(gfx, "PowerImage.png"), 412 + 100, 663 + 10)
    bar = np.zeros((20, 1, 4))
    bar[..., 1] = 1
    bar[..., 3] = 1
    for i in range(0, 141):
        blend(pic, bar, 412 + i, 663, False, opacity=100 / 255)
    ship = load(gfx, "Ship01.png")
    cur = load(gfx, "Cursor.png")
    lila = load(gfx, "Particle-lila01.png")
    for j in range(40):
        put(pic, lila, 430 - j * 3.2 + rng.normal() * 1.5, 400 + rng.normal() * 1.5,
            additive=True, opacity=180 / 255 * (1 - j / 45))
    put(pic, ship, 460, 400, angle=-8)
    put(pic, cur, 540, 390, angle=-8)
    put(pic, ship, 640, 250, angle=135)
    put(pic, cur, 640, 250, angle=135)
    shotp = load(gfx, "Particle-Shot.png")
    for k, a in enumerate((-11, -8, -5)):
        for j in range(3):
            d = 40 + j * 60
            put(pic, shotp, 480 + d * math.cos(math.radians(a)),
                398 + d * math.sin(math.radians(a)) + (k - 1) * 6, angle=a, additive=True)
    sheet = load(gfx, "Enemy.png")
    for n, (ex, ey) in enumerate(((300, 200), (330, 260), (700, 480), (740, 180),
                                   (280, 470), (600, 600), (760, 620), (380, 640))):
        k = n % 3
        put(pic, sheet[:, 32 * k:32 * k + 16], ex, ey, angle=n * 37)
        put(pic, sheet[:, 32 * k + 16:32 * k + 32], ex, ey, angle=n * 37,
            opacity=(n * 53 % 230) / 255)
    ring = load(gfx, "Circle01.png")
    for s, (cx, cy) in ((0.4, (500, 200)), (0.9, (350, 380)), (1.18, (720, 330))):
        put(pic, ring, cx, cy, angle=s * 90, scale=s)
    for colour, (cx, cy) in (("green", (560, 520)), ("red", (300, 320)),
                             ("yellow", (700, 400))):
        frames = [load(gfx, "Particle-%s%02d.png" % (colour, f)) for f in range(1, 5)]
        for p in range(172):
            a = rng.uniform(0, 360)
            r = rng.uniform(0, 25 if p < 71 else 64) + rng.uniform(0, 30)
            alpha = 1.0 if r < 40 else max(0.1, 1 - (r - 40) / 60)
            f = frames[rng.integers(0, 4)]
            px = cx + r * math.cos(math.radians(a))
            py = cy + r * math.sin(math.radians(a))
            put(pic, f, px, py, angle=a, scale=1.2, additive=True, opacity=alpha)
            put(pic, f, px, py, angle=a, scale=1.2, additive=True, opacity=alpha)
        pick = load(gfx, "Ptcl-%s01.png" % colour)
        for q in range(10):
            a = rng.uniform(0, 2 * math.pi)
            r = rng.uniform(50, 90)
            put(pic, pick, cx + r * math.cos(a), cy + r * math.sin(a))
            put(pic, pick, cx + r * math.cos(a), cy + r * math.sin(a), additive=True)
    img = to_image(pic)
    ImageDraw.Draw(img).rectangle((211, 83, 810, 682), outline=(255, 255, 255))
    ImageDraw.Draw(img).rectangle((411, 662, 610, 681), outline=(255, 255, 255))
    return img


def main():
    gfx, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    small = ["Ship01.png", "Cursor.png", "Enemy.png", "EnemyQgreen.png", "Circle01.png",
             "Particle-Shot.png", "Particle-lila01.png"]
    for c in ("green", "red", "yellow"):
        small += ["Particle-%s%02d.png" % (c, f) for f in range(1, 5)]
        small.append("Ptcl-%s01.png" % c)
    sprite_sheet(gfx, small).save(os.path.join(out, "contact-sprites.png"))
    big_sheet(gfx, ["Font1.png", "ZEPH.png", "PowerImage.png"]).save(
        os.path.join(out, "contact-text.png"))
    tile_sheet(gfx).save(os.path.join(out, "contact-tiles.png"))
    scene(gfx).save(os.path.join(out, "scene.png"))


if __name__ == "__main__":
    main()
