// The known slider multipliers: each must send every blocker subset of its square to a slot
// that holds that subset's attacks only (two subsets may share a slot when their attacks agree).

#include <bit>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "rules/magics.h"

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

    void ExpectEveryMagicFits(const u64 (&magics)[64], const int (&dirs)[4][2])
    {
        for (int sq = 0; sq < 64; ++sq) {
            const u64 mask = Rays(sq, 0, dirs, true);
            const int bits = std::popcount(mask);
            std::vector<u64> slots(std::size_t { 1 } << bits, ~u64 { 0 }); // no attack set is all 64 squares
            bool fits = true;
            u64 subset = 0;
            do {
                const u64 attacks = Rays(sq, subset, dirs, false);
                u64& slot = slots[static_cast<std::size_t>((subset * magics[sq]) >> (64 - bits))];
                if (slot != ~u64 { 0 } && slot != attacks) fits = false;
                slot = attacks;
                subset = (subset - mask) & mask;
            } while (subset != 0 && fits);
            EXPECT_TRUE(fits) << "square " << sq;
        }
    }

    TEST(Magics, EveryKnownMultiplierFitsItsSquare)
    {
        constexpr int rook[4][2] = { { 0, 1 }, { 0, -1 }, { 1, 0 }, { -1, 0 } };
        constexpr int bishop[4][2] = { { 1, 1 }, { -1, 1 }, { 1, -1 }, { -1, -1 } };
        ExpectEveryMagicFits(RookMagics, rook);
        ExpectEveryMagicFits(BishopMagics, bishop);
    }

} // namespace
} // namespace drnChess
