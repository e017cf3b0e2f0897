#pragma once
// The 32-byte move record written by the generator, read by make-move and marked by the search.

#include <cstdint>
#include <string>
#include <string_view>

namespace drnChess {

// Bits of clsMove::flags.
namespace MoveFlag {
    inline constexpr std::uint32_t MovingMask = 0x0000000F; // kind of the moving piece
    inline constexpr std::uint32_t CapturedMask = 0x000000F0; // kind captured, 0 for none
    inline constexpr std::uint32_t PromotionMask = 0x00000F00; // kind promoted to, 0 for none
    inline constexpr std::uint32_t Castling = 0x00010000;
    inline constexpr std::uint32_t Illegal = 0x00020000; // also the end mark of a list and "no move"
    inline constexpr std::uint32_t Loses = 0x00040000; // root move loses by mate
    inline constexpr std::uint32_t Mates = 0x00080000; // root move mates
    inline constexpr std::uint32_t Bound = 0x00100000; // score is only a bound
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
    std::uint64_t to; // single-bit destination
    std::uint64_t extra; // en passant: captured pawn square; castling: rook origin | destination

    int Moving() const { return flags & MoveFlag::MovingMask; }
    int Captured() const { return (flags & MoveFlag::CapturedMask) >> 4; }
    int Promotion() const { return (flags & MoveFlag::PromotionMask) >> 8; }
    bool Has(std::uint32_t bit) const { return (flags & bit) != 0; }
    bool IsNull() const { return flags == 0 && from == 0 && to == 0; }
};
static_assert(sizeof(clsMove) == 32, "the move record is 32 bytes");

// --- move texts -------------------------------------------------------------------------------
// Short (coordinate) form "e2e4", promotions "e7e8=q", castling as the king's move "e1g1";
// long form "Pe2-e4", "Ng1xPf3", "Pe7xRf8=q". A record without both squares (a null record,
// or a "no move" mark that carries only flags) gives "------". The promotion
// letter is n, b, r or q ("?" for any other code).
std::string MoveToText(const clsMove& move, bool longForm);
// The promotion letters, one table for every reader and writer (rules/movereader.h reads move
// texts against a position): written n, b, r, q ("?" for any other kind); read in either
// case, with s as bishop and m as queen besides (NoPiece for any other character).
char PromotionLetter(int kind);
int PromotionKindOf(char c);
// "# " + long form + " a(order/105) v(value/105)" with two decimals, then the marks " *"
// (illegal), " ?" (loses), " #" (mates), " \" (bound). A record without both
// squares gives "???".
std::string MoveDetailText(const clsMove& move);
// Reads a coordinate move: origin from characters 0-1, destination from 2-3, promotion letter
// at 4 (or 5 when 4 is '='): b/s bishop, m/q queen, n knight, r rook in either case; any other
// letter or none gives promotion 0. Returns true when both squares were read; a missing square
// is 0. Characters after the recognised ones are ignored.
bool ParseCoordinateMove(std::string_view text, std::uint64_t* from, std::uint64_t* to, int* promotion);

} // namespace drnChess
