#!/usr/bin/env bash
# The benchmarks of `make bench`: deep perft over the shared positions (every listed depth),
# the search node-count signature with its speed, book building from the shared PGN games, and
# the match runner's own cost per game.
#   scripts/bench.sh BUILD_DIR
set -euo pipefail
dir=${1:-build/bench}
status=0
for b in perft_bench search_bench book_bench bookfile_bench; do
  exe="$dir/bench/$b"
  [ -x "$exe" ] || exe="$dir/$b"
  if [ ! -x "$exe" ]; then echo "== $b: not built"; status=1; continue; fi
  echo "== $b"
  "$exe" || status=1
done
# Corvala beside stockfish (perft) and polyglot (book building), when they are installed.
corvala="$dir/corvala"
[ -x "$corvala" ] || corvala="$dir/app/corvala"
if [ -x "$corvala" ]; then
  bash "$(dirname "$0")/peer-bench.sh" "$corvala" || status=1
  # The match runner's own cost per game (stockfish against fairymax at 1 s + 0.01 s).
  bash "$(dirname "$0")/match-throughput.sh" "$corvala" || status=1
else
  echo "== peer comparison: the corvala program is not built"
fi
exit $status
