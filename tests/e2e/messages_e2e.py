# End-to-end checks of what a program says under bad conditions: missing,
# random or cut pictures and music, no audio device, no display, no OpenGL,
# a screenshot that cannot be written, the end by a ram or by Escape, and a
# paused game that must not keep a core busy. Each run is a copy of the
# program in a scratch folder of its own, away from the build tree's assets,
# on a virtual X display of its own.
# Usage: messages_e2e.py <scenario> <program> <assets folder>
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from game_e2e import Display, Failure, XInput, check

ESCAPE_WAIT_S = 30
RAM_WAIT_S = 150
NO_DISPLAY_LIMIT_S = 3.0  # the program ends at once; the margin is for a loaded machine
PAUSED_CPU_LIMIT = 30.0  # % of a core: a loop polling without pause takes about 100


class Run(XInput):
    """The program copied into folder/bin, started in folder."""

    def __init__(self, program, folder, display=None, **env):
        bin_dir = os.path.join(folder, "bin")
        os.makedirs(bin_dir, exist_ok=True)
        self.program = shutil.copy(program, bin_dir)
        self.env = dict(os.environ, SDL_AUDIODRIVER="dummy", SHOOTER_DATA=folder)
        for name in ("SHOOTER_LOG", "SDL_VIDEODRIVER", "SHOOTER_VIDEO"):
            self.env.pop(name, None)
        self.env.pop("DISPLAY", None)
        if display:
            self.env["DISPLAY"] = display.name
        for name, value in env.items():
            if value is None:
                self.env.pop(name, None)
            else:
                self.env[name] = value
        self.out_path = os.path.join(folder, "stdout.txt")
        self.err_path = os.path.join(folder, "stderr.txt")
        self.started = time.monotonic()
        with open(self.out_path, "w") as out, open(self.err_path, "w") as err:
            self.process = subprocess.Popen([self.program], cwd=folder, env=self.env, stdout=out,
                                            stderr=err)

    def wait_for_window(self):
        super().wait_for_window()
        time.sleep(1.0)  # start-up done, a few frames run

    def press(self, key, seconds=0.5):
        self.xdotool("keydown", key)
        time.sleep(seconds)
        self.xdotool("keyup", key)
        time.sleep(0.3)

    def wait(self, seconds):
        try:
            return self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            return None

    def escape(self):
        self.xdotool("keydown", "Escape")
        rc = self.wait(ESCAPE_WAIT_S)
        self.xdotool("keyup", "Escape")
        check(rc is not None, "Escape ends the program")
        check(rc == 0, "exit code 0 (got %s)" % rc)

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def stdout(self):
        with open(self.out_path) as f:
            return f.read()

    def stderr(self):
        with open(self.err_path) as f:
            return f.read()


def check_lines(run, expected, program):
    """Standard error holds only the channel's lines, none twice, and the
    expected key words each on exactly one line."""
    err = run.stderr()
    print("standard error:\n" + err, end="", flush=True)
    lines = err.splitlines()
    name = os.path.basename(program)
    check(all(line.startswith(name + ": ") for line in lines),
          "every line comes through the channel ('%s: ...')" % name)
    check(len(set(lines)) == len(lines), "no line is written twice")
    for words in expected:
        hits = [line for line in lines if all(w in line for w in words)]
        check(len(hits) == 1, "one line says %s" % " + ".join(repr(w) for w in words))


FOLDERS = []


def setup_folder(assets, gfx="link", sound="link"):
    folder = tempfile.mkdtemp(prefix="messages_e2e_")
    FOLDERS.append(folder)
    for name, how in (("GFX", gfx), ("Sound", sound)):
        if how == "link":
            os.symlink(os.path.join(assets, name), os.path.join(folder, name))
        elif how == "copy":
            shutil.copytree(os.path.join(assets, name), os.path.join(folder, name))
    return folder


def cut_half(path):
    with open(path, "rb") as f:
        data = f.read()
    with open(path, "wb") as f:
        f.write(data[:len(data) // 2])


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


# --- scenarios: each gets a scratch folder and a display ------------------


def run_and_escape(program, folder, display, expected, **env):
    run = Run(program, folder, display, **env)
    try:
        run.wait_for_window()
        check(run.process.poll() is None, "the game runs on")
        run.escape()
        check(re.fullmatch(r"score \d+\n", run.stdout()) is not None,
              "standard output says 'score N' (got %r)" % run.stdout())
        check_lines(run, expected, program)
        if not expected:
            check(run.stderr() == "", "a clean start prints nothing on standard error")
    finally:
        run.stop()


def scenario_clean(program, assets, display):
    run_and_escape(program, setup_folder(assets), display, [])


def scenario_ram(program, assets, display):
    run = Run(program, setup_folder(assets), display)
    try:
        run.wait_for_window()
        # Left alone, the ship is rammed to death; keypad + adds enemies.
        deadline = time.monotonic() + RAM_WAIT_S
        rc = None
        while rc is None and time.monotonic() < deadline:
            run.xdotool("keydown", "KP_Add", "sleep", "0.2", "keyup", "KP_Add")
            rc = run.wait(0.3)
        check(rc == 0, "a fatal ram ends the program with code 0 (got %s)" % rc)
        check(re.fullmatch(r"game over: score \d+\n", run.stdout()) is not None,
              "standard output says 'game over: score N' (got %r)" % run.stdout())
        check_lines(run, [], program)
    finally:
        run.stop()


def scenario_no_gfx(program, assets, display):
    run_and_escape(program, setup_folder(assets, gfx=None), display,
                   [("GFX\\Tile1.png", "not found (looked in"), ("GFX\\Ship01.png", "not found"),
                    ("GFX\\Font1.png", "not found")])


def scenario_random_picture(program, assets, display):
    folder = setup_folder(assets, gfx="copy")
    with open(os.path.join(folder, "GFX", "Ship01.png"), "wb") as f:
        f.write(random.Random(14).randbytes(4096))
    run_and_escape(program, folder, display, [("GFX\\Ship01.png", "not a picture")])


def scenario_cut_picture(program, assets, display):
    folder = setup_folder(assets, gfx="copy")
    cut_half(os.path.join(folder, "GFX", "Tile1.png"))
    run_and_escape(program, folder, display,
                   [("GFX\\Tile1.png", "truncated at byte", "libpng")])


def scenario_no_music(program, assets, display):
    run_and_escape(program, setup_folder(assets, sound=None), display,
                   [("Sound\\New2.OGG", "not found (looked in")])


def scenario_empty_music(program, assets, display):
    folder = setup_folder(assets, sound="copy")
    open(os.path.join(folder, "Sound", "New2.OGG"), "wb").close()
    run_and_escape(program, folder, display, [("Sound\\New2.OGG", "empty file")])


def scenario_cut_music(program, assets, display):
    folder = setup_folder(assets, sound="copy")
    cut_half(os.path.join(folder, "Sound", "New2.OGG"))
    run_and_escape(program, folder, display, [("Sound\\New2.OGG", "truncated")])


def scenario_no_audio(program, assets, display):
    # ALSA with a device that does not exist: the driver's own complaints
    # would fill the terminal.
    run_and_escape(program, setup_folder(assets), display,
                   [("no audio device: playing silently",)], SDL_AUDIODRIVER="alsa",
                   AUDIODEV="shooter-no-such-device")


def free_display_number():
    for n in range(4000, 4100):
        if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists("/tmp/.X%d-lock" %
                                                                                  n):
            return ":%d" % n
    raise Failure("no free display number")


def scenario_no_display(program, assets, display):
    cases = [("DISPLAY unset", dict(DISPLAY=None), ("DISPLAY is not set",)),
             ("DISPLAY wrong", dict(DISPLAY=free_display_number()), ("DISPLAY=",)),
             ("x11 asked for", dict(DISPLAY=None, SDL_VIDEODRIVER="x11"),
              ("video driver 'x11' failed",))]
    for what, env, words in cases:
        run = Run(program, setup_folder(assets), None, **env)
        try:
            rc = run.wait(30)
            took = time.monotonic() - run.started
            check(rc == 1, "%s: exit code 1 (got %s)" % (what, rc))
            check(took <= NO_DISPLAY_LIMIT_S, "%s: ends at once (%.2f s)" % (what, took))
            check_lines(run, [("no display",) + words], program)
            check(len(run.stderr().splitlines()) == 1, "%s: one line only" % what)
        finally:
            run.stop()
    # Asked for by name, a driver that shows nothing still runs the game.
    run = Run(program, setup_folder(assets), None, DISPLAY=None, SDL_VIDEODRIVER="dummy")
    try:
        check(run.wait(3) is None, "SDL_VIDEODRIVER=dummy runs the game")
        run.process.send_signal(signal.SIGTERM)
        check(run.wait(30) == 0, "ended by a signal, exit code 0")
        check_lines(run, [], program)
    finally:
        run.stop()


def scenario_no_gl(program, assets, display):
    # A display without GLX: the soft device draws; it says so at level info only.
    display.stop()
    no_glx = Display(extensions=("-extension", "GLX"))
    try:
        run_and_escape(program, setup_folder(assets), no_glx, [])
        run_and_escape(program, setup_folder(assets), no_glx,
                       [("OpenGL unavailable (", "drawing on the CPU instead")], SHOOTER_LOG="info")
    finally:
        no_glx.stop()


def scenario_screenshot(program, assets, display):
    folder = setup_folder(assets)
    root = os.geteuid() == 0
    if root:
        # Root writes anywhere: a folder in the file's place cannot be replaced.
        os.makedirs(os.path.join(folder, "Gamebild.png", "keep"))
    run = Run(program, folder, display)
    try:
        if not root:
            os.chmod(folder, 0o555)
        run.wait_for_window()
        # P and S held: the pass that pauses sees S in the next paused pass.
        run.xdotool("keydown", "p", "keydown", "s")
        deadline = time.monotonic() + 30
        while "Gamebild.png" not in run.stderr() and time.monotonic() < deadline:
            time.sleep(0.2)
        run.xdotool("keyup", "s", "keyup", "p")
        time.sleep(0.5)
        check(run.process.poll() is None, "the game goes on")
        run.escape()
        check_lines(run, [("cannot write Gamebild.png: ",)], program)
    finally:
        os.chmod(folder, 0o755)
        run.stop()


def scenario_paused(program, assets, display):
    run = Run(program, setup_folder(assets), display)
    try:
        run.wait_for_window()
        run.press("p")
        time.sleep(1.0)
        hz = os.sysconf("SC_CLK_TCK")
        t0, w0 = cpu_ticks(run.process.pid), time.monotonic()
        time.sleep(3.0)
        share = 100.0 * (cpu_ticks(run.process.pid) - t0) / hz / (time.monotonic() - w0)
        print("paused: %.1f %% of a core" % share)
        check(share < PAUSED_CPU_LIMIT, "paused, the game does not keep a core busy")
        run.escape()
        check_lines(run, [], program)
    finally:
        run.stop()


SCENARIOS = {
    "clean": scenario_clean,
    "ram": scenario_ram,
    "no-gfx": scenario_no_gfx,
    "random-picture": scenario_random_picture,
    "cut-picture": scenario_cut_picture,
    "no-music": scenario_no_music,
    "empty-music": scenario_empty_music,
    "cut-music": scenario_cut_music,
    "no-audio": scenario_no_audio,
    "no-display": scenario_no_display,
    "no-gl": scenario_no_gl,
    "screenshot": scenario_screenshot,
    "paused": scenario_paused,
}


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in SCENARIOS:
        print("usage: messages_e2e.py <%s> <program> <assets folder>" % "|".join(SCENARIOS))
        return 2
    scenario = sys.argv[1]
    program, assets = (os.path.abspath(p) for p in sys.argv[2:])
    display = Display()
    try:
        SCENARIOS[scenario](program, assets, display)
    except Failure as e:
        print("FAIL:", e, flush=True)
        return 1
    finally:
        display.stop()
        for folder in FOLDERS:
            shutil.rmtree(folder, ignore_errors=True)
    print("PASS:", scenario, os.path.basename(program))
    return 0


if __name__ == "__main__":
    sys.exit(main())
