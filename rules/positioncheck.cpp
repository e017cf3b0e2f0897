#include "rules/positioncheck.h"

#include <bit>
#include <utility>

#include "rules/clschesscore.h"

namespace drnChess {

std::string PositionProblem(clsChessCore& core)
{
    const clsBoard& b = core.board;
    if (std::popcount(b.white() & b.kings()) != 1 || std::popcount(b.black() & b.kings()) != 1)
        return "not exactly one king of each colour";
    // The side not to move is in check when its king is attacked with the sides swapped.
    clsBoard flipped = b;
    flipped.SwitchSide();
    std::swap(core.board, flipped);
    const bool capturable = core.IsAttacked(core.board.own() & core.board.kings());
    std::swap(core.board, flipped);
    return capturable ? "the side not to move is in check" : "";
}

} // namespace drnChess
