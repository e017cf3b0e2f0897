#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include "dranbase/clsxml.h"

using dranbase::clsXML;
using dranbase::clsXMLCollection;

namespace {

const char* const kTourney = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- a small tournament -->
<tourney name="Spring   Cup" type="Gauntlet">
  <options>
    <rounds>2</rounds>
    <clock moves_per_second="0" game_ms="60000" increment_ms="500"/>
    <threads>
      1
    </threads>
  </options>
  <engines>
    <engine name="Fairy" active="true" protocol="xboard">
      <filename>"/usr/games/fairymax"</filename>
      <parameters>-l
         fmax.ini</parameters>
    </engine>
    <engine name="Fish" active="TRUE" protocol="uci">
      <filename>/usr/games/stockfish</filename>
    </engine>
    <engine name="Off"><filename>none</filename></engine>
  </engines>
</tourney>
)";

class TempFile {
public:
    explicit TempFile(const std::string& content)
    {
        path_ = (std::filesystem::temp_directory_path()
            / ("corvala_xml_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++) + ".xml"))
                    .string();
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    static inline int counter_ = 0;
};

std::string Reparsed(const std::string& text)
{
    clsXML doc;
    doc.Parse(text);
    return doc.ToText();
}

} // namespace

TEST(Xml, TournamentFileLookups)
{
    clsXML doc;
    doc.Parse(kTourney);

    ASSERT_EQ(doc.ChildCount(), 3); // declaration, comment, tourney
    EXPECT_EQ(doc.Child(0)->NodeKind(), clsXML::Declaration);
    EXPECT_EQ(doc.Child(0)->Name(), "xml");
    EXPECT_EQ(doc.Child(0)->GetAttribute("encoding"), "UTF-8");
    EXPECT_EQ(doc.Child(1)->NodeKind(), clsXML::Comment);
    EXPECT_EQ(doc.Child(1)->Text(), " a small tournament ");

    clsXML* tourney = doc.FindPath("tourney");
    ASSERT_NE(tourney, nullptr);
    EXPECT_EQ(tourney->GetAttribute("name"), "Spring   Cup"); // quoted blanks are kept
    EXPECT_EQ(tourney->GetAttribute("type"), "Gauntlet");
    EXPECT_EQ(tourney->GetAttribute("missing"), "");
    EXPECT_EQ(tourney->Attributes().At(0).key, "name"); // document order
    EXPECT_EQ(tourney->Attributes().At(1).key, "type");

    clsXML* engines = doc.FindPath("tourney/engines");
    ASSERT_NE(engines, nullptr);
    EXPECT_EQ(engines->Name(), "engines");
    EXPECT_EQ(doc.FindPath("engines"), engines); // depth-first search from the document
    EXPECT_EQ(doc.FindPath("/tourney//engines/"), engines);
    EXPECT_EQ(doc.FindPath("tourney/nothing"), nullptr);
    EXPECT_EQ(doc.FindPath(""), nullptr);
    EXPECT_EQ(engines->Parent(), tourney);

    EXPECT_EQ(doc.GetChildText("tourney/options/rounds", "1"), "2");
    EXPECT_EQ(doc.GetChildText("tourney/options/threads"), "1"); // multi-line text, trimmed
    EXPECT_EQ(doc.GetChildText("tourney/options/logfolder", "none"), "none");
    EXPECT_EQ(doc.FindPath("options/clock")->GetAttribute("increment_ms"), "500");
    EXPECT_EQ(doc.FindPath("options/clock")->NodeKind(), clsXML::Element);
    EXPECT_EQ(doc.FindPath("options/rounds")->NodeKind(), clsXML::TextElement);

    clsXMLCollection list;
    EXPECT_EQ(engines->CollectByName("engine", list), 3);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->GetAttribute("name"), "Fairy");
    EXPECT_EQ(list[2]->GetAttribute("name"), "Off");
    EXPECT_EQ(list[0]->GetChildText("filename"), "\"/usr/games/fairymax\"");
    EXPECT_EQ(list[0]->GetChildText("parameters"), "-l fmax.ini"); // line end became one blank
    EXPECT_EQ(list[1]->GetChildText("parameters", "-"), "-");

    list.clear();
    EXPECT_EQ(engines->CollectByName("engines", list), 1); // the node itself counts
    EXPECT_EQ(list[0], engines);
}

TEST(Xml, LoadFileWithAndWithoutByteOrderMark)
{
    TempFile plain(kTourney);
    TempFile bom(std::string("\xEF\xBB\xBF") + kTourney);
    clsXML a, b;
    EXPECT_TRUE(a.LoadFile(plain.Path()));
    EXPECT_TRUE(b.LoadFile(bom.Path()));
    EXPECT_EQ(a.ToText(), b.ToText());
    EXPECT_EQ(b.Child(0)->Name(), "xml");
    EXPECT_EQ(b.Folder(), std::filesystem::path(bom.Path()).parent_path().string());
}

TEST(Xml, MissingFileReportsAndLeavesEmptyTree)
{
    clsXML doc;
    doc.Parse("<old/>");
    for (const std::string& path : { std::string("/nonexistent/corvala.xml"), std::string("/tmp") }) {
        testing::internal::CaptureStdout();
        EXPECT_FALSE(doc.LoadFile(path));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), ""); // a value, worded by the caller
        EXPECT_EQ(doc.ChildCount(), 0);
        EXPECT_EQ(doc.GetChildText("tourney/name", "dflt"), "dflt");
    }
}

TEST(Xml, ProblemsOfAMalformedText)
{
    struct Case {
        const char* text;
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        { "<a><b>x</b></a>", {} },
        { "<a><b/><c x=\"1\"/></a>", {} },
        { "<tourney><options><rounds>1</rounds></tourney>", { "element <options> is not closed" } },
        { "<a><b>", { "element <b> is not closed", "element <a> is not closed" } },
        { "</x><a/>", { "end tag </x> without a start tag" } },
        { "<a><b></c></a>", { "end tag </c> closes <b>" } },
    };
    for (const Case& c : cases) {
        clsXML doc;
        doc.Parse(c.text);
        EXPECT_EQ(doc.Problems(), c.problems) << c.text;
    }
}

TEST(Xml, ParseCases)
{
    struct Case {
        const char* input;
        const char* expected; // ToText of the document
    };
    const Case cases[] = {
        { "<a>x</a>", "<a>x</a>" }, { "<a/>", "<a></a>" }, { "<a></a>", "<a></a>" },
        { "<a>\t one \r\n  two\n</a>", "<a>one two</a>" },
        { "<a b='1' c = \"x y\"/>", "<a b=\"1\" c=\"x y\"></a>" },
        { "<a b=\"line\none\"/>", "<a b=\"line one\"></a>" }, { "<a b=\"a>b\"/>", "<a b=\"a&gt;b\"></a>" },
        { "<a>&lt;&amp;&gt;&quot;&apos;&#65;&#x42;&bogus;</a>",
            "<a>&lt;&amp;&gt;&quot;&apos;AB&amp;bogus;</a>" },
        { "<a><![CDATA[<raw>\n  &amp;]]></a>", "<a>&lt;raw&gt; &amp;amp;</a>" }, // no entities in CDATA
        { "<a>one<b/>two</a>", "<a>\n  one two\n  <b></b>\n</a>" },
        { "<!DOCTYPE a [<!ELEMENT a ANY>]><a/>", "<a></a>" },
        { "<!-- x -- y --><a/>", "<!-- x == y -->\n<a></a>" },
        { "<?xml version=\"1.0\"?>", "<?xml version=\"1.0\"?>" },
        { "<a><keep/><gone sg:null=\"true\"><x/></gone><gone2 sg:null=\"TRUE\"/></a>",
            "<a>\n  <keep></keep>\n</a>" },
        { "<a><b>x</a><c/>", "<a>\n  <b>x</b>\n</a>\n<c></c>" }, // </a> closes b and a
        { "<a><b></x><c/></a>", "<a>\n  <b></b>\n  <c></c>\n</a>" }, // stray end tag closes b
        { "</x><a/>", "<a></a>" }, { "<a>1 < 2</a>", "<a>1 &lt; 2</a>" },
        { "<a><b>", "<a>\n  <b></b>\n</a>" }, // unterminated: closed at the end
        { "<a b=\"unterminated", "<a b=\"unterminated\"></a>" }, { "<!-- open", "<!-- open-->" }, { "", "" },
        { "plain text only", "" }, // document text is kept but not written
    };
    for (const Case& c : cases) {
        clsXML doc;
        doc.Parse(c.input);
        EXPECT_EQ(doc.ToText(), c.expected) << "input: " << c.input;
    }
}

TEST(Xml, ToTextEscapesAndIndents)
{
    clsXML doc;
    clsXML* e = doc.AddChild(clsXML::Element, "engines");
    clsXML* x = e->AddChild(clsXML::Element, "engine");
    x->SetAttribute("name", "Tom & \"Jerry\" <'x'>");
    x->AppendText("a<b");
    EXPECT_EQ(x->NodeKind(), clsXML::TextElement);
    EXPECT_EQ(e->ToText(),
        "<engines>\n  <engine name=\"Tom &amp; &quot;Jerry&quot; "
        "&lt;&apos;x&apos;&gt;\">a&lt;b</engine>\n</engines>");
    EXPECT_EQ(Reparsed(doc.ToText()), doc.ToText());
    EXPECT_THROW(clsXML(6), std::invalid_argument);
    EXPECT_THROW(clsXML(-1), std::invalid_argument);
}

TEST(Xml, DeepNestingIsBounded)
{
    const int n = 20000;
    std::string text;
    for (int i = 0; i < n; ++i)
        text += "<d>";
    text += "core";
    for (int i = 0; i < n; ++i)
        text += "</d>";
    text += "<after/>";
    clsXML doc;
    doc.Parse(text);
    int depth = 0;
    const clsXML* node = &doc;
    while (node->ChildCount() > 0 && node->Child(0)->Name() == "d") {
        node = node->Child(0);
        ++depth;
    }
    EXPECT_EQ(depth, clsXML::MaxDepth);
    EXPECT_EQ(node->Text(), "core");
    ASSERT_EQ(doc.ChildCount(), 2); // the skipped end tags did not close kept levels early
    EXPECT_EQ(doc.Child(1)->Name(), "after");
}

// A random well-formed tree written as text must read back to the same tree.
TEST(Xml, RandomTreesRoundTrip)
{
    std::mt19937 rng(20240607);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const char* const words[] = { "a", "b&c", "<x>", "\"q\"", "it's", "1-0", "é", "]]>", "--" };
    auto phrase = [&]() {
        std::string s;
        for (int w = pick(4); w > 0; --w)
            s += (s.empty() ? "" : " ") + std::string(words[pick(9)]);
        return s;
    };
    for (int round = 0; round < 200; ++round) {
        clsXML doc;
        std::vector<clsXML*> open { &doc };
        for (int k = pick(30); k > 0; --k) {
            clsXML* parent = open[static_cast<std::size_t>(pick(static_cast<int>(open.size())))];
            clsXML* e = parent->AddChild(clsXML::Element, std::string(1, static_cast<char>('a' + pick(5))));
            for (int a = pick(3); a > 0; --a)
                e->SetAttribute(std::string(1, static_cast<char>('p' + a)), phrase());
            if (pick(2)) e->AppendText(phrase());
            open.push_back(e);
        }
        std::string text = doc.ToText();
        ASSERT_EQ(Reparsed(text), text) << "round " << round;
    }
}

// Mutated and random inputs: the reader must neither crash nor hang, and once written and read
// again its output must be stable.
TEST(Xml, FuzzedInputsNeverBreakTheReader)
{
    std::mt19937 rng(7);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    const std::string seed = kTourney;
    const std::string pieces[] = { "<", ">", "/", "\"", "'", "=", "<!--", "-->", "<![CDATA[", "]]>", "<?",
        "?>", "&", ";", "&#x", "&#", "</", "/>", " ", "\n", "a", "sg:null=\"true\"", "<!DOCTYPE", "[", "]",
        "\xEF\xBB\xBF", std::string("\0", 1) };
    auto plainNames = [](const clsXML& root) {
        auto plain = [](const std::string& s) {
            for (char c : s)
                if (!std::isalnum(static_cast<unsigned char>(c)) && c != ':' && c != '_') return false;
            return true;
        };
        std::vector<const clsXML*> stack { &root };
        while (!stack.empty()) {
            const clsXML* n = stack.back();
            stack.pop_back();
            if (!plain(n->Name())) return false;
            for (const auto& a : n->Attributes())
                if (!plain(a.key)) return false;
            for (int c = 0; c < n->ChildCount(); ++c)
                stack.push_back(n->Child(c));
        }
        return true;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        if (round % 3 == 0) {
            for (std::size_t k = pick(60); k > 0; --k)
                text += pieces[pick(std::size(pieces))];
        } else {
            text = seed;
            for (std::size_t k = 1 + pick(8); k > 0; --k) {
                std::size_t at = pick(text.size() + 1);
                switch (pick(4)) {
                case 0:
                    text.erase(at, pick(20));
                    break;
                case 1:
                    text.insert(at, pieces[pick(std::size(pieces))]);
                    break;
                case 2:
                    text.insert(at, 1, static_cast<char>(rng()));
                    break;
                default:
                    text.resize(at);
                    break;
                }
            }
        }
        clsXML doc;
        doc.Parse(text);
        clsXMLCollection list;
        doc.CollectByName("engine", list);
        doc.FindPath("tourney/engines/engine");
        doc.GetChildText("options/rounds", "1");
        if (!plainNames(doc)) continue;
        std::string once = Reparsed(doc.ToText());
        ASSERT_EQ(Reparsed(once), once) << "round " << round;
    }
}
