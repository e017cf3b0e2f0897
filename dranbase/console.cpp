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
            lines_.Add("quit");
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

std::string ReadConsoleLine(bool wait)
{
    if (!wait) return ConsoleInput().PopLine();
    for (;;) {
        SleepMs(1);
        std::string s = ConsoleInput().PopLine();
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
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stdout);
    if (endLine) {
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}

void clsTSafeOutput::Flush()
{
    std::unique_lock lock(m_, std::try_to_lock);
    if (lock.owns_lock()) std::fflush(stdout);
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
