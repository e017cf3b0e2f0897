#pragma once
// Helpers shared by the fuzz targets.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzzing {

inline std::string_view Text(const std::uint8_t* data, std::size_t size)
{
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// Positions the move and soul targets play in: the start, one with every special move
// (castling both ways, en passant, promotions), and an ending with few pieces.
inline constexpr const char* Positions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/pPppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/1P6/8/2pP4/8/8/6p1/R3K2R w KQkq c6 0 1",
    "8/2k5/8/3Pp3/8/8/5K2/8 w - e6 0 1",
};
inline constexpr std::size_t PositionCount = sizeof(Positions) / sizeof(Positions[0]);

} // namespace fuzzing
