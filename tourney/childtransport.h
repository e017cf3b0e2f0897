#pragma once
// The line transport of a player that is another program: a child process (dranbase's
// clsRedirectedChild) started, written to line by line, read with arrival ticks and a wait
// that wakes on a line's arrival, ended and reaped. Two callbacks tell its owner, on the
// reader thread, that the program has ended by itself and that the reader has stopped.

#include <functional>
#include <string>
#include <sys/types.h>
#include <utility>

#include "dranbase/clsredirectedchild.h"
#include "tourney/linetransport.h"

namespace drnChess {

class clsChildTransport : public clsLineTransport {
public:
    clsChildTransport(std::string programPath, std::string parameters);
    // Ends the program (Close) before anything is released.
    ~clsChildTransport() override;

    // Starts the program and its reader thread. False with StartError() set when it could not
    // be started.
    bool Start();
    std::string StartError() const { return child_.StartError(); }
    // Gives the program the grace time to leave, then terminates and reaps it (with what is
    // left of its process group) and joins the reader thread.
    void Close();
    // Ends the program after the grace time (without joining the reader).
    void Kill() { child_.Kill(); }
    void SetKillGrace(std::int64_t ms) { child_.SetKillGrace(ms); }
    // Where the program starts (empty: its own folder) and where its standard error goes
    // (empty: into its output, line by line with the rest); set before Start.
    void SetWorkingDirectory(std::string folder) { child_.WorkingDirectory = std::move(folder); }
    void SetErrorFile(std::string path) { child_.ErrorFile = std::move(path); }
    // True while the reader thread runs (the program may be delivering lines).
    bool ReaderRunning() const { return child_.IsRunning(); }
    const std::string& ProgramPath() const { return programPath_; }
    pid_t ChildPid() const { return child_.ChildPid(); }
    int ExitStatus() const { return child_.ExitStatus(); }

    bool WriteLine(std::string_view text) override;
    bool ReadLine(std::string& line, std::int64_t& arrival) override;
    bool WaitForLine(std::int64_t timeoutMs) override { return child_.WaitForLine(timeoutMs); }
    bool Flooded() const override { return child_.Flooded(); }

    // On the reader thread: the program has ended by itself; the reader has stopped.
    std::function<void()> ChildEnded;
    std::function<void()> ReaderStopped;

private:
    class Child : public dranbase::clsRedirectedChild {
    public:
        explicit Child(clsChildTransport& owner)
            : owner_(owner)
        {
        }
        ~Child() override
        {
            Kill();
            Cancel();
        }

    protected:
        void OnChildEnded() override
        {
            if (owner_.ChildEnded) owner_.ChildEnded();
        }
        void OnExit() override
        {
            if (owner_.ReaderStopped) owner_.ReaderStopped();
        }

    private:
        clsChildTransport& owner_;
    };

    const std::string programPath_;
    Child child_;
};

} // namespace drnChess
