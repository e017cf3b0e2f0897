#pragma once
// The time budget of one move: how long a think may take, from the clock as the protocol
// reports it. One budget serves the xboard driver, the UCI driver and the embedded tournament
// player, so a fix to the arithmetic reaches all three.

#include <cstdint>

#include "engine/searchlimits.h"

namespace drnChess {

// The mover's clock at the start of its think.
struct clsMoverClock {
    std::int64_t remainingMs = 0; // on the mover's clock; may be zero or negative (flag down)
    std::int64_t incrementMs = 0; // credited after each move
    // Moves left in this period, this one included (the last move of a period has 1); 0: the
    // rest of the game (sudden death).
    std::int64_t movesToGo = 0;
    std::int64_t fixedMoveMs = 0; // a fixed time per move ("st", "movetime"); 0: none
    std::int64_t overheadMs = 0; // kept back for the interface's own delays
    // The fixed time is the whole time to use, less the overhead (UCI "movetime"); without it
    // a tenth is kept back as well (xboard "st", where the GUI's own delays need it).
    bool wholeFixedTime = false;
};

// The plan for one move: the time aimed at (the soft limit, which the classic search also
// takes as its deadline) and the most it may ever take (the hard limit). Both are at least
// 1 ms: a budget of zero or less means "move now", never "do not move".
struct clsMoveBudget {
    std::int64_t planMs = 1;
    std::int64_t maxMs = 1;

    // The budget as search limits (depth and nodes unset).
    clsSearchLimits Limits() const;
};

// The budget:
//   - a fixed time per move keeps a tenth of it, at least 100 ms, for stopping, sending the move
//     and the interface's delays (half of it when it is shorter than 200 ms);
//   - otherwise the clock less 50 ms is shared over the moves to go plus one (the last move of
//     a period gets half of what is left in it) or over 40 moves in sudden death, and half the
//     increment is added (the other half covers the delays around each move), never more than
//     half of the clock;
//   - the hard limit lets a search finish an iteration it began: three times the plan, never
//     more than a third of the clock (and never less than the plan).
clsMoveBudget PlanMove(const clsMoverClock& clock);

} // namespace drnChess
