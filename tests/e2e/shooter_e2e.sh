#!/usr/bin/env bash
# Runs a program of the game on a virtual X display of its own and drives it
# with real X input events. Usage:
#   shooter_e2e.sh <scenario> <program> <send_close> [screen WxH]
# Scenarios: switch, pause, close, escape.
set -u
scenario=$1 program=$2 send_close=$3 screen=${4:-1280x1024}

if [ -z "${E2E_INNER:-}" ]; then
  # Each scenario gets its own X server, so parallel tests cannot steal the
  # focus or the pointer.
  export E2E_INNER=1
  exec xvfb-run -a -s "-screen 0 ${screen}x24 +extension GLX +render -noreset" \
    "$0" "$@"
fi

pid=
fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work" || exit 1
export SDL_AUDIODRIVER=dummy

"$program" >"$work/out.txt" 2>&1 &
pid=$!

wid=$(timeout 60 xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null | head -1)
[ -n "$wid" ] || fail "no window appeared"

# geometry <window>: "W H X Y" of the window on the screen.
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
                           /Width:/ {w=$2} /Height:/ {h=$2} END {print w, h, x, y}'
}

# expect_geometry "W H X Y" what: waits up to 10 s for the window to get there.
expect_geometry() {
  local got
  for _ in $(seq 100); do
    got=$(geometry "$wid")
    [ "$got" = "$1" ] && { echo "ok: $2 ($got)"; return 0; }
    sleep 0.1
  done
  fail "$2: window is $got, expected $1"
}

# press <key> [seconds]: held long enough for a game that reads the key once
# a frame (a press that comes and goes between two reads is not seen).
press() {
  xdotool keydown "$1"
  sleep "${2:-1.5}"
  xdotool keyup "$1"
  sleep 0.3
}

# hold_until <key> <command…>: holds the key until the command succeeds
# (30 s at most). A held key counts as one press, however long it is held.
hold_until() {
  local key=$1 ok=1
  shift
  xdotool keydown "$key"
  for _ in $(seq 300); do
    if "$@"; then ok=0; break; fi
    sleep 0.1
  done
  xdotool keyup "$key"
  sleep 0.3
  return $ok
}

# Waits until the game has drawn something: its loop is then running.
wait_for_picture() {
  local mean
  for _ in $(seq 60); do
    mean=$(import-im6.q16 -silent -window root png:- 2>/dev/null |
           convert-im6.q16 png:- -format "%[fx:mean>0.001]" info: 2>/dev/null)
    [ "$mean" = 1 ] && { echo "ok: the loop draws"; return 0; }
    sleep 0.5
  done
  fail "nothing was drawn"
}

is_geometry() { [ "$(geometry "$wid")" = "$1" ]; }
has_screenshot() { [ -s Gamebild.png ]; }

# expect_exit: the program ends by itself within 60 s with exit code 0.
expect_exit() {
  for _ in $(seq 600); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "$1: still running"
  wait "$pid"
  local rc=$?
  [ "$rc" -eq 0 ] || { cat "$work/out.txt"; fail "$1: exit code $rc"; }
  echo "ok: $1 (exit code 0)"
}

hold_escape() {
  xdotool keydown Escape
  expect_exit "held Escape ends the program"
  xdotool keyup Escape
}

xdotool windowfocus --sync "$wid" || fail "cannot focus the window"
read -r sw sh <<<"${screen/x/ }"
[ "$scenario" = close ] || wait_for_picture

case $scenario in
  switch)
    # Opened as a window and switched to full screen at once; no 1024 × 768
    # mode on this display, so the desktop mode shows it letterboxed.
    expect_geometry "$sw $sh 0 0" "starts in full screen"
    window="1024 768 $(((sw - 1024) / 2)) $(((sh - 768) / 2))"
    hold_until f is_geometry "$window" || fail "F gave no window: $(geometry "$wid")"
    echo "ok: F gives the centred window ($window)"
    xdotool windowfocus --sync "$wid"
    hold_until f is_geometry "$sw $sh 0 0" || fail "F gave no full screen: $(geometry "$wid")"
    echo "ok: F gives full screen again"
    hold_escape
    ;;
  fullscreen)
    # shooter-alt opens full screen directly: a real mode where the display
    # has 1024 × 768, the desktop otherwise.
    expect_geometry "$sw $sh 0 0" "opens in full screen"
    press f  # toggles the flash only
    expect_geometry "$sw $sh 0 0" "F keeps full screen"
    hold_escape
    ;;
  pause)
    press s
    has_screenshot && fail "S while running saved a screenshot"
    press p
    hold_until s has_screenshot || fail "S while paused saved no screenshot"
    echo "ok: P pauses (S saves Gamebild.png)"
    [ "$(head -c 2 Gamebild.png)" = "BM" ] || fail "the screenshot is not BMP data"
    rm -f Gamebild.png
    press p
    press s
    sleep 1
    has_screenshot && fail "S after resuming saved a screenshot"
    echo "ok: P resumes"
    hold_escape
    ;;
  close)
    "$send_close" "$wid" || fail "could not send the close request"
    expect_exit "the close button ends the program"
    ;;
  escape)
    press p  # Escape ends the paused game as well
    hold_escape
    ;;
  *)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS: $scenario"
