// UCI mode through the real program: a recorded session (the parts without timings compared
// exactly), the go limits, bad input, and stop.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/tests/corvalaprocess.h"
#include "dranbase/clsstring.h"

namespace {

bool IsMoveText(const std::string& m)
{
    auto file = [](char c) { return c >= 'a' && c <= 'h'; };
    auto rank = [](char c) { return c >= '1' && c <= '8'; };
    return (m.size() == 4 || (m.size() == 5 && std::string("qrbn").find(m[4]) != std::string::npos))
        && file(m[0]) && rank(m[1]) && file(m[2]) && rank(m[3]);
}

bool IsNumber(const std::string& t, bool sign = false)
{
    const std::size_t start = sign && !t.empty() && t[0] == '-' ? 1 : 0;
    return t.size() > start && t.find_first_not_of("0123456789", start) == std::string::npos;
}

// "info depth D seldepth S score cp|mate X nodes N nps N time T hashfull H pv M ...".
bool IsInfoLine(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string t; in >> t;)
        w.push_back(t);
    const char* const keys[] = { "info", "depth", "", "seldepth", "", "score", "", "", "nodes", "", "nps", "",
        "time", "", "hashfull", "", "pv" };
    if (w.size() < 18) return false;
    for (std::size_t i = 0; i < std::size(keys); ++i)
        if (*keys[i] && w[i] != keys[i]) return false;
    if ((w[6] != "cp" && w[6] != "mate") || !IsNumber(w[7], true)) return false;
    for (std::size_t i : { 2, 4, 9, 11, 13, 15 })
        if (!IsNumber(w[i])) return false;
    return std::all_of(w.begin() + 17, w.end(), IsMoveText);
}

// Reads until a line that starts with the prefix; every line read on the way is kept.
std::string ReadUntilKeeping(
    CorvalaProcess& p, const std::string& prefix, std::vector<std::string>& seen, int ms = 10000)
{
    for (;;) {
        std::string line = p.ReadLine(ms);
        if (line == "<timeout>") return line;
        seen.push_back(line);
        if (line.rfind(prefix, 0) == 0) return line;
    }
}

class Uci : public ::testing::Test {
protected:
    CorvalaProcess p { { "memory=1", "-seed=3" }, {}, true };
    void SetUp() override { ASSERT_TRUE(p.Started()); }
};

TEST_F(Uci, RecordedSession)
{
    // The first command decides the protocol: nothing else (no banner, no "#" line) is seen on
    // standard output before the identification.
    p.Send("uci");
    std::vector<std::string> lines;
    ASSERT_EQ(ReadUntilKeeping(p, "uciok", lines), "uciok");
    const std::vector<std::string> expected = {
        "id name Corvala 3.1.27",
        "id author the Corvala developers",
        lines.size() > 2 ? lines[2] : "", // the Hash maximum depends on the machine
        "option name Clear Hash type button",
        "option name Threads type spin default 1 min 1 max 64",
        "option name Ponder type check default false",
        "option name MultiPV type spin default 1 min 1 max 64",
        "option name Search type combo default strong var classic var strong",
        "option name Soul type string default Simple5",
        "option name Weights type string default handset",
        "option name OwnBook type check default true",
        "option name BookFile type string default corvala.cbk",
        "option name BookBest type check default false",
        "option name Move Overhead type spin default 30 min 0 max 5000",
        "uciok",
    };
    EXPECT_EQ(lines, expected);
    const std::string hash = "option name Hash type spin default 64 min 1 max ";
    EXPECT_TRUE(lines[2].rfind(hash, 0) == 0 && IsNumber(lines[2].substr(hash.size()))) << lines[2];

    struct Step {
        const char* command;
        const char* reply; // the next line that is not "info depth ..."; empty: no reply
    } steps[] = {
        { "isready", "readyok" },
        { "setoption name Hash value 2", "" },
        { "setoption name Hash value 0", "info string option Hash: '0' is not a size from 1 to" },
        { "setoption name Threads value 0", "info string option Threads: '0' is not a count from 1 to 64" },
        { "setoption name Threads value 65", "info string option Threads: '65' is not a count from 1 to 64" },
        { "setoption name Threads value two",
            "info string option Threads: 'two' is not a count from 1 to 64" },
        { "setoption name Threads value 2", "" },
        { "setoption name Frobnicate value 1", "info string option Frobnicate: unknown option" },
        { "setoption name Soul value Nobody", "info string option Soul: 'Nobody': no such soul" },
        { "setoption name Soul value Big=99999999",
            "info string option Soul: 'Big=99999999': 99999999 is beyond" },
        { "setoption name Weights value /nonexistent/weights.txt",
            "info string option Weights: cannot read the weights file /nonexistent/weights.txt; the weights "
            "in use stay" },
        { "setoption name Move Overhead value -5", "info string option Move Overhead: '-5' is not a time" },
        { "setoption name OwnBook value false", "" },
        { "ucinewgame", "" },
        { "position fen hello world", "info string position: a FEN needs four fields; the position stays" },
        { "position fen 8/8/8/8/8/8/8/8 w - - 0 1",
            "info string position: not exactly one king of each colour; the position stays" },
        { "position startpos moves e2e4 e7e5 e1e3 g1f3",
            "info string position: illegal move e1e3; the moves stop before it" },
        { "go depth 2", "bestmove " },
        // A board the strong search could not hold (pawns on the last rank) never reaches it.
        { "position fen PPPPPPPP/8/8/4k3/8/8/8/4K3 w - - 0 1",
            "info string position: a pawn on the first or last rank; the position stays" },
        { "go depth 2", "bestmove " },
        { "position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "" },
        { "go depth 4", "bestmove a1a8" }, // mate in one
        { "position fen R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", "" },
        { "go movetime 100", "bestmove 0000" }, // mated: no move
        { "frobnicate", "info string unknown command: frobnicate" },
        { "isready", "readyok" },
    };
    for (const Step& s : steps) {
        p.Send(s.command);
        if (std::string(s.command).rfind("go ", 0) == 0) {
            // "isready" would be answered at once, before the think ends.
            EXPECT_EQ(p.ReadUntil("bestmove ").rfind(s.reply, 0), 0u) << s.command;
            continue;
        }
        p.Send("isready");
        std::string line = p.ReadLine(10000);
        if (*s.reply) {
            EXPECT_EQ(line.rfind(s.reply, 0), 0u) << s.command << " -> " << line;
            line = p.ReadLine(10000);
        }
        EXPECT_EQ(line, "readyok") << s.command;
    }
    p.Send("quit");
    EXPECT_EQ(p.WaitExit(5000), 0);
}

// A polyglot book named as BookFile is played at once: its move comes with "info string book
// move" and no search; out of the book the engine searches again.
TEST_F(Uci, APolyglotBookMoveComesWithoutASearch)
{
    const std::string smallBook = "/usr/share/gnuchess/smallbook.bin";
    if (!std::filesystem::exists(smallBook)) GTEST_SKIP() << smallBook << " is missing (install gnuchess)";
    p.Send("uci");
    p.Send("setoption name BookFile value " + smallBook);
    p.Send("setoption name BookBest value true");
    p.Send("isready");
    std::vector<std::string> setup;
    ASSERT_EQ(ReadUntilKeeping(p, "readyok", setup), "readyok");
    for (const std::string& line : setup)
        EXPECT_EQ(line.rfind("info string", 0), std::string::npos) << line; // no refusal

    p.Send("position startpos");
    p.Send("go wtime 60000 btime 60000");
    std::vector<std::string> lines;
    EXPECT_EQ(ReadUntilKeeping(p, "bestmove ", lines), "bestmove e2e4"); // the heaviest of the book
    EXPECT_NE(std::find(lines.begin(), lines.end(), "info string book move"), lines.end());
    for (const std::string& line : lines)
        EXPECT_NE(line.rfind("info depth", 0), 0u) << line;

    // A position the book does not hold is searched.
    p.Send("position fen 8/8/8/4k3/8/8/3QK3/8 w - - 0 1");
    p.Send("go depth 2");
    lines.clear();
    ASSERT_NE(ReadUntilKeeping(p, "bestmove ", lines), "<timeout>");
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "info string book move"), lines.end());
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) { return IsInfoLine(l); }));
}

TEST_F(Uci, InfoLinesAndTheBestMoveOfATimedThink)
{
    p.Send("uci");
    p.Send("setoption name OwnBook value false");
    p.Send("position startpos moves e2e4");
    p.Send("go wtime 2000 btime 2000 winc 50 binc 50");
    std::vector<std::string> lines;
    const std::string best = ReadUntilKeeping(p, "bestmove ", lines);
    ASSERT_NE(best, "<timeout>");
    int infos = 0;
    std::vector<std::string> pv;
    for (const auto& l : lines) {
        EXPECT_EQ(l.find('#'), std::string::npos) << l; // comments go to standard error
        if (l.rfind("info depth", 0) == 0) {
            ++infos;
            EXPECT_TRUE(IsInfoLine(l)) << l;
            const std::vector<std::string> words = dranbase::SplitFields(l);
            pv.assign(std::find(words.begin(), words.end(), "pv") + 1, words.end());
        }
    }
    EXPECT_GT(infos, 0);
    // "bestmove M ponder R": the move, then the reply the last principal variation expects.
    const std::vector<std::string> words = dranbase::SplitFields(best);
    ASSERT_TRUE(words.size() == 2 || words.size() == 4) << best;
    EXPECT_TRUE(IsMoveText(words[1])) << best;
    ASSERT_GE(pv.size(), 2u) << "a think of a tenth of a second sees more than one ply";
    // (A move that beat the last finished iteration's in the unfinished one has no known reply.)
    if (words[1] == pv[0]) {
        ASSERT_EQ(words.size(), 4u) << best;
        EXPECT_EQ(words[2], "ponder");
        EXPECT_EQ(words[3], pv[1]) << best;
    }
}

// MultiPV 3: each iteration reports three lines, best first, each with its own first move; the
// best move is the first line's. Back at 1, the lines carry no number again.
TEST_F(Uci, MultiPvReportsLinesWithDifferentFirstMovesBestFirst)
{
    p.Send("uci");
    p.Send("setoption name OwnBook value false");
    p.Send("setoption name MultiPV value 0");
    EXPECT_EQ(p.ReadUntil("info string"), "info string option MultiPV: '0' is not a count from 1 to 64");
    p.Send("setoption name MultiPV value 3");
    p.Send("position startpos moves e2e4 e7e5");
    p.Send("go depth 6");
    std::vector<std::string> lines;
    const std::string best = ReadUntilKeeping(p, "bestmove ", lines, 60000);
    ASSERT_NE(best, "<timeout>");
    std::map<int, std::pair<int, std::string>> lastDepth; // multipv -> score, first move
    for (const std::string& l : lines) {
        const std::vector<std::string> w = dranbase::SplitFields(l);
        auto after = [&](const char* key) {
            const auto at = std::find(w.begin(), w.end(), key);
            return at == w.end() || at + 1 == w.end() ? std::string() : *(at + 1);
        };
        if (w.empty() || w[0] != "info" || after("depth") != "6") continue;
        ASSERT_FALSE(after("multipv").empty()) << l;
        ASSERT_EQ(after("score"), "cp") << l;
        lastDepth[std::stoi(after("multipv"))] = { std::stoi(after("cp")), after("pv") };
    }
    ASSERT_EQ(lastDepth.size(), 3u);
    EXPECT_EQ(dranbase::SplitFields(best).at(1), lastDepth[1].second);
    EXPECT_NE(lastDepth[1].second, lastDepth[2].second);
    EXPECT_NE(lastDepth[1].second, lastDepth[3].second);
    EXPECT_NE(lastDepth[2].second, lastDepth[3].second);
    EXPECT_GE(lastDepth[1].first, lastDepth[2].first);
    EXPECT_GE(lastDepth[2].first, lastDepth[3].first);

    p.Send("setoption name MultiPV value 1");
    p.Send("go depth 3");
    lines.clear();
    ASSERT_NE(ReadUntilKeeping(p, "bestmove ", lines, 60000), "<timeout>");
    for (const std::string& l : lines)
        EXPECT_EQ(l.find("multipv"), std::string::npos) << l;
}

TEST_F(Uci, InfiniteAndPonderWaitForStopOrPonderhit)
{
    p.Send("uci");
    p.Send("setoption name OwnBook value false");
    p.Send("position startpos");
    for (const char* go : { "go infinite", "go ponder wtime 100000 btime 100000" }) {
        p.Send(go);
        p.Send("isready");
        EXPECT_EQ(p.ReadUntil("readyok"), "readyok"); // answered while thinking
        // No best move before it is asked for, however long the think.
        std::vector<std::string> lines;
        EXPECT_EQ(ReadUntilKeeping(p, "bestmove", lines, 700), "<timeout>") << go;
        p.Send(std::string(go).find("ponder") != std::string::npos ? "ponderhit" : "stop");
        EXPECT_NE(p.ReadUntil("bestmove ", 10000), "<timeout>") << go;
    }
    // A stop with nothing running gives nothing; quit ends a running think at once.
    p.Send("go infinite");
    p.Send("quit");
    EXPECT_EQ(p.WaitExit(5000), 0);
}

TEST_F(Uci, SearchMovesAndNodeLimit)
{
    p.Send("uci");
    p.Send("setoption name OwnBook value false");
    p.Send("position startpos");
    p.Send("go depth 4 searchmoves a2a3 h2h3");
    const std::string best = p.ReadUntil("bestmove ").substr(0, 13);
    EXPECT_TRUE(best == "bestmove a2a3" || best == "bestmove h2h3") << best;
    p.Send("go nodes 5000");
    std::vector<std::string> lines;
    ASSERT_NE(ReadUntilKeeping(p, "bestmove ", lines), "<timeout>");
}

TEST_F(Uci, AClockThatIsOutOrALimitOfZeroMovesAtOnce)
{
    // Each of these used to search without end (a negative clock read as no clock) or is a
    // limit of nothing: the answer is a legal move, at once, from either search.
    p.Send("uci");
    p.Send("setoption name OwnBook value false");
    const char* const goes[] = { "go wtime -1000 btime -1000", "go wtime -1 btime 1000",
        "go wtime 0 btime 5000", "go movetime 0", "go movetime -50", "go depth 0", "go nodes 0" };
    for (const char* search : { "classic", "strong" }) {
        p.Send(std::string("setoption name Search value ") + search);
        for (const char* go : goes) {
            p.Send("position startpos moves e2e4");
            p.Send(go);
            // Wide: a loaded machine under the sanitizers; a search without end never answers.
            const std::string best = p.ReadUntil("bestmove ", 20000);
            ASSERT_NE(best, "<timeout>") << search << ": " << go;
            EXPECT_TRUE(IsMoveText(dranbase::SplitFields(best).at(1)))
                << search << ": " << go << " -> " << best;
        }
    }
    // Black's clock is not the mover's: White, to move, thinks on its own time.
    p.Send("position startpos");
    p.Send("go wtime 1000 btime -1");
    EXPECT_NE(p.ReadUntil("bestmove ", 20000), "<timeout>");
}

// The words of the last info line before the best move, and the best move line itself.
struct DepthSearch {
    std::vector<std::string> info;
    std::string best;
};

DepthSearch SearchToDepth(CorvalaProcess& p, const std::string& position, int depth)
{
    p.Send(position);
    p.Send("go depth " + std::to_string(depth));
    std::vector<std::string> lines;
    DepthSearch out;
    out.best = ReadUntilKeeping(p, "bestmove ", lines, 60000);
    for (const std::string& line : lines)
        if (line.rfind("info depth ", 0) == 0) {
            std::istringstream in(line);
            out.info.clear();
            for (std::string t; in >> t;)
                out.info.push_back(t);
        }
    return out;
}

std::string InfoValue(const DepthSearch& s, const std::string& key)
{
    for (std::size_t i = 0; i + 1 < s.info.size(); ++i)
        if (s.info[i] == key) return s.info[i + 1];
    return "";
}

TEST_F(Uci, NewGameForgetsWhatEarlierGamesTaught)
{
    // The strong search learns from every think (table, histories, killers); after ucinewgame
    // the same depth-limited search costs exactly what it costs in a fresh process.
    const std::string start = "position startpos moves e2e4 c7c5 g1f3";
    p.Send("uci");
    p.Send("setoption name OwnBook value false");
    const DepthSearch fresh = SearchToDepth(p, start, 7);
    ASSERT_NE(fresh.best, "<timeout>");
    SearchToDepth(p, start + " d7d6 d2d4 c5d4 f3d4", 7);
    SearchToDepth(p, start + " d7d6 d2d4 c5d4 f3d4 g8f6 b1c3", 7);
    p.Send("ucinewgame");
    const DepthSearch again = SearchToDepth(p, start, 7);
    EXPECT_EQ(InfoValue(again, "nodes"), InfoValue(fresh, "nodes"));
    EXPECT_EQ(again.best, fresh.best);
    // Without the new game the table still holds the first search: it costs less.
    const DepthSearch warm = SearchToDepth(p, start, 7);
    EXPECT_NE(InfoValue(warm, "nodes"), InfoValue(fresh, "nodes"));
}

TEST_F(Uci, HashSizeReachesTheSearchInUse)
{
    // The same search fills a larger share of a 1 MiB table than of a 256 MiB one.
    p.Send("uci");
    p.Send("setoption name OwnBook value false");
    const std::string position = "position startpos moves d2d4 g8f6 c2c4 e7e6";
    p.Send("setoption name Hash value 1");
    const DepthSearch small = SearchToDepth(p, position, 8);
    p.Send("setoption name Hash value 256");
    const DepthSearch large = SearchToDepth(p, position, 8);
    const int smallFull = std::atoi(InfoValue(small, "hashfull").c_str());
    const int largeFull = std::atoi(InfoValue(large, "hashfull").c_str());
    EXPECT_GT(smallFull, 20); // 38 per mille at this depth
    EXPECT_LT(largeFull, smallFull / 4);
    // Back at 1 MiB and a new game, the search costs what it cost first at that size.
    p.Send("setoption name Hash value 1");
    p.Send("ucinewgame");
    EXPECT_EQ(InfoValue(SearchToDepth(p, position, 8), "nodes"), InfoValue(small, "nodes"));
}

} // namespace

namespace {

TEST(UciTournament, CorvalaOverUciAgainstFairymax)
{
    // The program's own tournament drives the program itself as a UCI engine against fairymax
    // (over xboard, by the program's client, which sends no "computer"): every game ends with a
    // result by the rules, none by a fault.
    const std::string fairymax = "/usr/games/fairymax";
    if (access(fairymax.c_str(), X_OK) != 0) GTEST_SKIP() << "fairymax is not installed";
    const std::string dir = "/tmp/corvala_uci_tourney_" + std::to_string(getpid());
    ASSERT_EQ(system(("rm -rf " + dir + " && mkdir -p " + dir).c_str()), 0);
    {
        std::ofstream xml(dir + "/uci.xml");
        xml << "<tourney name=\"UciCup\" type=\"RoundRobin\"><options><rounds>1</rounds><threads>1</threads>"
               "<pacing_ms>0</pacing_ms><logfolder>"
            << dir
            << "</logfolder><clock moves_per_second=\"0\" game_ms=\"8000\" "
               "increment_ms=\"100\"/></options><engines>"
               "<engine active=\"true\" name=\"CorvalaUci\" protocol=\"uci\"><filename>" CORVALA_EXE
               "</filename>"
               "<parameters>memory=8</parameters></engine>"
               "<engine active=\"true\" name=\"Fairymax\" protocol=\"xboard\"><filename>"
            << fairymax
            << "</filename></engine>"
               "</engines></tourney>";
    }
    CorvalaProcess p({ "-use=tourney", "-ini=" + dir + "/uci.xml" }, dir, true);
    ASSERT_TRUE(p.Started());
    p.CloseInput();
    EXPECT_EQ(p.WaitExit(240000), 0);
    int games = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".pgn") continue;
        std::ifstream in(entry.path());
        const std::string pgn((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ++games;
        EXPECT_TRUE(pgn.find("[Result \"1-0\"]") != std::string::npos
            || pgn.find("[Result \"0-1\"]") != std::string::npos
            || pgn.find("[Result \"1/2-1/2\"]") != std::string::npos)
            << entry.path();
        const std::size_t fault = pgn.find("[Fault ");
        EXPECT_EQ(fault, std::string::npos)
            << entry.path() << ": "
            << (fault == std::string::npos ? "" : pgn.substr(fault, pgn.find('\n', fault) - fault));
        EXPECT_EQ(pgn.find("forfeit"), std::string::npos) << entry.path();
    }
    EXPECT_EQ(games, 2);
    EXPECT_EQ(system(("rm -rf " + dir).c_str()), 0);
}

} // namespace
