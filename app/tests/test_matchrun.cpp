// A command-line match through the real program: what a person reads on standard output, and
// the PGN it gathers (checked by pgn-extract when that is installed).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/tests/corvalaprocess.h"

namespace {

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int Count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// pgn-extract's reading of FOLDER/all.pgn: false (with the reason in `skip`) when it is not
// installed; its accepted games in `checked` and its complaints in `errors`.
bool ReadByPgnExtract(const std::string& folder, std::string& checked, std::string& errors, std::string& skip)
{
    std::string reader = "pgn-extract"; // Debian puts it in /usr/games, not always on the path
    if (std::system("command -v pgn-extract > /dev/null 2>&1") != 0) reader = "/usr/games/pgn-extract";
    if (reader != "pgn-extract" && !std::filesystem::exists(reader)) {
        skip = "pgn-extract is not installed (Debian package pgn-extract)";
        return false;
    }
    const std::string out = folder + "/checked.pgn", log = folder + "/errors.txt";
    const int status
        = std::system((reader + " -s -o '" + out + "' '" + folder + "/all.pgn' 2> '" + log + "'").c_str());
    checked = status == 0 ? ReadText(out) : "";
    errors = status == 0 ? ReadText(log) : "pgn-extract failed with status " + std::to_string(status);
    return true;
}

struct MatchFolder {
    std::string path = ::testing::TempDir() + "corvala_matchrun_" + std::to_string(::getpid());
    MatchFolder() { std::filesystem::create_directories(path); }
    ~MatchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// A develops White's knights and believes it is winning; B develops Black's and believes it is
// lost. Game 1 (A White) is adjudicated once B's score has stayed at -600 for two of its moves;
// in game 2 B plays White and its first move, g8f6, is illegal.
std::vector<std::string> MatchWords(const std::string& folder)
{
    const std::string engine = FAKE_ENGINE_PATH;
    return { "-engine", "name=A", "cmd=" + engine, "proto=xboard", "arg=--moves=g1f3,b1c3,e2e3",
        "arg=--scores=300", "arg=--depth=9", "-engine", "name=B", "cmd=" + engine, "proto=uci",
        "arg=--moves=g8f6,b8c6,e7e6", "arg=--scores=-600", "-each", "tc=30+0.5", "-games", "2", "-resign",
        "movecount=2", "score=500", "-ratinginterval", "1", "-event", "Cli", "-logfolder", folder + "/logs",
        "-pgnout", folder + "/all.pgn", "-epdout", folder + "/ends.epd" };
}

} // namespace

TEST(MatchRun, StandardOutputAndGatheredPgn)
{
    MatchFolder folder;
    std::vector<std::string> args { "-use=match" };
    for (const std::string& word : MatchWords(folder.path))
        args.push_back(word);
    CorvalaProcess p(args, folder.path, true); // standard output only
    const std::vector<std::string> lines = p.ReadToEnd(60000);
    ASSERT_EQ(p.WaitExit(20000), 0);

    // The games in order, each with the running score and (every game here) the Elo line.
    const std::vector<std::string> head(
        lines.begin(), lines.begin() + std::min<std::size_t>(lines.size(), 8));
    ASSERT_EQ(head.size(), 8u);
    EXPECT_EQ(head[0], "Started game 1 of 2 (A vs B)");
    EXPECT_EQ(head[1], "Finished game 1 (A vs B): 1-0 {White wins by adjudication}");
    EXPECT_EQ(head[2], "Score of A vs B: 1 - 0 - 0  [1.000] 1");
    EXPECT_EQ(head[3].rfind("Elo difference: +inf +/- unknown, LOS: unknown, DrawRatio: 0.0 %", 0), 0u);
    EXPECT_EQ(head[4], "Started game 2 of 2 (B vs A)");
    EXPECT_EQ(head[5], "Finished game 2 (B vs A): 0-1 {White makes an illegal move}");
    EXPECT_EQ(head[6], "Score of A vs B: 2 - 0 - 0  [1.000] 2");
    // The end: the pairing once more, then the table with A first.
    ASSERT_GE(lines.size(), 12u);
    EXPECT_EQ(lines[8], "Score of A vs B: 2 - 0 - 0  [1.000] 2");
    EXPECT_EQ(lines[10].rfind("Rank Name", 0), 0u) << lines[10];
    EXPECT_EQ(lines[11].rfind("   1 A ", 0), 0u) << lines[11];
    // Nothing else: no banner, no comment lines, no lines of the tournament's own log.
    for (const std::string& line : lines) {
        EXPECT_NE(line.rfind("#", 0), 0u) << line;
        EXPECT_EQ(line.find('\t'), std::string::npos) << line;
    }

    // The gathered PGN: both games, how each ended, and the engines' own view of each move.
    const std::string pgn = ReadText(folder.path + "/all.pgn");
    EXPECT_EQ(Count(pgn, "[Event \"Cli\"]"), 2) << pgn;
    EXPECT_NE(pgn.find("[Termination \"adjudication\"]"), std::string::npos) << pgn;
    EXPECT_NE(pgn.find("[Adjudication \"resign: Black's score at or below -500 cp for 2 moves\"]"),
        std::string::npos);
    EXPECT_NE(pgn.find("[Termination \"rules infraction\"]"), std::string::npos) << pgn;
    EXPECT_NE(pgn.find("[PlyCount \"4\"]"), std::string::npos) << pgn;
    EXPECT_NE(pgn.find("[PlyCount \"0\"]"), std::string::npos) << pgn;
    EXPECT_EQ(Count(pgn, "[TimeControl \"30+0.5\"]"), 2) << pgn;
    EXPECT_NE(pgn.find("1. Nf3 {+3.00/9 "), std::string::npos) << pgn;
    EXPECT_NE(pgn.find("Nf6 {-6.00/1 "), std::string::npos) << pgn;

    // The position each game ended in, one line per game as it ended.
    EXPECT_EQ(ReadText(folder.path + "/ends.epd"),
        "r1bqkb1r/pppppppp/2n2n2/8/8/2N2N2/PPPPPPPP/R1BQKB1R w KQkq -\n"
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\n");

    // A PGN reader takes both games without a complaint.
    std::string checked, errors, skip;
    if (!ReadByPgnExtract(folder.path, checked, errors, skip)) GTEST_SKIP() << skip;
    EXPECT_EQ(Count(checked, "[Event \"Cli\"]"), 2) << checked;
    EXPECT_NE(checked.find("+3.00/9 "), std::string::npos) << checked; // the comments are kept
    EXPECT_EQ(errors, "");
}

// With -sprt, each Elo line is followed by the test's standing, so that a long run shows how
// near its verdict is.
TEST(MatchRun, EloLinesCarryTheSprtStanding)
{
    MatchFolder folder;
    std::vector<std::string> args { "-use=match" };
    for (const std::string& word : MatchWords(folder.path))
        args.push_back(word);
    for (const char* word : { "-sprt", "elo0=0", "elo1=50", "alpha=0.05", "beta=0.05" })
        args.push_back(word);
    CorvalaProcess p(args, folder.path, true);
    const std::vector<std::string> lines = p.ReadToEnd(60000);
    ASSERT_EQ(p.WaitExit(20000), 0);
    int standings = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].rfind("SPRT elo0", 0) != 0) continue;
        ++standings;
        // Two wins have no spread: the ratio stays 0 until a result differs.
        EXPECT_EQ(lines[i], "SPRT elo0 0 elo1 50 alpha 0.05 beta 0.05: LLR 0.00 [-2.94, 2.94] continue");
        EXPECT_EQ(lines[i - 1].rfind("Elo difference:", 0), 0u) << lines[i - 1];
    }
    EXPECT_EQ(standings, 2); // one after each game (-ratinginterval 1)
}

// "-pgnout FILE min": the seven standard tags, the moves without comments, and the result's
// comment. Neither the engines' standard error nor any engine's diagnostics reach the runner's
// output (standard output and standard error both read here); each engine's goes to its file.
TEST(MatchRun, MinimalPgnAndNoEngineChatterInTheOutput)
{
    MatchFolder folder;
    std::vector<std::string> args { "-use=match" };
    for (const std::string& word : MatchWords(folder.path)) {
        args.push_back(word);
        if (word == folder.path + "/all.pgn") args.push_back("min");
        if (word.starts_with("arg=--moves=")) args.push_back("arg=--stderr=engine-chatter");
    }
    CorvalaProcess p(args, folder.path); // standard output and error together
    const std::vector<std::string> lines = p.ReadToEnd(60000);
    ASSERT_EQ(p.WaitExit(20000), 0);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Started game 1 of 2 (A vs B)"), lines.end());
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("chatter"), std::string::npos) << line;
        EXPECT_EQ(line.find("soul"), std::string::npos) << line;
    }
    for (const char* engine : { "A", "B" })
        EXPECT_NE(ReadText(folder.path + "/logs/Cli." + engine + ".stderr").find("engine-chatter"),
            std::string::npos)
            << engine;

    const std::string pgn = ReadText(folder.path + "/all.pgn");
    const std::string games[] = { "[White \"A\"]\r\n[Black \"B\"]\r\n[Result \"1-0\"]\r\n\r\n"
                                  "1. Nf3 Nf6 2. Nc3 Nc6 {White wins by adjudication} 1-0\r\n",
        "[White \"B\"]\r\n[Black \"A\"]\r\n[Result \"0-1\"]\r\n\r\n{White makes an illegal move} 0-1\r\n" };
    for (const std::string& game : games)
        EXPECT_NE(pgn.find(game), std::string::npos) << pgn;
    EXPECT_EQ(Count(pgn, "[Event \"Cli\"]\r\n[Site \"\"]\r\n[Date \""), 2) << pgn;
    EXPECT_EQ(Count(pgn, "["), 14) << pgn; // seven tags a game, nothing else in brackets

    std::string checked, errors, skip;
    if (!ReadByPgnExtract(folder.path, checked, errors, skip)) GTEST_SKIP() << skip;
    EXPECT_EQ(Count(checked, "[Event \"Cli\"]"), 2);
    EXPECT_EQ(errors, "");
}

TEST(MatchRun, AnUnknownOptionIsRefusedOnStandardError)
{
    CorvalaProcess quiet({ "-use=match", "-engine", "cmd=x", "-bogus", "3" }, {}, true);
    EXPECT_TRUE(quiet.ReadToEnd(5000).empty()); // nothing on standard output
    EXPECT_EQ(quiet.WaitExit(5000), 1);
    CorvalaProcess both({ "-use=match", "-engine", "cmd=x", "-bogus", "3" });
    EXPECT_EQ(both.ReadToEnd(5000), std::vector<std::string> { "# match refused: unknown option -bogus" });
    EXPECT_EQ(both.WaitExit(5000), 1);
}

// Six games at two at once between our scripted engines (A resigns at once, B opens 1.e4), each
// logging the lines it receives: by default each game slot starts an engine once and keeps it,
// so each engine is greeted twice; restart=on starts it for the check before the games and
// for every game. Every engine started is told to quit at the end.
TEST(MatchRun, EachEngineIsStartedOncePerSlotUnlessRestartIsOn)
{
    struct Row {
        const char* restart; // an -each key, or none
        int starts;
    };
    const Row rows[] = { { nullptr, 2 }, { "restart=on", 7 } };
    const std::string engine = FAKE_ENGINE_PATH;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.restart ? r.restart : "the default");
        MatchFolder folder;
        const std::string a = folder.path + "/a.in", b = folder.path + "/b.in";
        std::vector<std::string> args { "-use=match", "-engine", "name=A", "cmd=" + engine, "proto=xboard",
            "arg=--moves=", "arg=--ping", "arg=--log=" + a, "-engine", "name=B", "cmd=" + engine, "proto=uci",
            "arg=--moves=e2e4", "arg=--log=" + b, "-games", "6", "-concurrency", "2", "-logfolder",
            folder.path + "/logs", "-each", "tc=30+0.5" };
        if (r.restart) args.push_back(r.restart);
        CorvalaProcess p(args, folder.path, true);
        const std::vector<std::string> lines = p.ReadToEnd(120000);
        ASSERT_EQ(p.WaitExit(20000), 0);
        EXPECT_EQ(Count(ReadText(a), "xboard\n"), r.starts);
        EXPECT_EQ(Count(ReadText(b), "uci\n"), r.starts);
        EXPECT_EQ(Count(ReadText(a), "quit\n"), r.starts);
        EXPECT_EQ(Count(ReadText(b), "quit\n"), r.starts);
        EXPECT_NE(
            std::find(lines.begin(), lines.end(), "Score of A vs B: 0 - 6 - 0  [0.000] 6"), lines.end());
    }
}
