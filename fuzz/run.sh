#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, each from a corpus seeded from the shared test data
# and the project's own test files, and prints the executions of each.
#   bash fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET] [TARGET...]
# Exits non-zero when a target found a crash (its reproducer is left in BUILD_DIR/crashes).
set -uo pipefail

build=${1:?build folder}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
root=$(cd "$(dirname "$0")/.." && pwd)
data=${CORVALA_SHARED_DATA:-$root/../shared/data}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_xml fuzz_fen fuzz_move fuzz_pgn fuzz_epd fuzz_book fuzz_soul fuzz_xboard fuzz_uci fuzz_tourneyfiles)

seed() { # seed TARGET NAME TEXT: one seed file, unless it is there already
    mkdir -p "$build/corpus/$1"
    printf '%b' "$3" > "$build/corpus/$1/seed_$2"
}

# Seeds from the shared data (skipped when absent) and the repository's test files.
epds=()
[ -d "$data/epd" ] && epds=("$data"/epd/*.epd)
n=0
for f in "${epds[@]}" "$root/tests/data/mate_in_one.epd"; do
    [ -f "$f" ] || continue
    while IFS= read -r line; do # every 40th line of each suite
        n=$((n + 1))
        fen=$(cut -d' ' -f1-4 <<< "$line")
        seed fuzz_epd "e$n" "$line"
        seed fuzz_fen "f$n" "$fen"
        seed fuzz_xboard "x$n" "new\nforce\nsetboard $fen\n\\\\moves\nbk\nundo\n"
    done < <(awk 'NR % 40 == 1' "$f")
done
[ -f "$data/perft.epd" ] && head -n 30 "$data/perft.epd" | while IFS= read -r line; do
    n=$((n + 1)); seed fuzz_fen "p$RANDOM$n" "$(cut -d';' -f1 <<< "$line")"; done
mkdir -p "$build/corpus/fuzz_pgn"
for f in "$data"/pgn/*.pgn; do # the first games of each file, one seed each
    [ -f "$f" ] || continue
    awk -v out="$build/corpus/fuzz_pgn/seed_$(basename "$f")_" '/^\[Event / { g++ } g > 0 && g <= 25 { print > (out g) }' "$f"
done
cp "$root/tests/data/two_games.pgn" "$root/book/tests/data/annotated.pgn" "$build/corpus/fuzz_pgn/" 2>/dev/null
i=0
for m in e4 e2e4 Nf3 g1f3 O-O 0-0-0 e1g1 exd6 b7a8=Q bxa8=N axb8q Qxe7+ "Nbd7" "R1a3" "c5d6" "e5f6"; do
    for p in 0 1 2 3; do i=$((i + 1)); seed fuzz_move "m$i" "\\x0$p$m"; done
done
for s in "Simple5" "Mine=10 20 30 40 50 60 70 80 90 100 110 120 130 140 150 160" \
    "x=-5 0 5 -100 100 0 0 0 1 1 1 1 2 2 2 2" "bare"; do
    i=$((i + 1)); seed fuzz_soul "s$i" "$s"
done
seed fuzz_uci "startpos" "startpos moves e2e4 e7e5 g1f3\ngo wtime 1000 btime 900 winc 10 binc 10 movestogo 5\nfen 8/P7/8/8/8/8/k7/7K w - - 0 1 moves a7a8q\ngo depth 3 searchmoves e2e4 d2d4 nodes 100 mate 2 infinite ponder movetime 5\n"
seed fuzz_xboard "protocol" "xboard\nprotover 2\nnew\nforce\nusermove e2e4\ne7e5\nlevel 40 5 0\nst 2\nsd 4\ntime 3000\notim 3000\nping 7\nresult 1-0 {x}\nundo\nremove\n\\\\board\n\\\\soul Simple5\npost\nnopost\nname x\nrating 1 2\ncomputer\nics -\nhard\neasy\n"
for f in "$root"/book/tests/data/*.cbk; do [ -f "$f" ] && mkdir -p "$build/corpus/fuzz_book" && cp "$f" "$build/corpus/fuzz_book/"; done
for f in "$root"/tourney/tests/data/*.xml; do
    [ -f "$f" ] || continue
    mkdir -p "$build/corpus/fuzz_xml" "$build/corpus/fuzz_tourneyfiles"
    cp "$f" "$build/corpus/fuzz_xml/"; cp "$f" "$build/corpus/fuzz_tourneyfiles/"
done
seed fuzz_tourneyfiles "options" '<tourney name="t"><options><openings file="a.pgn" format="pgn" order="random" plies="8" start="2" seed="3"/><sprt elo0="0" elo1="5" alpha="0.05" beta="0.05" model="normalized"/></options></tourney>'
seed fuzz_tourneyfiles "state" 'corvala tournament state 1\nfingerprint\t0123456789abcdef\ngame\t0\t6\tcup_001.pgn\nend\t1\t0000000000000000\n'

# One run per target; libFuzzer's closing line gives the executions.
mkdir -p "$build/crashes"
status=0
summary=()
for t in "${targets[@]}"; do
    exe="$build/$t"
    [ -x "$exe" ] || { summary+=("$t: not built"); status=1; continue; }
    mkdir -p "$build/corpus/$t"
    log="$build/$t.log"
    "$exe" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -close_fd_mask=1 \
        -artifact_prefix="$build/crashes/$t-" "$build/corpus/$t" > "$log" 2>&1
    rc=$?
    runs=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | tail -1)
    if [ $rc -eq 0 ]; then
        summary+=("$t: ${runs:-?}, clean")
    else
        summary+=("$t: exit $rc, $(grep -m1 -o 'ERROR: [A-Za-z]*: [^ ]*\|runtime error: .*' "$log" | head -1) (see $log)")
        status=1
    fi
done
printf '%s\n' "${summary[@]}"
exit $status
