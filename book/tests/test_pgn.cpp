#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "book/clsgame.h"
#include "book/clspgnfile.h"
#include "book/tests/booktestutil.h"
#include "rules/clschesscore.h"

using namespace drnChess;
using booktest::ReadBytes;
using booktest::TempDir;
using booktest::WriteBytes;

namespace {

std::string Joined(const std::vector<clsMoveToken>& tokens)
{
    std::string s;
    for (const clsMoveToken& t : tokens)
        s += (s.empty() ? "" : " ") + t.san;
    return s;
}

std::string Joined(const std::vector<std::string>& moves)
{
    std::string s;
    for (const std::string& m : moves)
        s += (s.empty() ? "" : " ") + m;
    return s;
}

} // namespace

TEST(GameResult, CodesGiveTheirResultAndReasonTexts)
{
    struct Row {
        std::uint32_t code;
        const char* result;
        const char* reason;
    };
    const Row rows[] = {
        { GameResult::Unfinished, "?", "?" },
        { 0x16, "1-0", "mate" },
        { 0x1A, "0-1", "mate" },
        { 0x1200, "1/2-1/2", "stalemate" },
        { 0x2200, "1/2-1/2", "insufficient material" },
        { 0xA00, "1/2-1/2", "triple repetition" },
        { 0x2A, "0-1", "forfeit" },
        { 0x26, "1-0", "forfeit" },
        { 0x10A, "0-1", "illegal move" },
        { 0x102, "1-0", "illegal move" },
        { 0x400A, "0-1", "engine crashed" },
        { 0x4006, "1-0", "engine crashed" },
        { 0x4A, "0-1", "resign" },
        { 0x42, "1-0", "resign" },
        { GameResult::Draw, "1/2-1/2", "" },
        { GameResult::Aborted, "*", "game aborted" },
        { GameResult::Decided | GameResult::Adjudication, "1-0", "adjudication" },
        { GameResult::Draw | GameResult::FiftyMoves, "1/2-1/2", "50 moves" },
        { 0, "", "" },
    };
    for (const Row& r : rows) {
        clsGame game;
        game.SetTag("Event", "x");
        game.SetResult(r.code);
        EXPECT_EQ(game.ResultCode, r.code);
        EXPECT_EQ(game.ResultText(), r.result) << std::hex << r.code;
        EXPECT_EQ(game.ReasonText(), r.reason) << std::hex << r.code;
        EXPECT_EQ(game.Tag("Result"), r.result);
        EXPECT_EQ(game.Tag("Reason"), r.reason);
        game.SetResult(GameResult::Draw); // replaces the values, keeps the order
        ASSERT_EQ(game.Tags.Count(), 3);
        EXPECT_EQ(game.Tags.At(1).key, "Result");
        EXPECT_EQ(game.Tags.At(1).value, "1/2-1/2");
    }
}

TEST(GameResult, TextsGiveTheirCodes)
{
    struct Row {
        const char* text;
        std::uint32_t code;
    };
    const Row rows[] = {
        { "1/2-1/2", 0x200 },
        { "1-0", 6 },
        { "0-1", 10 },
        { "?", 1 },
        { "*", 0x8000 },
        { "2-0", 1 },
        { "", 1 },
    };
    for (const Row& r : rows) {
        clsGame game;
        game.ResultCode = 0x16;
        game.SetResultFromText(r.text);
        EXPECT_EQ(game.ResultCode, r.code) << r.text;
        EXPECT_FALSE(game.Tags.Has("Result")); // the code only
    }
}

TEST(Game, ClearAndPgnText)
{
    clsGame game;
    game.SetTag("Event", "Club \"open\" 1921");
    game.SetTag("Site", "C:\\games");
    game.SetTag("White", "Morphy, Paul ");
    game.MoveText = "1. e4 e5 1-0";
    game.Moves = { "e2e4", "e7e5" };
    game.ResultCode = 6;
    EXPECT_EQ(game.PgnText(),
        "[Event \"Club \\\"open\\\" 1921\"]\r\n[Site \"C:\\\\games\"]\r\n[White \"Morphy, Paul \"]\r\n\r\n1. "
        "e4 e5 1-0");

    game.Properties.Add("note", "x");
    game.Clear(true);
    EXPECT_EQ(game.Tags.Count(), 3);
    EXPECT_TRUE(game.MoveText.empty());
    EXPECT_TRUE(game.Moves.empty());
    EXPECT_TRUE(game.Properties.Empty());
    EXPECT_EQ(game.ResultCode, GameResult::Unfinished);
    game.Clear(false);
    EXPECT_EQ(game.Tags.Count(), 0);
}

TEST(PgnMoveText, SplitsIntoMoveTokens)
{
    struct Row {
        const char* text;
        const char* moves;
        const char* result;
    };
    const Row rows[] = {
        { "1. e4 e5 2. Nf3 1-0", "e4 e5 Nf3", "1-0" },
        { "1.e4 e5 2.Nf3 Nc6 3.Bb5  *", "e4 e5 Nf3 Nc6 Bb5", "*" },
        { "1. e4 {best by test} e5 2. Nf3 1/2-1/2", "e4 e5 Nf3", "1/2-1/2" },
        { "1. e4 ; to the end of the line 2. d4\ne5 0-1", "e4 e5", "0-1" },
        { "1. e4 e5 (1... c5 2. Nf3 (2. c3 d5) d6) (1... e6) 2. Nf3 *", "e4 e5 Nf3", "*" },
        { "1. e4 (1. d4 {a (note} d5 ; ) here\n 2. c4) e5", "e4 e5", "" },
        { "1. e4 $1 e5 $14 2. Nf3! Nc6?! 3. Bb5!! a6?? 4. Ba4!? +- 1-0", "e4 e5 Nf3 Nc6 Bb5 a6 Ba4", "1-0" },
        { "12... Nf6 13. O-O 0-0-0 14. 0-0", "Nf6 O-O O-O-O O-O", "" },
        { "1. e4 1... e5 2. Nf3 ... Nc6", "e4 e5 Nf3 Nc6", "" },
        { "%escape line 1. d4\n1. e4\n%another\ne5", "e4 e5", "" },
        { "1. e4 e5\r\n2. Nf3\r\n1-0", "e4 e5 Nf3", "1-0" },
        { "50. e8=Q+ Kxe8 51. exd6 e.p. 1-0", "e8=Q+ Kxe8 exd6", "1-0" },
        { "1. e4 e5 1-0 2. Nf3", "e4 e5", "1-0" },
        { "{only a comment} *", "", "*" },
        { "", "", "" },
    };
    for (const Row& r : rows) {
        std::string result = "unset";
        EXPECT_EQ(Joined(SplitMoveText(r.text, &result)), r.moves) << r.text;
        EXPECT_EQ(result, r.result) << r.text;
    }

    std::vector<clsMoveToken> tokens = SplitMoveText("12... Nf6 13. O-O Be7 14.c4 15. ... d5");
    ASSERT_EQ(tokens.size(), 5u);
    EXPECT_EQ(tokens[0].number, 12);
    EXPECT_TRUE(tokens[0].black);
    EXPECT_EQ(tokens[1].number, 13);
    EXPECT_FALSE(tokens[1].black);
    EXPECT_EQ(tokens[2].number, 13);
    EXPECT_TRUE(tokens[2].black);
    EXPECT_EQ(tokens[3].number, 14);
    EXPECT_EQ(tokens[4].number, 15);
    EXPECT_TRUE(tokens[4].black);
}

// A move limit stops the split once it has that many moves and has seen a move number (the
// game reader's first move number and error texts come from the tokens it keeps).
TEST(PgnMoveText, StopsAtTheMoveLimitOnceNumbered)
{
    struct Row {
        const char* text;
        std::size_t limit;
        const char* moves;
        const char* result;
    };
    const Row rows[] = {
        { "1. e4 e5 2. Nf3 Nc6 3. Bb5 1-0", 3, "e4 e5 Nf3", "" },
        { "1. e4 e5 2. Nf3 Nc6 3. Bb5 1-0", 5, "e4 e5 Nf3 Nc6 Bb5", "" },
        { "1. e4 e5 2. Nf3 Nc6 3. Bb5 1-0", 6, "e4 e5 Nf3 Nc6 Bb5", "1-0" },
        { "1. e4 e5 2. Nf3 Nc6 3. Bb5 1-0", 0, "e4 e5 Nf3 Nc6 Bb5", "1-0" },
        { "e4 e5 3. Nf3 Nc6 *", 1, "e4 e5 Nf3", "" }, // no number before Nf3
        { "e4 e5 Nf3 *", 2, "e4 e5 Nf3", "*" },
    };
    for (const Row& r : rows) {
        std::string result = "unset";
        EXPECT_EQ(Joined(SplitMoveText(r.text, &result, r.limit)), r.moves) << r.text << " " << r.limit;
        EXPECT_EQ(result, r.result) << r.text << " " << r.limit;
    }

    // A game with a Result tag and a move limit reads as much as the same game without a limit.
    auto core = std::make_unique<clsChessCore>();
    const char* game = "[Result \"0-1\"]\n\ne4 e5 3. Nf3 Nc6 4. Bb5 a6 5. Kf3 0-1\n";
    for (int limit : { 2, 4, 6, 7 }) {
        clsGame limited;
        std::string limitedError;
        const bool limitedDone = ReadPgnGame(game, *core, limited, limit, {}, &limitedError);
        const std::string limitedFen = core->GetFEN();
        clsGame whole;
        std::string wholeError;
        ReadPgnGame(game, *core, whole, 0, {}, &wholeError);
        EXPECT_EQ(limitedDone, limit < 7) << limit;
        EXPECT_EQ(limited.FirstMoveNumber, whole.FirstMoveNumber) << limit;
        EXPECT_EQ(limited.ResultCode, GameResult::BlackWon) << limit;
        EXPECT_EQ(limited.Moves.size(), std::min<std::size_t>(static_cast<std::size_t>(limit), 6)) << limit;
        EXPECT_EQ(limitedError, limit < 7 ? "" : wholeError) << limit;
        if (limit == 4) {
            EXPECT_EQ(limitedFen, "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
        }
    }
}

TEST(PgnMoveText, ResolvesMovesAgainstTheLegalMoves)
{
    struct Row {
        const char* fen;
        const char* text;
        const char* coordinate;
    };
    const char* start = StartFEN;
    const char* promotion = "8/4P3/8/8/8/8/k7/4K3 w - - 0 1";
    const char* twoKnights = "4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1";
    const char* pinned = "4k3/8/8/8/8/5N2/8/KNr5 w - - 0 1"; // the b1 knight is pinned by c1
    const char* castling = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
    const Row rows[] = {
        { start, "Nf3", "g1f3" },
        { start, "e4", "e2e4" },
        { start, "Ng1-f3", "g1f3" },
        { start, "Ng1f3", "g1f3" },
        { start, "e2e4", "e2e4" },
        { start, "Pe2-e4", "e2e4" },
        { start, "Nf3+", "g1f3" },
        { start, "Nf6", "" },
        { start, "e5", "" },
        { start, "O-O", "" },
        { start, "Qxz9", "" },
        { start, "--", "" },
        { promotion, "e8=Q", "e7e8q" },
        { promotion, "e8=q", "e7e8q" },
        { promotion, "e8Q+", "e7e8q" },
        { promotion, "e8=N", "e7e8n" },
        { promotion, "e8", "e7e8q" },
        { promotion, "e7e8r", "e7e8r" },
        { promotion, "e8=K", "" },
        { twoKnights, "Nd2", "b1d2" },
        { twoKnights, "Nbd2", "b1d2" },
        { twoKnights, "Nfd2", "f3d2" },
        { twoKnights, "N3d2", "f3d2" },
        { twoKnights, "Nf3d2", "f3d2" },
        { pinned, "Nd2", "f3d2" },
        { pinned, "Nc3", "" },
        { castling, "O-O", "e1g1" },
        { castling, "O-O-O", "e1c1" },
        { castling, "0-0-0", "e1c1" },
        { castling, "Kf1", "e1f1" },
        { "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "exd6", "e5d6" },
        { "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "ed6", "e5d6" },
        { "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", "exd5", "e4d5" },
        { "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", "Pe4xPd5", "e4d5" },
        { "4k3/8/8/8/8/8/1p6/R3K3 b - - 0 1", "bxa1=Q", "b2a1q" },
        { "4k3/8/8/8/8/8/1p6/R3K3 b - - 0 1", "b1=B", "b2b1b" },
    };
    auto core = std::make_unique<clsChessCore>();
    for (const Row& r : rows) {
        core->SetFromFEN(r.fen);
        EXPECT_EQ(ResolveMoveText(*core, r.text), r.coordinate) << r.fen << " : " << r.text;
    }
}

TEST(PgnGame, ReadsTagsResultAndMoves)
{
    auto core = std::make_unique<clsChessCore>();
    clsGame game;
    const std::string text = "[Event \"Casual \\\"game\\\"\"]\n"
                             "  [Site \"London\"]\r\n"
                             "[White \"Morphy, Paul \"][Black \"Anderssen\"]\n"
                             "[Result \"0-1\"]\n"
                             "\n"
                             "1.e4 e5 2.Nf3 {comment} Nc6 3.Bb5 a6\n"
                             "4.Ba4 Nf6 5.O-O 1-0\n";
    std::string error;
    ASSERT_TRUE(ReadPgnGame(text, *core, game, 0, {}, &error)) << error;
    ASSERT_EQ(game.Tags.Count(), 5);
    EXPECT_EQ(game.Tags.At(0).key, "Event");
    EXPECT_EQ(game.Tags.At(0).value, "Casual \"game\"");
    EXPECT_EQ(game.Tags.At(1).key, "Site");
    EXPECT_EQ(game.Tags.At(2).value, "Morphy, Paul ");
    EXPECT_EQ(game.Tags.At(3).value, "Anderssen");
    EXPECT_EQ(game.ResultCode, GameResult::BlackWon); // the tag decides
    EXPECT_EQ(game.FirstMoveNumber, 1);
    EXPECT_EQ(Joined(game.Moves), "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6 e1g1");
    EXPECT_NE(game.MoveText.find("5.O-O 1-0"), std::string::npos);
    EXPECT_EQ(core->GetFEN(), "r1bqkb1r/1ppp1ppp/p1n2n2/4p3/B3P3/5N2/PPPP1PPP/RNBQ1RK1 b kq -");

    // Without a Result tag the result token counts; with a move limit the game stops early.
    ASSERT_TRUE(ReadPgnGame("1. e4 e5 2. Nf3 Nc6 1/2-1/2", *core, game, 3));
    EXPECT_EQ(game.ResultCode, GameResult::Draw);
    EXPECT_EQ(Joined(game.Moves), "e2e4 e7e5 g1f3");

    // A FEN tag gives the start position.
    ASSERT_TRUE(ReadPgnGame("[FEN \"4k3/4P3/8/8/8/8/8/4K3 b - - 0 60\"]\n\n60... Kxe7 *", *core, game));
    EXPECT_EQ(Joined(game.Moves), "e8e7");
    EXPECT_EQ(game.ResultCode, GameResult::Aborted);
}

TEST(PgnGame, AnUnreadableMoveStopsTheGameWithAMessage)
{
    struct Row {
        const char* text;
        const char* moves;
        const char* error;
    };
    const Row rows[] = {
        { "1. e4 e5 2. Ke3 Nf6 1-0", "e2e4 e7e5", "move 2. Ke3 is not legal" },
        { "1. e4 e5 2. Nf3 Nx9 1-0", "e2e4 e7e5 g1f3", "move 2... Nx9 is not legal" },
        { "e4 e5 Nf3 Qh4 Bxh4", "e2e4 e7e5 g1f3 d8h4", "move 3. Bxh4 is not legal" },
        { "[FEN \"4k3/8/8/8/8/8/8/4K3 b - - 0 1\"]\nKe2", "", "move 1... Ke2 is not legal" },
        { "1. f3 e5 2. g4 Qh4# 3. a3 0-1", "f2f3 e7e5 g2g4 d8h4", "move 3. a3 is not legal" },
    };
    auto core = std::make_unique<clsChessCore>();
    for (const Row& r : rows) {
        clsGame game;
        std::string error;
        EXPECT_FALSE(ReadPgnGame(r.text, *core, game, 0, {}, &error)) << r.text;
        EXPECT_EQ(Joined(game.Moves), r.moves) << r.text;
        EXPECT_EQ(error, r.error) << r.text;
    }
}

TEST(PgnFile, SplitsGamesAndKeepsTheGamesAfterABrokenOne)
{
    const std::string pgn
        = "% header escape line\n"
          "[Event \"one\"]\n[Result \"1-0\"]\n\n1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7# 1-0\n\n"
          "[Event \"two\"]\n[Result \"*\"]\n\n1. d4 d5 2. Kd3\n" // illegal, no result token
          "[Event \"three\"]\n[Result \"1/2-1/2\"]\n\n1. c4 {a comment\n[that looks like a tag]\n"
          "still comment} c5 1/2-1/2\n"
          "[Event \"tags only\"]\n"
          "[Event \"five\"]\r\n[Result \"0-1\"]\r\n\r\n   1. f3 e5 2. g4 Qh4# 0-1\r\n";
    std::vector<clsGameText> texts = SplitGames(pgn);
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts.back().end, pgn.size());

    auto core = std::make_unique<clsChessCore>();
    std::vector<std::string> lines;
    clsPGNFile file(
        [&](const std::string& text, bool endLine) { lines.push_back(text + (endLine ? "\n" : "")); });
    std::vector<std::string> replayed;
    file.onGame = [&](const clsGame& game, int number, bool complete, clsChessCore&) {
        replayed.push_back(std::to_string(number) + ":" + game.Tag("Event") + ":"
            + std::to_string(game.Moves.size()) + (complete ? "" : " incomplete"));
    };
    EXPECT_EQ(file.BuildFromText(pgn, *core, 0, false), 5);
    const std::vector<std::string> expected
        = { "1:one:7", "2:two:2 incomplete", "3:three:2", "4:tags only:0", "5:five:4" };
    EXPECT_EQ(replayed, expected);
    EXPECT_EQ(file.IncompleteGames(), 1);
    EXPECT_EQ(file.Plies(), 15);
    ASSERT_EQ(file.Problems().size(), 1u);
    EXPECT_EQ(file.Problems()[0], "# game 2: move 2. Kd3 is not legal");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "# game 5 - 100% done   \r");
    EXPECT_EQ(lines[lines.size() - 2], "#\n");
    EXPECT_EQ(lines[lines.size() - 1], "# pgn file loaded\n");
}

// A repeated tag starts a new game whether the game has few tags or many.
TEST(PgnFile, ARepeatedTagStartsTheNextGameAfterManyTags)
{
    std::string pgn;
    for (int i = 0; i < 40; ++i)
        pgn += "[T" + std::to_string(i) + " \"v\"]\n";
    pgn += "[T35 \"again\"]\n[T36 \"v\"]\n[T35 \"third\"]\n[T5 \"v\"]\n\n1. e4 *\n";
    const std::vector<clsGameText> texts = SplitGames(pgn);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].text.find("[T35 \"v\"]"), texts[0].text.rfind("[T35"));
    EXPECT_EQ(texts[1].text, "[T35 \"again\"]\n[T36 \"v\"]\n");
    EXPECT_EQ(texts[2].text, "[T35 \"third\"]\n[T5 \"v\"]\n\n1. e4 *\n");
}

// A file is read in blocks: lines cut by a block's end, a line longer than a block, CR LF
// endings and a last line without its LF give what the whole text in memory gives.
TEST(PgnFile, ReadingInBlocksAndMergingInBatchesGivesWhatTheWholeTextGives)
{
    const std::string games[] = {
        "[Event \"a\"]\r\n[Result \"1-0\"]\r\n\r\n1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 1-0\r\n\r\n",
        "[Event \"b\"]\n[Result \"0-1\"]\n\n1. d4 d5 2. c4 e6 3. Nc3 Nf6 0-1\n\n",
        "[Event \"c\"]\n[Result \"*\"]\n\n1. e4 c5 2. Nf3 d6 3. d4 Qb6 4. Kd3 *\n\n", // stops at Kd3
    };
    std::string text = "[Event \"long\"]\n[Result \"1/2-1/2\"]\n\n1. c4 {" + std::string(300000, 'x')
        + "} c5 2. Nc3 Nc6 1/2-1/2\n\n";
    for (int i = 0; i < 3000; ++i)
        text += games[i % 3];
    text += "[Event \"last\"]\n\n1. g3 g6 *"; // no line end

    TempDir dir;
    const std::string path = dir.Path("blocks.pgn");
    WriteBytes(path, text);
    auto core = std::make_unique<clsChessCore>();
    struct Run {
        std::vector<std::string> lines;
        int games = 0;
        std::vector<clsBookEntry> entries;
        std::int64_t plies = 0;
        int incomplete = 0;
    };
    auto build = [&](bool fromFile, std::size_t batch = 0) {
        Run run;
        clsPGNFile file([&](const std::string& line, bool) { run.lines.push_back(line); });
        if (batch > 0) file.SetOutcomeBatch(batch);
        run.games = fromFile ? file.Build(path, *core, 0, false) : file.BuildFromText(text, *core, 0, false);
        run.entries = file.Book().Entries();
        run.plies = file.Plies();
        run.incomplete = file.IncompleteGames();
        return run;
    };
    const Run whole = build(false);
    for (const Run& blocks : { build(true), build(true, 7) }) {
        EXPECT_EQ(whole.games, 3002);
        EXPECT_EQ(whole.incomplete, 1000);
        EXPECT_EQ(blocks.games, whole.games);
        EXPECT_EQ(blocks.plies, whole.plies);
        EXPECT_EQ(blocks.incomplete, whole.incomplete);
        EXPECT_EQ(blocks.lines, whole.lines);
        ASSERT_EQ(blocks.entries.size(), whole.entries.size());
        for (std::size_t i = 0; i < whole.entries.size(); ++i) {
            EXPECT_EQ(blocks.entries[i].key, whole.entries[i].key);
            EXPECT_EQ(blocks.entries[i].Games(), whole.entries[i].Games());
            EXPECT_EQ(blocks.entries[i].wins, whole.entries[i].wins);
        }
    }
}

TEST(PgnFile, BookModeCountsEveryPositionForTheSideThatMoved)
{
    auto core = std::make_unique<clsChessCore>();
    clsPGNFile file;
    ASSERT_EQ(file.BuildFromText("[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 1-0\n", *core, 0, false), 1);
    const clsBook& book = file.Book();
    ASSERT_EQ(book.Count(), 3);
    struct Row {
        u64 key;
        int wins, losses, draws;
    };
    const Row rows[] = {
        { 0x98A8776C1A9B3E65ULL, 1, 0, 0 }, // after 1. e4
        { 0x98748CF473C81955ULL, 0, 1, 0 }, // after 1... e5
        { 0xAE70C5F257932F0DULL, 1, 0, 0 }, // after 2. Nf3
    };
    for (const Row& r : rows) {
        const clsBookEntry* e = book.Find(r.key);
        ASSERT_NE(e, nullptr) << std::hex << r.key;
        EXPECT_EQ(e->wins, r.wins);
        EXPECT_EQ(e->losses, r.losses);
        EXPECT_EQ(e->draws, r.draws);
    }

    // "*" counts as a draw everywhere; a move limit of 10 keeps ten plies.
    const char* longGame
        = "[Result \"*\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 6. Re1 b5 *\n";
    ASSERT_EQ(file.BuildFromText(longGame, *core, 10, false), 1);
    EXPECT_EQ(file.Plies(), 10);
    ASSERT_EQ(file.Book().Count(), 10);
    for (const clsBookEntry& e : file.Book().Entries()) {
        EXPECT_EQ(e.draws, 1);
        EXPECT_EQ(e.wins + e.losses, 0);
    }
}

TEST(PgnFile, FenModeWritesPositionsWithResultCounts)
{
    TempDir dir;
    std::string path = dir.Path("games.pgn");
    WriteBytes(path,
        "[Result \"1-0\"]\n\n1. e4 e5 1-0\n\n[Result \"1/2-1/2\"]\n\n1. e4 c5 1/2-1/2\n\n"
        "[Result \"*\"]\n\n1. d4 *\n");
    WriteBytes(clsPGNFile::FenFileName(path), "old file");
    auto core = std::make_unique<clsChessCore>();
    std::vector<std::string> lines;
    clsPGNFile file([&](const std::string& text, bool endLine) {
        if (endLine) lines.push_back(text);
    });
    ASSERT_EQ(file.Build(path, *core, 0, true), 3);
    EXPECT_EQ(clsPGNFile::FenFileName(path), dir.Path("games.pgn.txt"));
    EXPECT_EQ(ReadBytes(dir.Path("games.pgn.txt")),
        "1\t1\t0\trnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3\r\n"
        "1\t1\t0\trnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\r\n");
    const std::vector<std::string> expected
        = { "#", "# pgn file loaded", "# sorting FEN(s) book...", "# applying limit 0 to 2 fen strings",
              "# compact...", "# saving FENs book (2)", "# saved 2 fens - cleaning up..." };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(file.Book().Count(), 4); // the book is built in FEN mode too

    // Book mode writes no FEN file.
    std::filesystem::remove(dir.Path("games.pgn.txt"));
    ASSERT_EQ(file.Build(path, *core, 0, false), 3);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("games.pgn.txt")));

    // A file that cannot be read gives no games.
    EXPECT_EQ(file.Build(dir.Path("missing.pgn"), *core, 0, false), 0);
    EXPECT_EQ(file.Book().Count(), 0);
}

TEST(PgnFile, ReadsAnnotatedGamesFromAFixture)
{
    auto core = std::make_unique<clsChessCore>();
    clsPGNFile file;
    std::vector<std::string> finals;
    file.onGame = [&](const clsGame& game, int, bool complete, clsChessCore& c) {
        EXPECT_TRUE(complete) << game.Tag("Event");
        finals.push_back(c.GetFEN());
    };
    ASSERT_EQ(file.Build(std::string(CORVALA_BOOK_TEST_DATA) + "/annotated.pgn", *core, 0, false), 3);
    EXPECT_EQ(file.IncompleteGames(), 0);
    const std::vector<std::string> expected = {
        "r1bqkb1r/pppp1Qpp/2n2n2/4p3/2B1P3/8/PPPP1PPP/RNB1K1NR b KQkq -",
        "4k2Q/8/8/8/8/8/8/4K3 b - -",
        "rnbqkbnr/ppp2ppp/4p3/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6",
    };
    EXPECT_EQ(finals, expected);
}
