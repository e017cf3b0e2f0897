#include "dranbase/console.h"

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace dranbase {

clsStdInThread& ConsoleInput()
{
    static clsStdInThread instance;
    return instance;
}

bool clsStdInThread::Run()
{
    char buf[4096];
    bool atEnd = false;
    while (!Cancelled()) {
        if (atEnd) {
            Sleep(10);
            continue;
        }
        pollfd p { fd_, POLLIN, 0 };
        int r = ::poll(&p, 1, 10);
        if (r <= 0) {
            if (r < 0 && errno != EINTR) Sleep(1);
            continue;
        }
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0) {
            if (errno != EINTR && errno != EAGAIN) Sleep(1);
            continue;
        }
        if (n == 0) {
            // End of input: the last partial line counts, then the interface is gone.
            if (!partial_.empty()) lines_.Add(std::move(partial_));
            partial_.clear();
            ended_.store(true);
            atEnd = true;
            continue;
        }
        for (ssize_t i = 0; i < n; ++i) {
            char c = buf[i];
            if (c == '\n') {
                if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
                if (!partial_.empty()) lines_.Add(std::move(partial_));
                partial_.clear();
            } else {
                partial_ += c;
            }
        }
    }
    return true;
}

std::string ReadConsoleLine(bool wait, bool typedOnly)
{
    if (!wait) return ConsoleInput().PopLine(typedOnly);
    for (;;) {
        SleepMs(1);
        std::string s = ConsoleInput().PopLine(typedOnly);
        if (!s.empty()) return s;
    }
}

clsTSafeOutput& Output()
{
    static clsTSafeOutput instance;
    return instance;
}

void clsTSafeOutput::Write(const std::string& text, bool endLine)
{
    std::lock_guard lock(m_);
    if (holding_) {
        held_ += text;
        if (endLine) held_ += '\n';
        return;
    }
    WriteLocked(text, endLine);
}

void clsTSafeOutput::WriteLocked(const std::string& text, bool endLine)
{
    if (atLineStart_) {
        lineStream_ = commentsToStderr_ && !text.empty() && text[0] == '#' ? stderr : stdout;
        atLineStart_ = false;
    }
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), lineStream_);
    if (endLine) {
        std::fputc('\n', lineStream_);
        std::fflush(lineStream_);
        atLineStart_ = true;
    }
}

void clsTSafeOutput::Flush()
{
    std::unique_lock lock(m_, std::try_to_lock);
    if (lock.owns_lock()) std::fflush(stdout);
}

void clsTSafeOutput::Hold()
{
    std::lock_guard lock(m_);
    holding_ = true;
}

void clsTSafeOutput::Release()
{
    std::lock_guard lock(m_);
    if (!holding_) return;
    holding_ = false;
    std::string held;
    held.swap(held_);
    std::size_t start = 0;
    while (start < held.size()) {
        const std::size_t end = held.find('\n', start);
        const bool whole = end != std::string::npos;
        WriteLocked(held.substr(start, whole ? end - start : std::string::npos), whole);
        start = whole ? end + 1 : held.size();
    }
}

void clsTSafeOutput::SetCommentsToStderr(bool on)
{
    std::lock_guard lock(m_);
    commentsToStderr_ = on;
}

void clsOutBuffer::Print(const std::string& text, bool endLine)
{
    if (echo_) Output().Write(text, endLine);
    if (!keepLines_) return;
    if (endLine) {
        lines_.Add(text);
    } else {
        lines_.Add(lines_.PopLast() + text);
    }
}

} // namespace dranbase
