#pragma once
// A child process whose standard input is one pipe and whose standard output and error share
// another (or, with ErrorFile set, whose standard error is appended to that file instead). Start launches the
// program on the caller's thread; the object's thread then pumps everything it writes into a mutex-guarded
// buffer, from which the owner takes complete lines.
//
// Safety against a faulty program: it runs in a process group of its own, and ending it ends
// the whole group (a wrapper script that started the real program without exec included);
// it is told to die with the thread that started it (Linux: a parent-death signal), so it
// cannot outlive us even when we are killed; what it writes is bounded: a line longer than
// MaxLineBytes is cut and marked, and once more than MaxPendingBytes wait unread the child
// counts as flooding (Flooded()) and its further output is dropped. The memory held for one
// child therefore stays under MaxPendingBytes + MaxLineBytes + ReadBufferSize (a line's arrival
// time counts as 8 bytes of the pending text).
//
// Failures are values: StartError() says why a start failed; nothing here prints.
//
// Locks: the received-text mutex guards the buffer (the reader appends, the owner takes lines,
// and waits on its condition variable for the next line);
// the pipe mutex serialises the owner's writes against Kill. A third, innermost mutex guards
// the process id and its reaping; it is held only for a signal or a waitpid and never while
// another lock is being taken, so no two threads can wait on each other.
//
// The child is reaped exactly once (by the reader when it sees the exit, or by Kill), and
// after that its process id is never signalled again.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include "dranbase/clsstring.h"
#include "dranbase/clsthread.h"

namespace dranbase {

class clsRedirectedChild : public clsThread {
public:
    static constexpr std::int64_t DefaultKillGraceMs = 1000;
    static constexpr std::size_t ReadBufferSize = 64536;
    // The longest line kept whole; longer ones are cut there and end in LineCutMark.
    static constexpr std::size_t MaxLineBytes = 8192;
    static constexpr const char* LineCutMark = " [line cut]";
    // Unread text beyond this makes the child a flood.
    static constexpr std::size_t MaxPendingBytes = 4u << 20;

    clsRedirectedChild();
    // Kill(), then ends the reader thread.
    ~clsRedirectedChild() override;

    // The program to start and its parameters; set them before Start.
    clsString ProgramPath;
    clsString Parameters;
    // The folder it starts in; empty: WorkingFolder(ProgramPath). A relative program path is
    // still found from our own folder.
    clsString WorkingDirectory;
    // When set, the child's standard error is appended to this file (created when missing), so
    // that nothing it writes there can be taken for a line of its output.
    clsString ErrorFile;

    // Starts the program on the calling thread (the child is told to die with that thread),
    // then the reader thread. True when it was started (it may have ended since); false with
    // StartError() set when it could not be started.
    bool Start() override;

    // The first complete line of the received text, without its line feed and carriage
    // returns, removed from the buffer. Empty when no complete line is there (a partial line
    // stays) and for an empty line.
    std::string GetLine();
    // The same; arrival gets the Tick() at which the line's end was read from the pipe (its
    // reader takes everything that has arrived at once, so this is when the line came).
    std::string GetLine(std::int64_t& arrival);
    // Blocks until a complete line waits unread, the child has ended or floods, or timeoutMs
    // has passed (the reader wakes it on a line's arrival; nothing polls). True when a
    // complete line is there.
    bool WaitForLine(std::int64_t timeoutMs);
    // True once the child has left more than MaxPendingBytes unread (until the next start).
    bool Flooded() const { return flooded_.load(); }
    // True from a successful start until the child is seen to have ended or is killed.
    bool ChildRunning() const { return childRunning_.load(); }
    // Writes the whole text to the child's input, under the pipe mutex, only while the child
    // runs. False when nothing or not everything could be written (child gone, or it has not
    // read its input for a long time). Never raises SIGPIPE.
    bool WriteToChild(std::string_view text);
    // Gives the child the grace time to leave on its own (it is watched, so a child that ends
    // sooner costs less), then SIGTERM, then SIGKILL if it is still there, and reaps it. The
    // signals go to the child's whole process group, and whatever is left of the group after
    // the child has gone is ended with SIGKILL.
    void Kill();
    // Ends a running child at once (SIGKILL), reaps it and closes our pipe ends. Does nothing
    // when no child runs.
    void CloseHandles();

    void SetKillGrace(std::int64_t ms) { killGraceMs_ = ms; }
    // The child's process id; 0 before the first start.
    pid_t ChildPid() const { return pid_.load(); }
    // The wait status once the child has been reaped; -1 before.
    int ExitStatus() const { return exitStatus_.load(); }
    // Why the last start failed ("No such file or directory", "no program given"); empty
    // after a successful start.
    std::string StartError() const;

    // The parameter text as arguments: split at blanks and tabs, double quotes group blanks
    // into one argument and are removed ("" gives an empty argument).
    static std::vector<std::string> SplitParameters(std::string_view parameters);
    // The folder the program runs in: the part of the path before its last '/' ("/" for a
    // program in the root); empty for a bare name (the child keeps the parent's folder).
    static std::string WorkingFolder(std::string_view programPath);

protected:
    // The thread body: pumps the program's output until it ends or the thread is cancelled.
    // Returns ChildRunning() (false once the child has ended).
    bool Run() override;
    // Called on the reader thread when the child has been seen to end by itself.
    virtual void OnChildEnded() { }

private:
    bool Launch(int& outRead);
    bool Fail(const std::string& reason);
    // Non-blocking reap; true when the child is gone (now or earlier).
    bool ReapIfExited();
    void Append(const char* data, std::size_t n);
    void CloseInput();
    void SignalAndReap();
    // SIGKILL to what is left of the child's process group; the caller holds procMutex_.
    void KillGroupLocked();
    // Terminates and reaps the child and closes both pipes; the caller holds the pipe mutex.
    void TerminateAndClose();

    // Wakes WaitForLine; the state it watches changes under textMutex_.
    void NotifyWaiters();

    // Received text.
    std::mutex textMutex_;
    std::condition_variable lineArrived_; // a line came, or the child ended or flooded
    std::string received_;
    std::size_t readPos_ = 0; // the lines before it were taken; compacted now and then
    std::deque<std::int64_t> lineTicks_; // arrival of each complete line not yet taken
    bool cutting_ = false; // the rest of an over-long line is being dropped
    std::atomic<bool> flooded_ { false };
    int startRead_ = -1; // the read end handed from Start to the reader thread
    // Writing side.
    clsMutex pipeMutex_;
    int inWrite_ = -1;
    // Process state (innermost lock).
    mutable std::mutex procMutex_;
    std::atomic<pid_t> pid_ { 0 };
    bool reaped_ = true;
    std::atomic<int> exitStatus_ { -1 };
    std::string startError_;
    int readerFd_ = -1; // our read end, kept when the reader is cancelled while the child lives

    std::atomic<bool> childRunning_ { false };
    std::atomic<bool> launched_ { false };
    std::atomic<std::int64_t> killGraceMs_ { DefaultKillGraceMs };
};

} // namespace dranbase
