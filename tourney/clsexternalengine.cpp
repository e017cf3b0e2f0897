#include "tourney/clsexternalengine.h"

#include "dranbase/clsthread.h"
#include "dranbase/console.h"

namespace drnChess {

clsExternalEngine::clsExternalEngine(
    std::string programPath, std::string parameters, int protocol, std::string playerName)
{
    ProgramPath = std::move(programPath);
    Parameters = std::move(parameters);
    SetProtocol(protocol);
    PlayerName = std::move(playerName);
    SetKillGrace(Timing().QuitGraceMs);
}

clsExternalEngine::~clsExternalEngine()
{
    Stop();
}

void clsExternalEngine::SetTiming(const clsClientTiming& timing)
{
    clsEngineInterface::SetTiming(timing);
    SetKillGrace(timing.QuitGraceMs);
}

bool clsExternalEngine::Start()
{
    Ended = false;
    stopped_ = false;
    started_ = true;
    if (clsRedirectedChild::Start()) return true;
    Ended = true;
    const std::string reason = clsRedirectedChild::StartError();
    dranbase::Output().Write(
        ProgramPath.empty() ? "# cannot start: " + reason : "# cannot start " + ProgramPath + ": " + reason,
        true);
    return false;
}

void clsExternalEngine::OnChildEnded()
{
    dranbase::Output().Write("# process terminated!", true);
}

void clsExternalEngine::Stop()
{
    if (stopped_.exchange(true)) return;
    if (started_) Quit();
    Kill();
    Cancel(); // joins the reader thread
    Ended = true;
}

std::string clsExternalEngine::ReadResponse()
{
    std::int64_t arrival = dranbase::Tick();
    std::string line = GetLine(arrival);
    if (line.empty()) return {};
    LastLineTick = arrival;
    ++LinesRead;
    Log("<---\t" + line);
    return ParseResponse(line);
}

void clsExternalEngine::Send(const std::string& text)
{
    Log("--->\t" + text);
    // Stamped as the write begins: a reply cannot arrive before it, so no move's time is
    // negative when the writer is held up between its write and its next look at the clock.
    LastSendTick = dranbase::Tick();
    if (ChildRunning()) WriteToChild(text + "\n");
    dranbase::SleepMs(Timing().SendDelayMs);
}

bool clsExternalEngine::IsReady()
{
    return Ready && IsRunning();
}

void clsExternalEngine::Quit()
{
    Send("quit");
    Ready = false;
    Kill();
}

} // namespace drnChess
