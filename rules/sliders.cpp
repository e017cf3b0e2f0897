#include "rules/sliders.h"

#include <bit>
#include <vector>

#include "rules/magics.h"

namespace drnChess {

namespace {

    using u64 = std::uint64_t;

    constexpr int RookSteps[4][2] = { { 1, 0 }, { -1, 0 }, { 0, 1 }, { 0, -1 } };
    constexpr int BishopSteps[4][2] = { { 1, 1 }, { 1, -1 }, { -1, 1 }, { -1, -1 } };

    // Walks the rays from the square (file = index % 8, rank = index / 8) to the first blocker;
    // with inner, each ray's last square is left out (the mask).
    u64 Rays(int sq, u64 blockers, const int (&steps)[4][2], bool inner)
    {
        u64 set = 0;
        for (const auto& s : steps) {
            int f = sq % 8 + s[0], r = sq / 8 + s[1];
            while (f >= 0 && f < 8 && r >= 0 && r < 8) {
                const bool last = f + s[0] < 0 || f + s[0] > 7 || r + s[1] < 0 || r + s[1] > 7;
                if (inner && last) break;
                const u64 bit = u64 { 1 } << (8 * r + f);
                set |= bit;
                if (blockers & bit) break;
                f += s[0];
                r += s[1];
            }
        }
        return set;
    }

    // Fills one slider kind: for each square its mask and multiplier, and its attack sets in the
    // storage; the squares' pointers are set once the storage has stopped growing.
    void Fill(SliderSquare (&squares)[64], const u64 (&magics)[64], const int (&steps)[4][2],
        std::vector<u64>& storage, std::vector<std::size_t>& offsets)
    {
        for (int sq = 0; sq < 64; ++sq) {
            SliderSquare& s = squares[sq];
            s.mask = Rays(sq, 0, steps, true);
            s.magic = magics[sq];
            s.shift = 64 - std::popcount(s.mask);
            offsets.push_back(storage.size());
            storage.resize(storage.size() + (std::size_t { 1 } << (64 - s.shift)));
            u64* slots = storage.data() + offsets.back();
            u64 subset = 0;
            do { // every subset of the mask (carry-rippler)
                slots[(subset * s.magic) >> s.shift] = Rays(sq, subset, steps, false);
                subset = (subset - s.mask) & s.mask;
            } while (subset != 0);
        }
    }

    SliderTables Build(std::vector<u64>& storage)
    {
        SliderTables t {};
        std::vector<std::size_t> rookOffsets, bishopOffsets;
        Fill(t.rook, RookMagics, RookSteps, storage, rookOffsets);
        Fill(t.bishop, BishopMagics, BishopSteps, storage, bishopOffsets);
        for (std::size_t sq = 0; sq < 64; ++sq) {
            t.rook[sq].attacks = storage.data() + rookOffsets[sq];
            t.bishop[sq].attacks = storage.data() + bishopOffsets[sq];
        }
        return t;
    }

} // namespace

const SliderTables& Sliders()
{
    static std::vector<u64> storage;
    static const SliderTables tables = Build(storage);
    return tables;
}

} // namespace drnChess
