// A short real round robin: the program's own engine (embedded), fairymax over xboard and
// stockfish over UCI, two games at a time on a fast clock. The clients' pauses are shortened
// (their defaults are exercised by the clients' own tests) so that thinking, not pacing, fills
// the games.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "book/clsgame.h"
#include "dranbase/clsfile.h"
#include "rules/clschesscore.h"
#include "tourney/clstourney.h"
#include "tourney/tests/test_referee_support.h"

using namespace drnChess;
using namespace std::chrono_literals;

namespace {

constexpr const char* Fairymax = "/usr/games/fairymax";
constexpr const char* Stockfish = "/usr/games/stockfish";

TEST(TourneyReal, EmbeddedFairymaxStockfishRoundRobin)
{
    if (!std::filesystem::exists(Fairymax) || !std::filesystem::exists(Stockfish))
        GTEST_SKIP() << "fairymax or stockfish is not installed (scripts/install-deps.sh installs them)";

    testsupport::ScratchFolder folder("tourney_real");
    const std::string xml = "<tourney name=\"Real\" type=\"RoundRobin\">"
                            "<options><rounds>1</rounds><threads>2</threads><logfolder>"
        + folder.Path()
        + "</logfolder><clock moves_per_second=\"0\" game_ms=\"4000\" increment_ms=\"100\"/></options>"
          "<engines>"
          "<engine active=\"true\" name=\"Corvala\" "
          "protocol=\"embedded\"><parameters>memory=4</parameters></engine>"
          "<engine active=\"true\" name=\"Fairymax\" protocol=\"xboard\"><filename>"
        + Fairymax
        + "</filename></engine>"
          "<engine active=\"true\" name=\"Stockfish\" protocol=\"uci\"><filename>"
        + Stockfish
        + "</filename></engine>"
          "</engines></tourney>";
    const std::string file = folder.File("real.xml");
    ASSERT_TRUE(dranbase::clsString(xml).SaveToFile(file, true));

    clsTourney tourney(1, file);
    tourney.Timing.SendDelayMs = 20;
    tourney.Timing.StartDelayMs = 300;
    tourney.Timing.QuitGraceMs = 500;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(tourney.Start());
    const bool ended = testsupport::WaitFor([&] { return !tourney.IsRunning(); }, 300s);
    if (!ended) tourney.Cancel();
    tourney.Wait();
    const std::string console = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ended) << console;
    EXPECT_LE(tourney.PeakRunning(), 2);

    // Six results, each a real ending; the half-points add up to two per game.
    const std::set<std::string> soundReasons = { "mate", "forfeit", "resign", "triple repetition", "50 moves",
        "stalemate", "insufficient material", "" };
    const std::string log = testsupport::ReadFile(folder.File("Real.log"));
    int results = 0;
    for (const std::string& line : dranbase::SplitAll(log, '\n')) {
        const std::vector<std::string> f = dranbase::SplitAll(dranbase::Trim(line), '\t');
        if (f.size() < 11 || f[5] != "result") continue;
        ++results;
        SCOPED_TRACE(line);
        EXPECT_TRUE(f[6] == "1-0" || f[6] == "0-1" || f[6] == "1/2-1/2");
        EXPECT_EQ(soundReasons.count(f[7]), 1u);
        if (f[7].empty()) {
            EXPECT_EQ(f[6], "1/2-1/2") << "only a draw claim has no reason";
        }

        // The game's files: the log, and a PGN that reads back move by move.
        const std::string pgn = testsupport::ReadFile(f[10]);
        EXPECT_TRUE(std::filesystem::exists(dranbase::ReplaceExtension(f[10], "log")));
        auto core = std::make_unique<clsChessCore>();
        clsGame game;
        std::string error;
        EXPECT_TRUE(ReadPgnGame(pgn, *core, game, 0, {}, &error)) << error << "\n" << pgn;
        EXPECT_FALSE(game.Moves.empty());
        EXPECT_EQ(game.Tag("Result"), f[6]);
        EXPECT_EQ(game.Tag("White"), f[8]);
        EXPECT_EQ(game.Tag("Black"), f[9]);
        if (f[7] == "forfeit") {
            EXPECT_FALSE(game.Tag("Forfeit_ms").empty());
        }
        if (f[7] == "mate") {
            EXPECT_NE(game.MoveText.find('#'), std::string::npos);
        }
    }
    EXPECT_EQ(results, 6) << log;

    // A PGN validator of its own, when installed, reads every game without complaint.
    constexpr const char* Validator = "/usr/games/pgn-extract";
    if (std::filesystem::exists(Validator)) {
        const std::string command
            = std::string(Validator) + " -s " + folder.Path() + "/Real.T1.R1.G*.pgn 2>&1 >/dev/null";
        std::string complaints;
        if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe))
                complaints += buffer;
            EXPECT_EQ(::pclose(pipe), 0);
        }
        EXPECT_EQ(complaints, "");
    }

    int total = 0;
    for (int i = 0; i < tourney.PlayerCount(); ++i)
        total += tourney.Player(i)->Score();
    EXPECT_EQ(total, 12);
    const std::vector<std::string> standings = tourney.Standings();
    ASSERT_EQ(standings.size(), 3u);
    for (const std::string& line : standings)
        EXPECT_NE(log.find("\t-\t" + line + "\r\n"), std::string::npos) << line;
    EXPECT_NE(log.find("----------------- tournament has finished"), std::string::npos);

    EXPECT_TRUE(testsupport::ChildProcesses().empty());
}

} // namespace
