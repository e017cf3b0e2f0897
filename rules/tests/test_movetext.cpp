// The one move reader and writer: every form a player or a file writes, and the round trip
// of SAN over every legal move of the reference positions.

#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "rules/movereader.h"
#include "rules/movewriter.h"
#include "rules/tests/rules_test_util.h"

namespace drnChess {
namespace {

    using testing::CoreAt;

    std::string Read(const char* fen, const char* text)
    {
        auto core = CoreAt(fen);
        const std::string before = core->GetFEN();
        const std::optional<clsMove> move = ReadMove(*core, text);
        EXPECT_EQ(core->GetFEN(), before) << text; // reading changes no position
        return move ? CoordinateText(*move) : std::string();
    }

    // Every form a player or a file writes, with the coordinate move it names (empty: none).
    constexpr const char* CastlingFen = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
    constexpr const char* PromotionFen = "1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1";
    constexpr const char* PinnedFen = "4k3/8/8/8/8/5N2/8/KN1r4 w - - 0 1"; // b1 pinned by d1
    constexpr const char* TwinsFen = "4k3/8/8/8/8/5N2/8/KN6 w - - 0 1"; // both knights reach d2
    struct ReaderCase {
        const char* fen;
        const char* text;
        const char* coordinate; // empty: no move
    };
    const ReaderCase ReaderCases[] = {
        { StartFEN, "e2e4", "e2e4" },
        { StartFEN, "e4", "e2e4" },
        { StartFEN, "Nf3", "g1f3" },
        { StartFEN, "Nf3+", "g1f3" },
        { StartFEN, "Nf3!?", "g1f3" },
        { StartFEN, "Ng1-f3", "g1f3" },
        { StartFEN, "Ng1f3", "g1f3" },
        { StartFEN, "e2-e4", "e2e4" },
        { StartFEN, "e5", "" },
        { StartFEN, "Ke2", "" },
        { StartFEN, "", "" },
        { StartFEN, "z9z9", "" },
        { StartFEN, "O-O", "" },
        { CastlingFen, "O-O", "e1g1" },
        { CastlingFen, "0-0", "e1g1" },
        { CastlingFen, "o-o", "e1g1" },
        { CastlingFen, "O-O-O+", "e1c1" },
        { CastlingFen, "0-0-0", "e1c1" },
        { CastlingFen, "e1g1", "e1g1" },
        { CastlingFen, "e1c1", "e1c1" },
        { CastlingFen, "Kg1", "e1g1" },
        { PromotionFen, "c7c8q", "c7c8q" },
        { PromotionFen, "c7c8=q", "c7c8q" },
        { PromotionFen, "c7c8Q", "c7c8q" },
        { PromotionFen, "c7c8=N", "c7c8n" },
        { PromotionFen, "c7c8s", "c7c8b" }, // s and m: bishop and queen
        { PromotionFen, "c7c8m", "c7c8q" },
        { PromotionFen, "c7c8", "c7c8q" }, // no piece named: the queen
        { PromotionFen, "c8", "c7c8q" },
        { PromotionFen, "c8=Q", "c7c8q" },
        { PromotionFen, "c8=q", "c7c8q" },
        { PromotionFen, "c8Q#", "c7c8q" },
        { PromotionFen, "c8=B", "c7c8b" },
        { PromotionFen, "c8=r", "c7c8r" },
        { PromotionFen, "cxd8=N+", "c7d8n" },
        { PromotionFen, "c8=K", "" },
        { PinnedFen, "Nd2", "f3d2" }, // the pinned twin is passed over
        { PinnedFen, "Nbd2", "" },
        { PinnedFen, "b1d2", "" },
        { "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", "exd6", "e5d6" },
        { "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", "e5d6", "e5d6" },
        { "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", "d6", "e5d6" }, // the capture
        { TwinsFen, "Nd2", "b1d2" }, // ambiguous: the first in list order
        { TwinsFen, "Nfd2", "f3d2" },
        { "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", "e5", "e7e5" },
        { "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", "Nf6", "g8f6" },
        { "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", "e4", "" },
        { "4k3/8/8/8/8/8/p7/1N2K3 b - - 0 1", "axb1=N", "a2b1n" },
        { "4k3/8/8/8/8/8/p7/1N2K3 b - - 0 1", "a1", "a2a1q" },
        { "4k3/8/8/8/8/8/p7/1N2K3 b - - 0 1", "a1=R", "a2a1r" },
        { "4k3/8/8/8/8/8/p7/1N2K3 b - - 0 1", "e4=Q", "" },
        { "4k3/8/8/8/8/8/p7/1N2K3 b - - 0 1", "Nd2", "" },
    };

    TEST(ReadMove, EveryForm)
    {
        for (const ReaderCase& c : ReaderCases)
            EXPECT_EQ(Read(c.fen, c.text), c.coordinate) << c.fen << " : " << c.text;
    }

    bool SameRecord(const clsMove& a, const clsMove& b)
    {
        return a.flags == b.flags && a.value == b.value && a.order == b.order && a.from == b.from
            && a.to == b.to && a.extra == b.extra;
    }

    // The game reader's answer is ReadMove's, record for record, and the position stays.
    void ExpectReadersAgree(clsChessCore& core, std::string_view text)
    {
        const std::string before = core.GetFEN();
        const std::optional<clsMove> quick = ReadPgnMove(core, text);
        EXPECT_EQ(core.GetFEN(), before) << text;
        const std::optional<clsMove> general = ReadMove(core, text);
        ASSERT_EQ(quick.has_value(), general.has_value()) << before << " : " << text;
        if (quick) {
            EXPECT_TRUE(SameRecord(*quick, *general)) << before << " : " << text;
        }
    }

    TEST(ReadPgnMove, FindsWhatReadMoveFinds)
    {
        for (const ReaderCase& c : ReaderCases) {
            auto core = CoreAt(c.fen);
            ExpectReadersAgree(*core, c.text);
        }
    }

    // Every pseudo-legal move of the reference positions, illegal ones included, in the forms a
    // game file may hold them.
    TEST(ReadPgnMove, AgreesWithReadMoveOverTheReferencePositions)
    {
        std::ifstream in(std::string(CORVALA_TEST_DATA) + "/perft.epd");
        ASSERT_TRUE(in.good()) << "test data not found";
        int texts = 0;
        for (std::string line; std::getline(in, line);) {
            if (line.empty()) continue;
            auto core = CoreAt(line.substr(0, line.find(';')));
            core->GenerateMoves(-1);
            const std::vector<clsMove> moves(
                core->Root()->firstMove, clsChessCore::Next(core->Root())->firstMove);
            for (const clsMove& m : moves) {
                const std::string san = SanText(*core, m);
                const std::string target = SquareToText(m.to);
                const std::string kind(1, PieceLetters[m.Moving()]);
                for (const std::string& text : { san, san + "+", CoordinateText(m), MoveToText(m, true),
                         kind + target, kind + SquareToText(m.from) + target, target, target + "=N",
                         std::string("O-O"), std::string("0-0-0") }) {
                    ExpectReadersAgree(*core, text);
                    ++texts;
                }
            }
        }
        EXPECT_GT(texts, 10000);
    }

    TEST(ReadMove, CoordinateOnlyIsExact)
    {
        auto core = CoreAt("1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1");
        EXPECT_FALSE(ReadCoordinateMove(*core, "c7c8")); // the promotion letter is missing
        EXPECT_FALSE(ReadCoordinateMove(*core, "c8=Q")); // SAN is not a coordinate move
        ASSERT_TRUE(ReadCoordinateMove(*core, "c7c8=R"));
        EXPECT_EQ(ReadCoordinateMove(*core, "c7c8=R")->Promotion(), Rook);
        auto start = CoreAt(StartFEN);
        EXPECT_FALSE(ReadCoordinateMove(*start, "e2e4q")); // a superfluous promotion letter
    }

    TEST(SanText, FormsAndDisambiguation)
    {
        struct Case {
            const char* fen;
            const char* coordinate;
            const char* san;
        };
        const Case cases[] = {
            { StartFEN, "g1f3", "Nf3" }, { StartFEN, "e2e4", "e4" },
            { "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8c8", "O-O-O" },
            { "3rk3/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7d8q", "exd8=Q" },
            { "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6", "exd6" },
            { "4k3/8/8/8/8/8/8/1N2KN2 w - - 0 1", "b1d2", "Nbd2" },
            { "4k3/8/8/R7/8/8/8/R3K3 w - - 0 1", "a1a3", "R1a3" },
            { "4k3/8/8/8/8/Q7/8/Q1Q1K3 w - - 0 1", "a1b2", "Qa1b2" },
            { "4k3/8/8/8/8/5N2/8/KN1r4 w - - 0 1", "f3d2", "Nd2" }, // a pinned twin is no twin
        };
        for (const Case& c : cases) {
            auto core = CoreAt(c.fen);
            const std::optional<clsMove> move = ReadCoordinateMove(*core, c.coordinate);
            ASSERT_TRUE(move) << c.fen << " " << c.coordinate;
            EXPECT_EQ(SanText(*core, *move), c.san) << c.fen << " " << c.coordinate;
        }
        EXPECT_EQ(CoordinateText(clsMove {}), "");
    }

    TEST(SanText, CheckMarks)
    {
        EXPECT_EQ(CheckMarkText(*CoreAt("4k3/8/8/8/8/8/8/4K3 b - - 0 1")), "");
        EXPECT_EQ(CheckMarkText(*CoreAt("R3k3/8/8/8/8/8/8/4K3 b - - 0 1")), "+");
        EXPECT_EQ(CheckMarkText(*CoreAt("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1")), "#");
    }

    // Every legal move of every reference position: its SAN is unique in the position and reads
    // back as the same move, and so does its coordinate text.
    TEST(SanText, RoundTripOverTheReferencePositions)
    {
        std::ifstream in(std::string(CORVALA_TEST_DATA) + "/perft.epd");
        ASSERT_TRUE(in.good()) << "test data not found";
        int moves = 0;
        for (std::string line; std::getline(in, line);) {
            if (line.empty()) continue;
            const std::string fen = line.substr(0, line.find(';'));
            auto core = CoreAt(fen);
            core->GenerateMoves(-1);
            core->FilterLegalMoves();
            std::vector<clsMove> legal(core->Root()->firstMove, clsChessCore::Next(core->Root())->firstMove);
            std::set<std::string> seen;
            for (const clsMove& m : legal) {
                const std::string san = SanText(*core, m);
                EXPECT_TRUE(seen.insert(san).second) << fen << " " << san;
                for (const std::string& text :
                    { san, CoordinateText(m), MoveToText(m, false), MoveToText(m, true) }) {
                    const std::optional<clsMove> back = ReadMove(*core, text);
                    ASSERT_TRUE(back) << fen << " " << text;
                    EXPECT_TRUE(
                        back->from == m.from && back->to == m.to && back->Promotion() == m.Promotion())
                        << fen << " " << text;
                }
                ++moves;
            }
        }
        EXPECT_GT(moves, 1500);
    }

} // namespace
} // namespace drnChess
