#include "engine/timebudget.h"

#include <algorithm>

namespace drnChess {

clsSearchLimits clsMoveBudget::Limits() const
{
    clsSearchLimits limits;
    limits.softMs = planMs;
    limits.hardMs = maxMs;
    return limits;
}

clsMoveBudget PlanMove(const clsMoverClock& clock)
{
    clsMoveBudget budget;
    if (clock.fixedMoveMs > 0) {
        const std::int64_t time = std::max<std::int64_t>(clock.fixedMoveMs - clock.overheadMs, 1);
        if (clock.wholeFixedTime) {
            budget.planMs = budget.maxMs = time;
            return budget;
        }
        const std::int64_t reserve = std::max<std::int64_t>(100, time / 10);
        budget.planMs = time > 2 * reserve ? time - reserve : time / 2;
        budget.planMs = std::max<std::int64_t>(budget.planMs, 1);
        budget.maxMs = budget.planMs;
        return budget;
    }
    std::int64_t left = clock.remainingMs - std::max<std::int64_t>(clock.overheadMs, 0);
    if (left > 100) left -= 50;
    const std::int64_t shares
        = clock.movesToGo > 0 ? std::min<std::int64_t>(clock.movesToGo, 1000000) + 1 : 40;
    std::int64_t plan = left / shares;
    // Half the increment: the other half pays for the delays around each move (reading it,
    // replying, the interface's own time), so a long game does not drain the clock. Shares are
    // two or more, so the plan is at most half the clock before the increment.
    if (clock.incrementMs > 0) plan += std::min(clock.incrementMs / 2, left / 2 - plan);
    budget.planMs = std::max<std::int64_t>(plan, 1);
    const std::int64_t thrice = budget.planMs > left / 9 ? left / 3 : 3 * budget.planMs;
    budget.maxMs = std::max(budget.planMs, thrice);
    return budget;
}

} // namespace drnChess
