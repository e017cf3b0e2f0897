// The xboard protocol driver, through the real program as a GUI drives it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "app/tests/corvalaprocess.h"
#include "dranbase/clsstring.h"

namespace {

const char* const FeatureLine
    = "feature ping=1 setboard=1 usermove=1 time=1 draw=1 reuse=1 myname=\"Corvala 3.1.27\" ics=1 name=1 "
      "debug=1 memory=1 smp=1 nps=0 san=0 sigint=0 sigterm=0 analyze=1 colors=0 "
      "option=\"Search -combo classic /// strong\" option=\"Weights -string handset\" option=\"BookFile "
      "-file \" "
      "option=\"BookBest -check 0\" done=1";

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The FEN the board report shows ("# white value: 0.00 FEN: ...").
std::string ShownFEN(CorvalaProcess& p)
{
    for (const auto& l : p.Exchange("\\")) {
        auto at = l.find(" FEN: ");
        if (at != std::string::npos) return l.substr(at + 6);
    }
    return "<none>";
}

// Runs a suite at a second a position; every line up to the results line (the last one, or
// "<timeout>"). A ping would be answered between two positions, so none is sent.
std::vector<std::string> RunEpd(CorvalaProcess& p, const std::string& file)
{
    p.Send("\\epd 0:1 " + file);
    std::vector<std::string> lines;
    for (int i = 0; i < 200; ++i) {
        lines.push_back(p.ReadLine(15000));
        if (lines.back() == "<timeout>" || lines.back().rfind("# test results: ", 0) == 0) break;
    }
    return lines;
}

class Protocol : public ::testing::Test {
protected:
    CorvalaProcess p { { "memory=1", "-seed=7" } };
    void SetUp() override
    {
        ASSERT_TRUE(p.Started());
        p.Exchange("xboard");
    }
};

} // namespace

TEST_F(Protocol, FeatureLineIsReloadedEachTime)
{
    EXPECT_TRUE(Contains(p.Exchange("protover 2"), FeatureLine));
    p.Exchange("rejected ping");
    p.Exchange("rejected myname");
    EXPECT_TRUE(Contains(p.Exchange("protover 2"), FeatureLine));
}

TEST_F(Protocol, FixedRepliesAndUnknownWords)
{
    struct Case {
        std::string command;
        std::string reply;
    } cases[] = {
        { "name", "Corvala 3.1.27" },
        { "rating", "1350 1350" },
        { "computer", "# hello my peer!" },
        { "NAME", "Corvala 3.1.27" },
        { "time 6000", "# engine time set to 60000 ms" },
        { "otim 500", "# opponent time set to 5000 ms" },
        { "result 1-0 {White mates}", "# result 1-0 {White mates}" },
        { "frobnicate now", "Error (unknown command): frobnicate" },
        { " xboard", "Error (unknown command): " },
        { "O-O", "Illegal move: O-O" }, // SAN that is not legal here is an illegal move
        { "Qh9", "Error (unknown command): Qh9" },
        { "e2e5", "Illegal move: e2e5" },
        { "usermove e2e5", "Illegal move: e2e5" },
    };
    for (const auto& c : cases)
        EXPECT_TRUE(Contains(p.Exchange(c.command), c.reply)) << c.command;
}

TEST_F(Protocol, MovesInForceModeAreMadeWithoutThinking)
{
    p.Exchange("new");
    p.Exchange("force");
    EXPECT_TRUE(Contains(p.Exchange("e2e4"), "# I'm not thinking"));
    EXPECT_TRUE(Contains(p.Exchange("usermove e7e5"), "# I'm not thinking"));
    EXPECT_EQ(ShownFEN(p), "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6");
    // A castling move after "usermove" reaches the move reader, which refuses it here.
    EXPECT_TRUE(Contains(p.Exchange("usermove O-O"), "Illegal move: O-O"));
}

TEST_F(Protocol, TimeBudgetSharesTheClockOverTheMovesLeft)
{
    p.Exchange("new");
    p.Exchange("level 40 5 0");
    p.Exchange("force");
    p.Exchange("setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 10");
    p.Exchange("time 6000");
    p.Send("go");
    // (60000 - 50) / (40 - 10 + 2) = 1873
    EXPECT_EQ(p.ReadUntil("# moves "), "# moves 10/40 - time 1873/60000 ms");
    EXPECT_NE(p.ReadUntil("move ", 10000), "<timeout>");
}

TEST_F(Protocol, TheLastMoveOfAPeriodIsPlannedFromWhatIsLeftInIt)
{
    // Five moves in a minute: the fifth reply has half of what is left, and the next period's
    // minute is credited only after it (before, it planned 59971 of 119992 ms and lost on time).
    p.Exchange("new");
    p.Exchange("level 5 1 0");
    p.Exchange("sd 2");
    std::string plan;
    for (const char* move : { "a2a3", "b2b3", "c2c3", "d2d3", "e2e3" }) {
        p.Send(move);
        plan = p.ReadUntil("# moves ");
        ASSERT_NE(p.ReadUntil("move ", 10000), "<timeout>") << move;
    }
    ASSERT_EQ(plan.rfind("# moves 5/5 - time ", 0), 0u) << plan;
    const std::string numbers = plan.substr(std::string("# moves 5/5 - time ").size());
    const long long budget = std::stoll(numbers);
    const long long clock = std::stoll(numbers.substr(numbers.find('/') + 1));
    EXPECT_LE(clock, 60000) << plan;
    EXPECT_LE(budget, clock / 2) << plan;
    // After the move the next period's minute is on the clock.
    p.Send("f2f3");
    const std::string next = p.ReadUntil("# moves ");
    const long long nextClock = std::stoll(next.substr(next.find('/', 12) + 1));
    EXPECT_GT(nextClock, 60000) << next;
    p.Exchange("force");
}

TEST_F(Protocol, TheIncrementIsPartOfTheBudget)
{
    // (60000 - 50) / 40 + increment / 2; a fractional increment (a GUI's "-inc 0.5") counts
    // (it was read as a whole number, 0).
    const std::pair<const char*, const char*> cases[] = {
        { "level 0 1 2", "# moves 1/0 - time 2498/60000 ms" },
        { "level 0 1 0.5", "# moves 1/0 - time 1748/60000 ms" },
    };
    for (const auto& [level, plan] : cases) {
        p.Exchange("new");
        p.Exchange(level);
        p.Exchange("time 6000");
        p.Send("go");
        EXPECT_EQ(p.ReadUntil("# moves "), plan) << level;
        EXPECT_NE(p.ReadUntil("move ", 10000), "<timeout>");
        p.Exchange("force");
    }
}

TEST_F(Protocol, NewKeepsTheTimeControlAndRestartsTheClocks)
{
    // "new" starts the next game under the same level or st (both were forgotten).
    p.Exchange("new");
    p.Exchange("level 0 1 0.5");
    p.Exchange("time 100");
    p.Exchange("new");
    p.Send("go");
    EXPECT_EQ(p.ReadUntil("# moves "), "# moves 1/0 - time 1748/60000 ms");
    EXPECT_NE(p.ReadUntil("move ", 10000), "<timeout>");
    p.Exchange("st 1");
    p.Exchange("new");
    p.Send("go");
    EXPECT_EQ(p.ReadUntil("# moves "), "# moves 1/0 - time 900/60000 ms");
    EXPECT_NE(p.ReadUntil("move ", 10000), "<timeout>");
    p.Exchange("force");
}

TEST_F(Protocol, NoTimeLeftStillGivesAMove)
{
    // A zero or negative clock means "move now": the think may not finish its first iteration,
    // but a legal move always follows.
    for (const char* clock : { "level 40 -1 0", "time 1", "time 0" }) {
        p.Exchange("new");
        p.Exchange("force");
        p.Exchange("setboard r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4");
        p.Exchange("sd 4");
        p.Exchange(clock);
        p.Send("go");
        EXPECT_NE(p.ReadUntil("move ", 10000), "<timeout>") << clock;
    }
    p.Exchange("force");
}

TEST_F(Protocol, DebugModeThinksAreStillStoppedAtOnce)
{
    // "\dbg 2" starts a think that ignores its clock; "?" and "quit" must still end it (they
    // used to wait for the whole search).
    p.Exchange("new");
    p.Send("\\dbg 2");
    ASSERT_NE(p.ReadUntil("# moves "), "<timeout>");
    p.Send("?");
    EXPECT_NE(p.ReadUntil("move ", 5000), "<timeout>");
    p.Exchange("new");
    p.Send("\\dbg 3");
    ASSERT_NE(p.ReadUntil("# moves "), "<timeout>");
    p.Send("quit");
    EXPECT_EQ(p.WaitExit(5000), 0);
}

TEST_F(Protocol, HugeAndNegativeNumbersAreSaturatedOrRefused)
{
    // Times saturate at a thousand years instead of wrapping (the debug build aborts on a
    // signed overflow); a negative table size is refused.
    const std::string big = "99999999999999999999";
    EXPECT_TRUE(Contains(p.Exchange("time " + big), "# engine time set to 31536000000000 ms"));
    EXPECT_TRUE(Contains(p.Exchange("otim -" + big), "# opponent time set to -31536000000000 ms"));
    p.Exchange("new");
    p.Exchange("sd 2");
    for (const std::string& limit :
        { "st " + big, "level " + big + " " + big + " " + big, "level 40 " + big + ":" + big + " 0" }) {
        p.Exchange("force");
        p.Exchange(limit);
        p.Exchange("time " + big);
        p.Send("go");
        EXPECT_NE(p.ReadUntil("move ", 10000), "<timeout>") << limit;
    }
    p.Exchange("force");
    auto refused = p.Exchange("memory -2147483649");
    EXPECT_TRUE(Contains(refused, "# memory -2147483649 refused: the table size is 0 or more MiB"));
    // (The cap at a quarter of the machine is not exercised here: it would build a table of
    // gigabytes.)
}

TEST_F(Protocol, SetboardRefusesWhatIsNoPositionAndKeepsTheGame)
{
    p.Exchange("new");
    p.Exchange("force");
    p.Exchange("e2e4");
    const std::string kept = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3";
    const std::pair<const char*, const char*> bad[] = {
        { "hello world", "a FEN needs four fields" },
        { "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
            "'9' in the placement" }, // once a shifted board
        { "8/8/8/8/8/8/8/8 w - - 0 1", "not exactly one king of each colour" },
        { "4k3/8/8/8/8/8/8/4KK2 w - - 0 1", "not exactly one king of each colour" },
        { "4k3/4R3/8/8/8/8/8/4K3 w - - 0 1", "the side not to move is in check" },
        { "4k3/8/8/8/8/8/8/4K3 w - e4 0 1", "the en passant square 'e4'" },
    };
    for (const auto& [fen, reason] : bad) {
        auto lines = p.Exchange(std::string("setboard ") + fen);
        ASSERT_EQ(lines.size(), 1u) << fen;
        EXPECT_EQ(lines[0].rfind(std::string("tellusererror Illegal position: ") + reason, 0), 0u)
            << lines[0];
        EXPECT_EQ(ShownFEN(p), kept) << fen;
    }
    // Castling rights whose rook has gone are dropped.
    EXPECT_TRUE(p.Exchange("setboard 4k3/8/8/8/8/8/8/4K2R w KQ - 0 1").empty());
    EXPECT_EQ(ShownFEN(p), "4k3/8/8/8/8/8/8/4K2R w K -");
}

TEST_F(Protocol, GoInAFinishedGameAnswersWithItsResult)
{
    struct Case {
        const char* fen;
        const char* result;
    } cases[] = {
        { "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", "0-1 {Black mates}" },
        { "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "1/2-1/2 {Stalemate}" },
        { "6k1/5ppp/8/8/8/8/8/R5K1 b - - 0 1", "" }, // Black to move, not mated: a move
        { "R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", "1-0 {White mates}" },
    };
    for (const auto& c : cases) {
        p.Exchange("new");
        p.Exchange("force");
        p.Exchange("sd 2");
        p.Exchange(std::string("setboard ") + c.fen);
        if (*c.result) {
            auto lines = p.Exchange("go", 10000);
            EXPECT_TRUE(Contains(lines, c.result)) << c.fen;
            EXPECT_FALSE(std::any_of(
                lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("move ", 0) == 0; }));
        } else {
            p.Send("go");
            EXPECT_NE(p.ReadUntil("move ", 10000), "<timeout>") << c.fen;
        }
    }
    p.Exchange("force");
}

TEST_F(Protocol, EveryPingGetsItsPongInOrder)
{
    // Pings during a think used to overwrite each other, and a think ended by force or by a
    // tool command lost its pong.
    p.Exchange("new");
    p.Exchange("level 0 60 0");
    p.Send("go");
    ASSERT_NE(p.ReadUntil("# moves "), "<timeout>");
    p.Send("ping 1");
    p.Send("force");
    p.Send("ping 2");
    EXPECT_EQ(p.ReadUntil("pong "), "pong 1");
    EXPECT_EQ(p.ReadUntil("pong "), "pong 2");
    p.Exchange("new");
    p.Send("go");
    ASSERT_NE(p.ReadUntil("# moves "), "<timeout>");
    p.Send("ping 3");
    p.Send("ping 4");
    p.Send("\\listbook");
    p.Send("ping 5");
    EXPECT_EQ(p.ReadUntil("pong "), "pong 3");
    EXPECT_EQ(p.ReadUntil("pong "), "pong 4");
    EXPECT_EQ(p.ReadUntil("pong "), "pong 5");
}

TEST_F(Protocol, ConsoleConveniences)
{
    // SAN typed at the console, the legal moves of the position, the opponent's name taken
    // silently, and the command list.
    p.Exchange("new");
    p.Exchange("force");
    for (const char* move : { "Nf3", "e5", "Nxe5", "Nc6" })
        EXPECT_TRUE(Contains(p.Exchange(move), "# I'm not thinking")) << move;
    EXPECT_EQ(ShownFEN(p), "r1bqkbnr/pppp1ppp/2n5/4N3/8/8/PPPPPPPP/RNBQKB1R w KQkq -");
    EXPECT_TRUE(Contains(p.Exchange("Nb5"), "Illegal move: Nb5"));
    const auto board = p.Exchange("\\ m");
    const auto first = std::find(board.begin(), board.end(), "# __moves__");
    const auto last = std::find(board.begin(), board.end(), "# ^^^");
    ASSERT_TRUE(first != board.end() && last != board.end());
    EXPECT_EQ(last - first - 1, 27); // 16 pawn moves, 8 of the knight on e5, Na3, Nc3 and Rg1
    p.Exchange("\\"); // the board display back off
    EXPECT_TRUE(p.Exchange("name Somebody").empty());
    const auto help = p.Exchange("help");
    EXPECT_TRUE(Contains(help, "#   setboard  FEN: set the position"));
    EXPECT_TRUE(Contains(help, "#   \\showsoul  show the soul in force"));
    EXPECT_TRUE(Contains(help, "#   -use=game -ini=FILE -game=N: play game N of a tournament"));
}

TEST_F(Protocol, FixedTimePerMoveUntilLevelReplacesIt)
{
    // A tenth of the time is kept in reserve, at least 100 ms.
    p.Exchange("new");
    p.Exchange("st 10");
    p.Send("go");
    EXPECT_EQ(p.ReadUntil("# moves "), "# moves 1/0 - time 9000/300000 ms");
    p.Send("?");
    EXPECT_NE(p.ReadUntil("move ", 5000), "<timeout>");
    p.Exchange("new");
    p.Exchange("st 1");
    p.Send("go");
    EXPECT_EQ(p.ReadUntil("# moves "), "# moves 1/0 - time 900/300000 ms");
    EXPECT_NE(p.ReadUntil("move ", 5000), "<timeout>");
    p.Exchange("force");
    p.Exchange("level 0 5 0");
    p.Exchange("time 30000");
    p.Send("go");
    // (300000 - 50) / 40 = 7498
    EXPECT_EQ(p.ReadUntil("# moves "), "# moves 1/0 - time 7498/300000 ms");
    p.Exchange("force");
}

TEST_F(Protocol, PingDuringAThinkIsAnsweredAfterTheMove)
{
    p.Exchange("new");
    p.Exchange("st 1");
    p.Send("go");
    p.Send("ping 7");
    bool sawMove = false;
    for (;;) {
        std::string line = p.ReadLine(5000);
        ASSERT_NE(line, "<timeout>");
        if (line.rfind("move ", 0) == 0) sawMove = true;
        if (line == "pong 7") break;
    }
    EXPECT_TRUE(sawMove);
}

TEST_F(Protocol, UndoAndRemoveStepBackOneAndTwoPlies)
{
    const std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
    const std::string afterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3";
    const std::string afterE5 = "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6";
    p.Exchange("new");
    p.Exchange("force");
    p.Exchange("e2e4");
    p.Exchange("e7e5");
    p.Exchange("g1f3");
    p.Exchange("undo");
    EXPECT_EQ(ShownFEN(p), afterE5);
    p.Exchange("remove");
    EXPECT_EQ(ShownFEN(p), start);
    p.Exchange("undo"); // nothing left: unchanged
    EXPECT_EQ(ShownFEN(p), start);

    // In play: the engine answers, "remove" takes back its reply and our move, and the game
    // goes on with the engine still playing Black.
    p.Exchange("new");
    p.Exchange("st 1");
    p.Send("e2e4");
    std::string reply = p.ReadUntil("move ", 5000);
    ASSERT_NE(reply, "<timeout>");
    p.Exchange("remove");
    EXPECT_EQ(ShownFEN(p), start);
    p.Send("d2d4");
    EXPECT_NE(p.ReadUntil("move ", 5000), "<timeout>");
    // A take-back while the engine thinks stops it first and plays nothing.
    p.Exchange("force");
    p.Exchange("new");
    p.Exchange("level 0 5 0");
    p.Send("e2e4");
    p.ReadUntil("# moves ");
    auto lines = p.Exchange("undo");
    for (const auto& l : lines)
        EXPECT_NE(l.rfind("move ", 0), 0u) << l;
    EXPECT_EQ(ShownFEN(p), start);
}

TEST_F(Protocol, PerftAndDivideReports)
{
    p.Exchange("new");
    auto perft = p.Exchange("perft 3");
    ASSERT_FALSE(perft.empty());
    EXPECT_EQ(perft.back().rfind("Nodes: 8902, Time: ", 0), 0u) << perft.back();
    auto zero = p.Exchange("perft");
    EXPECT_EQ(zero.back().rfind("Nodes: 0, Time: ", 0), 0u);
    auto divide = p.Exchange("divide 2");
    ASSERT_EQ(divide.size(), 20u);
    EXPECT_EQ(divide.front(), "Ng1-h3 20");
    EXPECT_EQ(divide.back(), "Pa2-a4 20");
    EXPECT_TRUE(p.Exchange("divide 1").empty());
}

TEST_F(Protocol, PerftAndDivideStopOnRequest)
{
    // A count of hours ends at "?", says it is incomplete (no "Nodes:" line, which would read as
    // the answer), and the position is unchanged; "quit" during a count ends the program.
    p.Exchange("new");
    p.Send("perft 100");
    p.Send("?");
    for (std::string line = p.ReadLine(10000); line != "<timeout>"; line = p.ReadLine(10000)) {
        ASSERT_NE(line.rfind("Nodes: ", 0), 0u) << line;
        if (line.rfind("# stopped", 0) != 0) continue;
        EXPECT_EQ(line.rfind("# stopped: the count is incomplete (", 0), 0u) << line;
        break;
    }
    EXPECT_EQ(ShownFEN(p), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    p.Send("divide 100");
    p.Send("quit");
    EXPECT_EQ(p.WaitExit(10000), 0);
}

// Input that ends while a tool command runs (a pipe, a script) lets the command finish, then
// the program ends: the end of input used to stop the count, which then printed "Nodes: 0".
TEST_F(Protocol, ToolCommandsFinishWhenInputEnds)
{
    p.Send("perft 4");
    p.CloseInput();
    const std::string nodes = p.ReadUntil("Nodes: ", 60000);
    EXPECT_EQ(nodes.rfind("Nodes: 197281,", 0), 0u) << nodes;
    EXPECT_EQ(p.WaitExit(10000), 0);
}

TEST(ProtocolPiped, AnEpdSuiteRunsWholeWhenInputEnds)
{
    CorvalaProcess p { { "memory=1", "-seed=7" } };
    ASSERT_TRUE(p.Started());
    p.Send("xboard");
    p.Send("\\epd 0:1 " + std::string(CORVALA_TEST_DATA) + "/mate_in_one.epd");
    p.CloseInput();
    EXPECT_EQ(p.ReadUntil("# test results: ", 60000), "# test results: 2/3 66%");
    EXPECT_EQ(p.WaitExit(10000), 0);
}

TEST_F(Protocol, EpdSuiteIsJudgedAndScored)
{
    std::vector<std::string> lines = RunEpd(p, std::string(CORVALA_TEST_DATA) + "/mate_in_one.epd");
    const std::string last = lines.back();
    EXPECT_EQ(last, "# test results: 2/3 66%");
    EXPECT_TRUE(Contains(lines, "# move h5f7 ok ---> score : 1"));
    EXPECT_TRUE(Contains(lines, "# move h5f7 bad!"));
    auto missing = p.Exchange("\\epd 0:1 /nonexistent/suite.epd");
    EXPECT_TRUE(Contains(missing, "# cannot read /nonexistent/suite.epd"));
}

TEST_F(Protocol, EpdPromotionMovesAreJudgedAsMoves)
{
    // The engine's move and the suite's SAN are compared as moves: "a8=Q" is the engine's
    // a7a8=q (their texts differ).
    std::vector<std::string> lines = RunEpd(p, std::string(CORVALA_TEST_DATA) + "/promotion_bm.epd");
    EXPECT_EQ(lines.back(), "# test results: 1/1 100%");
    EXPECT_TRUE(Contains(lines, "# move a7a8=q ok ---> score : 1"));
}

TEST_F(Protocol, EpdLinesWithoutAMoveToTestAreSkipped)
{
    // Mate, stalemate, an empty board and a line that is no position: each is skipped (the
    // suite used to wait for ever on the first), and the one real position is judged.
    std::vector<std::string> lines = RunEpd(p, std::string(CORVALA_TEST_DATA) + "/unplayable.epd");
    const std::string last = lines.back();
    EXPECT_EQ(last, "# test results: 1/1 100% (4 skipped)");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "# skipped: no legal move to test in this position"), 2);
    EXPECT_TRUE(Contains(lines, "# skipped: not exactly one king of each colour"));
    EXPECT_TRUE(Contains(lines, "# skipped: a FEN needs four fields"));
    EXPECT_TRUE(Contains(lines, "# move a1a8 ok ---> score : 1"));
}

TEST_F(Protocol, SearchDepthLimitStopsTheThinkOnItsOwn)
{
    p.Exchange("new");
    p.Exchange("post");
    p.Exchange("sd 4");
    p.Exchange("level 0 60 0"); // an hour's budget: only the depth limit can end the think
    p.Send("go");
    std::string move = p.ReadUntil("move ", 20000);
    EXPECT_NE(move, "<timeout>");
}

TEST_F(Protocol, CommandsDuringAThinkLeaveThePositionAlone)
{
    p.Exchange("new");
    p.Exchange("level 0 60 0"); // a long budget: the think runs until something stops it
    p.Send("go");
    ASSERT_NE(p.ReadUntil("# moves "), "<timeout>");
    // Allowed during a think: clocks, posting, memory. An out-of-turn move is refused. (A ping
    // would be answered only after the move, so replies are read one by one here.)
    p.Send("time 5000");
    EXPECT_EQ(p.ReadUntil("# engine time"), "# engine time set to 50000 ms");
    p.Send("e7e5");
    EXPECT_EQ(p.ReadUntil("Illegal move"), "Illegal move: e7e5");
    p.Send("post");
    p.Send("memory 2"); // recorded; the table is not resized under the search
    // "?" plays the move found so far, for the unchanged start position.
    p.Send("?");
    std::string move = p.ReadUntil("move ", 5000);
    ASSERT_NE(move, "<timeout>");
    p.Exchange("force");
    std::string fen = ShownFEN(p);
    EXPECT_EQ(fen.find(" b KQkq"), fen.find(' ')) << fen; // one white move was made, black to move

    // A tool command during a think stops it, plays nothing and leaves the game to the user.
    p.Exchange("new");
    p.Exchange("level 0 60 0");
    p.Send("go");
    ASSERT_NE(p.ReadUntil("# moves "), "<timeout>");
    auto perft = p.Exchange("perft 2");
    EXPECT_TRUE(Contains(perft, "# thinking stopped for perft"));
    for (const auto& l : perft)
        EXPECT_NE(l.rfind("move ", 0), 0u) << l;
    EXPECT_EQ(perft.back().rfind("Nodes: 400,", 0), 0u) << perft.back();
    EXPECT_EQ(ShownFEN(p), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    EXPECT_TRUE(Contains(p.Exchange("e2e4"), "# I'm not thinking"));
}

TEST_F(Protocol, SearchOptionChoosesTheStrongSearchWithFullThinkingLines)
{
    p.Exchange("new");
    p.Exchange("option Search=strong");
    p.Exchange("post");
    p.Exchange("sd 5");
    p.Exchange("level 0 60 0"); // only the depth limit ends the think
    p.Exchange("setboard 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    p.Send("go");
    // One line per iteration, each once: depth, mate score as the GUI reads it, time, nodes,
    // the PV.
    std::vector<std::string> thinking;
    std::string line;
    while ((line = p.ReadLine(20000)) != "<timeout>" && line.rfind("move ", 0) != 0)
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) thinking.push_back(line);
    EXPECT_EQ(line, "move d1d8");
    ASSERT_EQ(thinking.size(), 5u) << ::testing::PrintToString(thinking);
    for (std::size_t i = 0; i < thinking.size(); ++i)
        EXPECT_EQ(thinking[i].rfind(std::to_string(i + 1) + " ", 0), 0u) << thinking[i];
    EXPECT_EQ(thinking.back().rfind("5 100001 ", 0), 0u) << thinking.back();
    EXPECT_NE(thinking.back().find(" d1d8"), std::string::npos) << thinking.back();
    // "?" stops the strong search at once and plays what it has.
    p.Exchange("new"); // also lifts the depth limit
    p.Send("go");
    ASSERT_NE(p.ReadUntil("# moves "), "<timeout>");
    p.Send("?");
    EXPECT_NE(p.ReadUntil("move ", 5000), "<timeout>");
}

// With "hard" the strong search thinks on the reply it expects while the opponent thinks. That
// reply played: the think goes on the clock and a move comes; another move: the expected reply
// is taken back first. Pings are answered at once meanwhile, and "hint" names the reply.
TEST_F(Protocol, PonderingThinksOnTheExpectedReplyAndTakesItBackOnAMiss)
{
    p.Exchange("new");
    p.Exchange("option Search=strong");
    p.Exchange("hard");
    p.Exchange("st 1");
    p.Exchange("post");
    p.Exchange("force");
    // White can always push an a- or h-pawn that Black's lone king cannot stop in time.
    p.Exchange("setboard 4k3/8/8/8/8/8/P6P/4K3 b - - 0 1");
    p.Send("go");
    ASSERT_NE(p.ReadUntil("move ", 20000), "<timeout>");
    // Thinking lines with nothing sent: the engine thinks on the opponent's time.
    std::string line;
    while ((line = p.ReadLine(10000)) != "<timeout>" && !std::isdigit(static_cast<unsigned char>(line[0])))
        ;
    ASSERT_NE(line, "<timeout>") << "no think after the move";
    auto hint = [&] {
        const std::vector<std::string> lines = p.Exchange("hint", 5000); // the pong comes at once
        EXPECT_FALSE(lines.empty() || lines.back() == "<timeout>");
        for (const std::string& l : lines)
            if (l.rfind("Hint: ", 0) == 0) return l.substr(6);
        return std::string();
    };
    const std::string expected = hint();
    ASSERT_EQ(expected.size(), 4u) << "pondering names its reply";

    // The hit: the move comes from the think that is already running.
    p.Send(expected);
    ASSERT_NE(p.ReadUntil("move ", 20000), "<timeout>");

    // The miss: a pawn move the engine did not expect.
    const std::string next = hint();
    ASSERT_FALSE(next.empty());
    std::string miss;
    for (const char* m : { "a2a3", "h2h3", "a2a4", "h2h4" })
        if (next != m && expected.substr(0, 2) != std::string(m).substr(0, 2)) {
            miss = m;
            break;
        }
    p.Send(miss);
    ASSERT_NE(p.ReadUntil("move ", 20000), "<timeout>");
    // Force ends the next ponder think and takes its reply back: White is to move, with the
    // missed-for pawn moved.
    p.Exchange("force");
    const std::string fen = ShownFEN(p);
    const std::vector<std::string> fields = dranbase::SplitFields(fen);
    ASSERT_GE(fields.size(), 2u) << fen;
    EXPECT_EQ(fields[1], "w") << fen;
    // The square of the placement, '.' when empty.
    auto at = [&](char file, char rank) {
        const std::string row = dranbase::SplitAll(fields[0], '/').at(static_cast<std::size_t>('8' - rank));
        std::string squares;
        for (char c : row)
            squares += std::isdigit(static_cast<unsigned char>(c))
                ? std::string(static_cast<std::size_t>(c - '0'), '.')
                : std::string(1, c);
        return squares.at(static_cast<std::size_t>(file - 'a'));
    };
    EXPECT_EQ(at(miss[0], '2'), '.') << fen;
    EXPECT_EQ(at(miss[2], miss[3]), 'P') << fen;
}

// The next thinking line ("depth score time nodes moves..."), or "<timeout>".
static std::string ReadThinkingLine(CorvalaProcess& p, int timeoutMs = 20000)
{
    for (;;) {
        std::string line = p.ReadLine(timeoutMs);
        if (line == "<timeout>" || (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))))
            return line;
    }
}

TEST_F(Protocol, AnalysisFollowsThePositionAndNeverPlays)
{
    p.Exchange("new");
    // A ping is answered at once: an analysis has no move to wait for.
    auto lines = p.Exchange("analyze");
    ASSERT_TRUE(lines.empty() || lines.back() != "<timeout>");
    // Thinking lines of the start position.
    ASSERT_NE(ReadThinkingLine(p), "<timeout>");
    // A move restarts the analysis from the new position: Black's moves now.
    p.Exchange("e2e4");
    const std::string line = ReadThinkingLine(p);
    ASSERT_NE(line, "<timeout>");
    const auto words = dranbase::SplitFields(line);
    ASSERT_GE(words.size(), 5u) << line;
    EXPECT_TRUE(words[4][2] == '7' || words[4][2] == '8') << line;
    p.Send("hint");
    ASSERT_NE(p.ReadUntil("Hint: ", 20000), "<timeout>");
    lines = p.Exchange("exit");
    for (const auto& l : lines)
        EXPECT_NE(l.rfind("move ", 0), 0u) << l;
    EXPECT_EQ(ShownFEN(p), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    // Analysis over: a move is only made again.
    EXPECT_TRUE(Contains(p.Exchange("e7e5"), "# I'm not thinking"));
}

TEST_F(Protocol, HintOffersTheReplyTheEngineExpects)
{
    p.Exchange("new");
    p.Exchange("post");
    p.Exchange("sd 4");
    p.Send("e2e4");
    const std::string thinking = p.ReadUntil("4 ", 20000);
    ASSERT_NE(thinking, "<timeout>");
    const std::string move = p.ReadUntil("move ", 20000);
    ASSERT_NE(move, "<timeout>");
    // The thinking line's second move (as coordinates) is the hint.
    const auto words = dranbase::SplitFields(thinking);
    ASSERT_GE(words.size(), 6u) << thinking;
    const std::string expected = words[5].substr(1, 2) + words[5].substr(words[5][3] == 'x' ? 5 : 4, 2);
    EXPECT_TRUE(Contains(p.Exchange("hint"), "Hint: " + expected)) << thinking;
    // Two more moves, and the old expectation is stale even where it is still legal: no hint
    // (this test's program has no book).
    p.Exchange("force");
    p.Exchange(expected == "a2a3" ? "h2h3" : "a2a3");
    p.Exchange(move.find("a7") == std::string::npos ? "a7a6" : "h7h6");
    for (const auto& l : p.Exchange("hint"))
        EXPECT_EQ(l.rfind("Hint: ", 0), std::string::npos) << l;
}
