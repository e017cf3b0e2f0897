// Search benchmark: fixed-depth searches of a fixed set of positions with a fixed random seed.
// Prints each search and the total node count, the node-count signature: any change to the
// search, the evaluation or the generator's order shows up as a different total. Then nodes/s.
//
// Usage: search_bench [depth]   (default 6; the signature is only comparable at equal depth)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "dranbase/clsstring.h"
#include "engine/clsengine.h"
#include "rules/random.h"

namespace {

const char* const Positions[] = {
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

} // namespace

int main(int argc, char** argv)
{
    using namespace drnChess;
    const int depth = argc > 1 ? std::atoi(argv[1]) : 6;

    // The seed fixes the hash keys (drawn by the first share) and so the table's behaviour.
    SeedRandom(20240601);
    clsEngineShare share;
    share.Size(16);
    dranbase::clsStrings options;
    options.Add("book", "no-book-for-the-benchmark.cbk");
    auto engine = std::make_unique<clsEngine>(options, &share);
    engine->SetEcho(false);
    engine->SetKeepLines(false);

    std::uint64_t total = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const char* fen : Positions) {
        share.Size(16); // every search from an empty table, so the order of positions does not matter
        engine->SetFromFEN(fen);
        engine->SetFixedDepth(depth);
        engine->SetSingleIteration(true);
        engine->Start();
        engine->Wait();
        int score = 0;
        const std::string move = engine->TakeMoveText(false, &score);
        std::printf("%-72s %-7s %6d %12llu\n", fen, move.c_str(), score,
            static_cast<unsigned long long>(engine->Nodes()));
        total += engine->Nodes();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("depth %d signature (total nodes): %llu\n", depth, static_cast<unsigned long long>(total));
    std::printf(
        "nodes/s: %.0f (%.3f s)\n", seconds > 0 ? static_cast<double>(total) / seconds : 0.0, seconds);
    return 0;
}
