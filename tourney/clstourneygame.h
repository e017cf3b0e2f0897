#pragma once
// One tournament game and its referee.
//
// clsTourneyGame runs one game on a thread of its own: it creates the two players' interfaces
// (an external program, or the program's own engine), runs their handshakes, relays the moves,
// keeps both clocks, checks every move on a referee engine of its own, ends the game by the
// rules (mate, stalemate, insufficient material, a position's fourth occurrence), by a player's
// fault (time, an illegal or empty move, a crash) or by a player's claim (a draw, its own loss),
// scores it, and writes the game's log and PGN files.
//
// Threads: the tournament sets the players, clocks, tags and file name while the game's thread
// is not running, starts it, and then reads nothing but IsFinished() until that turns true;
// after that the record (result, tags, log) belongs to the tournament again. RequestAbort() may
// be called from any thread. Players' scores are shared between games and change only under
// each player's mutex.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "book/clsgame.h"
#include "dranbase/clsthread.h"
#include "tourney/clsengineinterface.h"
#include "tourney/engineslot.h"
#include "tourney/gameloop.h"
#include "tourney/gamerules.h"
#include "tourney/playerbook.h"
#include "tourney/referee.h"

namespace drnChess {

// A player of a tournament as its file describes it, with its score.
class clsPlayer {
public:
    clsPlayer(std::string name, std::string protocol, std::string fileName, std::string parameters)
        : Name(std::move(name))
        , Protocol(std::move(protocol))
        , FileName(std::move(fileName))
        , Parameters(std::move(parameters))
    {
    }

    // Adds half-points under the score mutex and returns the new total.
    int AddScore(int halfPoints);
    int Score() const;
    void ResetScore();

    int Flag = 0;
    std::string Name;
    int Word = 0;
    std::string Protocol; // "uci", "embedded", anything else is xboard
    std::string FileName; // the program to start
    std::string Parameters; // its command line (for "embedded": the engine's options)
    // The book the runner plays for it (none when null), up to BookDepth of its moves (0: no
    // limit). Read before the first game, then shared read-only by the games.
    std::shared_ptr<const clsPlayerBook> Book;
    int BookDepth = 0;
    // A game slot keeps this player's engine between its games ("restart off"); false: the
    // engine is started for every game. The program's own engine is always started anew.
    bool KeepEngine = false;
    bool KeepsEngine() const;
    // A program's working folder (empty: its own folder) and the file its standard error is
    // appended to (empty: it comes with its output).
    std::string WorkingDirectory;
    std::string ErrorFile;
    // What bounds its moves (the game's clock by default), and the options it is given once
    // after its handshake (UCI and xboard; the embedded player takes its options as parameters).
    clsMoveLimits Limits;
    std::vector<std::pair<std::string, std::string>> EngineOptions;

private:
    mutable std::mutex scoreMutex_;
    int score_ = 0; // half-points: a win 2, a draw 1
};

// The client of a player by its protocol ("embedded": the program's own engine; "uci"; anything
// else xboard), with the timing given (an embedded player takes no pauses). Not started.
std::unique_ptr<clsEngineInterface> MakeClient(const clsPlayer& player, const clsClientTiming& timing);

class clsTourneyGame : public dranbase::clsThread, public clsGame, public clsGameHost {
public:
    // The game log keeps at most this much of each player's traffic; a player that sends
    // more in one game floods, a fault that loses it the game. The referee's own lines are
    // always kept.
    static constexpr std::size_t MaxPlayerLogBytes = 8u << 20;

    static constexpr const char* StartPosition = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

    clsTourneyGame();
    ~clsTourneyGame() override;

    // The game record, the game log, the repetition history and the finished flag start afresh;
    // the tags stay when keepTags is set.
    void Clear(bool keepTags) override;

    // Appends "W", "B" or "-" (mark 0, 1, 2), a tab and the text to the game log, and prints
    // "#\tG<number>\t<line>" on the console when verbose or when the line mentions "forfeit".
    // Past MaxPlayerLogBytes a player's lines are dropped (one referee line says so).
    void GameLog(int mark, const std::string& text) override;
    // The game log lines so far (a copy).
    std::vector<std::string> LogLines() const;

    // Makes the game the interface's owner (its traffic goes to the game log), then runs the
    // clients' start-up Handshake with the game's base time and increment. True when ready.
    bool InitEngine(clsEngineInterface& engine, int colour);
    // Writes the game log (base name with ".log", each line ended by CR LF) and the PGN (".pgn")
    // when the base name is set, each under a temporary name renamed into place. False when a
    // file could not be written (a console line says which).
    bool SaveGameFiles();

    // The game loop's host: stop when cancelled or aborted; a player's log cut is a flood.
    bool StopAsked() override { return Cancelled() || abort_.load(); }
    bool LogCut(int side) const override { return logCut_[side & 1].load(); }

    // Asks the game to end as aborted: a running game stops within a poll, one not yet started
    // ends at once when it starts. Final for this object. Safe from any thread.
    void RequestAbort() { abort_ = true; }
    // For a game whose thread is not running and that has not finished: records it as aborted
    // and finished, without playing it.
    void MarkAborted();
    // True once Run has scored the game and written its files.
    bool IsFinished() const { return finished_.load(std::memory_order_acquire); }

    // --- set by the tournament before the thread starts -----------------------------------------
    int GameNumber = 0;
    clsPlayer* White = nullptr;
    clsPlayer* Black = nullptr;
    std::int64_t BaseTimeMs = 60000;
    std::int64_t IncrementMs = 0;
    std::int64_t MovesPerControl = 0;
    clsAdjudicationRules Adjudication; // none by default
    bool Verbose = false;
    std::string FileBase; // "<tourney base>.R<r>.G<g>.pgn"; no files when empty
    // The start position (FEN; empty: the standard one; the record gets SetUp and FEN tags
    // when it is set) and the opening: coordinate or SAN moves, blank-separated, played from
    // it as part of the game record before the players think. A start or opening that the
    // rules refuse aborts the game with a log line saying which.
    std::string StartFEN;
    std::string OpeningMoves;
    clsClientTiming Timing; // the clients' pauses (tests shorten them)
    // Called on the game's thread once its files are written (or failed to be), before
    // IsFinished() turns true: the tournament records the game at once, not at its next look.
    std::function<void(clsTourneyGame& game, bool filesWritten)> FilesDone;
    // Called on the game's thread as its last step, once IsFinished() is true: the scheduler
    // wakes at once for the next game.
    std::function<void()> Ended;
    // The slot the game plays in: the players that keep their engines take them from it and
    // leave them there for its next game. Null: every engine is started for this game.
    clsEngineSlot* Slot = nullptr;

    // --- read after the game ------------------------------------------------------------------
    // The coordinate moves of the game, each followed by a blank.
    const std::string& PlayedMoves() const { return played_; }
    // The position the game ended in (placement, side, castling, en passant); empty before.
    const std::string& FinalPosition() const { return finalPosition_; }
    // False when the last game's log or PGN could not be written.
    bool FilesWritten() const { return filesWritten_.load(); }

protected:
    // The thread body: plays the game. True unless the result is unknown or aborted.
    bool Run() override;

private:
    std::atomic<bool> filesWritten_ { true };
    // A player's engine on its way into the game: kept by the slot and being told of the new
    // game, or new and in its handshake.
    struct PendingPlayer {
        std::unique_ptr<clsEngineInterface> engine;
        bool kept = false;
        bool begun = false; // its renewal or handshake has begun
    };
    // The first step for a player: the engine the slot kept for it (when takeKept), else a new
    // one, started (on the slot's thread when the slot may keep it).
    PendingPlayer BeginInterface(clsPlayer& player, int colour, const std::string& opening, bool takeKept);
    // The second: waits for it. A kept engine that does not answer is ended and a new one
    // started; null when the program cannot be started (logged).
    std::unique_ptr<clsEngineInterface> FinishInterface(
        clsPlayer& player, int colour, const std::string& opening, PendingPlayer pending);
    // After the game: each engine goes back to the slot when its player keeps it and it ended
    // the game in good order; the others are ended.
    void ReturnInterfaces(std::unique_ptr<clsEngineInterface> (&interfaces)[2]);
    // The referee at the start position with the opening played and recorded; the opening in
    // coordinates for the players. False (logged) when the rules refuse it.
    bool SetUpStart(std::string& openingCoordinates);
    void ScoreGame();

    mutable std::mutex logMutex_;
    std::vector<std::string> gameLog_;
    std::size_t logBytes_[2] = { 0, 0 };
    std::atomic<bool> logCut_[2] = { false, false };
    std::unique_ptr<clsReferee> referee_;
    std::atomic<bool> finished_ { false };
    std::atomic<bool> abort_ { false };
    std::string played_; // the referee's coordinate moves, kept when the game is over
    std::string finalPosition_;
};

} // namespace drnChess
