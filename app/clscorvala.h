#pragma once
// The application object: owns the engine, the console's command loop and what it keeps between
// commands: the xboard session on the engine (tourney/xboardsession.h: the game, its clocks
// and every xboard word), UCI mode, the EPD test state, the tool commands and tournaments.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dranbase/clsstring.h"
#include "dranbase/clsthread.h"
#include "dranbase/console.h"
#include "engine/clsengine.h"
#include "engine/timebudget.h"
#include "tourney/xboardsession.h"
#include "version.h"

namespace drnChess {

class clsTourney;

using dranbase::ProgramVersion;

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
    // The program's own words, beside the xboard session's.
    struct Command {
        const char* word;
        Handler handler;
        const char* help; // what the "help" command shows after the word
        bool whileThinking = false; // may run beside a think (it stops the think itself if need be)
    };
    static const std::vector<Command>& Commands();

    // --- the command loop (xboard.cpp) ---
    // Reads the console and hands each line to ExecuteLine; between lines lets the xboard
    // session look at the engine.
    void CommandLoop();
    // One line of the command log ("-log"), when there is one.
    void LogCommand(const std::string& word, const std::string& rest);

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
    // The xboard game on the engine; goes before the engine.
    std::unique_ptr<clsXboardSession> session_;
    dranbase::clsStrings options_;
    std::string commandLog_;
    dranbase::clsCStrings epdList_;
    int epdIndex_ = 0;
    std::int64_t epdMs_ = 60000; // the time of each position of the suite
    std::vector<std::unique_ptr<clsTourney>> tourneys_;
    int exitCode_ = 0;
    int epdSolved_ = 0;
    int epdSkipped_ = 0;
    bool showBoard_ = false;
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
