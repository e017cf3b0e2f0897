// Perft: the reference counts of perft.epd, divide, and odd positions.

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "rules/tests/rules_test_util.h"

namespace drnChess {
namespace {

    using testing::CoreAt;

    // Depths whose reference count is above this are left to the perft benchmark.
    constexpr std::uint64_t MaxNodesPerRun = 1000000;

    struct Reference {
        std::string fen;
        std::vector<std::pair<int, std::uint64_t>> depths;
    };

    std::vector<Reference> LoadReferences(const std::string& path)
    {
        std::vector<Reference> refs;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            if (line.empty()) continue;
            Reference r;
            std::stringstream fields(line);
            std::getline(fields, r.fen, ';');
            for (std::string field; std::getline(fields, field, ';');) {
                std::istringstream f(field);
                char d = 0;
                int depth = 0;
                std::uint64_t count = 0;
                if (f >> d >> depth >> count && d == 'D') r.depths.emplace_back(depth, count);
            }
            refs.push_back(r);
        }
        return refs;
    }

    TEST(Perft, ReferenceCounts)
    {
        const std::string path = std::string(CORVALA_TEST_DATA) + "/perft.epd";
        const std::vector<Reference> refs = LoadReferences(path);
        ASSERT_FALSE(refs.empty()) << "test data not found or empty: " << path;

        auto core = std::make_unique<clsChessCore>();
        int covered = 0;
        for (const Reference& r : refs) {
            ASSERT_FALSE(r.depths.empty()) << r.fen;
            int runs = 0;
            for (const auto& [depth, expected] : r.depths) {
                if (expected > MaxNodesPerRun) continue;
                core->SetFromFEN(r.fen);
                const std::string before = core->GetFEN();
                EXPECT_EQ(core->PerftDriver(depth, false), static_cast<std::uint32_t>(expected));
                EXPECT_EQ(core->nodeCount, expected) << r.fen << " depth " << depth;
                EXPECT_EQ(core->GetFEN(), before); // every move was taken back
                ++runs;
            }
            EXPECT_GT(runs, 0) << "no depth of " << r.fen << " was counted";
            covered += runs > 0;
        }
        EXPECT_EQ(covered, 150); // every position of the file took part
    }

    TEST(Perft, DepthLimits)
    {
        auto core = CoreAt("");
        core->nodeCount = 77;
        core->ttHits = 5;
        EXPECT_EQ(core->PerftDriver(0, false), 0u);
        EXPECT_EQ(core->nodeCount, 0u);
        EXPECT_EQ(core->ttHits, 0u);
        EXPECT_EQ(core->PerftDriver(-3, false), 0u);
        EXPECT_EQ(core->nodeCount, 0u);
        // Deeper than the node stack holds: refused rather than overrunning it.
        EXPECT_EQ(core->PerftDriver(clsChessCore::MaxPerftDepth + 1, false), 0u);
        EXPECT_EQ(core->PerftDriver(3, false), 8902u);
        EXPECT_EQ(core->maxPly, 3);
    }

    TEST(Perft, DivideLinesInGenerationOrder)
    {
        auto core = CoreAt("");
        std::vector<std::string> lines;
        auto collect = [&lines](const std::string& line) { lines.push_back(line); };

        EXPECT_EQ(core->PerftDriver(2, true, collect), 400u);
        ASSERT_EQ(lines.size(), 20u);
        EXPECT_EQ(lines.front(), "Ng1-h3 20");
        EXPECT_EQ(lines[1], "Ng1-f3 20");
        EXPECT_EQ(lines.back(), "Pa2-a4 20");

        lines.clear(); // depth 1 does not recurse at the root, so there are no lines
        EXPECT_EQ(core->PerftDriver(1, true, collect), 20u);
        EXPECT_TRUE(lines.empty());

        lines.clear(); // without divide nothing is handed out
        EXPECT_EQ(core->PerftDriver(2, false, collect), 400u);
        EXPECT_TRUE(lines.empty());

        // The lines add up to the total.
        core->SetFromFEN("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
        lines.clear();
        EXPECT_EQ(core->PerftDriver(3, true, collect), 97862u);
        ASSERT_EQ(lines.size(), 48u);
        std::uint64_t sum = 0;
        for (const std::string& line : lines)
            sum += std::stoull(line.substr(line.find(' ') + 1));
        EXPECT_EQ(sum, 97862u);
    }

    TEST(Perft, OddPositions)
    {
        struct Case {
            const char* fen;
            int depth;
            std::uint32_t count;
        };
        const Case cases[] = {
            { "8/8/8/8/8/8/8/8 w - - 0 1", 2, 0 }, // empty board
            { "8/8/8/3Q4/8/8/8/8 w - - 0 1", 1, 27 }, // no kings at all
            { "8/8/8/3Q4/8/8/8/8 w - - 0 1", 2, 0 },
            { "4k3/8/8/8/8/8/8/4K2r b - - 0 1", 1, 0 }, // the side not to move is in check
            { "4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1", 1, 5 }, // loaded en passant: plain count
            { "4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1", 1, 7 }, // ... and with the capture
            { "4k3/8/8/4P3/8/8/8/4K3 w - d6 0 1", 1, 6 }, // en-passant square without victim
            { "4k3/8/8/8/8/8/8/4K2N w K - 0 1", 1, 7 }, // castling right without its rook
            { "P7/8/8/8/8/8/8/k6K w - - 0 1", 2, 9 }, // pawn on the last rank cannot move
            { "KK6/8/8/8/8/8/8/kk6 w - - 0 1", 1, 6 }, // two kings a side
        };
        for (const Case& c : cases) {
            auto core = CoreAt(c.fen);
            EXPECT_EQ(core->PerftDriver(c.depth, false), c.count) << c.fen;
        }
    }

    // Perft and divide end early when the stop flag is raised, before the start or from another
    // thread while they count (a depth of hours without the stop).
    TEST(Perft, StopFlagEndsTheCount)
    {
        auto core = CoreAt("");
        core->perftStop = true; // raised before the start: not lost
        core->PerftDriver(6, false);
        EXPECT_LT(core->nodeCount, 119060324u);
        std::vector<std::string> lines;
        core->PerftDriver(6, true, [&lines](const std::string& line) { lines.push_back(line); });
        EXPECT_LT(core->nodeCount, 119060324u);
        EXPECT_TRUE(lines.empty());

        core->perftStop = false;
        for (bool divide : { false, true }) {
            std::thread counter([&core, divide] { core->PerftDriver(9, divide, [](const std::string&) {}); });
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            core->perftStop = true;
            counter.join();
            EXPECT_LT(core->nodeCount, 2439530234167u) << divide;
            core->perftStop = false;
        }
        EXPECT_EQ(core->PerftDriver(4, false), 197281u); // lowered again, it counts in full
    }

} // namespace
} // namespace drnChess
