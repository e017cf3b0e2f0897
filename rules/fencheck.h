#pragma once
// The one strict reading of a FEN that comes from outside (a GUI's setboard or position, an EPD
// line, an opening suite). The core's own FEN reader is lenient by design; everything a user
// or a peer hands in passes through here first, so that a malformed text is refused with its
// reason instead of becoming a shifted or impossible board.

#include <string>
#include <string_view>

namespace drnChess {

class clsChessCore;

enum class FenText {
    Position, // four fields, then at most the two counters
    EpdLine, // four fields, the counters if they come next, then EPD operations
};

struct clsFenReading {
    std::string problem; // empty when the text is a FEN
    std::string fen; // the text with castling rights the board cannot have dropped
};

// Checks the text's fields: eight ranks of eight squares, known piece letters, no pawn on the
// first or last rank, one king of each colour, side w or b, castling letters from KQkq or -,
// an en passant square on the rank behind a pawn of the side that just moved, counters that
// are whole numbers. Castling rights whose king or rook is not on its square are dropped.
clsFenReading ReadFenStrictly(std::string_view text, FenText kind);

// Reads the text strictly and loads it into the core when it is a position a game can be played
// from (the side not to move not in check as well). Returns the reason when it is not; the
// core's position is then undefined and the caller restores its own. `loaded`, when given,
// receives the text that was loaded (castling rights dropped as above).
std::string LoadFenStrictly(
    clsChessCore& core, std::string_view text, FenText kind, std::string* loaded = nullptr);

} // namespace drnChess
