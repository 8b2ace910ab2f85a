#!/usr/bin/env bash
# The X server goes away under a running program: the program must end on
# its own within a few seconds, with a non-zero code and a line saying why,
# instead of hanging. Usage:
#   display_loss_e2e.sh <program> <assets> [gl|soft] [running|starting]
# "starting" takes the server away as soon as the window shows, while the
# program still loads; "running" (the default) once its loop has run a while.
# (A server gone while the GL driver itself sets up can still crash inside
# the driver, before any handler of the program's can run: not tested.)
set -u
program=$1 assets=$2 device=${3:-gl} when=${4:-running}

fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d)
xpid= pid=
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  [ -n "$xpid" ] && kill -9 "$xpid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A server of its own on the first free display number.
exec 3<> "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 +extension GLX +render -noreset -nolisten tcp \
  >"$work/xvfb.txt" 2>&1 &
xpid=$!
for _ in $(seq 100); do
  number=$(head -1 "$work/displayfd" 2>/dev/null)
  [ -n "$number" ] && break
  sleep 0.1
done
[ -n "${number:-}" ] || fail "Xvfb did not start"
export DISPLAY=:$number

cd "$assets" || fail "no assets folder $assets"
SDL_AUDIODRIVER=dummy SHOOTER_VIDEO=$device "$program" >"$work/out.txt" 2>&1 &
pid=$!

wid=$(timeout 60 xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null | head -1)
[ -n "$wid" ] || fail "no window appeared"
[ "$when" = running ] && sleep 1  # the loop runs
kill -0 "$pid" 2>/dev/null || fail "the program ended before the server went"

kill -9 "$xpid"
wait "$xpid" 2>/dev/null
xpid=
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "still running 5 s after the X server went"
wait "$pid"
rc=$?
pid=
[ "$rc" -ne 0 ] || fail "exit code 0 after the X server went"
[ "$rc" -lt 128 ] || fail "ended by signal $((rc - 128)), not by itself"
grep -q "connection to the X display" "$work/out.txt" ||
  fail "no word of the lost display: $(head -3 "$work/out.txt")"
echo "PASS: $(basename "$program") on $device ends with code $rc when its X server goes"
