// The program under a GUI and the embedded tournament player speak xboard through one session:
// the same command lines must get the same replies from both (they used to disagree on sd,
// undo/remove, memory, cores, option, fractional increments and the unknown words).

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "app/tests/corvalaprocess.h"
#include "dranbase/clsstring.h"
#include "dranbase/clsthread.h"
#include "tourney/clsembeddedengine.h"

using namespace drnChess;

namespace {

using Lines = std::vector<std::string>;

// Lines whose text does not depend on the machine: thinking lines and search statistics carry
// times, and the program's console also shows its engine's own diagnostics, which are no reply.
bool IsReply(const std::string& line)
{
    if (line.empty()) return false;
    const std::string first = dranbase::SplitFirst(line, ' ').first;
    if (std::all_of(first.begin(), first.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false; // "depth score time nodes pv"
    if (line[0] != '#') return true;
    for (const char* kept : { "# moves ", "# engine time", "# opponent time", "# I'm not thinking",
             "# result ", "# thinking stopped" })
        if (line.rfind(kept, 0) == 0) return true;
    return false;
}

// Collects what the embedded player sends, as its game would log it.
struct ReplyLog : clsGameLogSink {
    void GameLog(int, const std::string& text) override
    {
        if (text.rfind("<---\t", 0) == 0) lines.push_back(text.substr(5));
    }
    Lines lines;
};

class EmbeddedSide {
public:
    EmbeddedSide()
    {
        player_.Owner = &log_;
        player_.Start();
    }
    ~EmbeddedSide() { player_.Stop(); }

    // The command, then a ping; every line up to its pong.
    Lines Exchange(const std::string& command)
    {
        const std::string tag = std::to_string(++pings_ + 9000);
        const std::string pong = "pong " + tag;
        log_.lines.clear();
        player_.Send(command);
        player_.Send("ping " + tag);
        const std::int64_t until = dranbase::Tick() + 60000;
        while (dranbase::Tick() < until
            && std::find(log_.lines.begin(), log_.lines.end(), pong) == log_.lines.end()) {
            player_.WaitForReply(50);
            for (std::int64_t before = -1; before != player_.LinesRead;) {
                before = player_.LinesRead;
                player_.ReadResponse();
            }
        }
        Lines out;
        for (const std::string& line : log_.lines) {
            if (line == pong) return out;
            out.push_back(line);
        }
        out.push_back("<timeout>");
        return out;
    }

private:
    clsEmbeddedEngine player_ { "Corvala", "memory=1 book=no-such-book.cbk" };
    ReplyLog log_;
    int pings_ = 0;
};

Lines Replies(const Lines& lines)
{
    Lines kept;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(kept), IsReply);
    return kept;
}

} // namespace

TEST(XboardAgreement, TheProgramAndTheEmbeddedPlayerAnswerAlike)
{
    // Each row: a command and what both must answer (a move, when one is expected, must be the
    // same move: the searches are deterministic at a fixed depth). An empty expectation only
    // asks both to agree.
    struct Row {
        const char* command;
        Lines expected;
    };
    const Row rows[] = {
        { "new", {} },
        { "level 40 5 0.1", {} }, // forty moves in five minutes, a tenth of a second added
        { "time 30000", { "# engine time set to 300000 ms" } },
        { "otim 29000", { "# opponent time set to 290000 ms" } },
        { "sd 3", {} }, // only the depth ends each think
        { "e2e4", {} }, // "# moves 1/40 - time ...", then the reply
        { "hint", {} },
        { "remove", {} }, // the reply and our move taken back: the start position again
        { "time 30000", {} }, // the clock again: the last think's time is not the same in both
        { "usermove d2d4", {} },
        { "undo", {} }, // force mode, the reply taken back: white's d4 stays
        { "e7e5", { "# I'm not thinking" } },
        { "e2e5", { "Illegal move: e2e5" } },
        { "usermove e1e3", { "Illegal move: e1e3" } },
        { "frobnicate now", { "Error (unknown command): frobnicate" } },
        { "Qh9", { "Error (unknown command): Qh9" } },
        { "O-O", { "Illegal move: O-O" } },
        { "setboard hello world", { "tellusererror Illegal position: a FEN needs four fields" } },
        { "memory 1", {} },
        { "cores 1", {} },
        { "option Search=strong", {} },
        { "st 20", {} }, // a fixed time per move
        { "setboard 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", {} },
        { "time 30000", {} },
        { "go", { "# moves 1/40 - time 18000/300000 ms", "move d1d8" } },
        { "setboard rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", {} },
        { "go", { "0-1 {Black mates}" } },
        { "result 0-1 {Black mates}", { "# result 0-1 {Black mates}" } },
        { "name", {} },
    };

    CorvalaProcess program { { "memory=1", "-seed=7", "book=no-such-book.cbk" } };
    ASSERT_TRUE(program.Started());
    program.Exchange("xboard");
    EmbeddedSide embedded;
    embedded.Exchange("xboard");

    // The feature line, whole: the tournament client reads usermove=1, ping=1 and setboard=1.
    const Lines features = Replies(program.Exchange("protover 2"));
    ASSERT_EQ(features.size(), 1u);
    EXPECT_NE(features[0].find(" usermove=1 "), std::string::npos) << features[0];
    EXPECT_EQ(Replies(embedded.Exchange("protover 2")), features);

    for (const Row& row : rows) {
        const Lines fromProgram = Replies(program.Exchange(row.command, 60000));
        const Lines fromPlayer = Replies(embedded.Exchange(row.command));
        EXPECT_EQ(fromPlayer, fromProgram) << row.command;
        if (!row.expected.empty()) {
            EXPECT_EQ(fromProgram, row.expected) << row.command;
        }
    }
}
