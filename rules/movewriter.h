#pragma once
// The one writer of move texts for game records and protocols: the coordinate form and SAN.
// (The engine's own listings use MoveToText's short and long forms.)

#include <string>

#include "rules/clsmove.h"

namespace drnChess {

class clsChessCore;

// "e2e4", "e7e8q" (promotion letter in lower case, no "="), castling as the king's move
// "e1g1". A record without both squares gives the empty text.
std::string CoordinateText(const clsMove& move);

// The SAN of a legal move of the core's position, without the check mark: "Nf3", "exd5",
// "e8=Q", "O-O", "O-O-O"; a piece names as much of its origin as tells it from a twin of the
// same kind that can legally reach the same square (file first, then rank, then both).
// The core's node stack is reset; its position is unchanged.
std::string SanText(clsChessCore& core, const clsMove& move);

// For the position after a move: "#" when the side to move is checkmated, "+" when it is in
// check, else empty. The core's node stack is reset.
std::string CheckMarkText(clsChessCore& core);

} // namespace drnChess
