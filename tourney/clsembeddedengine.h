#pragma once
// The program's own engine as a tournament player (protocol "embedded").
//
// It behaves like an xboard engine living in the same process: the referee's commands reach
// it through Send and are carried out at once on its own clsEngine ("new", "level", "time",
// "go", "force", "setboard", "ping", a bare move, ...), and what an xboard engine would print
// ("feature ... done=1", "pong N", "move e2e4") is queued and handed out one line at a time by
// ReadResponse, parsed like any other engine's reply. When it is its turn it thinks on the
// engine's own thread with a budget taken from its clock (the clock divided by the moves left:
// 40 without a move count, else the moves up to the next time control plus 2); ReadResponse
// notices the end of the think, or stops it once the budget is spent, and delivers the move.
//
// Threads: every operation runs on the referee's game thread; the engine thread only searches
// and posts its move under the engine's result mutex.
//
// Options: the player's parameter text is read as a command line ("soul=Name memory=8
// -random"); the engine gets these pairs as its option table. "-load=FILE" applies the soul
// text of the file, "soul=NAME" (or "-soul=NAME") a soul by name. "memory" sizes the player's own
// transposition table (MiB, default 8): a player never shares its table with another game,
// because the table carries the marks of the game's positions.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dranbase/clsstring.h"
#include "engine/timebudget.h"
#include "tourney/clsengineinterface.h"

namespace drnChess {

class clsEngine;
class clsEngineShare;

class clsEmbeddedEngine : public clsEngineInterface, private clsLineTransport {
public:
    static constexpr int DefaultTableMiB = 8;

    explicit clsEmbeddedEngine(std::string playerName, const std::string& parameters = {});
    ~clsEmbeddedEngine() override;

    // Ready to receive commands; clears Ended. Always true.
    bool Start() override;
    // Stops a think; Ended is set and later commands are ignored.
    void Stop() override;
    static constexpr int ThinkWatchMicros = 200;
    // Stops a think; the player stays usable.
    void Quit() override;

    // The plan of a think with the clock (ms) at the full-move number, the moves per control
    // (0: the whole game) and the increment: the program's one time budget (PlanMove).
    static clsMoveBudget PlanThink(
        std::int64_t clockMs, int fullMove, int movesPerControl, std::int64_t incrementMs);
    // The time it aims at (PlanThink's plan).
    static std::int64_t ThinkBudget(
        std::int64_t clockMs, int fullMove, int movesPerControl, std::int64_t incrementMs);

    clsEngine& Engine() { return *engine_; }
    bool Thinking() const { return thinking_; }

private:
    // Its own line transport: a command line is carried out at once (nothing after Stop); the
    // replies are queued, a finished or expired think first queuing its move, and arrive as
    // they are taken.
    bool WriteLine(std::string_view text) override;
    bool ReadLine(std::string& line, std::int64_t& arrival) override;
    // Watches a think closely (every ThinkWatchMicros) so that its move is taken as soon as
    // it is there; with nothing queued and no think, simply sleeps the time out.
    bool WaitForLine(std::int64_t timeoutMs) override;

    void Command(const std::string& text);
    void StartThink();
    void FinishThink();
    void Queue(std::string line) { replies_.push_back(std::move(line)); }
    // The thinking lines the engine thread wrote since the last call, queued in their order.
    void QueueThinkingLines();

    dranbase::clsStrings options_;
    std::unique_ptr<clsEngineShare> share_;
    std::unique_ptr<clsEngine> engine_;
    std::deque<std::string> replies_;
    // With "post", each finished iteration's thinking line, written on the engine thread.
    std::mutex thinkingMutex_;
    std::vector<std::string> thinkingLines_;
    std::atomic<bool> post_ { false };
    bool thinking_ = false;
    std::int64_t deadline_ = 0;
    bool force_ = true; // moves are only recorded, no think follows
    int playing_ = 1; // the colour it plays after "new" (Black) or "go"
    int movesPerControl_ = 0;
    std::int64_t increment_ = 0;
    std::int64_t clock_ = 0; // its own clock as the last "time" said (ms)
};

} // namespace drnChess
