// The search and the think: mates, stalemate, root marks, determinism, the four-ply probe and
// the random modes. Depths stay at 4 or below so the sanitizer build stays quick.

#include <algorithm>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "dranbase/clsstring.h"
#include "engine/tests/enginetestutil.h"
#include "rules/random.h"

namespace drnChess {
namespace {

    using testing::FindRootMove;
    using testing::MakeEngine;
    using testing::Options;
    using testing::TakeLines;
    using testing::Think;

    bool HasLine(const std::vector<std::string>& lines, const std::string& line)
    {
        for (const auto& l : lines)
            if (l == line) return true;
        return false;
    }

    int MateDistance(const clsMove& m)
    {
        return static_cast<int>(m.flags >> MoveFlag::MateDistanceShift);
    }

    class Search : public ::testing::Test {
    protected:
        Search() { share.Size(1); }
        clsEngineShare share;
        std::unique_ptr<clsEngine> engine = MakeEngine(&share);
    };

    TEST_F(Search, MateInOneFoundAtDepthTwoEndsTheThink)
    {
        engine->SetFromFEN("6k1/5ppp/8/8/8/8/8/R5K1 w - -");
        engine->verbose = true;
        Think(*engine); // no depth limit: the mate ends the iterations
        int score = 0;
        EXPECT_EQ(engine->TakeMoveText(false, &score), "a1a8");
        EXPECT_EQ(score, 10000);
        const clsMove r = engine->ResultMove();
        EXPECT_TRUE(r.Has(MoveFlag::Mates));
        EXPECT_EQ(MateDistance(r), 0);
        EXPECT_EQ(engine->CurrentDepth(), 2);
        EXPECT_TRUE(HasLine(TakeLines(*engine), "# I'll win in 0 moves playing a1a8"));
        EXPECT_EQ(engine->ThinkingLine().rfind("2 100000  ", 0), 0u) << engine->ThinkingLine();
    }

    TEST_F(Search, MateInTwoIsAnnouncedAtDepthFour)
    {
        engine->SetFromFEN("k7/8/2K5/8/8/8/8/7R w - -");
        engine->verbose = true;
        Think(*engine);
        int score = 0;
        const std::string move = engine->TakeMoveText(false, &score);
        EXPECT_EQ(score, 10000);
        EXPECT_EQ(engine->CurrentDepth(), 4);
        EXPECT_EQ(MateDistance(engine->ResultMove()), 1);
        EXPECT_TRUE(HasLine(TakeLines(*engine), "# I'll win in 1 moves playing " + move));
        EXPECT_EQ(engine->ThinkingLine().rfind("4 100001  ", 0), 0u) << engine->ThinkingLine();
    }

    TEST_F(Search, BeingMatedIsAnnouncedAndEndsTheThink)
    {
        // Black's two moves, a5 and Kh7, both allow Rh1 mate.
        engine->SetFromFEN("7k/5K2/p7/8/8/8/8/6R1 b - -");
        engine->verbose = true;
        Think(*engine);
        const clsMove r = engine->ResultMove();
        EXPECT_TRUE(r.Has(MoveFlag::Loses));
        EXPECT_EQ(r.order, -10000);
        EXPECT_EQ(engine->CurrentDepth(), 4);
        EXPECT_TRUE(HasLine(TakeLines(*engine), "# I'll lose in 1 moves"));
        EXPECT_EQ(engine->ThinkingLine().rfind("4 -99999  ", 0), 0u) << engine->ThinkingLine();
    }

    TEST_F(Search, StalemateInTheTreeScoresMinus52)
    {
        engine->SetFromFEN("k7/8/8/2Q5/8/8/8/7K w - -");
        engine->SetFixedDepth(2);
        engine->SetSingleIteration(true);
        Think(*engine);
        const clsMove* stalemating = FindRootMove(*engine, "c5", "b6");
        ASSERT_NE(stalemating, nullptr);
        EXPECT_EQ(stalemating->order, 52); // the reply node scores -52 for black
        EXPECT_NE(engine->TakeMoveText(false), "c5b6");
    }

    TEST_F(Search, NoLegalMoveNoSearch)
    {
        for (const char* fen : { "k7/8/1Q6/8/8/8/8/7K b - -", "R5k1/5ppp/8/8/8/8/8/6K1 b - -" }) {
            engine->SetFromFEN(fen);
            Think(*engine);
            int score = 123;
            EXPECT_EQ(engine->TakeMoveText(false, &score), "") << fen;
            EXPECT_EQ(score, 123);
            EXPECT_EQ(engine->Nodes(), 0u);
            EXPECT_EQ(engine->ThinkingLine(), "");
        }
    }

    TEST_F(Search, RootMovesThatLoseByMateKeepTheirScoreAndAreNotSearchedAgain)
    {
        // Nxa3 (first: it wins material) allows Re1 mate.
        engine->SetFromFEN("4r1k1/8/8/8/8/p7/6PP/1N5K w - -");
        engine->SetFixedDepth(4);
        engine->SetSingleIteration(true);
        Think(*engine);
        const clsMove* losing = FindRootMove(*engine, "b1", "a3");
        ASSERT_NE(losing, nullptr);
        EXPECT_TRUE(losing->Has(MoveFlag::Loses));
        EXPECT_EQ(losing->order, -10000);
        EXPECT_NE(engine->TakeMoveText(false), "b1a3");

        int marked = 0;
        const clsSimpleNode* root = engine->Root();
        for (const clsMove* m = root->firstMove; m != clsChessCore::Next(root)->firstMove; ++m)
            marked += m->Has(MoveFlag::Loses) ? 1 : 0;
        engine->SearchRoot(4);
        EXPECT_EQ(engine->Root()->movesMade, clsChessCore::MoveCount(root) - marked);
        losing = FindRootMove(*engine, "b1", "a3");
        EXPECT_TRUE(losing->Has(MoveFlag::Loses));
        EXPECT_EQ(losing->order, -10000);
    }

    TEST_F(Search, RefutedRootMovesKeepNoScore)
    {
        engine->SetFixedDepth(2);
        engine->SetSingleIteration(true);
        Think(*engine);
        const clsSimpleNode* root = engine->Root();
        int bounds = 0;
        for (const clsMove* m = root->firstMove; m != clsChessCore::Next(root)->firstMove; ++m) {
            if (m->Has(MoveFlag::Bound)) {
                ++bounds;
                EXPECT_EQ(m->order, -15000);
            } else {
                EXPECT_GT(m->order, -15000);
            }
        }
        EXPECT_GT(bounds, 0);
        EXPECT_EQ(clsChessCore::MoveCount(root), 20);
        // The result is the best exact score, and the list is sorted best first.
        EXPECT_EQ(engine->ResultMove().order, root->firstMove->order);
    }

    struct Outcome {
        std::string move;
        int score = 0;
        std::uint64_t nodes = 0;
        std::uint64_t hits = 0;
        bool operator==(const Outcome&) const = default;
    };

    Outcome FixedDepthThink(clsEngine& e, const char* fen, int depth)
    {
        e.SetFromFEN(fen);
        e.SetFixedDepth(depth);
        e.SetSingleIteration(true);
        Think(e);
        Outcome o;
        o.move = e.TakeMoveText(false, &o.score);
        o.nodes = e.Nodes();
        o.hits = e.TTHits();
        return o;
    }

    const char* const Positions[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
        "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    };

    TEST_F(Search, SameInputSameOutcome)
    {
        for (const char* fen : Positions) {
            share.Size(1);
            const Outcome first = FixedDepthThink(*engine, fen, 4);
            clsEngineShare otherShare;
            otherShare.Size(1);
            auto other = MakeEngine(&otherShare);
            const Outcome second = FixedDepthThink(*other, fen, 4);
            EXPECT_EQ(first, second) << fen;
            EXPECT_FALSE(first.move.empty());
            EXPECT_GT(first.nodes, 0u);
        }
    }

    TEST_F(Search, SameSearchTwiceAfterANewGame)
    {
        const Outcome first = FixedDepthThink(*engine, Positions[1], 4);
        // A different game in between, then "new" and a cleared table.
        FixedDepthThink(*engine, Positions[2], 2);
        engine->SetFromFEN(StartFEN);
        ASSERT_TRUE(share.Clear());
        EXPECT_EQ(FixedDepthThink(*engine, Positions[1], 4), first);
        ASSERT_TRUE(share.Size(1));
        EXPECT_EQ(FixedDepthThink(*engine, Positions[1], 4), first);
    }

    // Plain minimax over the full move lists, with the search's leaf score and mate/stalemate
    // scores: the alpha-beta node loop must find the same root value.
    int Minimax(clsEngine& e, int ply, int depth)
    {
        clsSimpleNode* n = &e.nodes[ply];
        e.current = n;
        const clsBoard saved = e.board;
        e.GenerateMoves(-1);
        int best = -15000;
        bool legal = false;
        for (clsMove* m = n->firstMove; m != clsChessCore::Next(n)->firstMove; ++m) {
            e.MakeMove(*m);
            if (e.IsAttacked(e.board.own() & e.board.kings())) {
                e.board = saved;
                continue;
            }
            legal = true;
            int score;
            if (ply < depth) {
                n->currentMove = m;
                e.board.SwitchSide();
                score = -Minimax(e, ply + 1, depth);
                e.current = n;
            } else {
                n->pawnCacheKey = 1;
                score = static_cast<std::int16_t>(e.board.material + e.Evaluate());
            }
            e.board = saved;
            best = std::max(best, score);
        }
        if (!legal) return n->inCheck ? -10000 : -52;
        return best;
    }

    TEST_F(Search, AgreesWithPlainMinimax)
    {
        struct Case {
            const char* fen;
            int depth;
        };
        const Case cases[] = {
            { Positions[0], 3 }, { Positions[1], 3 }, { Positions[2], 2 }, { Positions[3], 4 },
            { "8/8/4k3/8/2p5/8/B2P2K1/8 w - -", 4 },
            { "r1b1k2r/ppppnppp/2n2q2/2b5/3NP3/2P1B3/PP3PPP/RN1QKB1R w KQkq -", 3 },
            { "k7/8/2K5/8/8/8/8/7R w - -", 4 }, // a mate in two
            { "4r1k1/8/8/8/8/p7/6PP/1N5K w - -", 4 }, // moves that lose to mate
            { "7k/5K2/p7/8/8/8/8/6R1 b - -", 4 }, // every move loses to mate
        };
        for (const Case& c : cases) {
            engine->SetFromFEN(c.fen);
            engine->SetFixedDepth(c.depth);
            engine->SetSingleIteration(true);
            Think(*engine);
            const int searched = engine->ResultMove().order;
            engine->SetFromFEN(c.fen);
            EXPECT_EQ(searched, Minimax(*engine, 1, c.depth)) << c.fen << " depth " << c.depth;
        }
    }

    TEST_F(Search, WithoutATableTheSearchStillWorks)
    {
        clsEngineShare empty;
        auto e = MakeEngine(&empty);
        const Outcome withoutTable = FixedDepthThink(*e, Positions[1], 4);
        EXPECT_FALSE(withoutTable.move.empty());
        EXPECT_EQ(withoutTable.hits, 0u);
        auto alone = MakeEngine(nullptr);
        EXPECT_EQ(FixedDepthThink(*alone, Positions[1], 4), withoutTable);
    }

    TEST_F(Search, FixedDepthWithoutSingleIterationStopsAtThatDepth)
    {
        engine->SetFixedDepth(4);
        Think(*engine);
        EXPECT_EQ(engine->CurrentDepth(), 4);
        EXPECT_FALSE(engine->TakeMoveText(false).empty());
    }

    TEST_F(Search, FourPlyProbe)
    {
        engine->SetFromFEN(Positions[1]);
        std::uint64_t nodes = 0;
        const int score = engine->FourPlyProbe(&nodes);
        EXPECT_GT(nodes, 0u);
        EXPECT_EQ(nodes, engine->Nodes());
        EXPECT_EQ(engine->MaxPly(), 4);
        EXPECT_LT(score, 105);
        EXPECT_GT(score, -105);

        // The same again, even with a stop request left over from an earlier think.
        engine->StopRequest();
        ASSERT_TRUE(engine->StopRaised());
        share.Clear();
        std::uint64_t again = 0;
        EXPECT_EQ(engine->FourPlyProbe(&again), score);
        EXPECT_EQ(again, nodes);

        // A side a queen up sees it.
        engine->SetFromFEN("4k3/8/8/8/8/8/8/3QK3 w - -");
        EXPECT_GT(engine->FourPlyProbe(&nodes), 800);
        engine->SetFromFEN("4k3/8/8/8/8/8/8/3QK3 b - -");
        EXPECT_LT(engine->FourPlyProbe(&nodes), -800);
    }

    TEST_F(Search, RandomModeSearchesTwoPliesThenPicksUniformly)
    {
        auto e = MakeEngine(&share, Options({ { "-random", "" } }));
        for (std::uint64_t seed : { 1u, 2u, 77u }) {
            e->SetFromFEN(Positions[1]);
            SeedRandom(seed);
            Think(*e); // ends by itself: the limit is depth 2
            EXPECT_EQ(e->CurrentDepth(), 2);
            SeedRandom(seed);
            const auto r = static_cast<std::int32_t>(static_cast<std::uint32_t>(NextRandom()));
            const clsSimpleNode* root = e->Root();
            const int count = clsChessCore::MoveCount(root);
            const clsMove& expected = root->firstMove[std::llabs(std::int64_t { r }) % count];
            const clsMove got = e->ResultMove();
            EXPECT_EQ(got.from, expected.from);
            EXPECT_EQ(got.to, expected.to);
        }
    }

    TEST_F(Search, ProportionalModeWalksTheMovesBestFirst)
    {
        struct Case {
            const char* percent;
            bool takesFirst;
        };
        // 100: the first move's draw always qualifies. -1: no draw qualifies and the search's
        // own best stays, which is also the first move of the sorted list.
        for (const Case& c : { Case { "100", true }, Case { "-1", true } }) {
            auto e = MakeEngine(&share, Options({ { "-random", "" }, { "-proportional", c.percent } }));
            e->SetFromFEN(Positions[1]);
            e->SetFixedDepth(2);
            Think(*e);
            const clsMove got = e->ResultMove();
            const clsMove* first = e->Root()->firstMove;
            EXPECT_EQ(got.from == first->from && got.to == first->to, c.takesFirst) << c.percent;
        }
    }

    // The moves of a thinking line after its four figures, as coordinates ("Ng1xPf3" -> "g1f3").
    std::vector<std::string> LineMoves(const std::string& thinkingLine)
    {
        std::vector<std::string> moves;
        const std::vector<std::string> words = dranbase::SplitFields(thinkingLine);
        for (std::size_t i = 4; i < words.size(); ++i) {
            const std::string& w = words[i];
            const std::size_t to = w[3] == 'x' ? 5 : 4;
            std::string move = w.substr(1, 2) + w.substr(to, 2);
            const std::size_t promotion = w.find('=');
            if (promotion != std::string::npos) move += w.substr(promotion);
            moves.push_back(move);
        }
        return moves;
    }

    TEST_F(Search, ThinkingLineShowsAPrincipalVariationThatIsPlayable)
    {
        struct Case {
            const char* fen;
            int depth;
            bool endsInMate;
        } cases[] = {
            { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", 4, false },
            { "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 4, false },
            { "k7/8/2K5/8/8/8/8/7R w - -", 0, true }, // mate in two: the line ends in mate
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.fen);
            engine->SetFromFEN(c.fen);
            engine->SetFixedDepth(c.depth);
            Think(*engine);
            const std::string line = engine->ThinkingLine();
            const std::vector<std::string> moves = LineMoves(line);
            ASSERT_GE(moves.size(), 2u) << line;
            EXPECT_EQ(moves[0], engine->TakeMoveText(false));
            EXPECT_EQ(engine->ExpectedReply(), moves[1]);
            auto replay = MakeEngine(&share);
            replay->SetFromFEN(c.fen);
            for (const std::string& m : moves)
                ASSERT_TRUE(replay->ApplyMoveText(m)) << m << " in " << line;
            if (c.endsInMate) {
                EXPECT_EQ(replay->MoveStatus(), GameState::WhiteMates) << line;
            }
        }
    }

} // namespace
} // namespace drnChess
