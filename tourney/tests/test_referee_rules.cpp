// The referee's rule pieces, driven by tables: no threads, no processes.

#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "book/clsgame.h"
#include "dranbase/clsthread.h"
#include "engine/clsengine.h"
#include "rules/random.h"
#include "tourney/adjudication.h"
#include "tourney/clsembeddedengine.h"
#include "tourney/gamerules.h"
#include "tourney/referee.h"

using namespace drnChess;

namespace {

std::unique_ptr<clsEngine> MakeEngine(const std::string& fen = StartFEN)
{
    dranbase::clsStrings noOptions;
    auto engine = std::make_unique<clsEngine>(noOptions, nullptr);
    engine->SetKeepLines(false);
    engine->SetFromFEN(fen);
    return engine;
}

TEST(RefereeClock, ForfeitOnlyPastTheGrace)
{
    struct Row {
        std::int64_t elapsed, own;
        bool forfeit;
    };
    const Row rows[] = {
        { 3050, 3000, false }, // own time + 50: still in time
        { 3051, 3000, true }, // + 51: lost
        { 0, 0, false },
        { 51, 0, true },
        { 10, -45, true }, // a clock already below zero leaves less grace
        { 5, -45, false },
    };
    for (const Row& r : rows)
        EXPECT_EQ(IsTimeForfeit(r.elapsed, r.own), r.forfeit) << r.elapsed << " vs " << r.own;
    EXPECT_EQ(ForfeitText(3051, 3000), "3051>3000");
    EXPECT_EQ(ClockAfterMove(60000, 1000, 2500), 58500);
    EXPECT_EQ(ClockAfterMove(100, 0, 150), -50);
}

TEST(RefereeResults, CodesTextsAndHalfPoints)
{
    struct Row {
        std::uint32_t code;
        const char* result;
        const char* reason;
        int white, black;
    };
    const Row rows[] = {
        { GameState::WhiteMates, "1-0", "mate", 2, 0 },
        { GameState::BlackMates, "0-1", "mate", 0, 2 },
        { GameState::Stalemate, "1/2-1/2", "stalemate", 1, 1 },
        { GameState::InsufficientMaterial, "1/2-1/2", "insufficient material", 1, 1 },
        { 0xA00, "1/2-1/2", "triple repetition", 1, 1 },
        { ForfeitCode(White), "0-1", "forfeit", 0, 2 },
        { ForfeitCode(Black), "1-0", "forfeit", 2, 0 },
        { IllegalMoveCode(White), "0-1", "illegal move", 0, 2 },
        { IllegalMoveCode(Black), "1-0", "illegal move", 2, 0 },
        { CrashCode(White), "0-1", "engine crashed", 0, 2 },
        { CrashCode(Black), "1-0", "engine crashed", 2, 0 },
        { ResignCode(White), "0-1", "resign", 0, 2 },
        { ResignCode(Black), "1-0", "resign", 2, 0 },
        { GameResult::Draw, "1/2-1/2", "", 1, 1 },
        { GameResult::Aborted, "*", "game aborted", 0, 0 },
        { GameResult::Unfinished, "?", "?", 0, 0 },
    };
    const std::uint32_t expectedCodes[] = { 0x2A, 0x26, 0x10A, 0x102, 0x400A, 0x4006, 0x4A, 0x42 };
    const std::uint32_t madeCodes[] = { ForfeitCode(White), ForfeitCode(Black), IllegalMoveCode(White),
        IllegalMoveCode(Black), CrashCode(White), CrashCode(Black), ResignCode(White), ResignCode(Black) };
    for (std::size_t i = 0; i < std::size(expectedCodes); ++i)
        EXPECT_EQ(madeCodes[i], expectedCodes[i]) << i;

    for (const Row& r : rows) {
        clsGame game;
        game.SetResult(r.code);
        EXPECT_EQ(game.ResultText(), r.result) << std::hex << r.code;
        EXPECT_EQ(game.ReasonText(), r.reason) << std::hex << r.code;
        EXPECT_EQ(game.Tag("Result"), r.result);
        const clsHalfPoints points = HalfPoints(r.code);
        EXPECT_EQ(points.white, r.white) << std::hex << r.code;
        EXPECT_EQ(points.black, r.black) << std::hex << r.code;
    }
}

TEST(RefereeResults, ResultClaims)
{
    struct Row {
        const char* rest;
        int mover;
        std::uint32_t code;
    };
    const Row rows[] = {
        { "1/2-1/2", White, 0x200 },
        { "1/2-1/2 {Draw by repetition}", Black, 0x200 },
        { "0-1", White, 0x4A }, // White gives up
        { "0-1 {White resigns}", White, 0x4A },
        { "1-0", Black, 0x42 },
        { "1-0", White, 0 }, // a claimed win of the mover goes unheard
        { "0-1 {Black mates}", Black, 0 },
        { "", White, 0 },
        { "*", Black, 0 },
    };
    for (const Row& r : rows)
        EXPECT_EQ(ClaimCode(r.rest, r.mover), r.code) << "'" << r.rest << "' mover " << r.mover;
}

TEST(RefereeResults, DrawClaimsCheckedAgainstThePosition)
{
    struct Row {
        const char* what;
        int occurrences;
        int halfmoveClock;
        std::uint32_t status;
        std::uint32_t code; // 0: a false claim
    };
    const Row rows[] = {
        { "nothing supports it", 1, 0, GameResult::Unfinished, 0 },
        { "second occurrence", 2, 10, GameResult::Unfinished, 0 },
        { "third occurrence", 3, 4, GameResult::Unfinished, 0xA00 },
        { "99 plies", 1, 99, GameResult::Unfinished, 0 },
        { "100 plies", 1, 100, GameResult::Unfinished, 0x600 },
        { "stalemate", 1, 0, GameState::Stalemate, 0x1200 },
        { "insufficient material", 1, 0, GameState::InsufficientMaterial, 0x2200 },
        { "a mate is no draw", 1, 0, GameState::WhiteMates, 0 },
    };
    for (const Row& r : rows)
        EXPECT_EQ(DrawClaimCode(r.occurrences, r.halfmoveClock, r.status), r.code) << r.what;
    // A false claim loses for the claimant by adjudication.
    EXPECT_EQ(FalseClaimCode(White), 0x8Au);
    EXPECT_EQ(FalseClaimCode(Black), 0x86u);
    EXPECT_EQ(HalfPoints(FalseClaimCode(Black)).white, 2);

    clsRepetitionHistory history;
    EXPECT_EQ(history.Occurrences(), 0);
    for (u64 key : { 7, 8, 7, 9, 7 })
        history.Add(key);
    EXPECT_EQ(history.Occurrences(), 3);
    history.Add(8);
    EXPECT_EQ(history.Occurrences(), 2);
}

TEST(RefereeResponses, KeywordRestAndMove)
{
    struct Row {
        const char* line;
        const char* keyword;
        const char* rest;
        const char* move;
    };
    const Row rows[] = {
        { "move e2e4", "move", "e2e4", "e2e4" },
        { "move e7e8=q", "move", "e7e8=q", "e7e8q" },
        { "move  e7e8q ponder d2d4 ", "move", "e7e8q ponder d2d4", "e7e8q" },
        { "result 1-0", "result", "1-0", "1-0" },
        { "move", "move", "", "" },
        { "", "", "", "" },
    };
    for (const Row& r : rows) {
        const clsResponse response = SplitResponse(r.line);
        EXPECT_EQ(response.keyword, r.keyword) << r.line;
        EXPECT_EQ(response.rest, r.rest) << r.line;
        EXPECT_EQ(MoveOfResponse(response.rest), r.move) << r.line;
    }
}

TEST(RefereeRepetition, FourthOccurrenceNotCountingTheFirstKey)
{
    // Knights out and back: the keys after each ply repeat with period 4. The first key of the
    // game (after 1. Nf3) is never compared, so its fourth occurrence (ply 13) passes and the
    // fourth occurrence of the key after 1... Nf6 (ply 14) ends the game.
    const u64 cycle[] = { 11, 22, 33, 44 };
    clsRepetitionHistory history;
    int endedAt = 0;
    for (int ply = 1; ply <= 20 && endedAt == 0; ++ply)
        if (history.Add(cycle[(ply - 1) % 4])) endedAt = ply;
    EXPECT_EQ(endedAt, 14);

    // Three occurrences are not enough.
    clsRepetitionHistory three;
    for (u64 key : { 1, 5, 2, 5, 3, 5 })
        EXPECT_FALSE(three.Add(key));
    EXPECT_TRUE(three.Add(5));
}

TEST(RefereeRepetition, PlacementKeyIgnoresRightsButNotTheMover)
{
    InitKeysOnce();
    auto engine = MakeEngine();
    const u64 start = PlacementKey(engine->board);
    for (const char* move : { "g1f3", "g8f6", "f3g1", "f6g8" })
        ASSERT_TRUE(engine->ApplyGameMove(move));
    EXPECT_EQ(PlacementKey(engine->board), start) << "same placement, same side to move";

    auto noRights = MakeEngine("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1");
    EXPECT_EQ(PlacementKey(noRights->board), start) << "castling rights are not part of the key";

    auto blackToMove = MakeEngine("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1");
    EXPECT_NE(PlacementKey(blackToMove->board), start) << "the placement is seen from the side to move";

    auto enPassant = MakeEngine("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    auto noEnPassant = MakeEngine("4k3/8/8/3pP3/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(PlacementKey(enPassant->board), PlacementKey(noEnPassant->board));
}

// The referee ends a game by the fifty-move rule itself, once the half-move clock reaches 100;
// a mate on that ply stands, and a capture or pawn move on it resets the count.
TEST(RefereeJudge, FiftyMoveRuleWithoutAClaim)
{
    struct Row {
        const char* fen;
        const char* move;
        std::uint32_t code;
    };
    const Row rows[] = {
        { "k7/8/8/8/8/8/8/K6R w - - 99 80", "h1h2", GameResult::Draw | GameResult::FiftyMoves },
        { "k7/8/8/8/8/8/8/K6R b - - 99 80", "a8b7", GameResult::Draw | GameResult::FiftyMoves },
        { "k7/8/8/8/8/8/8/K6R w - - 98 80", "h1h2", GameResult::Unfinished },
        { "k7/8/1K6/8/8/8/8/7R w - - 99 80", "h1h8",
            GameResult::Decided | GameResult::WhiteWins | GameResult::Mate },
        { "k7/8/8/8/8/8/7p/K6R w - - 99 80", "h1h2", GameResult::Unfinished }, // a capture
        { "k7/7p/8/8/8/8/8/K6R b - - 99 80", "h7h6", GameResult::Unfinished }, // a pawn move
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fen);
        clsReferee referee;
        ASSERT_TRUE(referee.SetStart(r.fen));
        const clsMoveVerdict v = referee.Play(r.move);
        ASSERT_TRUE(v.legal);
        EXPECT_EQ(v.code, r.code);
    }
}

// The one judge of every game: each move as its mover wrote it, in order, with the verdict.
TEST(RefereeJudge, MovesVerdictsAndRecord)
{
    struct Step {
        const char* text;
        bool legal;
        std::uint32_t code;
    };
    // Knights out and back, with two refused texts on the way: the game ends at the fourth
    // occurrence of the key after 1... Nf6 (ply 14), as FourthOccurrenceNotCountingTheFirstKey
    // says. SAN and coordinates are both read.
    const std::uint32_t going = GameResult::Unfinished;
    const Step knights[] = {
        { "Nf3", true, going },
        { "g8f6", true, going },
        { "f3g1", true, going },
        { "f6g8", true, going },
        { "e2e5", false, 0 },
        { "", false, 0 },
        { "g1f3", true, going },
        { "Nf6", true, going },
        { "Ng1", true, going },
        { "Ng8", true, going },
        { "g1f3", true, going },
        { "g8f6", true, going },
        { "f3g1", true, going },
        { "f6g8", true, going },
        { "g1f3", true, going },
        { "g8f6", true, GameResult::Draw | GameResult::Repetition },
    };
    clsReferee referee;
    ASSERT_TRUE(referee.SetStart(StartFEN));
    for (const Step& step : knights) {
        SCOPED_TRACE(step.text);
        const clsMoveVerdict v = referee.Play(step.text);
        EXPECT_EQ(v.legal, step.legal);
        if (v.legal) {
            EXPECT_EQ(v.code, step.code);
        }
    }
    EXPECT_EQ(referee.Plies(), 14);
    EXPECT_EQ(referee.Played().substr(0, 20), "g1f3 g8f6 f3g1 f6g8 ");
    EXPECT_EQ(referee.MoveText("1/2-1/2").substr(0, 24), "1. Nf3 Nf6 2. Ng1 Ng8 3.");

    // Fool's mate from a set-up position: mate with the check mark, and the start's FEN tag.
    ASSERT_TRUE(referee.SetStart("rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq g3 0 2"));
    EXPECT_EQ(referee.StartTag(), "rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq g3 0 2");
    const clsMoveVerdict mate = referee.Play("d8h4");
    EXPECT_TRUE(mate.legal);
    EXPECT_EQ(mate.code, static_cast<std::uint32_t>(GameState::BlackMates));
    EXPECT_EQ(referee.MoveText("0-1"), "2... Qh4# 0-1\r\n");
}

TEST(RefereeGameStatus, MaterialStalemateMate)
{
    struct Row {
        const char* fen;
        int status;
    };
    const Row rows[] = {
        { "4k3/8/8/8/8/8/8/4K3 w - - 0 1", GameState::InsufficientMaterial },
        { "4k3/8/8/8/8/8/8/4KN2 b - - 0 1", GameState::InsufficientMaterial },
        { "4k3/8/8/8/8/8/8/4KB2 w - - 0 1", GameState::InsufficientMaterial },
        { "4kb2/8/8/8/8/8/8/4K3 w - - 0 1", GameState::InsufficientMaterial },
        { "4k3/8/8/8/8/8/8/3NKN2 w - - 0 1", GameState::Going }, // two knights are not "insufficient"
        { "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", GameState::Going },
        { "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", GameState::Stalemate },
        { "R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", GameState::WhiteMates },
        { "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", GameState::BlackMates },
    };
    for (const Row& r : rows) {
        auto engine = MakeEngine(r.fen);
        EXPECT_EQ(engine->GameStatus(), r.status) << r.fen;
    }
}

TEST(RefereeTexts, NamesTimeControlsDatesFiles)
{
    EXPECT_EQ(QuoteName("O'Neil"), "'O''Neil'");
    EXPECT_EQ(QuoteName(""), "''");

    struct Row {
        std::int64_t moves, gameMs, incrementMs;
        const char* timeControl;
        const char* dranTimeControl;
    };
    const Row rows[] = {
        { 40, 300000, 2000, "40/300+2", "40:300000:2000" }, { 0, 60000, 0, "60", "0:60000:0" },
        { 0, 90500, 0, "90.5", "0:90500:0" }, { 0, 6000, 100, "6+0.1", "0:6000:100" },
        { 0, 2000, 50, "2+0.05", "0:2000:50" },
        { 0, 5000, 500, "5+0.5", "0:5000:500" }, // the increment as given, not rounded away
    };
    for (const Row& r : rows) {
        EXPECT_EQ(TimeControlTag(r.moves, r.gameMs, r.incrementMs), r.timeControl);
        EXPECT_EQ(DranTimeControlTag(r.moves, r.gameMs, r.incrementMs), r.dranTimeControl);
    }

    std::tm day {};
    day.tm_year = 2024 - 1900;
    day.tm_mon = 2;
    day.tm_mday = 7;
    day.tm_hour = 12;
    EXPECT_EQ(PgnDate(std::mktime(&day)), "2024.03.07");
    EXPECT_EQ(GameFileName("logs/Cup.T1", 2, 5), "logs/Cup.T1.R2.G5.pgn");
}

TEST(RefereeNotation, SanOfCoordinateMoves)
{
    struct Row {
        const char* fen;
        const char* move;
        const char* san; // without the check mark; empty when not legal
        const char* mark; // after the move
    };
    const Row rows[] = {
        { StartFEN, "e2e4", "e4", "" },
        { StartFEN, "g1f3", "Nf3", "" },
        { StartFEN, "e2e5", "", "" },
        { StartFEN, "", "", "" },
        { "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1g1", "O-O", "" },
        { "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8c8", "O-O-O", "" },
        { "3rk3/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7d8q", "exd8=Q", "+" },
        { "8/4P3/8/8/8/8/k7/7K w - - 0 1", "e7e8n", "e8=N", "" },
        { "8/4P3/8/8/8/8/k7/7K w - - 0 1", "e7e8", "", "" }, // the promotion piece is missing
        { "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6", "exd6", "" },
        { "4k3/8/8/8/8/8/8/1N2KN2 w - - 0 1", "b1d2", "Nbd2", "" },
        { "4k3/8/8/R7/8/8/8/R3K3 w - - 0 1", "a1a3", "R1a3", "" },
        { "4k3/8/8/8/8/Q7/8/Q1Q1K3 w - - 0 1", "a1b2", "Qa1b2", "" },
        { "4k3/8/8/8/8/8/8/R3K3 w - - 0 1", "a1a8", "Ra8", "+" },
        { "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "a1a8", "Ra8", "#" },
    };
    for (const Row& r : rows) {
        auto engine = MakeEngine(r.fen);
        EXPECT_EQ(SanOfMove(*engine, r.move), r.san) << r.fen << " " << r.move;
        if (*r.san == 0) continue;
        ASSERT_TRUE(engine->ApplyGameMove(r.move));
        EXPECT_EQ(CheckMark(*engine), r.mark) << r.fen << " " << r.move;
    }
}

TEST(RefereeNotation, ReadsTheFormsPlayersSend)
{
    struct Row {
        const char* text;
        const char* coordinate;
        const char* san;
    };
    const Row rows[] = {
        { "g1f3", "g1f3", "Nf3" },
        { "Nf3", "g1f3", "Nf3" },
        { "e4", "e2e4", "e4" },
        { "z9z9", "", "" },
        { "Ke2", "", "" },
    };
    for (const Row& r : rows) {
        auto engine = MakeEngine();
        const clsGameMove move = ReadGameMove(*engine, r.text);
        EXPECT_EQ(move.coordinate, r.coordinate) << r.text;
        EXPECT_EQ(move.san, r.san) << r.text;
    }
    auto promotion = MakeEngine("8/4P3/8/8/8/8/k7/7K w - - 0 1");
    EXPECT_EQ(ReadGameMove(*promotion, "e7e8q").coordinate, "e7e8q");
}

TEST(RefereeNotation, MoveTextNumbersWrapsAndEnds)
{
    clsMoveTextWriter text;
    text.Reset(1, White);
    for (const char* san : { "e4", "e5", "Nf3" })
        text.Add(san);
    EXPECT_EQ(text.Text("1-0"), "1. e4 e5 2. Nf3 1-0\r\n");
    EXPECT_EQ(text.Text(), "1. e4 e5 2. Nf3\r\n");

    text.Reset(5, Black);
    EXPECT_EQ(text.LastMoveNumber(), 0);
    text.Add("Nf6");
    EXPECT_EQ(text.LastMoveNumber(), 5);
    text.Comment("book");
    text.Add("Nc3");
    EXPECT_EQ(text.LastMoveNumber(), 6);
    text.Comment("+0.35/17 0.31s");
    EXPECT_EQ(text.Text("*"), "5... Nf6 {book} 6. Nc3 {+0.35/17 0.31s} *\r\n");

    text.Reset(1, White);
    for (int i = 0; i < 120; ++i)
        text.Add(i % 2 ? "Nf6" : "Nf3");
    const std::string all = text.Text("1/2-1/2");
    std::size_t start = 0, lines = 0;
    while (start < all.size()) {
        std::size_t end = all.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - start, 79u);
        start = end + 2;
        ++lines;
    }
    EXPECT_GT(lines, 1u);
    EXPECT_NE(all.find("60. Nf3"), std::string::npos);
    EXPECT_EQ(all.substr(all.size() - 13), "Nf6 1/2-1/2\r\n");
}

TEST(EmbeddedPlayer, ThinkBudget)
{
    struct Row {
        std::int64_t clock;
        int fullMove, movesPerControl;
        std::int64_t increment, budget;
    };
    const Row rows[] = {
        { 60050, 1, 0, 0, 1500 }, // (60050 - 50) / 40
        { 60000, 10, 40, 0, 1873 }, // (60000 - 50) / (40 - 10 + 2)
        { 60000, 50, 40, 0, 1873 }, // move 50 is move 10 of the second control
        { 60000, 40, 40, 0, 29975 }, // the last move of a control
        { 100, 1, 0, 0, 2 }, // no margin taken at 100 ms or less
        { 0, 1, 0, 0, 1 }, // never below 1
        { 4050, 1, 0, 1000, 600 }, // 100 + half the increment
        { 450, 1, 0, 1000, 200 }, // the increment never pushes past half the clock
    };
    for (const Row& r : rows)
        EXPECT_EQ(
            clsEmbeddedEngine::ThinkBudget(r.clock, r.fullMove, r.movesPerControl, r.increment), r.budget)
            << r.clock << " " << r.fullMove << " " << r.movesPerControl << " " << r.increment;
}

TEST(EmbeddedPlayer, PostedThinkingLinesComeBeforeTheMoveWithTheirScores)
{
    for (const char* search : { "classic", "strong" })
        for (const bool post : { true, false }) {
            SCOPED_TRACE(std::string(search) + (post ? " post" : " nopost"));
            clsEmbeddedEngine player(
                "Corvala", std::string("memory=1 book=no-such-book.cbk search=") + search);
            ASSERT_TRUE(player.Start());
            for (const char* command : { "new", post ? "post" : "nopost", "level 0 1 0", "time 1000", "go" })
                player.Send(command);
            // Thinking lines are read into the player's last score; the move is the first
            // line the reader hands back.
            std::string move;
            const std::int64_t until = dranbase::Tick() + 60000;
            while (dranbase::Tick() < until && move.empty()) {
                player.WaitForReply(100);
                move = player.ReadResponse();
            }
            EXPECT_FALSE(move.empty());
            EXPECT_EQ(player.LastScore.known, post);
            if (post) {
                EXPECT_GE(player.LastScore.depth, 1);
            }
            player.Stop();
        }
}

} // namespace
