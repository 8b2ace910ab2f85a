# The game as installed: `cmake --install` into a scratch DESTDIR under a
# prefix that is not the default, checked as a distribution would (every
# file in place, desktop-file-validate, appstreamcli offline, man -l), the
# installed program played from an empty working directory under Xvfb, its
# command line, and the Debian package with lintian.
# Usage: install_e2e.py <layout|play|command-line|package> <build dir> <version>
import os
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image

import game_e2e
from game_e2e import Display, Failure, Game, check

PREFIX = "/opt/shooter-e2e"
ICON_SIZES = (32, 48, 64, 128, 256)
SKIP = 77  # the test's SKIP_RETURN_CODE


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, timeout=300, **kw)


def install(build, root):
    done = run(["cmake", "--install", build, "--prefix", PREFIX], env=dict(os.environ, DESTDIR=root))
    check(done.returncode == 0, "cmake --install succeeds\n" + done.stdout + done.stderr)
    return root + PREFIX


def expected_files(app_id):
    files = ["games/shooter", "games/shooter-alt",
             "share/applications/shooter.desktop", "share/applications/shooter-alt.desktop",
             "share/metainfo/%s.metainfo.xml" % app_id,
             "share/icons/hicolor/scalable/apps/shooter.svg",
             "share/man/man6/shooter.6.gz", "share/man/man6/shooter-alt.6.gz",
             "share/games/shooter/Sound/New2.OGG",
             "share/games/shooter/GFX/Ship01.png", "share/games/shooter/GFX/PowerImage.png",
             "share/games/shooter/GFX/Font1.png", "share/games/shooter/demo/shooter.tape",
             "share/doc/shooter/README.md", "share/doc/shooter/LICENSE",
             "share/doc/shooter/LICENSE.DejaVu", "share/doc/shooter/copyright"]
    files += ["share/icons/hicolor/%dx%d/apps/shooter.png" % (s, s) for s in ICON_SIZES]
    return files


def desktop_entry(path):
    entry = {}
    with open(path) as f:
        for line in f:
            if "=" in line:
                key, value = line.rstrip("\n").split("=", 1)
                entry[key] = value
    return entry


def check_man(tree):
    for page in ("shooter.6.gz", "shooter-alt.6.gz"):
        path = os.path.join(tree, "share/man/man6", page)
        shown = run(["man", "--warnings", "-l", path], env=dict(os.environ, MANWIDTH="80", LC_ALL="C"))
        text = shown.stdout
        check(shown.returncode == 0 and "shooter-alt - real-time arcade shooter" in text,
              "man -l %s renders its NAME section" % page)
        for section in ("OPTIONS", "CONTROLS", "FILES", "ENVIRONMENT", "EXIT STATUS"):
            check(section in text, "the manual page has %s" % section)
        check("SHOOTER_DATA" in text and "SHOOTER_VIDEO" in text,
              "the manual page names SHOOTER_DATA and SHOOTER_VIDEO")
        check(shown.stderr.strip() == "", "groff has no warnings: %r" % shown.stderr)


def scenario_layout(build, version, scratch):
    tree = install(build, scratch)
    metainfo = [n for n in os.listdir(os.path.join(tree, "share/metainfo"))]
    check(len(metainfo) == 1, "one AppStream file: %s" % metainfo)
    app_id = metainfo[0][:-len(".metainfo.xml")]
    for name in expected_files(app_id):
        check(os.path.isfile(os.path.join(tree, name)), "installed: " + name)
    for program in ("shooter", "shooter-alt"):
        check(os.access(os.path.join(tree, "games", program), os.X_OK), program + " is executable")
    check(os.path.islink(os.path.join(tree, "share/man/man6/shooter-alt.6.gz")),
          "shooter-alt's manual page links to shooter's")
    for size in ICON_SIZES:
        with Image.open(os.path.join(tree, "share/icons/hicolor/%dx%d/apps/shooter.png"
                                     % (size, size))) as im:
            check(im.size == (size, size) and im.mode == "RGBA", "the %d-pixel icon" % size)

    entries = sorted(os.path.join(tree, "share/applications", n)
                     for n in os.listdir(os.path.join(tree, "share/applications")))
    valid = run(["desktop-file-validate", *entries])
    check(valid.returncode == 0 and not valid.stdout.strip(),
          "desktop-file-validate passes: %s" % (valid.stdout + valid.stderr))
    for path in entries:
        program = os.path.basename(path)[:-len(".desktop")]
        entry = desktop_entry(path)
        # The menu must find a program outside the usual PATH.
        check(entry["Exec"] == "%s/games/%s" % (PREFIX, program),
              "%s starts %s by its installed path (%s)" % (path, program, entry["Exec"]))
        check(entry["StartupWMClass"] == program, "StartupWMClass is the window class")
        check(entry["Icon"] == "shooter" and entry["Categories"] == "Game;ArcadeGame;",
              "icon and categories of " + program)
    appdata = os.path.join(tree, "share/metainfo", metainfo[0])
    valid = run(["appstreamcli", "validate", "--no-net", appdata])
    check(valid.returncode == 0, "appstreamcli validate --no-net passes:\n" + valid.stdout)
    with open(appdata) as f:
        text = f.read()
    for needle in ("<caption>", "<description>", "<content_rating", "shooter.desktop",
                   'version="%s"' % version):
        check(needle in text, "the AppStream data has " + needle)
    check_man(tree)


def window_property(game, name):
    return subprocess.run(["xprop", "-id", game.window, name], env=game.env,
                          capture_output=True, text=True, timeout=30).stdout


def play_installed(tree, scratch):
    """Empty working directory: the data comes from the installed tree."""
    display = Display()
    folder = tempfile.mkdtemp(prefix="here_", dir=scratch)
    game = Game(os.path.join(tree, "games/shooter"), folder, display)
    try:
        screen, first = game_e2e.first_frame(game)
        game_e2e.check_outline(first)
        game_e2e.check_energy_frame(first)
        game_e2e.check_bar(first, os.path.join(tree, "share/games/shooter"), alt=False)
        check(os.path.isfile(os.path.join(folder, "Gamebild.png")),
              "the screenshot is saved in the working directory")
        wm_class = window_property(game, "WM_CLASS")
        check('"shooter"' in wm_class, "the window class matches StartupWMClass: " + wm_class)
        icon = window_property(game, "_NET_WM_ICON")
        check("width=64" in icon.replace(" ", "") or "Icon (64 x 64)" in icon,
              "the window has the program's 64-pixel icon")
        game.press("p")
        time.sleep(0.5)
        game.hold_escape()
    finally:
        game.stop()
        display.stop()


def play_without_data(tree, scratch):
    """SHOOTER_DATA names an empty folder: no pictures, no music, no crash."""
    display = Display()
    folder = tempfile.mkdtemp(prefix="empty_", dir=scratch)
    empty = tempfile.mkdtemp(prefix="data_", dir=scratch)
    game = Game(os.path.join(tree, "games/shooter"), folder, display, env={"SHOOTER_DATA": empty})
    try:
        game.wait_for_window()
        time.sleep(3.0)
        check(game.alive(), "the game runs without its data")
        shot = game.screenshot()
        game_e2e.check_outline(shot)
        game_e2e.check_energy_frame(shot)
        check(shot[30:78, 416:608].max() < 60, "no logo: the installed data was not read")
        check(os.listdir(empty) == [], "nothing is written into SHOOTER_DATA")
        game.press("p")
        check(game.alive() or game.process.returncode == 0, "the game runs on")
        game.hold_escape()
    finally:
        game.stop()
        display.stop()


def scenario_play(build, version, scratch):
    tree = install(build, scratch)
    play_installed(tree, scratch)
    play_without_data(tree, scratch)


def scenario_command_line(build, version, scratch):
    env = dict(os.environ)
    env.pop("DISPLAY", None)  # answering must not need a display
    for program in ("shooter", "shooter-alt"):
        path = os.path.join(build, "apps", program)
        shown = run([path, "--help"], env=env, cwd=scratch)
        check(shown.returncode == 0 and shown.stderr == "", "%s --help exits 0" % program)
        for needle in ("Usage: %s" % program, "--help", "--version", "Escape", "SHOOTER_DATA",
                       "share/games/shooter", "working directory"):
            check(needle in shown.stdout, "%s --help mentions %s" % (program, needle))
        shown = run([path, "--version"], env=env, cwd=scratch)
        check(shown.returncode == 0 and shown.stdout == "%s %s\n" % (program, version),
              "%s --version prints '%s %s'" % (program, program, version))
        for bad in (["--bogus"], ["--help=yes"], ["level2"], ["--version", "-x"]):
            shown = run([path, *bad], env=env, cwd=scratch)
            check(shown.returncode == 2 and shown.stdout == "" and "Usage:" in shown.stderr,
                  "%s %s: usage on standard error, exit 2" % (program, " ".join(bad)))
        check(os.listdir(scratch) == [], "answering writes no file")


def scenario_package(build, version, scratch):
    if not shutil.which("dpkg-deb") or not shutil.which("cpack"):
        print("SKIP: dpkg-deb (or cpack) is missing; the Debian package cannot be built")
        return SKIP
    made = run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", scratch])
    check(made.returncode == 0, "cpack builds the package\n" + made.stdout + made.stderr)
    debs = [n for n in os.listdir(scratch) if n.endswith(".deb")]
    check(debs == ["shooter_%s_%s.deb" % (version, dpkg_arch())], "the package file: %s" % debs)
    deb = os.path.join(scratch, debs[0])
    field = lambda name: run(["dpkg-deb", "-f", deb, name]).stdout.strip()
    check(field("Section") == "games", "section games")
    depends = field("Depends")
    for lib in ("libsdl2-2.0-0", "libepoxy0", "libpng16-16", "libvorbisfile3"):
        check(lib in depends, "depends on %s (from dpkg-shlibdeps): %s" % (lib, depends))
    listing = run(["dpkg-deb", "-c", deb]).stdout
    for name in ("./usr/games/shooter", "./usr/share/games/shooter/Sound/New2.OGG",
                 "./usr/share/applications/shooter.desktop", "./usr/share/doc/shooter/copyright"):
        check(name in listing, "the package holds " + name)
    if shutil.which("lintian"):
        checked = run(["lintian", "--tag-display-limit", "0", deb])
        print(checked.stdout, end="")
        errors = [l for l in checked.stdout.splitlines() if l.startswith("E:")]
        check(not errors and checked.returncode == 0, "lintian reports no error")
    else:
        print("SKIP: lintian is missing; the package is not checked with it")
    # Unpacked anywhere, the programs find their data from their own folder.
    root = os.path.join(scratch, "unpacked")
    check(run(["dpkg-deb", "-x", deb, root]).returncode == 0, "the package unpacks")
    shown = run([os.path.join(root, "usr/games/shooter"), "--version"])
    check(shown.stdout == "shooter %s\n" % version, "the packaged shooter runs")
    return 0


def dpkg_arch():
    return run(["dpkg", "--print-architecture"]).stdout.strip()


def main():
    scenarios = {"layout": scenario_layout, "play": scenario_play,
                 "command-line": scenario_command_line, "package": scenario_package}
    if len(sys.argv) != 4 or sys.argv[1] not in scenarios:
        print("usage: install_e2e.py <%s> <build dir> <version>" % "|".join(scenarios))
        return 2
    build = os.path.abspath(sys.argv[2])
    scratch = tempfile.mkdtemp(prefix="install_e2e_")
    try:
        code = scenarios[sys.argv[1]](build, sys.argv[3], scratch) or 0
    except Failure as e:
        print("FAIL:", e, flush=True)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    if code == 0:
        print("PASS:", sys.argv[1])
    return code


if __name__ == "__main__":
    sys.exit(main())
