// The slider tables built from the known multipliers: each multiplier must send every blocker
// subset of its square to a slot that holds that subset's attacks (a wrong one makes two subsets
// with different attacks share a slot).

#include <bit>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "rules/sliders.h"

namespace drnChess {
namespace {

    using u64 = std::uint64_t;

    // Walks the four rays; with inner the last square of each ray is left out (the mask).
    u64 Rays(int sq, u64 blockers, const int (&dirs)[4][2], bool inner)
    {
        u64 set = 0;
        for (const auto& d : dirs) {
            int f = sq % 8 + d[0], r = sq / 8 + d[1];
            while (f >= 0 && f < 8 && r >= 0 && r < 8) {
                const bool last = f + d[0] < 0 || f + d[0] > 7 || r + d[1] < 0 || r + d[1] > 7;
                if (inner && last) break;
                const u64 bit = u64 { 1 } << (8 * r + f);
                set |= bit;
                if (blockers & bit) break;
                f += d[0];
                r += d[1];
            }
        }
        return set;
    }

    // Every blocker subset of each square's mask, with noise outside the mask besides: the
    // table's attacks are the walked ones.
    void ExpectTableWalksTheRays(const SliderSquare (&squares)[64], const int (&dirs)[4][2])
    {
        for (int sq = 0; sq < 64; ++sq) {
            const u64 mask = Rays(sq, 0, dirs, true);
            EXPECT_EQ(squares[sq].mask, mask) << "square " << sq;
            int wrong = 0;
            u64 subset = 0;
            do {
                const u64 noise = ~mask & (0x9E3779B97F4A7C15ULL * (subset + 1));
                if (squares[sq].Attacks(subset | noise) != Rays(sq, subset, dirs, false)) ++wrong;
                subset = (subset - mask) & mask;
            } while (subset != 0);
            EXPECT_EQ(wrong, 0) << "square " << sq;
        }
    }

    TEST(Sliders, EveryBlockerSubsetGivesTheWalkedAttacks)
    {
        constexpr int rook[4][2] = { { 0, 1 }, { 0, -1 }, { 1, 0 }, { -1, 0 } };
        constexpr int bishop[4][2] = { { 1, 1 }, { -1, 1 }, { 1, -1 }, { -1, -1 } };
        ExpectTableWalksTheRays(Sliders().rook, rook);
        ExpectTableWalksTheRays(Sliders().bishop, bishop);
    }

} // namespace
} // namespace drnChess
