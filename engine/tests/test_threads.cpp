// The engine thread: stop requests, the mode word, destruction while thinking, and engines that
// search at the same time on one shared table. These also run under ThreadSanitizer.

#include <thread>

#include <gtest/gtest.h>

#include "dranbase/clsthread.h"
#include "engine/tests/enginetestutil.h"

namespace drnChess {
namespace {

    using testing::MakeEngine;
    using testing::Options;

    constexpr const char* Middlegame = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -";

    // Polls until the think has started the given iteration (depth 2 then is complete).
    bool WaitForDepth(const clsEngine& e, int depth)
    {
        for (int i = 0; i < 20000 && e.CurrentDepth() < depth; ++i)
            dranbase::SleepMs(1);
        return e.CurrentDepth() >= depth;
    }

    TEST(EngineThreads, StopRequestEndsAnUnlimitedThinkWithItsBestMove)
    {
        clsEngineShare share;
        share.Size(1);
        auto e = MakeEngine(&share);
        e->SetFromFEN(Middlegame);
        ASSERT_TRUE(e->Start());
        EXPECT_TRUE(e->IsRunning());
        ASSERT_TRUE(WaitForDepth(*e, 4));
        EXPECT_FALSE(e->ThinkingLine().empty()); // read while the engine runs
        EXPECT_FALSE(share.Size(2)); // no resizing under a search
        EXPECT_TRUE(e->StopRequest());
        EXPECT_FALSE(e->IsRunning());
        EXPECT_FALSE(e->TakeMoveText(false).empty());
        EXPECT_TRUE(share.Size(2));
    }

    TEST(EngineThreads, AStopRightAfterTheStartIsNotLost)
    {
        auto e = MakeEngine(nullptr);
        e->SetFromFEN(Middlegame);
        for (int i = 0; i < 5; ++i) {
            e->Start();
            EXPECT_TRUE(e->StopRequest()); // returns: the think saw the flag
            EXPECT_FALSE(e->IsRunning());
        }
    }

    // A ponder hit turns an unlimited think into a timed one by setting its deadline, often the
    // moment after the think was started, before its thread has begun: the thread must not wipe
    // that deadline out (it did, and the engine thought on until it lost on time).
    TEST(EngineThreads, ADeadlineSetRightAfterTheStartEndsAnUnlimitedThink)
    {
        for (const char* search : { "classic", "strong" }) {
            SCOPED_TRACE(search);
            auto e = MakeEngine(nullptr, Options({ { "-search", search } }));
            for (int round = 0; round < 5; ++round) {
                e->SetFromFEN(Middlegame);
                clsSearchLimits limits;
                limits.infinite = true;
                e->SetLimits(limits);
                ASSERT_TRUE(e->Start());
                e->SetDeadlineFromNow(50);
                // Joined well within the margin a loaded machine needs; without the deadline
                // the think would run until the stop below.
                const std::int64_t started = dranbase::Tick();
                while (e->IsRunning() && dranbase::Tick() - started < 5000)
                    dranbase::SleepMs(5);
                EXPECT_FALSE(e->IsRunning()) << "round " << round;
                e->StopRequest();
                EXPECT_FALSE(e->TakeMoveText(true).empty());
            }
        }
    }

    TEST(EngineThreads, ModeWordTwoIgnoresTheTimeLimitButNotAStop)
    {
        auto e = MakeEngine(nullptr);
        e->SetFromFEN(Middlegame);
        e->SetFixedDepth(6);
        e->SetSingleIteration(true);
        e->modeWord = 2;
        clsSearchLimits limits;
        limits.softMs = limits.hardMs = 1;
        e->SetLimits(limits);
        e->Start();
        EXPECT_FALSE(e->Wait()); // joined (true means failure); the 1 ms limit cut nothing short
        EXPECT_FALSE(e->TimeExpired());
        EXPECT_EQ(e->CurrentDepth(), 6);
        EXPECT_GT(e->Nodes(), 100000u); // long enough for the deadline to have been looked at
        EXPECT_FALSE(e->TakeMoveText(false).empty());

        // An unlimited think in that mode still ends at once when asked to.
        e->SetFixedDepth(0);
        e->SetSingleIteration(false);
        e->SetLimits({});
        e->Start();
        ASSERT_TRUE(WaitForDepth(*e, 2));
        const std::int64_t asked = dranbase::Tick();
        EXPECT_TRUE(e->StopRequest());
        EXPECT_LT(dranbase::Tick() - asked, 2000);
        EXPECT_FALSE(e->IsRunning());
    }

    TEST(EngineThreads, AThinkStopsItselfAtItsDeadlineAndAlwaysLeavesAMove)
    {
        // Budgets from "no time at all" to a short one: the think ends by itself, says why, and
        // leaves a legal move even when its first iteration never finished.
        for (std::int64_t ms : { 1, 30, 200 }) {
            auto e = MakeEngine(nullptr);
            e->SetFromFEN(Middlegame);
            clsSearchLimits limits;
            limits.softMs = limits.hardMs = ms;
            e->SetLimits(limits);
            ASSERT_TRUE(e->Start());
            for (int i = 0; i < 20000 && e->IsRunning(); ++i)
                dranbase::SleepMs(1);
            EXPECT_FALSE(e->IsRunning()) << ms;
            EXPECT_TRUE(e->TimeExpired()) << ms;
            const std::string move = e->TakeMoveText(true);
            EXPECT_FALSE(move.empty()) << ms;
            EXPECT_TRUE(e->ApplyMoveText(move)) << ms << " " << move;
        }
    }

    TEST(EngineThreads, CancelAndDestructionStopAThinkWhateverTheModeWord)
    {
        auto e = MakeEngine(nullptr);
        e->SetFromFEN(Middlegame);
        e->modeWord = 2;
        e->Start();
        ASSERT_TRUE(WaitForDepth(*e, 2));
        e->Cancel();
        EXPECT_FALSE(e->IsRunning());

        e->Start();
        ASSERT_TRUE(WaitForDepth(*e, 2));
        e.reset(); // joins the thread before the stacks go away
    }

    TEST(EngineThreads, RandomTimedIsNotLimitedToDepthTwo)
    {
        auto e = MakeEngine(nullptr, Options({ { "-random", "" }, { "-timed", "" } }));
        e->SetFromFEN(Middlegame);
        e->Start();
        ASSERT_TRUE(WaitForDepth(*e, 4));
        EXPECT_TRUE(e->IsRunning());
        e->StopRequest();
        EXPECT_FALSE(e->TakeMoveText(false).empty());
    }

    TEST(EngineThreads, EnginesSearchTogetherOnOneTable)
    {
        clsEngineShare share;
        share.Size(1);
        auto a = MakeEngine(&share);
        auto b = MakeEngine(&share);
        a->SetFromFEN(Middlegame);
        b->SetFromFEN(Middlegame);
        a->SetFixedDepth(4);
        b->SetFixedDepth(4);
        a->Start();
        b->ApplyMoveText("f1c4"); // plants a game mark while a searches
        b->Start();
        a->Wait();
        b->Wait();
        EXPECT_FALSE(a->TakeMoveText(false).empty());
        EXPECT_FALSE(b->TakeMoveText(false).empty());
        EXPECT_GT(a->TTHits() + b->TTHits(), 0u);
    }

    // The strong search on two threads: helpers share the table with the engine thread, a stop
    // reaches them all, and what they store (mate scores among it) leads the engine thread
    // right.
    TEST(EngineThreads, TheStrongSearchOnTwoThreadsStopsAtOnceAndFindsTheMate)
    {
        auto e = MakeEngine(nullptr, Options({ { "-search", "strong" }, { "threads", "2" } }));
        EXPECT_EQ(e->StrongThreads(), 2);
        e->SetFromFEN(Middlegame);
        ASSERT_TRUE(e->Start());
        ASSERT_TRUE(WaitForDepth(*e, 6));
        EXPECT_TRUE(e->StopRequest()); // returns only once every search thread has ended
        EXPECT_FALSE(e->IsRunning());
        EXPECT_FALSE(e->TakeMoveText(false).empty());

        for (int run = 0; run < 3; ++run) {
            e->SetFromFEN("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
            e->SetSingleIteration(true);
            e->SetFixedDepth(6);
            ASSERT_TRUE(e->Start());
            e->Wait();
            EXPECT_EQ(e->TakeMoveText(false), "d1d8");
            EXPECT_TRUE(e->ResultMove().Has(MoveFlag::Mates));
        }
    }

} // namespace
} // namespace drnChess
