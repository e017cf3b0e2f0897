#include <gtest/gtest.h>

#include <unistd.h>

#include "dranbase/console.h"

using namespace dranbase;

namespace {
std::string NextLine(clsStdInThread& t)
{
    for (int i = 0; i < 2000; ++i) {
        std::string s = t.PopLine();
        if (!s.empty()) return s;
        SleepMs(1);
    }
    return {};
}
} // namespace

TEST(ConsoleInput, QueuesWholeLinesInOrderAndQuitsAtEndOfInput)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    clsStdInThread input;
    input.SetDescriptor(fds[0]);
    ASSERT_TRUE(input.Start());
    std::string first = "usermove e2e4\r\n\nping 7\nparti";
    ASSERT_EQ(write(fds[1], first.data(), first.size()), static_cast<ssize_t>(first.size()));
    EXPECT_EQ(NextLine(input), "usermove e2e4");
    EXPECT_EQ(NextLine(input), "ping 7"); // the empty line is dropped
    SleepMs(30);
    EXPECT_EQ(input.PopLine(), ""); // a partial line waits for its line feed
    ASSERT_EQ(write(fds[1], "al\n", 3), 3);
    EXPECT_EQ(NextLine(input), "partial");
    close(fds[1]);
    EXPECT_EQ(NextLine(input), "quit");
    input.Cancel();
    close(fds[0]);
}

TEST(OutBuffer, KeepsPrintedLinesAndJoinsPieces)
{
    clsOutBuffer out;
    out.SetEcho(false);
    out.Print("abc", false); // no line kept yet: becomes the first line
    out.Print("def", false);
    out.Print("next", true);
    EXPECT_EQ(out.TakeLine(), "abcdef");
    EXPECT_EQ(out.TakeLine(), "next");
    EXPECT_EQ(out.TakeLine(), "");
    out.SetKeepLines(false);
    out.Print("dropped", true);
    EXPECT_EQ(out.TakeLine(), "");
}
