#pragma once
// One player of a game as the referee sees it: the common base of the engine clients.
//
// The base holds the state of the dialogue (handshake, pings, clocks, the moves), a protocol
// dialogue (tourney/protocols.h: xboard or UCI) that turns each step into lines, and moves the
// lines over a line transport (tourney/linetransport.h). The kinds (an external program over
// pipes, the program's own engine, a fixed-time engine) give the transport and the player's
// life: Start, Stop, IsReady, Quit. Nothing here asks which protocol or kind it is.
//
// Threads: every operation runs on the referee's game thread. The flags that another thread
// sets or reads (Ended by the reader thread's end, Ready and UsePing read by anyone asking
// IsReady) are atomics.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dranbase/clsstring.h"
#include "dranbase/console.h"
#include "tourney/adjudication.h"
#include "tourney/linetransport.h"
#include "tourney/protocols.h"

namespace drnChess {

inline constexpr int ProtocolXboard = 0;
inline constexpr int ProtocolUci = 1;

// Where a player's traffic goes when it plays in a game: the game's log. The mark is the
// player's colour (0 white, 1 black); 2 marks the game's own lines.
class clsGameLogSink {
public:
    virtual ~clsGameLogSink() = default;
    virtual void GameLog(int mark, const std::string& text) = 0;
};

// The fixed pauses of the dialogue. The defaults pace a real game; tests shorten them.
struct clsClientTiming {
    std::int64_t SendDelayMs = 100; // after every command sent
    std::int64_t StartDelayMs = 1500; // after starting the engine, before the handshake
    std::int64_t HandshakeMs = 20000; // longest wait for the engine to become ready
    std::int64_t FeatureWaitMs = 2000; // xboard: wait for a first done=... before assuming an old engine
    std::int64_t QuitGraceMs = 1000; // after "quit", before the engine is terminated
};

// What bounds each move of a player besides, or instead of, the game's clock.
struct clsMoveLimits {
    bool clock = true; // the game's clock applies; false: none (a hang guard only)
    std::int64_t moveMs = 0; // a fixed time for each move, in place of the clock; 0: none
    std::int64_t nodes = 0; // 0: no node limit
    int depth = 0; // 0: no depth limit
    // What the referee allows past the time of a move: -1 the default (MoveTimeMarginMs with a
    // time per move, nothing beyond the clock's grace on the game's clock).
    std::int64_t marginMs = -1;
    // The game's clock (base time, increment) is the one that counts for this player.
    bool OnGameClock() const { return clock && moveMs == 0; }
    bool operator==(const clsMoveLimits&) const = default;
};

// How long a move of a player without a clock may take before it counts as hung and loses.
inline constexpr std::int64_t NoClockGuardMs = 15 * 60 * 1000;
// What the referee allows beyond a fixed time per move (the engine's own overshoot and the
// pipes' delays); the usual grace on a clock comes on top.
inline constexpr std::int64_t MoveTimeMarginMs = 100;

class clsEngineInterface : public dranbase::clsOutBuffer {
public:
    clsEngineInterface() { SetProtocol(ProtocolXboard); }
    ~clsEngineInterface() override = default;
    clsEngineInterface(const clsEngineInterface&) = delete;
    clsEngineInterface& operator=(const clsEngineInterface&) = delete;

    // --- the player's life, given by each kind ----------------------------------------------------
    // Starts the player; clears Ended. False when it could not be started (Ended stays set).
    virtual bool Start() = 0;
    // Quits and ends the player for good; sets Ended.
    virtual void Stop() = 0;
    // True when the engine has answered the last handshake or synchronisation.
    virtual bool IsReady() { return Ready.load(); }
    // Tells the engine to leave and makes sure it does.
    virtual void Quit() { }
    // Why the player could not be started; empty when it was (or has not been tried).
    virtual std::string StartError() const { return {}; }

    // --- lines, over the kind's transport (tourney/linetransport.h) -------------------------------
    // The next line of the player: logged as "<---\t" + line, stamped with its arrival
    // (LastLineTick), counted (LinesRead) and parsed (ParseResponse); empty when none waits.
    virtual std::string ReadResponse();
    // Logs "--->\t" + text, stamps LastSendTick as the write begins, hands the line to the
    // transport (a player that has gone takes nothing), then pauses for the send delay.
    virtual void Send(const std::string& text);
    // Blocks until a reply may be there to read, or timeoutMs has passed; never spins. True
    // when one is there. The caller reads everything that has come before it waits again.
    virtual bool WaitForReply(std::int64_t timeoutMs);
    // True once the player has sent more than its transport holds unread: a fault.
    virtual bool Flooded() const { return transport_ && transport_->Flooded(); }
    // The traffic log: the owner game's log with the player's colour as mark, or, without an
    // owner, the console line "# =====>\t" + name + ":\t" + text.
    virtual void Log(const std::string& text);

    // --- the dialogue --------------------------------------------------------------------------
    // The handshake steps of the protocol: ask for it; whether a ready engine has said all.
    void AskProtocol() { dialogue_->AskProtocol(*this); }
    bool HandshakeSettled(std::int64_t waitedMs) const
    {
        return dialogue_->HandshakeSettled(*this, waitedMs);
    }
    // Synchronises: clears Ready. xboard: "ping N" with the next number when the engine uses
    // pings, else Ready at once. UCI: "isready".
    void Ping();
    // Once after the handshake, before the first game: the player's options (UCI "setoption
    // name N value V", xboard "option N=V"), in their order.
    void Configure();
    // The time per move the engine is told: Limits.moveMs as its protocol can say it (xboard:
    // whole seconds). The referee allows each move that much (and a margin).
    std::int64_t MoveTimeMs() const;
    // xboard: "new", "post", the time ("level 0 <base> <increment s>" on the game's clock, "st
    // <seconds>" with a time per move or none) and "sd <depth>" when limited, then "setboard <FEN>" when a
    // start position is set and "force" and the opening moves when there are any. UCI: "ucinewgame",
    // "position startpos" (or "position fen <FEN>", with " moves ..." for an opening), then
    // Ping(). MovesPlayed becomes the opening moves.
    void NewGame();
    // Stores own and opponent's clocks from the two sides' values, by this player's colour.
    void SetClocks(std::int64_t whiteTime, std::int64_t blackTime, std::int64_t whiteIncrement,
        std::int64_t blackIncrement);
    // xboard: "time", "otim" (centiseconds; not without the game's clock) and "go". UCI: "go
    // wtime .. btime .. winc .. binc .." on the game's clock, "go movetime .." with a time per
    // move, followed by " nodes N" and " depth D" when limited.
    void StartThinking();
    // Records the move; when another player made it, passes it on (xboard: "time", "otim" and
    // the move, after "usermove" when the engine announced usermove=1; UCI: the position with
    // all moves, then StartThinking()).
    void SendMove(const std::string& move, int moverColour);
    // Records a move the engine must not answer (a book move the runner played, its own or the
    // opponent's, while its next move also comes from the book). xboard: "force" once, then the
    // move; its next passed move ends force mode with "go". UCI: nothing is sent.
    void SendQuietMove(const std::string& move);
    // Reads one line of the engine (see the .cpp for the rules). Returns "move <text>" for a
    // move, "result <text>" for an xboard result claim (a resignation gives the loss of this
    // player), and empty for every other line, whose effect, if any, is on the state here.
    std::string ParseResponse(std::string_view line);
    // The "level" command for a base time and increment in milliseconds: "level 0 1 1",
    // "level 0 1:30 0", "level 0 0:06 0.1" (the increment the player really gets, in seconds).
    static std::string LevelCommand(std::int64_t baseMs, std::int64_t incrementMs);

    // The timing of the dialogue; a kind may pass parts of it on to its transport.
    virtual void SetTiming(const clsClientTiming& timing) { timing_ = timing; }
    const clsClientTiming& Timing() const { return timing_; }

    // --- state -----------------------------------------------------------------------------------
    clsGameLogSink* Owner = nullptr; // the game that logs this player's traffic; may be null
    std::string MovesPlayed; // every move of the game, each followed by a blank (UCI)
    std::string PlayerName; // the player's name from the tournament
    clsMoveLimits Limits; // what bounds its moves (the game's clock by default)
    std::vector<std::pair<std::string, std::string>> EngineOptions; // sent by Configure()
    int PingCounter = 0; // number of the last "ping" sent
    std::atomic<bool> UsePing { false }; // the engine announced ping=1
    std::atomic<bool> Ready { false }; // the engine answered the last handshake or ping
    std::atomic<bool> Ended { true }; // the player's thread has ended (or never started)
    int Colour = 0; // 0 white, 1 black
    dranbase::clsStrings Features; // xboard features as received, name -> value
    std::int64_t OwnTime = 0; // milliseconds left
    std::int64_t OwnIncrement = 0;
    std::int64_t OpponentTime = 0;
    std::int64_t OpponentIncrement = 0;
    // The protocol (ProtocolXboard, ProtocolUci) and its dialogue.
    void SetProtocol(int protocol);
    int Protocol() const { return protocol_; }
    std::string StartFEN; // the game's start position; empty: the standard one
    std::string OpeningMoves; // coordinate moves played from it before the players think, blank-separated
    bool Forced = false; // xboard: left in force mode by the opening until its "go"
    std::int64_t LinesRead = 0; // lines ReadResponse has taken (empty lines not counted)
    // The clock's two ends: when the last command was written to the player (before any
    // pause the referee takes after it) and when the last line ReadResponse took arrived.
    // A move's time is the one minus the other: the referee's own delays are not in it.
    std::int64_t LastSendTick = 0;
    std::int64_t LastLineTick = 0;
    // The score and depth of the engine's latest thinking output (UCI "info", xboard thinking
    // lines); the game loop takes it with each move and clears it for the next.
    clsEngineScore LastScore;

    // xboard handshake bookkeeping. A "feature done=0" holds readiness until "done=1"; a ping
    // sent holds it until its "pong".
    bool DoneAnnounced = false; // a done=... pair has been seen since the handshake began
    bool AwaitingDone = false; // done=0 seen, done=1 not yet
    bool AwaitingPong = false; // a ping is out and its pong has not come
    // When the handshake under way asked for the protocol (a tick); 0 when none is under way.
    std::int64_t HandshakeSince = 0;

protected:
    // The kind's transport; it outlives every call that uses it. Without one nothing is read
    // and what is sent goes nowhere.
    void SetTransport(clsLineTransport* transport) { transport_ = transport; }

private:
    clsLineTransport* transport_ = nullptr;
    clsClientTiming timing_;
    int protocol_ = ProtocolXboard;
    std::unique_ptr<clsProtocolDialogue> dialogue_;
};

// The start-up handshake of a player before a game (the referee calls it once per game and
// player): sets colour and both clocks to the base time and increment; when the player is not
// ready yet, starts it, waits the start delay and asks for its protocol ("xboard" +
// "protover 2", or "uci"), then waits until it is ready: UCI "uciok"; xboard a feature line
// with done=1 (which also ends an earlier done=0) and the "pong" of a ping the features asked
// for, or no done=... at all within the feature wait (an engine of the old protocol). A move or result before
// readiness, an engine that ends, or the handshake time-out stop the wait. When ready, NewGame() follows. A
// player that cannot be started is not ready (and no time is spent waiting for it). True when the player is
// ready.
bool Handshake(clsEngineInterface& engine, int colour, std::int64_t baseTimeMs, std::int64_t incrementMs);
// The handshake in two steps, so that two players come up at once: the first does everything
// up to the question of the protocol (false when the player cannot be started); the second
// waits for the answer and starts the game (true when the player is ready).
bool BeginHandshake(
    clsEngineInterface& engine, int colour, std::int64_t baseTimeMs, std::int64_t incrementMs);
bool FinishHandshake(clsEngineInterface& engine);

} // namespace drnChess
