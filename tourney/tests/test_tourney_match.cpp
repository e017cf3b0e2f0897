// Tournaments as matches: openings in colour-reversed pairs, statistics in the log, the SPRT
// that ends a match, and a tournament that continues after being killed.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "book/clsgame.h"
#include "dranbase/clsstring.h"
#include "dranbase/clsxml.h"
#include "rules/clschesscore.h"
#include "tourney/clstourney.h"
#include "tourney/gamerules.h"
#include "tourney/tests/fasttiming.h"
#include "tourney/tests/test_referee_support.h"
#include "tourney/tourneystate.h"
#include "tourney/tourneytally.h"

using namespace drnChess;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// The text of the log lines whose kind (sixth field) is `kind`.
std::vector<std::string> LogTexts(const std::vector<std::string>& log, const std::string& kind)
{
    std::vector<std::string> texts;
    for (const std::string& line : log) {
        const std::vector<std::string> f = dranbase::SplitAll(line, '\t');
        if (f.size() >= 7 && f[5] == kind)
            texts.push_back(line.substr(line.find(kind + "\t") + kind.size() + 1));
    }
    return texts;
}

void RunToEnd(clsTourney& tourney)
{
    tourney.Timing = FastTiming();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(tourney.Start());
    const bool ended = testsupport::WaitFor([&] { return !tourney.IsRunning(); }, 300s);
    tourney.Wait();
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ended);
}

TEST(TourneyTally, CountsKnownResultsFromTheLowerPlayersSide)
{
    clsTourneyTally tally;
    tally.Reset({ "A", "B", "C" });
    struct Case {
        int white, black;
        std::uint32_t code;
        std::int64_t pair;
        bool counted;
    };
    const Case cases[] = {
        { 0, 1, GameResult::WhiteWon, 0, true }, // A wins
        { 1, 0, GameResult::WhiteWon, 0, true }, // B wins: the pair 0 is 1 point for A
        { 2, 0, GameResult::Draw | GameResult::Repetition, -1, true },
        { 1, 2, GameResult::BlackWon, -1, true }, // C wins
        { 0, 1, GameResult::Aborted, 1, false },
        { 0, 1, GameResult::Unfinished, 1, false },
        { 0, 0, GameResult::WhiteWon, -1, false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(tally.AddGame(c.white, c.black, c.code, c.pair), c.counted) << c.white << c.black << c.code;
    const clsMatchTally* ab = tally.Pair(1, 0);
    ASSERT_NE(ab, nullptr);
    EXPECT_EQ(ab->Games().wins, 1);
    EXPECT_EQ(ab->Games().losses, 1);
    EXPECT_EQ(ab->Pairs().pairs[2], 1);
    EXPECT_EQ(ab->OpenPairs(), 0u);
    const clsMatchTally* ac = tally.Pair(0, 2);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->Games().draws, 1);
    EXPECT_EQ(tally.Pair(2, 1)->Games().losses, 1); // B lost to C
    const clsWLD& a = tally.Player(0);
    EXPECT_EQ(
        std::vector<std::int64_t>({ a.wins, a.losses, a.draws }), std::vector<std::int64_t>({ 1, 1, 1 }));
    const clsWLD& c = tally.Player(2);
    EXPECT_EQ(
        std::vector<std::int64_t>({ c.wins, c.losses, c.draws }), std::vector<std::int64_t>({ 1, 0, 1 }));

    EXPECT_EQ(tally.PairLines(1, 0).size(), 2u); // games and the complete pair
    EXPECT_EQ(tally.PairLines(0, 2).size(), 1u);
    EXPECT_EQ(tally.PairLines(0, 2)[0], FormatMatchLine("A", "C", ac->Games()));
    const std::vector<std::string> summary = tally.SummaryLines();
    // The standings table (a header and three players), then A-B (two lines), A-C, B-C.
    ASSERT_EQ(summary.size(), 4u + 4u);
    EXPECT_NE(summary[3].find(" B "), std::string::npos) << summary[3]; // the lowest score last
}

// Two fake engines: A plays e2e4 and nothing else, B resigns when it is to move. From the start
// position A wins both games of a pair; after 1.e4 A loses as Black (its e2e4 is illegal) and
// wins as White, one point in the pair.
std::string MatchXml(const std::string& folder, const std::string& openings, const std::string& sprt,
    int rounds, int threads = 2)
{
    const std::string engine = FAKE_ENGINE_PATH;
    return "<tourney name=\"Match\"><options><rounds>" + std::to_string(rounds) + "</rounds><threads>"
        + std::to_string(threads) + "</threads><logfolder>" + folder
        + "</logfolder><clock game_ms=\"20000\"/>" + openings + sprt
        + "</options><engines>"
          "<engine active=\"true\" name=\"A\" protocol=\"xboard\"><filename>"
        + engine
        + "</filename><parameters>--moves=e2e4</parameters></engine>"
          "<engine active=\"true\" name=\"B\" protocol=\"uci\"><filename>"
        + engine + "</filename><parameters>--moves=</parameters></engine></engines></tourney>";
}

const std::string StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
const std::string AfterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -";

TEST(TourneyMatch, OpeningPairsStatisticsAndSprtVerdict)
{
    testsupport::ScratchFolder folder("tourney_match");
    const std::string epd = folder.File("two.epd");
    ASSERT_TRUE(dranbase::clsString(
        "# two openings\n" + StartFen + " id \"start\";\nnot a position\n" + AfterE4 + " id \"e4\";\n")
                    .SaveToFile(epd, true));
    const std::string file = folder.File("match.xml");
    // H1 (150 Elo) against H0 (0 Elo): the pairs score 1, 0.5, 1 ... of 1; the LLR passes
    // log(0.9 / 0.1) after the third pair and not before. One game at a time: with two, a game
    // of the fourth pair may have started before the verdict, and it is played to its end.
    ASSERT_TRUE(dranbase::clsString(
        MatchXml(folder.Path(), "<openings file=\"" + epd + "\" format=\"epd\"/>",
            "<sprt elo0=\"0\" elo1=\"150\" alpha=\"0.1\" beta=\"0.1\" min_games=\"0\"/>", 10, 1))
                    .SaveToFile(file, true));
    clsTourney tourney(1, file);
    RunToEnd(tourney);
    ASSERT_FALSE(tourney.Failed());
    EXPECT_EQ(tourney.Verdict(), SprtVerdict::AcceptH1);

    const std::vector<std::string> log = Lines(testsupport::ReadFile(folder.File("Match.log")));
    const std::vector<std::string> results = LogTexts(log, "result");
    ASSERT_EQ(results.size(), 6u); // three pairs, then the match stopped
    bool badLine = false, verdict = false;
    for (const std::string& line : log) {
        badLine = badLine || line.find("opening skipped: " + epd + " line 3: ") != std::string::npos;
        verdict = verdict || line.find("sprt\tH1 accepted: the match stops") != std::string::npos;
    }
    EXPECT_TRUE(badLine);
    EXPECT_TRUE(verdict);
    const std::vector<std::string> sprt = LogTexts(log, "sprt");
    ASSERT_GE(sprt.size(), 7u); // one after each game, the verdict, the end
    EXPECT_NE(sprt.back().find("H1 accepted"), std::string::npos) << sprt.back();
    // After the last game: 5 of 6 won by A, pairs 2, 1, 2 points.
    const std::vector<std::string> stats = LogTexts(log, "stats");
    clsWLD games;
    games.wins = 5;
    games.losses = 1;
    clsPentanomial pairs;
    pairs.pairs = { 0, 0, 1, 0, 2 };
    EXPECT_NE(std::find(stats.begin(), stats.end(), FormatMatchLine("A", "B", games)), stats.end());
    EXPECT_NE(std::find(stats.begin(), stats.end(), FormatPairsLine("A", "B", pairs)), stats.end());
    EXPECT_EQ(tourney.Standings(), (std::vector<std::string> { "A: 10", "B: 2" }));

    // The games of a pair share the opening with the colours swapped; the record starts from it.
    std::map<std::string, int> fenCount;
    int whiteA = 0;
    for (int g = 1; g <= 2; ++g)
        for (int round = 1; round <= 3; ++round) {
            const std::string pgn = testsupport::ReadFile(
                folder.File("Match.T1.R" + std::to_string(round) + ".G" + std::to_string(g) + ".pgn"));
            const bool fromE4 = pgn.find("[FEN \"" + AfterE4) != std::string::npos;
            EXPECT_EQ(fromE4, round == 2) << pgn;
            if (fromE4) {
                EXPECT_NE(pgn.find("[SetUp \"1\"]"), std::string::npos) << pgn;
            }
            // Which entry of the suite: the second one read (the bad line between is skipped).
            EXPECT_NE(pgn.find(fromE4 ? "[DranOpening \"2\"]" : "[DranOpening \"1\"]"), std::string::npos)
                << pgn;
            ++fenCount[fromE4 ? "e4" : "start"];
            whiteA += pgn.find("[White \"A\"]") != std::string::npos;
            auto core = std::make_unique<clsChessCore>();
            clsGame game;
            std::string error;
            EXPECT_TRUE(ReadPgnGame(pgn, *core, game, 0, {}, &error)) << error << pgn;
        }
    EXPECT_EQ(fenCount["e4"], 2);
    EXPECT_EQ(whiteA, 3);
}

// The referee applies the fifty-move rule itself: from an opening whose half-move clock is 99,
// White's first move ends each game of the pair as a draw, though neither player claims it.
TEST(TourneyMatch, FiftyMoveRuleEndsBothGamesOfAPair)
{
    testsupport::ScratchFolder folder("tourney_fifty");
    const std::string pgn = folder.File("fifty.pgn");
    ASSERT_TRUE(dranbase::clsString("[FEN \"k7/8/8/8/8/8/8/K6R w - - 99 80\"]\n[SetUp \"1\"]\n"
                                    "[ECO \"E00\"]\n[Opening \"Rook ending\"]\n\n*\n")
                    .SaveToFile(pgn, true));
    std::string xml = MatchXml(folder.Path(), "<openings file=\"" + pgn + "\" format=\"pgn\"/>", "", 1);
    for (std::size_t at; (at = xml.find("--moves=e2e4")) != std::string::npos;)
        xml.replace(at, 12, "--moves=h1h2,a8b7");
    for (std::size_t at; (at = xml.find("--moves=<")) != std::string::npos;)
        xml.replace(at, 9, "--moves=h1h2,a8b7<");
    const std::string file = folder.File("match.xml");
    ASSERT_TRUE(dranbase::clsString(xml).SaveToFile(file, true));
    clsTourney tourney(1, file);
    RunToEnd(tourney);
    ASSERT_FALSE(tourney.Failed());
    const std::vector<std::string> results
        = LogTexts(Lines(testsupport::ReadFile(folder.File("Match.log"))), "result");
    ASSERT_EQ(results.size(), 2u);
    for (const std::string& result : results)
        EXPECT_EQ(result.rfind("1/2-1/2\t50 moves\t", 0), 0u) << result;
    for (int g = 1; g <= 2; ++g) {
        const std::string game
            = testsupport::ReadFile(folder.File("Match.T1.R1.G" + std::to_string(g) + ".pgn"));
        EXPECT_NE(game.find("80. Rh2 {0.00/1 "), std::string::npos) << game; // the engine's score and depth
        EXPECT_NE(game.find("s} 1/2-1/2"), std::string::npos) << game; // then the time it took
        EXPECT_NE(game.find("[Termination \"normal\"]"), std::string::npos) << game;
        EXPECT_NE(game.find("[PlyCount \"1\"]"), std::string::npos) << game;
        EXPECT_NE(game.find("[DranOpening \"1\"]"), std::string::npos) << game; // the suite's only entry
        EXPECT_NE(game.find("[ECO \"E00\"]"), std::string::npos) << game; // the opening's own tags
        EXPECT_NE(game.find("[Opening \"Rook ending\"]"), std::string::npos) << game;
    }
}

TEST(TourneyMatch, UnreadableOpeningsRefuseTheRun)
{
    testsupport::ScratchFolder folder("tourney_noopen");
    const std::string file = folder.File("match.xml");
    ASSERT_TRUE(dranbase::clsString(
        MatchXml(folder.Path(), "<openings file=\"" + folder.File("none.epd") + "\"/>", "", 1))
                    .SaveToFile(file, true));
    clsTourney tourney(1, file);
    RunToEnd(tourney);
    EXPECT_TRUE(tourney.Failed());
    EXPECT_NE(testsupport::ReadFile(folder.File("Match.log")).find("no opening can be read from"),
        std::string::npos);
}

// The state is written when the run starts: a run stopped in its first game is continued by
// the next start, not restarted beside itself under a new name.
TEST(TourneyResume, ARunStoppedInItsFirstGameIsContinued)
{
    testsupport::ScratchFolder folder("tourney_first_game");
    std::string xml = MatchXml(folder.Path(), "", "", 1);
    xml.replace(xml.find("--moves=e2e4"), 12, "--moves=e2e4 --move-delay=3000");
    const std::string file = folder.File("match.xml");
    ASSERT_TRUE(dranbase::clsString(xml).SaveToFile(file, true));
    {
        clsTourney first(1, file);
        first.Timing = FastTiming();
        testing::internal::CaptureStdout();
        ASSERT_TRUE(first.Start());
        const bool stateWritten
            = testsupport::WaitFor([&] { return std::filesystem::exists(folder.File("Match.state")); }, 60s);
        first.Cancel();
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(stateWritten);
        EXPECT_EQ(testsupport::ReadFile(first.LogFileName()).find("\tresult\t1-0"), std::string::npos)
            << "the first game was to be still running";
    }
    clsTourney again(1, file);
    RunToEnd(again);
    EXPECT_FALSE(again.Failed());
    EXPECT_EQ(again.LogFileName(), folder.File("Match.log"));
    EXPECT_FALSE(std::filesystem::exists(folder.File("Match-2.log")));
}

// A state file with a good checksum is still read for what it says: game numbers outside the
// tournament and codes that are no result refuse the run (and the job list).
TEST(TourneyResume, AStateThatMakesNoSenseIsRefused)
{
    struct Case {
        const char* what;
        int index;
        std::uint32_t code;
        const char* message;
    };
    const Case cases[] = {
        { "game number beyond the tournament", 2, GameResult::Draw,
            "names game 3, but the tournament has 2" },
        { "unfinished game", 0, GameResult::Unfinished, "which is no result" },
        { "aborted game", 1, GameResult::Aborted, "which is no result" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::ScratchFolder folder("tourney_bad_state");
        const std::string file = folder.File("match.xml");
        ASSERT_TRUE(dranbase::clsString(MatchXml(folder.Path(), "", "", 1)).SaveToFile(file, true));
        dranbase::clsXML document;
        ASSERT_TRUE(document.LoadFile(file));
        clsTourneyState state;
        state.fingerprint = TourneyFingerprint(document);
        state.games.push_back({ c.index, c.code, "x.pgn" });
        ASSERT_TRUE(
            dranbase::clsString("1\t0\t0\t0\t-\tloading\r\n").SaveToFile(folder.File("Match.log"), true));
        ASSERT_TRUE(SaveTourneyState(folder.File("Match.state"), state));

        clsTourney tourney(1, file);
        tourney.Timing = FastTiming();
        testing::internal::CaptureStdout();
        ASSERT_TRUE(tourney.Start());
        EXPECT_TRUE(testsupport::WaitFor([&] { return !tourney.IsRunning(); }, 60s));
        tourney.Wait();
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(tourney.Failed());
        EXPECT_NE(console.find("# tournament stopped: the state file " + folder.File("Match.state") + " "),
            std::string::npos)
            << console;
        EXPECT_NE(console.find(c.message), std::string::npos) << console;
        EXPECT_EQ(console.find("games created"), std::string::npos) << console;

        testing::internal::CaptureStdout();
        EXPECT_EQ(RunJobsCommand(file, "/bin/corvala"), 1);
        EXPECT_NE(testing::internal::GetCapturedStdout().find(c.message), std::string::npos);
    }
}

// The first write that fails stops the tournament: here the first game's PGN cannot replace the
// folder that takes its name. Nothing more is played, the run fails and is not marked finished.
TEST(TourneyResume, AFailedWriteStopsTheTournament)
{
    testsupport::ScratchFolder folder("tourney_write_fails");
    std::string xml = MatchXml(folder.Path(), "", "", 5);
    xml.replace(xml.find("<threads>2</threads>"), 20, "<threads>1</threads>");
    const std::string file = folder.File("match.xml");
    ASSERT_TRUE(dranbase::clsString(xml).SaveToFile(file, true));
    std::filesystem::create_directories(folder.File("Match.T1.R1.G1.pgn"));
    clsTourney tourney(1, file);
    tourney.Timing = FastTiming();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(tourney.Start());
    EXPECT_TRUE(testsupport::WaitFor([&] { return !tourney.IsRunning(); }, 120s));
    tourney.Wait();
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(tourney.Failed());
    EXPECT_NE(console.find("# tournament stopped: cannot write " + folder.File("Match.T1.R1.G1.pgn")),
        std::string::npos)
        << console;
    const std::vector<std::string> log = Lines(testsupport::ReadFile(folder.File("Match.log")));
    EXPECT_LE(LogTexts(log, "result").size(), 1u);
    for (const std::string& line : log)
        EXPECT_EQ(line.find("tournament has finished"), std::string::npos) << line;
    EXPECT_FALSE(std::filesystem::exists(folder.File("Match.T1.R1.G2.pgn"))) << "no game after the failure";
}

// Three fake engines, each pair meeting twice a round, two games at once; each game takes a moment.
std::string ResumeXml(const std::string& folder, const std::string& gammaMoves, int rounds)
{
    const std::string engine = FAKE_ENGINE_PATH;
    auto player = [&](const std::string& name, const std::string& parameters) {
        return "<engine active=\"true\" name=\"" + name + "\" protocol=\"xboard\"><filename>" + engine
            + "</filename><parameters>" + parameters + "</parameters></engine>";
    };
    return "<tourney name=\"Resume\"><options><rounds>" + std::to_string(rounds)
        + "</rounds><threads>2</threads><logfolder>" + folder
        + "</logfolder><clock game_ms=\"20000\"/></options><engines>"
        + player("Alpha", "--moves=e2e4,d2d4,g1f3 --move-delay=60")
        + player("Beta", "--moves=e7e5,d7d5 --move-delay=60")
        + player("Gamma", "--moves=" + gammaMoves + " --move-delay=60") + "</engines></tourney>";
}

TEST(TourneyResume, KilledRunsContinueToExactlyTheFullSetOfGames)
{
    testsupport::ScratchFolder folder("tourney_resume");
    const std::string file = folder.File("resume.xml");
    ASSERT_TRUE(dranbase::clsString(ResumeXml(folder.Path(), "g8f6", 3)).SaveToFile(file, true));

    std::random_device device;
    const unsigned seed = device();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    for (int kill = 0; kill < 3; ++kill) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            clsTourney tourney(1, file);
            tourney.Timing = FastTiming();
            tourney.Start();
            tourney.Wait();
            ::_exit(0);
        }
        // Each run finishes a game of its own (the log gains a result), then dies at a random
        // moment of the games that follow, long before the 18 games are played. The state file
        // is no sign of a game: it is written before the first one too.
        const std::string logPath = folder.File("Resume.log");
        auto results = [&] { return LogTexts(Lines(testsupport::ReadFile(logPath)), "result").size(); };
        const std::size_t before = results();
        EXPECT_TRUE(testsupport::WaitFor([&] { return results() > before; }, 120s));
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 800));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
    }

    // A changed file is refused, and the message says how to start afresh.
    ASSERT_TRUE(dranbase::clsString(ResumeXml(folder.Path(), "g8h6", 3)).SaveToFile(file, true));
    {
        clsTourney changed(1, file);
        testing::internal::CaptureStdout();
        ASSERT_TRUE(changed.Start());
        changed.Wait();
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(changed.Failed());
        EXPECT_NE(console.find("delete it to start the tournament afresh"), std::string::npos) << console;
    }
    ASSERT_TRUE(dranbase::clsString(ResumeXml(folder.Path(), "g8f6", 3)).SaveToFile(file, true));

    clsTourney last(1, file);
    RunToEnd(last);
    ASSERT_FALSE(last.Failed());
    ASSERT_EQ(last.LogFileName(), folder.File("Resume.log")); // one run, continued
    dranbase::clsXML document;
    ASSERT_TRUE(document.LoadFile(file));
    const clsStateRead state = LoadTourneyState(last.StateFileName(), TourneyFingerprint(document));
    ASSERT_EQ(state.status, StateStatus::Loaded) << state.message;
    ASSERT_EQ(state.state.games.size(), 18u);
    // Every game's PGN is whole and its result is the state's; the standings are their sum.
    std::map<std::string, int> halfPoints;
    for (std::size_t i = 0; i < state.state.games.size(); ++i) {
        const clsFinishedGame& game = state.state.games[i];
        EXPECT_EQ(game.index, static_cast<int>(i));
        const std::string pgn = testsupport::ReadFile(game.pgnFile);
        auto core = std::make_unique<clsChessCore>();
        clsGame record;
        std::string error;
        ASSERT_TRUE(ReadPgnGame(pgn, *core, record, 0, {}, &error)) << error << pgn;
        const clsHalfPoints points = HalfPoints(game.resultCode);
        EXPECT_EQ(HalfPoints(record.ResultCode).white, points.white) << pgn;
        halfPoints[record.Tag("White")] += points.white;
        halfPoints[record.Tag("Black")] += points.black;
    }
    std::vector<std::string> expected;
    for (const char* name : { "Alpha", "Beta", "Gamma" })
        expected.push_back(std::string(name) + ": " + std::to_string(halfPoints[name]));
    EXPECT_EQ(last.Standings(), expected);
    std::int64_t counted = 0;
    for (int p = 0; p < 3; ++p)
        counted += last.Tally().Player(p).Games();
    EXPECT_EQ(counted, 36);
    // The log is whole: every line has its fields, and it ends as a finished tournament does.
    const std::vector<std::string> log = Lines(testsupport::ReadFile(last.LogFileName()));
    for (const std::string& line : log)
        EXPECT_GE(dranbase::SplitAll(line, '\t').size(), 6u) << line;
    EXPECT_EQ(LogTexts(log, "stats").empty(), false);
    // The last run counted what the killed ones finished and played only the rest.
    std::size_t lastStart = 0, continued = 0;
    for (std::size_t i = 0; i < log.size(); ++i)
        if (log[i].find("\t-\tcontinuing " + last.LogFileName() + ": ") != std::string::npos) {
            lastStart = i;
            ++continued;
        }
    EXPECT_EQ(continued, 3u); // the second and third killed runs and the last; not the refused one
    EXPECT_LE(
        LogTexts({ log.begin() + static_cast<std::ptrdiff_t>(lastStart), log.end() }, "result").size(), 15u);

    // Started again after its end, the tournament is a new run beside the finished one.
    clsTourney again(1, file);
    RunToEnd(again);
    EXPECT_EQ(again.LogFileName(), folder.File("Resume-2.log"));
}

// The job list is read by tools that run each line as a command: with openings (whose loading
// the tournament log reports) every line is still a command or a comment.
TEST(TourneyJobs, TheListHoldsOnlyCommandsAndComments)
{
    testsupport::ScratchFolder folder("tourney_jobs_openings");
    const std::string epd = folder.File("one.epd");
    ASSERT_TRUE(dranbase::clsString(StartFen + "\nnot a position\n").SaveToFile(epd, true));
    const std::string file = folder.File("match.xml");
    ASSERT_TRUE(dranbase::clsString(MatchXml(folder.Path(), "<openings file=\"" + epd + "\"/>", "", 1))
                    .SaveToFile(file, true));
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunJobsCommand(file, "/bin/corvala"), 0);
    const std::vector<std::string> lines = Lines(testing::internal::GetCapturedStdout());
    int commands = 0;
    for (const std::string& line : lines) {
        const bool command = line.rfind("/bin/corvala -use=game ", 0) == 0;
        commands += command;
        EXPECT_TRUE(command || line.rfind("#", 0) == 0) << line;
    }
    EXPECT_EQ(commands, 2);
}

// A game command holds a lock on its game while it plays: a second command for the same game
// refuses instead of playing it too; once the game is recorded it is not played again.
TEST(TourneyJobs, OneCommandAtATimePlaysAGame)
{
    testsupport::ScratchFolder folder("tourney_jobs_lock");
    const std::string file = folder.File("match.xml");
    ASSERT_TRUE(dranbase::clsString(MatchXml(folder.Path(), "", "", 1)).SaveToFile(file, true));
    const std::string lockPath = folder.File("Match.game-1.lock");
    const int held = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0); // another command playing game 1
    auto play = [&](std::string& console) {
        clsTourney job(1, file);
        job.Timing = FastTiming();
        testing::internal::CaptureStdout();
        const bool finished = job.PlayOneGame(1);
        console = testing::internal::GetCapturedStdout();
        return finished;
    };
    std::string console;
    EXPECT_FALSE(play(console));
    EXPECT_NE(console.find("# game 1 is being played by another command"), std::string::npos) << console;
    EXPECT_FALSE(std::filesystem::exists(folder.File("Match.T1.R1.G1.pgn")));
    ::close(held);
    EXPECT_TRUE(play(console)) << console;
    EXPECT_TRUE(std::filesystem::exists(folder.File("Match.T1.R1.G1.pgn")));
    EXPECT_TRUE(play(console)) << console;
    EXPECT_NE(console.find("# game 1 has finished already"), std::string::npos) << console;
}

TEST(TourneyJobs, GamesAsCommandsThenTheTournamentPlaysWhatIsMissing)
{
    testsupport::ScratchFolder folder("tourney_jobs");
    const std::string file = folder.File("jobs.xml");
    ASSERT_TRUE(dranbase::clsString(ResumeXml(folder.Path(), "g8f6", 1)).SaveToFile(file, true));
    auto pending = [&] {
        clsTourney t(1, file);
        testing::internal::CaptureStdout();
        std::vector<int> games = t.PendingGames();
        testing::internal::GetCapturedStdout();
        return games;
    };
    EXPECT_EQ(pending(), (std::vector<int> { 1, 2, 3, 4, 5, 6 }));
    {
        // The job lines: a program path with a blank is quoted for the shell.
        testing::internal::CaptureStdout();
        EXPECT_EQ(RunJobsCommand(file, "/opt/my corvala"), 0);
        const std::vector<std::string> jobs = Lines(testing::internal::GetCapturedStdout());
        ASSERT_EQ(jobs.size(), 6u);
        EXPECT_EQ(jobs[0], "'/opt/my corvala' -use=game -ini=" + file + " -game=1");
        EXPECT_EQ(jobs[5], "'/opt/my corvala' -use=game -ini=" + file + " -game=6");
    }
    for (int n : { 1, 3, 5, 7, 0 }) {
        clsTourney job(1, file);
        job.Timing = FastTiming();
        testing::internal::CaptureStdout();
        const bool finished = job.PlayOneGame(n);
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_EQ(finished, n >= 1 && n <= 6) << n << console;
    }
    EXPECT_EQ(pending(), (std::vector<int> { 2, 4, 6 }));

    clsTourney merge(1, file);
    RunToEnd(merge);
    ASSERT_FALSE(merge.Failed());
    EXPECT_TRUE(pending().empty());
    const std::vector<std::string> log = Lines(testsupport::ReadFile(merge.LogFileName()));
    EXPECT_EQ(LogTexts(log, "result").size(), 3u)
        << testsupport::ReadFile(merge.LogFileName()); // only the missing games were played
    std::int64_t counted = 0;
    std::map<std::string, int> halfPoints;
    for (int n = 1; n <= 6; ++n) {
        const std::string pgn
            = testsupport::ReadFile(folder.File("Resume.T1.R1.G" + std::to_string(n) + ".pgn"));
        auto core = std::make_unique<clsChessCore>();
        clsGame record;
        std::string error;
        ASSERT_TRUE(ReadPgnGame(pgn, *core, record, 0, {}, &error)) << error << pgn;
        const clsHalfPoints points = HalfPoints(record.ResultCode);
        halfPoints[record.Tag("White")] += points.white;
        halfPoints[record.Tag("Black")] += points.black;
    }
    std::vector<std::string> expected;
    for (const char* name : { "Alpha", "Beta", "Gamma" }) {
        expected.push_back(std::string(name) + ": " + std::to_string(halfPoints[name]));
        counted += merge.Tally().Player(static_cast<int>(expected.size()) - 1).Games();
    }
    EXPECT_EQ(merge.Standings(), expected);
    EXPECT_EQ(counted, 12);
}

} // namespace
