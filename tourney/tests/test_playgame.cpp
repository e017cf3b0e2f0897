// The in-process game of "\play" and learning: endings, the result from A's side, the console
// line, the PGN record (appended, readable back) and the usage line.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "book/clsgame.h"
#include "book/clspgnfile.h"
#include "dranbase/console.h"
#include "engine/clsengine.h"
#include "engine/clstt.h"
#include "tourney/playgame.h"
#include "tourney/tests/test_referee_support.h"

using namespace drnChess;

namespace {

// An output that keeps its lines without printing them.
struct QuietOut : dranbase::clsOutBuffer {
    QuietOut() { SetEcho(false); }
    // The kept lines that are not empty (an empty line and the end look alike to TakeLine).
    std::vector<std::string> Lines()
    {
        std::vector<std::string> lines;
        for (int i = 0; i < 1000; ++i)
            if (std::string line = TakeLine(); !line.empty()) lines.push_back(line);
        return lines;
    }
    std::string Last()
    {
        std::vector<std::string> lines = Lines();
        return lines.empty() ? std::string() : lines.back();
    }
};

std::unique_ptr<clsEngine> MakeEngine(clsEngineShare* share)
{
    dranbase::clsStrings noOptions;
    auto engine = std::make_unique<clsEngine>(noOptions, share);
    engine->SetKeepLines(false);
    return engine;
}

// Reads the games of a PGN file back; the count of games, each replayed in full.
int ReadBack(const std::string& path, std::vector<clsGame>* games = nullptr)
{
    const std::string text = testsupport::ReadFile(path);
    int count = 0;
    for (const clsGameText& g : SplitGames(text)) {
        auto core = std::make_unique<clsChessCore>();
        clsGame game;
        std::string error;
        EXPECT_TRUE(ReadPgnGame(g.text, *core, game, 0, {}, &error)) << error << "\n" << g.text;
        if (games) games->push_back(game);
        ++count;
    }
    return count;
}

TEST(PlayGame, DecidedAndDrawnEndings)
{
    struct Row {
        const char* fen;
        const char* ending; // the end of the console move line
        int result; // from A's side; A moves first
        std::uint32_t code;
        const char* pgnResult;
        const char* san;
    };
    const Row rows[] = {
        { "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", " win 1", 1, GameState::WhiteMates, "1-0", "1. Ra8#" },
        { "r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1", " win -1", 1, GameState::BlackMates, "0-1", "1... Ra1#" },
        { "8/8/8/8/2k5/8/q7/1K6 w - - 0 1", " win 0", 0, GameState::InsufficientMaterial, "1/2-1/2",
            "1. Kxa2" },
    };
    testsupport::ScratchFolder folder("play_endings");
    clsEngineShare share;
    share.Size(1);
    auto a = MakeEngine(&share);
    auto b = MakeEngine(&share);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fen);
        clsPlaySettings settings;
        settings.msPerMove = 200;
        settings.maxPlies = 6;
        settings.startFEN = r.fen;
        settings.pgnFile = folder.File("endings.pgn");
        QuietOut out;
        const clsPlayResult played = PlayEngineGame(*a, *b, settings, out);
        EXPECT_EQ(played.result, r.result);
        EXPECT_EQ(played.code, r.code);
        EXPECT_EQ(played.plies, 1);
        ASSERT_GE(played.moves.size(), std::string(r.ending).size());
        EXPECT_EQ(played.moves.substr(played.moves.size() - std::string(r.ending).size()), r.ending)
            << played.moves;
        EXPECT_EQ(out.Last(), std::to_string(r.result));
        EXPECT_TRUE(played.pgnWritten) << played.pgnError;
    }

    // The file holds the three games, each with its start position, SAN moves and result.
    std::vector<clsGame> games;
    ASSERT_EQ(ReadBack(folder.File("endings.pgn"), &games), 3);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(games[i].Tag("FEN"), rows[i].fen);
        EXPECT_EQ(games[i].Tag("SetUp"), "1");
        EXPECT_EQ(games[i].Tag("Result"), rows[i].pgnResult);
        EXPECT_NE(
            games[i].MoveText.find(std::string(rows[i].san) + " " + rows[i].pgnResult), std::string::npos)
            << games[i].MoveText;
        EXPECT_EQ(games[i].Moves.size(), 1u);
    }
    EXPECT_EQ(games[1].Tag("White"), "Corvala Simple5");
}

TEST(PlayGame, EachSideGetsTheSearchItIsGiven)
{
    clsEngineShare share;
    share.Size(1);
    auto a = MakeEngine(&share);
    auto b = MakeEngine(&share);
    clsPlaySettings settings;
    settings.msPerMove = 1500; // room for the first think's table on a loaded machine
    settings.maxPlies = 6;
    settings.startFEN = "r5k1/5ppp/8/8/8/8/1R3PPP/1R4K1 w - - 0 1"; // Rb8+ Rxb8 Rxb8 mates
    settings.searchA = "strong";
    settings.searchB = "classic";
    QuietOut out;
    const clsPlayResult played = PlayEngineGame(*a, *b, settings, out);
    EXPECT_TRUE(a->UseStrongSearch());
    EXPECT_FALSE(b->UseStrongSearch());
    EXPECT_EQ(played.result, 1) << played.moves;
    EXPECT_EQ(played.moves.substr(0, 5), "b2b8 ") << played.moves;
}

TEST(PlayGame, PlyLimitSoulsAndAppendedRecords)
{
    testsupport::ScratchFolder folder("play_limit");
    const std::string pgn = folder.File("match.pgn");
    ASSERT_TRUE(dranbase::clsString("[Event \"kept\"]\r\n\r\n1. e4 *\r\n").SaveToFile(pgn, true));
    clsEngineShare share;
    share.Size(1);
    clsPlaySettings settings;
    settings.msPerMove = 30;
    settings.maxPlies = 6;
    settings.pgnFile = pgn;
    settings.nameB = "Other";
    QuietOut out;
    const clsPlayResult played = PlayMatch(&share, "Simple5", "", settings, out);
    EXPECT_EQ(played.result, 0);
    EXPECT_EQ(played.plies, 6);
    EXPECT_EQ(played.code, GameResult::Draw | GameResult::Adjudication);
    EXPECT_EQ(dranbase::SplitFields(played.moves).size(), 6u) << played.moves;
    EXPECT_EQ(out.Last(), "0");

    std::vector<clsGame> games;
    ASSERT_EQ(ReadBack(pgn, &games), 2) << "the earlier game of the file stays";
    EXPECT_EQ(games[0].Tag("Event"), "kept");
    EXPECT_EQ(games[1].Moves.size(), 6u);
    EXPECT_EQ(games[1].Tag("Result"), "1/2-1/2");
    EXPECT_EQ(games[1].Tag("White"), "Corvala Simple5");
    EXPECT_EQ(games[1].Tag("Black"), "Other");
    // The record carries the moves as the console showed them.
    for (std::size_t i = 0; i < games[1].Moves.size(); ++i) {
        std::string shown = dranbase::SplitFields(played.moves)[i];
        std::erase(shown, '=');
        EXPECT_EQ(games[1].Moves[i], shown);
    }
}

TEST(PlayGame, UsageUnwritableFileAndCancel)
{
    struct Row {
        const char* rest;
        bool usage;
    };
    const Row rows[] = { { "", true }, { "100", true }, { "100 0 x.pgn", true }, { "0 10 x.pgn", true },
        { "abc 10", true } };
    for (const Row& r : rows) {
        QuietOut out;
        EXPECT_EQ(PlayCommand(nullptr, r.rest, out), 0);
        EXPECT_EQ(out.Last(), "# \\play ms_per_move max_moves file.pgn [soulA soulB [searchA searchB]]")
            << r.rest;
    }

    // A file that cannot be written is reported; the game still counts.
    QuietOut out;
    const int result = PlayCommand(nullptr, "50 2 /nonexistent/folder/x.pgn", out);
    const std::vector<std::string> lines = out.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], std::to_string(result));
    EXPECT_EQ(lines.back(), "# cannot write /nonexistent/folder/x.pgn");

    // The owner thread's cancellation ends the game at once as aborted.
    struct Player : dranbase::clsThread {
        Player()
            : clsThread("player")
        {
        }
        ~Player() override { Cancel(); }
        bool Run() override
        {
            clsPlaySettings s;
            s.msPerMove = 60000;
            s.maxPlies = 10;
            QuietOut quiet;
            played = PlayMatch(nullptr, "", "", s, quiet, this);
            return true;
        }
        clsPlayResult played;
    } player;
    ASSERT_TRUE(player.Start());
    dranbase::SleepMs(300);
    player.Cancel();
    EXPECT_EQ(player.played.code, GameResult::Aborted);
    EXPECT_EQ(player.played.result, 0);
}

} // namespace
