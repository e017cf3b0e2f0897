#pragma once
// Runs the built corvala binary with pipes on its standard input and output, for tests that
// talk to it line by line as an interface would.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <poll.h>
#include <string>
#include <vector>

class CorvalaProcess {
public:
    // With quietStderr the program's standard error is dropped (UCI mode sends its comment
    // lines there); otherwise it shares the pipe of standard output.
    explicit CorvalaProcess(
        std::vector<std::string> args = {}, std::string workDir = {}, bool quietStderr = false)
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            if (quietStderr) {
                const int null = open("/dev/null", O_WRONLY);
                dup2(null, 2);
            } else {
                dup2(out[1], 2);
            }
            close(in[0]);
            close(in[1]);
            close(out[0]);
            close(out[1]);
            if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(126);
            std::vector<char*> argv;
            std::string exe = CORVALA_EXE;
            argv.push_back(exe.data());
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }

    ~CorvalaProcess()
    {
        if (toChild_ >= 0) close(toChild_);
        if (pid_ > 0 && !reaped_) {
            // Closing its input makes the program quit; give it a moment, then insist.
            for (int i = 0; i < 300 && !TryReap(); ++i)
                usleep(10000);
            if (!reaped_) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
        }
        if (fromChild_ >= 0) close(fromChild_);
    }

    void Send(const std::string& line)
    {
        std::string s = line + "\n";
        if (write(toChild_, s.data(), s.size()) != static_cast<ssize_t>(s.size())) failedWrite_ = true;
    }

    void CloseInput()
    {
        if (toChild_ >= 0) close(toChild_);
        toChild_ = -1;
    }

    // The next output line, or "<timeout>" when none comes in time.
    std::string ReadLine(int timeoutMs = 10000)
    {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                // Progress text ends in a carriage return: keep what a terminal would show.
                if (auto cr = line.rfind('\r'); cr != std::string::npos) line.erase(0, cr + 1);
                lines_.push_back(line);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0 || eof_) return "<timeout>";
            pollfd p { fromChild_, POLLIN, 0 };
            if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buf[4096];
            ssize_t n = read(fromChild_, buf, sizeof buf);
            if (n <= 0) {
                eof_ = true;
                continue;
            }
            buffer_.append(buf, static_cast<std::size_t>(n));
        }
    }

    // Reads until a line starting with the prefix; returns it, or "<timeout>".
    std::string ReadUntil(const std::string& prefix, int timeoutMs = 10000)
    {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0) return "<timeout>";
            std::string line = ReadLine(static_cast<int>(left));
            if (line == "<timeout>") return line;
            if (line.compare(0, prefix.size(), prefix) == 0) return line;
        }
    }

    // Sends "ping N" and collects every line before "pong N".
    std::vector<std::string> Exchange(const std::string& command, int timeoutMs = 10000)
    {
        std::string tag = std::to_string(++pings_ + 9000);
        Send(command);
        Send("ping " + tag);
        std::vector<std::string> out;
        for (;;) {
            std::string line = ReadLine(timeoutMs);
            if (line == "<timeout>" || line == "pong " + tag) break;
            out.push_back(line);
        }
        return out;
    }

    // Waits for the program to end; its exit status, or -1.
    int WaitExit(int timeoutMs = 10000)
    {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            if (TryReap()) return status_;
            usleep(10000);
        }
        return -1;
    }

    // Everything still to read until the program closes its output.
    std::vector<std::string> ReadToEnd(int timeoutMs = 10000)
    {
        std::vector<std::string> out;
        for (;;) {
            std::string line = ReadLine(timeoutMs);
            if (line == "<timeout>") break;
            out.push_back(line);
        }
        return out;
    }

    bool Started() const { return pid_ > 0; }

private:
    bool TryReap()
    {
        if (reaped_) return true;
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        }
        return reaped_;
    }

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string buffer_;
    std::vector<std::string> lines_;
    bool eof_ = false;
    bool reaped_ = false;
    bool failedWrite_ = false;
    int status_ = -1;
    int pings_ = 0;
};
