// The runner's per-engine book: the runner makes an engine's moves from its book (polyglot or
// .cbk) up to the book's depth and asks the engine only once the book ends or misses; a book
// that cannot be used stops the tournament before its first game.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "book/bookcommands.h"
#include "book/polyglot.h"
#include "dranbase/clsstring.h"
#include "rules/clschesscore.h"
#include "rules/movereader.h"
#include "tourney/clstourney.h"
#include "tourney/playerbook.h"
#include "tourney/tests/fasttiming.h"
#include "tourney/tests/test_referee_support.h"

using namespace drnChess;
using namespace std::chrono_literals;

namespace {

// A polyglot book of (moves from the start, the book move there) lines, all in coordinates.
void WriteBook(const std::string& path, const std::vector<std::pair<std::string, std::string>>& lines)
{
    std::vector<PolyglotEntry> entries;
    for (const auto& [before, move] : lines) {
        auto core = std::make_unique<clsChessCore>();
        core->SetFromFEN(StartFEN);
        for (const std::string& played : dranbase::SplitFields(before))
            core->PlayGameMove(*ReadCoordinateMove(*core, played));
        entries.push_back({ PolyglotKey(*core), PolyglotMoveCode(*ReadCoordinateMove(*core, move)), 1, 0 });
    }
    std::sort(entries.begin(), entries.end(),
        [](const PolyglotEntry& a, const PolyglotEntry& b) { return a.key < b.key; });
    ASSERT_TRUE(SavePolyglot(path, entries));
}

std::string EngineXml(
    const std::string& name, const std::string& protocol, const std::string& moves, const std::string& book)
{
    return "<engine active=\"true\" name=\"" + name + "\" protocol=\"" + protocol + "\"><filename>"
        + FAKE_ENGINE_PATH + "</filename><parameters>--moves=" + moves + "</parameters>" + book + "</engine>";
}

std::string TourneyXml(const std::string& folder, const std::string& engines)
{
    return "<tourney name=\"Books\"><options><rounds>1</rounds><threads>1</threads><logfolder>" + folder
        + "</logfolder><clock game_ms=\"20000\"/></options><engines>" + engines + "</engines></tourney>";
}

// Runs the tournament of the file to its end; the console output is returned.
// The move text of a PGN file without its comments, each run of blanks and line ends one blank.
std::string MovesOnly(const std::string& pgn)
{
    std::string moves;
    int depth = 0;
    for (char c : pgn) {
        if (c == '{') ++depth;
        if (depth == 0) {
            const char blank = c == '\n' || c == '\r' ? ' ' : c;
            if (!(blank == ' ' && !moves.empty() && moves.back() == ' ')) moves.push_back(blank);
        }
        if (c == '}' && depth > 0) --depth;
    }
    return moves;
}

std::string RunToEnd(clsTourney& tourney)
{
    tourney.Timing = FastTiming();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(tourney.Start());
    const bool ended = testsupport::WaitFor([&] { return !tourney.IsRunning(); }, 300s);
    tourney.Wait();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(ended);
    return out;
}

// What the runner sent to one side in a game's log ("W" or "B"), one command a line.
std::vector<std::string> Sent(const std::string& log, const std::string& mark)
{
    std::vector<std::string> sent;
    const std::string prefix = mark + "\t--->\t";
    for (std::string line : dranbase::SplitAll(log, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(prefix, 0) == 0) sent.push_back(line.substr(prefix.size()));
    }
    return sent;
}

// The commands sent before the first one that starts the engine thinking.
std::vector<std::string> BeforeFirstGo(const std::vector<std::string>& sent)
{
    const auto go = std::find_if(
        sent.begin(), sent.end(), [](const std::string& s) { return s == "go" || s.rfind("go ", 0) == 0; });
    return { sent.begin(), go };
}

} // namespace

// A (xboard, White in game 1) has a book of three moves but a depth of two; B (UCI) a book of two
// with a depth of one. The runner plays 1.e4 e5 2.Nf3 from the books; B is asked from its second
// move on, A from its third. In game 2 B's book has nothing for the start: B is asked at once.
TEST(TourneyBook, TheRunnerPlaysBookMovesUntilTheBookEnds)
{
    testsupport::ScratchFolder folder("tourney_book");
    const std::string bookA = folder.File("a.bin");
    const std::string bookB = folder.File("b.bin");
    WriteBook(bookA, { { "", "e2e4" }, { "e2e4 e7e5", "g1f3" }, { "e2e4 e7e5 g1f3 b8c6", "f1b5" } });
    WriteBook(bookB, { { "e2e4", "e7e5" }, { "e2e4 e7e5 g1f3", "g8f6" } });
    const std::string file = folder.File("books.xml");
    ASSERT_TRUE(dranbase::clsString(
        TourneyXml(folder.Path(),
            EngineXml("A", "xboard", "f1c4", "<book file=\"" + bookA + "\" depth=\"2\"/>")
                + EngineXml("B", "uci", "b8c6,g8f6", "<book file=\"" + bookB + "\" depth=\"1\"/>")))
                    .SaveToFile(file, true));
    clsTourney tourney(1, file);
    RunToEnd(tourney);
    ASSERT_FALSE(tourney.Failed());

    const std::string pgn = testsupport::ReadFile(folder.File("Books.T1.R1.G1.pgn"));
    EXPECT_NE(MovesOnly(pgn).find("1. e4 e5 2. Nf3 Nc6 3. Bc4 Nf6 0-1"), std::string::npos) << pgn;
    // The runner's book moves say so; the engines' moves have their time.
    EXPECT_NE(pgn.find("1. e4 {book} e5 {book} 2. Nf3 {book}"), std::string::npos) << pgn;
    const std::string log = testsupport::ReadFile(folder.File("Books.T1.R1.G1.log"));
    for (const char* line : { "book move e2e4 for 'A'", "book move e7e5 for 'B'", "book move g1f3 for 'A'" })
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("book move f1b5"), std::string::npos) << log; // A's depth was played
    EXPECT_EQ(log.find("book move g8f6"), std::string::npos) << log; // and B's

    // A took the book moves in force mode; its first "go" came with B's own first move.
    const std::vector<std::string> quietA = BeforeFirstGo(Sent(log, "W"));
    const auto force = std::find(quietA.begin(), quietA.end(), "force");
    ASSERT_NE(force, quietA.end()) << log;
    const std::vector<std::string> fromForce(force, quietA.end());
    ASSERT_EQ(fromForce.size(), 7u) << log;
    EXPECT_EQ(std::vector<std::string>(fromForce.begin(), fromForce.begin() + 4),
        (std::vector<std::string> { "force", "e2e4", "e7e5", "g1f3" }));
    EXPECT_EQ(fromForce[4].rfind("time ", 0), 0u);
    EXPECT_EQ(fromForce[5].rfind("otim ", 0), 0u);
    EXPECT_EQ(fromForce[6], "b8c6");
    // B was asked once its depth was reached, with the book moves in its position, then once more.
    const std::vector<std::string> toB = Sent(log, "B");
    const std::vector<std::string> quietB = BeforeFirstGo(toB);
    ASSERT_FALSE(quietB.empty());
    EXPECT_EQ(quietB.back(), "position startpos moves e2e4 e7e5 g1f3 ") << log;
    EXPECT_EQ(
        std::count_if(toB.begin(), toB.end(), [](const std::string& s) { return s.rfind("go ", 0) == 0; }),
        2);

    // Game 2: B, White, finds no book move for the start and plays its own (illegal) first move.
    const std::string game2 = testsupport::ReadFile(folder.File("Books.T1.R1.G2.log"));
    EXPECT_EQ(game2.find("book move"), std::string::npos) << game2;
    EXPECT_NE(game2.find("illegal move 'b8c6' by 'B'"), std::string::npos) << game2;
}

// A .cbk book: the runner plays its moves for the engine as it does a polyglot book's, past king
// moves that change the castling rights, until the book has none for the position.
TEST(TourneyBook, ACbkBookIsPlayedLikeAPolyglotOne)
{
    testsupport::ScratchFolder folder("tourney_cbk");
    ASSERT_TRUE(dranbase::clsString("[Result \"1-0\"]\n\n1. d4 d5 2. Kd2 Kd7 3. c4 1-0\n")
                    .SaveToFile(folder.File("g.pgn"), true));
    auto core = std::make_unique<clsChessCore>();
    ASSERT_EQ(BuildBooks(folder.Path(), 0, 0, *core, [](const std::string&, bool) {}), 1);

    clsPlayerBook book;
    std::string error;
    ASSERT_TRUE(book.Load(folder.File("g.cbk"), &error)) << error;
    auto scratch = std::make_unique<clsChessCore>();
    EXPECT_EQ(book.Probe(*scratch, StartFEN, "", 7, &error), "d2d4");
    EXPECT_EQ(book.Probe(*scratch, StartFEN, "d2d4 d7d5 e1d2 e8d7", 7, &error), "c2c4");
    EXPECT_EQ(book.Probe(*scratch, StartFEN, "e2e4", 7, &error), "");

    const std::string file = folder.File("books.xml");
    ASSERT_TRUE(dranbase::clsString(
        TourneyXml(folder.Path(),
            EngineXml("A", "xboard", "g1f3", "<book file=\"" + folder.File("g.cbk") + "\" depth=\"5\"/>")
                + EngineXml("B", "xboard", "d7d5,e8d7,g8f6", "")))
                    .SaveToFile(file, true));
    clsTourney tourney(1, file);
    RunToEnd(tourney);
    ASSERT_FALSE(tourney.Failed());
    const std::string pgn = testsupport::ReadFile(folder.File("Books.T1.R1.G1.pgn"));
    EXPECT_NE(MovesOnly(pgn).find("1. d4 d5 2. Kd2 Kd7 3. c4 Nf6 4. Nf3"), std::string::npos) << pgn;
}

// A book that cannot be used stops the run before any game, with a line naming the engine's
// <book> element.
TEST(TourneyBook, AnUnusableBookStopsTheRunBeforeTheFirstGame)
{
    testsupport::ScratchFolder folder("tourney_badbook");
    const std::string badSize = folder.File("bad.bin");
    ASSERT_TRUE(dranbase::clsString("0123456789").SaveToFile(badSize, true));
    const std::string good = folder.File("good.bin");
    WriteBook(good, { { "", "e2e4" } });
    struct Case {
        std::string book;
        std::string named; // a part of the refusal
    };
    const Case cases[] = {
        { "<book file=\"" + folder.File("none.bin") + "\"/>", "engine 'A': <book file=" },
        { "<book file=\"" + badSize + "\"/>", "is not a multiple of 16" },
        { "<book file=\"" + folder.File("none.cbk") + "\"/>", "cannot read the book" },
        { "<book depth=\"3\"/>", "<book> of engine 'A' has no file" },
        { "<book file=\"" + good + "\" depth=\"0\"/>",
            "<book> of engine 'A' depth \"0\" is not a whole number from 1" },
    };
    for (const Case& c : cases) {
        const std::string file = folder.File("books.xml");
        ASSERT_TRUE(
            dranbase::clsString(TourneyXml(folder.Path() + "/run",
                                    EngineXml("A", "xboard", "e2e4", c.book) + EngineXml("B", "uci", "", "")))
                .SaveToFile(file, true));
        clsTourney tourney(1, file);
        const std::string out = RunToEnd(tourney);
        EXPECT_TRUE(tourney.Failed()) << c.book;
        EXPECT_NE(out.find("# tournament stopped: "), std::string::npos) << out;
        EXPECT_NE(out.find(c.named), std::string::npos) << c.book << "\n" << out;
        EXPECT_FALSE(std::filesystem::exists(folder.File("run/Books.T1.R1.G1.pgn"))) << c.book;
        std::filesystem::remove_all(folder.File("run"));
    }
}
