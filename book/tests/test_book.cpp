#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "book/clsbook.h"
#include "book/clspgnfile.h"
#include "book/tests/booktestutil.h"
#include "dranbase/clsstring.h"
#include "rules/clschesscore.h"

using namespace drnChess;
using booktest::ReadBytes;
using booktest::TempDir;
using booktest::WriteBytes;

using booktest::Entry;

namespace {

std::string Fixture(const char* name)
{
    return std::string(CORVALA_BOOK_TEST_DATA) + "/" + name;
}

// The record count stored at offset 10.
std::int32_t StoredCount(const std::string& bytes)
{
    return static_cast<std::int32_t>(static_cast<unsigned char>(bytes[10])
        | static_cast<unsigned char>(bytes[11]) << 8 | static_cast<unsigned char>(bytes[12]) << 16
        | static_cast<unsigned char>(bytes[13]) << 24);
}

} // namespace

TEST(BookEntry, ScoreIsPerMilleOfThePointsForTheMover)
{
    struct Row {
        std::int32_t w, l, d;
        int score;
    };
    const Row rows[] = {
        { 3, 1, 2, 666 }, // (2 + 6) * 500 / 6
        { 300, 0, 1, 998 },
        { 0, 5, 0, 0 },
        { 0, 0, 4, 500 },
        { 0, 0, 0, 0 }, // no games: no division by zero
        { 2000000000, 0, 0, 1000 }, // no overflow of the products
        { 1000000000, 1000000000, 100000000, 500 },
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Entry(r.w, r.l, r.d, 1).Score(), r.score) << r.w << " " << r.l << " " << r.d;
    }
    clsBookEntryExt a;
    a.draws = 1;
    clsBookEntryExt b;
    b.wins = 1;
    b.key = 0; // same key, different scores: candidates compare scores
    EXPECT_TRUE(b.Greater(a));
    EXPECT_FALSE(a.Equal(b));
    EXPECT_TRUE(static_cast<const clsBookEntry&>(a).Equal(b)); // plain entries compare keys
}

TEST(Book, AddOrMergeKeepsOneSortedEntryPerKey)
{
    std::vector<clsBookEntry> added = { Entry(1, 0, 0, 50), Entry(0, 1, 0, 0xFFFFFFFFFFFFFFFFULL),
        Entry(0, 0, 1, 7), Entry(2, 3, 4, 50) }; // the second key is compared as unsigned
    for (u64 k = 100; k > 80; --k)
        added.push_back(Entry(0, 0, 1, k));
    clsBook book;
    for (const clsBookEntry& e : added)
        book.AddOrMerge(e);
    ASSERT_EQ(book.Count(), 23);
    // The bulk form gives the same book, also on top of entries already there.
    clsBook bulk;
    bulk.AddOrMerge(Entry(1, 1, 1, 60));
    bulk.AddOrMerge(Entry(5, 0, 0, 7));
    bulk.AddOrMergeAll(added);
    clsBook single;
    single.AddOrMerge(Entry(1, 1, 1, 60));
    single.AddOrMerge(Entry(5, 0, 0, 7));
    for (const clsBookEntry& e : added)
        single.AddOrMerge(e);
    ASSERT_EQ(bulk.Count(), single.Count());
    for (int i = 0; i < bulk.Count(); ++i) {
        EXPECT_EQ(bulk.At(i).key, single.At(i).key);
        EXPECT_EQ(bulk.At(i).wins, single.At(i).wins);
        EXPECT_EQ(bulk.At(i).losses, single.At(i).losses);
        EXPECT_EQ(bulk.At(i).draws, single.At(i).draws);
    }
    EXPECT_TRUE(book.IsSorted());
    EXPECT_EQ(book.At(0).key, 7u);
    EXPECT_EQ(book.At(22).key, 0xFFFFFFFFFFFFFFFFULL);
    const clsBookEntry* e = book.Find(50);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->wins, 3);
    EXPECT_EQ(e->losses, 3);
    EXPECT_EQ(e->draws, 4);
    EXPECT_EQ(book.Find(51), nullptr);
    EXPECT_EQ(book.Find(0), nullptr);
    EXPECT_NE(book.Find(0xFFFFFFFFFFFFFFFFULL), nullptr);
    book.Clear();
    EXPECT_EQ(book.Count(), 0);
    EXPECT_EQ(book.Find(50), nullptr);
}

// Each outcome is one game of its position: the same book as AddOrMerge of one-game entries,
// into an empty book and on top of entries already there.
TEST(Book, AddOutcomesCountsEachAsOneGame)
{
    const std::vector<clsBookOutcome> outcomes = { { 50, clsBookOutcome::Won },
        { 0xFFFFFFFFFFFFFFFFULL, clsBookOutcome::Lost }, { 7, clsBookOutcome::Drawn },
        { 50, clsBookOutcome::Lost }, { 50, clsBookOutcome::Won }, { 60, clsBookOutcome::Drawn } };
    for (bool startEmpty : { true, false }) {
        clsBook bulk;
        clsBook single;
        if (!startEmpty) {
            for (clsBook* b : { &bulk, &single }) {
                b->AddOrMerge(Entry(1, 1, 1, 60));
                b->AddOrMerge(Entry(5, 0, 0, 8));
            }
        }
        std::vector<clsBookOutcome> list = outcomes;
        bulk.AddOutcomes(list);
        EXPECT_TRUE(list.empty());
        for (const clsBookOutcome& o : outcomes)
            single.AddOrMerge(Entry(o.points == clsBookOutcome::Won, o.points == clsBookOutcome::Lost,
                o.points == clsBookOutcome::Drawn, o.key));
        ASSERT_EQ(bulk.Count(), single.Count()) << startEmpty;
        EXPECT_TRUE(bulk.IsSorted());
        for (int i = 0; i < bulk.Count(); ++i) {
            EXPECT_EQ(bulk.At(i).key, single.At(i).key);
            EXPECT_EQ(bulk.At(i).wins, single.At(i).wins);
            EXPECT_EQ(bulk.At(i).losses, single.At(i).losses);
            EXPECT_EQ(bulk.At(i).draws, single.At(i).draws);
        }
    }
    clsBook book;
    std::vector<clsBookOutcome> list = outcomes;
    book.AddOutcomes(list);
    ASSERT_EQ(book.Count(), 4);
    const clsBookEntry* e = book.Find(50);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->wins, 2);
    EXPECT_EQ(e->losses, 1);
    EXPECT_EQ(e->draws, 0);
}

// Many outcomes are sorted by buckets of their top bits: keys spread over the whole range (as
// book keys are) and keys crowded into one bucket both give the counts of one-by-one adding.
TEST(Book, AddOutcomesSortsLargeListsOfSpreadAndCrowdedKeys)
{
    u64 state = 0x9E3779B97F4A7C15ULL;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (bool spread : { true, false }) {
        std::vector<clsBookOutcome> outcomes;
        for (int i = 0; i < 20000; ++i) {
            const u64 r = next();
            const u64 key = spread ? (i % 3 == 0 && i > 0 ? outcomes[r % outcomes.size()].key : r) : r % 5000;
            outcomes.push_back({ key, static_cast<std::int32_t>(r >> 62) % 3 });
        }
        std::vector<clsBookEntry> expected;
        for (const clsBookOutcome& o : outcomes)
            expected.push_back(Entry(o.points == clsBookOutcome::Won, o.points == clsBookOutcome::Lost,
                o.points == clsBookOutcome::Drawn, o.key));
        clsBook single;
        single.AddOrMergeAll(expected);
        clsBook bulk;
        bulk.AddOutcomes(outcomes);
        ASSERT_EQ(bulk.Count(), single.Count()) << spread;
        EXPECT_TRUE(bulk.IsSorted());
        for (int i = 0; i < bulk.Count(); ++i) {
            ASSERT_EQ(bulk.At(i).key, single.At(i).key) << i;
            EXPECT_EQ(bulk.At(i).wins, single.At(i).wins) << i;
            EXPECT_EQ(bulk.At(i).losses, single.At(i).losses) << i;
            EXPECT_EQ(bulk.At(i).draws, single.At(i).draws) << i;
        }
    }
}

TEST(Book, MergeFromAndSortAndCombineAddUpEqualKeys)
{
    clsBook a;
    a.AddOrMerge(Entry(1, 0, 0, 10));
    a.AddOrMerge(Entry(1, 0, 0, 30));
    clsBook b;
    b.AddOrMerge(Entry(0, 1, 0, 20));
    b.AddOrMerge(Entry(0, 0, 1, 30));
    b.AddOrMerge(Entry(0, 0, 1, 40));
    a.MergeFrom(b);
    ASSERT_EQ(a.Count(), 4);
    EXPECT_TRUE(a.IsSorted());
    EXPECT_EQ(a.Find(30)->wins, 1);
    EXPECT_EQ(a.Find(30)->draws, 1);

    // Loading the same file twice appends (load does not merge); SortAndCombine repairs it.
    TempDir dir;
    std::string path = dir.Path("twice.cbk");
    ASSERT_TRUE(a.Save(path));
    clsBook twice;
    ASSERT_TRUE(twice.Load(path));
    ASSERT_TRUE(twice.Load(path));
    EXPECT_EQ(twice.Count(), 8);
    EXPECT_FALSE(twice.IsSorted());
    twice.SortAndCombine();
    ASSERT_EQ(twice.Count(), 4);
    EXPECT_TRUE(twice.IsSorted());
    EXPECT_EQ(twice.Find(30)->wins, 2);
    EXPECT_EQ(twice.Find(30)->draws, 2);
}

// A book file's counters are not trusted: adding up huge counts of one key (a file loaded
// twice, merged books, a damaged file) stays at the 32-bit ends instead of overflowing. Found
// by fuzzing a book image whose two records share a key.
TEST(Book, CombinedCountsSaturate)
{
    const clsBookEntry big = Entry(INT32_MAX - 5, INT32_MAX, 1826206757, 77);
    const clsBookEntry low = Entry(INT32_MIN + 1, 0, 0, 77);
    clsBook added;
    added.AddOrMerge(big);
    added.AddOrMerge(big);
    clsBook merged;
    merged.AddOrMerge(big);
    clsBook other;
    other.AddOrMerge(big);
    merged.MergeFrom(other);
    TempDir dir;
    const std::string path = dir.Path("huge.cbk");
    ASSERT_TRUE(added.Save(path));
    clsBook combined;
    ASSERT_TRUE(combined.Load(path));
    ASSERT_TRUE(combined.Load(path));
    combined.SortAndCombine();
    for (const clsBook* b : { &added, &merged, &combined }) {
        ASSERT_EQ(b->Count(), 1);
        EXPECT_EQ(b->At(0).wins, INT32_MAX);
        EXPECT_EQ(b->At(0).losses, INT32_MAX);
        EXPECT_EQ(b->At(0).draws, INT32_MAX);
    }
    clsBook negative;
    negative.AddOrMerge(low);
    negative.AddOrMerge(low);
    EXPECT_EQ(negative.At(0).wins, INT32_MIN);
}

TEST(BookFile, SavesTheDescribedBytes)
{
    TempDir dir;
    clsBook empty;
    ASSERT_TRUE(empty.Save(dir.Path("empty.cbk")));
    std::string bytes = ReadBytes(dir.Path("empty.cbk"));
    EXPECT_EQ(bytes.size(), 52u);
    EXPECT_EQ(bytes, ReadBytes(Fixture("empty.cbk")));

    // wins 300 is the varint AC 02; the key is stored low half first.
    clsBook book;
    book.AddOrMerge(Entry(1, 2, 3, 0xFEDCBA9876543210ULL));
    book.AddOrMerge(Entry(300, 0, 1, 0x0123456789ABCDEFULL));
    ASSERT_TRUE(book.Save(dir.Path("two.cbk")));
    bytes = ReadBytes(dir.Path("two.cbk"));
    EXPECT_EQ(bytes, ReadBytes(Fixture("two_entries.cbk")));
    EXPECT_EQ(bytes.substr(46, 5), std::string("\xAC\x02\x00\x01\xEF", 5));
}

TEST(BookFile, LoadsTheFixtureWithProgressLines)
{
    std::vector<std::string> lines;
    clsBook book;
    ASSERT_TRUE(book.Load(Fixture("two_entries.cbk"), 0,
        [&](const std::string& text, bool endLine) { lines.push_back(text + (endLine ? "\n" : "")); }));
    ASSERT_EQ(book.Count(), 2);
    EXPECT_EQ(book.At(0).key, 0x0123456789ABCDEFULL);
    EXPECT_EQ(book.At(0).wins, 300);
    EXPECT_EQ(book.At(0).losses, 0);
    EXPECT_EQ(book.At(0).draws, 1);
    EXPECT_EQ(book.At(1).key, 0xFEDCBA9876543210ULL);
    EXPECT_EQ(book.At(1).draws, 3);
    const std::vector<std::string> expected
        = { "#     loading 2 positions\r", "# 0%\r", "# 50%\r", "# ok  \n" };
    EXPECT_EQ(lines, expected);
}

TEST(BookFile, LimitsDropPositionsOfFewerThanTwiceTheLimitGames)
{
    TempDir dir;
    clsBook book;
    book.AddOrMerge(Entry(2, 2, 1, 1)); // 5 games: 5 / 2 = 2 < 3
    book.AddOrMerge(Entry(3, 2, 1, 2)); // 6 games: kept
    book.AddOrMerge(Entry(0, 0, 9, 3)); // 9 games: kept
    std::string path = dir.Path("limit.cbk");
    ASSERT_TRUE(book.Save(path, 3));
    std::string bytes = ReadBytes(path);
    EXPECT_EQ(StoredCount(bytes), 2); // corrected after writing
    clsBook loaded;
    ASSERT_TRUE(loaded.Load(path));
    ASSERT_EQ(loaded.Count(), 2);
    EXPECT_EQ(loaded.At(0).key, 2u);

    // The same test on load: limit 4 keeps only the 9-game position.
    ASSERT_TRUE(book.Save(path, 0));
    EXPECT_EQ(StoredCount(ReadBytes(path)), 3);
    loaded.Clear();
    ASSERT_TRUE(loaded.Load(path, 4));
    ASSERT_EQ(loaded.Count(), 1);
    EXPECT_EQ(loaded.At(0).key, 3u);
    ASSERT_TRUE(loaded.ClearAndLoad(path, 0));
    EXPECT_EQ(loaded.Count(), 3);
}

TEST(BookFile, BadHeadersLoadNothingAndTruncationKeepsWhatWasRead)
{
    TempDir dir;
    const std::string good = ReadBytes(Fixture("two_entries.cbk"));
    struct Row {
        const char* name;
        std::string bytes;
        int loaded;
    };
    std::string wrongMagic = good;
    wrongMagic[0] = 'X';
    std::string wrongVersion = good;
    wrongVersion[6] = 2;
    // The first record is 4 varint bytes (AC 02, 00, 01) and an 8-byte key from offset 46;
    // the second 3 varint bytes and its key.
    const Row rows[] = {
        { "wrong magic", wrongMagic, 0 },
        { "wrong version", wrongVersion, 0 },
        { "header only", good.substr(0, 8), 0 },
        { "cut in first key", good.substr(0, 46 + 4 + 5), 0 },
        { "cut after first record", good.substr(0, 46 + 12), 1 },
        { "cut in second key", good.substr(0, 46 + 12 + 3 + 7), 1 },
        { "terminator missing", good.substr(0, good.size() - 6), 2 },
        { "empty file", std::string(), 0 },
    };
    for (const Row& r : rows) {
        std::string path = dir.Path("bad.cbk");
        WriteBytes(path, r.bytes);
        clsBook book;
        book.AddOrMerge(Entry(1, 1, 1, 99)); // what was there stays
        EXPECT_FALSE(book.Load(path)) << r.name;
        EXPECT_EQ(book.Count(), 1 + r.loaded) << r.name;
    }
    clsBook book;
    EXPECT_FALSE(book.Load(dir.Path("missing.cbk")));
    EXPECT_EQ(book.Count(), 0);
}

TEST(BookFile, FailedSaveReportsAndLeavesNoPartialFile)
{
    TempDir dir;
    clsBook book;
    book.AddOrMerge(Entry(1, 0, 0, 5));
    std::string error;
    std::string path = dir.Path("no/such/dir/x.cbk");
    EXPECT_FALSE(book.Save(path, 0, &error));
    EXPECT_EQ(error, "# error " + path + ": No such file or directory");

    // A directory in the way of the target: the rename fails and the temporary file goes.
    std::filesystem::create_directory(dir.Path("taken.cbk"));
    EXPECT_FALSE(book.Save(dir.Path("taken.cbk"), 0, &error));
    EXPECT_EQ(error.rfind("# error " + dir.Path("taken.cbk") + ": ", 0), 0u) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("taken.cbk.tmp")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path("taken.cbk")));

    // A good save replaces an old book as a whole.
    WriteBytes(dir.Path("old.cbk"), "old contents");
    ASSERT_TRUE(book.Save(dir.Path("old.cbk")));
    clsBook loaded;
    ASSERT_TRUE(loaded.Load(dir.Path("old.cbk")));
    EXPECT_EQ(loaded.Count(), 1);
}

TEST(BookChoice, RareCandidatesAreDroppedAndTheChoiceIsUniform)
{
    auto candidate = [](std::int32_t games, const char* move) {
        clsBookEntryExt c;
        c.draws = games;
        c.move = move;
        return c;
    };
    std::vector<clsBookEntryExt> list = { candidate(1, "a"), candidate(39, "b"), candidate(60, "c") };
    DropRareCandidates(list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].move, "b");
    EXPECT_EQ(list[1].move, "c");
    std::vector<clsBookEntryExt> single = { candidate(1, "only") };
    DropRareCandidates(single);
    EXPECT_EQ(single.size(), 1u);

    struct Row {
        std::int32_t r;
        int count;
        int index;
    };
    const Row rows[]
        = { { 5, 2, 1 }, { -7, 3, 1 }, { 0, 4, 0 }, { INT_MIN, 3, 2 }, { 12345, 0, 0 }, { 9, 1, 0 } };
    for (const Row& row : rows)
        EXPECT_EQ(PickCandidateIndex(row.r, row.count), row.index) << row.r << " mod " << row.count;
}

// Keys computed by hand from the xorshift chain over the bitboards (not with this code).
TEST(BookKey, MatchesKeysComputedByHand)
{
    struct Row {
        std::vector<const char*> moves;
        u64 key;
    };
    const Row rows[] = {
        { {}, 0x9F1EB9923BA0402FULL },
        { { "e2e4" }, 0x98A8776C1A9B3E65ULL },
        { { "e2e4", "e7e5" }, 0x98748CF473C81955ULL },
        { { "g1f3" }, 0xA6F5BE14996CE34BULL },
        { { "e2e4", "e7e5", "g1f3" }, 0xAE70C5F257932F0DULL },
    };
    auto core = std::make_unique<clsChessCore>();
    for (const Row& r : rows) {
        core->SetFromFEN(StartFEN);
        for (const char* m : r.moves)
            ASSERT_TRUE(core->ApplyGameMove(m)) << m;
        EXPECT_EQ(BookKey(core->board), r.key) << r.moves.size() << " moves";
    }
}

namespace {

// Four games: 1. e4 scores w2 l1 d1 for white, 1. d4 one draw.
const char* SmallBookPgn = "[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 1-0\n\n"
                           "[Result \"0-1\"]\n\n1. e4 c5 0-1\n\n"
                           "[Result \"1/2-1/2\"]\n\n1. d4 d5 1/2-1/2\n\n"
                           "[Result \"1-0\"]\n\n1. e4 e5 1-0\n\n"
                           "[Result \"1/2-1/2\"]\n\n1. e4 e6 1/2-1/2\n";

} // namespace

TEST(BookProbe, CandidatesAndListingOfASmallBook)
{
    auto core = std::make_unique<clsChessCore>();
    clsPGNFile pgn;
    ASSERT_EQ(pgn.BuildFromText(SmallBookPgn, *core, 0, false), 5);
    const clsBook& book = pgn.Book();

    core->SetFromFEN(StartFEN);
    const std::string fen = core->GetFEN();
    std::vector<clsBookEntryExt> list;
    ASSERT_EQ(CollectCandidates(*core, book, list), 2);
    EXPECT_EQ(core->GetFEN(), fen); // the board is restored
    EXPECT_EQ(list[0].move, "Pd2-d4"); // 500 before 625: ascending score
    EXPECT_EQ(list[0].draws, 1);
    EXPECT_EQ(list[1].move, "Pe2-e4");
    EXPECT_EQ(list[1].key, 0x98A8776C1A9B3E65ULL);
    EXPECT_EQ(list[1].Score(), 625);

    std::vector<std::string> lines = BookListing(*core, book);
    ASSERT_EQ(lines.size(), 21u); // twenty moves and the best line
    EXPECT_EQ(lines[0].substr(0, 2), "# ");
    EXPECT_EQ(lines[0].substr(18), " Ng1-h3 ???");
    const std::string e4 = "# 98A8776C1A9B3E65 Pe2-e4 2 1 1 62.50%";
    EXPECT_NE(std::find(lines.begin(), lines.end(), e4), lines.end());
    EXPECT_EQ(lines.back(), e4 + " <--- best entry");

    // Black's replies after 1. e4: e5 is a double push, so its key carries the e6 square.
    ASSERT_TRUE(core->ApplyGameMove("e2e4"));
    ASSERT_EQ(CollectCandidates(*core, book, list), 3);
    EXPECT_EQ(list[0].move, "Pe7-e5"); // lost twice for black: 0
    EXPECT_EQ(list[0].losses, 2);
    EXPECT_EQ(list[1].move, "Pe7-e6"); // one draw: 500
    EXPECT_EQ(list[2].move, "Pc7-c5"); // one win: 1000

    // A position whose successors are all unknown: no candidates, no best line.
    core->SetFromFEN("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(CollectCandidates(*core, book, list), 0);
    lines = BookListing(*core, book);
    ASSERT_EQ(lines.size(), 5u);
    for (const std::string& line : lines)
        EXPECT_EQ(line.substr(line.size() - 4), " ???");
}

TEST(BookProbe, ListingBreaksTiesForTheFirstLine)
{
    auto core = std::make_unique<clsChessCore>();
    clsPGNFile pgn;
    ASSERT_EQ(pgn.BuildFromText("1. a3 1/2-1/2\n\n[Event \"x\"]\n1. h3 1/2-1/2\n", *core, 0, false), 2);
    core->SetFromFEN(StartFEN);
    std::vector<std::string> lines = BookListing(*core, pgn.Book());
    ASSERT_EQ(lines.size(), 21u);
    // h2-h3 is generated before a2-a3; both score 50.00%.
    EXPECT_NE(lines.back().find(" Ph2-h3 0 1 0 50.00% <--- best entry"), std::string::npos) << lines.back();
}

TEST(BookFile, FailedLoadsLeaveTheLoadedBookWhole)
{
    TempDir dir;
    const std::string good = ReadBytes(Fixture("two_entries.cbk"));
    auto withCount = [&good](std::uint32_t count) {
        std::string bytes = good;
        for (int i = 0; i < 4; ++i)
            bytes[static_cast<std::size_t>(10 + i)] = static_cast<char>((count >> (8 * i)) & 0xFF);
        return bytes;
    };
    struct Row {
        const char* name;
        std::string bytes;
    };
    const Row rows[] = {
        { "negative count", withCount(0x80000000u) },
        { "count beyond the file", withCount(1000) },
        { "cut after first record", good.substr(0, 46 + 12) },
        { "terminator missing", good.substr(0, good.size() - 6) },
        { "not a book", "DRNBK" },
    };
    for (const Row& r : rows) {
        const std::string path = dir.Path("bad.cbk");
        WriteBytes(path, r.bytes);
        clsBook book;
        book.AddOrMerge(Entry(1, 1, 1, 99));
        std::vector<std::string> progress;
        EXPECT_FALSE(book.ClearAndLoad(path, 0, [&progress](const std::string& text, bool) {
            progress.push_back(text);
        })) << r.name;
        ASSERT_EQ(book.Count(), 1) << r.name; // the book in use is kept as it was
        EXPECT_EQ(book.At(0).key, 99u) << r.name;
        EXPECT_EQ(std::find(progress.begin(), progress.end(), "# ok  "), progress.end()) << r.name;
    }
    // A count the file cannot hold loads nothing, even by appending.
    WriteBytes(dir.Path("huge.cbk"), withCount(0x7FFFFFFFu));
    clsBook book;
    EXPECT_FALSE(book.Load(dir.Path("huge.cbk")));
    EXPECT_EQ(book.Count(), 0);
    // A device or a folder is refused before it is read (/dev/zero would be read without end).
    for (const std::string& path : { std::string("/dev/zero"), dir.Path("") }) {
        EXPECT_FALSE(book.Load(path)) << path;
        EXPECT_EQ(book.Count(), 0) << path;
    }
}

TEST(BookProbe, BestMoveWeighsTheNumberOfGames)
{
    // 1.e3 won its only game; 1.d4 scored 60 % over 128 games; 1.c4 scored 100 % over 3.
    auto core = std::make_unique<clsChessCore>();
    clsPGNFile pgn;
    std::string text = "[Result \"1-0\"]\n1. e3 1-0\n\n";
    for (int i = 0; i < 3; ++i)
        text += "[Result \"1-0\"]\n1. c4 1-0\n\n";
    for (int i = 0; i < 128; ++i)
        text += std::string("[Result \"") + (i % 5 < 3 ? "1-0" : "0-1") + "\"]\n1. d4 *\n\n";
    ASSERT_EQ(pgn.BuildFromText(text, *core, 0, false), 132);
    core->SetFromFEN(StartFEN);
    const std::vector<std::string> lines = BookListing(*core, pgn.Book());
    EXPECT_NE(lines.back().find(" Pd2-d4 "), std::string::npos) << lines.back();
    EXPECT_NE(lines.back().find("<--- best entry"), std::string::npos) << lines.back();

    std::vector<clsBookEntryExt> list;
    ASSERT_EQ(CollectCandidates(*core, pgn.Book(), list), 3);
    ASSERT_EQ(BestCandidateIndex(list), 0); // sorted by score: d4 (60 %) first, but best
    EXPECT_EQ(list[0].move, "Pd2-d4");
    EXPECT_EQ(BestCandidateIndex({}), -1);

    // The bound itself: few games give a low one, no games none.
    EXPECT_EQ(Entry(1, 0, 0, 1).LowerBound(), 206);
    EXPECT_EQ(Entry(77, 51, 0, 1).LowerBound(), 514);
    EXPECT_EQ(Entry(0, 0, 0, 1).LowerBound(), 0);
    EXPECT_EQ(Entry(0, 5, 0, 1).LowerBound(), 0);
}
