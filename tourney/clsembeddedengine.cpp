#include "tourney/clsembeddedengine.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "dranbase/clsthread.h"
#include "engine/clsengine.h"
#include "engine/clstt.h"
#include "tourney/xboardsession.h"

namespace drnChess {

using dranbase::ToInt;

clsEmbeddedEngine::clsEmbeddedEngine(std::string playerName, const std::string& parameters)
{
    PlayerName = std::move(playerName);
    SetProtocol(ProtocolXboard);
    SetTransport(this);
    // Commands are carried out at once: no pauses.
    clsClientTiming timing;
    timing.SendDelayMs = 0;
    timing.StartDelayMs = 0;
    SetTiming(timing);
    for (const std::string& field : dranbase::SplitFields(parameters)) {
        auto [key, value] = dranbase::SplitFirst(field, '=');
        options_.Add(key, value);
    }
    const std::string memory = options_.Value("memory");
    share_ = std::make_unique<clsEngineShare>();
    share_->Size(memory.empty() ? DefaultTableMiB : static_cast<std::int32_t>(ToInt(memory)));
    engine_ = std::make_unique<clsEngine>(options_, share_.get());
    engine_->SetKeepLines(false); // its diagnostics go to the console; nobody reads them back

    clsXboardSession::Hooks hooks;
    hooks.resizeTable = [this](const std::string& mib) {
        const long long size = dranbase::Trim(mib).empty() ? DefaultTableMiB : ToInt(mib);
        if (size < 0 || size > INT32_MAX) return;
        share_->Size(static_cast<std::int32_t>(size));
        engine_->SetStrongTableSize(static_cast<std::size_t>(size));
    };
    session_ = std::make_unique<clsXboardSession>(
        *engine_, [this](const std::string& line) { Queue(line); }, std::move(hooks));
    // The engine's own diagnostic lines would go to the console, not to the referee.
    session_->SetEngineDiagnostics(false);

    // Its soul: "-load=FILE" (a soul text in a file) before "soul=NAME" / "-soul=NAME".
    const std::string load = options_.Value("-load");
    dranbase::clsString soulText;
    if (!load.empty() && soulText.LoadFromFile(load) > 0)
        engine_->SelectSoul(dranbase::Trim(soulText));
    else if (!options_.Value("soul").empty() || !options_.Value("-soul").empty())
        engine_->SelectSoul("");
}

clsEmbeddedEngine::~clsEmbeddedEngine()
{
    // The engine thread searches on engine_; it must end before the session, the engine and
    // its table go.
    engine_->StopRequest();
    engine_->Cancel();
    session_.reset();
}

bool clsEmbeddedEngine::Start()
{
    Ended = false;
    return true;
}

void clsEmbeddedEngine::Stop()
{
    Quit();
    Ended = true;
}

void clsEmbeddedEngine::Quit()
{
    session_->Execute("quit", "");
    Ready = false;
}

std::int64_t clsEmbeddedEngine::ThinkBudget(
    std::int64_t clockMs, int fullMove, int movesPerControl, std::int64_t incrementMs)
{
    return clsXboardSession::PlanThink(clockMs, fullMove, movesPerControl, incrementMs).planMs;
}

void clsEmbeddedEngine::Queue(const std::string& line)
{
    std::lock_guard lock(repliesMutex_);
    replies_.push_back(line);
}

bool clsEmbeddedEngine::QueueEmpty()
{
    std::lock_guard lock(repliesMutex_);
    return std::all_of(replies_.begin(), replies_.end(), [](const std::string& l) { return l.empty(); });
}

bool clsEmbeddedEngine::ReadLine(std::string& line, std::int64_t& arrival)
{
    session_->Poll();
    std::lock_guard lock(repliesMutex_);
    // An empty line (the answer to "xboard") counts as none, as it does from a child process.
    while (!replies_.empty() && replies_.front().empty())
        replies_.pop_front();
    if (replies_.empty()) return false;
    line = std::move(replies_.front());
    replies_.pop_front();
    arrival = dranbase::Tick();
    return true;
}

bool clsEmbeddedEngine::WaitForLine(std::int64_t timeoutMs)
{
    const std::int64_t until = dranbase::Tick() + std::max<std::int64_t>(timeoutMs, 0);
    for (;;) {
        // The engine's thread gives no signal of its end: it is watched, briefly and often.
        session_->Poll();
        if (!QueueEmpty()) return true;
        const std::int64_t now = dranbase::Tick();
        if (now >= until) return false;
        if (!session_->Thinking()) {
            dranbase::SleepMs(until - now);
            return !QueueEmpty();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(ThinkWatchMicros));
    }
}

bool clsEmbeddedEngine::WriteLine(std::string_view text)
{
    if (Ended) return false;
    // Split as the program's command loop splits a line: at its first blank.
    const std::string line(text);
    if (line.empty()) return true;
    const std::size_t blank = line.find(' ');
    const std::string word = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    if (session_->Execute(word, rest) == XboardOutcome::NotMine) session_->Unknown(word, rest);
    return true;
}

} // namespace drnChess
