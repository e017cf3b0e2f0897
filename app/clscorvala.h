#pragma once
// The application object: owns the engine and everything the command loop keeps between
// commands (clocks, playing state, position history, EPD test state, features, tournaments).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dranbase/clsprotected.h"
#include "dranbase/clsstring.h"
#include "dranbase/clsthread.h"
#include "dranbase/console.h"
#include "engine/clsengine.h"
#include "engine/timebudget.h"
#include "version.h"

namespace drnChess {

class clsTourney;

using dranbase::ProgramVersion;

// Playing states of the protocol driver.
enum PlayingState : int { NotPlaying = 0, PlaysWhite = 2, PlaysBlack = 3, EpdTest = 5 };

// Times from the interface saturate at a thousand years, either sign: a number too large for
// the clock arithmetic is taken as "no limit in practice", never wrapped.
inline constexpr std::int64_t MaxTimeMs = 1000LL * 365 * 24 * 3600 * 1000;
// A number of units (seconds, centiseconds ...) in milliseconds, saturated at MaxTimeMs.
std::int64_t ScaledTime(std::string_view number, std::int64_t msPerUnit);
// A time given as minutes, or minutes ":" seconds ("level", "\epd"), in milliseconds.
std::int64_t MinutesToMs(const std::string& text);
// Seconds with an optional fraction, in ms (saturated); 0 for text that is no number.
std::int64_t SecondsToMs(std::string_view number);

// The largest transposition table the program builds: a quarter of the machine's memory, in MiB.
long long MaxHashMiB();

// Result of ExecuteCommand that ends the command loop.
inline constexpr int QuitCode = 4;

class clsCorvala : public dranbase::clsThread, public dranbase::clsOutBuffer {
public:
    explicit clsCorvala(const dranbase::clsStrings& options);
    ~clsCorvala() override;

    // Splits the line at its first blank into word and rest, then ExecuteCommand.
    int ExecuteLine(const std::string& line);
    // Carries out one command; QuitCode ends the command loop.
    int ExecuteCommand(const std::string& word, const std::string& rest);
    // Resizes the transposition table; false (nothing changed) while the engine thinks or when
    // the size is refused: a negative size, with a message; a size beyond a quarter of the
    // machine's memory is cut to that quarter, with a message.
    bool SetHashSize(long long mib);

    clsEngine& Engine() { return *engine_; }
    // One line per command of the table, with its arguments and purpose.
    static std::vector<std::string> HelpLines();
    // One command of UCI mode (the UCI loop's dispatch); QuitCode for "quit".
    int UciCommand(const std::string& line);
    // The program's exit status: 1 when a tournament run with "-use=tourney" was refused
    // before its first game (see clsTourney), else 0.
    int ExitCode() const { return exitCode_; }

protected:
    bool Run() override;

private:
    using Handler = int (clsCorvala::*)(const std::string& rest);
    struct Command {
        const char* word;
        Handler handler;
        const char* help; // what the "help" command shows after the word
    };
    static const std::vector<Command>& Commands();

    // --- protocol driver ---
    void CommandLoop();
    // One line of the command log ("-log"), when there is one.
    void LogCommand(const std::string& word, const std::string& rest);
    // A think on the game move; with ponder, an open-ended think on the position after the
    // reply the engine expects, made while the opponent thinks (its budget kept for the hit).
    void StartThinking(bool ponder = false);
    // Pondering (xboard "hard", the strong search only): after its move the engine plays the
    // expected reply on its board and thinks on. The opponent's move ends it: the same move
    // puts the think on the clock; another one, or a command that touches the game, takes the
    // reply back and stops the think.
    void StartPondering();
    void EndPondering();
    int OnMoveWhilePondering(const std::string& text);
    bool SetPosition(const std::string& fen);
    void SendPong();
    void ReportThinking();
    // Shows each iteration of the strong search as a thinking line (show), or none.
    void ShowIterations(bool show);
    // Makes a game move on the engine and records the position before it in the history.
    bool MakeGameMove(const std::string& text);
    // The engine's position with its counters, as kept in the history.
    std::string FullFEN();
    void TakeBack(int plies);
    // Why the engine's position cannot be played (a king missing or doubled, the side not to
    // move in check), or empty when it can.
    // The result line of a game that is over on the board (mate, stalemate), or empty.
    std::string FinishedGameResult();
    // Stops a running think and discards its move (the position or the state is changing).
    void StopThinking();
    // Hands options and limits that arrived during a think to the engine once it is idle.
    void ApplyPendingSettings();
    void OnEngineMove(const clsMove& move, std::int64_t elapsed);

    int CmdUserMove(const std::string& rest);

    // --- analysis and hints ---
    int CmdAnalyze(const std::string& rest);
    int CmdExit(const std::string& rest);
    int CmdHint(const std::string& rest);
    // Searches the current position without a limit (the analysis of that position).
    void StartAnalysis();
    // Between searches while analysing: shows a finished search's last line and starts a new
    // search when the position changed or the search was stopped.
    void ContinueAnalysis();
    // The move "hint" offers: the best so far while analysing, the reply the engine's last think
    // expected, or the book's best; empty when there is none.
    std::string HintMove();
    int CmdXboard(const std::string& rest);
    int CmdStop(const std::string& rest);
    int CmdProtover(const std::string& rest);
    int CmdNothing(const std::string& rest);
    int CmdRejected(const std::string& rest);
    int CmdPing(const std::string& rest);
    int CmdNew(const std::string& rest);
    int CmdQuit(const std::string& rest);
    int CmdForce(const std::string& rest);
    int CmdGo(const std::string& rest);
    int CmdWhite(const std::string& rest);
    int CmdBlack(const std::string& rest);
    int CmdLevel(const std::string& rest);
    int CmdSt(const std::string& rest);
    int CmdSd(const std::string& rest);
    int CmdTime(const std::string& rest);
    int CmdOtim(const std::string& rest);
    int CmdResult(const std::string& rest);
    int CmdSetboard(const std::string& rest);
    int CmdIcs(const std::string& rest);
    int CmdBk(const std::string& rest);
    int CmdUndo(const std::string& rest);
    int CmdRemove(const std::string& rest);
    int CmdEasy(const std::string& rest);
    int CmdHard(const std::string& rest);
    int CmdPost(const std::string& rest);
    int CmdNopost(const std::string& rest);
    int CmdName(const std::string& rest);
    int CmdRating(const std::string& rest);
    int CmdComputer(const std::string& rest);
    int CmdMemory(const std::string& rest);
    int CmdOption(const std::string& rest);
    int CmdCores(const std::string& rest);

    // --- UCI mode ---
    void EnterUci();
    void UciLoop();

    void UciSetOption(const std::string& rest);
    void UciPosition(const std::string& rest);
    void UciGo(const std::string& rest);
    void StopUciThink();
    void SendBestMove();
    void PrintUciInfo(const clsIterationReport& report);

    // --- test commands ---
    // Runs a count on its own thread while the console stays read, then its report; then the
    // lines that came meanwhile. Returns QuitCode when one of them was "quit".
    // A suite or a tournament started from the console is still running.
    bool ToolCommandRunning() const;
    int RunStoppable(const std::function<void()>& work, const std::function<void()>& report = {});
    int CmdPerft(const std::string& rest);
    int CmdDivide(const std::string& rest);
    int CmdEpd(const std::string& rest);
    // Tests the suite's positions from the index on; prints the results after the last one.
    void TestFrom(int index);
    void JudgeEpdMove(const clsMove& move);

    // --- backslash commands ---
    int CmdBoard(const std::string& rest);
    int CmdDbg(const std::string& rest);
    int CmdLoadSoul(const std::string& rest);
    int CmdMoves(const std::string& rest);
    int CmdTourney(const std::string& rest);
    int CmdSoul(const std::string& rest);
    int CmdShowSoul(const std::string& rest);
    int CmdHelp(const std::string& rest);
    int CmdTestSouls(const std::string& rest);
    int CmdLearnt(const std::string& rest);
    int CmdLearn(const std::string& rest);
    int CmdMergeBooks(const std::string& rest);
    int CmdCvBooks(const std::string& rest);
    int CmdPlay(const std::string& rest);
    int CmdConsole(const std::string& rest);
    int CmdBuildBooks(const std::string& rest);
    int CmdLoadBook(const std::string& rest);
    int CmdSaveBook(const std::string& rest);
    int CmdListBook(const std::string& rest);

    // Engine share first: the engines are built on it and must go before it.
    int defaultHashMiB_ = 64;
    clsEngineShare share_;
    std::unique_ptr<clsEngine> engine_;
    dranbase::clsStrings options_;
    dranbase::clsStrings features_;
    std::string commandLog_;
    dranbase::clsCStrings epdList_;
    int epdIndex_ = 0;
    std::vector<std::unique_ptr<clsTourney>> tourneys_;
    int exitCode_ = 0;
    std::vector<std::string> history_; // the position before each move made through the driver
    int state_ = NotPlaying;
    int epdSolved_ = 0;
    int epdSkipped_ = 0;
    bool ponder_ = false;
    bool post_ = false;
    bool showBoard_ = false;
    bool analyzing_ = false; // "analyze" until "exit": think, never play
    bool bookBeforeAnalysis_ = true;
    std::string analysisPosition_; // the position the analysis searches
    std::string expectedReply_; // the reply the engine's last move expects (for "hint")
    bool pondering_ = false;
    std::string ponderMove_; // the reply played on the engine's board while pondering
    clsMoveBudget plannedBudget_; // the budget of the last think started
    std::string expectedAfter_; // the position after that move
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
    dranbase::clsProtected<std::string> position_;
    std::vector<std::string> pendingPings_; // answered in order once no think is running
    std::string icsHost_;
    // UCI mode.
    bool protocolKnown_ = false; // the first command has been read
    bool uciMode_ = false;
    bool uciSearching_ = false; // a "go" awaits its "bestmove"
    bool uciHoldBestMove_ = false; // infinite or ponder: only "stop" or "ponderhit" release it
    clsMoveBudget uciPonderBudget_ {};
    std::int64_t moveOverheadMs_ = 30;
    std::string uciSearch_ = "classic";
    std::string uciBookFile_ = "corvala.cbk";
    dranbase::clsStrings soulList_;
    dranbase::clsMutex soulListMutex_;
};

} // namespace drnChess
