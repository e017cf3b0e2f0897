#pragma once
// The fast position's move record: 16 bits, origin (6), destination (6), kind (4), on squares
// a1 = 0, b1 = 1, ..., h8 = 63 (index = 8 * rank + file). Captures are not marked: the board
// tells them.

#include <array>
#include <cstdint>

namespace drnChess::fast {

using Move = std::uint16_t;

// Move kinds (the top four bits).
namespace MoveKind {
    inline constexpr int Quiet = 0; // also plain captures
    inline constexpr int DoublePush = 1;
    inline constexpr int Castle = 2; // the king's move; the rook follows
    inline constexpr int EnPassant = 3;
    inline constexpr int Promotion = 4; // 4..7: knight, bishop, rook, queen
} // namespace MoveKind

inline constexpr Move NoMove = 0;
constexpr Move MakeMove(int from, int to, int kind = MoveKind::Quiet)
{
    return static_cast<Move>(from | (to << 6) | (kind << 12));
}
constexpr int From(Move m)
{
    return m & 63;
}
constexpr int To(Move m)
{
    return (m >> 6) & 63;
}
constexpr int Kind(Move m)
{
    return m >> 12;
}
constexpr bool IsPromotion(Move m)
{
    return Kind(m) >= MoveKind::Promotion;
}

// A fixed-capacity move list (no allocation).
struct MoveList {
    std::array<Move, 256> moves;
    int count = 0;
    void Add(Move m) { moves[static_cast<std::size_t>(count++)] = m; }
};

} // namespace drnChess::fast
