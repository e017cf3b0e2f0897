// The strong search's parameter table: names and ranges, and every parameter reaching the
// search it is set on.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <set>
#include <string>

#include "engine/benchpositions.h"
#include "engine/strongeval.h"
#include "engine/strongsearch.h"

namespace drnChess::strong {
namespace {

    // The low end of the parameter's range, or the high end when that is the default (at low
    // depths the smaller margins and divisors are the ones that bite).
    int OtherEnd(const SearchParamInfo& info)
    {
        return info.value != info.min ? info.min : info.max;
    }

    std::uint64_t BenchNodes(StrongSearch& search, int depth)
    {
        std::uint64_t total = 0;
        for (const char* fen : BenchPositions) {
            search.NewGame();
            EXPECT_TRUE(search.Board().SetFromFEN(fen)) << fen;
            clsSearchLimits limits;
            limits.depth = depth;
            const std::atomic<bool> stop { false };
            total += search.Think(limits, stop, {}).nodes;
        }
        return total;
    }

    TEST(StrongSearchParams, NamesAreUniqueAndApartFromTheWeights)
    {
        // One weights file holds both, so no name may mean two things.
        std::set<std::string> names(StrongWeightNames().begin(), StrongWeightNames().end());
        for (const SearchParamInfo& info : SearchParamTable()) {
            EXPECT_TRUE(names.insert(std::string(info.name)).second) << info.name;
            EXPECT_EQ(
                FindSearchParam(info.name), static_cast<SearchParam>(&info - SearchParamTable().data()));
        }
        EXPECT_EQ(FindSearchParam("search.nosuch"), SearchParam::Unknown);
        EXPECT_EQ(FindSearchParam("material.knight.mg"), SearchParam::Unknown);
    }

    TEST(StrongSearchParams, SetKeepsEachValueWithinItsRange)
    {
        for (const SearchParamInfo& info : SearchParamTable()) {
            const auto p = FindSearchParam(info.name);
            const struct {
                int value;
                bool accepted;
            } cases[] = { { info.min, true }, { info.max, true }, { info.min - 1, false },
                { info.max + 1, false } };
            for (const auto& c : cases) {
                SearchParams params;
                std::string error;
                EXPECT_EQ(params.Set(info.name, c.value, error), c.accepted) << info.name << " " << c.value;
                EXPECT_EQ(params[p], c.accepted ? c.value : info.value) << info.name << " " << c.value;
                if (!c.accepted) {
                    EXPECT_NE(error.find("outside"), std::string::npos) << error;
                }
            }
        }
        SearchParams params;
        std::string error;
        EXPECT_FALSE(params.Set("search.nosuch", 1, error));
        EXPECT_NE(error.find("unknown search parameter search.nosuch"), std::string::npos) << error;
        EXPECT_EQ(params, SearchParams());
    }

    TEST(StrongSearchParams, EachParameterChangesTheSearch)
    {
        // Every parameter moved to an end of its range changes the node count of the
        // fixed-depth searches: it is read where the search decides. (The bench positions hold a
        // mate in one, which the mate margin decides when to stop on.) One parameter needs a
        // clock and a single legal move, below.
        constexpr int Depth = 6;
        StrongSearch search;
        const std::uint64_t defaults = BenchNodes(search, Depth);
        for (const SearchParamInfo& info : SearchParamTable()) {
            if (FindSearchParam(info.name) == SearchParam::SingleReplyDepth) continue;
            SearchParams params;
            std::string error;
            ASSERT_TRUE(params.Set(info.name, OtherEnd(info), error)) << error;
            search.SetSearchParams(params);
            EXPECT_NE(BenchNodes(search, Depth), defaults) << info.name << " " << OtherEnd(info);
        }
        // Back to the defaults, back to their count: nothing of the changed values stays.
        search.SetSearchParams(SearchParams());
        EXPECT_EQ(BenchNodes(search, Depth), defaults);
    }

    TEST(StrongSearchParams, SingleReplyDepthEndsTheThinkWithOneLegalMove)
    {
        // The rook leaves the king one move; a long clock that only the parameter cuts short.
        const int depths[] = { 1, 4 };
        for (const int depth : depths) {
            StrongSearch search;
            SearchParams params;
            std::string error;
            ASSERT_TRUE(params.Set("search.stop.singlereplydepth", depth, error)) << error;
            search.SetSearchParams(params);
            ASSERT_TRUE(search.Board().SetFromFEN("k7/8/8/8/8/8/8/1R4K1 b - - 0 1"));
            clsSearchLimits limits;
            limits.softMs = limits.hardMs = 600000;
            const std::atomic<bool> stop { false };
            const IterationReport report = search.Think(limits, stop, {});
            EXPECT_EQ(FastPosition::MoveText(report.best), "a8a7");
            EXPECT_EQ(report.depth, depth);
        }
    }

} // namespace
} // namespace drnChess::strong
