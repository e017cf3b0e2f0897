#pragma once
// Whether the core's position is one a game can be played from.

#include <string>

namespace drnChess {

class clsChessCore;

// Why the position cannot be played (not exactly one king of each colour, or the side not to
// move in check, so its king could be taken), or empty when it can. The position is unchanged.
std::string PositionProblem(clsChessCore& core);

} // namespace drnChess
