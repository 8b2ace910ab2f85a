# The game's small sprites: ship, cursor, enemies, wall probe, spawn ring and
# every particle. Each picture is one function returning a PIL RGBA image.
# Sprites drawn additively (sparks, shot, exhaust) fade to nothing inside
# their square, so no hard edge shows and their collision shape stays round.
import math

import numpy as np

from neon import (Canvas, array_image, d_circle, d_polygon, d_polyline, d_segment,
                  glow_falloff, regular_points, rgb, smooth_edge, star_points)

CYAN = rgb("#38f4ff")
ICE = rgb("#d8fcff")
HULL = rgb("#0c1a33")
MAGENTA = rgb("#ff3cc8")
WHITE = np.array([1.0, 1.0, 1.0])

# Per colour: (main, hot core, dark fill)
KIND_COLOURS = {
    "green": (rgb("#3dff6e"), rgb("#e4ffe8"), rgb("#0b2a14")),
    "red": (rgb("#ff3b3b"), rgb("#ffe2dc"), rgb("#2e0b0e")),
    "yellow": (rgb("#ffd23a"), rgb("#fff6d8"), rgb("#2e230a")),
}


# The ship's outline in its 32 x 32 picture, nose at +x; the icons draw it too.
SHIP_HULL = [(26.5, 16), (9, 6.5), (5.5, 8), (10.5, 16), (5.5, 24), (9, 25.5)]


def ship():
    """Delta-wing fighter, nose at +x, neon-cyan rim, dark hull, bright canopy
    and a magenta engine glow at the notched tail."""
    cv = Canvas(32, 32)
    d = d_polygon(cv, SHIP_HULL)
    cv.light(CYAN, 0.55 * glow_falloff(d, 1.6) * (d > 0))
    cv.over(HULL, smooth_edge(d))
    # Panel lines give the hull some depth without clutter.
    spine = d_segment(cv, 11.5, 16, 23, 16)
    cv.over(rgb("#1f3f6e"), smooth_edge(spine - 0.7) * (d < -0.6))
    wing_l = d_segment(cv, 9.5, 9, 17, 13.2)
    wing_r = d_segment(cv, 9.5, 23, 17, 18.8)
    cv.over(rgb("#2a5d9a"), 0.8 * smooth_edge(np.minimum(wing_l, wing_r) - 0.45))
    rim = np.abs(d) - 0.55
    cv.over(CYAN, smooth_edge(rim))
    cv.over(ICE, 0.7 * smooth_edge(d_segment(cv, 25.5, 16, 20, 13.5) - 0.35))
    cv.over(ICE, 0.7 * smooth_edge(d_segment(cv, 25.5, 16, 20, 18.5) - 0.35))
    # Canopy: a small bright teardrop just behind the nose.
    canopy = np.hypot((cv.X - 18.5) / 2.6, (cv.Y - 16) / 1.35) - 1.0
    cv.over(rgb("#7ffcff"), smooth_edge(canopy * 1.3))
    cv.over(WHITE, 0.9 * smooth_edge(np.hypot((cv.X - 19.3) / 1.2, (cv.Y - 15.6) / 0.6) - 1))
    # Engine: a hot spot in the tail notch.
    eng = d_circle(cv, 10.2, 16, 1.3)
    cv.light(MAGENTA, 0.9 * glow_falloff(eng, 1.8))
    cv.over(rgb("#ffd0f4"), smooth_edge(eng))
    cv.window(16, 16, 15.8, 1.2)
    return cv.image()


def cursor():
    """Aim reticle: a broken thin ring around the ship with a bright chevron on
    the +x side, so the facing reads at a glance."""
    cv = Canvas(32, 32)
    r, th = cv.polar(16, 16)
    ring = np.abs(r - 13.2) - 0.5
    # Four arcs; the gaps sit at the diagonals so the front stays open.
    arcs = np.cos(4 * th) > -0.45
    front_gap = np.abs(th) > 0.42
    mask = arcs & front_gap
    cv.light(CYAN, 0.35 * glow_falloff(ring, 1.2) * mask)
    cv.over(rgb("#9ff8ff"), 0.75 * smooth_edge(ring) * mask)
    chevron = d_polyline(cv, [(26.0, 10.5), (30.2, 16), (26.0, 21.5)]) - 0.9
    cv.light(rgb("#ffffff"), 0.5 * glow_falloff(chevron, 1.3))
    cv.over(rgb("#f2ffff"), smooth_edge(chevron))
    tick = d_segment(cv, 2.6, 16, 4.8, 16) - 0.6
    cv.over(rgb("#9ff8ff"), 0.7 * smooth_edge(tick))
    cv.window(16, 16, 16.0, 0.8)
    return cv.image()


def _enemy_shape(kind, cv):
    """Signed distance of each kind's body; shapes differ so kinds read by
    silhouette as well as colour."""
    if kind == "green":  # four-bladed shuriken
        return d_polygon(cv, star_points(8, 8, 7.6, 3.0, 4, phase=math.pi / 4 + 0.2))
    if kind == "red":  # saw blade with six teeth
        return d_polygon(cv, star_points(8, 8, 7.4, 4.3, 6, phase=0.25))
    # yellow: armoured octagon, heaviest-looking
    return d_polygon(cv, regular_points(8, 8, 7.3, 8, phase=math.pi / 8))


def enemy_base(kind):
    main, core, dark = KIND_COLOURS[kind]
    cv = Canvas(16, 16)
    d = _enemy_shape(kind, cv)
    cv.over(dark * 1.6 + 0.02, smooth_edge(d))
    r, th = cv.polar(8, 8)
    # Off-centre marks so the spin is visible.
    spokes = np.abs(np.sin(3 * th)) < 0.22
    cv.over(main * 0.55, 0.8 * spokes * smooth_edge(r - 5.0) * (r > 2.2))
    cv.over(main, smooth_edge(np.abs(d) - 0.6))
    cv.over(main * 0.7, smooth_edge(np.abs(r - 3.0) - 0.45))
    cv.over(core, smooth_edge(d_circle(cv, 8 + 4.6, 8, 0.9)))
    return cv.image()


def enemy_overlay(kind):
    """Hot glow that pulses over the base: bright core and inner ring."""
    main, core, _ = KIND_COLOURS[kind]
    cv = Canvas(16, 16)
    r, th = cv.polar(8, 8)
    cv.light(main, 0.85 * np.exp(-((r / 4.2) ** 2)))
    cv.over(core, smooth_edge(r - 1.9))
    cross = np.minimum(d_segment(cv, 3, 8, 13, 8), d_segment(cv, 8, 3, 8, 13))
    cv.light(core, 0.6 * np.exp(-((cross / 0.55) ** 2)) * np.exp(-((r / 5.5) ** 2)))
    cv.window(8, 8, 7.8, 0.8)
    return cv.image()


def enemy_sheet():
    """Six 16x16 frames: (base, overlay) for green, red and yellow."""
    sheet = np.zeros((16, 96, 4), dtype=np.uint8)
    for k, kind in enumerate(("green", "red", "yellow")):
        sheet[:, 32 * k:32 * k + 16] = np.asarray(enemy_base(kind))
        sheet[:, 32 * k + 16:32 * k + 32] = np.asarray(enemy_overlay(kind))
    return array_image(sheet)


def wall_probe():
    """Never shown; must be solid everywhere for the wall tests."""
    cv = Canvas(16, 16)
    cv.over(rgb("#0b3a1a"), np.ones(cv.X.shape))
    border = np.minimum(np.minimum(cv.X, 16 - cv.X), np.minimum(cv.Y, 16 - cv.Y))
    cv.over(rgb("#3dff6e"), smooth_edge(border - 1.5))
    img = np.asarray(cv.image()).copy()
    img[..., 3] = 255
    return array_image(img)


def spawn_ring():
    """Spawn marker: a violet-white neon ring with three bright arcs, so its
    slow turn shows while it grows."""
    cv = Canvas(32, 32)
    r, th = cv.polar(16, 16)
    ring = np.abs(r - 12.6) - 0.9
    cv.light(rgb("#b46cff"), 0.75 * glow_falloff(ring, 2.0))
    cv.over(rgb("#c99bff"), smooth_edge(ring))
    arcs = (np.cos(3 * th) > 0.55)
    cv.over(rgb("#fbf2ff"), smooth_edge(np.abs(r - 12.6) - 0.55) * arcs)
    inner = np.abs(r - 8.6) - 0.35
    dashes = np.cos(12 * th - 0.5) > 0.1
    cv.over(rgb("#8e5cff"), 0.55 * smooth_edge(inner) * dashes)
    cv.window(16, 16, 16.0, 1.0)
    return cv.image()


def _glow_sprite(size, colour, core, shape_d, spread, core_gain=1.0):
    """Additive spark: hot core fading through colour to zero at the rim."""
    cv = Canvas(size, size)
    c = size / 2.0
    d = shape_d(cv, c)
    cv.light(colour, np.exp(-((np.maximum(d, 0) / spread) ** 2)) * 0.9)
    cv.light(core, core_gain * smooth_edge(d, 0.9))
    cv.window(c, c, c - 1.0, c * 0.4)
    return cv.image()


def spark(colour_name, frame):
    """Explosion particle frames: round glow, motion streak, four-point
    twinkle and a small hot ember."""
    main, core, _ = KIND_COLOURS[colour_name]
    if frame == 1:
        return _glow_sprite(16, main, core, lambda cv, c: d_circle(cv, c, c, 1.4), 3.2)
    if frame == 2:
        return _glow_sprite(16, main, core,
                            lambda cv, c: d_segment(cv, c - 4.5, c, c + 4.5, c) - 0.8, 2.2)
    if frame == 3:
        def twinkle(cv, c):
            arms = np.minimum(np.abs(cv.X - c) * 4.5 + np.abs(cv.Y - c),
                              np.abs(cv.Y - c) * 4.5 + np.abs(cv.X - c))
            return arms / 2.2 - 1.6
        return _glow_sprite(12, main, core, twinkle, 1.4)
    return _glow_sprite(8, main, core, lambda cv, c: d_circle(cv, c, c, 0.9), 1.4)


def pickup(colour_name):
    """Energy pick-up: a small faceted gem inside a soft halo."""
    main, core, _ = KIND_COLOURS[colour_name]
    cv = Canvas(16, 16)
    r, _ = cv.polar(8, 8)
    cv.light(main, 0.7 * np.exp(-((r / 4.0) ** 2)))
    gem = d_polygon(cv, [(8, 3.4), (12.2, 8), (8, 12.6), (3.8, 8)])
    cv.over(main, smooth_edge(gem))
    facet = d_polygon(cv, [(8, 4.9), (10.6, 8), (8, 8), (5.4, 8)])
    cv.over(core, 0.9 * smooth_edge(facet))
    cv.over(WHITE, smooth_edge(d_circle(cv, 7.4, 6.8, 0.8)))
    cv.over(core, 0.8 * smooth_edge(np.abs(gem) - 0.4))
    cv.window(8, 8, 8.0, 2.0)
    return cv.image()


def exhaust():
    """Exhaust puff: soft purple smoke, dim enough that a trail of many of them
    adds up to a glow rather than a white blot."""
    cv = Canvas(16, 16)
    r, _ = cv.polar(8, 8)
    cv.light(rgb("#b060ff"), 0.75 * np.exp(-((r / 3.4) ** 2)))
    cv.light(rgb("#ffb0f4") * 0.8, 0.6 * np.exp(-((r / 1.5) ** 2)))
    cv.window(8, 8, 7.0, 3.0)
    return cv.image()


def shot():
    """Plasma bolt along +x: white-hot core, electric-cyan glow."""
    cv = Canvas(16, 16)
    core = np.hypot((cv.X - 8.6) / 5.2, (cv.Y - 8) / 1.1) - 1.0
    cv.light(CYAN, 0.95 * np.exp(-((np.maximum(core, 0) / 0.9) ** 2)))
    cv.light(rgb("#2f7bff"), 0.5 * np.exp(-((np.maximum(core, 0) / 1.8) ** 2)))
    cv.over(WHITE, smooth_edge(np.hypot((cv.X - 9.2) / 4.0, (cv.Y - 8) / 0.75) - 1.0, 0.4))
    cv.window(8, 8, 7.0, 2.5)
    return cv.image()


ALL = {
    "Ship01.png": ship,
    "Cursor.png": cursor,
    "Enemy.png": enemy_sheet,
    "EnemyQgreen.png": wall_probe,
    "Circle01.png": spawn_ring,
    "Particle-lila01.png": exhaust,
    "Particle-Shot.png": shot,
}
for _name in ("green", "red", "yellow"):
    for _f in range(1, 5):
        ALL["Particle-%s%02d.png" % (_name, _f)] = (lambda n=_name, f=_f: spark(n, f))
    ALL["Ptcl-%s01.png" % _name] = (lambda n=_name: pickup(n))
