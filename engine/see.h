#pragma once
// Static exchange evaluation: the material balance of the captures and recaptures on a move's
// destination, each side taking with its least valuable piece and free to stop.

#include "engine/fastnames.h"

namespace drnChess::strong {

// The gain of the move for the mover in centipawns once the exchange on its square is over.
int See(const FastPosition& board, Move move);

} // namespace drnChess::strong
