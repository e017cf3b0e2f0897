#pragma once
// A game slot of a tournament: one of its concurrency lanes. A slot keeps the engines of its
// last game, so that its next game between the same players (colours swapped or not) starts
// without starting them again: between games a kept engine is told of the new game and
// synchronised (UCI "ucinewgame" and "isready", xboard "new" and, when it uses them, a ping),
// and only an engine that did not answer, crashed, hung or broke the rules is started anew.
//
// Threads: a slot serves one game at a time; the game's thread takes engines out and puts
// them back, the tournament's thread hands the slot to the next game and ends what it keeps.
// A mutex guards the list all the same. A started program is killed when the thread that
// started it ends, so an engine meant to be kept is started on the slot's own thread, which
// lives as long as the slot, not on the game's.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tourney/clsengineinterface.h"

namespace drnChess {

class clsPlayer;

class clsEngineSlot {
public:
    clsEngineSlot() = default;
    // Ends every engine still kept (ReleaseAll).
    ~clsEngineSlot();
    clsEngineSlot(const clsEngineSlot&) = delete;
    clsEngineSlot& operator=(const clsEngineSlot&) = delete;

    // The engine kept for the player, taken out of the slot; null when there is none.
    std::unique_ptr<clsEngineInterface> Take(const clsPlayer* player);
    // Keeps the engine of the player for the slot's next game; its traffic until then goes
    // nowhere. An engine already kept for the player is ended first.
    void Keep(const clsPlayer* player, std::unique_ptr<clsEngineInterface> engine);
    // How many of the two players the slot keeps an engine for (the scheduler prefers a slot
    // that starts nothing).
    int Holds(const clsPlayer* white, const clsPlayer* black) const;
    // Ends every kept engine but those of the two players (the next game needs no other).
    void ReleaseOthers(const clsPlayer* white, const clsPlayer* black);
    // Ends every kept engine: each is told to quit, then ended and reaped.
    void ReleaseAll();
    // Starts the engine (its Start()) on the slot's own thread and waits for it; what Start()
    // returned. An engine started so may outlive the game that started it.
    bool StartEngine(clsEngineInterface& engine);

private:
    struct Kept {
        const clsPlayer* player;
        std::unique_ptr<clsEngineInterface> engine;
    };
    // Where the traffic of a kept engine goes between games (its "quit" at the end, too).
    struct Silent : clsGameLogSink {
        void GameLog(int, const std::string&) override { }
    };
    // Ends the engines outside the lock: each may take its quit grace time.
    static void End(std::vector<Kept>& engines);

    // A start asked of the slot's thread.
    struct Launch {
        clsEngineInterface* engine;
        bool started = false;
        bool done = false;
    };
    void LauncherLoop();

    mutable std::mutex mutex_;
    std::vector<Kept> kept_;
    Silent silent_;
    std::mutex launchMutex_; // with launchCv_: the start asked for and its end
    std::condition_variable launchCv_;
    Launch* pending_ = nullptr;
    bool closing_ = false;
    std::thread launcher_; // made at the first start
};

// A kept engine's start of the next game, in two steps so that both players renew at once.
// The first: colour and both clocks, any line left over from the last game read and dropped,
// then NewGame() and the synchronisation (UCI "isready" is part of NewGame; xboard gets a ping
// when it uses them); false when the engine has ended. The second waits up to the handshake
// time for the answer; false when the engine has ended or did not answer in time: it is to be
// started anew.
bool BeginRenewal(clsEngineInterface& engine, int colour, std::int64_t baseTimeMs, std::int64_t incrementMs);
bool FinishRenewal(clsEngineInterface& engine);

// The side (0 white, 1 black) whose fault ended a game of the result code, or -1: a loss on
// time, by an illegal move or a crash, or one the game marked as a fault (a false claim, a
// flood). That side's engine is not kept for the next game.
int FaultedSide(std::uint32_t code, bool markedFault);

} // namespace drnChess
