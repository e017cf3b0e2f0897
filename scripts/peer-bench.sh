#!/usr/bin/env bash
# Corvala beside its peers on this machine, measured in one run and alternating the two
# programs (the best of three rounds each), so that a loaded machine weighs on both alike:
#   perft: Corvala's `perft` against stockfish's `go perft`, single thread, on the first seven
#          lines of perft.epd (start position depth 6, Kiwipete depth 5 and the other standard
#          positions at their deepest listed depth of at most 200 M leaves); geometric mean;
#   books: `\buildbooks` on the shared PGN games against `polyglot make-book -max-ply 40` on
#          the same games: wall time (Corvala's command alone and its whole program) and peak
#          memory of the whole program.
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
  ms_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%d", (b - a) * 1000 }'; }
  # polyglot: the whole run (start, reading, writing its book), wall time and peak memory.
  polyglot_run() {
    local t0=$EPOCHREALTIME
    (cd "$tmp/pg" && /usr/bin/time -f '%M' -o "$tmp/pg.mem" "$polyglot" make-book -pgn all.pgn -bin book.bin \
      -max-ply 40 >/dev/null 2>&1)
    echo "$(ms_since "$t0") $(tail -1 "$tmp/pg.mem")"
  }
  # Corvala: the same games in its four files, four books. Timed twice: the \buildbooks command
  # inside the started program (from sending it to "# N games parsed!"), and the whole program
  # from start to exit, which includes the pause of 200 ms that ends every run; peak memory of
  # the whole program.
  corvala_run() {
    rm -f "$tmp/cvb.in" "$tmp/cvb.out" "$tmp/cv/"*.cbk
    mkfifo "$tmp/cvb.in" "$tmp/cvb.out"
    local t0=$EPOCHREALTIME t1 cmd line
    (cd "$tmp/cv" && exec /usr/bin/time -f '%M' -o "$tmp/cv.mem" "$corvala" <"$tmp/cvb.in" >"$tmp/cvb.out" 2>/dev/null) &
    local pid=$!
    exec 9>"$tmp/cvb.in" 3<"$tmp/cvb.out"
    printf 'ping 1\n' >&9
    while IFS= read -r -t 60 line <&3; do [[ $line == "pong 1"* ]] && break; done
    t1=$EPOCHREALTIME
    printf '\\buildbooks %s 40\n' "$tmp/cv" >&9
    while IFS= read -r -t 600 line <&3; do [[ $line == *"games parsed!"* ]] && break; done
    cmd=$(ms_since "$t1")
    printf 'quit\n' >&9
    cat <&3 >/dev/null
    exec 9>&- 3<&-
    wait "$pid"
    echo "$cmd $(ms_since "$t0") $(tail -1 "$tmp/cv.mem")"
  }
  pgBest=999999; cvBest=999999; cvWholeBest=999999; cvMem=0; pgMem=0
  for ((r = 0; r < rounds; r++)); do
    read -r pt pm < <(polyglot_run)
    read -r ct cw cm < <(corvala_run)
    [ "$pt" -lt "$pgBest" ] && pgBest=$pt
    [ "$ct" -lt "$cvBest" ] && cvBest=$ct
    [ "$cw" -lt "$cvWholeBest" ] && cvWholeBest=$cw
    [ "$pm" -gt "$pgMem" ] && pgMem=$pm
    [ "$cm" -gt "$cvMem" ] && cvMem=$cm
  done
  printf 'polyglot  %5d ms the whole run                            peak %6d KiB\n' "$pgBest" "$pgMem"
  printf 'corvala   %5d ms \\buildbooks, %5d ms the whole program   peak %6d KiB\n' "$cvBest" "$cvWholeBest" "$cvMem"
  awk -v p="$pgBest" -v c="$cvBest" -v w="$cvWholeBest" -v pm="$pgMem" -v cm="$cvMem" 'BEGIN {
    printf "book ratio (polyglot time / corvala \\buildbooks time): %.2f\n", p / (c > 0 ? c : 1)
    printf "book ratio, whole programs (with corvala'"'"'s start-up and exit pause): %.2f\n", p / (w > 0 ? w : 1)
    printf "book memory ratio (corvala peak / polyglot peak): %.2f\n", cm / (pm > 0 ? pm : 1) }'
  sha256sum "$tmp"/cv/*.cbk | sed "s|$tmp/cv/||"
else
  echo "== book building against polyglot: skipped (polyglot or the PGN folder missing)"
fi
