// The transposition table: sizing, entry operations and the game-position marks.

#include <gtest/gtest.h>

#include "engine/clstt.h"
#include "engine/tests/enginetestutil.h"
#include "rules/random.h"

namespace drnChess {
namespace {

    TEST(TableSize, MebibytesToAPowerOfTwoOfEntries)
    {
        struct Case {
            int mib;
            u64 entries;
            u64 bytes;
        };
        const Case cases[] = {
            { 1, 32768, 1u << 20 },
            { 3, 65536, 3u << 20 }, // 98,304 entries rounded down
            { 0, 0, 0 },
            { -5, 0, 0 },
        };
        clsEngineShare share;
        for (const Case& c : cases) {
            EXPECT_TRUE(share.Size(c.mib));
            EXPECT_EQ(share.EntryCount(), c.entries) << c.mib << " MiB";
            EXPECT_EQ(share.SizeBytes(), c.bytes) << c.mib << " MiB";
            EXPECT_EQ(share.Entry(12345) != nullptr, c.entries != 0);
        }
    }

    // Allocation fails above a given number of entries.
    class LimitedShare : public clsEngineShare {
    public:
        explicit LimitedShare(u64 limit)
            : limit_(limit)
        {
        }
        int attempts = 0;

    protected:
        clsTT* AllocateEntries(u64 count) override
        {
            ++attempts;
            return count > limit_ ? nullptr : clsEngineShare::AllocateEntries(count);
        }

    private:
        u64 limit_;
    };

    TEST(TableSize, HalvesTheCountUntilTheAllocationSucceeds)
    {
        LimitedShare share(5000);
        share.Size(1); // 32768 entries asked: 32768, 16384, 8192 fail, 4096 fits
        EXPECT_EQ(share.EntryCount(), 4096u);
        EXPECT_EQ(share.SizeBytes(), 1u << 20); // the size asked for is kept
        EXPECT_EQ(share.attempts, 4);

        LimitedShare none(0);
        none.Size(1);
        EXPECT_EQ(none.EntryCount(), 0u);
        EXPECT_EQ(none.Entry(1), nullptr);
    }

    TEST(TableSize, ResizingStartsFromAnEmptyTable)
    {
        clsEngineShare share;
        share.Size(1);
        share.Entry(77)->Put(300, 4);
        share.Size(1);
        EXPECT_EQ(share.Entry(77)->Flags(), 0u);
        EXPECT_EQ(share.Entry(77)->Score(), 0);
        share.Entry(77)->Put(300, 4);
        EXPECT_TRUE(share.Clear());
        EXPECT_EQ(share.Entry(77)->Flags(), 0u);
    }

    TEST(TableEntry, ClaimPutAndMarks)
    {
        clsTT e;
        e.flags.store(TTFlag::Stored);
        e.reserved.store(99);
        e.Claim(0xABCDEF);
        EXPECT_EQ(e.Key(), 0xABCDEFu);
        EXPECT_EQ(e.Score(), -15000);
        EXPECT_EQ(e.Depth(), -1);
        EXPECT_EQ(e.reserved.load(), 0u);
        EXPECT_EQ(e.Flags(), TTFlag::Stored); // a claim leaves the flags alone

        e.SetOnPath();
        EXPECT_EQ(e.Flags(), TTFlag::Stored | TTFlag::OnPath);
        e.Put(120, 3);
        EXPECT_EQ(e.Flags(), TTFlag::Stored); // exactly "stored": the path mark goes
        EXPECT_EQ(e.Score(), 120);
        EXPECT_EQ(e.Depth(), 3);
        e.SetOnPath();
        e.ClearOnPath();
        EXPECT_EQ(e.Flags(), TTFlag::Stored);

        e.MarkGamePosition(0x1234);
        EXPECT_EQ(e.Key(), 0x1234u);
        EXPECT_EQ(e.Score(), -52);
        EXPECT_EQ(e.Depth(), 1000);
        EXPECT_EQ(e.Flags(), 0x28u);
    }

    TEST(GamePositionMark, PlantedAfterEveryGameMove)
    {
        clsEngineShare share;
        share.Size(1);
        auto engine = testing::MakeEngine(&share);
        ASSERT_TRUE(engine->ApplyMoveText("e2e4"));
        const u64 key = engine->PositionKey();
        const clsTT* e = share.Entry(key);
        EXPECT_EQ(engine->Root()->entry, e);
        EXPECT_EQ(e->Key(), key);
        EXPECT_EQ(e->Depth(), 1000);
        EXPECT_EQ(e->Score(), -52);
        EXPECT_EQ(e->Flags(), 0x28u);

        // The mark passes the depth test but holds no result: a probe counts a hit and searches.
        std::uint64_t nodes = 0;
        engine->FourPlyProbe(&nodes);
        EXPECT_GE(engine->TTHits(), 1u);
        EXPECT_GT(nodes, 0u);
    }

    TEST(GamePositionMark, NoTableNoMark)
    {
        clsEngineShare share; // never sized: no entries
        auto engine = testing::MakeEngine(&share);
        EXPECT_TRUE(engine->ApplyMoveText("e2e4"));
        EXPECT_EQ(engine->Root()->entry, nullptr);
        auto alone = testing::MakeEngine(nullptr);
        EXPECT_TRUE(alone->ApplyMoveText("g1f3"));
        EXPECT_EQ(alone->Root()->entry, nullptr);
    }

} // namespace
} // namespace drnChess
