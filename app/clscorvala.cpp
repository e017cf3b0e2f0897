#include "app/clscorvala.h"

#include "rules/random.h"
#include "tourney/clstourney.h"

namespace drnChess {

using dranbase::ToInt;

clsCorvala::clsCorvala(const dranbase::clsStrings& options)
    : dranbase::clsThread("Corvala")
    , options_(options)
{
    SetKeepLines(false); // nobody reads the application's own lines back
    engine_ = std::make_unique<clsEngine>(options_, &share_);
    engine_->SetKeepLines(false);
    commandLog_ = options_.Value("-log");
    std::string memory = options_.Value("memory");
    SetHashSize(memory.empty() ? defaultHashMiB_ : static_cast<int>(ToInt(memory)));
    SetPosition(StartFEN);
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
    Print("# bye bye");
    dranbase::Output().Flush();
    tourneys_.clear();
    engine_.reset();
}

bool clsCorvala::SetHashSize(int mib)
{
    if (engine_ && engine_->IsRunning()) return false;
    share_.Size(mib < 0 ? 0 : mib);
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

    std::string use = options_.Value("-use");
    if (!use.empty() && dranbase::EqualsNoCase(use, "tourney")) {
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
    std::string load = options_.Value("-load");
    if (!load.empty()) ExecuteLine("\\loadsoul " + load);
    ExecuteLine("new");
    dranbase::ConsoleInput().Start();
    CommandLoop();
    Print("# end");
    return true;
}

} // namespace drnChess
