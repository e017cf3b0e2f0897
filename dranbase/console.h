#pragma once
// The console channel: the input thread that queues whole lines from standard input, and the
// process-wide thread-safe output every printed line goes through.
//
// Lock rule: the output mutex is taken only inside clsTSafeOutput and is never held while
// another lock is taken, so printing from any thread cannot deadlock.

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "dranbase/clsprotected.h"
#include "dranbase/clsthread.h"

namespace dranbase {

// Polls standard input (10 ms waits) and queues every non-empty line. Once input has ended and
// every line was taken, PopLine answers "quit" once, so a program whose interface has gone away
// ends instead of idling; a tool command that is still running reads with typedOnly and so
// finishes first (only a typed "quit" stops it).
class clsStdInThread : public clsThread {
public:
    clsStdInThread()
        : clsThread("stdin")
    {
    }
    ~clsStdInThread() override { Cancel(); }
    std::string PopLine(bool typedOnly = false)
    {
        std::string line = lines_.PopFirst();
        if (line.empty() && !typedOnly && ended_.load() && !quitGiven_.exchange(true)) line = "quit";
        return line;
    }
    // Reads from this descriptor instead of standard input (for tests).
    void SetDescriptor(int fd) { fd_ = fd; }

protected:
    bool Run() override;

private:
    clsProtectedStrings lines_;
    std::string partial_;
    int fd_ = 0;
    std::atomic<bool> ended_ { false };
    std::atomic<bool> quitGiven_ { false };
};

// The one console input thread of the process.
clsStdInThread& ConsoleInput();

// The next queued console line; with wait, sleeps 1 ms between tries until a line comes.
// typedOnly: the lines that came in, never the "quit" that stands for the end of input.
std::string ReadConsoleLine(bool wait, bool typedOnly = false);

class clsTSafeOutput {
public:
    // Writes the text and, with endLine, a line feed followed by a flush; one call is atomic.
    void Write(const std::string& text, bool endLine);
    // Flushes unless another thread is writing.
    void Flush();
    // Holds every line written from now on until Release: a program that learns its protocol
    // from the first command keeps its start-up lines until it knows where they belong.
    void Hold();
    // Writes what was held, then writes as usual.
    void Release();
    // Comment lines (those that begin with "#") go to standard error instead of standard output,
    // for a protocol in which they would be noise; the choice holds from the next line on.
    void SetCommentsToStderr(bool on);

private:
    void WriteLocked(const std::string& text, bool endLine);

    std::mutex m_;
    bool holding_ = false;
    std::string held_;
    bool commentsToStderr_ = false;
    bool atLineStart_ = true;
    std::FILE* lineStream_ = stdout; // where the line being written goes
};

// The one thread-safe output of the process.
clsTSafeOutput& Output();

// Base of every object that prints: writes through the thread-safe output and keeps a copy
// of its lines, which an in-process reader (an embedded player, a test) can take back.
class clsOutBuffer {
public:
    virtual ~clsOutBuffer() = default;
    // Writes the text; keeps it as a new line (endLine) or appends it to the last kept line.
    void Print(const std::string& text, bool endLine = true);
    // Takes the oldest kept line; empty when none.
    std::string TakeLine() { return lines_.PopFirst(); }
    // Objects whose lines nobody reads turn keeping off, so a long session does not grow.
    void SetKeepLines(bool keep) { keepLines_ = keep; }
    // With echo off the lines are only kept, not written to standard output.
    void SetEcho(bool echo) { echo_ = echo; }

private:
    clsProtectedStrings lines_;
    bool keepLines_ = true;
    bool echo_ = true;
};

} // namespace dranbase
