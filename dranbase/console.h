#pragma once
// The console channel: the input thread that queues whole lines from standard input, and the
// process-wide thread-safe output every printed line goes through.
//
// Lock rule: the output mutex is taken only inside clsTSafeOutput and is never held while
// another lock is taken, so printing from any thread cannot deadlock.

#include <mutex>
#include <string>

#include "dranbase/clsprotected.h"
#include "dranbase/clsthread.h"

namespace dranbase {

// Polls standard input (10 ms waits) and queues every non-empty line. At end of input it
// queues "quit" once, so a program whose interface has gone away ends instead of idling.
class clsStdInThread : public clsThread {
public:
    clsStdInThread() : clsThread("stdin") { }
    ~clsStdInThread() override { Cancel(); }
    std::string PopLine() { return lines_.PopFirst(); }
    // Reads from this descriptor instead of standard input (for tests).
    void SetDescriptor(int fd) { fd_ = fd; }

protected:
    bool Run() override;

private:
    clsProtectedStrings lines_;
    std::string partial_;
    int fd_ = 0;
};

// The one console input thread of the process.
clsStdInThread& ConsoleInput();

// The next queued console line; with wait, sleeps 1 ms between tries until a line comes
// (or, with a cancel flag given, until it is raised).
std::string ReadConsoleLine(bool wait);

class clsTSafeOutput {
public:
    // Writes the text and, with endLine, a line feed followed by a flush; one call is atomic.
    void Write(const std::string& text, bool endLine);
    // Flushes unless another thread is writing.
    void Flush();

private:
    std::mutex m_;
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
