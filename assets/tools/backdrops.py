# Background tiles and the energy panel. Tiles are 256x256, opaque, dark and
# calm, and seamless by construction: every pattern is periodic over the tile
# (integer spatial frequencies, wrapped distances, an FFT noise field).
import numpy as np

from neon import array_image, fix_black, rgb

N = 256


def _grid(ss=1):
    c = (np.arange(N * ss) + 0.5) / ss
    return np.meshgrid(c, c)


def _down(a, ss):
    if ss == 1:
        return a
    return a.reshape(N, ss, N, ss, *a.shape[2:]).mean(axis=(1, 3))


def periodic_noise(seed, slope, low=1, high=64):
    """Fractal noise that wraps: a random spectrum on the tile's own frequency
    grid, shaped by 1/f^slope and band-limited, then inverse-transformed.
    Result normalised to 0..1."""
    rng = np.random.default_rng(seed)
    f = np.fft.fftfreq(N) * N
    fx, fy = np.meshgrid(f, f)
    k = np.hypot(fx, fy)
    amp = np.where((k >= low) & (k <= high), 1.0 / np.maximum(k, 1.0) ** slope, 0.0)
    spectrum = amp * np.exp(2j * np.pi * rng.random((N, N)))
    field = np.real(np.fft.ifft2(spectrum))
    field -= field.min()
    return field / max(field.max(), 1e-12)


def wrap(d):
    """Shortest signed difference on the tile's torus."""
    return (d + N / 2) % N - N / 2


def stars(X, Y, seed, count, size=(0.5, 1.1), bright=(0.25, 1.0)):
    rng = np.random.default_rng(seed)
    out = np.zeros(X.shape)
    for _ in range(count):
        sx, sy = rng.uniform(0, N, 2)
        r = rng.uniform(*size)
        b = rng.uniform(*bright) ** 2
        d2 = wrap(X - sx) ** 2 + wrap(Y - sy) ** 2
        out += b * np.exp(-d2 / (r * r))
    return out


def mix(stops, t):
    """Piecewise-linear colour ramp; stops = [(t, rgb), ...]."""
    t = np.clip(t, 0, 1)
    out = np.zeros(t.shape + (3,))
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        m = ((t >= t0) & (t <= t1))[..., None]
        u = ((t - t0) / (t1 - t0))[..., None]
        out = np.where(m, c0 + (c1 - c0) * u, out)
    return out


def finish(rgb_f):
    """Float RGB 0..1 -> opaque RGBA image with no pure-black pixel."""
    a = np.empty(rgb_f.shape[:2] + (4,), dtype=np.uint8)
    a[..., :3] = np.round(np.clip(rgb_f, 0, 1) * 255)
    a[..., 3] = 255
    return array_image(fix_black(a))


def tile_nebula():
    """Deep-space blue nebula with faint violet wisps and sparse stars."""
    X, Y = _grid()
    base = periodic_noise(11, 1.6, 1, 48)
    wisps = periodic_noise(12, 1.2, 2, 80)
    t = 0.65 * base + 0.35 * wisps
    col = mix([(0.0, rgb("#04060f")), (0.45, rgb("#0a1030")), (0.75, rgb("#1a1846")),
               (1.0, rgb("#2c1f5a"))], t ** 1.3)
    col += stars(X, Y, 13, 70)[..., None] * rgb("#aebfff") * 0.45
    return finish(col)


def tile_hexgrid():
    """Dark teal honeycomb: thin glowing cell walls, dimmer cells with a soft
    wash of noise so the repeat is not obvious."""
    ss = 2
    X, Y = _grid(ss)
    cols, rows = 7, 8  # a 7x8 hex lattice closes on 256x256 within 1 %
    ax, ay = N / cols, N / rows
    pts = [((i + 0.5 * (j % 2)) * ax, (j + 0.5) * ay) for j in range(rows) for i in range(cols)]
    d1 = np.full(X.shape, np.inf)
    d2 = np.full(X.shape, np.inf)
    for px, py in pts:
        d = wrap(X - px) ** 2 + wrap(Y - py) ** 2
        d2 = np.minimum(d2, np.maximum(d1, d))
        d1 = np.minimum(d1, d)
    edge = (np.sqrt(d2) - np.sqrt(d1)) / 2  # distance to the cell wall, about
    wall = np.exp(-((edge / 0.8) ** 2)) * 0.8 + np.exp(-edge / 4.0) * 0.25
    wall, d1 = _down(wall, ss), _down(np.sqrt(d1), ss)
    wash = periodic_noise(21, 1.8, 1, 24)
    col = mix([(0.0, rgb("#03080c")), (1.0, rgb("#0a1a24"))], wash)
    col += (wall * (0.35 + 0.65 * wash))[..., None] * rgb("#1f6f78") * 0.55
    col += np.exp(-((d1 / 3.0) ** 2))[..., None] * rgb("#1a4a60") * 0.12
    return finish(col)


def tile_circuit():
    """Faint circuit traces on dark slate: right-angle and diagonal runs that
    end in small pads, all wrapping around the tile."""
    ss = 2
    X, Y = _grid(ss)
    rng = np.random.default_rng(31)
    trace = np.zeros(X.shape)
    pads = np.zeros(X.shape)
    step = 16
    dirs = [(1, 0), (0, 1), (-1, 0), (0, -1), (1, 1), (1, -1), (-1, 1), (-1, -1)]
    for _ in range(26):
        x, y = rng.integers(0, N // step, 2) * step
        d = dirs[rng.integers(0, 4)]
        pads = np.maximum(pads, _pad(X, Y, x, y))
        for _ in range(rng.integers(3, 9)):
            n = rng.integers(1, 4)
            nx, ny = x + d[0] * step * n, y + d[1] * step * n
            trace = np.maximum(trace, _wrapped_segment(X, Y, x, y, nx, ny))
            x, y = nx % N, ny % N
            if rng.random() < 0.5:  # turn by 45 degrees, never reverse
                i = dirs.index(d)
                d = dirs[[4, 6, 7, 5, 0, 1, 2, 3][i]] if rng.random() < 0.5 else \
                    dirs[[5, 4, 6, 7, 3, 0, 1, 2][i]]
        pads = np.maximum(pads, _pad(X, Y, x, y))
    trace, pads = _down(trace, ss), _down(pads, ss)
    wash = periodic_noise(32, 2.0, 1, 20)
    col = mix([(0.0, rgb("#05080a")), (1.0, rgb("#0d1518"))], wash)
    col += trace[..., None] * rgb("#2c6d60") * 0.32
    col += pads[..., None] * rgb("#4fa894") * 0.27
    return finish(col)


def _wrapped_segment(X, Y, ax, ay, bx, by, width=0.7):
    best = np.full(X.shape, np.inf)
    vx, vy = bx - ax, by - ay
    L = max(vx * vx + vy * vy, 1e-9)
    for ox in (-N, 0, N):
        for oy in (-N, 0, N):
            px, py = X - ax - ox, Y - ay - oy
            t = np.clip((px * vx + py * vy) / L, 0, 1)
            best = np.minimum(best, np.hypot(px - vx * t, py - vy * t))
    return np.exp(-((best / width) ** 2)) + 0.25 * np.exp(-best / 2.5)


def _pad(X, Y, x, y):
    r = np.hypot(wrap(X - x), wrap(Y - y))
    return np.clip(1.6 - np.abs(r - 2.4) * 1.2, 0, 1) + 0.3 * np.exp(-r / 3)


def tile_grid():
    """Retro synth grid in dark violet: fine lines every 32 pixels, stronger
    ones every 128, small glows at the strong crossings."""
    X, Y = _grid()
    fx = np.minimum(X % 32, 32 - X % 32)
    fy = np.minimum(Y % 32, 32 - Y % 32)
    fine = np.exp(-((np.minimum(fx, fy) / 0.7) ** 2))
    bx = np.minimum(X % 128, 128 - X % 128)
    by = np.minimum(Y % 128, 128 - Y % 128)
    bold = np.exp(-((np.minimum(bx, by) / 0.9) ** 2)) + 0.3 * np.exp(-np.minimum(bx, by) / 4)
    node = np.exp(-(bx ** 2 + by ** 2) / 18.0)
    wash = periodic_noise(41, 1.7, 1, 16)
    col = mix([(0.0, rgb("#07040f")), (1.0, rgb("#140a26"))], wash)
    col += fine[..., None] * rgb("#4a2a80") * 0.22
    col += bold[..., None] * rgb("#8a3cc0") * 0.28
    col += node[..., None] * rgb("#ff6ad5") * 0.35
    return finish(col)


def tile_plasma():
    """Slow crimson-indigo plasma waves with a faint dot lattice."""
    X, Y = _grid()
    u, v = 2 * np.pi * X / N, 2 * np.pi * Y / N
    waves = (np.sin(2 * u + np.sin(v) * 1.5) + np.sin(3 * v + 1.3 + np.cos(u) * 1.2)
             + np.sin(u + 2 * v + 0.6) + 0.6 * np.sin(4 * u - 3 * v + 2.1))
    t = (waves - waves.min()) / (waves.max() - waves.min())
    t = 0.8 * t + 0.2 * periodic_noise(51, 1.5, 2, 40)
    col = mix([(0.0, rgb("#06030a")), (0.5, rgb("#1a0618")), (0.8, rgb("#2a0a2e")),
               (1.0, rgb("#3a1030"))], t)
    dx = np.minimum(X % 16, 16 - X % 16)
    dy = np.minimum(Y % 16, 16 - Y % 16)
    dots = np.exp(-(dx ** 2 + dy ** 2) / 0.9)
    col += dots[..., None] * rgb("#ff5a8c") * 0.08
    return finish(col)


def power_panel():
    """Energy panel under the green bar: dark glass with a top highlight, fine
    ticks every 10, stronger marks every 40 (one ram's worth) and a red
    tinge over the first 40 where the next ram ends the game."""
    w, h = 200, 20
    x = np.arange(w) + 0.5
    y = (np.arange(h) + 0.5)[:, None]
    t = y / h
    col = mix([(0.0, rgb("#1c2a44")), (0.12, rgb("#121d33")), (0.55, rgb("#0b1222")),
               (1.0, rgb("#070b16"))], np.broadcast_to(t, (h, w)))
    danger = np.clip((44 - x) / 8, 0, 1)[None, :]
    col = col + (danger * (1 - t) * 0.6)[..., None] * rgb("#5a1020")
    ticks_minor = ((np.round(x - 0.5) % 10) == 0)[None, :] & (y > 15)
    ticks_major = ((np.round(x - 0.5) % 40) == 0)[None, :] & ((y > 11) | (y < 3))
    col = np.where(ticks_minor[..., None], col + rgb("#31506e") * 0.5, col)
    col = np.where(ticks_major[..., None], col + rgb("#6e9cc8") * 0.55, col)
    highlight = (y < 1.0) | (y > 19.0)
    col = np.where(np.broadcast_to(highlight, (h, w))[..., None], col + rgb("#2a4466") * 0.6,
                   col)
    return finish(col)


ALL = {
    "Tile1.png": tile_nebula,
    "Tile2.png": tile_hexgrid,
    "Tile3.png": tile_circuit,
    "Tile4.png": tile_grid,
    "Tile5.png": tile_plasma,
    "PowerImage.png": power_panel,
}
