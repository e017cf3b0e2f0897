#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>

#include "dranbase/clsstring.h"
#include "dranbase/clsthread.h"

using namespace dranbase;

namespace {
class SleepyThread : public clsThread {
public:
    SleepyThread()
        : clsThread("sleepy")
    {
    }
    ~SleepyThread() override { Cancel(); }
    std::atomic<int> runs { 0 };

protected:
    bool Run() override
    {
        ++runs;
        while (Sleep(10)) { }
        return true;
    }
};

class QuickThread : public clsThread {
public:
    QuickThread()
        : clsThread("quick")
    {
    }
    ~QuickThread() override { Wait(); }
    std::atomic<int> runs { 0 };

protected:
    bool Run() override
    {
        ++runs;
        return true;
    }
};
} // namespace

TEST(Thread, RunningAtOnceAndStartIsIdempotentWhileRunning)
{
    SleepyThread t;
    EXPECT_FALSE(t.IsRunning());
    EXPECT_FALSE(t.Wait()); // idle: returns at once
    ASSERT_TRUE(t.Start());
    EXPECT_TRUE(t.IsRunning());
    EXPECT_TRUE(t.Start()); // creates nothing
    auto begin = Tick();
    EXPECT_TRUE(t.Cancel());
    EXPECT_LT(Tick() - begin, 1000); // a sleeping thread ends promptly
    EXPECT_FALSE(t.IsRunning());
    EXPECT_EQ(t.runs.load(), 1);
}

TEST(Thread, CanBeStartedAgainAfterItsBodyEnded)
{
    QuickThread t;
    for (int i = 0; i < 3; ++i) {
        // (Start may already see the quick body ended, so its answer is not the check.)
        t.Start();
        EXPECT_FALSE(t.Wait());
        EXPECT_FALSE(t.IsRunning());
        EXPECT_EQ(t.runs.load(), i + 1); // each start after the end ran the body once more
    }
    EXPECT_EQ(t.runs.load(), 3);
}

TEST(Thread, MutexRefusesRelockByItsOwner)
{
    clsMutex m;
    ASSERT_TRUE(m.Lock());
    EXPECT_FALSE(m.Lock());
    EXPECT_FALSE(m.TryLock());
    m.Unlock();
    EXPECT_TRUE(m.TryLock());
    m.Unlock();
}

TEST(Timer, WritesItsLineOnlyWithALogFile)
{
    auto path = (std::filesystem::temp_directory_path() / "corvala_timer_test.log").string();
    std::remove(path.c_str());
    {
        clsTimer quiet;
        quiet.Stop();
    }
    {
        clsTimer logged(path);
        SleepMs(5);
        logged.Stop();
        EXPECT_GE(logged.Elapsed(), 5);
    }
    clsString text;
    ASSERT_GT(text.LoadFromFile(path), 0u);
    EXPECT_EQ(text.substr(0, 3), "\t1\t");
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    std::remove(path.c_str());
}
