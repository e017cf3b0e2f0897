// The external engine client against real child processes: our scripted fake engine for each
// kind of behaviour, and the real peers fairymax (xboard) and stockfish (UCI) for a short game.

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "dranbase/clsthread.h"
#include "tourney/clsexternalengine.h"
#include "tourney/tests/fasttiming.h"

using namespace drnChess;

namespace {

using Lines = std::vector<std::string>;

bool Reaped(pid_t pid)
{
    errno = 0;
    return pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

struct RecordingLog : clsGameLogSink {
    void GameLog(int, const std::string& text) override { lines.push_back(text); }
    bool Contains(const std::string& part) const
    {
        for (const auto& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
    Lines lines;
};

// The file the fake engine echoes its input to; removed afterwards.
class EchoLog {
public:
    EchoLog()
        : path_((std::filesystem::temp_directory_path()
            / ("corvala_fake_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++) + ".log"))
                    .string())
    {
    }
    ~EchoLog() { std::remove(path_.c_str()); }
    std::string Option() const { return "--log=" + path_; }
    Lines Read() const
    {
        Lines lines;
        std::ifstream in(path_);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

private:
    std::string path_;
    static inline int counter_ = 0;
};

struct FakeEngine : clsExternalEngine {
    FakeEngine(int protocol, const std::string& parameters)
        : clsExternalEngine(FAKE_ENGINE_PATH, parameters, protocol, "Fake")
    {
        SetTiming(FastTiming());
        Owner = &log;
    }
    ~FakeEngine() override { Stop(); } // before the log goes
    RecordingLog log;
};

// Reads until a move or result comes, or the time is up; empty then.
std::string WaitForResponse(clsEngineInterface& e, int timeoutMs = 5000)
{
    for (std::int64_t end = dranbase::Tick() + timeoutMs; dranbase::Tick() < end;) {
        std::string r = e.ReadResponse();
        if (!r.empty()) return r;
        dranbase::SleepMs(1);
    }
    return {};
}

// Reads every line until the engine is ready (true) or the time is up.
bool WaitForReady(clsEngineInterface& e, int timeoutMs = 5000)
{
    for (std::int64_t end = dranbase::Tick() + timeoutMs; dranbase::Tick() < end;) {
        if (e.Ready) return true;
        if (e.ReadResponse().empty()) dranbase::SleepMs(1);
    }
    return e.Ready;
}

bool WaitForEnded(clsEngineInterface& e, int timeoutMs = 5000)
{
    for (std::int64_t end = dranbase::Tick() + timeoutMs; dranbase::Tick() < end && !e.Ended;)
        dranbase::SleepMs(2);
    return e.Ended;
}

} // namespace

TEST(ExternalEngine, XboardHandshakeWaitsForDoneAndPong)
{
    EchoLog echo;
    pid_t pid = 0;
    {
        FakeEngine e(
            ProtocolXboard, echo.Option() + " --ping --done0=300 --moves=e7e5 --stderr=\"hello there\"");
        // A wide grace for the "quit" below on a loaded machine: Kill returns as soon as it leaves.
        clsClientTiming timing = FastTiming();
        timing.QuitGraceMs = 5000;
        // And for the first feature line: an engine silent for the whole wait counts as one of
        // the old protocol, with no ping.
        timing.FeatureWaitMs = 5000;
        e.SetTiming(timing);
        ASSERT_TRUE(Handshake(e, 1, 60000, 1000));
        pid = e.ChildPid();
        EXPECT_FALSE(e.Ended);
        EXPECT_TRUE(e.UsePing);
        EXPECT_EQ(e.PingCounter, 1);
        EXPECT_EQ(e.Features.Value("myname"), "FakeEngine"); // sent 300 ms after done=0
        EXPECT_TRUE(e.IsReady());
        EXPECT_TRUE(e.log.Contains("<---\thello there")); // standard error shares the pipe

        e.SetClocks(59000, 60000, 1000, 1000);
        e.SendMove("e2e4", 0);
        EXPECT_EQ(WaitForResponse(e), "move e7e5");
        e.Stop();
        EXPECT_TRUE(e.Ended);
        EXPECT_FALSE(e.IsReady());
        EXPECT_TRUE(Reaped(pid));
        ASSERT_TRUE(WIFEXITED(e.ExitStatus())); // it left on "quit"
        EXPECT_TRUE(e.log.Contains("--->\tquit"));
    }
    EXPECT_EQ(echo.Read(),
        (Lines { "xboard", "protover 2", "ping 1", "new", "post", "level 0 1 1", "time 6000", "otim 5900",
            "e2e4", "quit" }));
}

TEST(ExternalEngine, UciHandshakeWaitsForASlowEngine)
{
    EchoLog echo;
    {
        FakeEngine e(ProtocolUci, echo.Option() + " --handshake-delay=400 --moves=e2e4,d2d4 --ponder");
        ASSERT_TRUE(Handshake(e, 0, 60000, 0));
        EXPECT_FALSE(e.Ready); // NewGame asked "isready"
        ASSERT_TRUE(WaitForReady(e));

        e.StartThinking();
        EXPECT_EQ(WaitForResponse(e), "move e2e4 ponder d2d4");
        e.SendMove("e2e4", 0);
        e.SetClocks(58000, 60000, 0, 0);
        e.SendMove("e7e5", 1);
        EXPECT_EQ(WaitForResponse(e), "move d2d4");
    }
    EXPECT_EQ(echo.Read(),
        (Lines { "uci", "ucinewgame", "position startpos", "isready",
            "go wtime 60000 btime 60000 winc 0 binc 0", "position startpos moves e2e4 e7e5 ",
            "go wtime 58000 btime 60000 winc 0 binc 0", "quit" }));
}

TEST(ExternalEngine, OldXboardEngineIsReadyAfterTheFeatureWait)
{
    FakeEngine e(ProtocolXboard, "--no-features");
    ASSERT_TRUE(Handshake(e, 0, 60000, 0));
    EXPECT_EQ(e.Features.Count(), 0);
    EXPECT_FALSE(e.DoneAnnounced);
}

TEST(ExternalEngine, CrashMidGame)
{
    FakeEngine e(ProtocolXboard, "--moves=e7e5,b8c6 --crash-after=1");
    ASSERT_TRUE(Handshake(e, 1, 60000, 0));
    pid_t pid = e.ChildPid();
    e.SendMove("e2e4", 0);
    EXPECT_EQ(WaitForResponse(e), "move e7e5");
    e.SendMove("g1f3", 0);
    // What the referee sees: no reply, and the player has ended.
    ASSERT_TRUE(WaitForEnded(e));
    EXPECT_EQ(e.ReadResponse(), "");
    EXPECT_TRUE(Reaped(pid));
    ASSERT_TRUE(WIFEXITED(e.ExitStatus()));
    EXPECT_EQ(WEXITSTATUS(e.ExitStatus()), 3);
    // Commands to the dead engine are logged and skipped.
    e.Send("d2d4");
    EXPECT_TRUE(e.log.Contains("--->\td2d4"));
}

TEST(ExternalEngine, StalledEngineIsKilled)
{
    FakeEngine e(ProtocolXboard, "--stall-after=0 --ignore-term");
    ASSERT_TRUE(Handshake(e, 0, 60000, 0));
    pid_t pid = e.ChildPid();
    e.StartThinking();
    EXPECT_EQ(WaitForResponse(e, 300), "");
    EXPECT_FALSE(e.Ended);
    e.Stop(); // "quit" is ignored, and so is SIGTERM
    EXPECT_TRUE(e.Ended);
    EXPECT_TRUE(Reaped(pid));
    ASSERT_TRUE(WIFSIGNALED(e.ExitStatus()));
    EXPECT_EQ(WTERMSIG(e.ExitStatus()), SIGKILL);
}

TEST(ExternalEngine, ProgramThatCannotStart)
{
    // The handshake fails at once for both protocols: a program that never started is not
    // ready (xboard once counted as ready, and the referee played and scored the game).
    for (int protocol : { ProtocolUci, ProtocolXboard }) {
        clsExternalEngine e("/nonexistent/engine", "", protocol, "Ghost");
        clsClientTiming t = FastTiming();
        t.HandshakeMs = 60000;
        e.SetTiming(t);
        RecordingLog log;
        e.Owner = &log;
        testing::internal::CaptureStdout();
        std::int64_t t0 = dranbase::Tick();
        bool ready = Handshake(e, 0, 60000, 0);
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_LT(dranbase::Tick() - t0, 30000); // did not sit out the handshake time
        EXPECT_FALSE(ready);
        EXPECT_TRUE(e.Ended);
        EXPECT_EQ(e.ReadResponse(), "");
        EXPECT_NE(
            printed.find("# cannot start /nonexistent/engine: No such file or directory"), std::string::npos);
        e.Stop();
    }
}

// A few moves between the real peers, with the default pacing, exactly as the referee relays
// them: fairymax (xboard) plays White, stockfish (UCI) Black.
TEST(RealPeers, FairymaxAgainstStockfish)
{
    const std::string fairymax = "/usr/games/fairymax";
    const std::string stockfish = "/usr/games/stockfish";
    if (::access(fairymax.c_str(), X_OK) != 0 || ::access(stockfish.c_str(), X_OK) != 0)
        GTEST_SKIP() << "fairymax or stockfish is not installed (scripts/install-deps.sh installs them)";

    RecordingLog log;
    clsExternalEngine white(fairymax, "", ProtocolXboard, "Fairy-Max");
    clsExternalEngine black(stockfish, "", ProtocolUci, "Stockfish");
    white.Owner = &log;
    black.Owner = &log;
    const std::int64_t base = 6000;
    ASSERT_TRUE(Handshake(white, 0, base, 0));
    ASSERT_TRUE(Handshake(black, 1, base, 0));
    EXPECT_NE(white.Features.Value("myname").find("Fairy-Max"), std::string::npos);
    EXPECT_TRUE(white.UsePing);
    ASSERT_TRUE(WaitForReady(black));

    clsEngineInterface* players[2] = { &white, &black };
    white.StartThinking();
    Lines moves;
    for (int ply = 0; ply < 6; ++ply) {
        int mover = ply % 2;
        std::string response = WaitForResponse(*players[mover], 20000);
        ASSERT_EQ(response.rfind("move ", 0), 0u) << "ply " << ply << ": '" << response << "'";
        std::string move = dranbase::SplitFields(response.substr(5)).at(0);
        ASSERT_GE(move.size(), 4u);
        moves.push_back(move);
        players[mover]->SendMove(move, mover);
        players[1 - mover]->SetClocks(base, base, 0, 0);
        players[1 - mover]->SendMove(move, mover);
    }
    EXPECT_EQ(moves.size(), 6u);
    EXPECT_EQ(black.MovesPlayed.size(), white.MovesPlayed.size());
    pid_t pids[2] = { white.ChildPid(), black.ChildPid() };
    white.Stop();
    black.Stop();
    EXPECT_TRUE(Reaped(pids[0]));
    EXPECT_TRUE(Reaped(pids[1]));
    EXPECT_FALSE(log.Contains("Illegal move"));
    EXPECT_FALSE(log.Contains("Error"));
}
