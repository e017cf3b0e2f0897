#!/usr/bin/env bash
# A game against Corvala in the real xboard GUI (under Xvfb, driven by xdotool) in which moves
# are taken back with both of xboard's commands, and play goes on afterwards:
#   - "Retract Move" after the engine's reply: xboard sends "remove";
#   - in Edit Game, stepping back and playing another move: xboard sends "undo".
# Passes when the engine answers every move, nothing is refused as illegal, and the engine's
# last reply is legal in the position the GUI shows.
#
#   scripts/xboard-takeback.sh CORVALA OUTDIR
set -euo pipefail
corvala=$(readlink -f "$1")
out=$2
for p in Xvfb xdotool; do command -v "$p" >/dev/null || { echo "missing: $p"; exit 2; }; done
xboard=$(command -v xboard || echo /usr/games/xboard)
mkdir -p "$out"
out=$(readlink -f "$out")
rm -f "$out/takeback.debug"
home=$(mktemp -d)
displayfile=$(mktemp)
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$displayfile" >/dev/null 2>&1 &
xvfb=$!
session=""
cleanup() {
  [ -n "$session" ] && kill -TERM -- "-$session" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$home" "$displayfile"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$displayfile")"

HOME="$home" setsid timeout -k 5 120 "$xboard" -fcp "$corvala memory=4" -fd "$home" -st 0:01 \
  -saveSettingsOnExit false -soundProgram "" -debug -nameOfDebugFile "$out/takeback.debug" \
  >/dev/null 2>&1 &
session=$!

log="$out/takeback.debug"
window=""
for _ in $(seq 100); do
  window=$(xdotool search --name "^xboard: " 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && grep -q "done=1" "$log" 2>/dev/null && break
  sleep 0.1
done
[ -n "$window" ] || { echo "no xboard window"; exit 1; }

replies() { grep -c '<first : move ' "$log" || true; }
wait_replies() { # wait until the engine has made $1 moves
  for _ in $(seq 100); do [ "$(replies)" -ge "$1" ] && return 0; sleep 0.1; done
  echo "the engine did not answer (expected $1 moves)"; exit 1
}
type_move() {
  xdotool mousemove --window "$window" 200 200 click 1
  sleep 0.2
  xdotool type --delay 100 "$1"
  xdotool key Return
}

type_move e2e4; wait_replies 1
xdotool key ctrl+x; sleep 1                       # Retract Move: "remove"
type_move d2d4; wait_replies 2
xdotool key ctrl+e; sleep 1                       # Edit Game: force mode
type_move g1f3; sleep 1
xdotool key alt+Left; sleep 0.5                   # back one move, then another: "undo"
type_move b1c3; sleep 1
xdotool key ctrl+b; wait_replies 3                # Machine Black: the engine moves again

fail=0
grep -q '>first : remove' "$log" || { echo "xboard sent no remove"; fail=1; }
grep -q '>first : undo' "$log" || { echo "xboard sent no undo"; fail=1; }
if grep -E '(Illegal move|Error \()' "$log" | grep -q '<first'; then
  echo "complaint from the engine:"; grep -E '<first.*(Illegal move|Error \()' "$log"; fail=1
fi
if grep -E 'Illegal move' "$log" | grep -vq '<first'; then
  echo "xboard refused a move:"; grep 'Illegal move' "$log"; fail=1
fi
# The game the GUI shows: 1. d4 (reply) 2. Nc3 (reply) -- e4 was removed, Nf3 undone. Every
# engine reply must be legal in it.
second=$(grep '<first : move ' "$log" | sed -n 2p | awk '{print $NF}')
last=$(grep '<first : move ' "$log" | tail -n1 | awk '{print $NF}')
echo "game after the take-backs: d2d4 $second b1c3 $last"
printf 'new\nforce\nd2d4\n%s\nb1c3\n%s\nquit\n' "$second" "$last" \
  | "$corvala" memory=1 | grep -q '^Illegal move' && { echo "a reply does not fit the GUI's position"; fail=1; }
[ $fail -eq 0 ] && echo "ok: remove and undo under xboard, play went on"
exit $fail
