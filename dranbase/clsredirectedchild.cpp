#include "dranbase/clsredirectedchild.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dranbase/console.h"

extern char** environ;

namespace dranbase {

namespace {

    // After SIGTERM a child gets this long before SIGKILL.
    constexpr std::int64_t TermGraceMs = 250;
    // A child that does not read its input for this long makes a write give up.
    constexpr std::int64_t WriteTimeoutMs = 2000;

    void CloseFd(int& fd)
    {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    // Runs a write with SIGPIPE blocked on this thread, consuming the signal the write may raise,
    // so a child that has gone away cannot end our process. The disposition of SIGPIPE for the
    // whole process is left alone.
    class SigPipeGuard {
    public:
        SigPipeGuard()
        {
            sigemptyset(&pipeSet_);
            sigaddset(&pipeSet_, SIGPIPE);
            sigset_t pending;
            sigpending(&pending);
            wasPending_ = sigismember(&pending, SIGPIPE) == 1;
            pthread_sigmask(SIG_BLOCK, &pipeSet_, &old_);
        }
        ~SigPipeGuard()
        {
            if (raised_ && !wasPending_) {
                timespec zero { 0, 0 };
                while (sigtimedwait(&pipeSet_, nullptr, &zero) < 0 && errno == EINTR) { }
            }
            pthread_sigmask(SIG_SETMASK, &old_, nullptr);
        }
        void Raised() { raised_ = true; }

    private:
        sigset_t pipeSet_;
        sigset_t old_;
        bool wasPending_ = false;
        bool raised_ = false;
    };

} // namespace

clsRedirectedChild::clsRedirectedChild()
    : clsThread("child")
{
}

clsRedirectedChild::~clsRedirectedChild()
{
    Kill();
    Cancel();
    std::lock_guard lock(procMutex_);
    CloseFd(readerFd_);
}

std::vector<std::string> clsRedirectedChild::SplitParameters(std::string_view parameters)
{
    std::vector<std::string> out;
    std::string current;
    bool quoted = false;
    bool have = false;
    for (char c : parameters) {
        if (c == '"') {
            quoted = !quoted;
            have = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (have) out.push_back(std::move(current));
            current.clear();
            have = false;
        } else {
            current += c;
            have = true;
        }
    }
    if (have) out.push_back(std::move(current));
    return out;
}

std::string clsRedirectedChild::WorkingFolder(std::string_view programPath)
{
    std::size_t slash = programPath.find_last_of('/');
    if (slash == std::string_view::npos) return {};
    if (slash == 0) return "/";
    return std::string(programPath.substr(0, slash));
}

std::string clsRedirectedChild::StartError() const
{
    std::lock_guard lock(procMutex_);
    return startError_;
}

bool clsRedirectedChild::Start()
{
    if (IsRunning()) return launched_.load();
    launchDone_.store(false);
    launched_.store(false);
    // clsThread::Start reports IsRunning(), which is already false when a short-lived child
    // has come and gone by then: the outcome of the launch is what counts.
    clsThread::Start();
    // The program is started on the reader thread; wait for the outcome so that the owner's
    // first write cannot come before the child exists.
    while (!launchDone_.load() && IsRunning())
        SleepMs(1);
    return launched_.load();
}

bool clsRedirectedChild::Launch(int& outRead)
{
    auto fail = [this](const std::string& reason) {
        {
            std::lock_guard lock(procMutex_);
            startError_ = reason;
        }
        Output().Write(ProgramPath.empty() ? "# cannot start: " + reason
                                           : "# cannot start " + ProgramPath + ": " + reason,
            true);
        return false;
    };
    if (ProgramPath.empty()) return fail("no program given");

    int inPipe[2];
    int outPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) != 0) {
        Output().Write("# error std::in pipe", true);
        std::lock_guard lock(procMutex_);
        startError_ = "no pipe";
        return false;
    }
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        Output().Write("# error std::out pipe", true);
        ::close(inPipe[0]);
        ::close(inPipe[1]);
        std::lock_guard lock(procMutex_);
        startError_ = "no pipe";
        return false;
    }

    // The child runs in the program's folder; a relative program path is made absolute first,
    // since it names the program as seen from our folder.
    std::string folder = WorkingFolder(ProgramPath);
    std::string program = ProgramPath;
    if (!folder.empty() && program[0] != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd)) program = std::string(cwd) + "/" + program;
    }
    std::vector<std::string> args = SplitParameters(Parameters);
    args.insert(args.begin(), ProgramPath);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 2);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());

    // The child starts with default signal handling and its own process group, so a console
    // interrupt meant for us does not reach it; we end it ourselves.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    pid_t pid = 0;
    int rc = program.find('/') != std::string::npos
        ? ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ)
        : ::posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    if (rc != 0) {
        ::close(inPipe[1]);
        ::close(outPipe[0]);
        return fail(std::strerror(rc));
    }

    ::fcntl(outPipe[0], F_SETFL, ::fcntl(outPipe[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(inPipe[1], F_SETFL, ::fcntl(inPipe[1], F_GETFL) | O_NONBLOCK);
    {
        std::lock_guard lock(procMutex_);
        pid_.store(pid);
        reaped_ = false;
        exitStatus_.store(-1);
        startError_.clear();
    }
    if (pipeMutex_.Lock()) {
        inWrite_ = inPipe[1];
        pipeMutex_.Unlock();
    } else {
        ::close(inPipe[1]);
    }
    outRead = outPipe[0];
    childRunning_.store(true);
    return true;
}

bool clsRedirectedChild::Run()
{
    // A child left over from an earlier run (the reader was cancelled without Kill) ends here.
    CloseHandles();

    int outRead = -1;
    bool ok = Launch(outRead);
    launched_.store(ok);
    launchDone_.store(true);
    if (!ok) {
        childRunning_.store(false);
        return false;
    }

    std::vector<char> buffer(ReadBufferSize);
    bool atEnd = false; // our read end reported end of data; the child may still be running
    bool ended = false;
    while (!Cancelled()) {
        if (ReapIfExited()) {
            // What the child wrote before it ended is still in the pipe: take it all, but
            // not forever when something it left behind keeps writing.
            for (int k = 0; k < 64 && !atEnd; ++k) {
                ssize_t n = ::read(outRead, buffer.data(), buffer.size());
                if (n > 0)
                    Append(buffer.data(), static_cast<std::size_t>(n));
                else if (n < 0 && errno == EINTR)
                    continue;
                else
                    break;
            }
            ended = true;
            break;
        }
        if (atEnd) {
            Sleep(1);
            continue;
        }
        pollfd p { outRead, POLLIN, 0 };
        int r = ::poll(&p, 1, 1);
        if (r <= 0) {
            if (r < 0 && errno != EINTR) Sleep(1);
            continue;
        }
        ssize_t n = ::read(outRead, buffer.data(), buffer.size());
        if (n > 0)
            Append(buffer.data(), static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            atEnd = true;
    }

    if (!ended) {
        // Cancelled while the child lives: it keeps its pipes until Kill.
        std::lock_guard lock(procMutex_);
        if (reaped_) {
            ::close(outRead);
        } else {
            CloseFd(readerFd_);
            readerFd_ = outRead;
        }
        return childRunning_.load();
    }
    ::close(outRead);
    Output().Write("# process terminated!", true);
    childRunning_.store(false);
    if (pipeMutex_.Lock()) {
        CloseFd(inWrite_);
        pipeMutex_.Unlock();
    }
    return false;
}

void clsRedirectedChild::Append(const char* data, std::size_t n)
{
    std::lock_guard lock(textMutex_);
    received_.append(data, n);
}

std::string clsRedirectedChild::GetLine()
{
    std::lock_guard lock(textMutex_);
    std::size_t lf = received_.find('\n');
    if (lf == std::string::npos) return {};
    std::string line = received_.substr(0, lf);
    received_.erase(0, lf + 1);
    while (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

bool clsRedirectedChild::ReapIfExited()
{
    std::lock_guard lock(procMutex_);
    if (reaped_) return true;
    int status = 0;
    pid_t r = ::waitpid(pid_.load(), &status, WNOHANG);
    if (r == pid_.load()) {
        reaped_ = true;
        exitStatus_.store(status);
    } else if (r < 0 && errno == ECHILD) {
        reaped_ = true; // reaped elsewhere; never signal that id again
    }
    return reaped_;
}

void clsRedirectedChild::SignalAndReap()
{
    std::lock_guard lock(procMutex_);
    if (reaped_) return;
    ::kill(pid_.load(), SIGKILL);
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(pid_.load(), &status, 0)) < 0 && errno == EINTR) { }
    if (r == pid_.load()) exitStatus_.store(status);
    reaped_ = true;
}

bool clsRedirectedChild::WriteToChild(std::string_view text)
{
    if (!pipeMutex_.Lock()) return false;
    bool ok = false;
    if (childRunning_.load() && inWrite_ >= 0) {
        SigPipeGuard guard;
        std::size_t done = 0;
        std::int64_t deadline = Tick() + WriteTimeoutMs;
        while (done < text.size()) {
            ssize_t w = ::write(inWrite_, text.data() + done, text.size() - done);
            if (w > 0) {
                done += static_cast<std::size_t>(w);
            } else if (w < 0 && errno == EINTR) {
                continue;
            } else if (w < 0 && errno == EAGAIN && Tick() < deadline) {
                pollfd p { inWrite_, POLLOUT, 0 };
                ::poll(&p, 1, 10);
            } else {
                if (w < 0 && errno == EPIPE) guard.Raised();
                break;
            }
        }
        ok = done == text.size();
    }
    pipeMutex_.Unlock();
    return ok;
}

void clsRedirectedChild::CloseInput()
{
    CloseFd(inWrite_);
}

void clsRedirectedChild::Kill()
{
    bool locked = pipeMutex_.Lock();
    if (!ReapIfExited()) {
        // The grace time: a child that was told to quit usually leaves by itself.
        std::int64_t deadline = Tick() + killGraceMs_.load();
        while (!ReapIfExited() && Tick() < deadline)
            SleepMs(std::min<std::int64_t>(5, deadline - Tick()));
        bool gone = ReapIfExited();
        if (!gone) {
            {
                std::lock_guard lock(procMutex_);
                if (!reaped_) ::kill(pid_.load(), SIGTERM);
            }
            deadline = Tick() + TermGraceMs;
            while (!ReapIfExited() && Tick() < deadline)
                SleepMs(std::min<std::int64_t>(5, deadline - Tick()));
        }
    }
    TerminateAndClose();
    if (locked) pipeMutex_.Unlock();
}

void clsRedirectedChild::TerminateAndClose()
{
    SignalAndReap();
    childRunning_.store(false);
    CloseInput();
    std::lock_guard lock(procMutex_);
    CloseFd(readerFd_);
}

void clsRedirectedChild::CloseHandles()
{
    bool locked = pipeMutex_.Lock();
    TerminateAndClose();
    if (locked) pipeMutex_.Unlock();
}

} // namespace dranbase
