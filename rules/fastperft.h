#pragma once
// Perft's own legal move generator: check and pin masks, magic sliding attacks, copy-make on
// a small position record, and the last ply counted from the target sets without making its
// moves. It serves only leaf counting; the search keeps its staged generator and its order.

#include <atomic>
#include <cstdint>
#include <optional>

#include "rules/clsboard.h"

namespace drnChess {

// Counts the leaves of the legal move tree of the board to `depth` (at least 1). Nothing when
// the board is one the counter does not take (not exactly one king a side, the side not to
// move in check, a pawn on the first or last rank): the caller counts it the slow way.
// When *stop is raised (from any thread) the count ends early and gives what it has so far;
// the caller tells by reading the flag.
std::optional<std::uint64_t> FastPerft(
    const clsBoard& board, int depth, const std::atomic<bool>* stop = nullptr);

} // namespace drnChess
