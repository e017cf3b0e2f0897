#pragma once
// Perft on the fast position: a legal generator (check and pin masks) that counts the last ply
// from its target sets without making those moves, and make/unmake above it. The search's
// own generators (pseudo-legal, captures apart) are in fastmovegen.cpp on the same position.

#include <atomic>
#include <cstdint>

#include "rules/fastposition.h"

namespace drnChess::fast {

// The legal moves of the position, in the counter's order.
void GenerateLegalMoves(const FastPosition& position, MoveList& list);

// Counts the leaves of the legal move tree to `depth` (0 or less counts nothing) and leaves the
// position as it was. When *stop is raised (from any thread) the count ends early and gives
// what it has so far; the caller tells by reading the flag.
std::uint64_t Perft(FastPosition& position, int depth, const std::atomic<bool>* stop = nullptr);

} // namespace drnChess::fast
