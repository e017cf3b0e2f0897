#pragma once
// Positions read from EPD and PGN files for self-play openings and for the evaluation's tuning.

#include <string>
#include <vector>

namespace drnChess {

// A position with the result of the game it came from: 1 white won, 0.5 drawn, 0 black won.
struct LabelledPosition {
    std::string fen;
    double result = 0.5;
};

// Opening positions: each EPD or FEN line of the file, or the last position of each game of a
// PGN file (".pgn"). Empty, with the reason in error, when the file cannot be read.
std::vector<std::string> ReadOpeningFens(const std::string& path, std::string& error);

// Labelled positions: EPD lines with a c9 result ("1-0", "0-1", "1/2-1/2"), or from a PGN file
// the positions of each finished game after its first skipPlies plies, labelled with its
// Result. Lines and games without a result are skipped. False, with the reason, when the file
// cannot be read.
bool ReadLabelledPositions(
    const std::string& path, int skipPlies, std::vector<LabelledPosition>& out, std::string& error);

} // namespace drnChess
