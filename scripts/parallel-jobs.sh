#!/usr/bin/env bash
# A 3-player double round robin (Corvala embedded, fairymax, stockfish at 1 s + 0.02 s) played
# twice: as job lines through GNU parallel (two at a time) and then merged by a tournament run,
# and inside one process with two threads. Prints the games, the standings and the times.
#
#   scripts/parallel-jobs.sh [CORVALA_BINARY]      (default build/release/corvala)
set -euo pipefail

corvala=$(realpath "${1:-build/release/corvala}")
for program in "$corvala" /usr/games/fairymax /usr/games/stockfish /usr/bin/parallel; do
    [ -x "$program" ] || { echo "missing: $program (scripts/install-deps.sh installs it)" >&2; exit 2; }
done
work=$(mktemp -d /tmp/corvala-parallel-jobs.XXXXXX)
for kind in jobs inproc; do
    cat > "$work/$kind.xml" <<XML
<tourney name="Jobs" type="roundrobin">
  <options>
    <rounds>2</rounds> <threads>2</threads> <logfolder>$work/$kind</logfolder>
    <clock moves_per_second="0" game_ms="1000" increment_ms="20"/> <pacing_ms>0</pacing_ms>
  </options>
  <engines>
    <engine active="true" name="Corvala" protocol="embedded"><filename>corvala</filename><parameters>memory=16</parameters></engine>
    <engine active="true" name="Fairymax" protocol="xboard"><filename>/usr/games/fairymax</filename></engine>
    <engine active="true" name="Stockfish" protocol="uci"><filename>/usr/games/stockfish</filename></engine>
  </engines>
</tourney>
XML
done
echo "# folder: $work"

summary() { # log file
    echo "  games: $(grep -c $'\tresult\t' "$1" || true) played by this run, standings:"
    tr -d '\r' < "$1" | awk -F'\t' '$6 ~ /^stats$/ && $7 ~ /^ *[0-9]+ / { print "   " $7 }'
}

start=$(date +%s.%N)
"$corvala" -use=jobs -ini="$work/jobs.xml" | grep -v '^#' > "$work/joblines.txt"
parallel -j 2 < "$work/joblines.txt" > "$work/parallel.out" 2>&1 || echo "  some jobs did not finish (see $work/parallel.out)"
mid=$(date +%s.%N)
"$corvala" -use=tourney -ini="$work/jobs.xml" > "$work/merge.out" 2>&1 || true
end=$(date +%s.%N)
echo "jobs: $(wc -l < "$work/joblines.txt") job lines, $(ls "$work"/jobs/Jobs.game-*.state | wc -l) game records,"\
     "$(ls "$work"/jobs/*.pgn | wc -l) PGN files; parallel $(echo "$mid - $start" | bc) s, merge $(echo "$end - $mid" | bc) s"
summary "$work/jobs/Jobs.log"

start=$(date +%s.%N)
"$corvala" -use=tourney -ini="$work/inproc.xml" > "$work/inproc.out" 2>&1 || true
end=$(date +%s.%N)
echo "one process, threads=2: $(ls "$work"/inproc/*.pgn | wc -l) PGN files, $(echo "$end - $start" | bc) s"
summary "$work/inproc/Jobs.log"
