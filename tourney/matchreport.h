#pragma once
// The lines a person reads while a command-line match runs: each game's start and end, the
// running score of the pairing, its Elo, LOS and draw ratio, and the tables at the end. Pure
// text: nothing here prints or reads a clock.

#include <cstdint>
#include <string>
#include <vector>

#include "tourney/matchstats.h"

namespace drnChess {

// "Started game 3 of 10 (A vs B)".
std::string StartedGameLine(int number, int total, const std::string& white, const std::string& black);

// Why a game ended, as the line after its result says it: "White mates", "Draw by stalemate",
// "Black loses on time", "White wins by adjudication", "Draw by adjudication", "Black
// resigns", "White makes an illegal move", "Black's engine crashed", "Game aborted".
std::string ResultComment(std::uint32_t code);

// "Finished game 3 (A vs B): 1-0 {White mates}".
std::string FinishedGameLine(
    int number, const std::string& white, const std::string& black, std::uint32_t code);

// "Stopped game 7 (A vs B): not counted" for a game the SPRT's verdict stopped unfinished.
std::string StoppedGameLine(int number, const std::string& white, const std::string& black);

// A game's PGN (as the tournament writes it) cut to the least a reader needs: the seven
// standard tags in their order (and SetUp and FEN when the game starts from a position), the
// moves without any comment, and the result's comment (ResultComment of the code) before the
// result. Lines end in CR LF like the tournament's files.
std::string MinimalPgn(const std::string& pgn, std::uint32_t code);

// "Score of A vs B: 5 - 3 - 2  [0.600] 10" (wins, losses, draws of A; A's score; games).
std::string ScoreOfLine(const std::string& first, const std::string& second, const clsWLD& r);

// "Elo difference: +70.4 +/- 150.2, LOS: 89.0 %, DrawRatio: 20.0 %"; an error that cannot be
// told (fewer than two games, or a score of 0 or 1) says "+/- unknown".
std::string EloLine(const clsWLD& r);

// One player's games in the final tables: its totals and its totals against each opponent.
struct clsCrossEntry {
    std::string name;
    clsWLD total;
    std::vector<clsWLD> against; // by opponent index; an empty record for itself or unmet ones
};

// The final table: a header, then one line per player, best score first, with its rank, Elo
// against the field with the error, games, score in percent and draws in percent, and its
// points against each opponent ("1.5/2", "-" for itself).
std::vector<std::string> CrossTableLines(const std::vector<clsCrossEntry>& players);

} // namespace drnChess
