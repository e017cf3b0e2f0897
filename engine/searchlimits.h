#pragma once
// What a think may spend: the limits the caller hands the engine before it starts. The search
// watches them itself; a zero means "no limit of this kind". The classic search cannot tell
// whether an iteration would finish in time, so it ends its think at the soft limit.

#include <cstdint>

namespace drnChess {

struct clsSearchLimits {
    // Milliseconds after the start of the think. Soft: no new iteration is begun after it (the
    // next one would not finish). Hard: the search stops inside an iteration at it.
    std::int64_t softMs = 0;
    std::int64_t hardMs = 0;
    int depth = 0; // deepest iteration, in plies
    std::uint64_t nodes = 0; // stop once this many nodes were searched
    bool infinite = false; // analysis or pondering: only a stop request ends the think

    bool HasTimeLimit() const { return !infinite && (softMs > 0 || hardMs > 0); }
};

} // namespace drnChess
