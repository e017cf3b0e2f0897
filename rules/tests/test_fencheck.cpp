// The strict FEN reading every outside position passes through.
#include <gtest/gtest.h>

#include <memory>

#include "rules/clschesscore.h"
#include "rules/fencheck.h"

namespace drnChess {
namespace {

    struct BadFen {
        const char* fen;
        const char* reason; // a part of the message that names the fault
    };

    TEST(FenCheck, RefusesEachKindOfFaultByName)
    {
        const BadFen cases[] = {
            { "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "'9' in the placement is not" },
            { "rnbqkbnr/pppppppp/7nn/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                "rank 6 has more than eight squares" },
            { "rnbqkbnr/pppppppp/7/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                "rank 6 does not have eight squares" },
            { "rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "eight ranks" },
            { "rnbqkbnr/8/8/8/8/8/8/8/RNBQKBNR w KQkq - 0 1", "more than eight ranks" },
            { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq - 0 1",
                "'X' in the placement is not a piece letter" },
            { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1", "side to move 'x'" },
            { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQxq - 0 1", "castling rights 'KQxq'" },
            { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e4 0 1", "en passant square 'e4'" },
            { "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e6 0 1", "en passant square 'e6'" },
            { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - x 1", "half-move clock 'x'" },
            { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 -3", "move number '-3'" },
            { "PPPPPPPP/8/8/4k3/8/8/8/4K3 w - - 0 1", "pawn on the first or last rank" },
            { "4k3/8/8/8/8/8/8/4K2p b - - 0 1", "pawn on the first or last rank" },
            { "4k3/8/8/8/8/8/8/8 w - - 0 1", "one king of each colour" },
            { "4k3/8/8/8/8/8/8/3KK3 w - - 0 1", "one king of each colour" },
            { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 extra", "unexpected text 'extra'" },
            { "hello world", "four fields" },
            { "", "no FEN given" },
        };
        for (const BadFen& c : cases) {
            const clsFenReading r = ReadFenStrictly(c.fen, FenText::Position);
            EXPECT_NE(r.problem.find(c.reason), std::string::npos) << c.fen << " -> '" << r.problem << "'";
        }
    }

    TEST(FenCheck, KeepsGoodTextAndDropsCastlingRightsTheBoardCannotHave)
    {
        struct Good {
            const char* in;
            FenText kind;
            const char* out;
        };
        const Good cases[] = {
            { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", FenText::Position,
                "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1" },
            { "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3", FenText::Position,
                "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3" },
            // King or rook away from home: those letters go, the rest stay in order.
            { "r3k2r/8/8/8/8/8/8/R4K1R w KQkq - 3 20", FenText::Position,
                "r3k2r/8/8/8/8/8/8/R4K1R w kq - 3 20" },
            { "1r2k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", FenText::Position,
                "1r2k2r/8/8/8/8/8/8/R3K2R b KQk - 0 1" },
            { "4k3/8/8/8/8/8/8/4K3 w KQkq - 0 1", FenText::Position, "4k3/8/8/8/8/8/8/4K3 w - - 0 1" },
            // EPD: operations follow the four fields (or the counters); a carriage return goes.
            { "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm Ra8#; id \"back rank\";\r", FenText::EpdLine,
                "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm Ra8#; id \"back rank\";" },
            { "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1 bm Ra8#;", FenText::EpdLine,
                "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1 bm Ra8#;" },
        };
        for (const Good& c : cases) {
            const clsFenReading r = ReadFenStrictly(c.in, c.kind);
            EXPECT_EQ(r.problem, "") << c.in;
            EXPECT_EQ(r.fen, c.out) << c.in;
        }
        EXPECT_NE(ReadFenStrictly("6k1/8/8/8/8/8/8/R5K1 w - - 1x bm Ra8#;", FenText::EpdLine).problem, "");
    }

    TEST(FenCheck, LoadRefusesTheSideNotToMoveInCheckAndLoadsTheRest)
    {
        auto core = std::make_unique<clsChessCore>();
        EXPECT_EQ(LoadFenStrictly(*core, "4k3/8/8/8/8/8/8/4RK2 w - - 0 1", FenText::Position),
            "the side not to move is in check");
        std::string loaded;
        ASSERT_EQ(LoadFenStrictly(*core, "4k3/8/8/8/8/8/8/R3K3 w KQ - 5 9", FenText::Position, &loaded), "");
        EXPECT_EQ(loaded, "4k3/8/8/8/8/8/8/R3K3 w Q - 5 9");
        EXPECT_EQ(core->GetFEN(), "4k3/8/8/8/8/8/8/R3K3 w Q -");
    }

} // namespace
} // namespace drnChess
