// Test and analysis commands: EPD suites, perft and divide.

#include "app/clscorvala.h"
#include "rules/fencheck.h"
#include "rules/movereader.h"

#include <atomic>
#include <functional>
#include <thread>

namespace drnChess {

using dranbase::SplitFields;
using dranbase::ToInt;

namespace {
    int FirstFieldDepth(const std::string& rest)
    {
        auto f = SplitFields(rest);
        return f.empty() ? 0 : static_cast<int>(ToInt(f[0]));
    }
} // namespace

int clsCorvala::RunStoppable(const std::function<void()>& work, const std::function<void()>& report)
{
    // The count runs on a thread of its own while this one keeps reading the console: "?",
    // "quit", "force" and "new" stop it; other lines wait and run after it, in order. The end
    // of input is no stop: the count finishes, then the program ends.
    engine_->perftStop.store(false);
    std::atomic<bool> done { false };
    std::thread worker([&] {
        work();
        done.store(true);
    });
    std::vector<std::string> waiting;
    while (!done.load()) {
        Sleep(1);
        std::string line = dranbase::ReadConsoleLine(false, true);
        if (line.empty()) continue;
        const std::string word = dranbase::SplitFirst(dranbase::Trim(line), ' ').first;
        for (const char* stopWord : { "?", "quit", "force", "new" })
            if (dranbase::EqualsNoCase(word, stopWord)) engine_->perftStop.store(true);
        if (word != "?") waiting.push_back(line);
    }
    worker.join();
    // A stopped count is no answer: it says so instead of reporting a number.
    const bool stopped = engine_->perftStop.exchange(false);
    if (stopped)
        Print("# stopped: the count is incomplete (" + std::to_string(engine_->nodeCount) + " nodes so far)");
    else if (report)
        report();
    int code = 0;
    for (const auto& line : waiting)
        if (code != QuitCode) code = ExecuteLine(line);
    return code;
}

int clsCorvala::CmdPerft(const std::string& rest)
{
    int depth = FirstFieldDepth(rest);
    dranbase::clsTimer timer;
    return RunStoppable([&] { engine_->PerftDriver(depth, false); },
        [&] {
            timer.Stop();
            std::uint64_t nodes = engine_->nodeCount;
            std::int64_t ms = timer.Elapsed();
            Print("Nodes: " + std::to_string(nodes) + ", Time: " + std::to_string(ms)
                + " ms, Nodes/s: " + std::to_string(nodes * 1000 / static_cast<std::uint64_t>(ms + 1)));
        });
}

int clsCorvala::CmdDivide(const std::string& rest)
{
    const int depth = FirstFieldDepth(rest);
    return RunStoppable(
        [&] { engine_->PerftDriver(depth, true, [this](const std::string& line) { Print(line); }); });
}

int clsCorvala::CmdEpd(const std::string& rest)
{
    epdIndex_ = 0;
    std::size_t blank = rest.find(' ');
    std::string timeText = blank == std::string::npos ? rest : rest.substr(0, blank);
    std::string file = blank == std::string::npos ? std::string() : dranbase::Trim(rest.substr(blank + 1));
    epdMs_ = MinutesToMs(timeText);
    if (epdMs_ == 0) epdMs_ = 60000;
    if (file.empty()) file = "arasan19.epd";
    dranbase::clsCStrings lines;
    bool read = lines.LoadFromFile(file);
    epdList_.Clear();
    for (const auto& l : lines)
        if (!dranbase::Trim(l).empty()) epdList_.Add(l);
    if (!read || epdList_.Empty()) {
        // Nothing to test: say so and stay out of the test state.
        Print(read ? "# no positions in " + file : "# cannot read " + file);
        return 0;
    }
    epdSolved_ = 0;
    epdSkipped_ = 0;
    session_->Execute("force", ""); // a game in progress ends here
    Print("# time " + std::to_string(epdMs_) + " ms - file " + file);
    TestFrom(0);
    return 0;
}

void clsCorvala::TestFrom(int index)
{
    // A line without a position to think about (no legal move, no kings, not a FEN) is skipped:
    // the engine would never answer it.
    for (epdIndex_ = index; epdIndex_ < epdList_.Count(); ++epdIndex_) {
        const std::string& line = epdList_.At(epdIndex_);
        session_->StopThinking();
        Print("# testing: " + line);
        const std::string problem = LoadFenStrictly(*engine_, line, FenText::EpdLine);
        const int status = problem.empty() ? engine_->GameStatus() : 0;
        if (problem.empty() && (status == 1 || status == GameState::InsufficientMaterial)) {
            session_->Judge(epdMs_);
            return;
        }
        Print("# skipped: "
            + (problem.empty() ? std::string("no legal move to test in this position") : problem));
        ++epdSkipped_;
    }
    session_->EndJudging();
    const int count = epdList_.Count() - epdSkipped_;
    char pct[16];
    std::snprintf(pct, sizeof pct, "%2d", count > 0 ? epdSolved_ * 100 / count : 0);
    std::string results
        = "# test results: " + std::to_string(epdSolved_) + "/" + std::to_string(count) + " " + pct + "%";
    if (epdSkipped_ > 0) results += " (" + std::to_string(epdSkipped_) + " skipped)";
    Print(results);
}

void clsCorvala::JudgeEpdMove(const clsMove& move)
{
    // Expected moves are SAN; an operation may list several ("bm Qxa8 d6"). They are read
    // against the position and compared as moves, promotions included.
    auto matches = [&](const std::string& op) {
        for (const auto& san : SplitFields(engine_->positionOps.Value(op))) {
            const std::optional<clsMove> expected = ReadMove(*engine_, san);
            if (expected && expected->from == move.from && expected->to == move.to
                && expected->Promotion() == move.Promotion())
                return true;
        }
        return false;
    };
    bool hasAvoid = !engine_->positionOps.Value("am").empty();
    bool good = matches("bm") || (hasAvoid && !matches("am"));
    std::string text = "# move " + MoveToText(move, false);
    if (good)
        text += " ok ---> score : " + std::to_string(++epdSolved_);
    else
        text += " bad!";
    Print(text);
    TestFrom(epdIndex_ + 1);
}

} // namespace drnChess
