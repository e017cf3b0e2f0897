// The engine clients' dialogue without processes: a recording player captures what is sent
// and feeds scripted replies through the real reply parser.

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "dranbase/clsthread.h"
#include "tourney/clsengineinterface.h"

using namespace drnChess;

namespace {

class clsRecordingEngine : public clsEngineInterface {
public:
    explicit clsRecordingEngine(int protocol, int colour = 0)
    {
        SetProtocol(protocol);
        Colour = colour;
    }
    bool Start() override
    {
        ++starts;
        Ended = false;
        return true;
    }
    void Stop() override { Ended = true; }
    std::string ReadResponse() override
    {
        if (replies.empty()) return {};
        std::string line = replies.front();
        replies.pop_front();
        ++LinesRead;
        return ParseResponse(line);
    }
    void Send(const std::string& text) override { sent.push_back(text); }

    std::vector<std::string> sent;
    std::deque<std::string> replies;
    int starts = 0;
};

struct RecordingLog : clsGameLogSink {
    void GameLog(int mark, const std::string& text) override { lines.emplace_back(mark, text); }
    std::vector<std::pair<int, std::string>> lines;
};

using Lines = std::vector<std::string>;

} // namespace

// Each case feeds lines in order; after each line the returned text and Ready are checked,
// at the end the lines the parser sent and the ping state.
TEST(ParseResponse, Table)
{
    struct Step {
        const char* line;
        const char* returns;
        bool ready;
    };
    struct Case {
        const char* name;
        int protocol;
        int colour;
        int pingCounter;
        std::vector<Step> steps;
        Lines sent;
        bool usePing;
    };
    const Case cases[] = {
        { "ping=1 done=1 waits for the pong", ProtocolXboard, 0, 0,
            { { "feature ping=1 done=1", "", false }, { "pong 1", "", true } }, { "ping 1" }, true },
        { "features are stored, done=1 makes ready", ProtocolXboard, 0, 0,
            { { "feature myname=x done=1", "", true } }, {}, false },
        { "a wrong pong clears Ready", ProtocolXboard, 0, 4,
            { { "pong 3", "", false }, { "pong 4", "", true } }, {}, false },
        { "a bare pong matches only ping 0", ProtocolXboard, 0, 0, { { "pong", "", true } }, {}, false },
        { "a bare pong after pings", ProtocolXboard, 0, 2, { { "PONG", "", false } }, {}, false },
        { "done=0 holds until done=1", ProtocolXboard, 0, 0,
            { { "feature done=0", "", false }, { "feature myname=\"slow one\"", "", false },
                { "feature done=1", "", true } },
            {}, false },
        { "a quoted value hides its pairs", ProtocolXboard, 0, 0,
            { { "feature myname=\"x done=1 ping=1\" done=0", "", false } }, {}, false },
        { "a recorded handshake: ping in the middle, done=1 before the pong", ProtocolXboard, 1, 0,
            { { "tellics say     Fairy-Max 5.0b", "", false },
                { "feature myname=\"Fairy-Max 5.0b\"", "", true }, { "feature memory=1 exclude=1", "", true },
                { "feature setboard=0 xedit=1 ping=1 done=0", "", false },
                { "feature option=\"Resign -check 0\"", "", false }, { "feature done=1", "", false },
                { "pong 1", "", true } },
            { "ping 1" }, true },
        { "moves are lower-cased", ProtocolXboard, 0, 0,
            { { "move e7e8Q", "move e7e8q", false }, { "MOVE E2E4", "move e2e4", false },
                { "move e7e8=Q", "move e7e8=q", false } },
            {}, false },
        { "result claims", ProtocolXboard, 0, 0,
            { { "0-1 {Black mates}", "result 0-1", false }, { "1-0", "result 1-0", false },
                { "1/2-1/2 {Draw by repetition}", "result 1/2-1/2", false },
                { "resign", "result 0-1", false } },
            {}, false },
        { "a black player resigns with 1-0", ProtocolXboard, 1, 0, { { "Resign", "result 1-0", false } }, {},
            false },
        { "lines that mean nothing", ProtocolXboard, 0, 0,
            { { "Illegal move: e2e5", "", false }, { "Error (unknown command): foo", "", false },
                { "10 25 100 12345 e2e4 e7e5", "", false }, { " 1 0 0 1 e2e4", "", false },
                { "1 -30 0 5 e2e4", "", false }, { "bestmove e2e4", "", false }, { "", "", false },
                { "readyok", "", false } },
            {}, false },
        { "UCI readiness", ProtocolUci, 0, 0,
            { { "id name Fish", "", false }, { "uciok", "", true }, { "readyok", "", true } }, {}, false },
        { "UCI best moves keep the ponder move", ProtocolUci, 1, 0,
            { { "bestmove e7e8Q ponder d2d4", "move e7e8q ponder d2d4", false },
                { "info depth 3 score cp 12 pv e2e4", "", false }, { "move e2e4", "", false },
                { "pong 0", "", false }, { "1-0", "", false } },
            {}, false },
    };
    for (const Case& c : cases) {
        clsRecordingEngine e(c.protocol, c.colour);
        e.PingCounter = c.pingCounter;
        for (const Step& s : c.steps) {
            EXPECT_EQ(e.ParseResponse(s.line), s.returns) << c.name << ": " << s.line;
            EXPECT_EQ(e.Ready.load(), s.ready) << c.name << ": " << s.line;
        }
        EXPECT_EQ(e.sent, c.sent) << c.name;
        EXPECT_EQ(e.UsePing.load(), c.usePing) << c.name;
    }
}

TEST(ParseResponse, StoresFeatures)
{
    clsRecordingEngine e(ProtocolXboard);
    e.ParseResponse("feature myname=\"Fairy-Max 5.0b\" setboard=0 done=0");
    e.ParseResponse("feature setboard=1 variants=\"normal,shatranj\" done=1");
    EXPECT_EQ(e.Features.Value("myname"), "Fairy-Max 5.0b");
    EXPECT_EQ(e.Features.Value("setboard"), "1"); // a later value replaces the earlier one
    EXPECT_EQ(e.Features.Value("variants"), "normal,shatranj");
    EXPECT_EQ(e.Features.Value("done"), "1");
    EXPECT_EQ(e.Features.Count(), 4);
}

TEST(Dialogue, NewGameLevels)
{
    struct Case {
        std::int64_t base;
        std::int64_t increment;
        const char* level;
    };
    const Case cases[] = {
        { 60000, 1000, "level 0 1 1" },
        { 90000, 0, "level 0 1:30 0" },
        { 300000, 2500, "level 0 5 2.5" }, // the increment really given, not rounded away
        { 30500, 0, "level 0 0:30 0" },
        { 5000, 100, "level 0 0:05 0.1" },
        { 6000, 50, "level 0 0:06 0.05" },
    };
    for (const Case& c : cases) {
        clsRecordingEngine e(ProtocolXboard);
        e.MovesPlayed = "e2e4 ";
        e.SetClocks(c.base, c.base, c.increment, c.increment);
        e.NewGame();
        EXPECT_EQ(e.sent, (Lines { "new", "post", c.level }));
        EXPECT_EQ(e.MovesPlayed, "");
        EXPECT_EQ(clsEngineInterface::LevelCommand(c.base, c.increment), c.level);
    }

    clsRecordingEngine uci(ProtocolUci);
    uci.Ready = true;
    uci.NewGame();
    EXPECT_EQ(uci.sent, (Lines { "ucinewgame", "position startpos", "isready" }));
    EXPECT_FALSE(uci.Ready);
}

TEST(Dialogue, PingByProtocol)
{
    clsRecordingEngine plain(ProtocolXboard);
    plain.Ping();
    EXPECT_TRUE(plain.Ready);
    EXPECT_TRUE(plain.sent.empty());

    clsRecordingEngine pinging(ProtocolXboard);
    pinging.UsePing = true;
    pinging.Ping();
    pinging.Ping();
    EXPECT_EQ(pinging.sent, (Lines { "ping 1", "ping 2" }));
    EXPECT_EQ(pinging.PingCounter, 2);
    EXPECT_EQ(pinging.ParseResponse("pong 1"), "");
    EXPECT_FALSE(pinging.Ready);
    pinging.ParseResponse("pong 2");
    EXPECT_TRUE(pinging.Ready);
}

TEST(Dialogue, ClocksThinkingAndMoves)
{
    // A black UCI player: its own values fill the black fields.
    clsRecordingEngine blackUci(ProtocolUci, 1);
    blackUci.SetClocks(7000, 5000, 200, 100);
    EXPECT_EQ(blackUci.OwnTime, 5000);
    EXPECT_EQ(blackUci.OpponentTime, 7000);
    EXPECT_EQ(blackUci.OwnIncrement, 100);
    EXPECT_EQ(blackUci.OpponentIncrement, 200);
    blackUci.StartThinking();
    EXPECT_EQ(blackUci.sent, (Lines { "go wtime 7000 btime 5000 winc 200 binc 100" }));

    clsRecordingEngine whiteXboard(ProtocolXboard, 0);
    whiteXboard.SetClocks(12345, 6789, 0, 0);
    whiteXboard.StartThinking();
    EXPECT_EQ(whiteXboard.sent, (Lines { "time 1234", "otim 678", "go" }));

    // xboard: the opponent's move is passed on bare, after the clocks; an own move is only
    // recorded.
    clsRecordingEngine blackXboard(ProtocolXboard, 1);
    blackXboard.SetClocks(60000, 59000, 0, 0);
    blackXboard.SendMove("e2e4", 0);
    blackXboard.SendMove("e7e5", 1);
    EXPECT_EQ(blackXboard.sent, (Lines { "time 5900", "otim 6000", "e2e4" }));
    EXPECT_EQ(blackXboard.MovesPlayed, "e2e4 e7e5 ");

    // UCI: the whole game as a position, then the search.
    clsRecordingEngine whiteUci(ProtocolUci, 0);
    whiteUci.SetClocks(3000, 4000, 10, 20);
    whiteUci.SendMove("e2e4", 0);
    EXPECT_TRUE(whiteUci.sent.empty());
    whiteUci.SendMove("e7e5", 1);
    EXPECT_EQ(whiteUci.sent,
        (Lines { "position startpos moves e2e4 e7e5 ", "go wtime 3000 btime 4000 winc 10 binc 20" }));
}

TEST(Dialogue, MovesFollowUsermoveWhenTheEngineAsksForIt)
{
    // An engine that announced usermove=1 reads a bare move as an unknown command: the opening,
    // a passed move and a quiet (book) move all go after "usermove"; without it they go bare.
    for (const char* usermove : { "1", "0" }) {
        SCOPED_TRACE(usermove);
        const std::string prefix = std::string(usermove) == "1" ? "usermove " : "";
        clsRecordingEngine e(ProtocolXboard, 1);
        e.ParseResponse(std::string("feature usermove=") + usermove + " done=1");
        e.SetClocks(60000, 60000, 0, 0);
        e.OpeningMoves = "e2e4";
        e.NewGame();
        e.SendMove("d2d4", 0);
        e.SendQuietMove("d7d5");
        EXPECT_EQ(e.sent,
            (Lines { "new", "post", "level 0 1 0", "force", prefix + "e2e4", "time 6000", "otim 6000",
                prefix + "d2d4", "go", "force", prefix + "d7d5" }));
    }
}

TEST(Dialogue, LogGoesToTheOwnerOrTheConsole)
{
    clsRecordingEngine e(ProtocolXboard, 1);
    e.PlayerName = "Fish";
    testing::internal::CaptureStdout();
    e.Log("--->\tgo");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "# =====>\tFish:\t--->\tgo\n");

    RecordingLog log;
    e.Owner = &log;
    e.Log("<---\tmove e7e5");
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], (std::pair<int, std::string>(1, "<---\tmove e7e5")));
}

TEST(Handshake, ReadinessByProtocol)
{
    clsClientTiming fast;
    fast.StartDelayMs = 0;
    fast.HandshakeMs = 300;
    fast.FeatureWaitMs = 60;

    struct Case {
        const char* name;
        int protocol;
        Lines replies;
        bool ready;
        Lines sent;
    };
    const Case cases[] = {
        { "UCI answers uciok", ProtocolUci, { "id name Fish", "uciok" }, true,
            { "uci", "ucinewgame", "position startpos", "isready" } },
        { "UCI stays silent", ProtocolUci, {}, false, { "uci" } },
        { "UCI moves before uciok", ProtocolUci, { "bestmove e2e4" }, false, { "uci" } },
        { "xboard with done=1", ProtocolXboard, { "feature myname=\"x\" done=1" }, true,
            { "xboard", "protover 2", "new", "post", "level 0 1 2" } },
        { "xboard that pings", ProtocolXboard, { "feature ping=1 done=1" }, false,
            { "xboard", "protover 2", "ping 1" } },
        { "xboard of the old protocol", ProtocolXboard, {}, true,
            { "xboard", "protover 2", "new", "post", "level 0 1 2" } },
        { "xboard stuck at done=0", ProtocolXboard, { "feature done=0" }, false, { "xboard", "protover 2" } },
    };
    for (const Case& c : cases) {
        clsRecordingEngine e(c.protocol);
        e.PlayerName = "O'Brien";
        e.SetTiming(fast);
        RecordingLog log;
        e.Owner = &log;
        e.replies.assign(c.replies.begin(), c.replies.end());
        EXPECT_EQ(Handshake(e, 1, 60000, 2000), c.ready) << c.name;
        EXPECT_EQ(e.sent, c.sent) << c.name;
        EXPECT_EQ(e.starts, 1) << c.name;
        EXPECT_EQ(e.Colour, 1);
        EXPECT_EQ(e.OwnTime, 60000);
        EXPECT_EQ(e.OpponentIncrement, 2000);
        ASSERT_FALSE(log.lines.empty());
        EXPECT_EQ(log.lines[0], (std::pair<int, std::string>(1, "waiting for 'O''Brien' initialization...")));
    }

    // A player that is ready already is not started again; its game just begins.
    clsRecordingEngine ready(ProtocolXboard);
    ready.Ready = true;
    EXPECT_TRUE(Handshake(ready, 0, 60000, 0));
    EXPECT_EQ(ready.starts, 0);
    EXPECT_EQ(ready.sent, (Lines { "new", "post", "level 0 1 0" }));
}
