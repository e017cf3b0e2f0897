#pragma once
// Attack tables of the generator, the attack test and the evaluation.
//
// The tables are computed at compile time, so they are complete before any static initialiser
// runs and are shared read-only between threads without a guard.

#include <array>
#include <cstdint>

#include "rules/bits.h"

namespace drnChess {

// Ray directions, indexes of Rays. Odd directions run towards higher bit indices, even ones
// towards lower indices. Each ray runs from the square (excluded) to the board edge.
enum Direction : int {
    AllLines = 0,
    North = 1, // +8
    East = 2, // -1, towards the h-file
    West = 3, // +1, towards the a-file
    South = 4, // -8
    NorthEast = 5, // +7
    SouthEast = 6, // -9
    NorthWest = 7, // +9
    SouthWest = 8, // -7
    RookLines = 9, // union of 1-4
    BishopLines = 10 // union of 5-8
};

using SquareTable = std::array<u64, 64>;
using ByteTable = std::array<u64, 256>;

namespace detail {
    // Squares from (file, rank) stepping (df, dr) to the edge, the start excluded.
    constexpr u64 Walk(int file, int rank, int df, int dr)
    {
        u64 r = 0;
        for (int f = file + df, k = rank + dr; f >= 0 && f < 8 && k >= 0 && k < 8; f += df, k += dr)
            r |= u64 { 1 } << (8 * k + (7 - f));
        return r;
    }
    // Squares at the given (file, rank) offsets from the square that lie on the board.
    template <std::size_t N> constexpr u64 Jumps(int sq, const int (&offsets)[N][2])
    {
        const int file = 7 - (sq & 7), rank = sq >> 3;
        u64 r = 0;
        for (const auto& o : offsets) {
            const int f = file + o[0], k = rank + o[1];
            if (f >= 0 && f < 8 && k >= 0 && k < 8) r |= u64 { 1 } << (8 * k + (7 - f));
        }
        return r;
    }
    constexpr std::array<SquareTable, 11> MakeRays()
    {
        std::array<SquareTable, 11> t {};
        // (file step, rank step) per direction 1..8; file steps towards the h-file are +1.
        constexpr int step[9][2] = { { 0, 0 }, { 0, 1 }, { 1, 0 }, { -1, 0 }, { 0, -1 }, { 1, 1 }, { 1, -1 },
            { -1, 1 }, { -1, -1 } };
        for (int s = 0; s < 64; ++s) {
            const int file = 7 - (s & 7), rank = s >> 3;
            for (int d = 1; d <= 8; ++d)
                t[d][s] = Walk(file, rank, step[d][0], step[d][1]);
            t[RookLines][s] = t[1][s] | t[2][s] | t[3][s] | t[4][s];
            t[BishopLines][s] = t[5][s] | t[6][s] | t[7][s] | t[8][s];
            t[AllLines][s] = t[RookLines][s] | t[BishopLines][s];
        }
        return t;
    }
    constexpr SquareTable MakeKnight()
    {
        constexpr int o[8][2]
            = { { 1, 2 }, { 2, 1 }, { 2, -1 }, { 1, -2 }, { -1, -2 }, { -2, -1 }, { -2, 1 }, { -1, 2 } };
        SquareTable t {};
        for (int s = 0; s < 64; ++s)
            t[s] = Jumps(s, o);
        return t;
    }
    constexpr SquareTable MakeKing()
    {
        constexpr int o[8][2]
            = { { 1, 1 }, { 1, 0 }, { 1, -1 }, { 0, -1 }, { -1, -1 }, { -1, 0 }, { -1, 1 }, { 0, 1 } };
        SquareTable t {};
        for (int s = 0; s < 64; ++s)
            t[s] = Jumps(s, o);
        return t;
    }
    constexpr SquareTable MakeKingZone()
    {
        SquareTable t {};
        for (int s = 0; s < 64; ++s) {
            const int file = 7 - (s & 7), rank = s >> 3;
            for (int df = -2; df <= 2; ++df)
                for (int dr = -2; dr <= 2; ++dr) {
                    if ((df == 2 || df == -2) && (dr == 2 || dr == -2)) continue;
                    const int f = file + df, k = rank + dr;
                    if (f >= 0 && f < 8 && k >= 0 && k < 8) t[s] |= u64 { 1 } << (8 * k + (7 - f));
                }
        }
        return t;
    }
    constexpr std::array<SquareTable, 2> MakePawnAttacks()
    {
        std::array<SquareTable, 2> t {};
        constexpr int white[2][2] = { { -1, 1 }, { 1, 1 } };
        constexpr int black[2][2] = { { -1, -1 }, { 1, -1 } };
        for (int s = 0; s < 64; ++s) {
            t[0][s] = Jumps(s, white);
            t[1][s] = Jumps(s, black);
        }
        return t;
    }
    constexpr u64 Spread(unsigned byte)
    {
        return static_cast<u64>(byte & 0xFF) * 0x0101010101010101ULL;
    }
    constexpr ByteTable MakeHighestBitFill()
    {
        ByteTable t {};
        for (unsigned x = 1; x < 256; ++x)
            t[x] = Spread(1u << (std::bit_width(x) - 1));
        return t;
    }
    constexpr ByteTable MakeSpanBelowTop()
    {
        ByteTable t {};
        for (unsigned x = 1; x < 256; ++x) {
            const int top = std::bit_width(x) - 1;
            const unsigned rest = x & ~(1u << top);
            const int low = rest ? std::bit_width(rest) - 1 : -1; // second highest bit, or below bit 0
            unsigned span = 0;
            for (int b = low + 1; b < top; ++b)
                span |= 1u << b;
            t[x] = Spread(span);
        }
        return t;
    }
    constexpr ByteTable MakeSpanAboveBottom()
    {
        ByteTable t {};
        for (unsigned x = 1; x < 256; ++x) {
            const int bottom = std::countr_zero(x);
            const unsigned rest = x & ~(1u << bottom);
            const int high = rest ? std::countr_zero(rest) : 8; // second lowest bit, or above bit 7
            unsigned span = 0;
            for (int b = bottom + 1; b < high; ++b)
                span |= 1u << b;
            t[x] = Spread(span);
        }
        return t;
    }
} // namespace detail

// Rays[direction][square], directions as in Direction.
inline constexpr std::array<SquareTable, 11> Rays = detail::MakeRays();
inline constexpr SquareTable KnightAttacks = detail::MakeKnight();
// The up to eight squares next to the square.
inline constexpr SquareTable KingAttacks = detail::MakeKing();
// The 5 x 5 block centred on the square, without its four corners, clipped, the square included.
inline constexpr SquareTable KingZone = detail::MakeKingZone();
// [0]: squares a white pawn on the square attacks; [1]: the same for a black pawn.
inline constexpr std::array<SquareTable, 2> PawnAttacks = detail::MakePawnAttacks();
// For a byte: its highest set bit, repeated in all eight bytes; 0 for 0.
inline constexpr ByteTable HighestBitFill = detail::MakeHighestBitFill();
// For a byte: the bits strictly between its two highest set bits (all bits below the top one
// when it has one bit), repeated in all eight bytes; 0 for 0.
inline constexpr ByteTable SpanBelowTop = detail::MakeSpanBelowTop();
// For a byte: the bits strictly between its two lowest set bits (all bits above the bottom one
// when it has one bit), repeated in all eight bytes; 0 for 0.
inline constexpr ByteTable SpanAboveBottom = detail::MakeSpanAboveBottom();

// The tables above are constants computed by the compiler, complete before any code runs.
// Engine set-up calls BuildTables() as the moment the tables must be ready; it has nothing
// left to do and may be called any number of times, from any thread or static initialiser.
inline void BuildTables() { }

// The part of a ray from the square up to and including its nearest occupied square
// (the whole ray when nothing is in the way).
inline u64 RayUpToBlocker(int direction, int square, u64 occupied)
{
    const u64 ray = Rays[direction][square];
    const u64 blockers = ray & occupied;
    if (!blockers) return ray;
    const int nearest = (direction & 1) ? SquareIndex(blockers) : HighestIndex(blockers);
    return ray & ~Rays[direction][nearest];
}

} // namespace drnChess
