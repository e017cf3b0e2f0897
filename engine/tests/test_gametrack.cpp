// The strong search's game: walked by game moves, taken back, and what the search sees of it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dranbase/clsstring.h"
#include "engine/gametrack.h"
#include "engine/tests/enginetestutil.h"
#include "rules/movereader.h"

namespace drnChess::testing {
namespace {

    // A rules core and the track beside it, fed the same game moves.
    struct TrackedGame {
        clsChessCore core;
        strong::GameTrack track;

        explicit TrackedGame(const std::string& fen) { core.SetFromFEN(fen); }

        void Play(const std::string& text)
        {
            const std::optional<clsMove> move = ReadCoordinateMove(core, text);
            ASSERT_TRUE(move) << text;
            const clsBoard before = core.board;
            const u64 beforeKey = core.PositionKey();
            core.PlayGameMove(*move);
            track.Play(before, core.halfmoveClock, *move, beforeKey, core.PositionKey());
        }

        // The track stands where the rules core does: same placement, side and castling, and
        // the same key (which counts an en passant square only where a pawn can take there).
        void ExpectInStep(const std::string& after) const
        {
            strong::FastPosition loaded;
            ASSERT_TRUE(loaded.SetFromFEN(core.GetFEN()));
            const auto fields = [](const std::string& fen) {
                std::vector<std::string> f = dranbase::SplitFields(fen);
                f.resize(3);
                return f;
            };
            EXPECT_EQ(fields(track.Position().FEN()), fields(core.GetFEN())) << "after " << after;
            EXPECT_EQ(track.Position().key, loaded.key) << "after " << after;
        }
    };

    TEST(GameTrack, WalksEveryKindOfMoveInStepWithTheRulesCore)
    {
        struct Case {
            const char* fen;
            std::vector<const char*> moves;
        };
        const Case cases[] = {
            // castling both ways, both sides
            { "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1", { "e1g1", "e8c8", "f1e1", "d8e8" } },
            { "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1", { "e1c1", "e8g8" } },
            // a double push, then en passant taken
            { StartFEN, { "e2e4", "a7a6", "e4e5", "d7d5", "e5d6", "c7d6" } },
            // promotions to each piece, with and without a capture
            { "1n6/P6k/8/8/8/8/7p/K5N1 w - - 0 1", { "a7b8q", "h2g1n", "b8c8", "g1e2" } },
            { "1n5k/P7/8/8/8/8/7p/K7 w - - 0 1", { "a7a8r", "h2h1b", "a8b8", "h8g7" } },
        };
        for (const Case& c : cases) {
            TrackedGame game(c.fen);
            for (const char* m : c.moves) {
                game.Play(m);
                game.ExpectInStep(m);
            }
            EXPECT_EQ(game.track.Plies(), static_cast<int>(c.moves.size())) << c.fen;
        }
    }

    TEST(GameTrack, MovesTakenBackAndALongGameKeepTheRepetitions)
    {
        TrackedGame game(StartFEN);
        const u64 start = game.core.PositionKey();
        // 140 rounds of knights out and home: 560 plies, more than the track keeps.
        for (int round = 0; round < 140; ++round)
            for (const char* m : { "g1f3", "g8f6", "f3g1", "f6g8" })
                game.Play(m);
        game.ExpectInStep("the shuffle");
        EXPECT_LT(game.track.Plies(), 560);
        EXPECT_TRUE(game.track.Position().IsRepetitionOrFifty());

        // Two plies taken back: the track goes back to the position, the game before it stays.
        game.Play("g1f3");
        game.Play("g8f6");
        const u64 afterOne = game.core.PositionKey();
        game.Play("f3g1");
        ASSERT_TRUE(game.track.Reach(afterOne));
        EXPECT_TRUE(game.track.Position().IsRepetitionOrFifty());
        // A position the game never had is not reached, and nothing changes.
        EXPECT_FALSE(game.track.Reach(start ^ 1));
        EXPECT_TRUE(game.track.Reach(afterOne));
    }

    TEST(GameTrack, TheSearchSeesTheGameAfterMovesTakenBackAndForgetsItForANewPosition)
    {
        // A queen behind, White may go back to a position the game had: a draw, its best.
        auto e = MakeEngine(nullptr, Options({ { "-search", "strong" } }));
        std::vector<clsIterationReport> reports;
        e->SetIterationListener([&](const clsIterationReport& r) { reports.push_back(r); });
        e->SetSingleIteration(true);
        e->SetFixedDepth(6);
        const auto think = [&] {
            reports.clear();
            Think(*e);
            EXPECT_FALSE(reports.empty());
            return reports.empty() ? 0 : reports.back().scoreCp;
        };
        const std::string root = "7k/8/8/3q4/8/8/8/K6N w - - 0 1";
        e->SetFromFEN(root);
        for (const char* m : { "a1b1", "h8g8", "b1a1", "g8h8" })
            ASSERT_TRUE(e->ApplyMoveText(m));
        EXPECT_EQ(think(), 0);
        EXPECT_EQ(e->TakeMoveText(true), "a1b1");

        // One more move, taken back as the xboard driver does it (the earlier position's FEN):
        // the game before it still counts.
        ASSERT_TRUE(e->ApplyMoveText("a1b1"));
        e->SetFromFEN(root);
        EXPECT_EQ(think(), 0);
        EXPECT_EQ(e->TakeMoveText(true), "a1b1");

        // The same position set up as a game of its own (as setboard does; the table emptied so
        // that no score of the other game is read back): no repetition to hope for.
        e->SetFromFEN(root);
        e->ForgetGameMoves();
        e->ClearTables();
        EXPECT_LT(think(), -500);
    }

} // namespace
} // namespace drnChess::testing
