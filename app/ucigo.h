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
    // Which limits the line named: a named clock, movetime, depth or nodes of zero or less
    // asks for a move at once (see MovesAtOnce).
    bool clockGiven[2] = { false, false };
    bool moveTimeGiven = false;
    bool depthGiven = false;
    bool nodesGiven = false;

    // The mover's clock is out (zero or negative), or a movetime, depth or node count of zero or
    // less was asked for: the answer is a move at once rather than a search without end.
    // An infinite or pondering think waits for its stop as always.
    bool MovesAtOnce(int side) const;
};

// Reads the rest of a "go" line. Numbers are clamped to sane ranges (times to a thousand years,
// depth to 1000, mate to 500, nodes to 0 and up); unknown words are passed over; a word that
// expects a number and has none reads 0.
clsGoRequest ParseGo(const std::string& rest);

} // namespace drnChess
