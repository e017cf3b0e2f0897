// The engine keys of a command-line match carried out by the tournament its file describes:
// options after the handshake, a time per move, node and depth limits and no clock, the
// working folder and standard error, and the games the SPRT's verdict stops.
//
// The players are our scripted engine, each logging the lines it receives. X, the engine under
// test, opens 1.e4 as White; O resigns whenever it is to move. So the first game (X White) asks
// X for one move, and the second ends at once.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "dranbase/clsstring.h"
#include "tourney/clstourney.h"
#include "tourney/matchcli.h"
#include "tourney/tests/fasttiming.h"
#include "tourney/tests/runtoend.h"
#include "tourney/tests/test_referee_support.h"

using namespace drnChess;
using namespace std::chrono_literals;

namespace {

const std::string Engine = FAKE_ENGINE_PATH;

// The match of the words (with the folder's log folder and the event "Keys") written as its
// tournament file; empty with a test failure when the words are refused.
std::string WriteMatch(const testsupport::ScratchFolder& folder, std::vector<std::string> words)
{
    for (const char* w : { "-logfolder", "", "-event", "Keys" })
        words.push_back(*w ? w : folder.File("logs"));
    const clsMatchCommand command = ReadMatchCommand(words);
    EXPECT_EQ(command.error, "");
    if (!command.error.empty()) return {};
    const std::string file = folder.File("keys.xml");
    return dranbase::clsString(MatchTourneyXml(command)).SaveToFile(file, true) ? file : std::string();
}

// X against O: X's protocol and keys, O's keys; X logs what it receives to X.in.
std::vector<std::string> XAgainstO(const testsupport::ScratchFolder& folder, const std::string& proto,
    const std::vector<std::string>& xKeys, const std::vector<std::string>& oKeys)
{
    std::vector<std::string> words { "-engine", "name=X", "cmd=" + Engine, "proto=" + proto,
        "arg=--moves=e2e4", "arg=--log=" + folder.File("X.in") };
    words.insert(words.end(), xKeys.begin(), xKeys.end());
    for (const char* w : { "-engine", "name=O", "proto=xboard", "arg=--moves=" })
        words.push_back(w);
    words.push_back("cmd=" + Engine);
    words.insert(words.end(), oKeys.begin(), oKeys.end());
    return words;
}

std::vector<std::string> Received(const std::string& file)
{
    std::vector<std::string> lines;
    for (const std::string& line : dranbase::SplitAll(testsupport::ReadFile(file), '\n'))
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// The position of the first line equal to `line` (or starting with it, when it ends in '*'); -1.
int Find(const std::vector<std::string>& lines, const std::string& line)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool prefix = !line.empty() && line.back() == '*';
        if (prefix ? lines[i].starts_with(line.substr(0, line.size() - 1)) : lines[i] == line)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

// Each key becomes the protocol's own command, at its place in the dialogue: UCI options after
// "uci" (so after its "uciok") and before the first "isready", the limits in "go"; xboard
// options after the features, the time per move as whole seconds in "st", the depth in "sd",
// and no clock commands for an engine off the game's clock.
TEST(EngineKeys, EachKeyReachesTheEngineInItsProtocol)
{
    struct Row {
        const char* proto;
        std::vector<std::string> keys;
        std::vector<std::string> inOrder; // lines X received, in this order
        std::vector<std::string> absent; // line beginnings X never received
    };
    const std::vector<Row> rows = {
        { "uci", { "option.Hash=16", "option.Style=Risky", "option.Clear=", "st=2", "depth=3" },
            { "uci", "setoption name Hash value 16", "setoption name Style value Risky",
                "setoption name Clear", "isready", "go movetime 2000 depth 3" },
            { "go wtime", "go infinite" } },
        { "uci", { "nodes=500", "depth=4" }, { "uci", "isready", "go nodes 500 depth 4" },
            { "go wtime", "go movetime" } },
        { "uci", { "tc=inf", "nodes=700" }, { "uci", "go nodes 700" }, { "go wtime", "go infinite" } },
        { "uci", { "depth=2" }, { "uci", "go depth 2" }, { "go wtime", "setoption" } },
        { "uci", { "tc=30+0.5", "depth=5" }, { "go wtime 30000 btime 30000 winc 500 binc 500 depth 5" }, {} },
        { "xboard", { "option.Hash=16", "st=1.6", "depth=3" },
            { "protover 2", "option Hash=16", "new", "st 2", "sd 3", "go" }, { "level", "time ", "otim " } },
        { "xboard", { "st=0.2" }, { "new", "st 1", "go" }, { "level", "sd " } },
        { "xboard", { "depth=5" }, { "new", "st 900", "sd 5", "go" }, { "level", "time " } },
        { "xboard", { "tc=30+0.5", "depth=6" }, { "level 0 0:30 0.5", "sd 6", "time 3000", "go" },
            { "st " } },
    };
    for (const Row& row : rows) {
        const std::string what = std::string(row.proto) + " " + dranbase::ToLower(row.keys.front());
        SCOPED_TRACE(what);
        testsupport::ScratchFolder folder("engine_keys");
        const std::string file = WriteMatch(folder, XAgainstO(folder, row.proto, row.keys, { "tc=30+0.5" }));
        ASSERT_FALSE(file.empty());
        clsTourney tourney(1, file);
        ASSERT_TRUE(RunToEnd(tourney));
        ASSERT_FALSE(tourney.Failed());
        EXPECT_EQ(tourney.Standings(), (std::vector<std::string> { "X: 4", "O: 0" }));
        const std::vector<std::string> got = Received(folder.File("X.in"));
        int last = -1;
        for (const std::string& line : row.inOrder) {
            std::vector<std::string> rest(got.begin() + (last + 1), got.end());
            const int at = Find(rest, line);
            EXPECT_GE(at, 0) << "\"" << line << "\" missing or out of order in:\n"
                             << testsupport::ReadFile(folder.File("X.in"));
            if (at >= 0) last += at + 1;
        }
        for (const std::string& line : row.absent)
            EXPECT_EQ(Find(got, line + "*"), -1) << line;
    }
}

// The referee keeps a time per move as a clock: a move over it (and its margin, 100 ms unless
// timemargin= says) loses on time, a move within it does not. Without a clock (depth= alone) the engine may
// take longer than the other side's whole clock. The record's TimeControl says each side's control.
TEST(EngineKeys, TimePerMoveAndNoClockAsTheRefereeKeepsThem)
{
    struct Row {
        const char* proto;
        std::vector<std::string> keys; // X's; O plays on a 1 s clock
        const char* result; // of the first game, X White
        const char* whiteControl; // X's TimeControl
    };
    const Row rows[] = {
        { "uci", { "st=1", "arg=--move-delay=4000" }, "0-1", "1/1" },
        { "xboard", { "st=0.7", "arg=--move-delay=4000" }, "0-1", "1/1" },
        { "uci", { "st=3", "arg=--move-delay=200" }, "1-0", "1/3" },
        { "uci", { "st=1", "timemargin=3000", "arg=--move-delay=1800" }, "1-0", "1/1" },
        { "uci", { "depth=2", "arg=--move-delay=1500" }, "1-0", "-" },
        { "xboard", { "tc=inf", "depth=2", "arg=--move-delay=1500" }, "1-0", "-" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.proto) + " " + row.keys.front());
        testsupport::ScratchFolder folder("engine_st");
        const std::string file = WriteMatch(folder, XAgainstO(folder, row.proto, row.keys, { "tc=1" }));
        ASSERT_FALSE(file.empty());
        clsTourney tourney(1, file);
        ASSERT_TRUE(RunToEnd(tourney));
        ASSERT_FALSE(tourney.Failed());
        const std::string pgn = testsupport::ReadFile(folder.File("logs/Keys.T1.R1.G1.pgn"));
        EXPECT_NE(pgn.find(std::string("[Result \"") + row.result + "\"]"), std::string::npos) << pgn;
        if (std::string(row.result) == "0-1") {
            EXPECT_NE(pgn.find("[Termination \"time forfeit\"]"), std::string::npos) << pgn;
        }
        EXPECT_NE(pgn.find("[TimeControl \"?\"]"), std::string::npos) << pgn;
        EXPECT_NE(pgn.find(std::string("[WhiteTimeControl \"") + row.whiteControl + "\"]"), std::string::npos)
            << pgn;
        EXPECT_NE(pgn.find("[BlackTimeControl \"1\"]"), std::string::npos) << pgn;
    }
}

// dir= starts the engine in that folder (its relative log file lands there); a folder that has
// gone by the time the tournament file is played refuses the run, naming the engine.
TEST(EngineKeys, WorkingFolder)
{
    testsupport::ScratchFolder folder("engine_dir");
    const std::string home = folder.File("home");
    std::filesystem::create_directories(home);
    const std::string file = WriteMatch(folder,
        { "-engine", "name=X", "cmd=" + Engine, "proto=uci", "arg=--moves=e2e4", "arg=--log=here.in",
            "dir=" + home, "-engine", "name=O", "cmd=" + Engine, "arg=--moves=", "-each", "tc=30" });
    ASSERT_FALSE(file.empty());
    {
        clsTourney tourney(1, file);
        ASSERT_TRUE(RunToEnd(tourney));
        ASSERT_FALSE(tourney.Failed());
    }
    EXPECT_NE(Find(Received(home + "/here.in"), "uci"), -1);
    EXPECT_FALSE(std::filesystem::exists(folder.File("here.in")));

    std::filesystem::remove_all(home);
    std::filesystem::remove_all(folder.File("logs"));
    clsTourney again(1, file);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(again.Start());
    again.Wait();
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(again.Failed());
    EXPECT_NE(
        said.find("# tournament stopped: engine 'X': <dir> " + home + " is not a folder"), std::string::npos)
        << said;
}

// An engine's standard error goes to its own file (beside the log by default, or stderr=FILE),
// never into its output, where it would be read as a line of the protocol and logged.
TEST(EngineKeys, StandardErrorGoesToItsFile)
{
    testsupport::ScratchFolder folder("engine_stderr");
    const std::string file = WriteMatch(folder,
        { "-engine", "name=X", "cmd=" + Engine, "proto=uci", "arg=--moves=e2e4", "arg=--stderr=x-complains",
            "-engine", "name=O", "cmd=" + Engine, "arg=--moves=", "arg=--stderr=o-complains",
            "stderr=" + folder.File("o.err"), "-each", "tc=30" });
    ASSERT_FALSE(file.empty());
    clsTourney tourney(1, file);
    ASSERT_TRUE(RunToEnd(tourney));
    ASSERT_FALSE(tourney.Failed());
    EXPECT_NE(
        testsupport::ReadFile(folder.File("logs/Keys.X.stderr")).find("x-complains"), std::string::npos);
    EXPECT_NE(testsupport::ReadFile(folder.File("o.err")).find("o-complains"), std::string::npos);
    for (const char* game : { "logs/Keys.T1.R1.G1.log", "logs/Keys.T1.R1.G2.log" }) {
        const std::string log = testsupport::ReadFile(folder.File(game));
        EXPECT_FALSE(log.empty()) << game;
        EXPECT_EQ(log.find("complains"), std::string::npos) << log;
    }
}

// Once the SPRT decides, the game still running is stopped at once: not counted, not in the
// state, its engines told to quit and ended. A run continued from that state plays nothing more.
//
// A (xboard) resigns whenever it is to move, and hangs on the second "go" its process receives;
// B (UCI) thinks 5 s and then has no move to give. Game 1 (A White) B wins at once; game 2 (B
// White, on the second slot) A wins after 5 s; game 3 takes game 1's slot and engines, and A
// hangs in it. With game 2's result the SPRT accepts H0 (one win each), long before game 3's
// clock could end it.
TEST(EngineKeys, SprtVerdictStopsTheRunningGame)
{
    testsupport::ScratchFolder folder("engine_sprt");
    const std::string xml = "<tourney name='Sprt'><options><rounds>3</rounds><threads>2</threads><logfolder>"
        + folder.Path() + "</logfolder><clock game_ms='60000'/><pacing_ms>0</pacing_ms>"
        + "<sprt elo0='0' elo1='200' alpha='0.48' beta='0.48' min_games='0'/>"
        + "</options><engines><engine active='true' name='A' protocol='xboard'><filename>" + Engine
        + "</filename><parameters>--moves= --stall-at-go=2</parameters><restart>off</restart></engine>"
        + "<engine active='true' name='B' protocol='uci'><filename>" + Engine
        + "</filename><parameters>--moves= --move-delay=5000</parameters><restart>off</restart></engine>"
        + "</engines></tourney>";
    const std::string file = folder.File("sprt.xml");
    ASSERT_TRUE(dranbase::clsString(xml).SaveToFile(file, true));

    std::vector<std::pair<int, bool>> reported; // game number, stopped by the verdict
    {
        clsTourney tourney(1, file);
        tourney.GameFinished
            = [&](const clsTourney::GameEvent& e) { reported.emplace_back(e.number, e.stoppedByVerdict); };
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(RunToEnd(tourney));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 45s); // not game 3's 60 s clock
        ASSERT_FALSE(tourney.Failed());
        EXPECT_EQ(tourney.Verdict(), SprtVerdict::AcceptH0);
        std::sort(reported.begin(), reported.end());
        EXPECT_EQ(reported, (std::vector<std::pair<int, bool>> { { 1, false }, { 2, false }, { 3, true } }));
        EXPECT_EQ(tourney.Tally().Pair(0, 1)->Games().Games(), 2);
        const std::vector<clsFinishedGame> finished = tourney.FinishedGames();
        ASSERT_EQ(finished.size(), 2u);
        EXPECT_EQ(finished[0].index, 0);
        EXPECT_EQ(finished[1].index, 1);
        EXPECT_NE(
            testsupport::ReadFile(tourney.LogFileName()).find("stopped by the sprt verdict: not counted"),
            std::string::npos);
    }
    // Game 3's record: no result, and the hung engine was told to quit.
    const std::string game3 = testsupport::ReadFile(folder.File("Sprt.T1.R2.G1.log"));
    EXPECT_NE(game3.find("W\t--->\tquit"), std::string::npos) << game3;
    EXPECT_NE(
        testsupport::ReadFile(folder.File("Sprt.T1.R2.G1.pgn")).find("[Result \"*\"]"), std::string::npos);

    // A run killed after the verdict (the state kept, the log without its end) is continued:
    // the verdict stands at once and no game is played.
    const std::string logFile = folder.File("Sprt.log");
    std::string log = testsupport::ReadFile(logFile);
    const std::size_t end = log.find("----------------- tournament has finished");
    ASSERT_NE(end, std::string::npos);
    log = log.substr(0, log.rfind('\n', end) + 1);
    ASSERT_TRUE(dranbase::clsString(log).SaveToFile(logFile, true));
    int started = 0;
    clsTourney again(1, file);
    again.GameStarted = [&](const clsTourney::GameEvent&) { ++started; };
    ASSERT_TRUE(RunToEnd(again));
    EXPECT_FALSE(again.Failed());
    EXPECT_EQ(again.LogFileName(), logFile);
    EXPECT_EQ(started, 0);
    EXPECT_EQ(again.Verdict(), SprtVerdict::AcceptH0);
    EXPECT_EQ(again.FinishedGames().size(), 2u);
}
