#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "dranbase/clsfile.h"
#include "dranbase/clsstring.h"

using namespace dranbase;

TEST(Strings, DecimalConversionReadsLeadingDigitsOnly)
{
    struct Case {
        const char* text;
        long long value;
    } cases[] = {
        { "256", 256 },
        { "  42abc", 42 },
        { "-7", -7 },
        { "+3", 3 },
        { "abc", 0 },
        { "", 0 },
        { "2:30", 2 },
        { "99999999999999999999", INT64_MAX },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToInt(c.text), c.value) << c.text;
}

TEST(Strings, SplitAtFirstSeparatorOnly)
{
    auto [k, v] = SplitFirst("a=b=c", '=');
    EXPECT_EQ(k, "a");
    EXPECT_EQ(v, "b=c");
    auto [bare, none] = SplitFirst("-nopopcnt", '=');
    EXPECT_EQ(bare, "-nopopcnt");
    EXPECT_EQ(none, "");
    EXPECT_EQ(SplitFields("  e2e4   e7e5 "), (std::vector<std::string> { "e2e4", "e7e5" }));
    EXPECT_EQ(SplitAll("1\t0\t\tx", '\t'), (std::vector<std::string> { "1", "0", "", "x" }));
}

TEST(Strings, CaseInsensitiveCompareAndTrim)
{
    EXPECT_TRUE(EqualsNoCase("QUIT", "quit"));
    EXPECT_FALSE(EqualsNoCase("quit", "quits"));
    EXPECT_EQ(Trim("  x y \r\n"), "x y");
    EXPECT_EQ(FixedText(105 / 105.0, 2), "1.00");
    EXPECT_EQ(FixedText(-52 / 105.0, 2), "-0.50");
    EXPECT_EQ(XmlEscape("a<b>&'\""), "a&lt;b&gt;&amp;&apos;&quot;");
}

TEST(Strings, KeyedListKeepsFirstValueOfRepeatedKey)
{
    clsStrings s;
    s.Add("memory", "256");
    s.Add("memory", "1");
    EXPECT_EQ(s.Value("memory"), "256");
    EXPECT_EQ(s.Value("absent"), "");
    EXPECT_EQ(s.IndexOf("absent"), -1);
    s.Set("memory", "8");
    EXPECT_EQ(s.Value("memory"), "8");
    EXPECT_EQ(s.Count(), 2);
}

TEST(Strings, CollectionLookupAgreesBeforeAndAfterSorting)
{
    for (int n : { 5, 6, 9 }) {
        clsCollection<int> c;
        for (int i = n - 1; i >= 0; --i)
            c.Add("k" + std::to_string(i), std::make_unique<int>(i));
        for (bool sorted : { false, true }) {
            if (sorted) c.Sort();
            for (int i = 0; i < n; ++i) {
                int idx = c.IndexOf("k" + std::to_string(i));
                ASSERT_GE(idx, 0);
                EXPECT_EQ(*c.Item(idx), i);
            }
            EXPECT_EQ(c.IndexOf("zz"), -1);
        }
        // An append after sorting must still be found.
        c.Add("a", std::make_unique<int>(-1));
        EXPECT_EQ(*c.Find("a"), -1);
    }
}

TEST(Strings, CollectionMoveShiftsTheEntriesBetween)
{
    clsCollection<int> c;
    for (int i = 0; i < 5; ++i)
        c.Add("k" + std::to_string(i), std::make_unique<int>(i));
    EXPECT_FALSE(c.Move(2, 2));
    EXPECT_FALSE(c.Move(0, 5));
    EXPECT_FALSE(c.Move(-1, 2));
    ASSERT_TRUE(c.Move(0, 3)); // k1 k2 k3 k0 k4
    ASSERT_TRUE(c.Move(4, 1)); // k1 k4 k2 k3 k0
    std::string order;
    for (int i = 0; i < c.Count(); ++i)
        order += c.Key(i);
    EXPECT_EQ(order, "k1k4k2k3k0");
    EXPECT_EQ(*c.Find("k0"), 0);
}

TEST(Strings, FileSaveAppendsUnlessOverwriting)
{
    auto path = (std::filesystem::temp_directory_path() / "corvala_strings_test.txt").string();
    std::remove(path.c_str());
    clsString a("one\n");
    ASSERT_TRUE(a.SaveToFile(path, true));
    ASSERT_TRUE(clsString("two\n").SaveToFile(path, false));
    clsString back;
    EXPECT_EQ(back.LoadFromFile(path), 8u);
    EXPECT_EQ(back, "one\ntwo\n");
    clsCStrings lines;
    ASSERT_TRUE(lines.LoadFromFile(path));
    EXPECT_EQ(lines.Count(), 2);
    EXPECT_EQ(lines.At(1), "two");
    ASSERT_TRUE(WriteFileAtomic(path, "three"));
    back.LoadFromFile(path);
    EXPECT_EQ(back, "three");
    std::remove(path.c_str());
    EXPECT_EQ(back.LoadFromFile(path), 0u);
    EXPECT_TRUE(back.empty());
    EXPECT_FALSE(lines.LoadFromFile(path));
}

TEST(Files, PatternAndExtensionHelpers)
{
    EXPECT_TRUE(MatchesPattern("games.pgn", "%.pgn"));
    EXPECT_TRUE(MatchesPattern("GAMES.PGN", "%.pgn"));
    EXPECT_FALSE(MatchesPattern("games.pgn.txt", "%.pgn"));
    EXPECT_FALSE(MatchesPattern("book.cbk", "%.pgn"));
    EXPECT_EQ(ReplaceExtension("dir/games.pgn", "cbk"), "dir/games.cbk");
    EXPECT_EQ(ReplaceExtension("dir.x/games", "cbk"), "dir.x/games.cbk");
    EXPECT_EQ(JoinPath("dir", "a.cbk"), "dir/a.cbk");
    EXPECT_EQ(JoinPath("", "a.cbk"), "a.cbk");
    EXPECT_TRUE(ListFiles("/nonexistent-corvala-dir", "%.pgn").empty());
}
