// The time budget of one move: a table of clocks and the plan they give.

#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "engine/timebudget.h"

namespace drnChess {
namespace {

    struct BudgetCase {
        const char* what;
        clsMoverClock clock;
        std::int64_t plan;
        std::int64_t max;
    };

    TEST(TimeBudget, PlansFromTheClock)
    {
        constexpr std::int64_t Big = std::numeric_limits<std::int64_t>::max();
        const BudgetCase cases[] = {
            // remaining, increment, moves to go, fixed, overhead
            { "sudden death: 40 shares", { 300000, 0, 0, 0, 0 }, 299950 / 40, 3 * (299950 / 40) },
            { "half the increment is added", { 10000, 100, 0, 0, 0 }, 9950 / 40 + 50, 3 * (9950 / 40 + 50) },
            { "never more than half the clock", { 300, 1000, 0, 0, 0 }, 125, 125 },
            { "moves to go plus one shares", { 60000, 0, 5, 0, 0 }, 59950 / 6, 59950 / 3 },
            // The last move of a period: half of what is left in it, not the next period's base.
            { "last move of a period", { 59992, 0, 1, 0, 0 }, 59942 / 2, 59942 / 2 },
            { "overhead kept back", { 10100, 0, 0, 0, 100 }, 9950 / 40, 3 * (9950 / 40) },
            { "fixed time keeps a tenth", { 0, 0, 0, 10000, 0 }, 9000, 9000 },
            { "fixed time keeps at least 100 ms", { 0, 0, 0, 1000, 0 }, 900, 900 },
            { "a short fixed time: half", { 0, 0, 0, 150, 0 }, 75, 75 },
            { "a whole fixed time less the overhead", { 0, 0, 0, 1000, 30, true }, 970, 970 },
            { "a whole fixed time of no more than the overhead", { 0, 0, 0, 20, 30, true }, 1, 1 },
            // No time at all, or less than none: move now.
            { "empty clock", { 0, 0, 0, 0, 0 }, 1, 1 },
            { "flag down", { -5000, 0, 0, 0, 0 }, 1, 1 },
            { "negative fixed time is no fixed time", { -1000, 0, 0, -1000, 0 }, 1, 1 },
            { "huge clock does not overflow", { Big, Big, 0, 0, 0 }, (Big - 50) / 2, (Big - 50) / 2 },
        };
        for (const auto& c : cases) {
            const clsMoveBudget b = PlanMove(c.clock);
            EXPECT_EQ(b.planMs, c.plan) << c.what;
            EXPECT_EQ(b.maxMs, c.max) << c.what;
            const clsSearchLimits limits = b.Limits();
            EXPECT_EQ(limits.softMs, c.plan) << c.what;
            EXPECT_EQ(limits.hardMs, c.max) << c.what;
            EXPECT_FALSE(limits.infinite) << c.what;
        }
    }

    TEST(TimeBudget, TheHardLimitNeverExceedsAThirdOfTheClockUnlessThePlanDoes)
    {
        for (std::int64_t remaining : { 1000, 10000, 100000, 1000000 })
            for (std::int64_t moves : { 0, 1, 2, 10, 40 }) {
                const clsMoveBudget b = PlanMove({ remaining, 0, moves, 0, 0 });
                EXPECT_GE(b.maxMs, b.planMs);
                EXPECT_LE(b.maxMs, std::max(b.planMs, remaining / 3)) << remaining << " " << moves;
                EXPECT_LT(b.planMs, remaining) << remaining << " " << moves;
            }
    }

} // namespace
} // namespace drnChess
