#include "dranbase/clsredirectedchild.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

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
    CloseFd(startRead_); // launched, but the reader never took it
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
    // A child left over from an earlier run (the reader was cancelled without Kill) ends here.
    CloseHandles();
    {
        std::lock_guard lock(textMutex_);
        received_.clear();
        readPos_ = 0;
        lineTicks_.clear();
        cutting_ = false;
        flooded_.store(false);
    }
    int outRead = -1;
    const bool ok = Launch(outRead);
    launched_.store(ok);
    if (!ok) return false;
    startRead_ = outRead;
    // clsThread::Start reports IsRunning(), which is already false when a short-lived child
    // has come and gone by then: the outcome of the launch is what counts.
    clsThread::Start();
    return true;
}

bool clsRedirectedChild::Fail(const std::string& reason)
{
    std::lock_guard lock(procMutex_);
    startError_ = reason;
    return false;
}

namespace {

    // The program to execute: a path with a '/' as given (made absolute when relative, since the
    // child changes its folder first), a bare name found on PATH. Empty with errno set when a
    // bare name is nowhere.
    std::string ResolveProgram(const std::string& path, const std::string& folder)
    {
        if (path.find('/') != std::string::npos) {
            if (folder.empty() || path[0] == '/') return path;
            char cwd[PATH_MAX];
            return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
        }
        const char* env = std::getenv("PATH");
        std::string dirs = env ? env : "/usr/local/bin:/usr/bin:/bin";
        int firstError = ENOENT;
        std::size_t b = 0;
        for (;;) {
            std::size_t e = dirs.find(':', b);
            std::string dir = dirs.substr(b, e == std::string::npos ? std::string::npos : e - b);
            std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + path;
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
            if (errno == EACCES && ::access(candidate.c_str(), F_OK) == 0) firstError = EACCES;
            if (e == std::string::npos) break;
            b = e + 1;
        }
        errno = firstError;
        return {};
    }

    // In the child between fork and exec: only async-signal-safe calls. Any failure is written
    // to the report pipe as an errno value and the child leaves.
    [[noreturn]] void ExecChild(pid_t parent, int in, int out, int err, int report, const char* folder,
        const char* program, char* const* argv)
    {
        auto die = [report]() {
            int e = errno;
            while (::write(report, &e, sizeof e) < 0 && errno == EINTR) { }
            ::_exit(127);
        };
        // Die with the thread that started us, even when it is killed; if it has already gone,
        // the signal would never come: leave at once.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::setpgid(0, 0);
        struct sigaction dfl { };
        dfl.sa_handler = SIG_DFL;
        for (int sig : { SIGPIPE, SIGINT, SIGTERM, SIGQUIT, SIGHUP })
            ::sigaction(sig, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err >= 0 ? err : out, 2) < 0) die();
        if (folder && ::chdir(folder) != 0) die();
        ::execve(program, argv, environ);
        die();
        ::_exit(127); // not reached: die leaves
    }

} // namespace

bool clsRedirectedChild::Launch(int& outRead)
{
    if (ProgramPath.empty()) return Fail("no program given");

    // Everything the child needs is made before the fork.
    const std::string folder
        = WorkingDirectory.empty() ? WorkingFolder(ProgramPath) : std::string(WorkingDirectory);
    const std::string program = ResolveProgram(ProgramPath, folder);
    if (program.empty()) return Fail(std::strerror(errno));
    int errorFd = -1;
    if (!ErrorFile.empty()) {
        errorFd = ::open(ErrorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (errorFd < 0) return Fail("cannot write " + ErrorFile + ": " + std::strerror(errno));
    }
    // Our copy of the error file closes whichever way the launch goes.
    struct CloseOnReturn {
        int& fd;
        ~CloseOnReturn() { CloseFd(fd); }
    } closeError { errorFd };
    std::vector<std::string> args = SplitParameters(Parameters);
    args.insert(args.begin(), ProgramPath);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int inPipe[2];
    int outPipe[2];
    int report[2];
    if (::pipe2(inPipe, O_CLOEXEC) != 0) return Fail("no pipe");
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        ::close(inPipe[0]);
        ::close(inPipe[1]);
        return Fail("no pipe");
    }
    if (::pipe2(report, O_CLOEXEC) != 0) {
        for (int fd : { inPipe[0], inPipe[1], outPipe[0], outPipe[1] })
            ::close(fd);
        return Fail("no pipe");
    }

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0)
        ExecChild(parent, inPipe[0], outPipe[1], errorFd, report[1],
            folder.empty() ? nullptr : folder.c_str(), program.c_str(), argv.data());
    const int forkError = errno;
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        ::close(inPipe[1]);
        ::close(outPipe[0]);
        return Fail(std::strerror(forkError));
    }
    // The group is set on both sides, so it exists whichever side runs first.
    ::setpgid(pid, pid);

    // The report pipe closes on a successful exec; an errno value comes when it failed.
    int childError = 0;
    ssize_t got;
    while ((got = ::read(report[0], &childError, sizeof childError)) < 0 && errno == EINTR) { }
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof childError)) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
        ::close(inPipe[1]);
        ::close(outPipe[0]);
        return Fail(std::strerror(childError));
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
    int outRead = startRead_;
    startRead_ = -1;
    if (outRead < 0) return false;

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
    childRunning_.store(false);
    NotifyWaiters();
    if (pipeMutex_.Lock()) {
        CloseFd(inWrite_);
        pipeMutex_.Unlock();
    }
    OnChildEnded();
    return false;
}

void clsRedirectedChild::Append(const char* data, std::size_t n)
{
    std::unique_lock lock(textMutex_);
    if (flooded_.load()) return; // drained and dropped: the owner treats the child as faulty
    // Stamped under the lock: a line the owner did not find yet cannot carry an earlier tick
    // than the owner's last look, so a verdict on "nothing has come by now" stays fair.
    const std::int64_t now = Tick();
    const std::size_t linesBefore = lineTicks_.size();
    for (std::size_t i = 0; i < n;) {
        const char* lf = static_cast<const char*>(std::memchr(data + i, '\n', n - i));
        const std::size_t end = lf ? static_cast<std::size_t>(lf - data) : n;
        if (!cutting_) {
            // The length of the line so far: what follows the last line feed in the buffer.
            const std::size_t lastLf = received_.rfind('\n');
            const std::size_t partial
                = lastLf == std::string::npos ? received_.size() : received_.size() - lastLf - 1;
            const std::size_t room = MaxLineBytes > partial ? MaxLineBytes - partial : 0;
            const std::size_t take = std::min(room, end - i);
            received_.append(data + i, take);
            if (take < end - i) {
                received_ += LineCutMark;
                cutting_ = true;
            }
        }
        if (lf) {
            received_ += '\n';
            lineTicks_.push_back(now);
            cutting_ = false;
            i = end + 1;
        } else {
            i = n;
        }
    }
    if (received_.size() - readPos_ + 8 * lineTicks_.size() > MaxPendingBytes) {
        flooded_.store(true);
        received_.clear();
        readPos_ = 0;
        lineTicks_.clear();
    }
    const bool wake = flooded_.load() || lineTicks_.size() != linesBefore;
    lock.unlock();
    if (wake) lineArrived_.notify_all();
}

void clsRedirectedChild::NotifyWaiters()
{
    {
        std::lock_guard lock(textMutex_); // a waiter between its check and its wait is not missed
    }
    lineArrived_.notify_all();
}

bool clsRedirectedChild::WaitForLine(std::int64_t timeoutMs)
{
    std::unique_lock lock(textMutex_);
    auto lineThere = [this] { return !lineTicks_.empty(); };
    lineArrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
        [&] { return lineThere() || !childRunning_.load() || flooded_.load(); });
    return lineThere();
}

std::string clsRedirectedChild::GetLine()
{
    std::int64_t arrival = 0;
    return GetLine(arrival);
}

std::string clsRedirectedChild::GetLine(std::int64_t& arrival)
{
    std::lock_guard lock(textMutex_);
    std::size_t lf = received_.find('\n', readPos_);
    if (lf == std::string::npos) return {};
    if (!lineTicks_.empty()) {
        arrival = lineTicks_.front();
        lineTicks_.pop_front();
    }
    std::string line = received_.substr(readPos_, lf - readPos_);
    readPos_ = lf + 1;
    // Taking a line costs its own length, not the buffer's: the front is dropped in bulk.
    if (readPos_ == received_.size() || readPos_ > received_.size() / 2) {
        received_.erase(0, readPos_);
        readPos_ = 0;
    }
    while (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

void clsRedirectedChild::KillGroupLocked()
{
    // The child is not reaped yet (running or a zombie), so its group id cannot have been
    // given to another process.
    ::kill(-pid_.load(), SIGKILL);
}

bool clsRedirectedChild::ReapIfExited()
{
    std::lock_guard lock(procMutex_);
    if (reaped_) return true;
    // Seen without reaping first, so that what the child left in its group can still be ended.
    siginfo_t info {};
    if (::waitid(P_PID, static_cast<id_t>(pid_.load()), &info, WEXITED | WNOHANG | WNOWAIT) == 0
        && info.si_pid == pid_.load())
        KillGroupLocked();
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
    KillGroupLocked();
    ::kill(pid_.load(), SIGKILL); // in case it left its group
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
                if (!reaped_) {
                    ::kill(-pid_.load(), SIGTERM);
                    ::kill(pid_.load(), SIGTERM);
                }
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
    NotifyWaiters();
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
