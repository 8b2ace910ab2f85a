# Checks the generated game assets as the game will load them: exact file
# names and sizes, PNG files with alpha that survive the engine's black
# colour key, a solid wall probe, a complete font, seamless dark tiles, and a
# music file of the right format, length, level and loop seam.
# Usage: check_assets.py <assets folder>
import math
import os
import shutil
import struct
import subprocess
import sys
import unittest

import numpy as np
from PIL import Image

ASSETS = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(__file__), "..", "..", "assets")
sys.path.insert(0, os.path.join(ASSETS, "tools"))
import loudness  # noqa: E402  (lives with the generator)

SIZES = {
    "Ship01.png": (32, 32), "Cursor.png": (32, 32), "Enemy.png": (96, 16),
    "EnemyQgreen.png": (16, 16), "Circle01.png": (32, 32),
    "Particle-lila01.png": (16, 16), "Particle-Shot.png": (16, 16),
    "Font1.png": (256, 256), "PowerImage.png": (200, 20), "ZEPH.png": (192, 48),
}
SIZES.update({"Tile%d.png" % k: (256, 256) for k in range(1, 6)})
SIZES.update({"Ptcl-%s01.png" % c: (16, 16) for c in ("green", "red", "yellow")})
SPARKS = ["Particle-%s%02d.png" % (c, f) for c in ("green", "red", "yellow")
          for f in range(1, 5)]
ADDITIVE = SPARKS + ["Particle-Shot.png", "Particle-lila01.png"]
PNG_SIG = b"\x89PNG\r\n\x1a\n"


def gfx(name):
    return os.path.join(ASSETS, "GFX", name)


def pixels(name):
    return np.asarray(Image.open(gfx(name)).convert("RGBA")).astype(int)


def png_colour_type(path):
    with open(path, "rb") as f:
        head = f.read(33)
    if head[:8] != PNG_SIG or head[12:16] != b"IHDR":
        return None
    return head[25]


class Pictures(unittest.TestCase):
    def test_every_file_exists_with_exact_name(self):
        present = set(os.listdir(os.path.join(ASSETS, "GFX")))
        for name in list(SIZES) + SPARKS:
            self.assertIn(name, present, "missing (names are case-sensitive)")

    def test_valid_png_with_alpha_and_size(self):
        for name in list(SIZES) + SPARKS:
            with self.subTest(name=name):
                self.assertEqual(png_colour_type(gfx(name)), 6, "not an RGBA PNG")
                with Image.open(gfx(name)) as im:
                    im.verify()  # checks chunk CRCs and structure
                with Image.open(gfx(name)) as im:
                    im.load()
                    if name in SIZES:
                        self.assertEqual(im.size, SIZES[name])
                    else:
                        w, h = im.size
                        self.assertTrue(8 <= w <= 16 and 8 <= h <= 16, im.size)

    def test_no_opaque_pure_black(self):
        # The engine turns opaque (0,0,0) transparent: it would punch holes.
        for name in list(SIZES) + SPARKS:
            with self.subTest(name=name):
                p = pixels(name)
                black = (p[..., 3] == 255) & (p[..., :3].max(axis=-1) == 0)
                self.assertEqual(int(black.sum()), 0)

    def test_sprites_show_something(self):
        for name in [n for n in list(SIZES) + SPARKS if not n.startswith("Tile")]:
            with self.subTest(name=name):
                p = pixels(name)
                visible = p[..., 3] > 32
                self.assertGreater(int(visible.sum()), 4)
                self.assertGreater(int(p[..., :3][visible].max()), 120, "too dark to see")

    def test_enemy_frames_each_drawn(self):
        p = pixels("Enemy.png")
        for k in range(6):
            frame = p[:, 16 * k:16 * k + 16]
            self.assertGreater(int((frame[..., 3] > 128).sum()), 20, "frame %d" % k)

    def test_wall_probe_fully_opaque(self):
        self.assertTrue((pixels("EnemyQgreen.png")[..., 3] == 255).all())

    def test_additive_sprites_fade_out_at_their_border(self):
        for name in ADDITIVE:
            with self.subTest(name=name):
                a = pixels(name)[..., 3]
                rim = np.concatenate([a[0], a[-1], a[:, 0], a[:, -1]])
                self.assertEqual(int(rim.max()), 0)
                self.assertGreater(int(a.max()), 200, "no bright core")

    def test_ship_and_cursor_point_right(self):
        # More weight ahead of the centre column than behind it is not enough
        # for a delta wing, so look at the tip: the rightmost solid pixel
        # must lie on the middle rows.
        for name in ("Ship01.png", "Cursor.png"):
            a = pixels(name)[..., 3]
            cols = np.nonzero((a > 128).any(axis=0))[0]
            tip_rows = np.nonzero(a[:, cols[-1]] > 128)[0]
            self.assertGreaterEqual(cols[-1], 26, name)
            self.assertTrue(set(tip_rows) <= set(range(13, 19)), (name, tip_rows))

    def test_font_cells(self):
        p = pixels("Font1.png")
        for i in range(64):
            cell = p[(i // 8) * 32:(i // 8) * 32 + 32, (i % 8) * 32:(i % 8) * 32 + 32]
            solid = int((cell[..., 3] > 128).sum())
            with self.subTest(code=32 + i):
                if i == 0 or i >= 58:  # space, and the unused cells after "Y"
                    self.assertEqual(int(cell[..., 3].max()), 0)
                else:
                    self.assertGreater(solid, 8)
                    bright = (cell[..., 3] > 200) & (cell[..., :3].min(axis=-1) > 160)
                    self.assertGreater(int(bright.sum()), 4, "glyph not bright")
                    # at 50 % each glyph must keep clear of its neighbours
                    self.assertEqual(int(cell[..., 3][:, [0, 31]].max()), 0)

    def test_tiles_seamless_dark_and_distinct(self):
        seen = []
        for k in range(1, 6):
            with self.subTest(tile=k):
                p = pixels("Tile%d.png" % k)
                self.assertTrue((p[..., 3] == 255).all(), "tiles are opaque")
                c = p[..., :3].astype(float)
                for axis in (0, 1):
                    step, bend = wrap_profile(np.moveaxis(c, axis, 0))
                    # Across the wrap-around the picture may neither jump nor
                    # kink more than it does between its own lines.
                    self.assertLessEqual(step[-1], 1.1 * np.percentile(step[:-1], 99) + 0.5,
                                         "step at the seam, axis %d" % axis)
                    self.assertLessEqual(bend[-2:].max(),
                                         1.2 * np.percentile(bend[:-2], 99) + 0.5,
                                         "kink at the seam, axis %d" % axis)
                luma = c @ np.array([0.2126, 0.7152, 0.0722])
                self.assertLess(luma.mean(), 40, "too bright for a background")
                self.assertLess(np.percentile(luma, 99), 90)
                for other in seen:
                    self.assertGreater(np.abs(other - c).mean(), 4, "tiles alike")
                seen.append(c)


def wrap_profile(c):
    """Mean step and second difference between successive lines of c (lines
    along axis 0), wrapping around; the last entries straddle the seam."""
    nxt = np.roll(c, -1, axis=0)
    step = np.abs(nxt - c).mean(axis=(1, 2))  # step[i]: line i to i+1
    bend = np.abs(np.roll(c, -2, axis=0) - 2 * nxt + c).mean(axis=(1, 2))
    # bend[i] is centred on line i+1: entries n-2 and n-1 touch the seam
    return step, bend


def ogg_id_header(path):
    """Channels and rate from the Vorbis identification header."""
    with open(path, "rb") as f:
        page = f.read(4096)
    if page[:4] != b"OggS":
        return None
    nseg = page[26]
    body = page[27 + nseg:]
    if body[:7] != b"\x01vorbis":
        return None
    version, channels, rate = struct.unpack("<IBI", body[7:16])
    return version, channels, rate


class Music(unittest.TestCase):
    path = os.path.join(ASSETS, "Sound", "New2.OGG")

    @classmethod
    def setUpClass(cls):
        if not shutil.which("oggdec"):
            raise unittest.SkipTest("oggdec (vorbis-tools) not installed")
        raw = subprocess.run(["oggdec", "-Q", "-R", "-o", "-", cls.path], check=True,
                             capture_output=True).stdout
        cls.pcm = np.frombuffer(raw, dtype="<i2").reshape(-1, 2).T / 32768.0

    def test_format(self):
        self.assertEqual(ogg_id_header(self.path), (0, 2, 44100))

    def test_length_one_to_two_minutes(self):
        seconds = self.pcm.shape[1] / 44100
        self.assertTrue(60 <= seconds <= 120, seconds)

    def test_peak_and_loudness(self):
        self.assertLessEqual(loudness.peak_dbfs(self.pcm), -1.0)
        self.assertAlmostEqual(loudness.integrated(self.pcm, 44100), -14.0, delta=1.0)

    def test_loop_seam_has_no_click(self):
        # Across the seam the wave must bend no more sharply than it does
        # anywhere near it (second difference), and the level carries on.
        x = self.pcm
        half = 22050
        around = np.concatenate([x[:, -half:], x[:, :half]], axis=1)
        bend = np.abs(np.diff(around, n=2, axis=1))
        at_seam = bend[:, half - 2:half].max(axis=1)
        typical = np.percentile(bend, 99.5, axis=1)
        self.assertTrue((at_seam <= typical * 1.2 + 1e-4).all(), (at_seam, typical))
        tail = np.sqrt(np.mean(x[:, -4410:] ** 2))
        head = np.sqrt(np.mean(x[:, :4410] ** 2))
        self.assertGreater(min(tail, head) / max(tail, head), 0.2, "level drops at the seam")

    def test_loudness_meter_calibration(self):
        # 997 Hz at full scale in both channels reads 0 LUFS, in one -3.01.
        t = np.arange(441000) / 44100.0
        s = np.sin(2 * math.pi * 997 * t)
        self.assertAlmostEqual(loudness.integrated(np.stack([s, s]), 44100), 0.0, delta=0.05)
        self.assertAlmostEqual(loudness.integrated(np.stack([s, 0 * s]), 44100), -3.01,
                               delta=0.05)
        self.assertAlmostEqual(loudness.integrated(np.stack([s, s]) * 0.1, 44100), -20.0,
                               delta=0.05)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
