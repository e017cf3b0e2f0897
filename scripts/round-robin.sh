#!/usr/bin/env bash
# The fair-clock round robin: stockfish (UCI), fairymax (xboard) and Corvala (embedded) at
# 2 s + 0.05 s, ten games per pair, no pacing. Prints every game that was lost on time and the
# referee's overhead per move (the games' wall time less the time charged to the players).
#
#   scripts/round-robin.sh [CORVALA_BINARY] [ROUNDS]
# The binary defaults to build/release/corvala; ROUNDS (default 5) plays each pair twice a round.
set -euo pipefail

corvala=$(realpath "${1:-build/release/corvala}")
rounds=${2:-5}
stockfish=/usr/games/stockfish
fairymax=/usr/games/fairymax
for program in "$corvala" "$stockfish" "$fairymax"; do
    [ -x "$program" ] || { echo "missing: $program (scripts/install-deps.sh installs the peers)" >&2; exit 2; }
done

work=$(mktemp -d /tmp/corvala-round-robin.XXXXXX)
cat > "$work/rr.xml" <<XML
<tourney name="FairClocks" type="roundrobin">
  <options>
    <rounds>$rounds</rounds> <threads>1</threads> <logfolder>$work/games</logfolder>
    <clock moves_per_second="0" game_ms="2000" increment_ms="50"/>
    <pacing_ms>0</pacing_ms>
  </options>
  <engines>
    <engine active="true" name="Corvala" protocol="embedded"><filename>corvala</filename><parameters>memory=16</parameters></engine>
    <engine active="true" name="Fairymax" protocol="xboard"><filename>$fairymax</filename><parameters></parameters></engine>
    <engine active="true" name="Stockfish" protocol="uci"><filename>$stockfish</filename><parameters></parameters></engine>
  </engines>
</tourney>
XML

echo "# folder: $work"
(cd "$work" && "$corvala" -use=tourney -ini="$work/rr.xml" > "$work/console.txt" 2>&1) || true

games=$(ls "$work"/games/FairClocks.T1.R*.G*.pgn 2>/dev/null | wc -l)
echo "games: $games"
echo "results:"
grep -h $'\tresult\t' "$work/games/FairClocks.log" | cut -f6- | awk -F'\t' '{ print "  " $2 "\t" $3 "\t" $4 " - " $5 }' | sort | uniq -c
echo "lost on time:"
grep -l 'forfeits on time' "$work"/games/*.log 2>/dev/null | sed 's/^/  /' || echo "  none"
# Overhead per move: sum over the games of (wall - charged) / moves.
cat "$work"/games/FairClocks.T1.R*.G*.log | tr -d '\r' | awk -F'[ \t]+' '
    $2 == "clock:" { moves += $3; wall += $6; charged += $9 }
    END { if (moves > 0) printf "referee overhead: %.3f ms per move (%d moves, wall %d ms, charged %d ms)\n", (wall - charged) / moves, moves, wall, charged }'
# The figures depend on the machine's load: say what it was.
echo "load average (1, 5, 15 min): $(cut -d' ' -f1-3 /proc/loadavg)"
