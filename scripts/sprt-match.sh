#!/usr/bin/env bash
# A match that ends by itself: Corvala (embedded, classic search) against fairymax (xboard)
# through an opening suite in colour-reversed pairs, stopped by the SPRT.
# Prints the verdict, the last statistics lines and whether every PGN reads in pgn-extract.
#
#   scripts/sprt-match.sh [CORVALA_BINARY] [ELO0] [ELO1] [OPENINGS]
# The binary defaults to build/release/corvala; the hypotheses to 0 and 50 Elo (Corvala over
# fairymax); the openings to the project's tests/data/openings.pgn (a .pgn file is read as PGN,
# 8 plies; any .epd suite, such as the STS suite, works too).
# PEER=/usr/games/stockfish PEER_PROTOCOL=uci plays another opponent. fairymax announces
# setboard=0: EPD positions need a client that sets up positions with "edit" for it.
set -euo pipefail

corvala=$(realpath "${1:-build/release/corvala}")
elo0=${2:-0}
elo1=${3:-50}
openings=$(realpath "${4:-$(dirname "$0")/../tests/data/openings.pgn}")
fairymax=${PEER:-/usr/games/fairymax}
protocol=${PEER_PROTOCOL:-xboard}
for program in "$corvala" "$fairymax"; do
    [ -x "$program" ] || { echo "missing: $program (scripts/install-deps.sh installs the peers)" >&2; exit 2; }
done
format=epd
case "$openings" in *.pgn) format=pgn ;; esac

work=$(mktemp -d /tmp/corvala-sprt-match.XXXXXX)
cat > "$work/match.xml" <<XML
<tourney name="SprtMatch" type="roundrobin">
  <options>
    <rounds>300</rounds> <threads>2</threads> <logfolder>$work/games</logfolder>
    <clock moves_per_second="0" game_ms="${GAME_MS:-2000}" increment_ms="${INCREMENT_MS:-50}"/>
    <pacing_ms>0</pacing_ms>
    <openings file="$openings" format="$format" order="random" plies="8" seed="7"/>
    <sprt elo0="$elo0" elo1="$elo1" alpha="0.05" beta="0.05"/>
  </options>
  <engines>
    <engine active="true" name="Corvala" protocol="embedded"><filename>corvala</filename><parameters>memory=16</parameters></engine>
    <engine active="true" name="$(basename "$fairymax")" protocol="$protocol"><filename>$fairymax</filename><parameters></parameters></engine>
  </engines>
</tourney>
XML

echo "# folder: $work"
start=$(date +%s)
(cd "$work" && "$corvala" -use=tourney -ini="$work/match.xml" > "$work/console.txt" 2>&1) || true
echo "wall: $(( $(date +%s) - start )) s"

log="$work/games/SprtMatch.log"
games=$(ls "$work"/games/SprtMatch.T1.R*.G*.pgn 2>/dev/null | wc -l)
echo "games: $games"
grep -h $'\tsprt\t' "$log" | tail -2 | cut -f6-
grep -h $'\tstats\t' "$log" | tail -6 | cut -f7-
echo "lost on time: $(grep -l 'forfeits on time' "$work"/games/*.log 2>/dev/null | wc -l)"
if command -v pgn-extract > /dev/null || [ -x /usr/games/pgn-extract ]; then
    extract=$(command -v pgn-extract || echo /usr/games/pgn-extract)
    read_games=$(cat "$work"/games/SprtMatch.T1.R*.G*.pgn | "$extract" -s 2> "$work/pgn-extract.err" | grep -c '^\[Event ' || true)
    echo "pgn-extract read $read_games of $games games; its complaints: $(wc -l < "$work/pgn-extract.err") lines"
fi
