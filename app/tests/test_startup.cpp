// Start-up, shut-down and the command-line options, through the real program.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/tests/corvalaprocess.h"

namespace {
std::vector<std::string> RunAndQuit(std::vector<std::string> args)
{
    args.push_back("-seed=1");
    CorvalaProcess p(args);
    p.Send("quit");
    auto lines = p.ReadToEnd();
    EXPECT_EQ(p.WaitExit(), 0);
    return lines;
}

int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix)
{
    int n = 0;
    for (const auto& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
}
} // namespace

TEST(Startup, BannerFirstAndTheLastThreeLinesOfARun)
{
    auto lines = RunAndQuit({});
    // The engine and the table are built (and report themselves) before the thread prints
    // the banner: its first line, the PopCount line and three credit lines.
    std::size_t b = 0;
    while (b < lines.size() && lines[b].rfind("# Corvala 3.1.27", 0) != 0)
        ++b;
    ASSERT_LT(b + 5, lines.size());
    EXPECT_EQ(lines[b + 1], "# PopCount disabled");
    for (std::size_t i = b + 2; i < b + 5; ++i)
        EXPECT_EQ(lines[i].rfind("# ", 0), 0u) << lines[i];
    EXPECT_EQ(CountPrefix(lines, "# PopCount"), 1);
    std::vector<std::string> tail(lines.end() - 3, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string> { "# end", "# stop", "# bye bye" }));
}

TEST(Startup, MemoryOptionSizesTheTable)
{
    struct Case {
        std::string arg;
        std::string line; // empty: no "# TT" line at all
    } cases[] = {
        { "memory=0", "" }, { "memory=1", "# TT 32768 entries - 1 MiB" },
        { "memory=3", "# TT 65536 entries - 2 MiB" }, { "memory=abc", "" },
        { "memory=1=2", "# TT 32768 entries - 1 MiB" }, // split at the first "=" only: value "1=2" reads 1
    };
    for (const auto& c : cases) {
        auto lines = RunAndQuit({ c.arg });
        int tt = CountPrefix(lines, "# TT ");
        if (c.line.empty()) {
            EXPECT_EQ(tt, 0) << c.arg;
        } else {
            EXPECT_EQ(tt, 1) << c.arg;
            EXPECT_EQ(CountPrefix(lines, c.line), 1) << c.arg;
        }
    }
    // Without the option the default 64 MiB table is made.
    EXPECT_EQ(CountPrefix(RunAndQuit({}), "# TT 2097152 entries - 64 MiB"), 1);
}

TEST(Startup, RepeatedOptionKeepsItsFirstValueAndNoPopCountIsReported)
{
    auto lines = RunAndQuit({ "memory=1", "memory=2", "-nopopcnt" });
    EXPECT_EQ(CountPrefix(lines, "# TT 32768 entries - 1 MiB"), 1);
    EXPECT_GE(CountPrefix(lines, "# PopCount disabled by user"), 1);
}

TEST(Startup, EndOfInputEndsTheProgram)
{
    CorvalaProcess p({ "memory=1" });
    p.Send("name");
    EXPECT_EQ(p.ReadUntil("Corvala 3.1.27"), "Corvala 3.1.27");
    p.CloseInput(); // the interface has gone away
    EXPECT_EQ(p.WaitExit(5000), 0);
}

TEST(Startup, TournamentModeFailsWithAnUnwritableLogFolder)
{
    // The log folder is a plain file: the tournament is refused before any game, and the
    // program says so with a non-zero exit.
    const std::string dir = ::testing::TempDir() + "corvala_tourney_mode_" + std::to_string(::getpid());
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "' && echo x > '" + dir + "/plain'").c_str()), 0);
    const std::string xml = dir + "/t.xml";
    std::FILE* f = std::fopen(xml.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(
        ("<tourney name='T'><options><logfolder>" + dir
            + "/plain</logfolder></options><engines><engine active='true' name='A' protocol='embedded'/>"
              "<engine active='true' name='B' protocol='embedded'/></engines></tourney>")
            .c_str(),
        f);
    std::fclose(f);
    CorvalaProcess p({ "-use=tourney", "-ini=" + xml });
    EXPECT_EQ(p.ReadUntil("# tournament stopped:"),
        "# tournament stopped: cannot write in the log folder " + dir + "/plain");
    EXPECT_EQ(p.WaitExit(20000), 1);
    std::system(("rm -rf '" + dir + "'").c_str());
}
