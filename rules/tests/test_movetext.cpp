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

    TEST(ReadMove, EveryForm)
    {
        const char* castling = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
        const char* promotion = "1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1";
        const char* pinned = "4k3/8/8/8/8/5N2/8/KN1r4 w - - 0 1"; // b1 pinned by d1
        struct Case {
            const char* fen;
            const char* text;
            const char* coordinate; // empty: no move
        };
        const Case cases[] = {
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
            { castling, "O-O", "e1g1" },
            { castling, "0-0", "e1g1" },
            { castling, "o-o", "e1g1" },
            { castling, "O-O-O+", "e1c1" },
            { castling, "0-0-0", "e1c1" },
            { castling, "e1g1", "e1g1" },
            { castling, "e1c1", "e1c1" },
            { castling, "Kg1", "e1g1" },
            { promotion, "c7c8q", "c7c8q" },
            { promotion, "c7c8=q", "c7c8q" },
            { promotion, "c7c8Q", "c7c8q" },
            { promotion, "c7c8=N", "c7c8n" },
            { promotion, "c7c8s", "c7c8b" }, // s and m: bishop and queen
            { promotion, "c7c8m", "c7c8q" },
            { promotion, "c7c8", "c7c8q" }, // no piece named: the queen
            { promotion, "c8", "c7c8q" },
            { promotion, "c8=Q", "c7c8q" },
            { promotion, "c8=q", "c7c8q" },
            { promotion, "c8Q#", "c7c8q" },
            { promotion, "c8=B", "c7c8b" },
            { promotion, "c8=r", "c7c8r" },
            { promotion, "cxd8=N+", "c7d8n" },
            { promotion, "c8=K", "" },
            { pinned, "Nd2", "f3d2" }, // the pinned twin is passed over
            { pinned, "Nbd2", "" },
            { pinned, "b1d2", "" },
            { "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", "exd6", "e5d6" },
            { "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", "e5d6", "e5d6" },
        };
        for (const Case& c : cases)
            EXPECT_EQ(Read(c.fen, c.text), c.coordinate) << c.fen << " : " << c.text;
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
        std::ifstream in(std::string(CORVALA_SHARED_DATA) + "/perft.epd");
        if (!in) GTEST_SKIP() << "shared test data not found";
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
