#!/usr/bin/env bash
# The match runner's own cost per game: a match of GAMES games at 1 s + 0.01 s between two fast
# engines (stockfish over UCI, fairymax over xboard) at concurrency 2, played by
# `corvala -use=match`. The cost is the slots' time less the time charged to the players:
#
#   (2 x wall - sum of charged - idle tail) / games
#
# and, for one game, from its "Started" line to its "Finished" line less its charged time
# (their median is the cost each further game adds; the mean also holds the engines' first
# start in each slot, and the whole-run figure the program's own start and end).
#
# wall runs from the command's start to its end; a game's charged time is the players' time on
# its clocks, as its game log says ("clock: N moves, wall W ms, charged C ms"); the idle tail is
# the time one slot has nothing left to play (from the next-to-last game's end to the last's).
# Engine starts, handshakes, the game set-up, the files and the scheduler all count as the
# runner's.
#
#   scripts/match-throughput.sh CORVALA [BEFORE_CORVALA]
#
# Measures CORVALA with restart=off (engines kept by each slot) and with restart=on (started
# for every game); a BEFORE_CORVALA (an older build) is measured with restart=on beside them.
# GAMES (default 20) sets the match length. Prints one line per run; a peer that is not
# installed skips the measurement.
set -uo pipefail
corvala=$(readlink -f "$1")
before=${2:+$(readlink -f "$2")}
games=${GAMES:-20}
stockfish=$(command -v stockfish || ls /usr/games/stockfish 2>/dev/null || true)
fairymax=$(command -v fairymax || ls /usr/games/fairymax 2>/dev/null || true)
if [ -z "$stockfish" ] || [ -z "$fairymax" ]; then
  echo "== match throughput: skipped (stockfish and fairymax are needed)"
  exit 0
fi
tmp=$(mktemp -d)
trap '[ -n "${KEEP_TMP:-}" ] || rm -rf "$tmp"' EXIT

# Milliseconds, without a process of its own (a `date` per line would lag behind the output).
now_ms() { local t=${EPOCHREALTIME/./}; echo $((t / 1000)); }

# One match; prints "label: cost per game ...".
measure() {
  local label=$1 program=$2 restart=$3
  local dir="$tmp/$label"
  mkdir -p "$dir"
  local start end
  start=$(now_ms)
  # Each output line with its arrival time, to find the idle tail.
  "$program" -use=match -engine name=stockfish "cmd=$stockfish" proto=uci \
    -engine name=fairymax "cmd=$fairymax" proto=xboard -each tc=1+0.01 "restart=$restart" \
    -games "$games" -concurrency 2 -ratinginterval 0 -logfolder "$dir" -event tp 2>"$dir/stderr" |
    while IFS= read -r line; do
      t=${EPOCHREALTIME/./}
      echo "$((t / 1000)) $line"
    done >"$dir/out"
  end=$(now_ms)
  local finished charged tail
  finished=$(grep -c ' Finished game ' "$dir/out")
  if [ "$finished" -lt 2 ]; then
    echo "$label: the match did not play (see below)"
    head -5 "$dir/stderr" "$dir/out"
    return 1
  fi
  # Each game's charged time, as "round game ms" from its log's name and clock line.
  for f in "$dir"/tp.T1.R*.G*.log; do
    local name=${f##*/}
    name=${name#tp.T1.R}
    name=${name%.log}
    printf '%s %s ' "${name%%.G*}" "${name##*.G}"
    tr -d '\r' <"$f" | sed -n 's/.*clock: [0-9]* moves, wall [0-9]* ms, charged \([0-9]*\) ms.*/\1/p' | tail -1 |
      awk '{print $1 + 0} END {if (NR == 0) print 0}'
  done >"$dir/charged"
  charged=$(awk '{s += $3} END {print s + 0}' "$dir/charged")
  tail=$(grep ' Finished game ' "$dir/out" | awk '{print $1}' | tail -2 | awk 'NR == 1 {a = $1} NR == 2 {print $1 - a}')
  # A game's own cost: from its "Started" line to its "Finished" line, less its charged time
  # (the engines' starts or renewals, the set-up, the files and the report are in it).
  local own
  own=$(awk -v perRound="$(awk '{print $2}' "$dir/charged" | sort -u | wc -l)" '
    FILENAME ~ /charged$/ { c[($1 - 1) * perRound + $2] = $3; next }
    $2 == "Started" { s[$4] = $1 }
    $2 == "Finished" { n = $4; sub(/[^0-9].*/, "", n); if (n in s) print $1 - s[n] - c[n] }' \
    "$dir/charged" "$dir/out" | sort -n | awk '{v[NR] = $1; sum += $1} END {printf "%d %.0f", v[int((NR + 1) / 2)], sum / NR}')
  awk -v label="$label" -v wall=$((end - start)) -v charged="$charged" -v tail="$tail" -v games="$finished" -v own="$own" \
    'BEGIN { split(own, o, " ");
      printf "%s: a game costs %d ms (median; mean %d ms) from its start to its end less the players'"'"' time; the whole run %.0f ms per game (wall %.1f s, charged %.1f s, idle tail %.1f s, %d games)\n",
      label, o[1], o[2], (2 * wall - charged - tail) / games, wall / 1000, charged / 1000, tail / 1000, games }'
}

echo "== match throughput: $games games at 1 s + 0.01 s, stockfish (UCI) vs fairymax (xboard), concurrency 2"
status=0
measure kept "$corvala" off || status=1
measure per-game "$corvala" on || status=1
if [ -n "$before" ]; then measure before "$before" on || status=1; fi
exit $status
