#pragma once
// The fixed positions of the search signature: `make bench` prints the node count of a
// fixed-depth search of each, and a test pins the totals, so that any change to a search, its
// evaluation or its move order is seen and made on purpose.

namespace drnChess {

inline constexpr const char* BenchPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -",
    "2r3k1/pp3ppp/8/3p4/3P4/P4N2/1P3PPP/2R3K1 b - -",
    "8/8/4k3/8/2p5/8/B2P2K1/8 w - -",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -",
};

} // namespace drnChess
