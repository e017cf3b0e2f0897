// The command loop: the console's lines to the commands, and the xboard session between them.

#include "app/clscorvala.h"
#include "tourney/clstourney.h"

#include <algorithm>

namespace drnChess {

using dranbase::EqualsNoCase;

void clsCorvala::CommandLoop()
{
    bool quit = false;
    while (!quit && !Cancelled()) {
        // The think watches its own deadline; the session takes its move once it has ended.
        session_->Poll();
        Sleep(1);
        // While a suite or a tournament runs, the end of input waits for it to finish.
        std::string line = dranbase::ReadConsoleLine(false, ToolCommandRunning());
        if (!line.empty() && !protocolKnown_) {
            // The first command decides the protocol: "uci" switches to UCI for good; anything
            // else lets the held start-up lines out and goes on in xboard.
            protocolKnown_ = true;
            if (EqualsNoCase(dranbase::Trim(line), "uci")) {
                EnterUci();
                UciLoop();
                return;
            }
            dranbase::Output().Release();
        }
        if (!line.empty() && ExecuteLine(line) == QuitCode) {
            dranbase::ConsoleInput().Cancel();
            quit = true;
        }
    }
}

bool clsCorvala::ToolCommandRunning() const
{
    if (session_->Judging()) return true;
    return std::any_of(tourneys_.begin(), tourneys_.end(), [](const auto& t) { return t->IsRunning(); });
}

} // namespace drnChess
