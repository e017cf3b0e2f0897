#!/usr/bin/env bash
# Installs, with apt-get, only the packages this project needs that are missing.
# Safe to run again and again: with everything present it does nothing.
set -euo pipefail

packages=(
  cmake g++ make            # the build
  clang-format              # the code's format, checked by make test
  clang                     # make fuzz (libFuzzer)
  libgtest-dev              # unit tests
  libbenchmark-dev          # make bench
  fairymax                  # real xboard peer for tests (driven by our own client only)
  phalanx hoichess sjeng    # real xboard peers under the xboard GUI (stable with `computer`)
  stockfish                 # real UCI peer for tests; perft speed reference in make bench
  polyglot                  # book-building speed reference in make bench; UCI adapter under the GUI
  gnuchess                  # ships smallbook.bin, the polyglot book the book tests probe
  glaurung                  # UCI peer under the xboard GUI for make strength (GLAURUNG=1)
  pgn-extract               # PGN validator for the written games
  parallel                  # runs the games of a tournament as separate jobs (README)
  xboard xvfb xauth xdotool # the real GUI, headless (xdotool types moves into it), for interop tests
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "# installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}"
