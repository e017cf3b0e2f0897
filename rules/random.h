#pragma once
// The process-wide random generator (xorshift128+) and the hash keys drawn from it.
//
// The generator is seeded from the clock during static initialisation: s0 = the calendar time
// in seconds (low 32 bits), s1 = s0 + one value of rand(). SeedRandom(n) replaces that seed
// with a fixed one so that a run can be repeated (the "-seed=N" option). The keys are drawn
// once, by InitKeysOnce(), which the engine calls when it is constructed: a fixed seed must be
// set before the first engine is built to fix the keys as well.
//
// The generator is shared by every thread that draws (engines choosing book or random moves,
// learning): each step takes a lock. InitKeysOnce() is safe to call from several threads.

#include <array>
#include <cstdint>

namespace drnChess {

using u64 = std::uint64_t;

// The next generator value.
u64 NextRandom();
// Seeds the generator with s0 = n, s1 = n + 1 (modulo 2^64), so the state is never all zero.
void SeedRandom(u64 n);
// Seeds the generator from the clock as at start-up.
void SeedRandomFromTime();

// ZobristKeys[square index][slot][colour]: slots 0..5 are pawn..king (PieceKind - 2), slot 6
// the castling-rights squares, slot 7 unused. SideKeys[colour to move].
extern std::array<std::array<std::array<u64, 2>, 8>, 64> ZobristKeys;
extern std::array<u64, 2> SideKeys;

// Fills ZobristKeys and then SideKeys byte by byte from the generator, the first time it is
// called in the process; later calls do nothing. Each byte is |r| mod 256, r being the low
// 32 bits of the next value read as a signed number; bytes go in memory order (square, slot,
// colour, each key from its least significant byte up).
void InitKeysOnce();

} // namespace drnChess
