#pragma once
// The words of a UCI "go" command, read into a plain record (no engine, no position).

#include <cstdint>
#include <string>
#include <vector>

namespace drnChess {

struct clsGoRequest {
    std::int64_t time[2] = { -1, -1 }; // wtime, btime; -1 when not given
    std::int64_t increment[2] = { 0, 0 };
    std::int64_t movesToGo = 0;
    std::int64_t moveTime = 0;
    int depth = 0;
    std::uint64_t nodes = 0;
    int mate = 0;
    bool infinite = false;
    bool ponder = false;
    std::vector<std::string> searchMoves;
};

// Reads the rest of a "go" line. Numbers are clamped to sane ranges (times to a thousand years,
// depth to 1000, mate to 500, nodes to 0 and up); unknown words are passed over; a word that
// expects a number and has none reads 0.
clsGoRequest ParseGo(const std::string& rest);

} // namespace drnChess
