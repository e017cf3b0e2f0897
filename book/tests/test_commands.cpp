#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "book/bookcommands.h"
#include "book/clsbook.h"
#include "book/tests/booktestutil.h"
#include "rules/clschesscore.h"

using namespace drnChess;
using booktest::ReadBytes;
using booktest::TempDir;
using booktest::WriteBytes;

using booktest::Entry;

namespace {

// Collects whole lines; texts without a line end ("\r" progress) are dropped.
struct LineSink {
    std::vector<std::string> lines;
    BookPrinter Printer()
    {
        return [this](const std::string& text, bool endLine) {
            if (endLine) lines.push_back(text);
        };
    }
};

void SaveBook(const std::string& path, const std::vector<clsBookEntry>& entries)
{
    clsBook book;
    for (const clsBookEntry& e : entries)
        book.AddOrMerge(e);
    ASSERT_TRUE(book.Save(path));
}

} // namespace

TEST(BuildBooks, NoArgumentPrintsTheUsage)
{
    auto core = std::make_unique<clsChessCore>();
    LineSink out;
    EXPECT_EQ(BuildBooksCommand("  ", *core, out.Printer()), 0);
    const std::vector<std::string> expected = { "# buildbooks path_of_pgn_files moves_count [type]",
        "# buildbooks d:\\games d:\\corvala\\corvala.cbk 10", "# type: 0=book, 1=extract FEN",
        "# NB: use \"path\" if you want to use path with embedded spaces" };
    EXPECT_EQ(out.lines, expected);
}

TEST(BuildBooks, BuildsOneBookPerPgnFileFromAQuotedDirectory)
{
    TempDir dir;
    const std::string games = dir.Path("my games");
    std::filesystem::create_directory(games);
    WriteBytes(games + "/a.pgn",
        "[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bb5 1-0\n\n[Result \"0-1\"]\n\n1. d4 d5 0-1\n");
    WriteBytes(games + "/b.pgn", "[Result \"1/2-1/2\"]\n\n1. c4 c5 2. Nc3 Nc6 1/2-1/2\n");
    WriteBytes(games + "/notes.txt", "not a game");

    auto core = std::make_unique<clsChessCore>();
    LineSink out;
    EXPECT_EQ(BuildBooksCommand("\"" + games + "\" 3", *core, out.Printer()), 3);
    const std::vector<std::string> expected = {
        "# reading file 1 of 2 : " + games + "/a.pgn",
        "#",
        "# pgn file loaded",
        "# saving book '" + games + "/a.cbk' with 5 positions", // 1. e4 e5 2. Nf3 and 1. d4 d5
        "# reading file 2 of 2 : " + games + "/b.pgn",
        "#",
        "# pgn file loaded",
        "# saving book '" + games + "/b.cbk' with 3 positions",
        "# 3 games parsed!",
    };
    EXPECT_EQ(out.lines, expected);
    clsBook book;
    ASSERT_TRUE(book.Load(games + "/a.cbk"));
    EXPECT_EQ(book.Count(), 5);
    EXPECT_TRUE(book.IsSorted());

    // Type 1 writes the FEN files as well; a missing move count means 50 plies.
    out.lines.clear();
    EXPECT_EQ(BuildBooksCommand("\"" + games + "\"", *core, out.Printer()), 3);
    ASSERT_TRUE(book.ClearAndLoad(games + "/a.cbk"));
    EXPECT_EQ(book.Count(), 7);
    EXPECT_FALSE(std::filesystem::exists(games + "/a.pgn.txt"));
    EXPECT_EQ(BuildBooksCommand("\"" + games + "\" 0 1", *core, out.Printer()), 3);
    EXPECT_TRUE(std::filesystem::exists(games + "/a.pgn.txt"));

    // An empty directory prints only the total; a missing one is said.
    out.lines.clear();
    std::filesystem::create_directory(dir.Path("nothing here"));
    EXPECT_EQ(BuildBooks(dir.Path("nothing here"), 10, 0, *core, out.Printer()), 0);
    EXPECT_EQ(out.lines, std::vector<std::string> { "# 0 games parsed!" });
    out.lines.clear();
    EXPECT_EQ(BuildBooks(dir.Path("missing"), 10, 0, *core, out.Printer()), 0);
    EXPECT_EQ(
        out.lines, std::vector<std::string> { "# error: folder '" + dir.Path("missing") + "' not found" });
}

TEST(BuildBooks, LeavesTheCorePositionAsItWas)
{
    TempDir dir;
    WriteBytes(dir.Path("a.pgn"), "[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bb5 1-0\n");
    auto core = std::make_unique<clsChessCore>();
    const std::string fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3";
    core->SetFromFEN(fen);
    ASSERT_TRUE(core->ApplyGameMove("f1c4"));
    const std::string before = core->GetFEN();
    const int halfmove = core->halfmoveClock;
    LineSink out;
    EXPECT_EQ(BuildBooks(dir.Path(), 0, 0, *core, out.Printer()), 1);
    EXPECT_EQ(core->GetFEN(), before);
    EXPECT_EQ(core->halfmoveClock, halfmove);
    EXPECT_EQ(core->current, core->Root());
    // The position plays on: black's moves are generated afresh, and a move is accepted.
    EXPECT_NE(core->MoveListText().find("Pd7-d6"), std::string::npos);
    EXPECT_TRUE(core->ApplyGameMove("g8f6"));
}

TEST(BookCommands, MissingFoldersAreSaidAndNothingIsWritten)
{
    TempDir dir;
    LineSink out;
    const std::string missing = dir.Path("no books here");
    EXPECT_FALSE(MergeBooks(missing, dir.Path("new.cbk"), out.Printer()));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("new.cbk")));
    EXPECT_EQ(out.lines, std::vector<std::string> { "# error: folder '" + missing + "' not found" });
    out.lines.clear();
    EXPECT_FALSE(CvBooks(out.Printer(), missing));
    EXPECT_EQ(out.lines, std::vector<std::string> { "# error: folder '" + missing + "' not found" });
    out.lines.clear();
    EXPECT_TRUE(CvBooks(out.Printer(), dir.Path()));
    EXPECT_EQ(out.lines, std::vector<std::string> { "# no .cbk book in '" + dir.Path() + "'" });
}

TEST(CvBooks, BadBooksAreReportedAndNotCopied)
{
    TempDir dir;
    SaveBook(dir.Path("good.cbk"), { Entry(1, 0, 0, 10), Entry(0, 1, 0, 20) });
    const std::string good = ReadBytes(dir.Path("good.cbk"));
    WriteBytes(dir.Path("corrupt.cbk"), "DRNBK not a book at all");
    WriteBytes(dir.Path("truncated.cbk"), good.substr(0, good.size() - 10));
    LineSink out;
    EXPECT_FALSE(CvBooks(out.Printer(), dir.Path()));
    for (const char* bad : { "corrupt", "truncated" }) {
        const std::string book = dir.Path(std::string(bad) + ".cbk");
        EXPECT_NE(std::find(out.lines.begin(), out.lines.end(), "# error loading " + book), out.lines.end())
            << bad;
        EXPECT_FALSE(std::filesystem::exists(dir.Path(std::string(bad) + ".cb2"))) << bad;
        EXPECT_FALSE(std::filesystem::exists(dir.Path(std::string(bad) + ".cb3"))) << bad;
    }
    EXPECT_EQ(ReadBytes(dir.Path("good.cb3")), good); // the good one is still checked
    // "# ok" follows only the good book's lines.
    EXPECT_EQ(std::count(out.lines.begin(), out.lines.end(), "# ok"), 1);
}

TEST(MergeBooks, MergesEveryBookButTheTargetIntoOneEntryPerKey)
{
    TempDir dir;
    const std::string books = dir.Path("books");
    std::filesystem::create_directory(books);
    SaveBook(books + "/a.cbk", { Entry(1, 0, 0, 10), Entry(1, 0, 0, 30) });
    SaveBook(books + "/b.cbk", { Entry(0, 1, 0, 20), Entry(0, 0, 1, 30) });
    // An unsorted file with a repeated key, as two appended loads would give.
    clsBook twice;
    ASSERT_TRUE(twice.Load(books + "/b.cbk"));
    ASSERT_TRUE(twice.Load(books + "/b.cbk"));
    ASSERT_TRUE(twice.Save(books + "/c.cbk"));
    WriteBytes(books + "/d.cbk", "DRNBK"); // not a book

    const std::string target = books + "/merged.cbk";
    LineSink out;
    ASSERT_TRUE(MergeBooksCommand(books + " " + target + " 5", out.Printer()));
    clsBook merged;
    ASSERT_TRUE(merged.Load(target));
    ASSERT_EQ(merged.Count(), 3);
    EXPECT_TRUE(merged.IsSorted());
    EXPECT_EQ(merged.Find(20)->losses, 3);
    EXPECT_EQ(merged.Find(30)->wins, 1);
    EXPECT_EQ(merged.Find(30)->draws, 3);
    EXPECT_EQ(out.lines.back(), "# done");
    EXPECT_NE(std::find(out.lines.begin(), out.lines.end(), "# error loading " + books + "/d.cbk"),
        out.lines.end());
    EXPECT_NE(
        std::find(out.lines.begin(), out.lines.end(), "# saving 3 positions in " + target), out.lines.end());

    // Run again with the target in the directory, written another way: it is not merged in.
    const std::string first = ReadBytes(target);
    out.lines.clear();
    ASSERT_TRUE(MergeBooks(books + "/", dir.Path("books/../books/merged.cbk"), out.Printer()));
    EXPECT_EQ(ReadBytes(target), first);
    for (const std::string& line : out.lines)
        EXPECT_FALSE(line.rfind("# merging", 0) == 0 && line.find("merged.cbk") != std::string::npos) << line;
}

TEST(MergeBooks, UsageAndFailures)
{
    LineSink out;
    EXPECT_FALSE(MergeBooksCommand("only_a_directory", out.Printer()));
    const std::vector<std::string> usage = { "# mergebooks books_path new_book.cbk [limit]",
        "# merge .cbk book files into new_book.cbk file" };
    EXPECT_EQ(out.lines, usage);

    // An empty directory saves an empty book; a target that cannot be written is reported.
    TempDir dir;
    out.lines.clear();
    ASSERT_TRUE(MergeBooks(dir.Path(), dir.Path("new.cbk"), out.Printer()));
    EXPECT_EQ(ReadBytes(dir.Path("new.cbk")).size(), 52u);
    TempDir empty;
    out.lines.clear();
    const std::string target = empty.Path("missing/new.cbk");
    EXPECT_FALSE(MergeBooks(empty.Path(), target, out.Printer()));
    const std::vector<std::string> expected = { "# saving 0 positions in " + target,
        "# error " + target + ": No such file or directory", "# can't save " + target, "# done" };
    EXPECT_EQ(out.lines, expected);
}

TEST(CvBooks, ResavesEveryBookAndComparesTheCopies)
{
    TempDir dir;
    SaveBook(dir.Path("one.cbk"), { Entry(300, 0, 1, 0x0123456789ABCDEFULL), Entry(-1, 2, 3, 7) });
    SaveBook(dir.Path("two.cbk"), {});
    LineSink out;
    EXPECT_TRUE(CvBooks(out.Printer(), dir.Path()));
    const std::vector<std::string> expected = {
        "# reading book 1 of 2 : " + dir.Path("one.cbk"),
        "# ok  ",
        "\n# test",
        "# ok  ",
        "# ok",
        "# reading book 2 of 2 : " + dir.Path("two.cbk"),
        "# ok  ",
        "\n# test",
        "# ok  ",
        "# ok",
    };
    EXPECT_EQ(out.lines, expected);
    EXPECT_EQ(ReadBytes(dir.Path("one.cb2")), ReadBytes(dir.Path("one.cbk")));
    EXPECT_EQ(ReadBytes(dir.Path("one.cb3")), ReadBytes(dir.Path("one.cbk")));
    EXPECT_EQ(std::string(CvBooksDirectory), "books");
}
