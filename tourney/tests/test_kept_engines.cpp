// Game slots that keep their engines between games: each engine is started once per slot, an
// engine that crashes or hangs is started anew and its game lost while the match plays on,
// "restart on" still starts every engine for every game, and no engine outlives the match.
//
// The players are our scripted engine: A (xboard, with pings) resigns whenever it is to move,
// B (UCI) opens 1.e4. So B wins every game, and B is asked to think only as White. Each one
// logs every line it receives; its starts are its protocol greetings in that log.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "book/clsgame.h"
#include "dranbase/clsstring.h"
#include "tourney/clstourney.h"
#include "tourney/engineslot.h"
#include "tourney/gamerules.h"
#include "tourney/tests/fasttiming.h"
#include "tourney/tests/runtoend.h"
#include "tourney/tests/test_referee_support.h"

using namespace drnChess;
using namespace std::chrono_literals;

namespace {

std::string KeptMatchXml(const testsupport::ScratchFolder& folder, int threads, const std::string& restart,
    const std::string& extraB, int gameMs)
{
    const std::string engine = FAKE_ENGINE_PATH;
    const std::string restartElement = restart.empty() ? std::string() : "<restart>" + restart + "</restart>";
    return "<tourney name='Kept'><options><rounds>3</rounds><threads>" + std::to_string(threads)
        + "</threads><logfolder>" + folder.Path() + "</logfolder><clock game_ms='" + std::to_string(gameMs)
        + "'/></options><engines>"
          "<engine active='true' name='A' protocol='xboard'><filename>"
        + engine + "</filename><parameters>--moves= --ping --log=" + folder.File("A.in") + "</parameters>"
        + restartElement
        + "</engine>"
          "<engine active='true' name='B' protocol='uci'><filename>"
        + engine + "</filename><parameters>--moves=e2e4 --log=" + folder.File("B.in") + " " + extraB
        + "</parameters>" + restartElement + "</engine></engines></tourney>";
}

// The match file written into the folder as kept.xml; its path, or empty when it cannot be.
std::string WriteKeptMatch(const testsupport::ScratchFolder& folder, int threads, const std::string& restart,
    const std::string& extraB, int gameMs)
{
    const std::string file = folder.File("kept.xml");
    const bool saved
        = dranbase::clsString(KeptMatchXml(folder, threads, restart, extraB, gameMs)).SaveToFile(file, true);
    return saved ? file : std::string();
}

// How often the engine was started: the protocol greetings in the lines it received.
int Starts(const std::string& receivedLog, const std::string& greeting)
{
    int count = 0;
    for (const std::string& line : dranbase::SplitAll(testsupport::ReadFile(receivedLog), '\n'))
        count += line == greeting;
    return count;
}

// The result lines of the tournament log: "result \t 1-0 \t reason \t white \t black", in the
// order the games are numbered (round, then game).
std::vector<std::string> Results(const std::vector<std::string>& log)
{
    std::vector<std::pair<std::pair<int, int>, std::string>> found;
    for (const std::string& line : log) {
        const std::vector<std::string> f = dranbase::SplitAll(line, '\t');
        if (f.size() < 10 || f[5] != "result") continue;
        found.push_back(
            { { std::stoi(f[2]), std::stoi(f[3]) }, f[6] + " " + f[7] + " " + f[8] + "-" + f[9] });
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> texts;
    for (const auto& [order, text] : found)
        texts.push_back(text);
    return texts;
}

} // namespace

TEST(KeptEngines, EachEngineStartsOncePerSlotUnlessRestartIsOn)
{
    struct Row {
        const char* restart;
        int startsEach; // of A and of B, over 6 games in 2 slots
    };
    const Row rows[] = {
        { "off", 2 }, // one per slot: the first slot keeps the engines checked before the games
        { "on", 7 }, // the check, then one per game
        { "", 7 }, // without the element: as "on"
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string("restart '") + r.restart + "'");
        testsupport::ScratchFolder folder("kept_starts");
        const std::string file = WriteKeptMatch(folder, 2, r.restart, "", 20000);
        ASSERT_FALSE(file.empty());
        clsTourney tourney(1, file);
        ASSERT_TRUE(RunToEnd(tourney));
        ASSERT_FALSE(tourney.Failed());

        EXPECT_EQ(tourney.Standings(), (std::vector<std::string> { "A: 0", "B: 12" }));
        EXPECT_EQ(tourney.PeakRunning(), 2);
        EXPECT_EQ(Starts(folder.File("A.in"), "xboard"), r.startsEach);
        EXPECT_EQ(Starts(folder.File("B.in"), "uci"), r.startsEach);
        // A kept engine is told of each new game and answers before it starts.
        const std::string received = testsupport::ReadFile(folder.File("B.in"));
        int newGames = 0, syncs = 0;
        for (const std::string& line : dranbase::SplitAll(received, '\n')) {
            newGames += line == "ucinewgame";
            syncs += line == "isready";
        }
        EXPECT_EQ(newGames, 7); // the check's game and six more, kept or not
        EXPECT_EQ(syncs, 7);
        EXPECT_TRUE(testsupport::ChildProcesses().empty());
    }
}

TEST(KeptEngines, AnEngineThatCrashesOrHangsIsStartedAnewAndTheMatchPlaysOn)
{
    // One slot: B is White in games 2, 4 and 6; its second "go" since its start comes in game 4.
    struct Row {
        const char* fault;
        const char* reason; // of game 4
    };
    const Row rows[] = {
        { "--crash-at-go=2", "crash" },
        { "--stall-at-go=2", "forfeit" },
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        testsupport::ScratchFolder folder("kept_fault");
        // A short clock: the hung engine loses on time within seconds.
        const std::string file = WriteKeptMatch(folder, 1, "off", r.fault, 4000);
        ASSERT_FALSE(file.empty());
        clsTourney tourney(1, file);
        ASSERT_TRUE(RunToEnd(tourney));
        ASSERT_FALSE(tourney.Failed());

        const std::vector<std::string> results = Results(tourney.LogLines());
        ASSERT_EQ(results.size(), 6u);
        EXPECT_EQ(results[0], "0-1 resign A-B");
        EXPECT_EQ(results[1], "1-0 resign B-A");
        EXPECT_EQ(results[2], "0-1 resign A-B");
        EXPECT_NE(results[3].find("0-1"), std::string::npos) << results[3];
        EXPECT_NE(results[3].find(r.reason), std::string::npos) << results[3];
        EXPECT_EQ(results[4], "0-1 resign A-B");
        EXPECT_EQ(results[5], "1-0 resign B-A");
        EXPECT_EQ(tourney.Standings(), (std::vector<std::string> { "A: 2", "B: 10" }));
        // A played on in the one engine; B was started again once, for game 5.
        EXPECT_EQ(Starts(folder.File("A.in"), "xboard"), 1);
        EXPECT_EQ(Starts(folder.File("B.in"), "uci"), 2);
        EXPECT_TRUE(testsupport::ChildProcesses().empty());
    }
}

TEST(KeptEngines, AnEngineThatDoesNotAnswerBetweenGamesIsStartedAnew)
{
    // One slot; B falls silent at its fourth new game since its start: the check's, then games
    // 1 and 2, then game 3. The game is played by a new B, which falls silent in its turn at
    // game 6. A silence between games costs no game; the new engine lives on with the slot.
    testsupport::ScratchFolder folder("kept_silent");
    const std::string file = WriteKeptMatch(folder, 1, "off", "--stall-at-new=4", 20000);
    ASSERT_FALSE(file.empty());
    clsTourney tourney(1, file);
    ASSERT_TRUE(RunToEnd(tourney));
    ASSERT_FALSE(tourney.Failed());
    EXPECT_EQ(tourney.Standings(), (std::vector<std::string> { "A: 0", "B: 12" }));
    EXPECT_EQ(Starts(folder.File("A.in"), "xboard"), 1);
    EXPECT_EQ(Starts(folder.File("B.in"), "uci"), 3);
    const std::string game3 = testsupport::ReadFile(folder.File("Kept.T1.R2.G1.log"));
    EXPECT_NE(game3.find("B did not answer between games: started anew"), std::string::npos) << game3;
    EXPECT_TRUE(testsupport::ChildProcesses().empty());
}

TEST(KeptEngines, GamesAsCommandsThenTheKeptMatchPlaysWhatIsMissing)
{
    // A game played as a command of its own starts its engines for itself; the tournament then
    // plays the other games in its slots and counts all six.
    testsupport::ScratchFolder folder("kept_jobs");
    const std::string file = WriteKeptMatch(folder, 2, "off", "", 20000);
    ASSERT_FALSE(file.empty());
    for (int n : { 2, 5 }) {
        clsTourney job(1, file);
        job.Timing = FastTiming();
        testing::internal::CaptureStdout();
        const bool finished = job.PlayOneGame(n);
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(finished) << n << console;
    }
    EXPECT_EQ(Starts(folder.File("B.in"), "uci"), 2); // one per command
    clsTourney tourney(1, file);
    ASSERT_TRUE(RunToEnd(tourney));
    ASSERT_FALSE(tourney.Failed());
    EXPECT_EQ(Results(tourney.LogLines()).size(), 4u); // only the missing games were played
    EXPECT_EQ(tourney.Standings(), (std::vector<std::string> { "A: 0", "B: 12" }));
    EXPECT_EQ(Starts(folder.File("B.in"), "uci"), 2 + 2); // then once per slot
    EXPECT_TRUE(testsupport::ChildProcesses().empty());
}

TEST(KeptEngines, CancelEndsTheKeptEngines)
{
    testsupport::ScratchFolder folder("kept_cancel");
    // B thinks for a minute as White: the second game is under way when the match is cancelled.
    const std::string file = WriteKeptMatch(folder, 1, "off", "--move-delay=60000", 120000);
    ASSERT_FALSE(file.empty());
    clsTourney tourney(1, file);
    tourney.Timing = FastTiming();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(tourney.Start());
    const bool thinking = testsupport::WaitFor(
        [&] {
            const std::string received = testsupport::ReadFile(folder.File("B.in"));
            return received.find("go wtime") != std::string::npos;
        },
        60s);
    tourney.Cancel();
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(thinking);
    EXPECT_FALSE(tourney.IsRunning());
    EXPECT_TRUE(testsupport::ChildProcesses().empty());
}

TEST(KeptEngines, TheFaultingSideIsTheLoserOfAFault)
{
    struct Row {
        std::uint32_t code;
        bool marked;
        int side;
    };
    const Row rows[] = {
        { ForfeitCode(0), false, 0 }, { ForfeitCode(1), false, 1 }, { IllegalMoveCode(1), false, 1 },
        { CrashCode(0), false, 0 },
        { FalseClaimCode(1), true, 1 }, // a false claim is marked as a fault by the game
        { ResignCode(0), false, -1 }, { GameResult::WhiteWon | GameResult::Mate, false, -1 },
        { GameResult::Draw | GameResult::Repetition, false, -1 }, { GameResult::Aborted, false, -1 },
        { GameResult::BlackWon | GameResult::Adjudication, false, -1 }, // adjudicated: no fault
    };
    for (const Row& r : rows)
        EXPECT_EQ(FaultedSide(r.code, r.marked), r.side) << r.code;
}
