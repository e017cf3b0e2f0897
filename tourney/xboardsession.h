#pragma once
// The xboard game of one engine: every word a GUI or a referee says to an xboard engine
// (protover, new, force, go, white/black, level, st, sd, time, otim, moves, setboard, undo,
// remove, ping, post, hard/easy, hint, analyze, memory, option, cores, ...) carried out on the
// engine, and every reply written through the owner's output. The program under a GUI and the
// embedded tournament player both speak through it; each keeps only its transport (the console
// and its command loop, or a queue of reply lines) and the words of its own.
//
// The owner hands over each command (Execute) and lets the session look at the engine whenever
// it likes (Poll): a think that has ended gives its move, played on the engine and answered as
// "move e2e4", and the pings that waited for it get their pongs. A think that has not ended
// by its own deadline is stopped a little after it (a backup: the search watches the clock
// itself), and one that stopped before it had a move plays the first legal move.
//
// Threads: every call comes from the owner's thread. The output is also called on the engine
// thread (the strong search's thinking lines), so it must be safe to call from there.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dranbase/clsstring.h"
#include "engine/timebudget.h"

namespace drnChess {

class clsEngine;
struct clsMove;

// Times from the interface saturate at a thousand years, either sign: a number too large for
// the clock arithmetic is taken as "no limit in practice", never wrapped.
inline constexpr std::int64_t MaxTimeMs = 1000LL * 365 * 24 * 3600 * 1000;
// A number of units (seconds, centiseconds ...) in milliseconds, saturated at MaxTimeMs.
std::int64_t ScaledTime(std::string_view number, std::int64_t msPerUnit);
// A time given as minutes, or minutes ":" seconds ("level", "\epd"), in milliseconds.
std::int64_t MinutesToMs(const std::string& text);
// Seconds with an optional fraction, in ms (saturated); 0 for text that is no number.
std::int64_t SecondsToMs(std::string_view number);

// What Execute did with a command.
enum class XboardOutcome {
    Done, // carried out (replies, if any, written)
    Quit, // "quit": the think is stopped; ending is the owner's business
    NotMine, // neither one of the session's words nor a move: nothing was done
};

class clsXboardSession {
public:
    using Output = std::function<void(const std::string& line)>;

    // What the owner does that the session cannot: all optional.
    struct Hooks {
        // "memory MIB" (the default size when empty) resizes the owner's table.
        std::function<void(const std::string& mib)> resizeTable;
        // After each move the engine played (the program shows the board when asked to).
        std::function<void()> afterEngineMove;
        // The move of a judged think (Judge), instead of playing it.
        std::function<void(const clsMove& move)> judgeMove;
    };

    // A word of the session and what the help list says after it.
    struct Word {
        const char* word;
        const char* help;
    };

    // The engine outlives the session; the session starts in force mode on the engine's position.
    clsXboardSession(clsEngine& engine, Output output, Hooks hooks = {});
    ~clsXboardSession();
    clsXboardSession(const clsXboardSession&) = delete;
    clsXboardSession& operator=(const clsXboardSession&) = delete;

    // The session's words in the order they are matched (ignoring case), with their help.
    static const std::vector<Word>& Words();

    // One command, split at its first blank into word and rest. A move (a bare one, or after
    // "usermove") is the opponent's. NotMine when the word is none of the session's: nothing has
    // happened, and the owner either knows it (then calls YieldEngine first) or hands it to
    // Unknown.
    XboardOutcome Execute(const std::string& word, const std::string& rest);
    // A command of the owner's that reads or changes the engine: a think on the opponent's time
    // takes its reply back; unless the command may run beside a think, a running think is
    // stopped, its move discarded and the game left to the user ("# thinking stopped for WORD").
    void YieldEngine(const std::string& word, bool allowedWhileThinking);
    // A word nobody knows: a legal move in SAN (typed at the console) is played; something
    // written like a move is an illegal move; anything else an unknown command.
    void Unknown(const std::string& word, const std::string& rest);

    // Looks at the engine: options that came during a think are handed over once it is idle;
    // an ended think's move is played and answered; an analysis goes on; held pings are
    // answered. While a think runs, shows the classic search's progress once a second (post).
    void Poll();
    // Whether a think's move is there for Poll to take (the think has ended or is overdue).
    bool MoveDue() const;
    // Whether a think whose move will be played (or judged) is under way.
    bool Thinking() const { return thinkPending_; }

    // --- the game, for the owner's other words (UCI's position, EPD suites) -------------------------
    // Stops a running think and discards its move (the position or the state is changing).
    void StopThinking();
    // Loads the position (no checks) and clears nothing else.
    void SetPosition(const std::string& fen);
    // The engine's position with its counters, as kept in the history.
    std::string FullFEN() const;
    // Makes a game move (coordinates, or SAN as a person types it) on the engine and records
    // the position before it for undo; false (nothing changed) when it is not legal here.
    bool MakeGameMove(const std::string& text);
    // Forgets the positions that undo would go back to.
    void ClearHistory() { history_.clear(); }
    // Hands options and limits that arrived during a think to the engine once it is idle.
    void ApplyPendingSettings();
    // The deepest iteration "sd" asked for; 0 when none.
    int DepthLimit() const { return depthLimit_; }
    // A think of the whole time given on the engine's position whose move goes to the judge
    // hook instead of being played (EPD suites); the session stays in that state until
    // EndJudging or a command that changes the game.
    void Judge(std::int64_t ms);
    void EndJudging();
    bool Judging() const { return state_ == State::Judging; }
    // Engine diagnostics ("# engine's running" ...) follow "post" (the program); the embedded
    // player turns them off, since its engine's own lines go to the console, not to the referee.
    void SetEngineDiagnostics(bool on) { engineDiagnostics_ = on; }

    // The plan of a game think with the clock (ms) at the full-move number, the moves per
    // control (0: the whole game), the increment and a fixed time per move (0: none).
    static clsMoveBudget PlanThink(std::int64_t clockMs, int fullMove, int movesPerControl,
        std::int64_t incrementMs, std::int64_t fixedMoveMs = 0);

private:
    enum class State { NotPlaying, PlaysWhite, PlaysBlack, Judging };
    using Handler = void (clsXboardSession::*)(const std::string& rest);
    struct Command {
        Word word;
        Handler handler;
    };
    static const std::vector<Command>& Commands();

    void Print(const std::string& line) const { output_(line); }
    bool Playing() const { return state_ == State::PlaysWhite || state_ == State::PlaysBlack; }

    // --- thinking (xboardthink.cpp) ---
    // A think on the game move; with ponder, an open-ended think on the position after the
    // reply the engine expects, made while the opponent thinks (its budget kept for the hit).
    void StartThinking(bool ponder = false);
    // Shows each iteration of the strong search as a thinking line (show), or none.
    void ShowIterations(bool show);
    void ReportThinking();
    // The move of an ended think (or the first legal move when it left none), played or judged.
    void TakeEngineMove(std::int64_t now);
    void OnEngineMove(const clsMove& move, std::int64_t elapsed);
    // Pondering (xboard "hard", the strong search only): after its move the engine plays the
    // expected reply on its board and thinks on. The opponent's move ends it: the same move
    // puts the think on the clock; another one, or a command that touches the game, takes the
    // reply back and stops the think.
    void StartPondering();
    void EndPondering();
    void OnMoveWhilePondering(const std::string& text);
    // Searches the current position without a limit (the analysis of that position).
    void StartAnalysis();
    // Between searches while analysing: shows a finished search's last line and starts a new
    // search when the position changed or the search was stopped.
    void ContinueAnalysis();
    // The move "hint" offers: the best so far while analysing, the reply the engine's last think
    // expected, or the book's best; empty when there is none.
    std::string HintMove();

    // --- the game ---
    void TakeBack(int plies);
    // The result line of a game that is over on the board (mate, stalemate), or empty.
    std::string FinishedGameResult();
    void SendPongs();

    // --- commands (xboardsession.cpp) ---
    void CmdUserMove(const std::string& rest);
    void CmdXboard(const std::string& rest);
    void CmdStop(const std::string& rest);
    void CmdProtover(const std::string& rest);
    void CmdNothing(const std::string& rest);
    void CmdRejected(const std::string& rest);
    void CmdPing(const std::string& rest);
    void CmdNew(const std::string& rest);
    void CmdQuit(const std::string& rest);
    void CmdForce(const std::string& rest);
    void CmdGo(const std::string& rest);
    void CmdWhite(const std::string& rest);
    void CmdBlack(const std::string& rest);
    void CmdLevel(const std::string& rest);
    void CmdSt(const std::string& rest);
    void CmdSd(const std::string& rest);
    void CmdTime(const std::string& rest);
    void CmdOtim(const std::string& rest);
    void CmdResult(const std::string& rest);
    void CmdSetboard(const std::string& rest);
    void CmdHint(const std::string& rest);
    void CmdIcs(const std::string& rest);
    void CmdBk(const std::string& rest);
    void CmdUndo(const std::string& rest);
    void CmdRemove(const std::string& rest);
    void CmdEasy(const std::string& rest);
    void CmdHard(const std::string& rest);
    void CmdPost(const std::string& rest);
    void CmdNopost(const std::string& rest);
    void CmdAnalyze(const std::string& rest);
    void CmdExit(const std::string& rest);
    void CmdName(const std::string& rest);
    void CmdRating(const std::string& rest);
    void CmdComputer(const std::string& rest);
    void CmdMemory(const std::string& rest);
    void CmdOption(const std::string& rest);
    void CmdCores(const std::string& rest);

    clsEngine& engine_;
    Output output_;
    Hooks hooks_;
    bool engineDiagnostics_ = true;

    dranbase::clsStrings features_;
    std::vector<std::string> history_; // the position before each move made through the session
    State state_ = State::NotPlaying;
    bool thinkPending_ = false; // a game or judged think whose move has not been taken
    std::int64_t backupDeadline_ = 0; // the tick past which a think is stopped; 0: none
    bool ponder_ = false;
    bool post_ = false;
    bool analyzing_ = false; // "analyze" until "exit": think, never play
    bool bookBeforeAnalysis_ = true;
    std::string analysisPosition_; // the position the analysis searches
    std::string expectedReply_; // the reply the engine's last move expects (for "hint")
    std::string expectedAfter_; // the position after that move
    bool pondering_ = false;
    std::string ponderMove_; // the reply played on the engine's board while pondering
    clsMoveBudget plannedBudget_; // the budget of the last think started
    std::int64_t judgeMs_ = 0; // the time of a judged think
    std::int64_t defaultBaseTime_ = 300000;
    std::int64_t movesPerControl_ = 0;
    std::int64_t baseTime_ = 0;
    bool levelSet_ = false; // a "level" was given: a new game starts with its base time
    std::int64_t increment_ = 0;
    std::int64_t fixedMoveTime_ = 0; // "st": ms per move, 0 when not set
    int depthLimit_ = 0; // "sd": deepest iteration, 0 when not set
    int maxPlyRequest_ = 0; // "sd" also sets the maximum ply, when the engine is idle
    struct PendingOption {
        std::string key;
        std::string value;
        bool replace = false; // Set (memory, cores) rather than Add (option)
    };
    std::vector<PendingOption> pendingOptions_;
    std::int64_t engineClock_ = 300000;
    std::int64_t opponentClock_ = 300000;
    std::int64_t thinkStart_ = 0;
    bool creditBaseAfterMove_ = false; // the think plays the last move of a period
    std::int64_t lastReport_ = 0;
    std::vector<std::string> pendingPings_; // answered in order once no think is running
    std::string icsHost_;
};

} // namespace drnChess
