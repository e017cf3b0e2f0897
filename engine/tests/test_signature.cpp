// The node-count signatures of both searches over the benchmark positions: a change to either
// search, its evaluation or its move order changes a total, and must then be made here on
// purpose (`make bench` prints the same figures at deeper depths).

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>

#include "engine/benchpositions.h"
#include "engine/strongsearch.h"
#include "engine/tests/enginetestutil.h"
#include "rules/random.h"

namespace drnChess::testing {
namespace {

    constexpr int ClassicDepth = 4;
    constexpr std::uint64_t ClassicSignature = 63567; // search_bench 4
    constexpr int StrongDepth = 8;
    constexpr std::uint64_t StrongSignature = 64105; // search_bench 4 8

    TEST(Signature, ClassicSearch)
    {
        // The classic search's count depends on the hash keys, drawn once per process by the
        // first engine: only a process whose first engine this is draws them from the seed.
        if (ZobristKeys[0][0][0] != 0) GTEST_SKIP() << "hash keys already drawn in this process";
        SeedRandom(20240601);
        clsEngineShare share;
        share.Size(16);
        auto engine = MakeEngine(&share);
        std::uint64_t total = 0;
        for (const char* fen : BenchPositions) {
            share.Size(16);
            engine->SetFromFEN(fen);
            engine->SetFixedDepth(ClassicDepth);
            engine->SetSingleIteration(true);
            Think(*engine);
            total += engine->Nodes();
        }
        EXPECT_EQ(total, ClassicSignature);
    }

    TEST(Signature, StrongSearch)
    {
        strong::StrongSearch search;
        std::uint64_t total = 0;
        for (const char* fen : BenchPositions) {
            search.NewGame();
            ASSERT_TRUE(search.Board().SetFromFEN(fen));
            clsSearchLimits limits;
            limits.depth = StrongDepth;
            const std::atomic<bool> stop { false };
            total += search.Think(limits, stop, {}).nodes;
        }
        EXPECT_EQ(total, StrongSignature);
    }

} // namespace
} // namespace drnChess::testing
