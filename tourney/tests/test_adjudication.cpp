// Adjudication from the engines' own scores: the reading of UCI and xboard thinking output, the
// move comments, the rules move by move, and whole games between scripted engines whose records
// say which adjudication ended them.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "book/clsgame.h"
#include "dranbase/clsstring.h"
#include "engine/clsengine.h"
#include "tourney/adjudication.h"
#include "tourney/clstourneygame.h"
#include "tourney/protocols.h"
#include "tourney/tests/fasttiming.h"
#include "tourney/tests/test_referee_support.h"

using namespace drnChess;
using namespace std::chrono_literals;

namespace {

clsEngineScore Cp(int value, int depth = 1)
{
    return { true, false, value, depth };
}
clsEngineScore Mate(int moves, int depth = 1)
{
    return { true, true, moves, depth };
}

// The rule sets the tests play under: a draw from move 3 after two moves each within 10 cp,
// resignation at 500 cp for three moves (one- or two-sided), and a limit of four moves.
clsAdjudicationRules DrawRules()
{
    clsAdjudicationRules r;
    r.draw = true;
    r.drawMoveNumber = 3;
    r.drawMoveCount = 2;
    r.drawScore = 10;
    return r;
}

clsAdjudicationRules ResignRules(bool twoSided)
{
    clsAdjudicationRules r;
    r.resign = true;
    r.resignMoveCount = 3;
    r.resignScore = 500;
    r.resignTwoSided = twoSided;
    return r;
}

clsAdjudicationRules MaxMovesRules()
{
    clsAdjudicationRules r;
    r.maxMoves = 4;
    return r;
}

} // namespace

TEST(EngineScores, UciInfoLines)
{
    struct Case {
        const char* rest;
        clsEngineScore expected;
    };
    const Case cases[] = {
        { "depth 17 seldepth 24 multipv 1 score cp 35 nodes 120000 nps 1 time 310 pv e2e4 e7e5", Cp(35, 17) },
        { "depth 20 score mate -3 nodes 5 pv e1e2", Mate(-3, 20) },
        { "depth 9 score cp -120 lowerbound nodes 4", Cp(-120, 9) },
        // A move named "score" in the pv is a move, not a score.
        { "depth 4 score cp 12 pv e2e4 score", Cp(12, 4) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rest);
        clsEngineScore score;
        ReadUciInfo(c.rest, score);
        EXPECT_EQ(score.known, c.expected.known);
        EXPECT_EQ(score.mate, c.expected.mate);
        EXPECT_EQ(score.value, c.expected.value);
        EXPECT_EQ(score.depth, c.expected.depth);
    }
    // Lines without a score leave the last one as it was.
    clsEngineScore kept = Cp(50, 8);
    ReadUciInfo("depth 9 currmove e2e4 currmovenumber 1", kept);
    ReadUciInfo("string hello score cp", kept);
    ReadUciInfo("string the score cp 900 is a joke", kept);
    EXPECT_EQ(kept.value, 50);
    EXPECT_EQ(kept.depth, 8);
}

TEST(EngineScores, XboardThinkingLines)
{
    struct Case {
        const char* line;
        bool thinking;
        clsEngineScore expected;
    };
    const Case cases[] = {
        { "17 35 31 120000 e2e4 e7e5", true, Cp(35, 17) },
        { " 9 -250 100 5000 d1h5", true, Cp(-250, 9) },
        { "12. 40 20 900 g1f3", true, Cp(40, 12) },
        { "20 100005 1 1 f7f8q", true, Mate(5, 20) },
        { "20 -100002 1 1 e1e2", true, Mate(-2, 20) },
        { "Illegal move: e2e5", false, {} },
        { "12 35 31", false, {} },
        { "1-0 {White mates}", false, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        clsEngineScore score;
        EXPECT_EQ(ReadXboardThinking(c.line, score), c.thinking);
        EXPECT_EQ(score.known, c.expected.known);
        EXPECT_EQ(score.mate, c.expected.mate);
        EXPECT_EQ(score.value, c.expected.value);
        EXPECT_EQ(score.depth, c.expected.depth);
    }
}

TEST(EngineScores, ThinkingLinesWeWriteReadBackAsTheirScore)
{
    struct Case {
        int depth, scoreCp, mateMoves;
        clsEngineScore expected;
    };
    const Case cases[] = {
        { 17, 35, 0, Cp(35, 17) },
        { 3, -250, 0, Cp(-250, 3) },
        { 9, 0, 4, Mate(4, 9) },
        { 12, 0, -1, Mate(-1, 12) },
    };
    for (const Case& c : cases) {
        clsIterationReport r;
        r.depth = c.depth;
        r.scoreCp = c.scoreCp;
        r.mateMoves = c.mateMoves;
        r.ms = 1234;
        r.nodes = 5678;
        clsMove m {};
        m.from = u64 { 1 } << 11; // e2: files run from h
        m.to = u64 { 1 } << 27; // e4
        r.pv.push_back(m);
        const std::string line = XboardThinkingLine(r);
        SCOPED_TRACE(line);
        EXPECT_NE(line.find(" 123 5678 e2e4"), std::string::npos);
        clsEngineScore score;
        ASSERT_TRUE(ReadXboardThinking(line, score));
        EXPECT_EQ(score.mate, c.expected.mate);
        EXPECT_EQ(score.value, c.expected.value);
        EXPECT_EQ(score.depth, c.expected.depth);
    }
}

TEST(EngineScores, MoveComments)
{
    EXPECT_EQ(MoveCommentText(Cp(35, 17), 310), "+0.35/17 0.31s");
    EXPECT_EQ(MoveCommentText(Cp(-105, 3), 2000), "-1.05/3 2s");
    EXPECT_EQ(MoveCommentText(Cp(-5, 3), 1), "-0.05/3 0.001s");
    EXPECT_EQ(MoveCommentText(Cp(0, 1), 0), "0.00/1 0s");
    EXPECT_EQ(MoveCommentText(Mate(3, 20), 1234), "+M3/20 1.234s");
    EXPECT_EQ(MoveCommentText(Mate(-2, 9), 50), "-M2/9 0.05s");
    EXPECT_EQ(MoveCommentText({}, 310), "0.31s"); // nothing reported: the time alone
}

// One adjudicator fed move by move: White's and Black's scores alternate from White's first
// move; the expected verdict comes at the ply given (0: never within the scores given).
TEST(Adjudicator, RulesMoveByMove)
{
    const std::uint32_t drawn = GameResult::Draw | GameResult::Adjudication;
    const std::uint32_t whiteWins = GameResult::WhiteWon | GameResult::Adjudication;
    const std::uint32_t blackWins = GameResult::BlackWon | GameResult::Adjudication;
    const clsAdjudicationRules draw = DrawRules(), resign = ResignRules(false), twoSided = ResignRules(true),
                               maxMoves = MaxMovesRules();
    const clsEngineScore none;

    struct Case {
        const char* name;
        clsAdjudicationRules rules;
        std::vector<clsEngineScore> scores;
        int ply;
        std::uint32_t code;
        const char* reason;
    };
    const std::vector<Case> cases = {
        { "draw waits for the move number", draw, { Cp(0), Cp(5), Cp(-10), Cp(3), Cp(0) }, 5, drawn,
            "draw: both scores within 10 cp for 2 moves" },
        { "a score beyond the bound starts the count again", draw,
            { Cp(0), Cp(0), Cp(0), Cp(11), Cp(0), Cp(0), Cp(0), Cp(0) }, 8, drawn,
            "draw: both scores within 10 cp for 2 moves" },
        { "a move without a score starts the count again", draw,
            { Cp(0), Cp(0), Cp(0), none, Cp(0), Cp(0), Cp(0) }, 0, 0, "" },
        { "Black concedes on its third move", resign, { Cp(0), Cp(-500), Cp(0), Cp(-700), Cp(0), Mate(-4) },
            6, whiteWins, "resign: Black's score at or below -500 cp for 3 moves" },
        { "White concedes", resign, { Cp(-600), Cp(0), Cp(-600), Cp(0), Cp(-600) }, 5, blackWins,
            "resign: White's score at or below -500 cp for 3 moves" },
        { "a better move in between saves the loser", resign,
            { Cp(0), Cp(-600), Cp(0), Cp(-499), Cp(0), Cp(-600), Cp(0), Cp(-600) }, 0, 0, "" },
        { "two-sided: the winner must agree", twoSided,
            { Cp(0), Cp(-600), Cp(0), Cp(-600), Cp(500), Cp(-600), Cp(600), Cp(-600), Cp(900) }, 9, whiteWins,
            "resign: Black's score at or below -500 cp for 3 moves and White's at or above +500 cp" },
        { "max moves", maxMoves, { none, none, none, none, none, none, none, none }, 8, drawn,
            "max moves: 4" },
        { "no rules, no verdict", clsAdjudicationRules {},
            { Cp(0), Cp(-900), Cp(0), Cp(-900), Cp(0), Cp(-900) }, 0, 0, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clsAdjudicator adjudicator(c.rules);
        int endedAt = 0;
        clsAdjudication verdict;
        for (std::size_t i = 0; i < c.scores.size() && endedAt == 0; ++i) {
            const int ply = static_cast<int>(i) + 1;
            verdict = adjudicator.AfterMove(static_cast<int>(i % 2), c.scores[i], (ply + 1) / 2, ply);
            if (verdict.code != 0) endedAt = ply;
        }
        EXPECT_EQ(endedAt, c.ply);
        EXPECT_EQ(verdict.code, c.code) << std::hex << verdict.code;
        EXPECT_EQ(verdict.reason, c.reason);
    }
}

namespace {

// Knight and bishop development, then castling and a rook's pawn: legal for either side in any
// order the two lists interleave, and no position repeats.
const std::string WhiteMoves = "--moves=g1f3,b1c3,e2e3,d2d3,f1e2,c1d2,e1g1,a2a3";
const std::string BlackMoves = "--moves=g8f6,b8c6,e7e6,d7d6,f8e7,c8d7,e8g8,a7a6";

struct AdjudicatedGame {
    const char* name;
    clsAdjudicationRules rules;
    const char* whiteProtocol;
    std::string whiteArgs;
    const char* blackProtocol;
    std::string blackArgs;
    const char* opening;
    std::uint32_t code;
    int plies;
    const char* termination;
    const char* adjudication; // the Adjudication tag; empty: none
    std::vector<std::string> inMoveText; // comments expected in the record
};

} // namespace

TEST(AdjudicatedGames, TheRecordSaysWhichRuleEndedTheGame)
{
    const clsAdjudicationRules draw = DrawRules(), resign = ResignRules(false), twoSided = ResignRules(true),
                               maxMoves = MaxMovesRules();
    clsAdjudicationRules bookDraw = draw;
    bookDraw.drawMoveNumber = 0;
    bookDraw.drawMoveCount = 1;

    const std::vector<AdjudicatedGame> cases = {
        { "dead draw", draw, "xboard", WhiteMoves + " --scores=0,0,50,0", "uci", BlackMoves, "",
            GameResult::Draw | GameResult::Adjudication, 9, "adjudication",
            "draw: both scores within 10 cp for 2 moves", { "3. e3 {+0.50/1 ", "Nc6 {0.00/1 " } },
        { "book moves are marked and not judged", bookDraw, "xboard", "--moves=b1c3,e2e3", "xboard",
            "--moves=b8c6,e7e6", "g1f3 g8f6", GameResult::Draw | GameResult::Adjudication, 4, "adjudication",
            "draw: both scores within 10 cp for 1 moves", { "1. Nf3 {book} Nf6 {book} 2. Nc3 {0.00/1 " } },
        { "a mated UCI engine concedes", resign, "xboard", WhiteMoves, "uci",
            BlackMoves + " --scores=-M3 --depth=12", "", GameResult::WhiteWon | GameResult::Adjudication, 6,
            "adjudication", "resign: Black's score at or below -500 cp for 3 moves", { "Nf6 {-M3/12 " } },
        { "two-sided resignation waits for the winner", twoSided, "xboard",
            WhiteMoves + " --scores=0,0,600 --depth=7", "xboard", BlackMoves + " --scores=-600", "",
            GameResult::WhiteWon | GameResult::Adjudication, 9, "adjudication",
            "resign: Black's score at or below -500 cp for 3 moves and White's at or above +500 cp",
            { "{+6.00/7 ", "{-6.00/1 " } },
        { "max moves", maxMoves, "uci", WhiteMoves, "xboard", BlackMoves, "",
            GameResult::Draw | GameResult::Adjudication, 8, "adjudication", "max moves: 4", {} },
        // Without rules the same scores change nothing: White runs out of moves and resigns.
        { "no adjudication", clsAdjudicationRules {}, "xboard", WhiteMoves, "xboard",
            BlackMoves + " --scores=-900", "", GameResult::BlackWon | GameResult::Resign, 16, "normal", "",
            {} },
    };

    testsupport::ScratchFolder folder("adjudication");
    struct Running {
        std::unique_ptr<clsPlayer> white, black;
        std::unique_ptr<clsTourneyGame> game;
    };
    std::vector<Running> games;
    testing::internal::CaptureStdout();
    for (const AdjudicatedGame& c : cases) {
        Running r { std::make_unique<clsPlayer>("W", c.whiteProtocol, FAKE_ENGINE_PATH, c.whiteArgs),
            std::make_unique<clsPlayer>("B", c.blackProtocol, FAKE_ENGINE_PATH, c.blackArgs),
            std::make_unique<clsTourneyGame>() };
        r.game->White = r.white.get();
        r.game->Black = r.black.get();
        r.game->GameNumber = static_cast<int>(games.size()) + 1;
        r.game->BaseTimeMs = 30000;
        r.game->Adjudication = c.rules;
        r.game->OpeningMoves = c.opening;
        r.game->Timing = FastTiming();
        r.game->FileBase = folder.File("game" + std::to_string(r.game->GameNumber) + ".pgn");
        r.game->SetTag("White", "W");
        r.game->SetTag("Black", "B");
        r.game->SetTag("Result", "*");
        games.push_back(std::move(r));
    }
    const bool finished = testsupport::PlayAllAtOnce(games, 120s);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(finished);

    for (std::size_t i = 0; i < cases.size(); ++i) {
        const AdjudicatedGame& c = cases[i];
        SCOPED_TRACE(c.name);
        const clsTourneyGame& game = *games[i].game;
        const std::string pgn = testsupport::ReadFile(game.FileBase);
        EXPECT_EQ(game.ResultCode, c.code) << std::hex << game.ResultCode << "\n" << pgn;
        EXPECT_EQ(game.Tag("Termination"), c.termination);
        EXPECT_EQ(game.Tag("Adjudication"), c.adjudication);
        EXPECT_EQ(game.Tag("PlyCount"), std::to_string(c.plies));
        std::string oneLine; // the move text wraps anywhere between tokens
        for (char ch : pgn)
            if (ch != '\r') oneLine += ch == '\n' ? ' ' : ch;
        for (const std::string& text : c.inMoveText)
            EXPECT_NE(oneLine.find(text), std::string::npos) << text << "\n" << pgn;

        // The record reads back with every move, comments and all.
        clsGame readBack;
        std::string error;
        EXPECT_TRUE(testsupport::ReadBackGame(pgn, readBack, error)) << error << "\n" << pgn;
        EXPECT_EQ(static_cast<int>(readBack.Moves.size()), c.plies) << pgn;
    }
}
