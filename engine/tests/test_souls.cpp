// Souls: built-in souls, selection with its fallbacks, soul texts and the name table.

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "engine/souls.h"
#include "engine/tests/enginetestutil.h"

namespace drnChess {
namespace {

    using testing::MakeEngine;
    using testing::Options;
    using testing::TakeLines;

    SoulValues Values(std::initializer_list<int> v)
    {
        SoulValues s {};
        std::size_t i = 0;
        for (int x : v)
            s[i++] = x;
        return s;
    }

    TEST(SoulText, ParsesNameAndSixteenValues)
    {
        struct Case {
            const char* text;
            const char* name;
            SoulValues values;
        };
        const Case cases[] = {
            { "X=1 2 3", "X", Values({ 1, 2, 3 }) }, // missing values are 0
            { "Simple5=7 20 20 5 5 8 8 10 10 20 5 1 5 15 5 10", "Simple5",
                Values({ 7, 20, 20, 5, 5, 8, 8, 10, 10, 20, 5, 1, 5, 15, 5, 10 }) },
            { "N=-4 abc 12x", "N", Values({ -4, 0, 12 }) }, // C-style conversion
            { "N=1  3", "N", Values({ 1, 0, 3 }) }, // an empty token between two blanks
            { "Bare", "Bare", Values({}) }, // no "=": the name alone
            { "A=B=1 2", "A", Values({ 0, 2 }) }, // "B=1" converts to 0
            { "F=1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17", "F",
                Values({ 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16 }) },
        };
        for (const Case& c : cases) {
            std::string name;
            SoulValues values;
            values.fill(99);
            ParseSoulText(c.text, name, values);
            EXPECT_EQ(name, c.name) << c.text;
            EXPECT_EQ(values, c.values) << c.text;
        }
    }

    TEST(SoulText, ValuesTextEndsEveryValueWithATab)
    {
        EXPECT_EQ(SoulValuesText(Values({ 7, 20, 20, 5, 5, 8, 8, 10, 10, 20, 5, 1, 5, 15, 5, 10 })),
            "7\t20\t20\t5\t5\t8\t8\t10\t10\t20\t5\t1\t5\t15\t5\t10\t");
        EXPECT_EQ(SoulValuesText(Values({ -3 })), "-3\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t");
    }

    TEST(SoulNames, TableOfDistinctNames)
    {
        std::set<std::string> names(std::begin(SoulNames), std::end(SoulNames));
        EXPECT_EQ(names.size(), static_cast<std::size_t>(SoulNameCount));
        EXPECT_STREQ(SoulNames[0], "ORIGINAL");
        EXPECT_STREQ(SoulNames[29], "The Hut of Baba Yaga");
        EXPECT_STREQ(SoulNames[80], "Footprints in the Snow");
        for (const char* n : SoulNames)
            EXPECT_GT(std::string(n).size(), 0u);
    }

    TEST(SoulSelection, ConstructionSelectsSimple5)
    {
        auto e = std::make_unique<clsEngine>(Options(), nullptr);
        e->SetEcho(false);
        const auto lines = TakeLines(*e);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "# soul: Simple5");
        EXPECT_EQ(e->SoulName(), "Simple5");
        EXPECT_EQ(e->SoulValuesText(), "7\t20\t20\t5\t5\t8\t8\t10\t10\t20\t5\t1\t5\t15\t5\t10\t");
        EXPECT_EQ(e->castleBonus, 20); // make-move's castling bonus follows value 2
    }

    TEST(SoulText, BadTextsAreRefusedAndTheSoulInForceStays)
    {
        const std::string sixteen = "S=1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16";
        struct Case {
            std::string text;
            const char* problem; // empty: usable
        };
        const Case cases[] = {
            { sixteen, "" },
            { "Few=1 2 3", "" }, // missing values are zeros
            { "Neg=-10000 +10000", "" },
            { "Min=-2147483648 -2147483648", "-2147483648 is beyond the limit of 10000" },
            { "Big=99999999999", "99999999999 is beyond the limit of 10000" },
            { "Word=1 abc 3", "'abc' is not a whole number" },
            { "Sign=1 - 3", "'-' is not a whole number" },
            { "Tail=12x", "'12x' is not a whole number" },
            { sixteen + " 17", "more than 16 values" },
            { "=1 2 3", "a soul text is NAME=v0 v1 ... v15" },
        };
        for (const Case& c : cases)
            EXPECT_EQ(SoulTextProblem(c.text), c.problem) << c.text;

        auto e = MakeEngine(nullptr);
        const std::string before = e->SoulText();
        TakeLines(*e);
        e->SelectSoul("Min=-2147483648 -2147483648");
        EXPECT_EQ(e->SoulText(), before);
        const auto lines = TakeLines(*e);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind("# bad soul: ", 0), 0u) << lines[0];
    }

    TEST(SoulSelection, BuiltInNamesApplyTheirValues)
    {
        auto e = MakeEngine(nullptr);
        for (const char* soul : BuiltInSouls) {
            const std::string text(soul);
            const std::string name = text.substr(0, text.find('='));
            e->SelectSoul(name);
            EXPECT_EQ(TakeLines(*e), std::vector<std::string> { "# soul: " + name });
            EXPECT_EQ(e->SoulText(), text);
        }
        EXPECT_EQ(e->SoulName(), "GEN_28_18_1");
    }

    TEST(SoulSelection, UnknownNamesChangeOnlyTheName)
    {
        auto e = MakeEngine(nullptr);
        e->SelectSoul("GEN_26_12_2");
        const SoulValues before = e->Soul();
        for (const char* name : { "Nobody", "simple5", "GEN_26_12", "GEN_26_12_22" }) {
            e->SelectSoul(name);
            EXPECT_EQ(e->SoulName(), name);
            EXPECT_EQ(e->Soul(), before) << name;
        }
    }

    TEST(SoulSelection, EmptyNameFallsBackToTheOptions)
    {
        struct Case {
            std::initializer_list<std::pair<const char*, const char*>> options;
            const char* expected;
        };
        const Case cases[] = {
            { {}, "Simple5" },
            { { { "soul", "GEN_26_12_3" } }, "GEN_26_12_3" },
            { { { "-soul", "GEN_26_12_1" } }, "GEN_26_12_1" },
            { { { "-soul", "GEN_26_12_1" }, { "soul", "GEN_26_12_2" } }, "GEN_26_12_2" },
            { { { "soul", "" }, { "-soul", "GEN_28_18_1" } }, "GEN_28_18_1" },
        };
        for (const Case& c : cases) {
            auto e = MakeEngine(nullptr, Options(c.options));
            e->ApplySoulText("Zero=0");
            TakeLines(*e);
            e->SelectSoul("");
            EXPECT_EQ(TakeLines(*e), std::vector<std::string> { std::string("# soul: ") + c.expected });
            EXPECT_EQ(e->SoulText(), BuiltInSoulText(c.expected));
        }
    }

    TEST(SoulSelection, ATextWithValuesIsApplied)
    {
        auto e = MakeEngine(nullptr);
        e->SelectSoul("Mine=1 2 33 4");
        EXPECT_EQ(TakeLines(*e), std::vector<std::string> { "# soul: Mine" });
        EXPECT_EQ(e->SoulName(), "Mine");
        EXPECT_EQ(e->Soul(), Values({ 1, 2, 33, 4 }));
        EXPECT_EQ(e->castleBonus, 33);

        e->ApplySoulText("X=1 2 3");
        EXPECT_EQ(e->SoulText(), "X=1 2 3 0 0 0 0 0 0 0 0 0 0 0 0 0");
        EXPECT_EQ(e->castleBonus, 3);
        e->SetSoulValue(SoulWeight::CastlingBonus, 44);
        EXPECT_EQ(e->castleBonus, 44);
        e->SetSoulValue(16, 5); // out of range: ignored
        e->SetSoulValue(-1, 5);
        EXPECT_EQ(e->SoulText(), "X=1 2 44 0 0 0 0 0 0 0 0 0 0 0 0 0");
    }

} // namespace
} // namespace drnChess
