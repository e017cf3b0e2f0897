// Opening suites: EPD and PGN entries, the problems of bad entries by line, the order of use,
// the shared suites, and the <openings>/<sprt> elements of a tournament's options.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>

#include "dranbase/clsxml.h"
#include "tourney/openings.h"

using namespace drnChess;

namespace {
const char* const StartPosition = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

clsOpeningSettings Settings(OpeningFormat format, int plies = 0)
{
    clsOpeningSettings s;
    s.format = format;
    s.plies = plies;
    return s;
}
} // namespace

// Each row: a FEN and the start of the reason it is refused (empty: accepted).
TEST(Openings, StartFenChecks)
{
    const std::pair<const char*, const char*> cases[] = {
        { StartPosition, "" },
        { "4k3/8/8/8/8/8/8/4K3 b - -", "" },
        { "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3", "" },
        { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq", "a FEN needs four fields" },
        { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq -", "the placement does not have" },
        { "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "'9' in the placement" },
        { "rnbqkbnr/ppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "rank 7 has more" },
        { "rnbqkbnr/ppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "rank 7 does not have" },
        { "rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ -", "not exactly one king" },
        { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKKNR w kq -", "not exactly one king" },
        { "P3k3/8/8/8/8/8/8/4K3 w - -", "a pawn on the first" },
        { "4k3/8/8/8/8/8/8/4K3 x - -", "the side to move" },
        { "4k3/8/8/8/8/8/8/4K3 w X -", "castling rights" },
        { "4k3/8/8/8/8/8/8/4K3 w - e4", "the en passant square" },
        { "4k3/8/8/8/8/8/8/4K2R b - -", "" },
        { "4k2R/8/8/8/8/8/8/4K3 w - -", "the side not to move is in check" },
        { "7k/5Q2/6K1/8/8/8/8/8 b - -", "the side to move has no legal move" }, // stalemate
        { "7k/6Q1/6K1/8/8/8/8/8 b - -", "the side to move has no legal move" }, // mate
        { "", "no FEN given" },
    };
    for (const auto& [fen, reason] : cases) {
        SCOPED_TRACE(fen);
        const std::string why = CheckStartFen(fen);
        if (*reason == '\0')
            EXPECT_EQ(why, "");
        else
            EXPECT_EQ(why.rfind(reason, 0), 0u) << why;
    }
}

TEST(Openings, EpdLinesAndTheirProblems)
{
    const std::string text = "# a comment\n"
                             "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 bm e5; id \"one\";\n"
                             "\n"
                             "this is no position\n"
                             "4k3/8/8/8/8/8/8/4K3 w - - 0 1\r\n"
                             "4k2R/8/8/8/8/8/8/4K3 w - -\n"
                             "8/8/8/8/8/8/8/8 w - -"; // last line without its end
    const clsOpeningSuite suite = ReadOpeningSuite(text, Settings(OpeningFormat::Epd));
    ASSERT_EQ(suite.openings.size(), 2u);
    EXPECT_EQ(suite.openings[0].fen, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    EXPECT_EQ(suite.openings[0].line, 2);
    EXPECT_TRUE(suite.openings[0].moves.empty());
    EXPECT_EQ(suite.openings[1].fen, "4k3/8/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(suite.openings[1].line, 5);
    ASSERT_EQ(suite.problems.size(), 3u);
    EXPECT_EQ(suite.problems[0].line, 4);
    EXPECT_EQ(suite.problems[1].line, 6);
    EXPECT_EQ(suite.problems[1].text, "the side not to move is in check");
    EXPECT_EQ(suite.problems[2].line, 7);
}

TEST(Openings, PgnGamesGiveTheirFirstPlies)
{
    const std::string text = "[Event \"a\"]\n[Result \"1-0\"]\n\n1.e4 e5 2.Nf3 Nc6 3.Bb5 a6 1-0\n"
                             "\n\n"
                             "[Event \"bad\"]\n\n1.e4 e5 2.Ke3 1-0\n" // line 7: an illegal king move
                             "\n"
                             "[Event \"from a position\"]\n[SetUp \"1\"]\n"
                             "[FEN \"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\"]\n\n1.e4 Kd7 *\n" // line 11
                             "\n"
                             "[Event \"short\"]\n\n1.d4 *\n" // line 17
                             "\n"
                             "[Event \"bad position\"]\n[FEN \"8/8/8/8/8/8/8/8 w - - 0 1\"]\n\n1.e4 *\n";
    const clsOpeningSuite suite = ReadOpeningSuite(text, Settings(OpeningFormat::Pgn, 3));
    ASSERT_EQ(suite.openings.size(), 3u);
    EXPECT_EQ(suite.openings[0].fen, "");
    EXPECT_EQ(suite.openings[0].moves, (std::vector<std::string> { "e2e4", "e7e5", "g1f3" }));
    EXPECT_EQ(suite.openings[0].line, 1);
    EXPECT_EQ(suite.openings[1].fen, "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    EXPECT_EQ(suite.openings[1].moves, (std::vector<std::string> { "e2e4", "e8d7" }));
    EXPECT_EQ(suite.openings[1].line, 11);
    EXPECT_EQ(suite.openings[2].moves, (std::vector<std::string> { "d2d4" }));
    EXPECT_EQ(suite.openings[2].line, 17);
    ASSERT_EQ(suite.problems.size(), 2u);
    EXPECT_EQ(suite.problems[0].line, 7);
    EXPECT_NE(suite.problems[0].text.find("Ke3"), std::string::npos) << suite.problems[0].text;
    EXPECT_EQ(suite.problems[1].line, 21);
    EXPECT_EQ(suite.problems[1].text, "not exactly one king of each colour");

    // No limit takes every move; a limit past the first bad move still refuses the game.
    const clsOpeningSuite all = ReadOpeningSuite(text, Settings(OpeningFormat::Pgn, 0));
    ASSERT_EQ(all.openings.size(), 3u);
    EXPECT_EQ(all.openings[0].moves.size(), 6u);
    const clsOpeningSuite two = ReadOpeningSuite(text, Settings(OpeningFormat::Pgn, 2));
    EXPECT_EQ(two.openings.size(), 4u); // the bad game's first two plies are fine
}

TEST(Openings, EcoAndNameAreKeptOnlyForALinePlayedWhole)
{
    const std::string text = "[ECO \"C60\"]\n[Opening \"Ruy Lopez\"]\n\n1.e4 e5 2.Nf3 Nc6 3.Bb5 *\n\n"
                             "[ECO \"A40\"]\n\n1.d4 *\n";
    struct Case {
        int plies;
        const char* firstEco; // the long line's
        const char* firstName;
    };
    const Case cases[]
        = { { 0, "C60", "Ruy Lopez" }, { 5, "C60", "Ruy Lopez" }, { 8, "C60", "Ruy Lopez" }, { 4, "", "" } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plies);
        const clsOpeningSuite suite = ReadOpeningSuite(text, Settings(OpeningFormat::Pgn, c.plies));
        ASSERT_EQ(suite.openings.size(), 2u);
        EXPECT_EQ(suite.openings[0].eco, c.firstEco);
        EXPECT_EQ(suite.openings[0].name, c.firstName);
        EXPECT_EQ(suite.openings[1].eco, "A40"); // one ply: whole under any limit
        EXPECT_EQ(suite.openings[1].name, "");
    }
}

TEST(Openings, OrderStartAndWrapAround)
{
    std::string text; // seven positions, the black king on a8 .. g8: line k has it on file k
    for (int k = 0; k < 7; ++k)
        text += (k ? std::to_string(k) : "") + "k" + std::to_string(7 - k) + "/8/8/8/8/8/8/7K w - -\n";
    clsOpeningSettings s = Settings(OpeningFormat::Epd);
    s.start = 3;
    const clsOpeningSuite seq = ReadOpeningSuite(text, s);
    ASSERT_EQ(seq.openings.size(), 7u);
    EXPECT_EQ(seq.ForPair(0)->line, 3);
    EXPECT_EQ(seq.ForPair(4)->line, 7);
    EXPECT_EQ(seq.ForPair(5)->line, 1); // round again
    EXPECT_EQ(seq.ForPair(7)->line, 3);

    // Random: a permutation that the seed alone decides; another seed gives another one.
    s.start = 1;
    s.order = OpeningOrder::Random;
    s.seed = 42;
    const clsOpeningSuite a = ReadOpeningSuite(text, s);
    const clsOpeningSuite b = ReadOpeningSuite(text, s);
    EXPECT_EQ(a.order, b.order);
    EXPECT_EQ(std::set<std::size_t>(a.order.begin(), a.order.end()).size(), 7u);
    s.seed = 43;
    const clsOpeningSuite c = ReadOpeningSuite(text, s);
    EXPECT_NE(a.order, c.order);
    std::vector<std::size_t> sorted = a.order;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_NE(a.order, sorted); // 1 chance in 5040 to be wrong for a fixed seed: checked once

    EXPECT_EQ(ReadOpeningSuite("", s).ForPair(0), nullptr);
}

TEST(Openings, UnreadableFileIsOneProblem)
{
    clsOpeningSettings s;
    s.file = "/nonexistent/openings.epd";
    const clsOpeningSuite suite = LoadOpeningSuite(s);
    EXPECT_TRUE(suite.openings.empty());
    ASSERT_EQ(suite.problems.size(), 1u);
    EXPECT_EQ(suite.problems[0].line, 0);
}

// A device, a FIFO or a folder is refused before any read: /dev/zero would be read without end,
// and a FIFO nobody writes to would wait for ever.
TEST(Openings, FilesThatAreNotRegularAreRefused)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "corvala_openings_fifo";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string fifo = (folder / "suite.epd").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& file : { std::string("/dev/zero"), fifo, folder.string() }) {
        SCOPED_TRACE(file);
        clsOpeningSettings s;
        s.file = file;
        const clsOpeningSuite suite = LoadOpeningSuite(s);
        EXPECT_TRUE(suite.openings.empty());
        ASSERT_EQ(suite.problems.size(), 1u);
        EXPECT_NE(suite.problems[0].text.find("not a regular file"), std::string::npos)
            << suite.problems[0].text;
    }
    std::filesystem::remove_all(folder);
}

// Every suite kept with the project loads whole: each EPD line and each PGN game becomes an
// opening.
TEST(Openings, ProjectSuitesLoad)
{
    const std::filesystem::path data = CORVALA_TEST_DATA;
    for (const auto& entry : std::filesystem::directory_iterator(data / "epd")) {
        if (entry.path().extension() != ".epd") continue;
        SCOPED_TRACE(entry.path().string());
        clsOpeningSettings s;
        s.file = entry.path().string();
        const clsOpeningSuite suite = LoadOpeningSuite(s);
        std::ifstream in(s.file);
        std::size_t lines = 0;
        for (std::string line; std::getline(in, line);)
            lines += !line.empty();
        EXPECT_EQ(suite.openings.size(), lines);
        EXPECT_TRUE(suite.problems.empty()) << suite.problems[0].line << ": " << suite.problems[0].text;
    }
    clsOpeningSettings s = Settings(OpeningFormat::Pgn, 8);
    s.file = (data / "openings.pgn").string();
    const clsOpeningSuite pgn = LoadOpeningSuite(s);
    ASSERT_EQ(pgn.openings.size(), 100u);
    EXPECT_TRUE(pgn.problems.empty()) << pgn.problems[0].line << ": " << pgn.problems[0].text;
    EXPECT_EQ(pgn.openings[0].moves,
        (std::vector<std::string> { "e2e4", "e7e5", "g1f3", "b8c6", "b1c3", "g8f6", "d2d4", "e5d4" }));
}

// The large shared game collection (beside the project on the developers' machines) loads whole.
TEST(Openings, SharedGameCollectionLoads)
{
    const std::filesystem::path data = CORVALA_SHARED_DATA;
    if (!std::filesystem::exists(data / "pgn")) GTEST_SKIP() << "no shared data at " << data;
    // The PGN files, two plies each (the whole suites are read and replayed alike; the counts
    // are their README's).
    const std::pair<const char*, std::size_t> pgns[]
        = { { "classic_before1880.pgn", 1977 }, { "classic_1880-1904.pgn", 3757 },
              { "classic_1905-1924.pgn", 5018 }, { "classic_1925-later.pgn", 5110 } };
    for (const auto& [name, games] : pgns) {
        SCOPED_TRACE(name);
        clsOpeningSettings s = Settings(OpeningFormat::Pgn, 2);
        s.file = (data / "pgn" / name).string();
        const clsOpeningSuite pgn = LoadOpeningSuite(s);
        EXPECT_EQ(pgn.openings.size(), games);
        EXPECT_TRUE(pgn.problems.empty()) << pgn.problems[0].line << ": " << pgn.problems[0].text;
    }
    clsOpeningSettings s = Settings(OpeningFormat::Pgn, 8);
    s.file = (data / "pgn" / "classic_before1880.pgn").string();
    const clsOpeningSuite pgn = LoadOpeningSuite(s);
    ASSERT_FALSE(pgn.openings.empty());
    EXPECT_EQ(pgn.openings[0].moves,
        (std::vector<std::string> { "e2e4", "e7e5", "f2f4", "e5f4", "g1f3", "g7g5", "f1c4", "g5g4" }));
}

namespace {
clsMatchOptions ReadOptions(const std::string& xml)
{
    dranbase::clsXML doc;
    doc.Parse("<tourney><options>" + xml + "</options></tourney>");
    const dranbase::clsXML* options = doc.FindPath("tourney/options");
    return options ? ReadMatchOptions(*options) : clsMatchOptions {};
}
} // namespace

TEST(MatchOptions, ReadsBothElements)
{
    const clsMatchOptions m
        = ReadOptions("<rounds>2</rounds>"
                      "<openings file=\"x/book.pgn\" order=\"Random\" plies=\"8\" start=\"3\" seed=\"7\"/>"
                      "<sprt elo0=\"-1.5\" elo1=\"3\" alpha=\"0.1\" beta=\"0.05\" model=\"normalized\" "
                      "min_games=\"40\"/>");
    EXPECT_TRUE(m.problems.empty());
    ASSERT_TRUE(m.hasOpenings);
    EXPECT_EQ(m.openings.file, "x/book.pgn");
    EXPECT_EQ(m.openings.format, OpeningFormat::Pgn); // from the extension
    EXPECT_EQ(m.openings.order, OpeningOrder::Random);
    EXPECT_EQ(m.openings.plies, 8);
    EXPECT_EQ(m.openings.start, 3);
    EXPECT_EQ(m.openings.seed, 7u);
    ASSERT_TRUE(m.hasSprt);
    EXPECT_EQ(m.sprt.elo0, -1.5);
    EXPECT_EQ(m.sprt.elo1, 3);
    EXPECT_EQ(m.sprt.alpha, 0.1);
    EXPECT_EQ(m.sprt.beta, 0.05);
    EXPECT_EQ(m.sprt.model, SprtModel::Normalized);
    EXPECT_EQ(m.sprt.minGames, 40);

    const clsMatchOptions defaults = ReadOptions("<openings file=\"s.epd\"/><sprt/>");
    EXPECT_TRUE(defaults.hasOpenings && defaults.hasSprt);
    EXPECT_EQ(defaults.openings.format, OpeningFormat::Epd);
    EXPECT_EQ(defaults.openings.order, OpeningOrder::Sequential);
    EXPECT_EQ(defaults.openings.plies, 0);
    EXPECT_EQ(defaults.openings.start, 1);
    EXPECT_EQ(defaults.sprt.elo0, 0);
    EXPECT_EQ(defaults.sprt.elo1, 5);
    EXPECT_EQ(defaults.sprt.model, SprtModel::Logistic);
    EXPECT_EQ(defaults.sprt.minGames, 10);

    const clsMatchOptions none = ReadOptions("<rounds>1</rounds>");
    EXPECT_FALSE(none.hasOpenings || none.hasSprt);
    EXPECT_TRUE(none.problems.empty());
}

// Each row: one element with one bad value; the element is left out with one problem.
TEST(MatchOptions, BadValuesAreProblems)
{
    const std::pair<const char*, const char*> cases[] = {
        { "<openings/>", "openings: no file" },
        { "<openings file=\"a\" format=\"fen\"/>", "openings: format \"fen\"" },
        { "<openings file=\"a\" order=\"shuffled\"/>", "openings: order" },
        { "<openings file=\"a\" plies=\"-1\"/>", "openings: plies" },
        { "<openings file=\"a\" plies=\"8x\"/>", "openings: plies" },
        { "<openings file=\"a\" start=\"0\"/>", "openings: start" },
        { "<openings file=\"a\" seed=\"99999999999999999999999\"/>", "openings: seed" },
        { "<sprt elo0=\"abc\"/>", "sprt: elo0" },
        { "<sprt elo1=\"1e999\"/>", "sprt: elo1" },
        { "<sprt alpha=\"0\"/>", "sprt: alpha and beta" },
        { "<sprt alpha=\"0.6\" beta=\"0.5\"/>", "sprt: alpha and beta" },
        { "<sprt elo0=\"5\" elo1=\"5\"/>", "sprt: elo1 must be above elo0" },
        { "<sprt model=\"bayes\"/>", "sprt: model" },
        { "<sprt min_games=\"-1\"/>", "sprt: min_games" },
    };
    for (const auto& [xml, problem] : cases) {
        SCOPED_TRACE(xml);
        const clsMatchOptions m = ReadOptions(xml);
        EXPECT_FALSE(m.hasOpenings || m.hasSprt);
        ASSERT_EQ(m.problems.size(), 1u);
        EXPECT_EQ(m.problems[0].rfind(problem, 0), 0u) << m.problems[0];
    }
}
