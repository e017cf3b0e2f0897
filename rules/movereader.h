#pragma once
// The one reader of move texts: coordinate moves ("e2e4", "e7e8q", "e7e8=Q", castling as the
// king's move "e1g1"), SAN ("Nf3", "exd5", "Nbd2", "R1e2", "e8=Q", "e8Q", "O-O", "0-0-0",
// with or without "+", "#", "!" and "?"), and long forms ("Ng1-f3", "Pe4xPd5").

#include <optional>
#include <string_view>

#include "rules/clsmove.h"

namespace drnChess {

class clsChessCore;

// The legal move of the core's game position that the text names, or nothing. A text that
// reads as a coordinate move (ParseCoordinateMove) naming a legal move is that move;
// otherwise it is read as SAN or a long form, and the first legal move in generation order
// that fits is taken (so a piece pinned to its king never takes a move its twin can make,
// and a promotion without a piece named is the queen's).
// The position is unchanged; the root is current, with the position's pseudo-legal moves
// generated in its list.
std::optional<clsMove> ReadMove(clsChessCore& core, std::string_view text);

// The same move as ReadMove, found faster for the SAN of games: when the text names a piece kind
// and a target square (Nf3, exd5, R1e2, e8=Q), only the moves of that kind to that square are
// formed and tested for legality; castling (O-O) forms only the castling move. Every other text
// (coordinate moves, en passant, no legal move or more than one) is read by ReadMove. The position is
// unchanged; the node stack and move lists are left as they were, or as ReadMove leaves them when it was
// asked.
std::optional<clsMove> ReadPgnMove(clsChessCore& core, std::string_view text);

// Only the coordinate form, exact: the legal move with the squares and promotion of the text
// (a promotion move needs its letter, any other move must have none). Same side effects,
// except that a text without two squares leaves the core untouched.
std::optional<clsMove> ReadCoordinateMove(clsChessCore& core, std::string_view text);

} // namespace drnChess
