// The strong search: static exchange, evaluation symmetry, mates, draws by
// repetition, the transposition table's mate scores, and its choice through the options.

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/see.h"
#include "engine/strongsearch.h"
#include "engine/tests/enginetestutil.h"

namespace drnChess::strong {
namespace {

    TEST(StrongSee, ExchangesEndAsTheSidesChoose)
    {
        struct Case {
            const char* fen;
            const char* move;
            int gain;
        };
        const Case cases[] = {
            { "4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1", "e4d5", 100 }, // free pawn
            { "4k3/8/2p5/3p4/4P3/8/8/4K3 w - - 0 1", "e4d5", 0 }, // pawn for pawn
            { "4k3/8/2p5/3p4/8/8/3Q4/4K3 w - - 0 1", "d2d5", 100 - 975 }, // queen takes a guarded pawn
            { "3rk3/8/8/3p4/8/8/3R4/3RK3 w - - 0 1", "d2d5", 100 }, // the x-ray rook wins the pawn
            { "4k3/8/8/3r4/8/8/3R4/3QK3 w - - 0 1", "d2d5", 500 }, // undefended rook
            { "4k3/8/5n2/3r4/8/8/3R4/3QK3 w - - 0 1", "d2d5", 500 - 500 + 320 }, // RxR NxR QxN
        };
        for (const Case& c : cases) {
            FastPosition b;
            ASSERT_TRUE(b.SetFromFEN(c.fen));
            const Move m = b.ParseMove(c.move);
            ASSERT_NE(m, NoMove) << c.fen;
            EXPECT_EQ(See(b, m), c.gain) << c.fen << " " << c.move;
        }
    }

    // The position with colours exchanged and the board turned over.
    std::string FlippedFEN(const FastPosition& b)
    {
        std::string fen = b.FEN();
        const std::size_t space = fen.find(' ');
        std::string placement = fen.substr(0, space);
        std::vector<std::string> ranks;
        std::size_t start = 0;
        for (std::size_t i = 0; i <= placement.size(); ++i)
            if (i == placement.size() || placement[i] == '/') {
                ranks.push_back(placement.substr(start, i - start));
                start = i + 1;
            }
        std::string out;
        for (auto it = ranks.rbegin(); it != ranks.rend(); ++it) {
            for (char c : *it)
                out += std::isalpha(static_cast<unsigned char>(c)) ? static_cast<char>(
                           std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c))
                                                                   : c;
            if (it + 1 != ranks.rend()) out += '/';
        }
        out += b.side == White ? " b " : " w ";
        std::string castle;
        if (b.castling & BlackShort) castle += 'K';
        if (b.castling & BlackLong) castle += 'Q';
        if (b.castling & WhiteShort) castle += 'k';
        if (b.castling & WhiteLong) castle += 'q';
        out += castle.empty() ? "-" : castle;
        out += ' ';
        if (b.ep < 0) {
            out += '-';
        } else {
            out += static_cast<char>('a' + FileOf(b.ep));
            out += static_cast<char>('1' + 7 - RankOf(b.ep));
        }
        return out;
    }

    TEST(StrongEval, EveryPositionOfTheTestSuitesScoresLikeItsColourFlippedTwin)
    {
        const char* files[] = { "wac.epd", "wac_revised.epd", "arasan19.epd", "arasan2024.epd", "bk.epd" };
        const StrongEval eval;
        int checked = 0;
        for (const char* name : files) {
            std::ifstream in(std::string(CORVALA_TEST_DATA) + "/epd/" + name);
            ASSERT_TRUE(in.good()) << name;
            for (std::string line; std::getline(in, line);) {
                if (line.empty()) continue;
                FastPosition b, twin;
                ASSERT_TRUE(b.SetFromFEN(line)) << name << ": " << line;
                ASSERT_TRUE(twin.SetFromFEN(FlippedFEN(b))) << line;
                ASSERT_EQ(eval.Evaluate(b), eval.Evaluate(twin)) << name << ": " << line;
                ++checked;
            }
        }
        EXPECT_EQ(checked, 1024); // every line of the five suites
    }

    TEST(StrongEval, WeightTableIsFlatAndNamed)
    {
        ASSERT_EQ(DefaultStrongWeights().size(), static_cast<std::size_t>(Weight::Count));
        ASSERT_EQ(StrongWeightNames().size(), DefaultStrongWeights().size());
        EXPECT_EQ(StrongWeightNames()[Weight::Material + 2], "material.knight.mg");
        EXPECT_EQ(StrongWeightNames()[Weight::Tempo], "tempo.mg");
        // A changed weight changes the score: the table is what the evaluation reads.
        std::vector<int> weights = DefaultStrongWeights();
        weights[Weight::BishopPair] += 100;
        FastPosition b;
        ASSERT_TRUE(b.SetFromFEN("rn1qkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
        EXPECT_GT(StrongEval(weights).Evaluate(b), StrongEval().Evaluate(b) + 50);
    }

    IterationReport SearchFixed(StrongSearch& s, const char* fen, int depth)
    {
        EXPECT_TRUE(s.Board().SetFromFEN(fen)) << fen;
        s.ClearTable();
        clsSearchLimits limits;
        limits.depth = depth;
        std::atomic<bool> stop { false };
        return s.Think(limits, stop, {});
    }

    TEST(StrongSearchTest, FindsMatesWithTheirDistance)
    {
        struct Case {
            const char* fen;
            const char* firstMove;
            int guiScore;
        };
        const Case cases[] = {
            { "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", "d1d8", 100001 }, // back rank
            { "6rk/6pp/8/6N1/8/8/8/1Q4K1 w - - 0 1", "b1h7", 100001 }, // the knight guards the queen
            // The defending rook must be drawn away first: Rb8+ Rxb8 Rxb8.
            { "r5k1/5ppp/8/8/8/8/1R3PPP/1R4K1 w - - 0 1", "b2b8", 100002 },
            // Two defenders of b8: Rb8+ Bxb8 Rxb8+ Rxb8 Rxb8.
            { "r5k1/b4ppp/8/8/8/1R6/1R3PPP/1R4K1 w - - 0 1", "b3b8", 100003 },
        };
        StrongSearch s;
        for (const Case& c : cases) {
            const IterationReport r = SearchFixed(s, c.fen, 8);
            EXPECT_EQ(GuiScore(r.score), c.guiScore) << c.fen << " pv " << LineText(r.pv);
            if (*c.firstMove) {
                EXPECT_EQ(FastPosition::MoveText(r.best), c.firstMove) << c.fen;
            }
        }
        // The mated side sees its loss with the same distance.
        const IterationReport lost = SearchFixed(s, "rR4k1/b4ppp/8/8/8/8/1R3PPP/1R4K1 b - - 0 1", 8);
        EXPECT_EQ(GuiScore(lost.score), -100002) << LineText(lost.pv);
    }

    TEST(StrongSearchTest, TakesARepetitionWhenBehindAndAvoidsItWhenAhead)
    {
        // Behind by a queen, with the game having been in the position after Kb1 before:
        // going back there is a draw, the best White can have.
        StrongSearch s;
        FastPosition& b = s.Board();
        FastPosition probe;
        ASSERT_TRUE(probe.SetFromFEN("7k/8/8/3q4/8/8/8/1K5N b - - 0 1"));
        const std::uint64_t behind[] = { 0x1234, probe.key }; // the last entry: just before the root
        ASSERT_TRUE(b.SetFromFEN("7k/8/8/3q4/8/8/8/K6N w - - 0 1"));
        b.SetPriorKeys(behind, 2);
        b.SetHalfmoveClock(2);
        clsSearchLimits limits;
        limits.depth = 6;
        std::atomic<bool> stop { false };
        s.ClearTable();
        const IterationReport draw = s.Think(limits, stop, {});
        EXPECT_EQ(FastPosition::MoveText(draw.best), "a1b1") << LineText(draw.pv);
        EXPECT_EQ(draw.score, 0);

        // Ahead by a queen, with the same kind of history: the repetition is avoided.
        ASSERT_TRUE(probe.SetFromFEN("7k/8/8/8/8/8/2Q5/1K6 b - - 0 1"));
        const std::uint64_t ahead[] = { 0x1234, probe.key };
        ASSERT_TRUE(b.SetFromFEN("7k/8/8/8/8/8/2Q5/K7 w - - 0 1"));
        b.SetPriorKeys(ahead, 2);
        b.SetHalfmoveClock(2);
        ASSERT_TRUE(b.Make(b.ParseMove("a1b1")));
        EXPECT_TRUE(b.IsRepetitionOrFifty()) << "the game position came again";
        b.Unmake();
        s.ClearTable();
        const IterationReport r = s.Think(limits, stop, {});
        EXPECT_NE(FastPosition::MoveText(r.best), "a1b1");
        EXPECT_GT(r.score, 500) << LineText(r.pv);
    }

    TEST(StrongSearchTest, FiftyMoveRuleDrawsInTheTree)
    {
        // The hundredth ply without a capture or pawn move is a draw on the board...
        FastPosition b;
        ASSERT_TRUE(b.SetFromFEN("7k/8/8/8/8/8/2Q5/K7 w - - 99 80"));
        ASSERT_TRUE(b.Make(b.ParseMove("c2c3")));
        EXPECT_TRUE(b.IsRepetitionOrFifty());
        b.Unmake();
        ASSERT_TRUE(b.Make(b.ParseMove("c2h2")));
        EXPECT_TRUE(b.IsRepetitionOrFifty()) << "a check does not reset the count";
        b.Unmake();
        ASSERT_TRUE(b.SetFromFEN("7k/8/8/8/8/8/2Q5/K7 w - - 98 80"));
        ASSERT_TRUE(b.Make(b.ParseMove("c2c3")));
        EXPECT_FALSE(b.IsRepetitionOrFifty()) << "the ninety-ninth ply is not yet a draw";
        b.Unmake();

        // ...and in the search: a queen up with no mate in one, every move draws at 99 plies,
        // while the same position with a fresh count is a clear win.
        StrongSearch s;
        const IterationReport drawn = SearchFixed(s, "7k/8/8/8/8/8/2Q5/K7 w - - 99 80", 6);
        EXPECT_EQ(drawn.score, 0) << LineText(drawn.pv);
        const IterationReport won = SearchFixed(s, "7k/8/8/8/8/8/2Q5/K7 w - - 0 80", 6);
        EXPECT_GT(won.score, 500) << LineText(won.pv);
    }

    TEST(StrongTT, MateScoresAreStoredAsDistancesFromTheNode)
    {
        StrongTT tt;
        tt.Resize(1);
        const int mateIn5FromRoot = MateScore - 5;
        tt.Store(42, 3, NoMove, mateIn5FromRoot, 0, 4, Bound::Exact); // seen at ply 3: mate 2 plies on
        const TTHit atPly1 = tt.Probe(42, 1);
        ASSERT_TRUE(atPly1.found);
        EXPECT_EQ(atPly1.score, MateScore - 3);
        EXPECT_EQ(atPly1.bound, Bound::Exact);
        EXPECT_EQ(atPly1.depth, 4);
        EXPECT_FALSE(tt.Probe(43, 1).found);
    }

    TEST(StrongTT, ADeeperResultIsKeptAndTheBucketTakesNewPositions)
    {
        StrongTT tt;
        tt.Resize(1);
        tt.Store(7, 0, NoMove, 10, 0, 12, Bound::Lower);
        tt.Store(7, 0, NoMove, 20, 0, 2, Bound::Upper); // shallow bound: the deep result stays
        EXPECT_EQ(tt.Probe(7, 0).depth, 12);
        tt.Store(7, 0, NoMove, 30, 0, 3, Bound::Exact); // exact results always replace
        EXPECT_EQ(tt.Probe(7, 0).score, 30);
        // Keys of the same bucket (same upper half) fill its four entries.
        for (std::uint64_t k = 1; k <= 4; ++k)
            tt.Store(7 + (k << 8), 0, NoMove, 0, 0, 5, Bound::Exact);
        int found = 0;
        for (std::uint64_t k = 1; k <= 4; ++k)
            found += tt.Probe(7 + (k << 8), 0).found ? 1 : 0;
        EXPECT_EQ(found, 4);
    }

} // namespace
} // namespace drnChess::strong

namespace drnChess::testing {
namespace {

    TEST(StrongChoice, OptionsChooseTheSearch)
    {
        struct Case {
            std::vector<std::pair<const char*, const char*>> options;
            bool strong;
        };
        const Case cases[] = {
            { {}, false }, { { { "-search", "strong" } }, true }, { { { "search", "strong" } }, true },
            { { { "Search", "strong" } }, true }, { { { "-search", "classic" } }, false },
            { { { "Search", "strong" }, { "Search", "classic" } }, false }, // the last one counts
        };
        for (const Case& c : cases) {
            auto e = MakeEngine(nullptr);
            for (const auto& [k, v] : c.options)
                e->options.Add(k, v);
            EXPECT_EQ(e->UseStrongSearch(), c.strong);
        }
    }

    TEST(StrongChoice, ThinkPostsTheMoveAndThinkingLines)
    {
        clsEngineShare share;
        share.Size(1);
        auto e = MakeEngine(&share, Options({ { "-search", "strong" } }));
        e->verbose = true;
        std::vector<clsIterationReport> reports;
        e->SetIterationListener([&](const clsIterationReport& r) { reports.push_back(r); });
        e->SetFromFEN("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
        e->SetSingleIteration(true);
        e->SetFixedDepth(5);
        Think(*e);
        int score = 0;
        EXPECT_EQ(e->TakeMoveText(false, &score), "d1d8");
        EXPECT_TRUE(e->ResultMove().Has(MoveFlag::Mates));
        EXPECT_EQ(e->ThinkingLine().substr(0, 9), "5 100001 ");
        // The iterations reach the front ends through the listener only: the engine prints none.
        for (const auto& l : TakeLines(*e))
            EXPECT_FALSE(!l.empty() && std::isdigit(static_cast<unsigned char>(l[0]))) << l;
        EXPECT_GT(e->Nodes(), 0u);
        // The front ends' report of each iteration: mate in one with its move.
        ASSERT_EQ(reports.size(), 5u);
        EXPECT_EQ(reports.back().depth, 5);
        EXPECT_EQ(reports.back().mateMoves, 1);
        ASSERT_FALSE(reports.back().pv.empty());
        EXPECT_EQ(MoveToText(reports.back().pv[0], false), "d1d8");
    }

    TEST(StrongChoice, RepetitionAgainstTheGameHistory)
    {
        // The game shuffles kings back and forth; White, far ahead, must not allow the third
        // occurrence, while the history seen by the search comes from the game moves.
        auto e = MakeEngine(nullptr, Options({ { "-search", "strong" } }));
        e->SetFromFEN("7k/8/8/8/8/8/2Q5/K7 w - - 0 1");
        for (const char* m : { "a1b1", "h8g8", "b1a1", "g8h8" })
            ASSERT_TRUE(e->ApplyMoveText(m));
        e->SetSingleIteration(true);
        e->SetFixedDepth(6);
        Think(*e);
        EXPECT_NE(e->TakeMoveText(false), "a1b1");
    }

    TEST(EngineThreads, StrongSearchStopsWithinMilliseconds)
    {
        auto e = MakeEngine(nullptr, Options({ { "-search", "strong" } }));
        e->SetSingleIteration(true); // no book
        clsSearchLimits limits;
        limits.infinite = true;
        e->SetLimits(limits);
        for (int round = 0; round < 3; ++round) {
            e->SetFromFEN("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
            e->Start();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const auto before = std::chrono::steady_clock::now();
            EXPECT_TRUE(e->StopRequest());
            const auto waited = std::chrono::steady_clock::now() - before;
            // A few milliseconds on an idle machine; wide margin for a loaded one and sanitizers.
            EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 1000);
            EXPECT_FALSE(e->TakeMoveText(true).empty()) << "a move from the iterations done";
        }
        // Stopped before it could finish one iteration (a late thread start on a loaded
        // machine): a legal move is still posted, so the game never waits for one.
        e->Start();
        EXPECT_TRUE(e->StopRequest());
        EXPECT_FALSE(e->TakeMoveText(true).empty());
    }

    TEST(EngineThreads, StrongSearchKeepsItsHardLimit)
    {
        auto e = MakeEngine(nullptr, Options({ { "-search", "strong" } }));
        e->SetSingleIteration(true);
        clsSearchLimits limits;
        limits.softMs = limits.hardMs = 200;
        e->SetLimits(limits);
        e->SetFromFEN("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
        const auto before = std::chrono::steady_clock::now();
        Think(*e);
        const auto ms
            = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - before)
                  .count();
        EXPECT_LT(ms, 2000);
        EXPECT_FALSE(e->TakeMoveText(true).empty());
    }

} // namespace
} // namespace drnChess::testing
