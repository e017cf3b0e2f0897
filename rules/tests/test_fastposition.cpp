// The fast position: the search's generators counted over every reference position and checked
// against perft's legal generator node by node, loading a classic board, slider lookups, check
// prediction, and placements it refuses.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rules/fastperft.h"
#include "rules/tests/rules_test_util.h"

namespace drnChess::fast {
namespace {

    // The search's way through the tree: pseudo-legal captures, then the rest, each made and
    // kept only when legal. At every node the legal moves must be those perft's generator
    // lists; the leaves are counted.
    std::uint64_t CountWithTheSearchGenerators(FastPosition& b, int depth, const std::string& fen)
    {
        MoveList pseudo;
        b.GenerateNoisy(pseudo);
        b.GenerateQuiet(pseudo);
        std::vector<Move> legal;
        std::uint64_t leaves = 0;
        for (int i = 0; i < pseudo.count; ++i) {
            const Move m = pseudo.moves[static_cast<std::size_t>(i)];
            if (!b.Make(m)) continue;
            legal.push_back(m);
            leaves += depth > 1 ? CountWithTheSearchGenerators(b, depth - 1, fen) : 1;
            b.Unmake();
        }
        MoveList listed;
        GenerateLegalMoves(b, listed);
        std::vector<Move> counted(listed.moves.begin(), listed.moves.begin() + listed.count);
        std::sort(legal.begin(), legal.end());
        std::sort(counted.begin(), counted.end());
        EXPECT_EQ(legal, counted) << fen << " at " << b.FEN();
        return leaves;
    }

    // The ";D<depth> <count>" fields of a perft.epd line, deepest first.
    std::vector<std::pair<int, std::uint64_t>> Depths(const std::string& line)
    {
        std::vector<std::pair<int, std::uint64_t>> depths;
        std::stringstream fields(line.substr(line.find(';') + 1));
        for (std::string field; std::getline(fields, field, ';');) {
            std::istringstream f(field);
            char d = 0;
            int depth = 0;
            std::uint64_t count = 0;
            if (f >> d >> depth >> count && d == 'D') depths.emplace_back(depth, count);
        }
        std::sort(depths.rbegin(), depths.rend());
        return depths;
    }

    // The deepest listed depth under this many leaves, for each position.
    constexpr std::uint64_t MaxLeaves = 60000;

    TEST(FastPosition, SearchGeneratorsCountEveryReferencePosition)
    {
        std::ifstream in(std::string(CORVALA_TEST_DATA) + "/perft.epd");
        ASSERT_TRUE(in.good());
        int positions = 0;
        for (std::string line; std::getline(in, line);) {
            if (line.empty()) continue;
            const std::string fen = line.substr(0, line.find(';'));
            const auto depths = Depths(line);
            const auto chosen = std::find_if(
                depths.begin(), depths.end(), [](const auto& d) { return d.second <= MaxLeaves; });
            ASSERT_NE(chosen, depths.end()) << fen;
            FastPosition b;
            ASSERT_TRUE(b.SetFromFEN(fen)) << fen;
            const std::uint64_t key = b.key;
            EXPECT_EQ(CountWithTheSearchGenerators(b, chosen->first, fen), chosen->second)
                << fen << " depth " << chosen->first;
            EXPECT_EQ(b.key, key) << "make and unmake restore the key: " << fen;
            EXPECT_EQ(b.key, b.ComputeKey()) << fen;
            ++positions;
        }
        EXPECT_EQ(positions, 150);
    }

    TEST(FastPosition, PerftLeavesThePositionAsItWas)
    {
        FastPosition b;
        ASSERT_TRUE(b.SetFromFEN("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"));
        const std::string fen = b.FEN();
        const std::uint64_t key = b.key;
        EXPECT_EQ(Perft(b, 3), 97862u);
        EXPECT_EQ(b.FEN(), fen);
        EXPECT_EQ(b.key, key);
        EXPECT_EQ(Perft(b, 0), 0u);
        // Moves made after the count still find the squares the count passed over.
        ASSERT_TRUE(b.Make(b.ParseMove("e1g1")));
        EXPECT_EQ(b.FEN(), "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R4RK1 b kq -");
        EXPECT_EQ(b.key, b.ComputeKey());
    }

    // A classic board loads to the same position, key included, as its FEN; boards the
    // generators do not take are refused.
    TEST(FastPosition, LoadsAClassicBoard)
    {
        const char* same[] = {
            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
            "r3k2r/8/8/8/8/8/8/R3K2R b Kq - 0 1", // rights on one wing each
            "r3k1r1/8/8/8/8/8/8/1R2K2R w KQkq - 0 1", // rights whose rooks have left
            "rnbqkbnr/ppppp1pp/8/4Pp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", // en passant
            "rnbqkbnr/pppp1ppp/8/8/3Pp3/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 2", // ... for black
            "4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1", // en passant square that no pawn can take on
            "8/8/1k6/2b5/2pP4/8/5K2/8 b - d3 0 1",
        };
        for (const char* fen : same) {
            const auto core = testing::CoreAt(fen);
            FastPosition fromBoard, fromText;
            ASSERT_TRUE(fromBoard.SetFromBoard(core->board)) << fen;
            ASSERT_TRUE(fromText.SetFromFEN(fen)) << fen;
            EXPECT_EQ(fromBoard.FEN(), fromText.FEN()) << fen;
            EXPECT_EQ(fromBoard.key, fromText.key) << fen;
        }
        const char* refused[] = {
            "8/8/8/3Q4/8/8/8/8 w - - 0 1", // no kings
            "KK6/8/8/8/8/8/8/kk6 w - - 0 1", // two a side
            "4k3/8/8/8/8/8/8/4K2r b - - 0 1", // the side not to move is in check
            "P7/8/8/8/8/8/8/k6K w - - 0 1", // a pawn on the last rank
        };
        for (const char* fen : refused) {
            const auto core = testing::CoreAt(fen);
            FastPosition b;
            EXPECT_FALSE(b.SetFromBoard(core->board)) << fen;
            EXPECT_EQ(b.Occupied(), 0u) << fen;
        }
    }

    // A slider's reach found by stepping square by square.
    u64 WalkRays(int sq, u64 occupied, const int (&steps)[4][2])
    {
        u64 reach = 0;
        for (const auto& step : steps) {
            int file = FileOf(sq) + step[0], rank = RankOf(sq) + step[1];
            for (; file >= 0 && file < 8 && rank >= 0 && rank < 8; file += step[0], rank += step[1]) {
                reach |= Bit(8 * rank + file);
                if (occupied & Bit(8 * rank + file)) break;
            }
        }
        return reach;
    }

    TEST(FastPosition, SliderLookupMatchesWalkingTheRays)
    {
        constexpr int straight[4][2] = { { 0, 1 }, { 0, -1 }, { 1, 0 }, { -1, 0 } };
        constexpr int diagonal[4][2] = { { 1, 1 }, { -1, 1 }, { 1, -1 }, { -1, -1 } };
        u64 state = 0x1234567887654321ULL;
        auto next = [&]() {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            return state;
        };
        for (int sq = 0; sq < 64; ++sq)
            for (int i = 0; i < 300; ++i) {
                // Empty, full, then sparse and dense random boards.
                const u64 occupied = i == 0 ? 0
                    : i == 1                ? ~u64 { 0 }
                    : i % 2                 ? next() & next()
                                            : next() | next();
                ASSERT_EQ(RookAttacks(sq, occupied), WalkRays(sq, occupied, straight)) << sq;
                ASSERT_EQ(BishopAttacks(sq, occupied), WalkRays(sq, occupied, diagonal)) << sq;
            }
    }

    // Every pseudo-legal move to the given depth: GivesCheck says what making the move shows.
    int CompareChecks(FastPosition& b, int depth, const std::string& fen)
    {
        MoveList list;
        b.GenerateNoisy(list);
        b.GenerateQuiet(list);
        int checks = 0;
        for (int i = 0; i < list.count; ++i) {
            const Move m = list.moves[static_cast<std::size_t>(i)];
            const bool predicted = b.GivesCheck(m);
            if (!b.Make(m)) continue;
            EXPECT_EQ(predicted, b.InCheck()) << fen << " " << FastPosition::MoveText(m);
            checks += predicted ? 1 : 0;
            if (depth > 1) checks += CompareChecks(b, depth - 1, fen);
            b.Unmake();
        }
        return checks;
    }

    TEST(FastPosition, GivesCheckAgreesWithMakingTheMove)
    {
        // Castling with the rook's check, en passant uncovering a rook, promotions that check,
        // a knight and a pawn uncovering a bishop and a rook, and the suites' positions.
        const char* fixtures[] = {
            "5k2/8/8/8/8/8/8/4K2R w K -",
            "8/8/8/K2pP2r/8/8/8/7k w - d6",
            "3r1k2/2P5/8/8/8/8/8/4K3 w - -",
            "7k/8/5N2/8/3B4/8/8/R3K3 w Q -",
        };
        int checks = 0;
        for (const char* fen : fixtures) {
            FastPosition b;
            ASSERT_TRUE(b.SetFromFEN(fen)) << fen;
            checks += CompareChecks(b, 2, fen);
        }
        for (const char* name : { "wac.epd", "arasan19.epd", "arasan2024.epd" }) {
            std::ifstream in(std::string(CORVALA_TEST_DATA) + "/epd/" + name);
            ASSERT_TRUE(in.good()) << name;
            for (std::string line; std::getline(in, line);) {
                FastPosition b;
                if (!line.empty() && b.SetFromFEN(line)) checks += CompareChecks(b, 2, line);
            }
        }
        EXPECT_GT(checks, 1000);
    }

    TEST(FastPosition, RejectsAPlacementWithoutKings)
    {
        FastPosition b;
        EXPECT_FALSE(b.SetFromFEN("8/8/8/8/8/8/8/8 w - - 0 1"));
        EXPECT_FALSE(b.SetFromFEN("rnbqkbnr/ppppxppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
        EXPECT_FALSE(b.SetFromFEN("7k/8/8/8/8/8/1Q6/K7 w - - 0 1")) << "the side not to move is in check";
    }

} // namespace
} // namespace drnChess::fast
