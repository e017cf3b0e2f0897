#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "book/bookcommands.h"
#include "book/clsbook.h"
#include "book/polyglot.h"
#include "book/tests/booktestutil.h"
#include "rules/clschesscore.h"
#include "rules/movereader.h"

using namespace drnChess;
using booktest::TempDir;
using booktest::WriteBytes;

namespace {

constexpr const char* SmallBook = "/usr/share/gnuchess/smallbook.bin";

std::unique_ptr<clsChessCore> CoreAfter(const std::string& moves)
{
    auto core = std::make_unique<clsChessCore>();
    core->SetFromFEN(StartFEN);
    std::istringstream in(moves);
    std::string move;
    while (in >> move)
        EXPECT_TRUE(core->ApplyGameMove(move)) << move;
    return core;
}

std::string Entry(u64 key, std::uint16_t move, std::uint16_t weight)
{
    std::string bytes;
    for (int i = 7; i >= 0; --i)
        bytes.push_back(static_cast<char>((key >> (8 * i)) & 0xFF));
    bytes.push_back(static_cast<char>(move >> 8));
    bytes.push_back(static_cast<char>(move & 0xFF));
    bytes.push_back(static_cast<char>(weight >> 8));
    bytes.push_back(static_cast<char>(weight & 0xFF));
    bytes.append(4, '\0');
    return bytes;
}

// Move code from squares: file/row 0-based.
std::uint16_t Code(const std::string& m)
{
    return static_cast<std::uint16_t>(
        (m[2] - 'a') | ((m[3] - '1') << 3) | ((m[0] - 'a') << 6) | ((m[1] - '1') << 9));
}

std::vector<std::string> MoveTexts(const std::vector<PolyglotMove>& moves)
{
    std::vector<std::string> texts;
    for (const PolyglotMove& m : moves)
        texts.push_back(m.move);
    std::sort(texts.begin(), texts.end());
    return texts;
}

} // namespace

// The published test positions of the format, which exercise castling rights lost by a king
// move and en passant counted only when a pawn can take.
TEST(PolyglotKey, PublishedTestPositions)
{
    const struct {
        const char* moves;
        u64 key;
    } cases[] = {
        { "", 0x463b96181691fc9cULL },
        { "e2e4", 0x823c9b50fd114196ULL },
        { "e2e4 d7d5", 0x0756b94461c50fb0ULL },
        { "e2e4 d7d5 e4e5", 0x662fafb965db29d4ULL },
        { "e2e4 d7d5 e4e5 f7f5", 0x22a48b5a8e47ff78ULL },
        { "e2e4 d7d5 e4e5 f7f5 e1e2", 0x652a607ca3f242c1ULL },
        { "e2e4 d7d5 e4e5 f7f5 e1e2 e8f7", 0x00fdd303c946bdd9ULL },
        { "a2a4 b7b5 h2h4 b5b4 c2c4", 0x3c8123ea7b067637ULL },
        { "a2a4 b7b5 h2h4 b5b4 c2c4 b4c3 a1a3", 0x5c3f9b829b279560ULL },
    };
    for (const auto& c : cases) {
        auto core = CoreAfter(c.moves);
        EXPECT_EQ(PolyglotKey(*core), c.key) << "after '" << c.moves << "'";
    }
    // The same position with an en passant square no pawn can use has the key without it.
    EXPECT_EQ(PolyglotKey("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"),
        PolyglotKey("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1"));
}

TEST(PolyglotMove, CastlingIsKingTakesRookAndPromotionsKeepTheirPiece)
{
    auto core = std::make_unique<clsChessCore>();
    ASSERT_TRUE(core->SetFromFEN("r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq - 0 1"));
    EXPECT_EQ(PolyglotMoveText(Code("e1h1"), *core), "e1g1");
    EXPECT_EQ(PolyglotMoveText(Code("e1a1"), *core), "e1c1");
    EXPECT_EQ(PolyglotMoveText(static_cast<std::uint16_t>(Code("b7a8") | (1 << 12)), *core), "b7a8n");
    // A rook on e1 going to h1 is a rook move, not castling.
    ASSERT_TRUE(core->SetFromFEN("4k3/8/8/8/8/8/8/K3R3 w - - 0 1"));
    EXPECT_EQ(PolyglotMoveText(Code("e1h1"), *core), "e1h1");

    ASSERT_TRUE(core->SetFromFEN("r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq - 0 1"));
    for (const std::string text : { "e1g1", "e1c1", "b7a8q", "b7b8r" }) {
        auto move = ReadCoordinateMove(*core, text);
        ASSERT_TRUE(move) << text;
        EXPECT_EQ(PolyglotMoveText(PolyglotMoveCode(*move), *core), text);
    }
    EXPECT_EQ(PolyglotMoveCode(*ReadCoordinateMove(*core, "e1g1")), Code("e1h1"));
}

// Games to a ".cbk" book, the book to ".bin", and the file read back: every move of the games
// in its position, weighted 2 x wins + draws of the mover.
TEST(PolyglotBook, WrittenFromACbkBookAndReadBack)
{
    TempDir dir;
    WriteBytes(dir.Path("g.pgn"),
        "[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bb5 1-0\n\n"
        "[Result \"1/2-1/2\"]\n\n1. e4 c5 2. Nf3 1/2-1/2\n\n"
        "[Result \"0-1\"]\n\n1. d4 d5 0-1\n\n"
        "[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 Nf6 1-0\n");
    auto core = std::make_unique<clsChessCore>();
    auto printer = [](const std::string&, bool) {};
    ASSERT_EQ(BuildBooks(dir.Path(), 0, 0, *core, printer), 4);
    clsBook cbk;
    ASSERT_TRUE(cbk.Load(dir.Path("g.cbk")));

    const std::vector<PolyglotEntry> entries = PolyglotFromBook(*core, cbk);
    std::string error;
    ASSERT_TRUE(SavePolyglot(dir.Path("g.bin"), entries, &error)) << error;
    clsPolyglotBook book;
    ASSERT_TRUE(book.Load(dir.Path("g.bin"), &error)) << error;
    EXPECT_EQ(book.Count(), entries.size());

    // Start: e4 (two wins and a draw: 5), d4 (a loss: 0).
    auto start = CoreAfter("");
    std::vector<PolyglotMove> moves = book.Moves(*start, &error);
    ASSERT_EQ(moves.size(), 2u) << error;
    EXPECT_EQ(moves[0].move, "e2e4");
    EXPECT_EQ(moves[0].weight, 5);
    EXPECT_EQ(moves[1].move, "d2d4");
    EXPECT_EQ(moves[1].weight, 0);
    EXPECT_EQ(PickPolyglotMove(moves, 12345, true), 0);

    auto afterE4 = CoreAfter("e2e4");
    EXPECT_EQ(MoveTexts(book.Moves(*afterE4)), (std::vector<std::string> { "c7c5", "e7e5" }));
    auto deep = CoreAfter("e2e4 e7e5 g1f3");
    EXPECT_EQ(MoveTexts(book.Moves(*deep)), (std::vector<std::string> { "b8c6", "g8f6" }));
    auto last = CoreAfter("e2e4 e7e5 g1f3 b8c6");
    EXPECT_EQ(MoveTexts(book.Moves(*last)), (std::vector<std::string> { "f1b5" }));
    auto end = CoreAfter("e2e4 e7e5 g1f3 b8c6 f1b5");
    EXPECT_TRUE(book.Moves(*end).empty());

    // A limit of 1 (two games) keeps only the moves played twice or more.
    const std::vector<PolyglotEntry> common = PolyglotFromBook(*core, cbk, 1);
    ASSERT_TRUE(SavePolyglot(dir.Path("common.bin"), common));
    ASSERT_TRUE(book.Load(dir.Path("common.bin")));
    EXPECT_EQ(MoveTexts(book.Moves(*start)), (std::vector<std::string> { "e2e4" }));
    EXPECT_EQ(MoveTexts(book.Moves(*afterE4)), (std::vector<std::string> { "e7e5" }));
}

// The walk goes on past moves that change the castling rights (a king's walk, castling itself):
// every stored successor of the games is written, as the games reached it.
TEST(PolyglotBook, TheWalkFollowsGamesPastKingMovesAndCastling)
{
    TempDir dir;
    WriteBytes(dir.Path("k.pgn"),
        "[Result \"0-1\"]\n\n1. e4 e5 2. f4 exf4 3. Nf3 g5 4. Bc4 g4 5. Ne5 Qh4+ 6. Kf1 f3 7. g3 Qh3+ 0-1\n\n"
        "[Result \"1-0\"]\n\n1. Nf3 Nf6 2. g3 g6 3. Bg2 Bg7 4. O-O O-O 5. d3 d6 1-0\n");
    auto core = std::make_unique<clsChessCore>();
    ASSERT_EQ(BuildBooks(dir.Path(), 0, 0, *core, [](const std::string&, bool) {}), 2);
    clsBook cbk;
    ASSERT_TRUE(cbk.Load(dir.Path("k.cbk")));
    const std::vector<PolyglotEntry> entries = PolyglotFromBook(*core, cbk);
    EXPECT_EQ(entries.size(), 24u); // every move of both games
    ASSERT_TRUE(SavePolyglot(dir.Path("k.bin"), entries));
    clsPolyglotBook book;
    ASSERT_TRUE(book.Load(dir.Path("k.bin")));
    auto afterKf1 = CoreAfter("e2e4 e7e5 f2f4 e5f4 g1f3 g7g5 f1c4 g5g4 f3e5 d8h4 e1f1");
    EXPECT_EQ(MoveTexts(book.Moves(*afterKf1)), (std::vector<std::string> { "f4f3" }));
    auto afterF3 = CoreAfter("e2e4 e7e5 f2f4 e5f4 g1f3 g7g5 f1c4 g5g4 f3e5 d8h4 e1f1 f4f3 g2g3");
    EXPECT_EQ(MoveTexts(book.Moves(*afterF3)), (std::vector<std::string> { "h4h3" }));
    auto afterCastling = CoreAfter("g1f3 g8f6 g2g3 g7g6 f1g2 f8g7 e1g1 e8g8");
    EXPECT_EQ(MoveTexts(book.Moves(*afterCastling)), (std::vector<std::string> { "d2d3" }));
}

TEST(PolyglotBook, PickFollowsTheWeights)
{
    const std::vector<PolyglotMove> moves = { { "a", 1 }, { "b", 3 }, { "c", 0 } };
    int counts[3] = {};
    for (std::uint64_t r = 0; r < 400; ++r)
        ++counts[PickPolyglotMove(moves, r, false)];
    EXPECT_EQ(counts[0], 100);
    EXPECT_EQ(counts[1], 300);
    EXPECT_EQ(counts[2], 0);
    EXPECT_EQ(PickPolyglotMove(moves, 0, true), 1);
    EXPECT_EQ(PickPolyglotMove({}, 0, false), -1);
}

TEST(PolyglotBook, BadFilesAreRefusedAndTheBookStays)
{
    TempDir dir;
    const u64 start = 0x463b96181691fc9cULL;
    WriteBytes(dir.Path("good.bin"), Entry(start, Code("e2e4"), 10) + Entry(start, Code("d2d4"), 5));
    WriteBytes(dir.Path("short.bin"), Entry(start, Code("e2e4"), 10) + "x");
    WriteBytes(dir.Path("unsorted.bin"), Entry(start + 1, Code("e2e4"), 10) + Entry(start, Code("d2d4"), 5));
    WriteBytes(dir.Path("illegal.bin"), Entry(start, Code("e2e5"), 10));

    clsPolyglotBook book;
    std::string error;
    ASSERT_TRUE(book.Load(dir.Path("good.bin"), &error)) << error;
    // A device named as a book is refused, not read without end.
    std::filesystem::create_symlink("/dev/zero", dir.Path("zero.bin"));
    for (const char* name : { "short.bin", "unsorted.bin", "missing.bin", "zero.bin" }) {
        error.clear();
        EXPECT_FALSE(book.Load(dir.Path(name), &error)) << name;
        EXPECT_NE(error.find(name), std::string::npos) << error;
        EXPECT_EQ(book.Path(), dir.Path("good.bin"));
        EXPECT_EQ(book.Count(), 2u);
    }

    // A move that is not legal where it is stored: the probe gives nothing and says why.
    ASSERT_TRUE(book.Load(dir.Path("illegal.bin")));
    auto core = CoreAfter("");
    error.clear();
    EXPECT_TRUE(book.Moves(*core, &error).empty());
    EXPECT_NE(error.find("e2e5 is illegal"), std::string::npos) << error;
    EXPECT_EQ(core->GetFEN(), CoreAfter("")->GetFEN());
}

// The book Debian's gnuchess ships, read by its own peer's dump: known moves in known places.
TEST(PolyglotBook, ProbesTheSmallBookOfGnuchess)
{
    if (!std::filesystem::exists(SmallBook))
        GTEST_SKIP() << SmallBook << " is absent (scripts/install-deps.sh installs gnuchess)";
    clsPolyglotBook book;
    std::string error;
    ASSERT_TRUE(book.Load(SmallBook, &error)) << error;

    auto start = CoreAfter("");
    const std::vector<PolyglotMove> first = book.Moves(*start, &error);
    ASSERT_FALSE(first.empty()) << error;
    EXPECT_EQ(first[static_cast<std::size_t>(PickPolyglotMove(first, 0, true))].move, "e2e4");

    auto caroKann = CoreAfter("e2e4 c7c6 d2d4 d7d5");
    const std::vector<std::string> expected = { "b1c3", "b1d2", "e4d5", "e4e5" };
    EXPECT_EQ(MoveTexts(book.Moves(*caroKann, &error)), expected) << error;

    // Long castling, stored as e1a1, comes back as the king's move.
    auto castle = CoreAfter("e2e4 c7c6 d2d4 d7d5 b1d2 d5e4 d2e4 c8f5 e4g3 f5g6 h2h4 h7h6 g1f3 b8d7 h4h5 g6h7 "
                            "f1d3 h7d3 d1d3 g8f6 c1f4 d8a5 f4d2 a5c7");
    EXPECT_EQ(MoveTexts(book.Moves(*castle, &error)), (std::vector<std::string> { "e1c1" })) << error;
}
