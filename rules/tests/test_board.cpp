// Board set-up from FEN, the board texts, square helpers and the constant tables.

#include <gtest/gtest.h>

#include "rules/attacks.h"
#include "rules/bits.h"
#include "rules/tests/rules_test_util.h"

namespace drnChess {
namespace {

    using testing::CoreAt;

    constexpr u64 Sq(int file, int rank)
    {
        return u64 { 1 } << (8 * rank + (7 - file));
    }
    constexpr u64 E1 = Sq(4, 0), H1 = Sq(7, 0), A1 = Sq(0, 0), E8 = Sq(4, 7), A8 = Sq(0, 7), H8 = Sq(7, 7);

    TEST(SquareText, NamesAndBitsAgree)
    {
        struct Case {
            int bit;
            const char* name;
        };
        const Case cases[] = { { 0, "h1" }, { 7, "a1" }, { 56, "h8" }, { 63, "a8" }, { 19, "e3" },
            { 27, "e4" }, { 44, "d6" } };
        for (const Case& c : cases) {
            EXPECT_EQ(SquareToText(u64 { 1 } << c.bit), c.name);
            EXPECT_EQ(TextToSquare(c.name), u64 { 1 } << c.bit) << c.name;
            EXPECT_EQ(SquareIndex(u64 { 1 } << c.bit), c.bit);
        }
        EXPECT_EQ(TextToSquare("e4xyz"), u64 { 1 } << 27); // further characters are ignored
        for (const char* bad : { "", "e", "i1", "a9", "a0", "E4", "4e" })
            EXPECT_EQ(TextToSquare(bad), 0u) << bad;
    }

    TEST(ByteTables, FollowTheirDefinitions)
    {
        EXPECT_EQ(BitLength[0], 0);
        EXPECT_EQ(BitLength[1], 1);
        EXPECT_EQ(BitLength[0x10], 5);
        EXPECT_EQ(BitLength[0xFF], 8);
        EXPECT_EQ(PopCount8[0], 0);
        EXPECT_EQ(PopCount8[0xA5], 4);
        EXPECT_EQ(PopCount8[0xFF], 8);
        EXPECT_EQ(SquareBit[63], u64 { 1 } << 63);
        EXPECT_EQ(PopCount(0xFFFF00000000FFFFULL), 32);

        const u64 bytes = 0x0101010101010101ULL;
        EXPECT_EQ(HighestBitFill[0], 0u);
        EXPECT_EQ(HighestBitFill[0x13], 0x10 * bytes);
        EXPECT_EQ(SpanBelowTop[0x90], 0x60 * bytes); // between bits 7 and 4
        EXPECT_EQ(SpanBelowTop[0x10], 0x0F * bytes); // one bit: everything below it
        EXPECT_EQ(SpanBelowTop[0x18], 0u); // neighbours: nothing between
        EXPECT_EQ(SpanAboveBottom[0x90], 0x60 * bytes);
        EXPECT_EQ(SpanAboveBottom[0x10], 0xE0 * bytes); // one bit: everything above it
        EXPECT_EQ(SpanAboveBottom[0], 0u);
    }

    TEST(AttackTables, MatchTheBoardGeometry)
    {
        const int a1 = 7, h1 = 0, d4 = 28, e4 = 27, a2 = 15;
        EXPECT_EQ(PopCount(Rays[AllLines][d4]), 27);
        EXPECT_EQ(Rays[North][a1], 0x8080808080808000ULL);
        EXPECT_EQ(Rays[East][a1], 0x7FULL);
        EXPECT_EQ(Rays[West][h1], 0xFEULL);
        EXPECT_EQ(Rays[South][a1], 0u);
        EXPECT_EQ(Rays[NorthEast][a1], 0x0102040810204000ULL);
        EXPECT_EQ(Rays[NorthWest][h1], 0x8040201008040200ULL);
        EXPECT_EQ(Rays[RookLines][d4], Rays[North][d4] | Rays[East][d4] | Rays[West][d4] | Rays[South][d4]);
        for (int s = 0; s < 64; ++s)
            for (int d = 1; d <= 8; ++d) {
                // Odd directions run towards higher indices, even ones towards lower.
                if (Rays[d][s] == 0) continue;
                if (d & 1)
                    EXPECT_GT(SquareIndex(Rays[d][s]), s);
                else
                    EXPECT_LT(HighestIndex(Rays[d][s]), s);
            }
        EXPECT_EQ(KnightAttacks[a1], Sq(1, 2) | Sq(2, 1));
        EXPECT_EQ(PopCount(KnightAttacks[d4]), 8);
        EXPECT_EQ(KingAttacks[a1], Sq(1, 0) | Sq(0, 1) | Sq(1, 1));
        EXPECT_EQ(PopCount(KingAttacks[e4]), 8);
        EXPECT_EQ(PopCount(KingZone[e4]), 21);
        EXPECT_EQ(PopCount(KingZone[a1]), 8); // 3 x 3 corner block without c3
        EXPECT_FALSE(KingZone[a1] & Sq(2, 2));
        EXPECT_TRUE(KingZone[e4] & SquareBit[e4]);
        EXPECT_EQ(PawnAttacks[White][e4], Sq(3, 4) | Sq(5, 4));
        EXPECT_EQ(PawnAttacks[Black][e4], Sq(3, 2) | Sq(5, 2));
        EXPECT_EQ(PawnAttacks[White][a2], Sq(1, 2));
        BuildTables(); // callable any time
        EXPECT_EQ(PopCount(KnightAttacks[d4]), 8);
    }

    TEST(Fen, EmptyTextAndStartTextGiveTheStartPosition)
    {
        for (const char* text : { "", StartFEN }) {
            auto core = CoreAt(text);
            const clsBoard& b = core->board;
            EXPECT_EQ(b.own(), 0x000000000000FFFFULL);
            EXPECT_EQ(b.other(), 0xFFFF000000000000ULL);
            EXPECT_EQ(b.castle(), 0x8900000000000089ULL);
            EXPECT_EQ(b.epSquare(), 0u);
            EXPECT_EQ(b.occupied(), b.own() | b.other());
            EXPECT_EQ(b.side, White);
            EXPECT_EQ(b.material, 0);
            EXPECT_EQ(b.pawnCount[0], 8);
            EXPECT_EQ(b.pawnCount[1], 8);
            EXPECT_EQ(b.pieceCount[0], 8);
            EXPECT_EQ(b.pieceCount[1], 8);
            EXPECT_EQ(b.hash(), core->ComputeSignature());
            EXPECT_EQ(core->halfmoveClock, 0);
            EXPECT_EQ(core->fullmoveNumber, 1);
            EXPECT_EQ(core->GetFEN(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
            EXPECT_EQ(core->defaultFEN, StartFEN);
        }
    }

    TEST(Fen, RoundTripsKeepTheFourFields)
    {
        const char* fens[] = {
            "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
            "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6",
            "r3k2r/8/8/8/8/8/8/R3K2R b Kq -",
            "8/8/8/8/8/8/8/8 b - -",
        };
        for (const char* fen : fens) {
            auto core = CoreAt(fen);
            EXPECT_EQ(core->GetFEN(), fen);
        }
    }

    TEST(Fen, FieldsAndQuirks)
    {
        {
            auto core = CoreAt("8/8/8/8/8/8/8/8 b - -");
            EXPECT_EQ(core->board.occupied(), 0u);
            EXPECT_EQ(core->board.side, Black);
            EXPECT_EQ(core->board.material, 0);
        }
        {
            auto core = CoreAt("r3k2r/8/8/8/8/8/8/R3K2R w Kq - 0 1");
            EXPECT_EQ(core->board.castle(), E1 | H1 | E8 | A8);
        }
        {
            auto core = CoreAt("4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1");
            EXPECT_EQ(core->board.epSquare(), u64 { 1 } << 19);
        }
        for (const char* fen : { "4k3/8/8/8/8/8/8/4K3 b - - 0 1", "4k3/8/8/8/8/8/8/4K3 b - e9 0 1" })
            EXPECT_EQ(CoreAt(fen)->board.epSquare(), 0u) << fen;
        {
            // S and M are read as bishop and queen, and written back as B and Q.
            auto core = CoreAt("rnbmksnr/pppppppp/8/8/8/8/PPPPPPPP/RNSMKBNR w KQkq - 0 1");
            EXPECT_EQ(core->GetFEN(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
        }
        {
            // Black to move: own is black and material is black's minus white's.
            auto core = CoreAt("4k3/8/8/8/8/8/8/3QK3 b - - 0 1");
            EXPECT_EQ(core->board.own(), E8);
            EXPECT_EQ(core->board.material, -940);
            EXPECT_EQ(core->board.pieceCount[White], 2);
            EXPECT_EQ(core->board.pieceCount[Black], 1);
        }
        {
            // Unknown characters count as one empty square.
            auto core = CoreAt("x3k3/8/8/8/8/8/8/4K3 w - - 0 1");
            EXPECT_EQ(core->GetFEN(), "4k3/8/8/8/8/8/8/4K3 w - -");
        }
        {
            // A short placement ending at a blank shifts the later fields by one character:
            // the blank after the b is the side letter, and the castling token starts at Q.
            auto core = CoreAt("8/8/8 b KQ -");
            EXPECT_EQ(core->board.side, White);
            EXPECT_EQ(core->board.castle(), E1 | A1);
        }
    }

    TEST(Fen, CountersAndOperations)
    {
        auto core = CoreAt("4k3/8/8/8/8/8/8/4K3 w - - 12 34");
        EXPECT_EQ(core->halfmoveClock, 12);
        EXPECT_EQ(core->fullmoveNumber, 34);
        EXPECT_TRUE(core->positionOps.Empty());

        // Operations instead of counters: the counters keep their values.
        core->SetFromFEN("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - bm Nf3; id x1;");
        EXPECT_EQ(core->halfmoveClock, 12);
        EXPECT_EQ(core->fullmoveNumber, 34);
        EXPECT_EQ(core->positionOps.Count(), 2);
        EXPECT_EQ(core->positionOps.Value("bm"), "Nf3");
        EXPECT_EQ(core->positionOps.Value("id"), "x1");

        // Counters and then operations; a new FEN clears the old operations.
        core->SetFromFEN("4k3/8/8/8/8/8/8/4K3 w - - 3 7 ;D1 5 ;D2 25");
        EXPECT_EQ(core->halfmoveClock, 3);
        EXPECT_EQ(core->fullmoveNumber, 7);
        EXPECT_FALSE(core->positionOps.Has("bm"));
        EXPECT_EQ(core->positionOps.Value("D1"), "5");
        EXPECT_EQ(core->positionOps.Value("D2"), "25");
    }

    TEST(BoardTexts, DiagramReportAndPieceLetters)
    {
        auto core = CoreAt("");
        EXPECT_EQ(core->BoardDiagram(),
            "rnbqkbnr\npppppppp\n........\n........\n........\n........"
            "\nPPPPPPPP\nRNBQKBNR\n");
        EXPECT_EQ(core->BoardDiagram().size(), 72u);
        EXPECT_EQ(core->BoardReportLine(),
            "# white value: 0.00 FEN: rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
        EXPECT_EQ(core->PieceCharAt(E1), 'K');
        EXPECT_EQ(core->PieceCharAt(E8), 'k');
        EXPECT_EQ(core->PieceCharAt(Sq(3, 7)), 'q');
        EXPECT_EQ(core->PieceCharAt(Sq(4, 3)), '.');

        core->SetFromFEN("4k3/8/8/8/8/8/8/3QK3 b - - 0 1");
        EXPECT_EQ(core->BoardReportLine(), "# black value: -8.95 FEN: 4k3/8/8/8/8/8/8/3QK3 b - -");
        EXPECT_EQ(core->PieceCharAt(Sq(3, 0)), 'Q'); // white is `other` with black to move
    }

    TEST(Material, RecomputedFromTheBitboards)
    {
        auto core = CoreAt("rnb1kbnr/pppppppp/8/8/8/8/PPP2PPP/RNBQKBNR w KQkq - 0 1");
        EXPECT_EQ(core->board.material, 940 - 2 * 105);
        core->board.material = 0;
        core->ComputeMaterial();
        EXPECT_EQ(core->board.material, 940 - 2 * 105);
    }

} // namespace
} // namespace drnChess
