#pragma once
// A player that is another chess program, started as a child process and driven over xboard
// or UCI through its standard input and output.

#include <atomic>
#include <string>

#include "dranbase/clsredirectedchild.h"
#include "tourney/clsengineinterface.h"

namespace drnChess {

class clsExternalEngine : public clsEngineInterface, public dranbase::clsRedirectedChild {
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
    // The next complete line of the program, logged as "<---\t" + line and parsed; empty when
    // no line is there (or for an empty line).
    std::string ReadResponse() override;
    // Logs "--->\t" + text, writes text + "\n" while the program runs (skipped silently when it
    // has ended), then always pauses for the send delay.
    void Send(const std::string& text) override;
    // Woken by the reader thread when a line arrives or the program ends.
    bool WaitForReply(std::int64_t timeoutMs) override { return WaitForLine(timeoutMs); }
    // Ready, and the reader thread still runs.
    bool IsReady() override;
    // Sends "quit", clears Ready, then Kill: the grace time (QuitGraceMs), then termination.
    void Quit() override;
    void SetTiming(const clsClientTiming& timing) override;
    std::string StartError() const override { return clsRedirectedChild::StartError(); }
    bool Flooded() const override { return clsRedirectedChild::Flooded(); }

protected:
    // The reader thread has ended: the program has gone or never started.
    void OnExit() override { Ended = true; }
    // The program has ended by itself: "# process terminated!" on the console.
    void OnChildEnded() override;

private:
    std::atomic<bool> started_ { false };
    std::atomic<bool> stopped_ { false };
};

} // namespace drnChess
