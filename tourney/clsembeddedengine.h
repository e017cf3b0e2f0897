#pragma once
// The program's own engine as a tournament player (protocol "embedded").
//
// It is an xboard engine living in the same process: a line transport over an xboard session
// (tourney/xboardsession.h), the same one through which the program speaks to a GUI. The
// referee's commands reach the session through Send and are carried out at once on the
// player's own clsEngine; what the session answers ("feature ... done=1", "pong N", thinking
// lines, "move e2e4", "Illegal move: ...") is queued and handed out one line at a time by
// ReadResponse, parsed like any other engine's reply. When it is its turn it thinks on the
// engine's own thread with the session's budget; reading and waiting let the session look at
// the engine, which takes the move once the think has ended (or stops it once it is overdue).
//
// Threads: every operation runs on the referee's game thread; the engine thread only searches,
// posts its move under the engine's result mutex and queues the strong search's thinking lines
// (the queue has a lock of its own).
//
// Options: the player's parameter text is read as a command line ("soul=Name memory=8
// -random"); the engine gets these pairs as its option table. "-load=FILE" applies the soul
// text of the file, "soul=NAME" (or "-soul=NAME") a soul by name. "memory" sizes the player's own
// transposition table (MiB, default 8): a player never shares its table with another game,
// because the table carries the marks of the game's positions.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "dranbase/clsstring.h"
#include "tourney/clsengineinterface.h"

namespace drnChess {

class clsEngine;
class clsEngineShare;
class clsXboardSession;

class clsEmbeddedEngine : public clsEngineInterface, private clsLineTransport {
public:
    static constexpr int DefaultTableMiB = 8;

    explicit clsEmbeddedEngine(std::string playerName, const std::string& parameters = {});
    ~clsEmbeddedEngine() override;

    // Ready to receive commands; clears Ended. Always true.
    bool Start() override;
    // Stops a think; Ended is set and later commands are ignored.
    void Stop() override;
    // How often a think is looked at while the referee waits for the move.
    static constexpr int ThinkWatchMicros = 200;
    // Stops a think; the player stays usable.
    void Quit() override;

    // The time a think aims at with the clock (ms) at the full-move number, the moves per
    // control (0: the whole game) and the increment: the session's plan
    // (clsXboardSession::PlanThink), the program's one time budget.
    static std::int64_t ThinkBudget(
        std::int64_t clockMs, int fullMove, int movesPerControl, std::int64_t incrementMs);

    clsEngine& Engine() { return *engine_; }

private:
    // Its own line transport: a command line goes to the session at once (nothing after Stop);
    // the replies are queued and arrive as they are taken, after the session has looked at
    // the engine.
    bool WriteLine(std::string_view text) override;
    bool ReadLine(std::string& line, std::int64_t& arrival) override;
    // Lets the session watch a think closely (every ThinkWatchMicros), so that its move is
    // taken as soon as it is there; with nothing queued and no think, simply sleeps the time
    // out.
    bool WaitForLine(std::int64_t timeoutMs) override;

    // A reply of the session, from the game thread or the engine thread.
    void Queue(const std::string& line);
    bool QueueEmpty();

    dranbase::clsStrings options_;
    std::unique_ptr<clsEngineShare> share_;
    std::unique_ptr<clsEngine> engine_;
    std::unique_ptr<clsXboardSession> session_; // goes before the engine it speaks to
    std::mutex repliesMutex_;
    std::deque<std::string> replies_;
};

} // namespace drnChess
