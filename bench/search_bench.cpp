// Search benchmark: fixed-depth searches of a fixed set of positions with a fixed random seed.
// Prints each search and the total node count, the node-count signature: any change to the
// search, the evaluation or the generator's order shows up as a different total. Then nodes/s.
//
// The strong search's signature follows, at its own fixed depth, from a fresh search state for
// every position.
//
// Usage: search_bench [depth [strong depth]]   (defaults 6 and 12; a signature is only
// comparable at equal depth)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "dranbase/clsstring.h"
#include "engine/benchpositions.h"
#include "engine/clsengine.h"
#include "engine/strongsearch.h"
#include "rules/random.h"

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
    for (const char* fen : BenchPositions) {
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

    const int strongDepth = argc > 2 ? std::atoi(argv[2]) : 12;
    strong::StrongSearch search;
    std::uint64_t strongTotal = 0;
    const auto strongStart = std::chrono::steady_clock::now();
    for (const char* fen : BenchPositions) {
        search.NewGame();
        search.Board().SetFromFEN(fen);
        clsSearchLimits limits;
        limits.depth = strongDepth;
        const std::atomic<bool> stop { false };
        const strong::IterationReport r = search.Think(limits, stop, {});
        std::printf("%-72s %-7s %6d %12llu\n", fen, strong::FastPosition::MoveText(r.best).c_str(),
            strong::GuiScore(r.score), static_cast<unsigned long long>(r.nodes));
        strongTotal += r.nodes;
    }
    const double strongSeconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - strongStart).count();
    std::printf("strong depth %d signature (total nodes): %llu\n", strongDepth,
        static_cast<unsigned long long>(strongTotal));
    std::printf("strong nodes/s: %.0f (%.3f s)\n",
        strongSeconds > 0 ? static_cast<double>(strongTotal) / strongSeconds : 0.0, strongSeconds);
    return 0;
}
