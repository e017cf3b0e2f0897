// The match command line: the words read into a tournament description, the refusals that name
// their option, and the tournament file written for it reading back as the same description.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "book/polyglot.h"
#include "dranbase/clsxml.h"
#include "tourney/matchcli.h"
#include "tourney/tests/test_referee_support.h"

using namespace drnChess;

namespace {

const std::string OpeningsPgn
    = (std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "tests" / "data" / "openings.pgn")
          .string();

std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

const std::string TwoEngines = "-engine name=sf cmd=/usr/games/stockfish proto=uci "
                               "-engine cmd=/usr/games/phalanx arg=-l- arg=-r0 -each tc=40/60+0.6 ";

} // namespace

TEST(MatchCommand, ReadsAStandardCommandLine)
{
    const clsMatchCommand m = ReadMatchCommand(Words(TwoEngines
        + "-games 6 -rounds 2 -concurrency 2 -tournament gauntlet -openings file=" + OpeningsPgn
        + " order=random plies=8 start=3 -srand 7 -repeat -recover -event Test -site Here -wait 5 "
          "-sprt elo0=0 elo1=10 alpha=0.05 beta=0.1 -pgnout out.pgn -logfolder logs"));
    ASSERT_EQ(m.error, "");
    const clsTourneyConfig& c = m.config;
    ASSERT_EQ(c.players.size(), 2U);
    EXPECT_EQ(c.players[0].name, "sf");
    EXPECT_EQ(c.players[0].protocol, "uci");
    EXPECT_EQ(c.players[1].name, "phalanx"); // the command's file name when name= is missing
    EXPECT_EQ(c.players[1].protocol, "xboard"); // the default protocol
    EXPECT_EQ(c.players[1].parameters, "-l- -r0");
    EXPECT_EQ(c.rounds, 6); // 2 rounds of 6 games a pairing, played as 3 colour-swapped pairs each
    EXPECT_EQ(c.threads, 2);
    EXPECT_EQ(c.kind, TourneyKind::Gauntlet);
    EXPECT_EQ(c.name, "Test");
    EXPECT_EQ(c.extraTags.Value("Site"), "Here");
    EXPECT_EQ(c.pacingMs, 5);
    EXPECT_EQ(c.logFolder, "logs");
    // Engines are kept between games unless restart=on asks otherwise.
    EXPECT_TRUE(c.players[0].keepEngine);
    EXPECT_TRUE(c.players[1].keepEngine);
    EXPECT_EQ(c.movesPerControl, 40);
    EXPECT_EQ(c.gameMs, 60000);
    EXPECT_EQ(c.incrementMs, 600);
    ASSERT_TRUE(m.match.hasOpenings);
    EXPECT_EQ(m.match.openings.format, OpeningFormat::Pgn);
    EXPECT_EQ(m.match.openings.order, OpeningOrder::Random);
    EXPECT_EQ(m.match.openings.plies, 8);
    EXPECT_EQ(m.match.openings.start, 3);
    EXPECT_EQ(m.match.openings.seed, 7U);
    ASSERT_TRUE(m.match.hasSprt);
    EXPECT_DOUBLE_EQ(m.match.sprt.elo1, 10);
    EXPECT_DOUBLE_EQ(m.match.sprt.beta, 0.1);
    EXPECT_EQ(m.pgnOut, "out.pgn");
}

TEST(MatchCommand, DefaultsHaveNoPauseAndOnePairOfGames)
{
    const clsMatchCommand m = ReadMatchCommand(Words(TwoEngines));
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.config.pacingMs, 0);
    EXPECT_EQ(m.config.startDelayMs, 0); // the handshake is waited for, not a clock
    EXPECT_EQ(m.config.rounds, 1);
    EXPECT_EQ(m.config.threads, 1);
    EXPECT_FALSE(m.match.hasOpenings);
    EXPECT_FALSE(m.match.hasSprt);
}

TEST(MatchCommand, EmbeddedEngineTakesItsOptionsAsParameters)
{
    const clsMatchCommand m = ReadMatchCommand(
        Words("-engine name=strong proto=embedded option.search=strong option.memory=16 -engine name=classic "
              "proto=embedded -each tc=10+0.1 option.memory=8"));
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.config.players[0].parameters, "search=strong memory=16"); // its own memory= first
    EXPECT_EQ(m.config.players[1].parameters, "memory=8");
    EXPECT_EQ(m.config.players[1].fileName, "");
}

TEST(MatchCommand, TimeControls)
{
    struct Case {
        const char* text;
        bool ok;
        std::int64_t moves, gameMs, incMs;
    };
    const Case cases[] = {
        { "40/60+0.6", true, 40, 60000, 600 },
        { "60+0.6", true, 0, 60000, 600 },
        { "0:30+0.1", true, 0, 30000, 100 },
        { "1+0.01", true, 0, 1000, 10 },
        { "2:00", true, 0, 120000, 0 },
        { "0.5", true, 0, 500, 0 },
        { "-1", false, 0, 0, 0 },
        { "0", false, 0, 0, 0 },
        { "0/60", false, 0, 0, 0 },
        { "60+", false, 0, 0, 0 },
        { "60+-1", false, 0, 0, 0 },
        { "1:60", false, 0, 0, 0 },
        { "abc", false, 0, 0, 0 },
        { "", false, 0, 0, 0 },
    };
    for (const Case& c : cases) {
        std::int64_t moves = -1, gameMs = -1, incMs = -1;
        EXPECT_EQ(ReadTimeControl(c.text, moves, gameMs, incMs), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(moves, c.moves) << c.text;
        EXPECT_EQ(gameMs, c.gameMs) << c.text;
        EXPECT_EQ(incMs, c.incMs) << c.text;
    }
}

TEST(MatchCommand, RefusalsNameTheOption)
{
    struct Case {
        std::string line;
        std::string named; // a part of the message
    };
    const std::string e = "-engine name=a cmd=x -engine name=b cmd=y ";
    const Case cases[] = {
        { e + "-each tc=60 -bogus 3", "unknown option -bogus" },
        { e + "-each tc=-1", "tc=-1" },
        { e + "-each tc=inf", "-engine a: tc=inf needs" },
        { e, "-engine a: missing tc=" },
        { "-engine name=a cmd=x tc=60 -engine name=b cmd=y tc=30", "differs" },
        { e + "-each tc=60 -games 0", "-games" },
        { e + "-each tc=60 -games 3", "-games: 3 is odd" },
        { e + "-each tc=60 -games", "-games: needs one number" },
        { e + "-each tc=60 -games x", "-games" },
        { e + "-each tc=60 -rounds -2", "-rounds" },
        { e + "-each tc=60 -concurrency 0", "-concurrency" },
        { e + "-each tc=60 -tournament swiss", "-tournament" },
        { e + "-each tc=60 -draw movenumber=40 movecount=8", "-draw: missing score=" },
        { e + "-each tc=60 -draw movenumber=40 movecount=8 score=10 twosided=true", "-draw: unknown key" },
        { e + "-each tc=60 -draw movenumber=-1 movecount=8 score=10", "-draw: movenumber=-1" },
        { e + "-each tc=60 -resign movecount=0 score=900", "-resign: movecount=0" },
        { e + "-each tc=60 -resign movecount=3 score=x", "-resign: score=x" },
        { e + "-each tc=60 -resign movecount=3 score=900 twosided=maybe", "twosided=maybe" },
        { e + "-each tc=60 -maxmoves 0", "-maxmoves" },
        { e + "-each tc=60 -maxmoves", "-maxmoves: needs one number" },
        { e + "-each tc=60 -ratinginterval -1", "-ratinginterval" },
        { e + "-each tc=60 -epdout", "-epdout" },
        { e + "-each tc=60 -tb /tmp", "-tb: not supported" },
        { e + "-each tc=60 -pgnout a.pgn max", "-pgnout: needs a file name, and min after it" },
        { e + "-each tc=60 -pgnout", "-pgnout" },
        // The engine keys: each refusal names the engine and the key.
        { e + "-each st=0", "-engine a: st=0 is not a time" },
        { e + "-each st=-1", "-engine a: st=-1 is not a time" },
        { e + "-each st=0.0001", "-engine a: st=0.0001 is not a time" },
        { e + "-each st=x", "-engine a: st=x is not a time" },
        { "-engine name=a cmd=x proto=uci nodes=0 -engine name=b cmd=y -each tc=60", "-engine a: nodes=0" },
        { e + "-each tc=60 nodes=1000", "-engine a: nodes= is for uci engines" },
        { e + "-each tc=60 depth=x", "-engine a: depth=x" },
        { e + "-each tc=60 depth=0", "-engine a: depth=0" },
        { e + "-each tc=60 dir=/no/such/folder", "-engine a: dir=/no/such/folder is not a folder" },
        { e + "-each tc=60 dir=", "-engine a: dir= needs a folder" },
        { e + "-each tc=60 stderr=", "-engine a: stderr= needs a file" },
        { "-engine name=a cmd=x tc=60 st=1 -engine name=b cmd=y tc=60", "-engine a: tc= and st=" },
        { e + "-each tc=inf depth=", "-engine a: depth= is not a whole number" },
        { "-engine name=a cmd=x tc=inf -engine name=b cmd=y tc=60",
            "-engine a: tc=inf needs st=, nodes= or depth=" },
        { "-engine name=a cmd=x -engine name=b cmd=y tc=60", "-engine a: missing tc= (or st=" },
        { "-engine name=a proto=embedded st=1 -engine name=b cmd=y -each tc=60",
            "-engine a: st= is for uci" },
        { "-engine name=a proto=embedded tc=inf depth=3 -engine name=b cmd=y -each tc=60",
            "-engine a: depth= is for uci" },
        { "-engine name=a proto=embedded dir=/tmp -engine name=b cmd=y -each tc=60",
            "-engine a: dir= is for" },
        { e + "-each tc=60 option.Hash=a&b",
            "-engine a: the characters < > & \" cannot be used in option.Hash" },
        { e + "-each tc=60 whitepov=true", "-engine a: whitepov= is not supported" },
        { e + "-each tc=60 timemargin=-5", "-engine a: timemargin=-5 is not a whole number" },
        { e + "-each tc=60 restart=maybe", "restart=maybe" },
        { e + "-each tc=60 colour=white", "unknown key \"colour\"" },
        { e + "-each tc=60 proto=winboard", "proto=winboard" },
        { "-engine name=a -engine name=b cmd=y -each tc=60", "-engine a: missing cmd=" },
        { "-engine name=a cmd=x tc=60", "at least two engines" },
        { "-engine name=a cmd=x -engine name=a cmd=y -each tc=60", "used twice" },
        { "-engine proto=embedded -engine name=b cmd=y -each tc=60", "needs name=" },
        { e + "-each tc=60 -openings order=random", "-openings: missing file=" },
        { e + "-each tc=60 -openings file=/no/such/file.epd", "cannot read file=" },
        { e + "-each tc=60 -openings file=" + OpeningsPgn + " format=fen", "format=fen" },
        { e + "-each tc=60 -openings file=" + OpeningsPgn + " plies=0", "plies=0" },
        { e + "-each tc=60 -sprt elo0=5 elo1=0 alpha=0.05 beta=0.05", "elo0 must be below elo1" },
        { e + "-each tc=60 -sprt elo0=0 elo1=5 alpha=0 beta=0.05", "alpha" },
        { e + "-each tc=60 -sprt elo0=0 elo1=5", "missing alpha=" },
        { "-engine name=a cmd=x -engine name=b cmd=y -engine name=c cmd=z -each tc=60 -sprt elo0=0 elo1=5 "
          "alpha=0.05 beta=0.05",
            "-sprt: needs exactly two engines" },
        { e + "-each tc=60 -event a<b", "-event" },
        { e + "-each tc=60 book=/no/such/book.bin", "-engine a: book=/no/such/book.bin: polyglot book" },
        { e + "-each tc=60 book=/no/such/book.cbk", "-engine a: book=/no/such/book.cbk: cannot read" },
        { e + "-each tc=60 book=", "-engine a: book= needs a file" },
        { e + "-each tc=60 bookdepth=3", "-engine a: bookdepth= needs book=" },
        { e + "-each tc=60 book=" + OpeningsPgn + " bookdepth=0", "bookdepth=0 is not a whole number" },
        { "stray -engine name=a", "\"stray\" is not an option" },
    };
    for (const Case& c : cases) {
        const clsMatchCommand m = ReadMatchCommand(Words(c.line));
        EXPECT_NE(m.error.find(c.named), std::string::npos) << c.line << " -> " << m.error;
    }
}

TEST(MatchCommand, HelpIsAskedFor)
{
    EXPECT_TRUE(ReadMatchCommand(Words("--help")).help);
    EXPECT_TRUE(ReadMatchCommand(Words("-engine name=a -help")).help);
    const std::vector<std::string> lines = MatchHelpLines();
    for (const char* option :
        { "-engine", "-each", "-tournament", "-games", "-rounds", "-concurrency", "-openings", "-srand",
            "-sprt", "-pgnout", "-wait", "-event", "-site", "-draw", "-resign", "-maxmoves",
            "-ratinginterval", "book=", "bookdepth=", "option.NAME=VALUE", "dir=DIR", "st=SECONDS", "depth=N",
            "nodes=N", "tc=inf", "timemargin=MS", "stderr=FILE", "-pgnout FILE [min]" })
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find(option) != std::string::npos;
        })) << option;
    // What is carried out is no longer named among the refused keys.
    const auto refused = std::find_if(
        lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("Refused by name"); });
    ASSERT_NE(refused, lines.end());
    for (const char* key : { "dir=", "st=", "nodes=", "depth=", "tc=inf", "option", "min", "timemargin=" })
        EXPECT_EQ(refused->find(key), std::string::npos) << *refused;
}

TEST(MatchCommand, TournamentFileReadsBackAsTheSameMatch)
{
    const clsMatchCommand m = ReadMatchCommand(Words(TwoEngines
        + "-engine name=mine proto=embedded option.search=strong restart=on -engine name=off cmd=/bin/true "
          "restart=off -games 4 -concurrency 2 -tournament "
          "gauntlet "
          "-openings file="
        + OpeningsPgn
        + " plies=6 start=2 order=random -srand 9 -event Cup -site Home -logfolder out -draw movenumber=40 "
          "movecount=8 score=10 -resign movecount=3 score=900 twosided=true -maxmoves 150 -ratinginterval "
          "4"));
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.ratingInterval, 4);
    dranbase::clsXML document;
    document.Parse(MatchTourneyXml(m));
    const clsTourneyConfig back = ReadTourneyConfig(document);
    const clsTourneyConfig& c = m.config;
    EXPECT_EQ(back.name, c.name);
    EXPECT_EQ(back.kind, c.kind);
    EXPECT_EQ(back.rounds, c.rounds);
    EXPECT_EQ(back.threads, c.threads);
    EXPECT_EQ(back.logFolder, c.logFolder);
    EXPECT_EQ(back.movesPerControl, c.movesPerControl);
    EXPECT_EQ(back.gameMs, c.gameMs);
    EXPECT_EQ(back.incrementMs, c.incrementMs);
    EXPECT_EQ(back.pacingMs, 0);
    EXPECT_EQ(back.startDelayMs, 0);
    EXPECT_EQ(back.extraTags.Value("Site"), "Home");
    EXPECT_TRUE(back.problems.empty());
    const clsAdjudicationRules& a = back.adjudication;
    EXPECT_TRUE(a.draw);
    EXPECT_EQ(a.drawMoveNumber, 40);
    EXPECT_EQ(a.drawMoveCount, 8);
    EXPECT_EQ(a.drawScore, 10);
    EXPECT_TRUE(a.resign);
    EXPECT_EQ(a.resignMoveCount, 3);
    EXPECT_EQ(a.resignScore, 900);
    EXPECT_TRUE(a.resignTwoSided);
    EXPECT_EQ(a.maxMoves, 150);
    ASSERT_EQ(back.players.size(), 4U);
    EXPECT_EQ(std::vector<bool>(
                  { back.players[0].keepEngine, back.players[2].keepEngine, back.players[3].keepEngine }),
        std::vector<bool>({ true, false, true })); // restart=off is the default
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(back.players[i].name, c.players[i].name);
        EXPECT_EQ(back.players[i].protocol, c.players[i].protocol);
        EXPECT_EQ(back.players[i].fileName, c.players[i].fileName);
        EXPECT_EQ(back.players[i].parameters, c.players[i].parameters);
    }
    const clsMatchOptions match = ReadMatchOptions(*document.FindPath("tourney/options"));
    EXPECT_TRUE(match.problems.empty());
    ASSERT_TRUE(match.hasOpenings);
    EXPECT_EQ(std::filesystem::path(match.openings.file), std::filesystem::absolute(OpeningsPgn));
    EXPECT_EQ(match.openings.format, OpeningFormat::Pgn);
    EXPECT_EQ(match.openings.order, OpeningOrder::Random);
    EXPECT_EQ(match.openings.plies, 6);
    EXPECT_EQ(match.openings.start, 2);
    EXPECT_EQ(match.openings.seed, 9U);
    EXPECT_FALSE(match.hasSprt);
}

// The keys of uci and xboard engines go into the tournament file and read back the same; an
// engine's own st= keeps -each's tc= out; standard error goes beside the log unless stderr= says.
TEST(MatchCommand, EngineKeysReadBackFromTheTournamentFile)
{
    testsupport::ScratchFolder folder("match_keys");
    const clsMatchCommand m
        = ReadMatchCommand(Words("-engine name=u cmd=/bin/u proto=uci dir=" + folder.Path()
            + " option.Hash=16 option.Threads=2 st=0.25 nodes=5000 stderr=u.err -engine name=x cmd=/bin/x "
              "option.Hash=8 depth=7 tc=inf -engine name=c cmd=/bin/c depth=3 timemargin=250 -each tc=5+0.1 "
              "option.Hash=4 "
              "-logfolder logs -event Keys"));
    ASSERT_EQ(m.error, "");
    dranbase::clsXML document;
    document.Parse(MatchTourneyXml(m));
    const clsTourneyConfig back = ReadTourneyConfig(document);
    EXPECT_TRUE(back.problems.empty()) << back.problems.front();
    ASSERT_EQ(back.players.size(), 3U);
    const clsPlayerConfig &u = back.players[0], &x = back.players[1], &c = back.players[2];
    EXPECT_EQ(u.workDir, std::filesystem::path(folder.Path()).lexically_normal().string());
    using Options = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(u.options, (Options { { "Hash", "16" }, { "Threads", "2" } })); // its own Hash first
    EXPECT_EQ(x.options, (Options { { "Hash", "8" } }));
    EXPECT_EQ(c.options, (Options { { "Hash", "4" } }));
    EXPECT_EQ(u.limits, (clsMoveLimits { false, 250, 5000, 0, -1 })); // st= keeps -each's tc= out
    EXPECT_EQ(x.limits, (clsMoveLimits { false, 0, 0, 7, -1 })); // tc=inf: no clock
    EXPECT_EQ(c.limits, (clsMoveLimits { true, 0, 0, 3, 250 })); // on the clock, and a depth limit
    EXPECT_EQ(back.gameMs, 5000);
    EXPECT_EQ(back.incrementMs, 100);
    EXPECT_EQ(u.stderrFile, std::filesystem::absolute("u.err").lexically_normal().string());
    EXPECT_EQ(x.stderrFile, std::filesystem::absolute("logs/Keys.x.stderr").lexically_normal().string());
    EXPECT_TRUE(c.workDir.empty());

    // A file without the new elements reads as before: the clock, no options, no folder.
    dranbase::clsXML plain;
    plain.Parse("<tourney name=\"t\"><engines><engine active=\"true\" name=\"a\"><filename>/bin/a</filename>"
                "</engine></engines></tourney>");
    const clsTourneyConfig old = ReadTourneyConfig(plain);
    ASSERT_EQ(old.players.size(), 1U);
    EXPECT_EQ(old.players[0].limits, clsMoveLimits {});
    EXPECT_TRUE(old.players[0].options.empty());
    EXPECT_TRUE(old.players[0].workDir.empty());
    EXPECT_TRUE(old.players[0].stderrFile.empty());
}

// The same keys written by hand into a tournament file: what cannot be used is a problem naming
// the engine and the element.
TEST(MatchCommand, EngineKeysInATournamentFileThatCannotBeUsed)
{
    struct Case {
        const char* protocol;
        const char* keys;
        const char* named;
    };
    const Case cases[] = {
        { "uci", "<limits clock=\"off\"/>", "<limits> of engine 'a' has clock=\"off\" and no movetime_ms" },
        { "uci", "<limits movetime_ms=\"0\"/>", "<limits> of engine 'a' movetime_ms \"0\"" },
        { "uci", "<limits depth=\"x\"/>", "<limits> of engine 'a' depth \"x\"" },
        { "uci", "<limits clock=\"maybe\" depth=\"2\"/>", "clock \"maybe\" is not on or off" },
        { "uci", "<limits margin_ms=\"-1\"/>", "<limits> of engine 'a' margin_ms \"-1\"" },
        { "xboard", "<limits nodes=\"100\"/>", "nodes: only uci engines take a node limit" },
        { "uci", "<option value=\"1\"/>", "<option> of engine 'a' has no name" },
        { "uci", "<dir></dir>", "<dir> of engine 'a' is empty" },
        { "embedded", "<dir>/tmp</dir>", "are for uci and xboard engines" },
    };
    for (const Case& c : cases) {
        dranbase::clsXML document;
        document.Parse(
            std::string("<tourney name=\"t\"><engines><engine active=\"true\" name=\"a\" protocol=\"")
            + c.protocol + "\"><filename>/bin/a</filename>" + c.keys + "</engine></engines></tourney>");
        const clsTourneyConfig config = ReadTourneyConfig(document);
        ASSERT_FALSE(config.problems.empty()) << c.keys;
        EXPECT_NE(config.problems.front().find(c.named), std::string::npos) << config.problems.front();
    }
}

// book= and bookdepth= give the engine's <book> element with the book's absolute path; a book
// that cannot be read refuses the match before anything is written, with status 1.
TEST(MatchCommand, EngineBookGoesIntoTheTournamentFile)
{
    testsupport::ScratchFolder folder("match_book");
    const std::string book = folder.File("small.bin");
    ASSERT_TRUE(SavePolyglot(book, { { PolyglotKey(StartFEN), 0x031C, 1, 0 } })); // e2e4
    const clsMatchCommand m = ReadMatchCommand(Words(TwoEngines.substr(0, TwoEngines.find("-engine cmd="))
        + "book=" + book + " bookdepth=6 -engine cmd=/usr/games/phalanx book=" + book + " -each tc=60"));
    ASSERT_EQ(m.error, "");
    dranbase::clsXML document;
    document.Parse(MatchTourneyXml(m));
    const clsTourneyConfig back = ReadTourneyConfig(document);
    EXPECT_TRUE(back.problems.empty());
    ASSERT_EQ(back.players.size(), 2U);
    EXPECT_EQ(back.players[0].bookFile, std::filesystem::absolute(book).string());
    EXPECT_EQ(back.players[0].bookDepth, 6);
    EXPECT_EQ(back.players[1].bookFile, back.players[0].bookFile);
    EXPECT_EQ(back.players[1].bookDepth, 0); // no limit

    const std::string logs = folder.File("logs");
    testing::internal::CaptureStderr(); // refusals are comments: standard error in this mode
    const int status = RunMatchCommand(Words("-engine name=a cmd=x book=" + folder.File("none.bin")
        + " -engine name=b cmd=y -each tc=60 -logfolder " + logs));
    const std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("# match refused: -engine a: book="), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(logs));
}
