// The tournament: its description, the pairings, and whole tournaments between fake engines
// (results, tournament log, standings, files, tags, parallel games, cancellation).

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "book/clsgame.h"
#include "dranbase/clsxml.h"
#include "rules/clschesscore.h"
#include "tourney/clstourney.h"
#include "tourney/tests/fasttiming.h"
#include "tourney/tests/test_referee_support.h"

using namespace drnChess;
using namespace std::chrono_literals;

namespace {

const std::string DataFolder = std::filesystem::path(__FILE__).parent_path().append("data").string();

clsTourneyConfig ConfigOf(const std::string& xml)
{
    dranbase::clsXML document;
    document.Parse(xml);
    return ReadTourneyConfig(document);
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TEST(TourneyConfig, EveryElementRead)
{
    dranbase::clsXML document;
    ASSERT_TRUE(document.LoadFile(DataFolder + "/cup.xml"));
    const clsTourneyConfig c = ReadTourneyConfig(document);
    EXPECT_TRUE(c.found);
    EXPECT_EQ(c.name, "Spring Cup");
    EXPECT_EQ(c.kind, TourneyKind::Gauntlet);
    EXPECT_EQ(c.rounds, 2);
    EXPECT_EQ(c.logFolder, "cup logs");
    EXPECT_EQ(c.movesPerControl, 40);
    EXPECT_EQ(c.gameMs, 300000);
    EXPECT_EQ(c.incrementMs, 2000);
    EXPECT_EQ(c.threads, 3);
    EXPECT_TRUE(c.verbose);

    // Active ones only (active="TRUE" and "True" count, a missing attribute does not), quotes
    // removed, the first of a repeated name kept.
    ASSERT_EQ(c.players.size(), 3u);
    EXPECT_EQ(c.players[0].name, "Corvala");
    EXPECT_EQ(c.players[0].protocol, "embedded");
    EXPECT_EQ(c.players[0].parameters, "memory=4 soul=Simple5");
    EXPECT_EQ(c.players[1].name, "Fairy");
    EXPECT_EQ(c.players[1].fileName, "/usr/games/fairymax");
    EXPECT_EQ(c.players[2].name, "Fish");
    EXPECT_EQ(c.players[2].protocol, "UCI");
    EXPECT_EQ(c.players[2].parameters, "");
    EXPECT_EQ(c.skippedPlayers, std::vector<std::string> { "Fairy" });
    EXPECT_NE(c.enginesText.find("Sleeper"), std::string::npos);

    // Extra tags in document order, without the names holding "Dran".
    ASSERT_EQ(c.extraTags.Count(), 2);
    EXPECT_EQ(c.extraTags.At(0).key, "Site");
    EXPECT_EQ(c.extraTags.At(0).value, "Club room");
    EXPECT_EQ(c.extraTags.At(1).key, "Annotator");
}

TEST(TourneyConfig, PacingStartDelayAndKeptEngines)
{
    // Without the elements a file keeps the clients' own pauses (-1) and starts every engine
    // for each game; a value that cannot be used is a problem and the default stays.
    struct Row {
        const char* options;
        const char* engine;
        std::int64_t pacingMs;
        std::int64_t startDelayMs;
        bool keepEngine;
        bool problem;
    };
    const Row rows[] = {
        { "", "", -1, -1, false, false },
        { "<pacing_ms>0</pacing_ms>", "", 0, -1, false, false },
        { "<pacing_ms> 250 </pacing_ms>", "", 250, -1, false, false },
        { "<pacing_ms>-5</pacing_ms>", "", -1, -1, false, true },
        { "<start_delay_ms>0</start_delay_ms>", "", -1, 0, false, false },
        { "<start_delay_ms>-1</start_delay_ms>", "", -1, -1, false, true },
        { "", "<restart>off</restart>", -1, -1, true, false },
        { "", "<restart> ON </restart>", -1, -1, false, false },
        { "", "<restart>never</restart>", -1, -1, false, true },
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.options) + r.engine);
        const clsTourneyConfig c = ConfigOf(std::string("<tourney><options>") + r.options
            + "</options><engines><engine active='true' name='A'><filename>a</filename>" + r.engine
            + "</engine></engines></tourney>");
        EXPECT_EQ(c.pacingMs, r.pacingMs);
        EXPECT_EQ(c.startDelayMs, r.startDelayMs);
        ASSERT_EQ(c.players.size(), 1u);
        EXPECT_EQ(c.players[0].keepEngine, r.keepEngine);
        EXPECT_EQ(c.problems.size(), r.problem ? 1u : 0u);
    }
}

TEST(TourneyConfig, DefaultsAndKinds)
{
    struct Row {
        const char* xml;
        bool found;
        int kind, rounds, threads;
        std::int64_t moves, gameMs, incrementMs;
        bool verbose;
    };
    const Row rows[] = {
        // No options at all: one round, one thread, a minute each.
        { "<tourney name='x'/>", true, TourneyKind::RoundRobin, 1, 1, 0, 60000, 0, false },
        // Options without a clock: the clock's own defaults.
        { "<tourney type='LEARNING'><options><rounds>3</rounds></options></tourney>", true,
            TourneyKind::Learning, 3, 1, 0, 300000, 0, false },
        { "<tourney type='gauntlet'><options><clock "
          "game_ms='5000'/><verbose>yes</verbose></options></tourney>",
            true, TourneyKind::Gauntlet, 1, 1, 0, 5000, 0, false },
        { "<tourney type='swiss'><options><threads>0</threads><rounds> 2 </rounds><verbose>True</verbose>"
          "</options></tourney>",
            true, TourneyKind::RoundRobin, 2, 1, 0, 300000, 0, true },
        { "<tourney><options><clock increment_ms='0' moves_per_second='12'/><threads>4</threads></options>"
          "</tourney>",
            true, TourneyKind::RoundRobin, 1, 4, 12, 300000, 0, false },
        { "<match name='x'/>", false, TourneyKind::RoundRobin, 1, 1, 0, 60000, 0, false },
    };
    for (const Row& r : rows) {
        const clsTourneyConfig c = ConfigOf(r.xml);
        SCOPED_TRACE(r.xml);
        EXPECT_EQ(c.found, r.found);
        EXPECT_EQ(c.kind, r.kind);
        EXPECT_EQ(c.rounds, r.rounds);
        EXPECT_EQ(c.threads, r.threads);
        EXPECT_EQ(c.movesPerControl, r.moves);
        EXPECT_EQ(c.gameMs, r.gameMs);
        EXPECT_EQ(c.incrementMs, r.incrementMs);
        EXPECT_EQ(c.verbose, r.verbose);
        EXPECT_TRUE(c.players.empty());
        EXPECT_TRUE(c.problems.empty()) << c.problems.front();
    }
}

TEST(TourneyConfig, ValuesThatCannotBeUsedNameTheirElement)
{
    struct Row {
        const char* options;
        const char* problem;
    };
    const Row rows[] = {
        { "<rounds>-5</rounds>", "<rounds> \"-5\" is not a whole number from 1" },
        { "<rounds>0</rounds>", "<rounds> \"0\" is not a whole number from 1" },
        { "<rounds>abc</rounds>", "<rounds> \"abc\"" },
        { "<clock game_ms='0'/>", "<clock> game_ms \"0\" is not a whole number from 1" },
        { "<clock game_ms='-1000'/>", "<clock> game_ms \"-1000\"" },
        { "<clock game_ms='fast'/>", "<clock> game_ms \"fast\"" },
        { "<clock game_ms='1000x'/>", "<clock> game_ms \"1000x\"" },
        { "<clock increment_ms='-1'/>", "<clock> increment_ms \"-1\" is not a whole number from 0" },
        { "<clock increment_ms='abc'/>", "<clock> increment_ms \"abc\"" },
        { "<clock moves_per_second='-40'/>", "<clock> moves_per_second \"-40\"" },
        { "<clock moves_per_second='x'/>", "<clock> moves_per_second \"x\"" },
        { "<threads>two</threads>", "<threads> \"two\"" },
        { "<pacing_ms>-5</pacing_ms>", "<pacing_ms> \"-5\"" },
        { "<adjudication><draw movenumber='40' movecount='0' score='10'/></adjudication>",
            "<adjudication> <draw> movecount \"0\" is not a whole number from 1" },
        { "<adjudication><draw movenumber='40' movecount='8'/></adjudication>",
            "<adjudication> <draw> score is missing" },
        { "<adjudication><resign movecount='3' score='-1'/></adjudication>",
            "<adjudication> <resign> score \"-1\" is not a whole number from 0" },
        { "<adjudication><resign movecount='3' score='500' twosided='yes'/></adjudication>",
            "<adjudication> <resign> twosided \"yes\" is not true or false" },
        { "<adjudication><maxmoves>0</maxmoves></adjudication>", "<adjudication> <maxmoves> \"0\"" },
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.options);
        const clsTourneyConfig c
            = ConfigOf(std::string("<tourney><options>") + r.options + "</options></tourney>");
        ASSERT_EQ(c.problems.size(), 1u);
        EXPECT_NE(c.problems.front().find(r.problem), std::string::npos) << c.problems.front();
    }
}

TEST(TourneyPairings, RoundRobinGauntletLearning)
{
    using Pairs = std::vector<std::pair<int, int>>;
    EXPECT_EQ(MakePairings(3, TourneyKind::RoundRobin),
        (Pairs { { 0, 1 }, { 0, 2 }, { 1, 0 }, { 1, 2 }, { 2, 0 }, { 2, 1 } }));
    EXPECT_EQ(MakePairings(3, TourneyKind::Gauntlet), (Pairs { { 0, 1 }, { 0, 2 }, { 1, 0 }, { 2, 0 } }));
    EXPECT_EQ(MakePairings(3, TourneyKind::Learning), MakePairings(3, TourneyKind::Gauntlet));
    EXPECT_EQ(MakePairings(5, TourneyKind::RoundRobin).size(), 20u);
    EXPECT_EQ(MakePairings(5, TourneyKind::Gauntlet).size(), 8u);
    EXPECT_TRUE(MakePairings(1, TourneyKind::RoundRobin).empty());
    EXPECT_TRUE(MakePairings(0, TourneyKind::Gauntlet).empty());
}

// Three fake players whose scripted moves decide every game (White-Black):
//   G1 Alpha-Beta 1-0 resign, G2 Alpha-Gamma 1-0 illegal move (Black plays White's Nf3),
//   G3 Beta-Alpha 0-1 resign, G4 Beta-Gamma 0-1 resign, G5 Gamma-Alpha 1-0 illegal move,
//   G6 Gamma-Beta 1-0 resign.
std::string FakeTourneyXml(const std::string& folder, const std::string& type, int rounds)
{
    const std::string engine = FAKE_ENGINE_PATH;
    return "<tourney name=\"Fakes\" type=\"" + type + "\"><options><rounds>" + std::to_string(rounds)
        + "</rounds><threads>2</threads><logfolder>" + folder
        + "</logfolder><clock moves_per_second=\"40\" game_ms=\"20000\" increment_ms=\"1000\"/></options>"
          "<engines>"
          "<engine active=\"true\" name=\"Alpha\" protocol=\"xboard\"><filename>\""
        + engine
        + "\"</filename><parameters>--moves=e2e4,e7e5</parameters></engine>"
          "<engine active=\"true\" name=\"Beta\" protocol=\"xboard\"><filename>"
        + engine
        + "</filename><parameters>--moves=</parameters></engine>"
          "<engine active=\"true\" name=\"Gamma\" protocol=\"uci\"><filename>"
        + engine
        + "</filename><parameters>--moves=g1f3</parameters></engine>"
          "</engines><pgn><header><Annotator>Tester</Annotator><DranNote>x</DranNote></header></pgn></"
          "tourney>";
}

TEST(TourneyRun, RoundRobinBetweenFakeEngines)
{
    testsupport::ScratchFolder folder("tourney_rr");
    const std::string file = folder.File("fakes.xml");
    ASSERT_TRUE(dranbase::clsString(FakeTourneyXml(folder.Path(), "roundrobin", 1)).SaveToFile(file, true));

    clsTourney tourney(3, file);
    tourney.Timing = FastTiming();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(tourney.Start());
    const bool ended = testsupport::WaitFor([&] { return !tourney.IsRunning(); }, 120s);
    tourney.Wait();
    const std::string console = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ended);

    // The standings and the players' scores.
    EXPECT_EQ(tourney.Standings(), (std::vector<std::string> { "Alpha: 6", "Beta: 0", "Gamma: 6" }));
    EXPECT_LE(tourney.PeakRunning(), 2);
    EXPECT_GE(tourney.PeakRunning(), 1);

    // The tournament log: one result line per game, then the standings.
    const std::vector<std::string> log = SplitLines(testsupport::ReadFile(folder.File("Fakes.log")));
    const std::string base = folder.File("Fakes.T3");
    const std::set<std::string> expected = {
        "1\t-\tresult\t1-0\tresign\tAlpha\tBeta\t" + base + ".R1.G1.pgn",
        "2\t-\tresult\t1-0\tillegal move\tAlpha\tGamma\t" + base + ".R1.G2.pgn",
        "3\t-\tresult\t0-1\tresign\tBeta\tAlpha\t" + base + ".R1.G3.pgn",
        "4\t-\tresult\t0-1\tresign\tBeta\tGamma\t" + base + ".R1.G4.pgn",
        "5\t-\tresult\t1-0\tillegal move\tGamma\tAlpha\t" + base + ".R1.G5.pgn",
        "6\t-\tresult\t1-0\tresign\tGamma\tBeta\t" + base + ".R1.G6.pgn",
    };
    std::set<std::string> results;
    for (const std::string& line : log) {
        // "tournament \t ms \t round \t game \t - \t text"
        std::vector<std::string> f = dranbase::SplitAll(line, '\t');
        ASSERT_GE(f.size(), 6u) << line;
        EXPECT_EQ(f[0], "3");
        if (f[5] != "result") continue;
        EXPECT_EQ(f[2], "1");
        results.insert(line.substr(line.find('\t', line.find('\t', line.find('\t') + 1) + 1) + 1));
    }
    EXPECT_EQ(results, expected);
    ASSERT_GE(log.size(), 6u);
    const std::vector<std::string> tail(log.end() - 6, log.end());
    const char* tailTexts[] = { "----------------- tournament has finished", "Alpha: 6", "Beta: 0",
        "Gamma: 6", "-----------------", "" };
    for (std::size_t i = 0; i < 6; ++i) {
        const std::vector<std::string> f = dranbase::SplitAll(tail[i], '\t');
        ASSERT_EQ(f.size(), 6u) << tail[i];
        EXPECT_EQ(f[5], tailTexts[i]);
    }
    EXPECT_NE(console.find("6 games created"), std::string::npos);
    EXPECT_NE(console.find("# ROUND 1/1 - GAMES PLAYING "), std::string::npos);
    // The progress line is written when it changes, never twice in a row.
    std::string previous;
    for (const std::string& line : dranbase::SplitAll(console, '\n')) {
        if (line.rfind("# ROUND ", 0) != 0) continue;
        EXPECT_NE(line, previous);
        previous = line;
    }
    EXPECT_NE(console.find("IN MOTO L'OROLOGIO DEL BIANCO!"), std::string::npos);

    // Every game has its PGN and log; the tags come in their order.
    for (int g = 1; g <= 6; ++g) {
        const std::string pgnFile = base + ".R1.G" + std::to_string(g) + ".pgn";
        ASSERT_TRUE(std::filesystem::exists(base + ".R1.G" + std::to_string(g) + ".log"));
        const std::string pgn = testsupport::ReadFile(pgnFile);
        std::vector<std::string> names;
        for (const std::string& line : SplitLines(pgn))
            if (!line.empty() && line[0] == '[') names.push_back(line.substr(1, line.find(' ') - 1));
        const std::vector<std::string> order = { "Event", "Site", "Date", "Round", "DranRound",
            "DranSoftware", "DranTimeControl", "TimeControl", "White", "Black", "Result", "Annotator",
            "Reason", "Termination", "PlyCount" };
        EXPECT_EQ(names, order) << pgn;
        EXPECT_NE(pgn.find("[Event \"Fakes\"]"), std::string::npos);
        EXPECT_NE(pgn.find("[DranRound \"3:1:" + std::to_string(g) + "\"]"), std::string::npos);
        EXPECT_NE(pgn.find("[DranTimeControl \"40:20000:1000\"]"), std::string::npos);
        EXPECT_NE(pgn.find("[TimeControl \"40/20+1\"]"), std::string::npos);
        const std::size_t date = pgn.find("[Date \"");
        ASSERT_NE(date, std::string::npos);
        const std::string day = pgn.substr(date + 7, 10);
        EXPECT_TRUE(day.size() == 10 && day[4] == '.' && day[7] == '.') << day;

        auto core = std::make_unique<clsChessCore>();
        clsGame game;
        std::string error;
        EXPECT_TRUE(ReadPgnGame(pgn, *core, game, 0, {}, &error)) << error << pgn;
    }
    EXPECT_TRUE(testsupport::ChildProcesses().empty());
}

TEST(TourneyRun, CancelAbortsGamesAndEndsEngines)
{
    testsupport::ScratchFolder folder("tourney_cancel");
    const std::string file = folder.File("slow.xml");
    const std::string engine = FAKE_ENGINE_PATH;
    const std::string xml = "<tourney name='Slow'><options><threads>2</threads><logfolder>" + folder.Path()
        + "</logfolder><clock game_ms='60000'/></options><engines>"
          "<engine active='true' name='A' protocol='xboard'><filename>"
        + engine
        + "</filename><parameters>--moves=e2e4 --move-delay=60000</parameters></engine>"
          "<engine active='true' name='B' protocol='uci'><filename>"
        + engine
        + "</filename><parameters>--moves=e7e5 --move-delay=60000</parameters></engine>"
          "</engines></tourney>";
    ASSERT_TRUE(dranbase::clsString(xml).SaveToFile(file, true));

    clsTourney tourney(1, file);
    tourney.Timing = FastTiming();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(tourney.Start());
    // Both games under way: four engines (the check before the games starts two at most).
    ASSERT_TRUE(testsupport::WaitFor([&] { return testsupport::ChildProcesses().size() >= 4; }, 20s));
    tourney.Cancel();
    const std::string console = testing::internal::GetCapturedStdout();

    EXPECT_FALSE(tourney.IsRunning());
    const std::string log = testsupport::ReadFile(folder.File("Slow.log"));
    EXPECT_NE(log.find("\t-\tcancel\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("result\t*\tgame aborted\tA\tB"), std::string::npos) << log;
    EXPECT_EQ(log.find("tournament has finished"), std::string::npos);
    EXPECT_NE(console.find("# end"), std::string::npos);
    EXPECT_TRUE(testsupport::ChildProcesses().empty());
}

TEST(TourneyRun, MissingFileAndLearningKind)
{
    testing::internal::CaptureStdout();
    {
        clsTourney missing(1, "/nonexistent/corvala-tourney.xml");
        ASSERT_TRUE(missing.Start());
        missing.Wait();
        EXPECT_EQ(missing.PlayerCount(), 0);
        EXPECT_TRUE(missing.Failed());
    }
    std::string console = testing::internal::GetCapturedStdout();
    // Said as what it is, not as a file without a tourney element.
    EXPECT_NE(console.find(
                  "# tournament stopped: cannot read the tournament file /nonexistent/corvala-tourney.xml"),
        std::string::npos)
        << console;
    EXPECT_EQ(console.find("no tourney element"), std::string::npos) << console;

    // The learning kind hands its players to the hook instead of playing rounds.
    testsupport::ScratchFolder folder("tourney_learning");
    const std::string file = folder.File("learn.xml");
    ASSERT_TRUE(dranbase::clsString(FakeTourneyXml(folder.Path(), "Learning", 1)).SaveToFile(file, true));
    clsTourney learning(2, file);
    int hookPlayers = -1;
    learning.LearningHook = [&](clsTourney& t) { hookPlayers = t.PlayerCount(); };
    testing::internal::CaptureStdout();
    ASSERT_TRUE(learning.Start());
    learning.Wait();
    console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(hookPlayers, 3);
    EXPECT_NE(console.find("4 games created"), std::string::npos);
    EXPECT_NE(console.find("----------------- learning has finished"), std::string::npos);
    EXPECT_EQ(console.find("GAMES PLAYING"), std::string::npos);
}

// A tournament of two fake engines with the options text and the engines' protocols and
// parameters given; the clock and folder as the test says.
std::string TwoPlayerXml(const std::string& name, const std::string& folder, const std::string& second,
    const std::string& secondProtocol = "xboard", const std::string& secondParameters = "--moves=")
{
    return "<tourney name=\"" + name + "\"><options><logfolder>" + folder
        + "</logfolder><clock game_ms=\"20000\"/></options><engines>"
          "<engine active=\"true\" name=\"A\" protocol=\"xboard\"><filename>"
        + std::string(FAKE_ENGINE_PATH) + "</filename><parameters>--moves=e2e4,d2d4</parameters></engine>"
        + second + (second.empty() ? "" : "") + "<engine active=\"true\" name=\"B\" protocol=\""
        + secondProtocol + "\"><filename>" + std::string(FAKE_ENGINE_PATH) + "</filename><parameters>"
        + secondParameters + "</parameters></engine></engines></tourney>";
}

// Runs the tournament file to its end; the console it printed.
std::string RunTourney(clsTourney& tourney)
{
    tourney.Timing = FastTiming();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(tourney.Start());
    EXPECT_TRUE(testsupport::WaitFor([&] { return !tourney.IsRunning(); }, 120s));
    tourney.Wait();
    return testing::internal::GetCapturedStdout();
}

TEST(TourneyRun, RefusedBeforeTheFirstGame)
{
    testsupport::ScratchFolder folder("tourney_refused");
    const std::string plainFile = folder.File("plain");
    ASSERT_TRUE(dranbase::clsString("x").SaveToFile(plainFile, true));
    const std::string games = folder.File("games");
    const std::string engine = FAKE_ENGINE_PATH;
    struct Case {
        const char* what;
        std::string xml;
        std::string message;
    };
    const Case cases[] = {
        { "engine cannot start",
            "<tourney name='T'><options><logfolder>" + games
                + "</logfolder></options><engines><engine active='true' name='A' protocol='xboard'><filename>"
                + engine
                + "</filename></engine><engine active='true' name='Ghost' "
                  "protocol='xboard'><filename>/nonexistent/engine</filename></engine></engines></tourney>",
            "# tournament stopped: engine 'Ghost' cannot start '/nonexistent/engine': No such file or "
            "directory" },
        { "UCI engine without uciok", TwoPlayerXml("T", games, "", "uci", "--no-uciok"),
            "# tournament stopped: engine 'B' did not finish its handshake" },
        { "one player",
            "<tourney name='T'><options><logfolder>" + games
                + "</logfolder></options><engines><engine active='true' name='A'><filename>" + engine
                + "</filename></engine></engines></tourney>",
            "# tournament stopped: a tournament needs two active engines or more; " },
        { "unclosed options", "<tourney name='T'><options><logfolder>" + games + "</logfolder></tourney>",
            "# tournament stopped: malformed file " },
        { "log folder is a file", TwoPlayerXml("T", plainFile, ""),
            "# tournament stopped: cannot write in the log folder " + plainFile },
        { "rounds not a number",
            "<tourney name='T'><options><rounds>abc</rounds><logfolder>" + games
                + "</logfolder></options><engines><engine active='true' name='A'><filename>" + engine
                + "</filename></engine><engine active='true' name='B'><filename>" + engine
                + "</filename></engine></engines></tourney>",
            "# tournament stopped: bad value in " },
        { "zero game time",
            "<tourney name='T'><options><clock game_ms='0'/><logfolder>" + games
                + "</logfolder></options><engines><engine active='true' name='A'><filename>" + engine
                + "</filename></engine><engine active='true' name='B'><filename>" + engine
                + "</filename></engine></engines></tourney>",
            "<clock> game_ms \"0\"" },
        { "sprt alpha 0",
            "<tourney name='T'><options><sprt alpha='0'/><logfolder>" + games
                + "</logfolder></options><engines><engine active='true' name='A'><filename>" + engine
                + "</filename></engine><engine active='true' name='B'><filename>" + engine
                + "</filename></engine></engines></tourney>",
            "sprt: alpha and beta must be above 0" },
        { "sprt elo0 not below elo1",
            "<tourney name='T'><options><sprt elo0='5' elo1='5'/><logfolder>" + games
                + "</logfolder></options><engines><engine active='true' name='A'><filename>" + engine
                + "</filename></engine><engine active='true' name='B'><filename>" + engine
                + "</filename></engine></engines></tourney>",
            "sprt: elo1 must be above elo0" },
        { "sprt nan and negative min_games",
            "<tourney name='T'><options><sprt elo1='nan' min_games='-3'/><logfolder>" + games
                + "</logfolder></options><engines><engine active='true' name='A'><filename>" + engine
                + "</filename></engine><engine active='true' name='B'><filename>" + engine
                + "</filename></engine></engines></tourney>",
            "sprt: elo1 \"nan\" is not a number; sprt: min_games \"-3\"" },
        { "openings of an unknown format and negative plies",
            "<tourney name='T'><options><openings file='" + DataFolder
                + "/openings.epd' format='cbh' plies='-2'/><logfolder>" + games
                + "</logfolder></options><engines><engine active='true' name='A'><filename>" + engine
                + "</filename></engine><engine active='true' name='B'><filename>" + engine
                + "</filename></engine></engines></tourney>",
            "openings: format \"cbh\" is not epd or pgn; openings: plies \"-2\"" },
        { "learning kind without the learning command",
            "<tourney name='T' type='learning'><options><logfolder>" + games
                + "</logfolder></options><engines><engine active='true' name='A'><filename>" + engine
                + "</filename></engine><engine active='true' name='B'><filename>" + engine
                + "</filename></engine></engines></tourney>",
            "# tournament stopped: the tournament kind learning is not run from a tournament file" },
    };
    int number = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = folder.File("t" + std::to_string(number) + ".xml");
        ASSERT_TRUE(dranbase::clsString(c.xml).SaveToFile(file, true));
        clsTourney tourney(number++, file);
        const std::int64_t t0 = dranbase::Tick();
        const std::string console = RunTourney(tourney);
        EXPECT_LT(dranbase::Tick() - t0, 30000);
        EXPECT_TRUE(tourney.Failed());
        EXPECT_NE(console.find(c.message), std::string::npos) << console;
        EXPECT_EQ(console.find("games created"), std::string::npos) << console;
        EXPECT_EQ(console.find("new match"), std::string::npos) << console;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(games, ec))
            EXPECT_EQ(entry.path().extension(), ".log") << entry.path(); // no game was played
        EXPECT_TRUE(testsupport::ChildProcesses().empty());
    }
}

TEST(TourneyRun, AWrapperWithoutExecLeavesNothingBehind)
{
    // The shell starts the real engine as its child and waits; the engine ignores "quit" and
    // SIGTERM. When the tournament is over, the engine must be gone too.
    testsupport::ScratchFolder folder("tourney_wrapper");
    const std::string pidFile = folder.File("engine.pid");
    const std::string wrapper = folder.File("wrapper.sh");
    ASSERT_TRUE(dranbase::clsString("#!/bin/sh\n\"" + std::string(FAKE_ENGINE_PATH)
        + "\" --moves= --ignore-quit --ignore-term --pid-file=" + pidFile + "\n")
                    .SaveToFile(wrapper, true));
    std::filesystem::permissions(wrapper, std::filesystem::perms::owner_all);
    std::string xml = TwoPlayerXml("W", folder.File("games"), "");
    const std::string fake
        = "<filename>" + std::string(FAKE_ENGINE_PATH) + "</filename><parameters>--moves=</parameters>";
    const std::size_t at = xml.rfind(fake);
    ASSERT_NE(at, std::string::npos);
    xml.replace(at, fake.size(), "<filename>" + wrapper + "</filename>");
    const std::string file = folder.File("w.xml");
    ASSERT_TRUE(dranbase::clsString(xml).SaveToFile(file, true));

    clsTourney tourney(1, file);
    RunTourney(tourney);
    EXPECT_FALSE(tourney.Failed());
    EXPECT_EQ(tourney.Standings(), (std::vector<std::string> { "A: 4", "B: 0" }));
    const int pid = std::atoi(testsupport::ReadFile(pidFile).c_str());
    ASSERT_GT(pid, 0);
    // Gone, or a zombie waiting for the process that adopted it.
    bool gone = false;
    for (std::int64_t end = dranbase::Tick() + 5000; !gone && dranbase::Tick() < end; dranbase::SleepMs(10)) {
        const std::string stat = testsupport::ReadFile("/proc/" + std::to_string(pid) + "/stat");
        const std::size_t close = stat.rfind(')');
        gone = stat.empty() || (close != std::string::npos && stat.substr(close + 2, 1) == "Z");
    }
    EXPECT_TRUE(gone) << "engine " << pid << " outlived its tournament";
    if (!gone) ::kill(pid, SIGKILL);
}

TEST(TourneyRun, FilesStayInTheFolderAndRunsKeepTheirFiles)
{
    testsupport::ScratchFolder outer("tourney_files");
    const std::string games = outer.File("games");
    const std::string file = outer.File("t.xml");
    // The name tries to climb out of the log folder.
    ASSERT_TRUE(dranbase::clsString(TwoPlayerXml("../../Escape", games, "")).SaveToFile(file, true));
    std::vector<std::string> firstRun;
    for (int run = 1; run <= 2; ++run) {
        clsTourney tourney(1, file);
        RunTourney(tourney);
        EXPECT_FALSE(tourney.Failed());
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(games))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        if (run == 1) {
            EXPECT_EQ(names,
                (std::vector<std::string> { ".._.._Escape.T1.R1.G1.log", ".._.._Escape.T1.R1.G1.pgn",
                    ".._.._Escape.T1.R1.G2.log", ".._.._Escape.T1.R1.G2.pgn", ".._.._Escape.log",
                    ".._.._Escape.state" }));
            firstRun = names;
            for (const std::string& name : names)
                EXPECT_FALSE(testsupport::ReadFile((std::filesystem::path(games) / name).string()).empty());
        } else {
            // The second run writes beside the first, under a name of its own.
            EXPECT_EQ(names.size(), 2 * firstRun.size());
            for (const std::string& name : firstRun)
                EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
            EXPECT_NE(std::find(names.begin(), names.end(), ".._.._Escape-2.log"), names.end());
        }
    }
    // Nothing was written outside the log folder.
    std::vector<std::string> outside;
    for (const auto& entry : std::filesystem::directory_iterator(outer.Path()))
        outside.push_back(entry.path().filename().string());
    std::sort(outside.begin(), outside.end());
    EXPECT_EQ(outside, (std::vector<std::string> { "games", "t.xml" }));
    EXPECT_EQ(SafeFileName(".."), "tourney");
    EXPECT_EQ(SafeFileName(""), "tourney");
    EXPECT_EQ(SafeFileName("a\\b/c"), "a_b_c");
}

} // namespace
