// The evaluation, term by term. Each row loads a position whose side to move plays the part of
// "us" (the evaluation sees the board right after our move, before the side switch) and a soul
// whose only non-zero weight is the term under test, so the result is that term alone.

#include <gtest/gtest.h>

#include "engine/tests/enginetestutil.h"

namespace drnChess {
namespace {

    using namespace SoulWeight;
    using testing::MakeEngine;

    class Evaluation : public ::testing::Test {
    protected:
        std::unique_ptr<clsEngine> engine = MakeEngine(nullptr);

        int Evaluate(const char* fen, const SoulValues& soul)
        {
            engine->SetFromFEN(fen);
            engine->ApplySoulText("T=0");
            for (int i = 0; i < Count; ++i)
                engine->SetSoulValue(i, soul[static_cast<std::size_t>(i)]);
            engine->current->pawnCacheKey = 1; // as a node starting its moves
            return engine->Evaluate();
        }
        int Term(const char* fen, int weight, int value = 1)
        {
            SoulValues soul {};
            soul[static_cast<std::size_t>(weight)] = value;
            return Evaluate(fen, soul);
        }
    };

    struct TermCase {
        const char* what;
        const char* fen;
        int weight;
        int expected;
    };

    TEST_F(Evaluation, EachTermByHand)
    {
        const TermCase cases[] = {
            // 1. King area: a1 has 3 king moves, e8 has 5.
            { "king area", "4k3/p7/8/8/8/8/8/K7 w - -", KingMobility, -2 },
            // 3. Passed pawns: white e5 and a2 (two files), black h7 (one).
            { "passed, white", "4k3/7p/8/4P3/8/8/P7/4K3 w - -", PassedPawns, 1 },
            { "passed, black to move", "4k3/7p/8/4P3/8/8/P7/4K3 b - -", PassedPawns, -1 },
            // The byte sum of two pawns on one file carries: a2 and a3 count as one file.
            { "passed, one file", "4k3/7p/8/8/8/P7/P7/4K3 w - -", PassedPawns, 0 },
            // Doubled: the upper of a2/a3 loses its bit through the carry.
            { "doubled, ours", "4k3/7p/8/8/8/P7/P7/4K3 w - -", DoubledPawns, -1 },
            { "doubled, theirs", "4k3/7p/8/8/8/P7/P7/4K3 b - -", DoubledPawns, 1 },
            // a2, a3, a4: the multiplication's carry clears only a3.
            { "doubled, three on a file", "4k3/7p/8/8/P7/P7/P7/4K3 w - -", DoubledPawns, -1 },
            // 4. Knight a3 and bishop h6 of ours, knight b7 of theirs on poor squares.
            { "poor minors", "4k3/1n6/7B/8/8/N7/8/4K3 w - -", PoorMinorSquares, -1 },
            { "minor on a good square", "4k3/p7/8/8/3N4/8/8/4K3 w - -", PoorMinorSquares, 0 },
            // Pawn e4 and knight d5 count, the queen on c4 does not; their pawn on f5.
            { "centre", "4k3/8/8/3N1p2/2Q1P3/8/8/4K3 w - -", CentreOccupation, 1 },
            // Their rooks on the node's mask rank (rank 7 with white to move at the reset).
            { "seventh rank", "4k3/r6r/8/8/8/8/8/4K3 w - -", SeventhRankRooks, 6 },
            { "seventh rank, rooks elsewhere", "4k3/8/r6r/8/8/8/R7/4K3 w - -", SeventhRankRooks, 8 },
            { "second rank, black to move", "4k3/8/8/8/8/8/R6R/4K3 b - -", SeventhRankRooks, 6 },
            // 5. King safety: their king in the centre and off the corners (+2), our g1 king with
            //    pawns f2, g2, h2 in front (+3).
            { "king safety", "4k3/8/8/8/8/8/5PPP/3Q2K1 w - -", KingSafety, 5 },
            { "king safety skipped", "4k3/8/8/8/8/8/5PPP/6K1 w - -", KingSafety, 0 },
            { "king safety, black", "6k1/5ppp/8/8/8/8/8/3qK3 b - -", KingSafety, 5 },
            // h2 is off the corners (-1), their king +2; in front of h2: h3 and, through the
            // unmasked shift, a2 (+2); their pawn on g3 is not tested.
            { "king safety, wrap", "4k3/8/8/8/8/6pP/P6K/3Q4 w - -", KingSafety, 3 },
            // 6. Development: our c1 and f1 still home (2, the queen on d1), theirs 4.
            { "development", "rnbqkbnr/pppppppp/8/8/8/2N2N2/PPPPPPPP/R1BQKB1R w KQkq -", Development, 2 },
            // Their queen off ranks 1, 2, 7, 8: their count of 4 grows by 2.
            { "development, queen out", "rnb1kbnr/pppppppp/8/3q4/8/2N2N2/PPPPPPPP/R1BQKB1R w KQkq -",
                Development, 4 },
            { "development without our queen", "rnbqkbnr/pppppppp/8/8/8/2N2N2/PPPPPPPP/R1B1KB1R w KQkq -",
                Development, 0 },
            // 7. King and rooks on the back rank: g1 outside a1/f1, e1 between a1/h1.
            { "king outside rooks", "4k3/p7/8/8/8/8/8/R4RK1 w - -", KingOutsideRooks, 1 },
            { "king between rooks", "4k3/p7/8/8/8/8/8/R3K2R w - -", KingOutsideRooks, 0 },
            // 8. Unmoved kings.
            { "unmoved king, ours", "4k3/p7/8/8/8/8/8/4K2R w K -", UnmovedKing, 1 },
            { "unmoved king, theirs", "4k2r/p7/8/8/8/8/8/4K3 w k -", UnmovedKing, -1 },
            { "unmoved kings, both", "r3k2r/p7/8/8/8/8/8/R3K2R w KQkq -", UnmovedKing, 0 },
            // 9. Bishops counted up to two: 3 against 1.
            { "bishops", "4k3/4b3/8/8/8/8/8/1BBBK3 w - -", SoulWeight::Bishops, 1 },
            // 10. Trading: white 3 pawns and 1 piece (3 - 2 = 1), ahead: +1. Black 1 and 1
            //     (1 - 2 = -1), behind: the sign turns.
            { "trading, ahead", "4k3/p7/8/8/8/8/PPP5/4K3 w - -", TradingFactor, 1 },
            { "trading, behind", "4k3/p7/8/8/8/8/PPP5/4K3 b - -", TradingFactor, 1 },
        };
        for (const TermCase& c : cases)
            EXPECT_EQ(Term(c.fen, c.weight), c.expected) << c.what;
    }

    TEST_F(Evaluation, BareKing)
    {
        const TermCase cases[] = {
            // Draws by material return -52 before any other term.
            { "king against king", "4k3/8/8/8/8/8/8/4K3 w - -", BareKingDrive, -52 },
            { "knight", "4k3/8/8/8/8/8/8/4KN2 w - -", BareKingDrive, -52 },
            { "bishop", "4k3/8/8/8/8/8/8/4KB2 w - -", BareKingDrive, -52 },
            { "two knights", "4k3/8/8/8/8/8/8/3NKN2 w - -", BareKingDrive, -52 },
            { "two bishops on dark squares (c1, d2)", "4k3/8/8/8/8/8/3B4/2B1K3 w - -", BareKingDrive, -52 },
            // Mop-up: 1, +1 for a corner-edge square, +1 for kings side by side, +4 for the
            // corner set (A without a bishop on files a, c, f, h; B with one).
            { "rook, king on h8", "7k/8/6K1/8/8/8/8/R7 w - -", BareKingDrive, 6 },
            { "rook, kings side by side", "7k/6K1/8/8/8/8/8/R7 w - -", BareKingDrive, 7 },
            { "rook, king on e8", "4k3/8/4K3/8/8/8/8/R7 w - -", BareKingDrive, 1 },
            { "bishop c1 and knight, king a8", "k7/8/8/8/8/8/8/2B1KN2 w - -", BareKingDrive, 6 },
            { "bishop c1 and knight, king h8", "7k/8/8/8/8/8/8/2B1KN2 w - -", BareKingDrive, 2 },
            // Opposite-coloured bishops (c1 dark, c2 light) and rook with bishop can mate.
            { "two bishops on both colours", "4k3/8/8/8/8/8/2B5/2B1K3 w - -", BareKingDrive, 1 },
            { "rook and bishop", "4k3/8/8/8/8/8/8/R1B1K3 w - -", BareKingDrive, 1 },
            // Our pawns, or a piece of theirs, leave the normal evaluation in force.
            { "with a pawn", "4k3/8/8/8/8/8/P7/4K3 w - -", BareKingDrive, 0 },
            { "their knight", "4k1n1/8/8/8/8/8/8/R3K3 w - -", BareKingDrive, 0 },
        };
        for (const TermCase& c : cases)
            EXPECT_EQ(Term(c.fen, c.weight, 1), c.expected) << c.what;

        // The king area is part of the mop-up sum: d4 (8 moves) against h8 (3).
        SoulValues soul {};
        soul[KingMobility] = 2;
        EXPECT_EQ(Evaluate("7k/8/8/8/3K4/8/8/R7 w - -", soul), 10);
    }

    TEST_F(Evaluation, KnightAgainstKingScoresTheDrawPlusMaterial)
    {
        engine->SetFromFEN("4k3/8/8/8/8/8/8/4KN2 w - -");
        engine->SelectSoul("Simple5");
        EXPECT_EQ(engine->board.material + engine->Evaluate(), 303 - 52);
    }

    TEST_F(Evaluation, StartPositionWithSimple5)
    {
        // Symmetric terms cancel; left are the seventh-rank term 8 x 8, the pawn shield of e1
        // (3 x 10) and the trading term (8 - 2 x 8) x 1.
        engine->SetFromFEN("");
        engine->SelectSoul("Simple5");
        engine->current->pawnCacheKey = 1;
        EXPECT_EQ(engine->Evaluate(), 64 + 30 - 8);
    }

    TEST_F(Evaluation, PawnScoreIsCachedPerNodeOnThePawns)
    {
        const char* fen = "4k3/7p/8/4P3/8/8/P7/4K3 w - -";
        EXPECT_EQ(Term(fen, PassedPawns, 1), 1);
        // Same pawns, same node: the cached score stands even though the weight changed.
        engine->SetSoulValue(PassedPawns, 5);
        EXPECT_EQ(engine->Evaluate(), 1);
        // Different pawns, or a node that starts its moves, score afresh.
        engine->current->pawnCacheKey = 1;
        EXPECT_EQ(engine->Evaluate(), 5);
        engine->SetFromFEN("4k3/7p/8/4P3/8/P7/8/4K3 w - -");
        EXPECT_EQ(engine->Evaluate(), 5);
    }

    TEST_F(Evaluation, HugeWeightsWrapInsteadOfOverflowing)
    {
        SoulValues soul;
        soul.fill(0x7FFFFFFF);
        Evaluate("rnbqkbnr/pppppppp/8/8/8/2N2N2/PPPPPPPP/R1BQKB1R w KQkq -", soul); // no UB under UBSan
        soul.fill(-0x7FFFFFFF - 1);
        Evaluate("7k/6K1/8/8/8/8/8/R7 w - -", soul);
    }

} // namespace
} // namespace drnChess
