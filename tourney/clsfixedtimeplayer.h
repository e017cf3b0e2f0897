#pragma once
// A player of "\play" and the learning games on the client interface: one of the program's
// engines, owned by the caller, that thinks a fixed time per move. It understands the few
// xboard commands the game loop sends: "go" starts a think; a bare move is the opponent's,
// made on the engine, after which it is the player's turn and it thinks. Everything else
// ("time", "otim") is ignored. The think runs on the engine's own thread until the time is up;
// then the move it has (or none: "move" with nothing after it) is handed out by ReadResponse
// and made on its own engine.
//
// Threads: every operation runs on the game loop's thread; the engine thread only searches.

#include <cstdint>
#include <deque>
#include <string>

#include "tourney/clsengineinterface.h"

namespace drnChess {

class clsEngine;

class clsFixedTimePlayer : public clsEngineInterface {
public:
    clsFixedTimePlayer(clsEngine& engine, std::string playerName, std::int64_t msPerMove);
    ~clsFixedTimePlayer() override;

    // Ready at once; clears Ended.
    bool Start() override;
    // Stops a think; Ended is set and later commands are ignored.
    void Stop() override;
    // The next queued reply; a think whose time is up first queues its move.
    std::string ReadResponse() override;
    void Send(const std::string& text) override;
    // Sleeps until the think's time is up or the timeout has passed.
    bool WaitForReply(std::int64_t timeoutMs) override;
    // Stops a think.
    void Quit() override;

private:
    void StartThink();
    void FinishThink();

    clsEngine& engine_;
    const std::int64_t msPerMove_;
    std::deque<std::string> replies_;
    bool thinking_ = false;
    std::int64_t deadline_ = 0;
};

} // namespace drnChess
