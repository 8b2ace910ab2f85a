# End-to-end checks of a game program on a virtual X display of its own,
# driven by real X input (xdotool): the first frame, the cursor following the
# mouse inside the field, firing, the screenshot file and its pixels, held
# Escape, the music level through SDL's disk audio driver, and missing
# pictures or music.
# Usage: game_e2e.py <scenario> <program> <assets folder>
# Scenarios: play, fire, audio, no-gfx, no-music.
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image

SCREEN = "1024x768x24"
FIELD = (211, 83, 811, 683)  # the white play-field outline, both ends drawn
# Volume 30 of 100 plays at -10.46 dB: 20 · log10(30 / 100) rounded as the
# volume table does it.
MUSIC_GAIN = 10 ** (-1046 / 2000)
MUSIC_TOLERANCE_DB = 0.25
ESCAPE_LIMIT_S = 1.0


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("ok:", what, flush=True)


class Display:
    """An Xvfb server on the first free display number (-displayfd)."""

    def __init__(self, extensions=("+extension", "GLX")):
        read_end, write_end = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, *extensions,
             "+render", "-noreset", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise Failure("Xvfb did not start")
        self.name = ":" + number

    def stop(self):
        self.server.terminate()
        try:
            self.server.wait(10)
        except subprocess.TimeoutExpired:
            self.server.kill()


class XInput:
    """xdotool input to the window of self.process on the display in self.env."""

    def xdotool(self, *args, timeout=60):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True,
                              timeout=timeout).stdout

    def wait_for_window(self):
        out = self.xdotool("search", "--sync", "--onlyvisible", "--pid", str(self.process.pid),
                           timeout=120)
        check(out.strip() != "", "the program opens its window")
        self.window = out.split()[0]
        self.xdotool("windowfocus", "--sync", self.window)


class Game(XInput):
    """One run of the program in a scratch folder, with xdotool input."""

    def __init__(self, program, folder, display, audio="dummy", audio_file=None, env=None):
        self.folder = folder
        self.env = dict(os.environ, DISPLAY=display.name, SDL_AUDIODRIVER=audio, **(env or {}))
        if audio_file:
            self.env["SDL_DISKAUDIOFILE"] = audio_file
        self.log = open(os.path.join(folder, "program.log"), "w")
        self.process = subprocess.Popen([program], cwd=folder, env=self.env, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        self.window = None

    def alive(self):
        return self.process.poll() is None

    def key_down(self, key):
        self.xdotool("keydown", key)

    def key_up(self, key):
        self.xdotool("keyup", key)

    def press(self, key, seconds=0.6):
        # Held long enough for a loop that reads the keys once a pass.
        self.key_down(key)
        time.sleep(seconds)
        self.key_up(key)
        time.sleep(0.3)

    def move(self, dx, dy, steps=20):
        # One xdotool run for all steps: the game runs (and can be rammed)
        # while the mouse moves, so this should not take long.
        chain = []
        for _ in range(steps):
            chain += ["mousemove_relative", "--", str(dx // steps), str(dy // steps),
                      "sleep", "0.03"]
        self.xdotool(*chain)

    def screenshot(self, keys=("p", "s")):
        """The last frame before a pause, as _screenshot_once. A game left to
        run may be rammed just then, and that frame is the white ram flash
        over everything: the game is resumed and the shot taken again."""
        for _ in range(3):
            px = self._screenshot_once(keys)
            if "p" not in keys or is_white(px).mean() < 0.9:
                return px
            print("note: the screenshot caught the ram flash; taking another", flush=True)
            self.press("p")
        return px

    def _screenshot_once(self, keys):
        """Holds the keys until the game has written Gamebild.png. With P and
        S held while running, the pass that pauses sees S in the next paused
        pass, so the file shows the last frame before the pause."""
        path = os.path.join(self.folder, "Gamebild.png")
        if os.path.exists(path):
            os.remove(path)
        for key in keys:
            self.key_down(key)
        deadline = time.monotonic() + 60
        while not os.path.exists(path) and time.monotonic() < deadline and self.alive():
            time.sleep(0.1)
        time.sleep(0.5)  # let the writer finish
        for key in keys:
            self.key_up(key)
        time.sleep(0.3)
        if not os.path.exists(path) and not self.alive():
            raise Failure("the game ended before the screenshot (code %s): rammed?" %
                          self.process.returncode)
        check(os.path.exists(path), "P then S writes Gamebild.png")
        with open(path, "rb") as f:
            check(f.read(2) == b"BM", "Gamebild.png holds BMP data")
        image = Image.open(path)
        image.load()
        keep = os.environ.get("GAME_E2E_KEEP")  # a folder for the pictures, when debugging
        if keep:
            self.shots_kept = getattr(self, "shots_kept", 0) + 1
            image.save(os.path.join(keep, "shot%d.png" % self.shots_kept))
        check(image.size == (1024, 768), "the screenshot is 1024 x 768")
        return np.asarray(image.convert("RGB")).astype(int)

    def capture_screen(self):
        out = subprocess.run(["import-im6.q16", "-silent", "-window", "root", "bmp:-"],
                             env=self.env, capture_output=True, timeout=120).stdout
        if not out:
            return None
        from io import BytesIO
        return np.asarray(Image.open(BytesIO(out)).convert("RGB")).astype(int)

    def hold_escape(self):
        """Holds Escape until the program ends; returns the seconds it took."""
        start = time.monotonic()
        self.key_down("Escape")
        try:
            rc = self.process.wait(60)
        except subprocess.TimeoutExpired:
            rc = None
        took = time.monotonic() - start
        self.key_up("Escape")
        check(rc is not None, "held Escape ends the program")
        check(rc == 0, "the program exits with code 0 (got %s)" % rc)
        return took

    def stop(self):
        if self.alive():
            self.process.kill()
            self.process.wait()
        self.log.close()


class Session:
    """Display, scratch folder and program, torn down whatever happens."""

    def __init__(self, program, assets, gfx=True, sound=True, audio="dummy"):
        self.display = Display()
        self.folder = scratch_folder(assets, gfx, sound)
        if not (gfx and sound):
            # A copy of the program away from any assets: a built program
            # also looks next to itself and in the source tree's assets.
            bin_dir = os.path.join(self.folder, "no", "assets", "bin")
            os.makedirs(bin_dir)
            program = shutil.copy(program, bin_dir)
        self.capture = os.path.join(self.folder, "audio.raw") if audio == "disk" else None
        try:
            self.game = Game(program, self.folder, self.display, audio, self.capture)
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self.game

    def __exit__(self, *exc):
        self.game.stop()
        self.close()

    def close(self):
        self.display.stop()


def scratch_folder(assets, gfx=True, sound=True):
    folder = tempfile.mkdtemp(prefix="game_e2e_")
    if gfx:
        os.symlink(os.path.join(assets, "GFX"), os.path.join(folder, "GFX"))
    if sound:
        os.symlink(os.path.join(assets, "Sound"), os.path.join(folder, "Sound"))
    return folder


# --- reading the picture -------------------------------------------------

WHITE = np.array([255, 255, 255])


def is_white(pixels):
    return (pixels == WHITE).all(axis=-1)


def check_outline(px):
    left, top, right, bottom = FIELD
    check(is_white(px[top, left:right + 1]).all() and is_white(px[bottom, left:right + 1]).all()
          and is_white(px[top:bottom + 1, left]).all()
          and is_white(px[top:bottom + 1, right]).all(),
          "white play-field outline at (211, 83)-(811, 683)")
    check(not is_white(px[top - 1, left + 1:right]).all()
          and not is_white(px[top + 1, left + 1:right]).all(),
          "the outline is one pixel wide")


def check_energy_frame(px):
    check(is_white(px[662, 411:612]).all() and is_white(px[682, 411:612]).all()
          and is_white(px[662:683, 411]).all() and is_white(px[662:683, 611]).all(),
          "white energy frame at (411, 662)-(611, 682)")


def bar_expected(panel, alt):
    """The pixel colours the bar gives over the panel, row by row."""
    green = np.array([0, 255, 0], float)
    if alt:  # additive at opacity 35
        return np.minimum(panel + green * 35 / 255, 255)
    return panel * (1 - 100 / 255) + green * 100 / 255


def check_bar(px, assets, alt, segments=201):
    panel_image = Image.open(os.path.join(assets, "GFX", "PowerImage.png")).convert("RGBA")
    panel = np.asarray(panel_image).astype(float)
    # Inside the frame: the panel (200 × 20 at (412, 663)) under the bar.
    rows = slice(663, 682)  # row 682 is the frame's bottom line
    opaque = panel[0:19, 0:199, 3] == 255
    expected = bar_expected(panel[0:19, 0:199, :3], alt)
    got = px[rows, 412:611]
    err = np.abs(got - expected).max(axis=-1)[opaque]
    # Particles or enemies may fly over a few bar pixels at the moment of the shot.
    share = (err <= 4).mean() if opaque.any() else 0.0
    check(share >= 0.97,
          "bar segments 412 ... 610 show green over the panel (%.4f of pixels)" % share)
    # Beyond the frame's right side: the last segment at 412 + 200 = 612, over
    # the background. Its tiles step by up to 70 levels of green between
    # neighbouring pixels, so a line of theirs may cross some of the rows:
    # the median row tells.
    lift = px[rows, 612, 1] - px[rows, 613, 1]
    check(np.median(lift) >= (25 if alt else 60),
          "a green segment at x = 612 (green lift over x = 613 by row: %s)" % lift.tolist())
    next_lift = px[rows, 613, 1] - px[rows, 614, 1]
    check(np.median(np.abs(next_lift)) < 25,
          "nothing at x = 613: the bar is %d pixels long (lift by row: %s)" %
          (segments, next_lift.tolist()))


def check_score_zero(px):
    band = px[100:117]
    # The glyph is white; a spawn marker's ring that lands beside it is
    # bright too, but lavender.
    lit = (band.min(axis=-1) > 180) & (band.max(axis=-1) - band.min(axis=-1) <= 12)
    cols = np.where(lit.any(axis=0))[0]
    cols = cols[(cols > 470) & (cols < 560)]
    inside = cols[(cols >= 512) & (cols < 528)]
    outside = cols[((cols >= 470) & (cols < 512)) | ((cols >= 528) & (cols < 560))]
    check(len(inside) > 0 and len(outside) == 0,
          "the score '0' in the cell from x = 512 (lit columns %s)" %
          (f"{cols.min()}-{cols.max()}" if len(cols) else "none"))


def cursor_pixels(px):
    """The cursor image's pale cyan, (242, 255, 255) where it is opaque,
    around the field.
    The image is centred on the aim point, so it may reach 16 pixels past
    the walls; the logo above and the score stay out of the search."""
    left, top, right, bottom = FIELD
    region = px[79:bottom + 17, left - 16:right + 17]
    r, g, b = region[..., 0], region[..., 1], region[..., 2]
    # Cyan-tinted (green above red), unlike the additive lilac exhaust.
    mask = (r >= 150) & (g >= 200) & (b >= 200) & (g - r >= 5)
    mask[98 - 79:118 - 79, 496 - (left - 16):544 - (left - 16)] = False
    ys, xs = np.nonzero(mask)
    return xs + left - 16, ys + 79


def shot_pixels(px):
    """Additive cyan of the shots inside the field."""
    left, top, right, bottom = FIELD
    field = px[top + 1:bottom, left + 1:right]
    mask = (field[..., 0] < 170) & (field[..., 1] > 200) & (field[..., 2] > 200)
    ys, xs = np.nonzero(mask)
    return xs + left + 1, ys + top + 1


def clusters(xs, ys, reach=4):
    """Groups of pixels, each pixel within `reach` of another of its group:
    (pixel count, mean x, mean y) for each."""
    left = set(zip(xs.tolist(), ys.tolist()))
    groups = []
    while left:
        todo = [left.pop()]
        members = []
        while todo:
            x, y = todo.pop()
            members.append((x, y))
            near = [(u, v) for (u, v) in left if abs(u - x) <= reach and abs(v - y) <= reach]
            for q in near:
                left.discard(q)
            todo.extend(near)
        m = np.array(members)
        groups.append((len(members), m[:, 0].mean(), m[:, 1].mean()))
    return groups


def cursor_near(px, what, x, y, tolerance=20):
    """The cursor's bright front arcs (about 11 pixels from the aim point in
    the facing direction; the rest of the ring is fainter) near (x, y).
    Explosions can show the same pale cyan elsewhere, so the group nearest
    to the expected place is taken."""
    xs, ys = cursor_pixels(px)
    groups = [g for g in clusters(xs, ys) if g[0] >= 8]
    check(groups, "the cursor is visible %s" % what)
    n, cx, cy = min(groups, key=lambda g: math.hypot(g[1] - x, g[2] - y))
    check(math.hypot(cx - x, cy - y) <= tolerance,
          "the cursor is %s: (%.0f, %.0f), expected near (%d, %d)" % (what, cx, cy, x, y))
    return cx, cy


# --- scenarios -------------------------------------------------------------


def first_frame(game):
    """Starts the game with P held from before its first frame, so that it
    pauses right after it; returns the screen and the saved screenshot."""
    game.wait_for_window()
    game.key_down("p")
    screen = None
    for _ in range(120):
        screen = game.capture_screen()
        if screen is not None and is_white(screen[83, 211:812]).all():
            break
        time.sleep(0.5)
    game.key_up("p")
    time.sleep(0.3)
    check(screen is not None and screen.mean() > 1, "the game shows a picture")
    # The frame the game paused on may still have been on its way to the
    # screen when the picture above was taken: the screen as it is now.
    screen = game.capture_screen()
    return screen, game.screenshot(keys=("s",))


def scenario_play(session, assets, alt):
    game = session.game
    screen, first = first_frame(game)
    same = (np.abs(first - screen).max(axis=-1) <= 2).mean()
    check(same > 0.999, "the screen shows the first frame (%.4f of pixels equal)" % same)
    check_outline(first)
    check_energy_frame(first)
    check_bar(first, assets, alt)
    check_score_zero(first)
    # The pointer starts at (528, 384) and the aim point 16 pixels left of it.
    cursor_near(first, "at the start", 522, 384)

    # Mouse motion far to the right, down and left: the pointer stops at the
    # walls (811, then 683, then 211) and the aim point trails it by 16.
    game.press("p")
    game.move(900, 0)
    right = game.screenshot()
    cursor_near(right, "at the right wall after moving right", 806, 384)
    game.press("p")
    game.move(0, 900)
    down = game.screenshot()
    cursor_near(down, "at the bottom wall after moving down", 811, 678)
    game.press("p")
    game.move(-1200, 0)
    left = game.screenshot()
    cursor_near(left, "at the left wall after moving left", 216, 683)

    game.press("p")
    time.sleep(0.5)
    took = game.hold_escape()
    check(took <= ESCAPE_LIMIT_S,
          "held Escape ends a running game within a second (%.2f s)" % took)


def scenario_fire(session, assets, alt):
    """From the start the ship faces right: nothing ahead of it in the first
    frame, fans of shots once the left button is held."""
    game = session.game
    _, first = first_frame(game)

    def shots_ahead(px, what, tolerance=20):
        cx, cy = cursor_near(px, what, 522, 384, tolerance)
        sx, sy = shot_pixels(px)
        return np.count_nonzero((sx > cx + 30) & (np.abs(sy - cy) < 60))

    check(shots_ahead(first, "at the start") == 0, "no shots in the first frame")
    game.xdotool("mousedown", "1")
    game.press("p")
    time.sleep(1.0)
    # Once the ship has closed in on the pointer, the aim point steps 16
    # pixels along the facing and back, so the cursor may have moved a bit.
    fired = shots_ahead(game.screenshot(), "near where it started, while firing", 48)
    game.xdotool("mouseup", "1")
    check(fired >= 20, "holding the left button fires: %d shot pixels ahead of the ship" % fired)
    game.press("p")
    game.hold_escape()


def read_s16(path):
    if not path or not os.path.exists(path):
        return np.zeros((0, 2))
    data = np.fromfile(path, dtype="<i2").astype(float)
    return data[:len(data) // 2 * 2].reshape(-1, 2)


def scenario_audio(session, assets, alt):
    game = session.game
    game.wait_for_window()
    game.key_down("p")  # paused at once: the music plays on, nothing rams the ship
    time.sleep(1.0)
    game.key_up("p")
    seconds = 6.0
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline and game.alive():
        got = read_s16(session.capture)
        loud = np.flatnonzero(np.abs(got).max(axis=1) > 0) if len(got) else []
        if len(loud) and len(got) - loud[0] > (seconds + 1) * 44100:
            break
        time.sleep(0.5)
    game.hold_escape()

    got = read_s16(session.capture)
    loud = np.flatnonzero(np.abs(got).max(axis=1) > 0)
    check(len(loud) > 0, "the captured output is not silent")
    reference_raw = os.path.join(session.folder, "music.raw")
    subprocess.run(["oggdec", "-Q", "-R", "-e", "0", "-b", "16", "-s", "1", "-o", reference_raw,
                    os.path.join(assets, "Sound", "New2.OGG")], check=True)
    reference = read_s16(reference_raw)
    # Line the capture up with the decoded music by cross-correlating the
    # first second after the output starts.
    n = int(seconds * 44100)
    heard = got[loud[0]:]
    check(len(heard) >= n, "%.0f s of music captured" % seconds)
    window = 44100
    a = heard[:window, 0] + heard[:window, 1]
    b = reference[:2 * window, 0] + reference[:2 * window, 1]
    size = 1 << int(math.ceil(math.log2(len(a) + len(b))))
    corr = np.fft.irfft(np.fft.rfft(b, size) * np.conj(np.fft.rfft(a, size)), size)
    lag = int(np.argmax(corr[:window]))
    part = reference[lag:lag + n]
    rms_heard = math.sqrt(np.mean(heard[:n] ** 2))
    rms_expected = math.sqrt(np.mean(part ** 2)) * MUSIC_GAIN
    db = 20 * math.log10(rms_heard / rms_expected)
    print("captured RMS %.1f; decoded music RMS x 10^(-1046/2000) = %.1f; %+.3f dB (lag %d)" %
          (rms_heard, rms_expected, db, lag))
    check(abs(db) <= MUSIC_TOLERANCE_DB,
          "the music plays at volume 30 (within %.2f dB)" % MUSIC_TOLERANCE_DB)


def scenario_missing(session, assets, alt, gfx, sound):
    game = session.game
    game.wait_for_window()
    time.sleep(4.0)  # running frames, mouse and button included
    game.move(200, 100, steps=10)
    game.xdotool("mousedown", "1")
    time.sleep(1.0)
    game.xdotool("mouseup", "1")
    check(game.alive(), "the game runs")
    shot = game.screenshot()
    check_outline(shot)
    check_energy_frame(shot)
    if not gfx:
        check(shot[100:117, 470:560].max() < 60, "no score without the font")
        check(shot[30:78, 416:608].max() < 60, "no logo without its picture")
        xs, _ = cursor_pixels(shot)
        check(len(xs) == 0, "no cursor without its picture")
        green = shot[664:681, 420:600]
        lift = 25 if alt else 80  # opacity 35 additive, or 100 over black
        check((green[..., 1] >= green[..., 0] + lift).mean() > 0.9,
              "the drawn energy bar still shows")
    game.press("p")
    time.sleep(1.0)
    # An unattended game may end by a fatal ram, which is a normal end.
    check(game.alive() or game.process.returncode == 0, "the game runs on")
    game.hold_escape()
    if not sound:
        got = read_s16(session.capture)
        check(len(got) > 44100 and np.abs(got).max() == 0,
              "the output is silent without the music (%d frames)" % len(got))


def main():
    if len(sys.argv) != 4:
        print("usage: game_e2e.py <play|fire|audio|no-gfx|no-music> <program> <assets folder>")
        return 2
    scenario = sys.argv[1]
    program, assets = (os.path.abspath(p) for p in sys.argv[2:])
    alt = os.path.basename(program).endswith("-alt")
    scenarios = {
        "play": (dict(), scenario_play),
        "fire": (dict(), scenario_fire),
        "audio": (dict(audio="disk"), scenario_audio),
        "no-gfx": (dict(gfx=False, audio="disk"),
                   lambda s, a, v: scenario_missing(s, a, v, gfx=False, sound=True)),
        "no-music": (dict(sound=False, audio="disk"),
                     lambda s, a, v: scenario_missing(s, a, v, gfx=True, sound=False)),
    }
    if scenario not in scenarios:
        print("unknown scenario", scenario)
        return 2
    options, run = scenarios[scenario]
    session = Session(program, assets, **options)
    try:
        with session:
            run(session, assets, alt)
    except Failure as e:
        print("FAIL:", e, flush=True)
        with open(os.path.join(session.folder, "program.log")) as log:
            print(log.read())
        return 1
    finally:
        shutil.rmtree(session.folder, ignore_errors=True)
    print("PASS:", scenario, os.path.basename(program))
    return 0


if __name__ == "__main__":
    sys.exit(main())
