// The engine object: initialisation, the result slot and its texts, game moves and game state,
// and the book move.

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "book/clsbook.h"
#include "engine/tests/enginetestutil.h"
#include "rules/random.h"

namespace drnChess {
namespace {

    using testing::MakeEngine;
    using testing::Options;
    using testing::TakeLines;
    using testing::Think;

    TEST(EngineInit, NoPopCountOption)
    {
        auto e = std::make_unique<clsEngine>(Options({ { "-nopopcnt", "" } }), nullptr);
        e->SetEcho(false);
        const auto lines = TakeLines(*e);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "# PopCount disabled by user");
        EXPECT_EQ(lines[1], "# soul: Simple5");
        EXPECT_FALSE(PopCountEnabled());
    }

    TEST(EngineInit, VerboseInitialisationReportsSizesAndTheBook)
    {
        clsEngineShare share;
        auto e = MakeEngine(&share);
        e->verbose = true;
        EXPECT_TRUE(e->Initialise(&share, Options({ { "book", "missing.cbk" } })));
        EXPECT_EQ(TakeLines(*e),
            (std::vector<std::string> { "# sizeof(clsMove)=0x20", "# sizeof(clsSimpleNode)=0xF8",
                "# sizeof(clsTT)=0x20", "# sizeof(clsBoard)=0x80", "# no book missing.cbk" }));
        EXPECT_FALSE(e->Initialise(nullptr, e->options)); // usable only with a share
        EXPECT_EQ(e->GetFEN(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    }

    TEST(EngineInit, LoadsTheBookNamedByTheOption)
    {
        const std::string path
            = (std::filesystem::temp_directory_path() / "corvala_engine_test.cbk").string();
        clsBook written;
        for (u64 k = 1; k <= 3; ++k) {
            clsBookEntry entry;
            entry.key = k * 1000;
            entry.wins = static_cast<std::int32_t>(k);
            written.AddOrMerge(entry);
        }
        ASSERT_TRUE(written.Save(path));
        auto e = MakeEngine(nullptr);
        e->verbose = true;
        e->Initialise(nullptr, Options({ { "book", path.c_str() } }));
        const auto lines = TakeLines(*e);
        bool announced = false;
        // The book's progress texts (ended by "\r", no line end) follow on the same kept line.
        for (const auto& l : lines)
            announced = announced || l.rfind("# loading book " + path, 0) == 0;
        EXPECT_TRUE(announced);
        EXPECT_EQ(e->book.Count(), 3);
        std::remove(path.c_str());
    }

    TEST(ResultSlot, PostTakeAndConsume)
    {
        auto e = MakeEngine(nullptr);
        int score = 77;
        EXPECT_EQ(e->TakeMoveText(true, &score), "");
        EXPECT_EQ(score, 77);
        EXPECT_EQ(e->ThinkingLine(), "");

        e->GenerateMoves(-1);
        clsMove m = *e->Root()->firstMove; // g1h3
        m.order = 210;
        e->PostMove(&m);
        EXPECT_EQ(e->TakeMoveText(false, &score), "g1h3");
        EXPECT_EQ(score, 210);
        EXPECT_EQ(e->TakeMoveText(true), "g1h3");
        EXPECT_EQ(e->TakeMoveText(true), "");

        e->PostMove(&m);
        e->PostMove(nullptr);
        EXPECT_EQ(e->TakeMoveText(false), "");
        m.flags |= MoveFlag::Illegal; // an illegal record posts no move
        e->PostMove(&m);
        EXPECT_EQ(e->TakeMoveText(false), "");
    }

    TEST(ResultSlot, ThinkingLineShowsCentipawnsOrMateDistance)
    {
        auto e = MakeEngine(nullptr);
        e->GenerateMoves(-1);
        const clsMove base = *e->Root()->firstMove;
        struct Case {
            std::uint32_t flags;
            std::int16_t order;
            const char* score;
        };
        const Case cases[] = {
            { 0, 210, "200" },
            { 0, -104, "-99" }, // truncated toward zero
            { MoveFlag::Mates | (3u << 24), 10000, "100003" },
            { MoveFlag::Loses | (2u << 24), -10000, "-99998" },
        };
        for (const Case& c : cases) {
            clsMove m = base;
            m.flags |= c.flags;
            m.order = c.order;
            e->PostMove(&m);
            const std::string line = e->ThinkingLine();
            // depth, score, two blanks, centiseconds, nodes, long form
            EXPECT_EQ(line.rfind(std::string("0 ") + c.score + "  ", 0), 0u) << line;
            EXPECT_EQ(line.substr(line.size() - 7), " Ng1-h3") << line;
        }
    }

    TEST(ResultSlot, StatisticsText)
    {
        auto e = MakeEngine(nullptr);
        EXPECT_EQ(e->StatisticsText(0), "# ");
        EXPECT_EQ(e->StatisticsText(250), "# 250 ms 0 Knps");
        e->SetFixedDepth(2);
        Think(*e);
        const std::uint64_t n = e->Nodes();
        ASSERT_GT(n, 0u);
        const std::string hits = ", TT hits: 0 0.00%, Rept.Hits: 0"; // no table
        EXPECT_EQ(e->StatisticsText(0), "# " + hits);
        EXPECT_EQ(e->StatisticsText(7), "# 7 ms " + std::to_string(n / 7) + " Knps" + hits);
    }

    TEST(Game, MoveTextsAndPositionFields)
    {
        auto e = MakeEngine(nullptr);
        EXPECT_TRUE(e->ApplyMoveText("e2e4"));
        EXPECT_TRUE(e->ApplyMoveText("Nf6")); // SAN is read too
        EXPECT_TRUE(e->ApplyMoveText("g1f3"));
        const std::string before = e->GetFEN();
        for (const char* bad : { "", "e2e4", "xyz", "O-O", "e8g8", "Ke7", "a7a5q" }) {
            EXPECT_FALSE(e->ApplyMoveText(bad)) << bad;
            EXPECT_EQ(e->GetFEN(), before) << bad;
        }
        EXPECT_EQ(e->SideToMove(), Black);
        e->SetFromFEN("4k3/8/8/8/8/8/8/4K3 b - - 3 17");
        EXPECT_EQ(e->SideToMove(), Black);
        EXPECT_EQ(e->FullMoveNumber(), 17);
        e->SetFullMoveNumber(0);
        EXPECT_EQ(e->FullMoveNumber(), 0);
    }

    TEST(Game, StatusCodes)
    {
        struct Case {
            const char* fen;
            int status;
        };
        const Case cases[] = {
            { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", GameState::Going },
            { "4k3/8/8/8/8/8/8/4K3 w - -", GameState::InsufficientMaterial },
            { "4k3/8/8/8/8/8/8/4KN2 b - -", GameState::InsufficientMaterial },
            { "4k3/8/8/8/8/8/8/2b1K3 w - -", GameState::InsufficientMaterial },
            { "4k3/8/8/8/8/8/8/3NKN2 b - -", GameState::Going }, // two knights play on
            { "4k3/8/8/8/8/8/4P3/4K3 b - -", GameState::Going }, // a pawn plays on
            { "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -", GameState::BlackMates },
            { "R5k1/5ppp/8/8/8/8/8/6K1 b - -", GameState::WhiteMates },
            { "k7/8/1Q6/8/8/8/8/7K b - -", GameState::Stalemate },
        };
        auto e = MakeEngine(nullptr);
        for (const Case& c : cases) {
            e->SetFromFEN(c.fen);
            EXPECT_EQ(e->GameStatus(), c.status) << c.fen;
            EXPECT_EQ(e->GetFEN().substr(0, 20), std::string(c.fen).substr(0, 20)); // position kept
        }
        EXPECT_EQ(GameState::WhiteMates, 0x16);
        EXPECT_EQ(GameState::BlackMates, 0x1A);
        EXPECT_EQ(GameState::Stalemate, 0x1200);
        EXPECT_EQ(GameState::InsufficientMaterial, 0x2200);
    }

    TEST(Game, PrintBoardPrintsTheReport)
    {
        auto e = MakeEngine(nullptr);
        e->PrintBoard();
        const auto lines = TakeLines(*e);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], "#");
        EXPECT_EQ(lines[1], e->BoardDiagram());
        EXPECT_EQ(lines[2], "# white value: 0.00 FEN: rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    }

    // A book of the three moves e2e4 (60 games), d2d4 (39) and a2a3 (1) from the start.
    class BookMoves : public ::testing::Test {
    protected:
        void SetUp() override
        {
            const std::pair<const char*, int> moves[] = { { "e2e4", 60 }, { "d2d4", 39 }, { "a2a3", 1 } };
            for (const auto& [move, games] : moves) {
                engine->SetFromFEN(StartFEN);
                ASSERT_TRUE(engine->ApplyMoveText(move));
                clsBookEntry entry;
                entry.key = BookKey(engine->board);
                entry.draws = games;
                engine->book.AddOrMerge(entry);
            }
            engine->SetFromFEN(StartFEN);
        }
        std::unique_ptr<clsEngine> engine = MakeEngine(nullptr);
    };

    TEST_F(BookMoves, RareMovesAreNeverChosenTheOthersUniformly)
    {
        engine->verbose = true;
        std::set<std::string> chosen;
        for (std::uint64_t seed = 1; seed <= 8; ++seed) {
            SeedRandom(seed);
            ASSERT_TRUE(engine->BookMove());
            const std::string move = engine->TakeMoveText(true);
            chosen.insert(move);
            const auto lines = TakeLines(*engine);
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0], move == "e2e4" ? "# book move Pe2-e4" : "# book move Pd2-d4");
            EXPECT_EQ(engine->GetFEN(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
        }
        EXPECT_EQ(chosen, (std::set<std::string> { "e2e4", "d2d4" }));
    }

    TEST_F(BookMoves, PositionsOutOfTheBookGiveNoMove)
    {
        engine->verbose = true;
        engine->ApplyMoveText("h2h3");
        EXPECT_FALSE(engine->BookMove());
        EXPECT_EQ(engine->TakeMoveText(false), "");
        EXPECT_TRUE(TakeLines(*engine).empty());
    }

    TEST_F(BookMoves, TheThinkPlaysFromTheBookUnlessOneIterationIsAsked)
    {
        Think(*engine);
        EXPECT_EQ(engine->Nodes(), 0u);
        const std::string move = engine->TakeMoveText(false);
        EXPECT_TRUE(move == "e2e4" || move == "d2d4") << move;

        engine->SetFixedDepth(2);
        engine->SetSingleIteration(true);
        Think(*engine);
        EXPECT_GT(engine->Nodes(), 0u);
        EXPECT_EQ(engine->CurrentDepth(), 2);
    }

} // namespace
} // namespace drnChess
