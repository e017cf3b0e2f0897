#pragma once
// Rook and bishop attacks by table lookup, one table for every board of the program (the perft
// counter and the strong search). Squares are bit indices; the attacks of a square depend only on
// the geometry of the bits, which is the same whether the files run from a to h or from h to a.

#include <cstdint>

namespace drnChess {

struct SliderSquare {
    std::uint64_t mask; // the rays without their last squares: the blockers that matter
    std::uint64_t magic; // sends every blocker subset of the mask to a slot of its own attacks
    const std::uint64_t* attacks;
    int shift;
    std::uint64_t Attacks(std::uint64_t occupied) const
    {
        return attacks[((occupied & mask) * magic) >> shift];
    }
};

struct SliderTables {
    SliderSquare rook[64];
    SliderSquare bishop[64];
};

// Built once, on first use (safe from any thread), from the known multipliers (rules/magics.h).
const SliderTables& Sliders();

} // namespace drnChess
