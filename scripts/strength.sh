#!/usr/bin/env bash
# Measures Corvala's playing strength: matches under the real xboard GUI (headless, through
# scripts/xboard-match.sh) against Debian's xboard engines, and for each the score, W-L-D and
# the Elo difference with its 95 % error. Long: never part of `make test`.
#
#   scripts/strength.sh [CORVALA]            (default build/release/corvala)
#   environment:
#     SEARCH=strong|classic   Corvala's search (default strong)
#     GAMES=20                games per opponent, colours alternating
#     TC="-tc 0:10 -inc 0.1"  xboard time options
#     OPPONENTS="phalanx -l-;hoichess -x;sjeng"   ';'-separated commands (empty: none)
#     GLAURUNG=1              also glaurung (UCI) through polyglot, when both are installed
#     PARALLEL=2              matches run at once (at most 2 on a 2-core machine)
#     OUT=out/strength        where the games and logs go
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
corvala=${1:-build/release/corvala}
search=${SEARCH:-strong}
games=${GAMES:-20}
read -r -a timeopts <<<"${TC:--tc 0:10 -inc 0.1}"
parallel=${PARALLEL:-1}
[ "$parallel" -gt 2 ] && parallel=2
out=${OUT:-out/strength}
export PATH="$PATH:/usr/games"

opponents=()
# An empty OPPONENTS (set but empty) plays none of the three, e.g. with GLAURUNG=1 alone.
[ -n "${OPPONENTS-phalanx -l-;hoichess -x;sjeng}" ] && IFS=';' read -r -a opponents <<<"${OPPONENTS-phalanx -l-;hoichess -x;sjeng}"
if [ "${GLAURUNG:-0}" = 1 ] && command -v polyglot >/dev/null && command -v glaurung >/dev/null; then
  polyini=$(mktemp --suffix=.ini)
  printf '[PolyGlot]\nEngineCommand = glaurung\nEngineDir = .\nBook = false\n[Engine]\n' >"$polyini"
  opponents+=("polyglot $polyini")
fi

# W L D for Corvala from a PGN file.
tally() {
  awk '
    /^\[White "/ { white = tolower($0) }
    /^\[Black "/ { black = tolower($0) }
    /^\[Result "/ {
      r = $2; gsub(/[]"]/, "", r)
      ours = (white ~ /corvala/) ? "w" : (black ~ /corvala/) ? "b" : ""
      if (ours == "" || r == "*") next
      if (r == "1/2-1/2") d++
      else if ((r == "1-0") == (ours == "w")) w++
      else l++
    }
    END { printf "%d %d %d\n", w, l, d }' "$1"
}

# "score% W-L-D Elo +-error" from W L D.
report() {
  awk -v w="$1" -v l="$2" -v d="$3" '
    function elo(s) { if (s <= 0) s = 0.001; if (s >= 1) s = 0.999; return -400 * log(1 / s - 1) / log(10) }
    BEGIN {
      n = w + l + d
      if (n == 0) { print "no games"; exit }
      s = (w + d / 2) / n
      var = (w * (1 - s) ^ 2 + l * (0 - s) ^ 2 + d * (0.5 - s) ^ 2) / n
      sd = sqrt(var / n)
      err = (elo(s + 1.96 * sd) - elo(s - 1.96 * sd)) / 2
      printf "%5.1f%%  %d-%d-%d  Elo %+.0f +- %.0f (%d games)\n", 100 * s, w, l, d, elo(s), err, n
    }'
}

run_one() {
  local opponent=$1 dir=$2
  OPPONENT="$opponent" CORVALA_ARGS="-search=$search" \
    bash "$here/xboard-match.sh" "$corvala" "$games" "$dir" "${timeopts[@]}" >"$dir.log" 2>&1
}

mkdir -p "$out"
echo "# Corvala ($search search) at ${timeopts[*]}, $games games per opponent; load: $(cut -d' ' -f1-3 /proc/loadavg)"
pids=()
dirs=()
for opponent in "${opponents[@]}"; do
  name=$(basename "${opponent%% *}")
  [ "$name" = polyglot ] && name=glaurung
  dir="$out/$search-$name"
  mkdir -p "$dir"
  run_one "$opponent" "$dir" &
  pids+=($!)
  dirs+=("$dir")
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do sleep 2; done
done
for p in "${pids[@]}"; do wait "$p"; done

for dir in "${dirs[@]}"; do
  name=${dir##*/}
  if [ -s "$dir/match.pgn" ]; then
    read -r w l d < <(tally "$dir/match.pgn")
    printf "%-22s %s\n" "$name" "$(report "$w" "$l" "$d")"
  else
    printf "%-22s no games (see %s.log)\n" "$name" "$dir"
  fi
  grep -E "lost on time|illegal|protocol error" "$dir.log" | head -3 | sed 's/^/    /'
done
echo "# load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
