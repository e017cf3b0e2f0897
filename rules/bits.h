#pragma once
// Square and bit helpers shared by every bitboard routine.
//
// Bit index of a square = 8 * rank + (7 - file): h1 is bit 0, a1 bit 7, h8 bit 56, a8 bit 63.
// Loops over a bitboard always take the lowest set bit first (h1, g1, ..., a1, h2, ..., a8),
// which fixes the order of every generated list.

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <string_view>

namespace drnChess {

using u64 = std::uint64_t;

namespace detail {
    constexpr std::array<u64, 64> MakeSquareBit()
    {
        std::array<u64, 64> t {};
        for (int i = 0; i < 64; ++i)
            t[i] = u64 { 1 } << i;
        return t;
    }
    constexpr std::array<std::uint8_t, 256> MakeBitLength()
    {
        std::array<std::uint8_t, 256> t {};
        for (int x = 0; x < 256; ++x)
            t[x] = static_cast<std::uint8_t>(std::bit_width(static_cast<unsigned>(x)));
        return t;
    }
    constexpr std::array<std::uint8_t, 256> MakePopCount8()
    {
        std::array<std::uint8_t, 256> t {};
        for (int x = 0; x < 256; ++x)
            t[x] = static_cast<std::uint8_t>(std::popcount(static_cast<unsigned>(x)));
        return t;
    }
} // namespace detail

// 1 << index.
inline constexpr std::array<u64, 64> SquareBit = detail::MakeSquareBit();
// Position of the highest set bit plus one (0 for 0).
inline constexpr std::array<std::uint8_t, 256> BitLength = detail::MakeBitLength();
// Number of set bits of a byte.
inline constexpr std::array<std::uint8_t, 256> PopCount8 = detail::MakePopCount8();

inline constexpr u64 FileA = 0x8080808080808080ULL;
inline constexpr u64 FileH = 0x0101010101010101ULL;
inline constexpr u64 Rank1 = 0x00000000000000FFULL;
inline constexpr u64 Rank2 = 0x000000000000FF00ULL;
inline constexpr u64 Rank3 = 0x0000000000FF0000ULL;
inline constexpr u64 Rank4 = 0x00000000FF000000ULL;
inline constexpr u64 Rank5 = 0x000000FF00000000ULL;
inline constexpr u64 Rank6 = 0x0000FF0000000000ULL;
inline constexpr u64 Rank7 = 0x00FF000000000000ULL;
inline constexpr u64 Rank8 = 0xFF00000000000000ULL;

// Index 0..63 of the lowest set bit; 64 for an empty board (callers guard against that).
constexpr int SquareIndex(u64 b)
{
    return std::countr_zero(b);
}
// Number of set bits (equal to the sum of PopCount8 over the eight bytes).
constexpr int PopCount(u64 b)
{
    return std::popcount(b);
}
constexpr u64 LowestBit(u64 b)
{
    return b & (0 - b);
}
// The highest set bit alone; 0 for 0.
constexpr u64 HighestBit(u64 b)
{
    return b ? u64 { 1 } << (63 - std::countl_zero(b)) : 0;
}
// Index of the highest set bit; b must not be 0.
constexpr int HighestIndex(u64 b)
{
    return 63 - std::countl_zero(b);
}

// Two-character name of a single-bit square ("e4"). An empty board gives "i1".
std::string SquareToText(u64 square);
// Single-bit square named by the first two characters ('a'..'h', '1'..'8'); 0 otherwise.
// Further characters are ignored.
u64 TextToSquare(std::string_view text);

} // namespace drnChess
