#include "app/clscorvala.h"
#include "engine/weightsfile.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>

#include "rules/random.h"
#include "tourney/clstourney.h"

namespace drnChess {

using dranbase::ToInt;

long long MaxHashMiB()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return 1024; // unknown machine: a modest table
    const long long quarter = static_cast<long long>(pages) / 4 * pageSize >> 20;
    return std::max(1LL, std::min(quarter, static_cast<long long>(INT32_MAX)));
}

clsCorvala::clsCorvala(const dranbase::clsStrings& options)
    : dranbase::clsThread("Corvala")
    , options_(options)
{
    SetKeepLines(false); // nobody reads the application's own lines back
    engine_ = std::make_unique<clsEngine>(options_, &share_);
    engine_->SetKeepLines(false);
    clsXboardSession::Hooks hooks;
    hooks.resizeTable = [this](const std::string& mib) {
        SetHashSize(dranbase::Trim(mib).empty() ? defaultHashMiB_ : ToInt(mib));
    };
    hooks.afterEngineMove = [this] {
        if (showBoard_) engine_->PrintBoard();
    };
    hooks.judgeMove = [this](const clsMove& move) { JudgeEpdMove(move); };
    session_ = std::make_unique<clsXboardSession>(
        *engine_, [this](const std::string& line) { Print(line); }, std::move(hooks));
    commandLog_ = options_.Value("-log");
    std::string memory = options_.Value("memory");
    SetHashSize(memory.empty() ? defaultHashMiB_ : ToInt(memory));
    session_->SetPosition(StartFEN);
    std::string soul = options_.Value("-soul");
    if (!soul.empty()) engine_->SelectSoul(soul);
}

clsCorvala::~clsCorvala()
{
    engine_->StopRequest();
    engine_->Cancel();
    dranbase::ConsoleInput().Cancel();
    for (auto& t : tourneys_)
        t->Cancel();
    dranbase::SleepMs(200);
    dranbase::Output().Release();
    Print("# bye bye");
    dranbase::Output().Flush();
    tourneys_.clear();
    session_.reset();
    engine_.reset();
}

bool clsCorvala::SetHashSize(long long mib)
{
    if (engine_ && engine_->IsRunning()) return false;
    if (mib < 0) {
        Print("# memory " + std::to_string(mib) + " refused: the table size is 0 or more MiB");
        return false;
    }
    const long long cap = MaxHashMiB();
    if (mib > cap) {
        Print("# memory " + std::to_string(mib)
            + " MiB is more than a quarter of this machine's memory: " + std::to_string(cap) + " MiB used");
        mib = cap;
    }
    share_.Size(static_cast<int>(mib));
    if (engine_) engine_->SetStrongTableSize(static_cast<std::size_t>(mib));
    if (share_.EntryCount() > 0)
        Print("# TT " + std::to_string(share_.EntryCount()) + " entries - "
            + std::to_string(share_.EntryCount() * sizeof(clsTT) >> 20) + " MiB");
    return true;
}

bool clsCorvala::Run()
{
    Print(std::string("# ") + ProgramVersion + " - a chess engine with opening books, matches and learning");
    Print(PopCountEnabled() ? "# PopCount enabled" : "# PopCount disabled");
    Print("# compression: zlib-compatible routines by their authors");
    Print("# crypt: public-domain routines by their authors");
    Print("# random numbers: xorshift128+ by its author");

    if (options_.Has("-weights")) {
        std::vector<int> weights;
        std::string error;
        if (!strong::LoadStrongWeights(options_.Value("-weights"), weights, error))
            Print("# " + error + "; the hand-set weights stay");
    }

    std::string use = options_.Value("-use");
    if (!use.empty() && dranbase::EqualsNoCase(use, "tourney")) {
        dranbase::Output().Release(); // no protocol to wait for

        ExecuteLine("\\tourney " + options_.Value("-ini"));
        // Tournament mode ends when the tournament has finished (or the thread is cancelled).
        while (!Cancelled()) {
            bool running = false;
            for (auto& t : tourneys_)
                if (t->IsRunning()) running = true;
            if (!running) break;
            Sleep(1);
        }
        for (auto& t : tourneys_)
            if (t->Failed()) exitCode_ = 1;
        Print("# end");
        return true;
    }
    if (dranbase::EqualsNoCase(use, "game") || dranbase::EqualsNoCase(use, "jobs")) {
        dranbase::Output().Release();
        std::error_code ec;
        exitCode_ = dranbase::EqualsNoCase(use, "game")
            ? RunGameCommand(options_.Value("-ini"), options_.Value("-game"))
            : RunJobsCommand(
                options_.Value("-ini"), std::filesystem::read_symlink("/proc/self/exe", ec).string());
        return true;
    }
    std::string load = options_.Value("-load");
    if (!load.empty()) ExecuteLine("\\loadsoul " + load);
    ExecuteLine("new");
    dranbase::ConsoleInput().Start();
    CommandLoop();
    Print("# end");
    return true;
}

} // namespace drnChess
