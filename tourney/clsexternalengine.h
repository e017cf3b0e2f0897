#pragma once
// A player that is another chess program, started as a child process and driven over xboard
// or UCI through its standard input and output. The process is its line transport
// (tourney/childtransport.h), held, not inherited.

#include <atomic>
#include <string>
#include <sys/types.h>

#include "tourney/childtransport.h"
#include "tourney/clsengineinterface.h"

namespace drnChess {

class clsExternalEngine : public clsEngineInterface {
public:
    clsExternalEngine(std::string programPath, std::string parameters, int protocol = ProtocolXboard,
        std::string playerName = {});
    // Stop(): "quit", the grace time, then the program is terminated and its reader joined.
    ~clsExternalEngine() override;

    // Starts the program and its reader thread; clears Ended. False when the program could not
    // be started (Ended is set again, and the console line "# cannot start <path>: <reason>"
    // says why).
    bool Start() override;
    // Quit(), then the reader thread is joined; Ended is set. A second call does nothing.
    void Stop() override;
    // Ready, and the reader thread still runs.
    bool IsReady() override;
    // Sends "quit", clears Ready, then ends the program: the grace time (QuitGraceMs), then
    // termination.
    void Quit() override;
    void SetTiming(const clsClientTiming& timing) override;
    // The folder the program starts in (empty: its own) and the file its standard error is
    // appended to (empty: it comes with its output); set before Start.
    void SetWorkingDirectory(std::string folder) { transport_.SetWorkingDirectory(std::move(folder)); }
    void SetErrorFile(std::string path) { transport_.SetErrorFile(std::move(path)); }
    std::string StartError() const override { return transport_.StartError(); }

    // The program's process id (0 before the first start) and its wait status once reaped
    // (-1 before).
    pid_t ChildPid() const { return transport_.ChildPid(); }
    int ExitStatus() const { return transport_.ExitStatus(); }

private:
    clsChildTransport transport_;
    std::atomic<bool> started_ { false };
    std::atomic<bool> stopped_ { false };
};

} // namespace drnChess
