// The backslash console commands, through the real program, in a scratch working folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/tests/corvalaprocess.h"
#include "book/polyglot.h"
#include "rules/clschesscore.h"

namespace fs = std::filesystem;

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool AnyStartsWith(const std::vector<std::string>& lines, const std::string& prefix)
{
    return std::any_of(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

class Console : public ::testing::Test {
protected:
    fs::path dir;
    std::unique_ptr<CorvalaProcess> p;
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("corvala_console_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "pgn");
        fs::copy_file(std::string(CORVALA_TEST_DATA) + "/two_games.pgn", dir / "pgn" / "two_games.pgn");
        p = std::make_unique<CorvalaProcess>(
            std::vector<std::string> { "memory=1", "-seed=3" }, dir.string());
        p->Exchange("xboard");
    }
    void TearDown() override
    {
        p.reset();
        fs::remove_all(dir);
    }
};

} // namespace

TEST_F(Console, BooksAreBuiltLoadedListedAndSaved)
{
    auto usage = p->Exchange("\\buildbooks");
    EXPECT_TRUE(Contains(usage, "# buildbooks path_of_pgn_files moves_count [type]"));
    EXPECT_TRUE(Contains(usage, "# type: 0=book, 1=extract FEN"));

    auto build = p->Exchange("\\buildbooks pgn 10");
    EXPECT_TRUE(Contains(build, "# 2 games parsed!"));
    ASSERT_TRUE(fs::exists(dir / "pgn" / "two_games.cbk"));

    EXPECT_TRUE(Contains(p->Exchange("\\loadbook missing.cbk"), "# error loading missing.cbk"));
    EXPECT_TRUE(
        AnyStartsWith(p->Exchange("\\loadbook pgn/two_games.cbk"), "# book pgn/two_games.cbk loaded with "));
    p->Exchange("new");
    // Both games open 1.e4: it is the only book move of the start position.
    EXPECT_TRUE(Contains(p->Exchange("bk"), " best book move: Pe2-e4"));
    auto list = p->Exchange("\\listbook");
    EXPECT_TRUE(std::any_of(list.begin(), list.end(), [](const std::string& l) {
        return l.find(" Pe2-e4 1 1 0 75.00%") != std::string::npos
            && l.find("<--- best entry") != std::string::npos;
    }));
    EXPECT_TRUE(std::any_of(list.begin(), list.end(),
        [](const std::string& l) { return l.size() > 19 && l.substr(l.size() - 4) == " ???"; }));

    auto saveUsage = p->Exchange("\\savebook");
    EXPECT_TRUE(Contains(saveUsage, "# savebook book [limit]"));
    EXPECT_TRUE(AnyStartsWith(p->Exchange("\\savebook copy.cbk"), "# book copy.cbk saved"));
    EXPECT_EQ(fs::file_size(dir / "copy.cbk"), fs::file_size(dir / "pgn" / "two_games.cbk"));
    EXPECT_TRUE(
        Contains(p->Exchange("\\savebook no/such/folder/x.cbk"), "# error saving no/such/folder/x.cbk"));

    // The engine plays its book move in the start position.
    p->Exchange("st 1");
    p->Send("go");
    EXPECT_EQ(p->ReadUntil("move ", 5000), "move e2e4");
}

// A polyglot book is listed with its weights and shares, heaviest first; a bad file is refused
// and the listing still shows the book in use.
TEST_F(Console, APolyglotBookIsListedWithItsWeights)
{
    const drnChess::u64 start = drnChess::PolyglotKey(drnChess::StartFEN);
    // e2e4 (0x031C) weighs 3, d2d4 (0x02DB) 1, g1f3 (0x0195) 0.
    ASSERT_TRUE(drnChess::SavePolyglot((dir / "small.bin").string(),
        { { start, 0x031C, 3, 0 }, { start, 0x02DB, 1, 0 }, { start, 0x0195, 0, 0 } }));
    std::ofstream(dir / "bad.bin") << "0123456789";

    EXPECT_TRUE(Contains(p->Exchange("\\loadbook small.bin"), "# book small.bin loaded with 3 entries"));
    p->Exchange("new");
    const std::vector<std::string> expected = { "# 463b96181691fc9c e2e4 3 75.0%",
        "# 463b96181691fc9c d2d4 1 25.0%", "# 463b96181691fc9c g1f3 0 0.0%" };
    EXPECT_EQ(p->Exchange("\\listbook"), expected);

    auto refused = p->Exchange("\\loadbook bad.bin");
    EXPECT_TRUE(Contains(refused, "# polyglot book bad.bin: size 10 is not a multiple of 16"))
        << refused.size();
    EXPECT_TRUE(Contains(refused, "# error loading bad.bin"));
    EXPECT_EQ(p->Exchange("\\listbook"), expected);

    p->Exchange("force");
    p->Exchange("e2e4");
    EXPECT_EQ(p->Exchange("\\listbook"), std::vector<std::string> { "# no polyglot book moves" });
}

TEST_F(Console, SoulsPositionsAndTheCalculator)
{
    EXPECT_TRUE(Contains(p->Exchange("\\soul GEN_26_12_1"), "# soul: GEN_26_12_1"));
    // An unknown name changes nothing; the soul in force can be shown.
    auto unknown = p->Exchange("\\soul NoSuchSoul");
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0].rfind("# unknown soul NoSuchSoul; the soul GEN_26_12_1 stays", 0), 0u) << unknown[0];
    auto shown = p->Exchange("\\showsoul");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("# soul GEN_26_12_1=", 0), 0u) << shown[0];
    {
        std::ofstream(dir / "my.soul") << "Mine=1 2 3\n";
    }
    auto loaded = p->Exchange("\\loadsoul my.soul");
    EXPECT_TRUE(Contains(loaded, "# soul: Mine"));
    EXPECT_TRUE(AnyStartsWith(loaded, "# new soul: Mine=1 2 3"));

    auto missing = p->Exchange("\\loadsoul absent.soul");
    EXPECT_TRUE(Contains(missing, "# cannot read the soul file 'absent.soul'"));
    EXPECT_FALSE(AnyStartsWith(missing, "# soul: "));

    auto moves = p->Exchange("\\moves e2:e4 e7e5 zz9 g1f3");
    EXPECT_TRUE(std::any_of(moves.begin(), moves.end(), [](const std::string& l) {
        return l.find("FEN: rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -") != std::string::npos;
    }));

    p->Send("\\console");
    EXPECT_EQ(p->ReadUntil("# sample of commands"), "# sample of commands:");
    p->Send("FSET(a, 0x10)");
    EXPECT_EQ(p->ReadUntil("16"), "16");
    p->Send("FHEX(a << 4 | 1)");
    EXPECT_EQ(p->ReadUntil("0x"), "0x0000000000000101");
    p->Send("1 / 0");
    EXPECT_EQ(p->ReadUntil("# error").rfind("# error: division by zero", 0), 0u);
    // Deep nesting is an error, not a crash (1,800 brackets used to overflow the stack).
    p->Send(std::string(5000, '(') + "1" + std::string(5000, ')'));
    EXPECT_EQ(p->ReadUntil("# error").rfind("# error: nested more than 200 deep", 0), 0u);
    p->Send(std::string(100, '(') + "7" + std::string(100, ')'));
    EXPECT_EQ(p->ReadUntil("7"), "7");
    p->Send("exit");
    EXPECT_TRUE(Contains(p->Exchange("name"), "Corvala 3.1.27"));
}

TEST_F(Console, PlayWritesItsGameAsPgn)
{
    auto usage = p->Exchange("\\play 10 0 game.pgn");
    EXPECT_TRUE(Contains(usage, "# \\play ms_per_move max_moves file.pgn [soulA soulB [searchA searchB]]"));
    auto lines = p->Exchange("\\play 20 6 game.pgn Simple5 GEN_26_12_1", 30000);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back() == "0" || lines.back() == "1" || lines.back() == "-1") << lines.back();
    std::ifstream in(dir / "game.pgn");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("[Result \""), std::string::npos);
    EXPECT_NE(text.find("1. "), std::string::npos);

    // A search that does not exist is refused, not taken silently; the two searches are named
    // in the game's record.
    EXPECT_TRUE(Contains(p->Exchange("\\play 20 4 bad.pgn Simple5 Simple5 classic strongest"),
        "# \\play: unknown search 'strongest' (classic or strong)"));
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.pgn"));
    p->Exchange("\\play 20 4 searches.pgn Simple5 Simple5 classic strong", 30000);
    std::ifstream searches(dir / "searches.pgn");
    const std::string record((std::istreambuf_iterator<char>(searches)), std::istreambuf_iterator<char>());
    EXPECT_NE(record.find("[WhiteSearch \"classic\"]"), std::string::npos) << record;
    EXPECT_NE(record.find("[BlackSearch \"strong\"]"), std::string::npos) << record;
}
