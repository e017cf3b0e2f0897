#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "dranbase/clsredirectedchild.h"
#include "dranbase/clsthread.h"

using dranbase::clsRedirectedChild;

namespace {

namespace fs = std::filesystem;

// True when the process is no child of ours any more (reaped, not a zombie).
bool Reaped(pid_t pid)
{
    errno = 0;
    return pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

// Waits until the child has ended (its reader saw the exit); false after the time-out.
bool WaitForEnd(clsRedirectedChild& child, int timeoutMs = 5000)
{
    for (std::int64_t end = dranbase::Tick() + timeoutMs; dranbase::Tick() < end;) {
        if (!child.ChildRunning() && !child.IsRunning()) return true;
        dranbase::SleepMs(2);
    }
    return false;
}

// Every complete line still buffered.
std::vector<std::string> TakeAll(clsRedirectedChild& child, int expectedAtLeast)
{
    std::vector<std::string> lines;
    // Empty lines and "nothing there" look alike, so count what came.
    for (int k = 0; k < expectedAtLeast + 5; ++k)
        lines.push_back(child.GetLine());
    while (!lines.empty() && lines.back().empty() && static_cast<int>(lines.size()) > expectedAtLeast)
        lines.pop_back();
    return lines;
}

// A scratch folder with executable scripts; removed afterwards.
class ScriptDir {
public:
    explicit ScriptDir(const std::string& sub = "sub")
    {
        root_ = fs::temp_directory_path() / ("corvala_child_" + std::to_string(::getpid()));
        dir_ = root_ / sub;
        fs::create_directories(dir_);
    }
    ~ScriptDir()
    {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string Write(const std::string& name, const std::string& body, bool executable = true)
    {
        fs::path p = dir_ / name;
        std::FILE* f = std::fopen(p.c_str(), "wb");
        std::fputs(body.c_str(), f);
        std::fclose(f);
        ::chmod(p.c_str(), executable ? 0755 : 0644);
        return p.string();
    }
    const fs::path& Root() const { return root_; }
    const fs::path& Dir() const { return dir_; }

private:
    fs::path root_;
    fs::path dir_;
};

struct ShellChild : clsRedirectedChild {
    explicit ShellChild(const std::string& script)
    {
        ProgramPath = "/bin/sh";
        Parameters = "-c \"" + script + "\"";
        SetKillGrace(50);
    }
    // The reader must not outlive this part of the object.
    ~ShellChild() override
    {
        Kill();
        Cancel();
    }
};

} // namespace

TEST(ChildText, SplitParameters)
{
    struct Case {
        const char* text;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        { "", {} },
        { "   ", {} },
        { "-l fmax.ini", { "-l", "fmax.ini" } },
        { "  a \t b  ", { "a", "b" } },
        { "one \"two three\" \"\" four", { "one", "two three", "", "four" } },
        { "x\"y z\"w", { "xy zw" } },
        { "\"unclosed  quote", { "unclosed  quote" } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(clsRedirectedChild::SplitParameters(c.text), c.args) << c.text;
}

TEST(ChildText, WorkingFolder)
{
    struct Case {
        const char* path;
        const char* folder;
    };
    const Case cases[] = {
        { "/usr/games/fairymax", "/usr/games" },
        { "engines/x/engine", "engines/x" },
        { "/engine", "/" },
        { "fairymax", "" },
        { "", "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(clsRedirectedChild::WorkingFolder(c.path), c.folder) << c.path;
}

TEST(Child, SplitsLinesAndKeepsPartialLines)
{
    ShellChild child("printf 'abc\\r\\n\\n\\nx\\r\\r\\n'; printf 'par'; sleep 0.4; printf 'tial\\n'");
    ASSERT_TRUE(child.Start());
    std::string first;
    for (int k = 0; k < 5000 && first.empty(); ++k, dranbase::SleepMs(1))
        first = child.GetLine();
    // abc came in one write with two empty lines and x; "par" waits for its line feed.
    EXPECT_EQ(first, "abc");
    EXPECT_EQ(child.GetLine(), "");
    EXPECT_EQ(child.GetLine(), "");
    EXPECT_EQ(child.GetLine(), "x");
    EXPECT_EQ(child.GetLine(), "");
    ASSERT_TRUE(WaitForEnd(child));
    EXPECT_EQ(child.GetLine(), "partial");
    EXPECT_EQ(child.GetLine(), "");
    EXPECT_TRUE(Reaped(child.ChildPid()));
}

TEST(Child, ReportsEndAndKeepsLastOutput)
{
    // The exit may come before the reader saw the output: it must not be lost.
    for (int k = 0; k < 10; ++k) {
        ShellChild child("printf 'last words\\n'; exit 3");
        testing::internal::CaptureStdout();
        ASSERT_TRUE(child.Start());
        ASSERT_TRUE(WaitForEnd(child));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), ""); // the base layer prints nothing
        EXPECT_EQ(child.GetLine(), "last words");
        EXPECT_FALSE(child.ChildRunning());
        ASSERT_TRUE(WIFEXITED(child.ExitStatus()));
        EXPECT_EQ(WEXITSTATUS(child.ExitStatus()), 3);
        EXPECT_TRUE(Reaped(child.ChildPid()));
        EXPECT_FALSE(child.WriteToChild("late\n")); // skipped, no SIGPIPE
    }
}

TEST(Child, StandardErrorSharesTheOutputPipe)
{
    ShellChild child("echo out; echo err 1>&2");
    ASSERT_TRUE(child.Start());
    ASSERT_TRUE(WaitForEnd(child));
    EXPECT_EQ(TakeAll(child, 2), (std::vector<std::string> { "out", "err" }));
}

TEST(Child, ProgramsThatCannotStart)
{
    ScriptDir dir;
    std::string notExecutable = dir.Write("plain.txt", "#!/bin/sh\necho hi\n", false);
    struct Case {
        std::string path;
        std::string reason;
    };
    const Case cases[] = {
        { "/nonexistent/engine", "No such file or directory" },
        { "corvala-no-such-engine", "No such file or directory" },
        { notExecutable, "Permission denied" },
        { dir.Dir().string(), "Permission denied" },
        { "", "no program given" },
    };
    for (const Case& c : cases) {
        clsRedirectedChild child;
        child.ProgramPath = c.path;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(child.Start()) << c.path;
        child.Wait();
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(child.StartError(), c.reason) << c.path;
        EXPECT_EQ(printed, ""); // the failure is a value; the client layer words it
        EXPECT_FALSE(child.ChildRunning());
        EXPECT_FALSE(child.IsRunning());
        EXPECT_FALSE(child.WriteToChild("x\n"));
        EXPECT_EQ(child.GetLine(), "");
    }
}

TEST(Child, RunsInItsFolderWithArgumentsAsGiven)
{
    // A folder name with a blank and a double quote must reach the system unchanged.
    ScriptDir dir("odd \"name\"");
    std::string script
        = dir.Write("args.sh", "#!/bin/sh\npwd -P\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\n");
    const std::string expectedFolder = fs::canonical(dir.Dir()).string();

    clsRedirectedChild absolute;
    absolute.ProgramPath = script;
    absolute.Parameters = "one \"two three\" \"\" four";
    ASSERT_TRUE(absolute.Start());
    ASSERT_TRUE(WaitForEnd(absolute));
    EXPECT_EQ(TakeAll(absolute, 5),
        (std::vector<std::string> { expectedFolder, "[one]", "[two three]", "[]", "[four]" }));

    // A relative path names the program as seen from our folder.
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(dir.Root().c_str()), 0);
    clsRedirectedChild relative;
    relative.ProgramPath = (fs::path("odd \"name\"") / "args.sh").string();
    bool started = relative.Start();
    ASSERT_EQ(::chdir(cwd), 0);
    ASSERT_TRUE(started);
    ASSERT_TRUE(WaitForEnd(relative));
    EXPECT_EQ(TakeAll(relative, 1), (std::vector<std::string> { expectedFolder }));
}

TEST(Child, KillEndsAndReapsStubbornChildren)
{
    struct Case {
        const char* name;
        std::string program;
        std::string parameters;
        int signal; // the signal that ended it
    };
    const Case cases[] = {
        { "leaves on SIGTERM", "/bin/sleep", "30", SIGTERM },
        { "ignores SIGTERM", "/bin/sh", "-c \"trap '' TERM; echo ready; read x; read x\"", SIGKILL },
    };
    for (const Case& c : cases) {
        clsRedirectedChild child;
        child.ProgramPath = c.program;
        child.Parameters = c.parameters;
        child.SetKillGrace(100);
        ASSERT_TRUE(child.Start()) << c.name;
        pid_t pid = child.ChildPid();
        if (c.signal == SIGKILL) {
            // The trap must be in place before we signal.
            for (int k = 0; k < 2000 && child.GetLine() != "ready"; ++k)
                dranbase::SleepMs(1);
        }
        EXPECT_TRUE(child.ChildRunning());
        std::int64_t t0 = dranbase::Tick();
        child.Kill();
        std::int64_t took = dranbase::Tick() - t0;
        EXPECT_GE(took, 100) << c.name; // the grace was given
        EXPECT_FALSE(child.ChildRunning());
        EXPECT_TRUE(Reaped(pid)) << c.name;
        ASSERT_TRUE(WIFSIGNALED(child.ExitStatus())) << c.name;
        EXPECT_EQ(WTERMSIG(child.ExitStatus()), c.signal) << c.name;
        EXPECT_TRUE(WaitForEnd(child)) << c.name;
    }
}

TEST(Child, KillReturnsEarlyWhenTheChildLeaves)
{
    ShellChild child("read x; echo got $x");
    child.SetKillGrace(5000);
    ASSERT_TRUE(child.Start());
    pid_t pid = child.ChildPid();
    EXPECT_TRUE(child.WriteToChild("quit\n"));
    std::int64_t t0 = dranbase::Tick();
    child.Kill();
    EXPECT_LT(dranbase::Tick() - t0, 2500);
    EXPECT_TRUE(Reaped(pid));
    ASSERT_TRUE(WIFEXITED(child.ExitStatus()));
    ASSERT_TRUE(WaitForEnd(child));
    EXPECT_EQ(child.GetLine(), "got quit");
}

TEST(Child, WritesToAClosedInputFailQuietly)
{
    // The child stays alive but nobody reads its input any more: the write meets a broken
    // pipe, which must not raise SIGPIPE in our process.
    ShellChild child("exec 0<&-; echo closed; exec sleep 5");
    ASSERT_TRUE(child.Start());
    for (int k = 0; k < 2000 && child.GetLine() != "closed"; ++k)
        dranbase::SleepMs(1);
    ASSERT_TRUE(child.ChildRunning());
    EXPECT_FALSE(child.WriteToChild("anyone there?\n"));
    sigset_t pending;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
    pid_t pid = child.ChildPid();
    child.Kill();
    EXPECT_TRUE(Reaped(pid));
}

TEST(Child, LargeTrafficBothWays)
{
    // More than a pipe holds in each direction: the writer must wait for room and the reader
    // must keep every byte in order.
    clsRedirectedChild child;
    child.ProgramPath = "/bin/cat";
    child.SetKillGrace(20);
    ASSERT_TRUE(child.Start());
    const int lines = 5000;
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += "line " + std::to_string(i) + " of the long text, some filler\n";
    ASSERT_GT(text.size(), 150000u);
    ASSERT_TRUE(child.WriteToChild(text));
    int got = 0;
    for (std::int64_t end = dranbase::Tick() + 10000; got < lines && dranbase::Tick() < end;) {
        std::string line = child.GetLine();
        if (line.empty()) {
            dranbase::SleepMs(1);
            continue;
        }
        ASSERT_EQ(line, "line " + std::to_string(got) + " of the long text, some filler");
        ++got;
    }
    EXPECT_EQ(got, lines);
    pid_t pid = child.ChildPid();
    child.Kill();
    EXPECT_TRUE(Reaped(pid));
}

TEST(Child, DestructionReapsALiveChild)
{
    pid_t pid = 0;
    {
        clsRedirectedChild child;
        child.ProgramPath = "/bin/sleep";
        child.Parameters = "30";
        child.SetKillGrace(10);
        ASSERT_TRUE(child.Start());
        pid = child.ChildPid();
        // Cancelling the reader alone leaves the child running until Kill.
        child.Cancel();
        EXPECT_TRUE(child.ChildRunning());
        EXPECT_EQ(::kill(pid, 0), 0);
    }
    EXPECT_TRUE(Reaped(pid));
}

namespace {

// True once the process has ended: no process has the id any more, or it is a zombie waiting
// for whoever adopted it (waits up to the time-out).
bool ProcessGone(pid_t pid, int timeoutMs = 5000)
{
    for (std::int64_t end = dranbase::Tick() + timeoutMs; dranbase::Tick() < end;) {
        if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
        std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
        if (f) {
            char state = 0;
            int matched = std::fscanf(f, "%*d (%*[^)]) %c", &state);
            std::fclose(f);
            if (matched == 1 && state == 'Z') return true;
        }
        dranbase::SleepMs(5);
    }
    return false;
}

// The first line that holds a number, within the time-out (0 when none came).
pid_t ReadPid(clsRedirectedChild& child, int timeoutMs = 5000)
{
    for (std::int64_t end = dranbase::Tick() + timeoutMs; dranbase::Tick() < end;) {
        std::string line = child.GetLine();
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos)
            return static_cast<pid_t>(std::stol(line));
        dranbase::SleepMs(2);
    }
    return 0;
}

} // namespace

TEST(ChildSafety, KillEndsWhatAWrapperWithoutExecStarted)
{
    // The shell starts the real program as its own child and keeps running; neither leaves
    // on request. Ending the shell alone would leave the program behind.
    struct Case {
        const char* name;
        const char* script;
    };
    const Case cases[] = {
        { "wrapper ignores quit and SIGTERM", "trap '' TERM; sleep 60 & echo $!; wait; wait" },
        { "wrapper leaves, its program stays", "sleep 60 & echo $!; read x" },
    };
    for (const Case& c : cases) {
        ShellChild child(c.script);
        child.SetKillGrace(100);
        ASSERT_TRUE(child.Start()) << c.name;
        const pid_t grandchild = ReadPid(child);
        ASSERT_GT(grandchild, 0) << c.name;
        EXPECT_TRUE(child.WriteToChild("quit\n"));
        child.Kill();
        EXPECT_TRUE(Reaped(child.ChildPid())) << c.name;
        EXPECT_TRUE(ProcessGone(grandchild)) << c.name;
    }
}

TEST(ChildSafety, ChildrenDieWithTheProcessThatStartedThem)
{
    // The launcher starts "sleep 60" through this class, prints its id, and is then killed
    // with SIGKILL: nothing of ours runs to end the sleep, the system must.
    clsRedirectedChild launcher;
    launcher.ProgramPath = CHILD_LAUNCHER_PATH;
    launcher.Parameters = "/bin/sleep 60";
    launcher.SetKillGrace(0);
    ASSERT_TRUE(launcher.Start());
    const pid_t sleeper = ReadPid(launcher);
    ASSERT_GT(sleeper, 0);
    ASSERT_EQ(::kill(sleeper, 0), 0);
    ASSERT_EQ(::kill(launcher.ChildPid(), SIGKILL), 0);
    EXPECT_TRUE(ProcessGone(sleeper));
    launcher.Kill();
}

TEST(ChildSafety, OutputIsBounded)
{
    // A line longer than the limit is cut and marked, the next line is whole again.
    {
        ShellChild child("head -c 20000 /dev/zero | tr -c x x; echo; echo after");
        ASSERT_TRUE(child.Start());
        ASSERT_TRUE(WaitForEnd(child));
        const std::string cut = child.GetLine();
        EXPECT_EQ(cut, std::string(clsRedirectedChild::MaxLineBytes, 'x') + clsRedirectedChild::LineCutMark);
        EXPECT_EQ(child.GetLine(), "after");
        EXPECT_FALSE(child.Flooded());
    }
    // A program that writes without end while nobody reads is a flood; what is kept stays
    // bounded and the program is not blocked (it can still be ended at once).
    {
        ShellChild child("yes flooding-line-of-text");
        ASSERT_TRUE(child.Start());
        for (std::int64_t end = dranbase::Tick() + 20000; !child.Flooded() && dranbase::Tick() < end;)
            dranbase::SleepMs(10);
        EXPECT_TRUE(child.Flooded());
        EXPECT_EQ(child.GetLine(), "");
        pid_t pid = child.ChildPid();
        child.Kill();
        EXPECT_TRUE(Reaped(pid));
    }
}
