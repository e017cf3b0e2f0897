#pragma once
// The 32-byte move record written by the generator, read by make-move and marked by the search.

#include <cstdint>

namespace drnChess {

// Bits of clsMove::flags.
namespace MoveFlag {
inline constexpr std::uint32_t MovingMask = 0x0000000F;   // kind of the moving piece
inline constexpr std::uint32_t CapturedMask = 0x000000F0; // kind captured, 0 for none
inline constexpr std::uint32_t PromotionMask = 0x00000F00; // kind promoted to, 0 for none
inline constexpr std::uint32_t Castling = 0x00010000;
inline constexpr std::uint32_t Illegal = 0x00020000;  // also the end mark of a list and "no move"
inline constexpr std::uint32_t Loses = 0x00040000;    // root move loses by mate
inline constexpr std::uint32_t Mates = 0x00080000;    // root move mates
inline constexpr std::uint32_t Bound = 0x00100000;    // score is only a bound
inline constexpr std::uint32_t DoublePush = 0x00200000;
inline constexpr std::uint32_t EnPassant = 0x00400000;
inline constexpr std::uint32_t MateDistanceMask = 0xFF000000;
inline constexpr int MateDistanceShift = 24;
} // namespace MoveFlag

struct clsMove {
    std::uint32_t flags;
    std::int16_t value; // material gain for the mover
    std::int16_t order; // ordering score / search score
    std::uint64_t from; // single-bit origin
    std::uint64_t to;   // single-bit destination
    std::uint64_t extra; // en passant: captured pawn square; castling: rook origin | destination

    int Moving() const { return flags & MoveFlag::MovingMask; }
    int Captured() const { return (flags & MoveFlag::CapturedMask) >> 4; }
    int Promotion() const { return (flags & MoveFlag::PromotionMask) >> 8; }
    bool Has(std::uint32_t bit) const { return (flags & bit) != 0; }
    bool IsNull() const { return flags == 0 && from == 0 && to == 0; }
};
static_assert(sizeof(clsMove) == 32, "the move record is 32 bytes");

} // namespace drnChess
