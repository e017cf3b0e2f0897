#!/usr/bin/env bash
# Corvala beside its peers on this machine, measured in one run and alternating the two
# programs (the best of three rounds each), so that a loaded machine weighs on both alike:
#   perft: Corvala's `perft` against stockfish's `go perft`, single thread, on the first seven
#          lines of perft.epd (start position depth 6, Kiwipete depth 5 and the other standard
#          positions at their deepest listed depth of at most 200 M leaves); geometric mean;
#   books: `\buildbooks` on the shared PGN games against `polyglot make-book -max-ply 40` on
#          the same games: wall time and peak memory.
# A ratio above 1 means Corvala is the faster. A peer that is not installed is skipped.
#   scripts/peer-bench.sh CORVALA_PROGRAM [SHARED_DATA_DIR]
set -uo pipefail
corvala=$(readlink -f "$1")
data=${2:-$(dirname "$0")/../../shared/data}
data=$(readlink -f "$data")
rounds=3
stockfish=$(command -v stockfish || ls /usr/games/stockfish 2>/dev/null || true)
polyglot=$(command -v polyglot || ls /usr/games/polyglot 2>/dev/null || true)
tmp=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT

now_ns() { date +%s%N; }

# Starts a program with its input and output on fifos: $2 gets the writing descriptor, $3 the reading one.
start() {
  local name=$1 in=$2 out=$3; shift 3
  mkfifo "$tmp/$name.in" "$tmp/$name.out"
  "$@" <"$tmp/$name.in" >"$tmp/$name.out" 2>/dev/null &
  pids+=($!)
  eval "exec $in>\"$tmp/$name.in\" $out<\"$tmp/$name.out\""
}

# Sends lines, then reads until a line starting with the mark; prints the milliseconds taken.
timed() {
  local in=$1 out=$2 mark=$3; shift 3
  local t0 line
  t0=$(now_ns)
  printf '%s\n' "$@" >&"$in"
  while IFS= read -r -t 600 line <&"$out"; do
    [[ $line == "$mark"* ]] && { echo $((($(now_ns) - t0) / 1000000)); return 0; }
  done
  echo 0; return 1
}

if [ -n "$stockfish" ] && [ -f "$data/perft.epd" ]; then
  echo "== perft against stockfish (best of $rounds, alternating; ms)"
  start sf 5 6 "$stockfish"
  start cv 7 8 "$corvala"
  printf 'uci\nsetoption name Threads value 1\nisready\n' >&5
  while IFS= read -r -t 60 line <&6; do [[ $line == readyok* ]] && break; done
  printf 'perft 1\n' >&7 # the first perft builds the attack tables
  while IFS= read -r -t 60 line <&8; do [[ $line == Nodes:* ]] && break; done
  logsum=0; n=0
  while IFS= read -r line && [ $n -lt 7 ]; do
    fen=${line%%;*}; fen=${fen% }
    best=0; bestCount=0
    while read -r d c; do
      [ "$c" -le 200000000 ] && [ "$c" -ge "$bestCount" ] && { best=$d; bestCount=$c; }
    done < <(echo "${line#*;}" | tr ';' '\n' | awk 'NF >= 2 { sub("D", "", $1); print $1, $2 }')
    sfBest=999999999; cvBest=999999999
    for ((r = 0; r < rounds; r++)); do
      s=$(timed 5 6 "Nodes searched" "position fen $fen" "go perft $best")
      c=$(timed 7 8 "Nodes:" "setboard $fen" "perft $best")
      [ "$s" -lt "$sfBest" ] && sfBest=$s
      [ "$c" -lt "$cvBest" ] && cvBest=$c
    done
    ratio=$(awk -v s="$sfBest" -v c="$cvBest" 'BEGIN { printf "%.2f", s / (c > 0 ? c : 1) }')
    printf '%-76s d%d %10d  stockfish %6d  corvala %6d  ratio %s\n' "$fen" "$best" "$bestCount" "$sfBest" "$cvBest" "$ratio"
    logsum=$(awk -v a="$logsum" -v r="$ratio" 'BEGIN { print a + log(r) }')
    n=$((n + 1))
  done <"$data/perft.epd"
  awk -v a="$logsum" -v n="$n" 'BEGIN { printf "perft ratio (stockfish time / corvala time), geometric mean of %d: %.2f\n", n, exp(a / n) }'
  printf 'quit\n' >&5; printf 'quit\n' >&7
  exec 5>&- 6<&- 7>&- 8<&-
else
  echo "== perft against stockfish: skipped (stockfish or perft.epd missing)"
fi

if [ -n "$polyglot" ] && [ -d "$data/pgn" ]; then
  echo "== book building against polyglot make-book -max-ply 40 (best of $rounds, alternating)"
  mkdir -p "$tmp/cv" "$tmp/pg"
  cp "$data"/pgn/*.pgn "$tmp/cv/"
  cat "$data"/pgn/*.pgn >"$tmp/pg/all.pgn"
  cvBest=999999; pgBest=999999; cvMem=0; pgMem=0
  for ((r = 0; r < rounds; r++)); do
    read -r pt pm < <( (cd "$tmp/pg" && /usr/bin/time -f '%e %M' "$polyglot" make-book -pgn all.pgn -bin book.bin -max-ply 40 >/dev/null 2>"$tmp/pg.err"; tail -1 "$tmp/pg.err"))
    read -r ct cm < <( (cd "$tmp/cv" && printf '\\buildbooks %s 40\nquit\n' "$tmp/cv" | /usr/bin/time -f '%e %M' "$corvala" >/dev/null 2>"$tmp/cv.err"; tail -1 "$tmp/cv.err"))
    awk -v a="$pt" -v b="$pgBest" 'BEGIN { exit !(a < b) }' && pgBest=$pt
    awk -v a="$ct" -v b="$cvBest" 'BEGIN { exit !(a < b) }' && cvBest=$ct
    pgMem=$pm; cvMem=$cm
  done
  printf 'polyglot %.2f s %d KiB   corvala %.2f s %d KiB (the whole program)\n' "$pgBest" "$pgMem" "$cvBest" "$cvMem"
  awk -v p="$pgBest" -v c="$cvBest" 'BEGIN { printf "book ratio (polyglot time / corvala time): %.2f\n", p / (c > 0 ? c : 0.01) }'
  md5sum "$tmp"/cv/*.cbk | sed "s|$tmp/cv/||"
else
  echo "== book building against polyglot: skipped (polyglot or the PGN folder missing)"
fi
