// Move texts, coordinate reading, SAN patterns and SAN to coordinates.

#include <gtest/gtest.h>

#include "rules/bits.h"
#include "rules/tests/rules_test_util.h"

namespace drnChess {
namespace {

    using testing::CoreAt;
    using testing::RootList;

    clsMove Move(std::uint32_t flags, const char* from, const char* to, int value = 0, int order = 0)
    {
        clsMove m {};
        m.flags = flags;
        m.from = TextToSquare(from);
        m.to = TextToSquare(to);
        m.value = static_cast<std::int16_t>(value);
        m.order = static_cast<std::int16_t>(order);
        return m;
    }

    TEST(MoveText, ShortLongAndDetailForms)
    {
        struct Case {
            clsMove move;
            const char* shortForm;
            const char* longForm;
        };
        const Case cases[] = {
            { Move(Knight, "g1", "h3"), "g1h3", "Ng1-h3" },
            { Move(Knight | (Pawn << 4), "g1", "f3"), "g1f3", "Ng1xPf3" },
            { Move(Pawn | (Pawn << 4) | MoveFlag::EnPassant, "e5", "d6"), "e5d6", "Pe5xPd6" },
            { Move(King | MoveFlag::Castling, "e1", "g1"), "e1g1", "Ke1-g1" },
            { Move(Pawn | (Rook << 4) | (Queen << 8), "g7", "h8"), "g7h8=q", "Pg7xRh8=q" },
            { Move(Pawn | (Knight << 8), "e7", "e8"), "e7e8=n", "Pe7-e8=n" },
            { Move(Pawn | (Bishop << 8), "e7", "e8"), "e7e8=b", "Pe7-e8=b" },
            { Move(Pawn | (Rook << 8), "e7", "e8"), "e7e8=r", "Pe7-e8=r" },
            { Move(Pawn | (1 << 4), "e2", "e4"), "e2e4", "Pe2-e4" }, // captured code 1: no capture
            { Move(Pawn | (Pawn << 8), "e7", "e8"), "e7e8=?", "Pe7-e8=?" },
            { clsMove {}, "------", "------" },
            { Move(MoveFlag::Illegal, "", ""), "------", "------" }, // the "no move" mark
        };
        for (const Case& c : cases) {
            EXPECT_EQ(MoveToText(c.move, false), c.shortForm);
            EXPECT_EQ(MoveToText(c.move, true), c.longForm);
        }

        EXPECT_EQ(MoveDetailText(Move(Pawn | (Rook << 4) | (Queen << 8), "g7", "h8", 1335)),
            "# Pg7xRh8=q a(0.00) v(12.71)");
        EXPECT_EQ(MoveDetailText(
                      Move(Knight | MoveFlag::Illegal | MoveFlag::Loses | MoveFlag::Mates | MoveFlag::Bound,
                          "g1", "f3", 0, -15000)),
            "# Ng1-f3 a(-142.86) v(0.00) * ? # \\");
        EXPECT_EQ(MoveDetailText(clsMove {}), "???");
    }

    TEST(CoordinateMove, ReadsSquaresAndPromotionLetters)
    {
        struct Case {
            const char* text;
            const char* from;
            const char* to;
            int promotion;
            bool ok;
        };
        const Case cases[] = {
            { "e2e4", "e2", "e4", 0, true },
            { "e7e8q", "e7", "e8", Queen, true },
            { "e7e8=q", "e7", "e8", Queen, true },
            { "e7e8Q", "e7", "e8", Queen, true },
            { "e7e8M", "e7", "e8", Queen, true },
            { "e7e8=N", "e7", "e8", Knight, true },
            { "e7e8s", "e7", "e8", Bishop, true },
            { "e7e8B", "e7", "e8", Bishop, true },
            { "e7e8r", "e7", "e8", Rook, true },
            { "e7e8x", "e7", "e8", 0, true },
            { "e7e8=", "e7", "e8", 0, true },
            { "e2e4 junk", "e2", "e4", 0, true },
            { "e2", "e2", "", 0, false },
            { "", "", "", 0, false },
            { "z9e4", "", "e4", 0, false },
        };
        for (const Case& c : cases) {
            u64 from = 99, to = 99;
            int promotion = 99;
            EXPECT_EQ(ParseCoordinateMove(c.text, &from, &to, &promotion), c.ok) << c.text;
            EXPECT_EQ(from, TextToSquare(c.from)) << c.text;
            EXPECT_EQ(to, TextToSquare(c.to)) << c.text;
            EXPECT_EQ(promotion, c.promotion) << c.text;
        }
    }

    TEST(SanToCoordinate, FindsTheLegalMove)
    {
        struct Case {
            const char* fen;
            const char* san;
            const char* coordinate;
        };
        const Case cases[] = {
            { StartFEN, "Nf3", "g1f3" },
            { StartFEN, "Nf3+", "g1f3" },
            { StartFEN, "e4", "e2e4" },
            { StartFEN, "Nc3", "b1c3" },
            { StartFEN, "Ne4", "" },
            { StartFEN, "", "" },
            { "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "O-O", "e1g1" },
            { "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "O-O-O", "e1c1" },
            { "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "O-O", "e8g8" },
            { "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "0-0", "e1g1" }, // castling with zeros reads too
            { "r3k2r/8/8/8/8/8/8/R3K2R w Qkq - 0 1", "O-O", "" },
            // Pawn on c7 with rooks to take on b8 and d8.
            { "1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1", "c8", "c7c8q" },
            { "1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1", "c8=q", "c7c8q" },
            { "1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1", "c8=Q", "c7c8q" },
            { "1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1", "c8=N", "c7c8n" },
            { "1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1", "cxd8=Q", "c7d8q" },
            { "1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1", "cxb8=R+", "c7b8r" },
            { "1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1", "c8=B", "c7c8b" }, // one letter, as for every piece
            // Knights on b1 and f3 can both go to d2: the first generated (b1) unless told.
            { "4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1", "Nd2", "b1d2" },
            { "4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1", "Nfd2", "f3d2" },
            { "4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1", "Nbd2", "b1d2" },
            // The b1 knight is pinned by the rook on d1, so Nd2 can only be the f3 knight.
            { "4k3/8/8/8/8/5N2/8/KN1r4 w - - 0 1", "Nd2", "f3d2" },
            // En passant, through the loaded en-passant square.
            { "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", "exd6", "e5d6" },
        };
        for (const Case& c : cases) {
            auto core = CoreAt(c.fen);
            EXPECT_EQ(core->SanToCoordinate(c.san), c.coordinate) << c.fen << " " << c.san;
        }
    }

    TEST(SanToCoordinate, ResultIsAcceptedAsAGameMove)
    {
        auto core = CoreAt("1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1");
        ASSERT_TRUE(core->ApplyGameMove(core->SanToCoordinate("c8=B")));
        EXPECT_EQ(core->GetFEN(), "1rBr4/8/8/8/8/8/8/K6k b - -");
    }

    TEST(MoveList, TextsOfTheRootList)
    {
        auto core = CoreAt("");
        const std::string text = core->MoveListText();
        EXPECT_EQ(text.rfind("Ng1-h3 Ng1-f3 Nb1-c3 Nb1-a3 Ph2-h3 ", 0), 0u);
        EXPECT_EQ(text.substr(text.size() - 7), "Pa2-a4 ");
        EXPECT_EQ(testing::Split(text).size(), 20u);

        const std::string detail = core->MoveListDetail();
        EXPECT_EQ(detail.rfind("# __moves__\n# Ng1-h3 a(0.00) v(0.00)\n", 0), 0u);
        EXPECT_EQ(detail.substr(detail.size() - 6), "\n# ^^^");

        core->current = core->Next(core->Root()); // away from the root: no list text
        EXPECT_EQ(core->MoveListText(), "");
    }

} // namespace
} // namespace drnChess
