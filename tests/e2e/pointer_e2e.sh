#!/usr/bin/env bash
# The desktop pointer position the engine reports follows the real pointer:
# after the program warps it, and after another program (xdotool, as a user
# would) moves it while the program does nothing. Usage: pointer_e2e.sh <probe>
set -u
probe=$1
fail() { echo "FAIL: $*"; exit 1; }
[ -n "${DISPLAY:-}" ] || fail "no X display"
command -v xdotool >/dev/null || fail "xdotool not installed"

coproc PROBE { SDL_AUDIODRIVER=dummy "$probe"; }
# Bash unsets PROBE_PID once the coprocess ends, so keep it here.
probe_pid=$PROBE_PID
ask() {
  echo "$1" >&"${PROBE[1]}"
  read -r -t 10 reply <&"${PROBE[0]}" || fail "no answer to '$1'"
  echo "$reply"
}
expect_at() {
  local got
  got=$(ask p)
  [ "$got" = "$1 $2" ] || fail "$3: pointer reported at '$got', expected '$1 $2'"
}

[ "$(ask 'w 40 50')" = 1 ] || fail "warp refused"
expect_at 40 50 "after the program's own warp"
for at in "300 400" "1000 20" "7 900"; do
  set -- $at
  xdotool mousemove --sync "$1" "$2" || fail "xdotool mousemove"
  expect_at "$1" "$2" "after xdotool moved it"
done
[ "$(ask 'w 640 512')" = 1 ] || fail "warp refused"
expect_at 640 512 "after a second warp"
xdotool mousemove --sync 11 12
expect_at 11 12 "after xdotool moved it again"
echo q >&"${PROBE[1]}"
wait "$probe_pid" || fail "probe ended with an error"
echo "pointer followed the warps and the xdotool moves"
