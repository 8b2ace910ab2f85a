# End-to-end checks of recorded games with the real programs: bad tapes,
# round trips across the two video devices, the three ways a recording ends,
# the shipped recorded game, and a playback under Weston's headless back end
# (Wayland).
# Usage: tape_e2e.py <scenario> <program> <demo-maker> <send_close> <source dir>
# Scenarios: bad, roundtrip, ends, demo-soft, demo-gl, wayland.
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

import numpy as np
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from game_e2e import (Display, Failure, bar_expected, check, check_energy_frame,  # noqa: E402
                      check_outline, scratch_folder)

BAD_TAPE_LIMIT_S = 10.0
RUN_LIMIT_S = 400
SUMMARY = re.compile(r"timedemo .*: (\d+) frames, ([\d.]+) s, ([\d.]+) fps, frame time median "
                     r"([\d.]+) ms, p99 ([\d.]+) ms, score (-?\d+), checkpoints (\d+) of (\d+), "
                     r"(\w+) device")


# --- the tape file, read and written as docs/tape.md describes it ---------

class Tape:
    def __init__(self, data):
        if data[:8] != b"SHTRTAPE":
            raise Failure("not a tape")
        self.version = struct.unpack_from("<H", data, 8)[0]
        p = 10
        n = data[p]
        self.program = data[p + 1:p + 1 + n].decode()
        p += 1 + n
        n = data[p]
        self.release = data[p + 1:p + 1 + n].decode()
        p += 1 + n
        (self.seed, self.frames, self.checks, raw, stored, self.crc) = struct.unpack_from(
            "<6I", data, p)
        p += 24
        self.stream = zlib.decompress(data[p:p + stored])
        check(len(self.stream) == raw and zlib.crc32(self.stream) == self.crc,
              "the tape's records unpack to their size and checksum")

    def build(self, stream=None, crc=None, program=None, version=None):
        stream = self.stream if stream is None else stream
        packed = zlib.compress(stream, 9)
        out = b"SHTRTAPE" + struct.pack("<H", self.version if version is None else version)
        for text in (self.program if program is None else program, self.release):
            out += bytes([len(text)]) + text.encode()
        out += struct.pack("<6I", self.seed, self.frames, self.checks, len(stream), len(packed),
                           zlib.crc32(stream) if crc is None else crc)
        return out + packed

    def first_check_offset(self):
        """Byte offset of the first checkpoint's value in the stream."""
        pos = 0
        while pos < len(self.stream):
            tag = self.stream[pos]
            channel, run = tag >> 5, tag & 31
            pos += 1
            if run == 0:
                pos = skip_varint(self.stream, pos)
            if channel == 7:
                return pos
            pos = skip_payload(self.stream, pos, channel)
        raise Failure("no checkpoint on the tape")


def skip_varint(data, pos):
    while data[pos] & 0x80:
        pos += 1
    return pos + 1


def read_varint(data, pos):
    value, shift = 0, 0
    while True:
        b = data[pos]
        value |= (b & 0x7F) << shift
        pos += 1
        shift += 7
        if not b & 0x80:
            return value, pos


def skip_payload(data, pos, channel):
    if channel in (0, 1):
        return skip_varint(data, pos)
    if channel == 2:
        n, pos = read_varint(data, pos)
        if n:
            pos = skip_varint(data, pos)
        return pos + n
    if channel == 3:
        for _ in range(3):
            pos = skip_varint(data, pos)
        return pos + 1
    if channel == 4:
        return skip_varint(data, skip_varint(data, pos))
    if channel in (5, 6):
        return pos + 1
    return pos + 4


# --- running the programs --------------------------------------------------

def headless_env(device="soft"):
    env = dict(os.environ, SDL_VIDEODRIVER="offscreen", SHOOTER_VIDEO=device,
               SDL_AUDIODRIVER="dummy")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    return env


def run(cmd, folder, env, timeout=RUN_LIMIT_S):
    start = time.monotonic()
    p = subprocess.run(cmd, cwd=folder, env=env, capture_output=True, text=True, timeout=timeout)
    return p, time.monotonic() - start


def timedemo(program, tape, folder, env, what):
    p, took = run([program, "--timedemo", tape], folder, env)
    summary = SUMMARY.search(p.stdout)
    check(p.returncode == 0 and summary is not None,
          "%s: --timedemo ends with code 0 and its figures (code %d, %.1f s)\n%s%s" %
          (what, p.returncode, took, p.stdout, p.stderr))
    check("drift" not in p.stderr and "warning" not in p.stderr,
          "%s: no drift reported (%s)" % (what, p.stderr.strip() or "nothing on stderr"))
    frames, checks_passed, checks = (int(summary.group(i)) for i in (1, 7, 8))
    print("   ", summary.group(0), flush=True)
    return dict(frames=frames, score=int(summary.group(6)), passed=checks_passed, checks=checks,
                device=summary.group(9))


def make_tape(demo_maker, program, path, folder, end="ram", fight_seconds=4):
    name = os.path.basename(program)
    p, took = run([demo_maker, name, path, end, str(fight_seconds)], folder, headless_env())
    check(p.returncode == 0 and os.path.exists(path),
          "the demo maker records a %s game ending by %s (%.1f s)\n%s" % (name, end, took,
                                                                       p.stderr))
    score = re.search(r"score (\d+)", p.stderr)
    return int(score.group(1)) if score else None


def x_env(display, device):
    return dict(os.environ, DISPLAY=display.name, SHOOTER_VIDEO=device, SDL_AUDIODRIVER="dummy")


# --- scenarios ---------------------------------------------------------------

def scenario_bad(ctx):
    good_path = os.path.join(ctx.folder, "good.tape")
    make_tape(ctx.demo_maker, ctx.program, good_path, ctx.folder, fight_seconds=3)
    with open(good_path, "rb") as f:
        good = f.read()
    tape = Tape(good)
    other = "shooter" if tape.program == "shooter-alt" else "shooter-alt"
    header_end = len(good) - len(zlib.compress(tape.stream, 9))
    cases = {
        "empty": (b"", "empty"),
        "truncated": (good[:len(good) // 2], "counts .* bytes of records, the file has"),
        "cut in the header": (good[:20], "ends inside the header"),
        "wrong magic": (b"NOTATAPE" + good[8:], "not a tape"),
        "wrong version": (tape.build(version=9), "version 9"),
        "another program's": (tape.build(program=other), "recorded by " + other),
        "counts beyond the file": (good[:header_end - 8] + struct.pack("<I", 1 << 30) +
                                   good[header_end - 4:], "more records than|counts"),
        "checksum mismatch": (tape.build(crc=tape.crc ^ 1), "checksum mismatch"),
        "bytes past the end": (good + b"\0\0\0", "after the end"),
        "missing": (None, "cannot open"),
    }
    for what, (data, reason) in cases.items():
        path = os.path.join(ctx.folder, "bad.tape")
        if os.path.exists(path):
            os.remove(path)
        if data is not None:
            with open(path, "wb") as f:
                f.write(data)
        for option in ("--play", "--timedemo"):
            p, took = run([ctx.program, option, path], ctx.folder, headless_env(),
                          timeout=BAD_TAPE_LIMIT_S * 3)
            lines = p.stderr.strip().splitlines()
            check(p.returncode == 2 and len(lines) == 1 and "bad.tape" in lines[0] and
                  re.search(reason, lines[0]) and took < BAD_TAPE_LIMIT_S,
                  "%s %s tape: code 2 and one line saying so in %.2f s (%r, code %d)" %
                  (option, what, took, p.stderr.strip(), p.returncode))


def scenario_roundtrip(ctx):
    path = os.path.join(ctx.folder, "round.tape")
    score = make_tape(ctx.demo_maker, ctx.program, path, ctx.folder)
    soft = timedemo(ctx.program, path, ctx.folder, headless_env("soft"), "soft device")
    display = Display()
    try:
        gl = timedemo(ctx.program, path, ctx.folder, x_env(display, "gl"), "gl device")
    finally:
        display.stop()
    for result, name in ((soft, "soft"), (gl, "gl")):
        check(result["passed"] == result["checks"] > 0,
              "%s device: every checkpoint of the soft-recorded tape matches (%d of %d)" %
              (name, result["passed"], result["checks"]))
        check(result["score"] == score, "%s device: the recorded score %s" % (name, score))
    # A tape whose first checkpoint was changed shows the drift at frame 60.
    with open(path, "rb") as f:
        tape = Tape(f.read())
    at = tape.first_check_offset()
    changed = bytearray(tape.stream)
    changed[at] ^= 0xFF
    drift_path = os.path.join(ctx.folder, "drift.tape")
    with open(drift_path, "wb") as f:
        f.write(tape.build(stream=bytes(changed)))
    p, _ = run([ctx.program, "--timedemo", drift_path], ctx.folder, headless_env())
    check(p.returncode == 0 and "drift at frame 60" in p.stderr,
          "a drifting playback warns with the frame number (%s)" % p.stderr.strip())


def record_live(ctx, display, end):
    """The real program records under X with real input; `end` ends it."""
    path = os.path.join(ctx.folder, "live-%s.tape" % end)
    env = x_env(display, "gl")
    log = open(os.path.join(ctx.folder, "live-%s.log" % end), "w")
    proc = subprocess.Popen([ctx.program, "--record", path], cwd=ctx.folder, env=env,
                            stdout=log, stderr=subprocess.STDOUT)
    xdo = lambda *a: subprocess.run(["xdotool", *a], env=env, capture_output=True, text=True,
                                    timeout=120).stdout
    try:
        found = xdo("search", "--sync", "--onlyvisible", "--pid", str(proc.pid)).split()
        if not found:
            log.flush()
            with open(log.name) as f:
                raise Failure("the recording program shows no window (code %s): %s" %
                              (proc.poll(), f.read()))
        window = found[0]
        xdo("windowfocus", "--sync", window)
        chain = []
        for _ in range(20):
            chain += ["mousemove_relative", "--", "6", "3", "sleep", "0.03"]
        xdo(*chain)
        # A pause and a resume, then running frames (a checkpoint or more) before the end.
        xdo("keydown", "p", "sleep", "0.5", "keyup", "p", "sleep", "0.5", "keydown", "p",
            "sleep", "0.5", "keyup", "p", "sleep", "3")
        if end == "escape":
            xdo("keydown", "Escape")
        else:
            subprocess.run([ctx.send_close, window], env=env, timeout=30)
        rc = proc.wait(60)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        xdo("keyup", "Escape")
        log.close()
    check(rc == 0, "the recording ended by %s exits with code 0" % end)
    return path


def scenario_ends(ctx):
    ram = os.path.join(ctx.folder, "ram.tape")
    make_tape(ctx.demo_maker, ctx.program, ram, ctx.folder)
    tapes = {"a ram": ram}
    display = Display()
    try:
        for end in ("escape", "close"):
            tapes[end] = record_live(ctx, display, end)
    finally:
        display.stop()
    for end, path in tapes.items():
        with open(path, "rb") as f:
            tape = Tape(f.read())
        result = timedemo(ctx.program, path, ctx.folder, headless_env(), "ended by " + end)
        check(result["frames"] == tape.frames > 1 and result["passed"] == tape.checks,
              "the tape ended by %s is complete: %d frames, every checkpoint matches" %
              (end, tape.frames))


def check_paused_screenshot(ctx, what):
    path = os.path.join(ctx.folder, "Gamebild.png")
    check(os.path.exists(path), "%s: the recorded pause writes Gamebild.png" % what)
    px = np.asarray(Image.open(path).convert("RGB")).astype(int)
    check_outline(px)
    check_energy_frame(px)
    check_bar_partial(ctx, px)


def check_bar_partial(ctx, px):
    """The bar's first segments over the panel, as game_e2e's bar check
    reckons them (energy is below full by the pause, so only its start is
    certain)."""
    panel_image = Image.open(os.path.join(ctx.source, "assets", "GFX", "PowerImage.png"))
    panel = np.asarray(panel_image.convert("RGBA")).astype(float)[0:19, 0:18]
    alt = os.path.basename(ctx.program).endswith("-alt")
    expected = bar_expected(panel[..., :3], alt)
    err = np.abs(px[663:682, 412:430] - expected).max(axis=-1)[panel[..., 3] == 255]
    share = (err <= 4).mean() if err.size else 0.0
    # Sparks and particles fly over the bar's start at times.
    check(share >= 0.8, "the bar's first segments show green over the panel (%.3f)" % share)


def demo_tape(ctx):
    return os.path.join(ctx.source, "assets", "demo", os.path.basename(ctx.program) + ".tape")


def scenario_demo(ctx, devices):
    tape = demo_tape(ctx)
    with open(tape, "rb") as f:
        info = Tape(f.read())
    check(info.frames >= 60, "the shipped tape holds a game (%d frames, %d bytes)" %
          (info.frames, os.path.getsize(tape)))
    for device in devices:
        shot = os.path.join(ctx.folder, "Gamebild.png")
        if os.path.exists(shot):
            os.remove(shot)
        display = Display() if device == "gl" else None
        try:
            env = x_env(display, "gl") if display else headless_env("soft")
            r = timedemo(ctx.program, tape, ctx.folder, env, "shipped game, " + device)
        finally:
            if display:
                display.stop()
        check_paused_screenshot(ctx, device + " device")
        check(r["device"] == device and r["passed"] == r["checks"] == info.checks,
              "%s device: every checkpoint of the shipped game (score %d)" % (device, r["score"]))


def start_weston(runtime, log):
    """Weston's headless back end, with the seat module the build made."""
    seat = os.environ.get("SHOOTER_WESTON_SEAT", "")
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime)
    env.pop("DISPLAY", None)
    weston = subprocess.Popen(["weston", "--backend=headless-backend.so", "--use-pixman",
                               "--socket=tape-e2e", "--width=1280", "--height=1024",
                               "--idle-time=0", "--modules=" + seat],
                              env=env, stdout=log, stderr=subprocess.STDOUT)
    socket = os.path.join(runtime, "tape-e2e")
    deadline = time.monotonic() + 30
    while not os.path.exists(socket) and time.monotonic() < deadline and weston.poll() is None:
        time.sleep(0.1)
    return weston, os.path.exists(socket)


def scenario_wayland(ctx):
    if not shutil.which("weston"):
        print("SKIP: weston is not installed; the Wayland test needs it")
        return
    if not os.path.exists(os.environ.get("SHOOTER_WESTON_SEAT", "")):
        print("SKIP: the Weston seat module was not built (libweston-10-dev is missing)")
        return
    runtime = tempfile.mkdtemp(prefix="tape_xdg_")
    os.chmod(runtime, 0o700)
    log_path = os.path.join(ctx.folder, "weston.log")
    log = open(log_path, "w")
    weston, up = start_weston(runtime, log)
    try:
        log.flush()
        with open(log_path) as f:
            check(up, "weston starts headless (code %s)\n%s" % (weston.poll(), f.read()))
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="tape-e2e",
                   SDL_VIDEODRIVER="wayland", SDL_AUDIODRIVER="dummy")
        env.pop("DISPLAY", None)
        env.pop("SHOOTER_VIDEO", None)
        result = timedemo(ctx.program, demo_tape(ctx), ctx.folder, env, "Wayland")
        print("ran on Wayland with the %s device" % result["device"], flush=True)
        check(result["device"] in ("gl", "soft") and result["passed"] == result["checks"],
              "under Wayland the %s device plays every checkpoint" % result["device"])
        check_paused_screenshot(ctx, "Wayland, %s device" % result["device"])
    finally:
        weston.terminate()
        try:
            weston.wait(10)
        except subprocess.TimeoutExpired:
            weston.kill()
        log.close()
        shutil.rmtree(runtime, ignore_errors=True)


class Context:
    def __init__(self, argv):
        self.program, self.demo_maker, self.send_close, self.source = (
            os.path.abspath(p) for p in argv)
        self.folder = scratch_folder(os.path.join(self.source, "assets"))


def main():
    scenarios = {"bad": scenario_bad, "roundtrip": scenario_roundtrip, "ends": scenario_ends,
                 "demo-soft": lambda c: scenario_demo(c, ["soft"]),
                 "demo-gl": lambda c: scenario_demo(c, ["gl"]), "wayland": scenario_wayland}
    if len(sys.argv) != 6 or sys.argv[1] not in scenarios:
        print("usage: tape_e2e.py <%s> <program> <demo-maker> <send_close> <source dir>" %
              "|".join(scenarios))
        return 2
    ctx = Context(sys.argv[2:])
    try:
        scenarios[sys.argv[1]](ctx)
    except (Failure, subprocess.TimeoutExpired) as e:
        print("FAIL:", e, flush=True)
        return 1
    finally:
        shutil.rmtree(ctx.folder, ignore_errors=True)
    print("PASS:", sys.argv[1], os.path.basename(ctx.program))
    return 0


if __name__ == "__main__":
    sys.exit(main())
