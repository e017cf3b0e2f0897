#pragma once
// What a think tells its caller after each finished iteration. The engine formats no protocol
// text: the front end (xboard, UCI) turns the report into its own lines.

#include <cstdint>
#include <functional>
#include <vector>

#include "rules/clsmove.h"

namespace drnChess {

struct clsIterationReport {
    int depth = 0; // plies of the iteration
    int selDepth = 0; // the deepest ply reached
    int scoreCp = 0; // centipawns from the mover's side (when not a mate)
    int mateMoves = 0; // mate in this many moves: > 0 the mover mates, < 0 it is mated; 0: none
    std::uint64_t nodes = 0;
    std::int64_t ms = 0; // since the think started
    std::vector<clsMove> pv; // the principal variation, best move first (at least the best move)
    int multipv = 1; // 1: the best line; 2, 3, ...: the next ones, with other first moves
};

// Called on the engine thread after each finished iteration; set while the engine is idle.
using IterationListener = std::function<void(const clsIterationReport&)>;

} // namespace drnChess
