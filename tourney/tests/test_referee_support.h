#pragma once
// Helpers of the referee and tournament tests: a scratch folder, the child processes of the
// test, waiting for game threads, and reading their records back.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "book/clsgame.h"
#include "rules/clschesscore.h"

namespace testsupport {

// A PGN text read back on a core of its own; false, with the reason, when it cannot be.
inline bool ReadBackGame(const std::string& pgn, drnChess::clsGame& game, std::string& error)
{
    auto core = std::make_unique<drnChess::clsChessCore>();
    return drnChess::ReadPgnGame(pgn, *core, game, 0, {}, &error);
}

// A folder of its own under the system's temporary folder, removed with its contents.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& tag)
    {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path()
            / ("corvala_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string Path() const { return path_.string(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // The names of the files in the folder, sorted.
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The processes whose parent is this test process, zombies included (a child that has ended
// but was never reaped still shows here).
inline std::vector<int> ChildProcesses()
{
    std::vector<int> children;
    const int self = ::getpid();
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 1));
        std::string state;
        int parent = 0;
        rest >> state >> parent;
        if (parent == self) children.push_back(std::stoi(name));
    }
    return children;
}

// Polls the condition every 20 ms up to the limit; true when it held.
template <class Condition> bool WaitFor(Condition condition, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Starts every game of the list (items with a `game` member) at once, waits up to the limit for
// all of them to finish and joins them. False when one would not start or did not finish.
template <class Games> bool PlayAllAtOnce(Games& games, std::chrono::milliseconds limit)
{
    bool started = true;
    for (auto& r : games)
        started = r.game->Start() && started;
    const bool finished = WaitFor(
        [&] {
            for (auto& r : games)
                if (!r.game->IsFinished()) return false;
            return true;
        },
        limit);
    for (auto& r : games)
        r.game->Wait();
    return started && finished;
}

} // namespace testsupport
