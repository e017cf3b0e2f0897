#!/usr/bin/env bash
# Plays Corvala against a real xboard engine under the real xboard GUI, headless under Xvfb, and
# checks the games: every game finished, no illegal move and no protocol error on either side,
# and no loss on time by Corvala.
#
#   [OPPONENT="CMD"] [CORVALA_ARGS="-search=strong"] [CORVALA_UCI=1] scripts/xboard-match.sh CORVALA GAMES OUTDIR [xboard time options...]
#
# With CORVALA_UCI=1 Corvala speaks UCI, through polyglot as the GUI runs UCI engines.
# With PONDER=1 the GUI lets both engines think on the opponent's time ("hard").
#   e.g. scripts/xboard-match.sh build/release/corvala 2 out/match -tc 0:10 -inc 0.1
#        scripts/xboard-match.sh build/release/corvala 2 out/st -st 0:01 -adjudicateDrawMoves 20
#
# Writes OUTDIR/match.pgn (the games) and OUTDIR/xboard.debug (the protocol log).
#
# The opponent (default: phalanx with its learning file off, so that no game changes the next)
# must be stable when the GUI sends "computer", as it does when both players are programs:
# fairymax 5.0b crashes on it in a third to a half of its starts, so it is never used here.
set -euo pipefail

corvala=$(readlink -f "$1")
games=$2
out=$3
shift 3
timeopts=("$@")
[ ${#timeopts[@]} -gt 0 ] || timeopts=(-tc 0:10 -inc 0.1)

export PATH="$PATH:/usr/games"
opponent=${OPPONENT:-phalanx -l-}
for p in xboard Xvfb; do
  command -v "$p" >/dev/null || [ -x "/usr/games/$p" ] || { echo "missing: $p (run scripts/install-deps.sh)"; exit 2; }
done
command -v "${opponent%% *}" >/dev/null || { echo "missing: ${opponent%% *} (run scripts/install-deps.sh)"; exit 2; }
[ -x "$corvala" ] || { echo "missing: $corvala"; exit 2; }
xboard=$(command -v xboard || echo /usr/games/xboard)

# A UCI engine runs through polyglot; an empty tablebase list keeps the system's from being sent.
uciflags=()
if [ "${CORVALA_UCI:-0}" = 1 ]; then
  command -v polyglot >/dev/null || { echo "missing: polyglot (run scripts/install-deps.sh)"; exit 2; }
  uciflags=(-fUCI -egtFormats "")
fi

ponderflag=-xponder
[ "${PONDER:-0}" = 1 ] && ponderflag=-ponder

mkdir -p "$out"
out=$(readlink -f "$out")
rm -f "$out/match.pgn" "$out/xboard.debug" "$out/xboard.stderr"
home=$(mktemp -d)
workdir=$(mktemp -d)

# A free display, told to us by Xvfb itself.
displayfile=$(mktemp)
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$displayfile" >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  [ -n "${session:-}" ] && kill -TERM -- "-$session" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -rf "$home" "$workdir" "$displayfile"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
display=":$(head -n1 "$displayfile")"

# Generous outer limit: a game at 10 s + 0.1 s lasts well under a minute.
limit=$(( games * 300 + 60 ))
set +e
HOME="$home" DISPLAY="$display" setsid timeout -k 10 "$limit" "$xboard" \
  -fcp "$corvala memory=16${CORVALA_ARGS:+ $CORVALA_ARGS}" -fd "$workdir" ${uciflags[@]+"${uciflags[@]}"} \
  -scp "$opponent" -sd "$workdir" \
  -mg "$games" "${timeopts[@]}" -sgf "$out/match.pgn" -autoCallFlag true \
  -xexit "$ponderflag" -noGUI -saveSettingsOnExit false -soundProgram "" \
  -debug -nameOfDebugFile "$out/xboard.debug" 2>"$out/xboard.stderr" &
session=$!
wait "$session"
status=$?
set -e
session=""

cat "$out/xboard.stderr" | grep -i "final score" || true
if [ $status -ne 0 ]; then echo "xboard ended with status $status"; exit 1; fi

fail=0
played=$(grep -c '^\[Result ' "$out/match.pgn" || true)
if [ "$played" -ne "$games" ]; then echo "expected $games games, found $played"; fail=1; fi
if grep -q '^\[Result "\*"\]' "$out/match.pgn"; then echo "an unfinished game"; fail=1; fi
# Any illegal-move complaint from either side, and any protocol error from Corvala (the first
# engine). The opponent may refuse a command word it does not know as an "illegal move"
# ("Illegal move: computer"): only a refused move counts.
illegal() {
  grep -E '(Illegal move|illegal move)' "$out/xboard.debug" \
    | grep -vE '<second *: *Illegal move:? *\(?[a-z]{3,}\)?$' | head -5 || true
}
if [ -n "$(illegal)" ]; then echo "illegal move:"; illegal; fail=1; fi
if grep -E '<first *: *Error' "$out/xboard.debug" | head -5 | grep -q .; then
  echo "protocol error from Corvala:"; grep -E '<first *: *Error' "$out/xboard.debug" | head -5; fail=1
fi
# A loss on time by Corvala: xboard's result comment names the side that lost on time.
awk '
  /^\[White "/ { white = $0 }
  /^\[Black "/ { black = $0 }
  /(wins on time|flag fell)/ {
    line = $0
    if (line ~ /wins on time/) loser = (line ~ /White wins on time/) ? "Black" : "White"
    else loser = (line ~ /White.s flag fell/) ? "White" : "Black"
    name = (loser == "White") ? white : black
    if (tolower(name) ~ /corvala/) { print "Corvala lost on time: " line; bad = 1 }
  }
  END { exit bad }' "$out/match.pgn" || fail=1
[ $fail -eq 0 ] && echo "ok: $games games, no illegal move, no protocol error, no loss on time"
exit $fail
