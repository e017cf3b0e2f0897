#!/usr/bin/env bash
# How much of polyglot's own book Corvala's polyglot book holds, built from the same games:
# `polyglot make-book -min-game 1 -max-ply PLIES` against `\buildbooks DIR PLIES bin`, then the
# (position key, move) pairs of both files compared. Prints the pairs of each book, the pairs of
# polyglot's that Corvala's also holds, and up to ten that it misses; then polyglot's own
# `info-book` on Corvala's file and the number of lines its `dump-book` writes for each colour
# (both follow only moves of some weight, so the moves of lost games count as isolated there).
#   scripts/book-coverage.sh CORVALA_PROGRAM [PGN_DIR] [PLIES]
# Exit status 0 when every pair is covered, 1 when some are missing, 2 when it cannot run.
set -uo pipefail
corvala=$(readlink -f "${1:?usage: scripts/book-coverage.sh CORVALA_PROGRAM [PGN_DIR] [PLIES]}")
pgn=$(readlink -f "${2:-$(dirname "$0")/../../shared/data/pgn}")
plies=${3:-40}
polyglot=$(command -v polyglot || ls /usr/games/polyglot 2>/dev/null || true)
[ -n "$polyglot" ] || { echo "missing: polyglot (apt-get install polyglot)"; exit 2; }
ls "$pgn"/*.pgn >/dev/null 2>&1 || { echo "no .pgn files in $pgn"; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# One file of all the games, so that both programs make one book of the same games.
mkdir -p "$tmp/games"
cat "$pgn"/*.pgn >"$tmp/games/all.pgn"
(cd "$tmp" && "$polyglot" make-book -pgn games/all.pgn -bin polyglot.bin -min-game 1 -max-ply "$plies" \
  >"$tmp/polyglot.log" 2>&1) || { echo "polyglot make-book failed:"; cat "$tmp/polyglot.log"; exit 2; }
(cd "$tmp" && printf '\\buildbooks %s %s bin\nquit\n' "$tmp/games" "$plies" | "$corvala" >"$tmp/corvala.log" 2>&1)
ours="$tmp/games/all.bin"
[ -f "$ours" ] || { echo "Corvala wrote no book:"; tail -5 "$tmp/corvala.log"; exit 2; }

# Each 16-byte entry as "key move" in hex (8 and 2 bytes), sorted and without repeats.
pairs() { od -An -v -tx1 -w16 "$1" | awk 'NF == 16 { print $1$2$3$4$5$6$7$8, $9$10 }' | sort -u; }
pairs "$tmp/polyglot.bin" >"$tmp/theirs.txt"
pairs "$ours" >"$tmp/ours.txt"
theirs=$(wc -l <"$tmp/theirs.txt")
mine=$(wc -l <"$tmp/ours.txt")
covered=$(comm -12 "$tmp/theirs.txt" "$tmp/ours.txt" | wc -l)
echo "games: $(grep -c '^\[Event ' "$tmp/games/all.pgn") from $pgn, $plies plies"
echo "pairs in polyglot's book: $theirs"
echo "pairs in Corvala's book:  $mine ($(od -An -v -tx1 -w16 "$ours" | awk 'NF == 16 && $11$12 == "0000"' | wc -l) of weight 0, which polyglot does not write)"
echo "polyglot's pairs that Corvala's book holds: $covered"
comm -23 "$tmp/theirs.txt" "$tmp/ours.txt" | head -10 | sed 's/^/missing: /'

echo "== polyglot info-book on Corvala's book"
"$polyglot" info-book -bin "$ours" 2>&1 | tail -3
for colour in white black; do
  "$polyglot" dump-book -bin "$ours" -color "$colour" -out "$tmp/dump-$colour.txt" >/dev/null 2>&1
  echo "polyglot dump-book -color $colour: $(wc -l <"$tmp/dump-$colour.txt" 2>/dev/null || echo 0) lines"
done
[ "$covered" -eq "$theirs" ]
