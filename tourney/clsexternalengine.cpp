#include "tourney/clsexternalengine.h"

#include "dranbase/console.h"

namespace drnChess {

clsExternalEngine::clsExternalEngine(
    std::string programPath, std::string parameters, int protocol, std::string playerName)
    : transport_(std::move(programPath), std::move(parameters))
{
    SetProtocol(protocol);
    PlayerName = std::move(playerName);
    SetTransport(&transport_);
    transport_.SetKillGrace(Timing().QuitGraceMs);
    // On the reader thread: the program has gone (or never started); it ended by itself.
    transport_.ReaderStopped = [this] { Ended = true; };
    transport_.ChildEnded = [] { dranbase::Output().Write("# process terminated!", true); };
}

clsExternalEngine::~clsExternalEngine()
{
    Stop();
}

void clsExternalEngine::SetTiming(const clsClientTiming& timing)
{
    clsEngineInterface::SetTiming(timing);
    transport_.SetKillGrace(timing.QuitGraceMs);
}

bool clsExternalEngine::Start()
{
    Ended = false;
    stopped_ = false;
    started_ = true;
    if (transport_.Start()) return true;
    Ended = true;
    const std::string reason = transport_.StartError();
    const std::string& path = transport_.ProgramPath();
    dranbase::Output().Write(
        path.empty() ? "# cannot start: " + reason : "# cannot start " + path + ": " + reason, true);
    return false;
}

void clsExternalEngine::Stop()
{
    if (stopped_.exchange(true)) return;
    if (started_) Quit();
    transport_.Close();
    Ended = true;
}

bool clsExternalEngine::IsReady()
{
    return Ready && transport_.ReaderRunning();
}

void clsExternalEngine::Quit()
{
    Send("quit");
    Ready = false;
    transport_.Kill();
}

} // namespace drnChess
