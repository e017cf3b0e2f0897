// Generation order, stages, node set-up, en passant, castling and the attack test.

#include <fstream>

#include <gtest/gtest.h>

#include "rules/attacks.h"
#include "rules/bits.h"
#include "rules/tests/rules_test_util.h"

namespace drnChess {
namespace {

    using testing::BatchTexts;
    using testing::CoreAt;
    using testing::RootList;
    using testing::Split;
    using Texts = std::vector<std::string>;

    TEST(GenerationOrder, WholeListsInOrder)
    {
        struct Case {
            const char* fen;
            const char* moves; // long forms, stage -1
        };
        const Case cases[] = {
            { StartFEN,
                "Ng1-h3 Ng1-f3 Nb1-c3 Nb1-a3 Ph2-h3 Pg2-g3 Pf2-f3 Pe2-e3 Pd2-d3 Pc2-c3 Pb2-b3 Pa2-a3 "
                "Ph2-h4 Pg2-g4 Pf2-f4 Pe2-e4 Pd2-d4 Pc2-c4 Pb2-b4 Pa2-a4" },
            // Rooks h1 before a1; per rook east, west, north, south; king moves; castling last.
            { "4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1",
                "Rh1-g1 Rh1-f1 Rh1-h2 Rh1-h3 Rh1-h4 Rh1-h5 Rh1-h6 Rh1-h7 Rh1-h8 "
                "Ra1-d1 Ra1-c1 Ra1-b1 Ra1-a2 Ra1-a3 Ra1-a4 Ra1-a5 Ra1-a6 Ra1-a7 Ra1-a8 "
                "Ke1-f1 Ke1-d1 Ke1-f2 Ke1-e2 Ke1-d2 Ke1-g1 Ke1-c1" },
            // A pawn on the seventh: both captures (towards a, then h), king moves, then pushes.
            { "1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1",
                "Pc7xRb8=q Pc7xRb8=n Pc7xRb8=b Pc7xRb8=r Pc7xRd8=q Pc7xRd8=n Pc7xRd8=b Pc7xRd8=r "
                "Ka1-b1 Ka1-b2 Ka1-a2 Pc7-c8=q Pc7-c8=n Pc7-c8=b Pc7-c8=r" },
            // Queen captures along rook lines (east, north, west, south), then bishop lines
            // (south-west, north-west, north-east, south-east), then the king's; quiet moves
            // along rook lines (east, west, north, south) and bishop lines (south-west,
            // north-west, south-east, north-east), then the king's.
            { "7K/6n1/1q1p4/8/r2Qn3/2p5/5b2/k2b4 w - - 0 1",
                "Qd4xNe4 Qd4xPd6 Qd4xRa4 Qd4xBd1 Qd4xPc3 Qd4xQb6 Qd4xNg7 Qd4xBf2 Kh8xNg7 "
                "Qd4-c4 Qd4-b4 Qd4-d5 Qd4-d2 Qd4-d3 Qd4-c5 Qd4-e3 Qd4-e5 Qd4-f6 Kh8-h7 Kh8-g8" },
            // Black: pawns capture downwards, pushes go down; en passant is not offered without
            // a double push before.
            { "4k3/8/8/8/8/8/3p4/2N4K b - - 0 1",
                "Pd2xNc1=q Pd2xNc1=n Pd2xNc1=b Pd2xNc1=r Ke8-f7 Ke8-e7 Ke8-d7 Ke8-f8 Ke8-d8 "
                "Pd2-d1=q Pd2-d1=n Pd2-d1=b Pd2-d1=r" },
        };
        for (const Case& c : cases) {
            auto core = CoreAt(c.fen);
            EXPECT_EQ(RootList(*core, true), Split(c.moves)) << c.fen;
        }
    }

    TEST(GenerationOrder, PromotionValues)
    {
        auto core = CoreAt("1r1r4/2P5/8/8/8/8/8/K6k w - - 0 1");
        core->GenerateMoves(-1);
        const clsMove* m = core->Root()->firstMove;
        const int expected[] = { 1335, 698, 698, 895, 1335, 698, 698, 895, 0, 0, 0, 835, 198, 198, 395 };
        for (int v : expected)
            EXPECT_EQ((m++)->value, v);
    }

    // Stage -1 is stages 0 to 5 in order, except that it writes king moves before pawn pushes.
    TEST(Stages, AddUpToTheWholeList)
    {
        const std::string path = std::string(CORVALA_TEST_DATA) + "/perft.epd";
        std::ifstream in(path);
        ASSERT_TRUE(in.good()) << "test data not found: " << path;
        auto core = std::make_unique<clsChessCore>();
        int positions = 0;
        for (std::string line; std::getline(in, line);) {
            if (line.empty()) continue;
            ++positions;
            core->SetFromFEN(line.substr(0, line.find(';')));
            const Texts whole = RootList(*core, true);

            Texts staged, queenQuiet, pawnPushes, kingQuiet, castling;
            for (int stage = 0; stage <= 5; ++stage) {
                core->GenerateMoves(stage);
                for (const std::string& t : BatchTexts(*core, true)) {
                    if (stage < 5)
                        staged.push_back(t);
                    else if (t[0] == 'Q')
                        queenQuiet.push_back(t);
                    else if (t[0] == 'P')
                        pawnPushes.push_back(t);
                    else if (t == "Ke1-g1" || t == "Ke1-c1" || t == "Ke8-g8" || t == "Ke8-c8")
                        castling.push_back(t);
                    else
                        kingQuiet.push_back(t);
                }
            }
            for (const Texts* part : { &queenQuiet, &kingQuiet, &pawnPushes, &castling })
                staged.insert(staged.end(), part->begin(), part->end());
            EXPECT_EQ(staged, whole) << line;
            EXPECT_EQ(clsChessCore::MoveCount(core->Root()), static_cast<int>(whole.size()));
        }
        EXPECT_EQ(positions, 150);
    }

    TEST(Stages, BatchPointersAndEndMark)
    {
        auto core = CoreAt("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
        clsSimpleNode* root = core->Root();
        int total = 0;
        for (int stage = 0; stage <= 5; ++stage) {
            const clsMove* before = clsChessCore::Next(root)->firstMove;
            core->GenerateMoves(stage);
            const clsMove* end = clsChessCore::Next(root)->firstMove;
            EXPECT_EQ(root->currentMove, stage == 0 ? root->firstMove : before);
            EXPECT_TRUE(end->Has(MoveFlag::Illegal)) << "end mark after stage " << stage;
            total = clsChessCore::MoveCount(root);
        }
        EXPECT_EQ(total, 48); // Kiwipete has 48 moves, all legal
        for (int stage : { -2, 6 }) {
            core->GenerateMoves(stage); // outside the stages: nothing happens
            EXPECT_EQ(clsChessCore::MoveCount(root), 48);
        }
        core->GenerateMoves(0); // stage 0 empties the list again
        EXPECT_EQ(clsChessCore::MoveCount(root), 2); // d5xe6 and g2xh3
    }

    TEST(NodeSetUp, KingCheckAndPinMask)
    {
        const u64 e1 = TextToSquare("e1");
        const int e1i = SquareIndex(e1);
        struct Case {
            const char* fen;
            bool inCheck;
            u64 pinMask;
        };
        const Case cases[] = {
            { "4k3/8/8/8/8/8/8/r3K3 w - - 0 1", true, e1 },
            { "4r1k1/8/8/8/8/8/4P3/4K3 w - - 0 1", false, e1 | Rays[RookLines][e1i] },
            { "6k1/8/8/b7/8/8/3P4/4K3 w - - 0 1", false, e1 | Rays[BishopLines][e1i] },
            { "6k1/8/8/q3q3/8/8/3PP3/4K3 w - - 0 1", false, e1 | Rays[AllLines][e1i] },
            { "6k1/8/8/8/8/8/3n4/4K3 w - - 0 1", false, e1 },
        };
        for (const Case& c : cases) {
            auto core = CoreAt(c.fen);
            core->GenerateMoves(-1);
            const clsSimpleNode* root = core->Root();
            EXPECT_EQ(root->inCheck != 0, c.inCheck) << c.fen;
            EXPECT_EQ(root->pinMask, c.pinMask) << c.fen;
            EXPECT_EQ(root->kingSquare, e1);
            EXPECT_EQ(root->kingNeighbourhood, KingAttacks[e1i]);
            EXPECT_EQ(root->pawnCacheKey, 1u);
            EXPECT_EQ(root->castleCopy, core->board.castle());
        }
        // In check, every pseudo-legal move is still written.
        auto core = CoreAt("4k3/8/8/8/8/8/8/r3K3 w - - 0 1");
        EXPECT_EQ(RootList(*core, false).size(), 5u);
        EXPECT_EQ(core->FilterLegalMoves(), 3); // d1 and f1 stay on the rook's rank
    }

    TEST(NodeSetUp, KingCaptureIsWrittenWithItsValue)
    {
        // Black to move while the white king stands in the rook's line.
        auto core = CoreAt("4k3/8/8/8/8/8/8/4K2r b - - 0 1");
        core->GenerateMoves(-1);
        const clsMove* m = core->Root()->firstMove;
        EXPECT_EQ(MoveToText(*m, true), "Rh1xKe1");
        EXPECT_EQ(m->Captured(), King);
        EXPECT_EQ(m->value, 5000);
    }

    TEST(Stages, CaptureAndPromotionHelpersAppendToTheList)
    {
        auto core = CoreAt("6rr/6P1/8/8/8/8/8/K6k w - - 0 1");
        clsSimpleNode* root = core->Root();
        core->moveTemplate = clsMove {};
        core->moveTemplate.flags = Pawn;
        core->moveTemplate.from = TextToSquare("g7");
        EXPECT_FALSE(core->AddCapture(TextToSquare("f8"))); // empty square
        EXPECT_FALSE(core->AddCapture(TextToSquare("a1"))); // own piece
        ASSERT_TRUE(core->AddCapture(TextToSquare("h8")));
        core->ExpandPromotions();
        root->currentMove = root->firstMove;
        EXPECT_EQ(testing::BatchTexts(*core, true), Split("Pg7xRh8=q Pg7xRh8=n Pg7xRh8=b Pg7xRh8=r"));
        const int values[] = { 1335, 698, 698, 895 };
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(root->firstMove[i].value, values[i]);
        EXPECT_TRUE(clsChessCore::Next(root)->firstMove->Has(MoveFlag::Illegal));
    }

    TEST(EnPassant, LoadedSquareAndMoveChain)
    {
        // Two pawns can take the d5 pawn: the one towards the a-file first.
        auto core = CoreAt("4k3/8/8/2PpP3/8/8/8/4K3 w - d6 0 1");
        Texts list = RootList(*core, true);
        ASSERT_GE(list.size(), 2u);
        EXPECT_EQ(list[0], "Pc5xPd6");
        EXPECT_EQ(list[1], "Pe5xPd6");
        const clsMove& ep = core->Root()->firstMove[0];
        EXPECT_TRUE(ep.Has(MoveFlag::EnPassant));
        EXPECT_EQ(ep.value, 105);
        EXPECT_EQ(ep.extra, TextToSquare("d5"));

        // The pre-root record stands for the double push d7-d5.
        EXPECT_TRUE(core->preRootMove.Has(MoveFlag::DoublePush));
        EXPECT_EQ(core->preRootMove.from, TextToSquare("d7"));
        EXPECT_EQ(core->preRootMove.to, TextToSquare("d5"));
        EXPECT_EQ(core->nodes[0].currentMove, &core->moveStack[0]);
        EXPECT_EQ(core->moveStack[0].to, TextToSquare("d5"));

        // Without the en-passant square there is no such capture.
        core->SetFromFEN("4k3/8/8/2PpP3/8/8/8/4K3 w - - 0 1");
        for (const std::string& t : RootList(*core, true))
            EXPECT_EQ(t.find("xPd6"), std::string::npos) << t;

        // Through game moves: the capture is offered right after the double push only.
        core->SetFromFEN("");
        for (const char* m : { "e2e4", "a7a6", "e4e5", "d7d5" })
            ASSERT_TRUE(core->ApplyGameMove(m)) << m;
        EXPECT_NE(core->MoveListText().find("Pe5xPd6"), std::string::npos);
        for (const char* m : { "a2a3", "a6a5" })
            ASSERT_TRUE(core->ApplyGameMove(m)) << m;
        EXPECT_EQ(core->MoveListText().find("Pe5xPd6"), std::string::npos);
        EXPECT_FALSE(core->ApplyGameMove("e5d6"));
    }

    TEST(EnPassant, SquareWithoutAVictimGivesNoCapture)
    {
        // No black pawn on d5: an en-passant capture would conjure a pawn out of nothing.
        auto core = CoreAt("4k3/8/8/4P3/8/8/8/4K3 w - d6 0 1");
        EXPECT_EQ(RootList(*core, false), Split("e1f1 e1d1 e1f2 e1e2 e1d2 e5e6"));
    }

    TEST(Castling, Conditions)
    {
        struct Case {
            const char* fen;
            const char* generated; // castling moves written by the generator
            const char* legal; // those that survive the legality test
        };
        const Case cases[] = {
            { "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1g1 e1c1", "e1g1 e1c1" },
            { "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8g8 e8c8", "e8g8 e8c8" },
            { "4k3/8/8/8/8/8/8/R3K2R w K - 0 1", "e1g1", "e1g1" },
            { "4k3/8/8/8/8/8/8/R3K2R w Q - 0 1", "e1c1", "e1c1" },
            { "4k3/8/8/8/8/8/8/R3K2R w - - 0 1", "", "" },
            { "4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1c1", "e1c1" }, // f1 attacked
            { "3rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1g1", "e1g1" }, // d1 attacked
            { "4k3/8/8/8/8/8/4r3/R3K2R w KQ - 0 1", "", "" }, // in check
            { "4k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1", "e1g1", "e1g1" }, // b1 occupied
            { "1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1g1 e1c1", "e1g1 e1c1" }, // b1 attacked: allowed
            { "4k1r1/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1g1 e1c1", "e1c1" }, // only g1 attacked
            { "4k3/8/8/8/8/8/8/4K2N w K - 0 1", "", "" }, // a right without its rook
            { "4k3/8/8/8/8/8/8/R4K1R w KQ - 0 1", "", "" }, // king off e1
        };
        auto castles = [](const Texts& moves) {
            std::string s;
            for (const std::string& m : moves)
                if (m == "e1g1" || m == "e1c1" || m == "e8g8" || m == "e8c8") s += (s.empty() ? "" : " ") + m;
            return s;
        };
        for (const Case& c : cases) {
            auto core = CoreAt(c.fen);
            EXPECT_EQ(castles(RootList(*core, false)), c.generated) << c.fen;
            core->FilterLegalMoves();
            EXPECT_EQ(castles(BatchTexts(*core, false)), c.legal) << c.fen;
        }
    }

    TEST(IsAttacked, EachKindOfAttacker)
    {
        struct Case {
            const char* fen;
            const char* square;
            bool attacked;
        };
        const Case cases[] = {
            { "4k3/8/8/8/3r4/8/8/4K3 w - - 0 1", "d1", true }, // rook down the file
            { "4k3/8/8/8/3r4/8/8/4K3 w - - 0 1", "h4", true }, // rook along the rank
            { "4k3/8/8/8/3r4/8/3P4/4K3 w - - 0 1", "d1", false }, // blocked
            { "4k3/8/8/8/3r4/8/3P4/4K3 w - - 0 1", "d2", true }, // the blocker itself
            { "4k3/8/8/3p4/8/8/8/4K3 w - - 0 1", "e4", true }, // black pawn attacks down
            { "4k3/8/8/3p4/8/8/8/4K3 w - - 0 1", "d4", false },
            { "4k3/8/8/8/4P3/8/8/4K3 b - - 0 1", "d5", true }, // white pawn attacks up
            { "4k3/8/8/8/4P3/8/8/4K3 b - - 0 1", "e5", false },
            { "4k1n1/8/8/8/8/8/8/4K3 w - - 0 1", "f6", true }, // knight
            { "4k1n1/8/8/8/8/8/8/4K3 w - - 0 1", "g6", false },
            { "4k3/8/8/8/8/8/6b1/4K3 w - - 0 1", "e4", true }, // bishop
            { "4k3/8/8/8/8/5N2/6b1/4K3 w - - 0 1", "e4", false },
            { "4k3/8/8/8/8/8/6b1/4K3 w - - 0 1", "f1", true },
            { "4k3/8/8/8/8/8/8/q3K3 w - - 0 1", "d1", true }, // queen on a line
            { "4k3/8/8/8/8/8/8/q3K3 w - - 0 1", "d4", true }, // queen on a diagonal
            { "4k3/8/8/8/8/8/8/q3K3 w - - 0 1", "c2", false },
            { "4k3/8/8/8/8/8/8/4K3 w - - 0 1", "d7", true }, // king
            { "4k3/8/8/8/8/8/8/4K3 w - - 0 1", "d2", false }, // own king does not count
        };
        for (const Case& c : cases) {
            auto core = CoreAt(c.fen);
            EXPECT_EQ(core->IsAttacked(TextToSquare(c.square)), c.attacked) << c.fen << " " << c.square;
        }
        EXPECT_FALSE(CoreAt("")->IsAttacked(0));
    }

} // namespace
} // namespace drnChess
