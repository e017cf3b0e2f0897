// Make-move, game moves, hashing, the node stack and the random generator.

#include <set>

#include <gtest/gtest.h>

#include "rules/bits.h"
#include "rules/random.h"
#include "rules/tests/rules_test_util.h"

namespace drnChess {
namespace {

    using testing::CoreAt;

    // The castling terms that the signature puts into the hash: each castling square that holds
    // a piece, under that piece's colour.
    u64 CastleTerms(const clsChessCore& core)
    {
        u64 terms = 0;
        for (int s = 0; s < 64; ++s) {
            const u64 b = u64 { 1 } << s;
            if (!(core.board.castle() & b)) continue;
            if (core.board.white() & b) terms ^= ZobristKeys[s][6][White];
            if (core.board.black() & b) terms ^= ZobristKeys[s][6][Black];
        }
        return terms;
    }

    // The root move with the given short text, or null.
    const clsMove* FindMove(clsChessCore& core, const std::string& text)
    {
        core.current = core.Root();
        core.GenerateMoves(-1);
        for (const clsMove* m = core.Root()->firstMove; m < clsChessCore::Next(core.Root())->firstMove; ++m)
            if (MoveToText(*m, false) == text) return m;
        return nullptr;
    }

    TEST(Keys, DrawnOnceAndDistinct)
    {
        auto core = CoreAt(""); // building a core draws the keys
        std::set<u64> keys;
        for (int s = 0; s < 64; ++s)
            for (int slot = 0; slot <= 6; ++slot)
                for (int c = 0; c < 2; ++c)
                    keys.insert(ZobristKeys[s][slot][c]);
        keys.insert(SideKeys[0]);
        keys.insert(SideKeys[1]);
        EXPECT_EQ(keys.size(), 64u * 7 * 2 + 2);
        EXPECT_EQ(keys.count(0), 0u);
        const u64 first = ZobristKeys[0][0][0];
        InitKeysOnce();
        EXPECT_EQ(ZobristKeys[0][0][0], first); // never drawn again
    }

    TEST(Random, XorShiftStepsFromAFixedSeed)
    {
        // From s0 = 0, s1 = 1: the first step gives s1 = 1, result 1 + 1 = 2; the second
        // x = 1 ^ 1 << 23, s1 = x ^ 1 ^ x >> 17 = 0x800040, result 0x800040 + 1.
        SeedRandom(0);
        EXPECT_EQ(NextRandom(), 2u);
        EXPECT_EQ(NextRandom(), 0x800041u);
        SeedRandom(12345);
        const u64 a = NextRandom(), b = NextRandom();
        SeedRandom(12345);
        EXPECT_EQ(NextRandom(), a);
        EXPECT_EQ(NextRandom(), b);
        SeedRandom(12346);
        EXPECT_NE(NextRandom(), a);
        SeedRandomFromTime();
    }

    TEST(Signature, HasNoSideTermButTheKeyHas)
    {
        auto white = CoreAt("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
        auto black = CoreAt("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1");
        EXPECT_EQ(white->ComputeSignature(), black->ComputeSignature());
        EXPECT_EQ(white->PositionKey() ^ black->PositionKey(), SideKeys[0] ^ SideKeys[1]);
        // Castling rights and the en-passant square reach the key.
        EXPECT_NE(CoreAt("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1")->PositionKey(),
            CoreAt("4k3/8/8/8/8/8/8/R3K2R w K - 0 1")->PositionKey());
        EXPECT_NE(CoreAt("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1")->PositionKey(),
            CoreAt("4k3/8/8/3pP3/8/8/8/4K3 w - - 0 1")->PositionKey());
    }

    TEST(Hash, IncrementalHashFollowsTheSignature)
    {
        // Without castling rights the signature has no castling terms, so the incremental hash
        // must equal it after every move: captures, en passant, promotions with capture.
        auto core = CoreAt("4k3/1P6/8/8/2p5/8/3P4/4K3 w - - 0 1");
        for (const char* m : { "d2d4", "c4d3", "e1d2", "e8d7", "b7b8n", "d7c7", "b8a6", "c7b6" }) {
            ASSERT_TRUE(core->ApplyGameMove(m)) << m;
            EXPECT_EQ(core->board.hash(), core->ComputeSignature()) << m;
            EXPECT_EQ(core->board.hash(), CoreAt(core->GetFEN())->board.hash()) << m;
        }
    }

    TEST(Hash, CastlingTermsStayAsLoaded)
    {
        // MakeMove never touches the castling terms: the hash differs from the signature by
        // exactly the terms of the castling squares lost since the position was loaded.
        auto core = CoreAt("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
        const u64 loaded = CastleTerms(*core);
        for (const char* m : { "e1g1", "h8h2", "a1a8", "e8d7", "f1f7" }) {
            ASSERT_TRUE(core->ApplyGameMove(m)) << m;
            EXPECT_EQ(core->board.hash() ^ core->ComputeSignature(), loaded ^ CastleTerms(*core)) << m;
        }
    }

    TEST(Hash, TranspositionsMeetInTheSameKey)
    {
        auto a = CoreAt(""), b = CoreAt("");
        for (const char* m : { "e2e3", "e7e6", "g1f3" })
            ASSERT_TRUE(a->ApplyGameMove(m));
        for (const char* m : { "g1f3", "e7e6", "e2e3" })
            ASSERT_TRUE(b->ApplyGameMove(m));
        EXPECT_EQ(a->PositionKey(), b->PositionKey());

        // Knights out and back: hash, castle, en passant, side and so the key as at the start.
        auto c = CoreAt("");
        const clsBoard start = c->board;
        const u64 key = c->PositionKey();
        for (const char* m : { "g1f3", "g8f6", "f3g1", "f6g8" })
            ASSERT_TRUE(c->ApplyGameMove(m));
        EXPECT_EQ(c->board.hash(), start.hash());
        EXPECT_EQ(c->board.castle(), start.castle());
        EXPECT_EQ(c->board.epSquare(), 0u);
        EXPECT_EQ(c->board.side, White);
        EXPECT_EQ(c->PositionKey(), key);
    }

    TEST(MakeMove, EnPassantCapture)
    {
        auto core = CoreAt("rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2");
        const clsMove* ep = FindMove(*core, "e5d6");
        ASSERT_NE(ep, nullptr);
        EXPECT_TRUE(ep->Has(MoveFlag::EnPassant));
        const int material = core->board.material;
        core->MakeMove(*ep);
        EXPECT_FALSE(core->board.occupied() & TextToSquare("d5"));
        EXPECT_TRUE(core->board.own() & core->board.pawns() & TextToSquare("d6"));
        EXPECT_EQ(core->board.pawnCount[Black], 7);
        EXPECT_EQ(core->board.material, material + 105);
        EXPECT_EQ(core->board.castle(), 0x8900000000000089ULL);
    }

    TEST(MakeMove, CastlingMovesBothPiecesAndAddsTheBonus)
    {
        auto core = CoreAt("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
        const u64 loadedTerms = CastleTerms(*core);
        core->castleBonus = 20;
        const clsMove* castle = FindMove(*core, "e1g1");
        ASSERT_NE(castle, nullptr);
        core->MakeMove(*castle);
        const clsBoard& b = core->board;
        EXPECT_EQ(b.own() & b.kings(), TextToSquare("g1"));
        EXPECT_EQ(b.own() & b.rooks(), TextToSquare("f1") | TextToSquare("a1"));
        EXPECT_FALSE(b.castle() & TextToSquare("e1")); // so neither white right remains
        EXPECT_EQ(b.castle() & 0xFF00000000000000ULL, 0x8900000000000000ULL);
        EXPECT_EQ(b.material, 20);
        // The pieces' keys moved; the castling terms stayed as loaded.
        EXPECT_EQ(b.hash() ^ core->ComputeSignature(), loadedTerms ^ CastleTerms(*core));
    }

    TEST(MakeMove, CaptureOnACornerRemovesThatRight)
    {
        auto core = CoreAt("r3k2r/8/8/8/8/8/8/4K2R w Kkq - 0 1");
        ASSERT_TRUE(core->ApplyGameMove("h1h8"));
        EXPECT_EQ(core->GetFEN(), "r3k2R/8/8/8/8/8/8/4K3 b q -");
        EXPECT_EQ(core->board.pieceCount[Black], 2);
        EXPECT_EQ(core->board.material, 0); // a rook each
    }

    TEST(GameMove, EnPassantSquareAndSide)
    {
        auto core = CoreAt("");
        ASSERT_TRUE(core->ApplyGameMove("e2e4"));
        EXPECT_EQ(core->board.epSquare(), u64 { 1 } << 19);
        EXPECT_EQ(core->board.side, Black);
        ASSERT_TRUE(core->ApplyGameMove("g8f6"));
        EXPECT_EQ(core->board.epSquare(), 0u);
        EXPECT_EQ(core->board.side, White);
        EXPECT_EQ(core->GetFEN(), "rnbqkb1r/pppppppp/5n2/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq -");
    }

    TEST(GameMove, RefusalsLeaveThePositionUnchanged)
    {
        const char* pinned = "4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1";
        struct Case {
            const char* fen;
            const char* move;
        };
        const Case cases[] = {
            { StartFEN, "" }, { StartFEN, "zz" }, { StartFEN, "e2" },
            { StartFEN, "e2e5" }, // not a move of the pawn
            { StartFEN, "e2e4q" }, // promotion letter on a plain move
            { StartFEN, "e1e2" }, // own piece in the way
            { pinned, "e2c3" }, // the knight is pinned
            { "3k4/4P3/8/8/8/8/8/K7 w - - 0 1", "e7e8" }, // promotion letter missing
            { "k7/8/8/8/8/8/8/K6r w - - 0 1", "a1b1" }, // stays in check
        };
        for (const Case& c : cases) {
            auto core = CoreAt(c.fen);
            const std::string before = core->GetFEN();
            const u64 key = core->PositionKey();
            EXPECT_FALSE(core->ApplyGameMove(c.move)) << c.fen << " " << c.move;
            EXPECT_EQ(core->GetFEN(), before);
            EXPECT_EQ(core->PositionKey(), key);
        }
    }

    TEST(GameMove, PromotionNeedsItsLetter)
    {
        for (const char* text : { "e7e8q", "e7e8=q", "e7e8Q" }) {
            auto core = CoreAt("3k4/4P3/8/8/8/8/8/K7 w - - 0 1");
            EXPECT_FALSE(core->ApplyGameMove("e7e8"));
            ASSERT_TRUE(core->ApplyGameMove(text)) << text;
            EXPECT_EQ(core->GetFEN(), "3kQ3/8/8/8/8/8/8/K7 b - -");
            EXPECT_EQ(core->board.pieceCount[White], 2);
            EXPECT_EQ(core->board.pawnCount[White], 0);
            EXPECT_EQ(core->board.material, -940);
        }
        auto core = CoreAt("3k4/4P3/8/8/8/8/8/K7 w - - 0 1");
        ASSERT_TRUE(core->ApplyGameMove("e7e8n"));
        EXPECT_EQ(core->GetFEN(), "3kN3/8/8/8/8/8/8/K7 b - -");
    }

    class MarkingCore : public clsChessCore {
    public:
        std::vector<u64> marked;
        clsTT* answer = reinterpret_cast<clsTT*>(&marked); // any distinct address will do

    protected:
        clsTT* MarkGamePosition(u64 key) override
        {
            marked.push_back(key);
            return answer;
        }
    };

    TEST(GameMove, MarksThePositionAndRefreshesTheRoot)
    {
        auto core = std::make_unique<MarkingCore>();
        core->SetFromFEN("");
        ASSERT_TRUE(core->ApplyGameMove("e2e4"));
        ASSERT_EQ(core->marked.size(), 1u);
        EXPECT_EQ(core->marked[0], core->PositionKey());
        EXPECT_EQ(core->Root()->entry, core->answer);
        // The root now belongs to the new position: black's moves, fresh board copy.
        EXPECT_EQ(clsChessCore::MoveCount(core->Root()), 0);
        EXPECT_EQ(core->MoveListText().rfind("Ng8-h6 Ng8-f6 Nb8-c6 Nb8-a6 ", 0), 0u);
        EXPECT_EQ(core->Root()->boardCopy.hash(), core->board.hash());
        EXPECT_FALSE(core->ApplyGameMove("e2e4"));
        EXPECT_EQ(core->marked.size(), 1u); // a refused move marks nothing

        auto plain = CoreAt(""); // the default hook plants nothing
        ASSERT_TRUE(plain->ApplyGameMove("d2d4"));
        EXPECT_EQ(plain->Root()->entry, nullptr);
    }

    TEST(FilterLegalMoves, KeepsLegalMovesInOrder)
    {
        // The e2 knight is pinned: only the king's four moves are legal.
        auto core = CoreAt("4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1");
        core->GenerateMoves(-1);
        const int generated = clsChessCore::MoveCount(core->Root());
        EXPECT_EQ(core->FilterLegalMoves(), 4);
        EXPECT_EQ(generated, 6 + 4);
        EXPECT_EQ(testing::BatchTexts(*core, false), testing::Split("e1f1 e1d1 e1f2 e1d2"));
        EXPECT_EQ(core->Root()->legalCount, 4);
        EXPECT_TRUE(clsChessCore::Next(core->Root())->firstMove->Has(MoveFlag::Illegal));
    }

    TEST(NodeStack, ResetFillsEverySlot)
    {
        for (const char* fen : { "4k3/8/8/8/8/8/8/4K3 w - - 0 1", "4k3/8/8/8/8/8/8/4K3 b - - 0 1" }) {
            auto core = CoreAt(fen);
            const bool black = core->board.side == Black;
            EXPECT_EQ(core->current, core->Root());
            EXPECT_EQ(clsChessCore::MoveCount(core->Root()), 0);
            EXPECT_EQ(core->Root()->firstMove, &core->moveStack[1]);
            EXPECT_EQ(core->nodes[0].currentMove, &core->moveStack[0]);
            for (int i = 0; i < NodeStackSize; ++i) {
                const clsSimpleNode& n = core->nodes[i];
                EXPECT_EQ(n.best, -15000);
                EXPECT_EQ(n.ply, i);
                if (i > 0) {
                    EXPECT_EQ(n.currentMove, nullptr);
                }
                // rankMask[0], the seventh-rank mask: rank 2 for odd slots after a reset with
                // black to move and for even slots with white to move.
                const bool rank2 = (i % 2 == 1) == black;
                EXPECT_EQ(n.rankMask[0], rank2 ? 0x000000000000FF00ULL : 0x00FF000000000000ULL) << i;
                EXPECT_EQ(n.rankMask[0] | n.rankMask[1], 0x00FF00000000FF00ULL);
            }
            EXPECT_EQ(core->Root()->boardCopy.hash(), core->board.hash());
            EXPECT_EQ(core->Root()->castleCopy, core->board.castle());
        }
    }

} // namespace
} // namespace drnChess
