#include "tourney/clsembeddedengine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "dranbase/clsthread.h"
#include "engine/clsengine.h"
#include "engine/clstt.h"
#include "tourney/protocols.h"

namespace drnChess {

using dranbase::EqualsNoCase;
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
    engine_->SetIterationListener([this](const clsIterationReport& r) {
        if (r.multipv != 1 || !post_.load(std::memory_order_relaxed)) return;
        std::lock_guard lock(thinkingMutex_);
        thinkingLines_.push_back(XboardThinkingLine(r));
    });

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
    // The engine thread searches on engine_; it must end before the engine and its table go.
    engine_->StopRequest();
    engine_->Cancel();
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
    engine_->StopRequest();
    thinking_ = false;
    Ready = false;
}

clsMoveBudget clsEmbeddedEngine::PlanThink(
    std::int64_t clockMs, int fullMove, int movesPerControl, std::int64_t incrementMs)
{
    int n = fullMove;
    if (movesPerControl > 0 && n > movesPerControl) n %= movesPerControl;
    clsMoverClock clock;
    clock.remainingMs = clockMs;
    clock.incrementMs = incrementMs;
    clock.movesToGo = movesPerControl > 0 ? std::max(1, movesPerControl - n + 1) : 0;
    return PlanMove(clock);
}

std::int64_t clsEmbeddedEngine::ThinkBudget(
    std::int64_t clockMs, int fullMove, int movesPerControl, std::int64_t incrementMs)
{
    return PlanThink(clockMs, fullMove, movesPerControl, incrementMs).planMs;
}

void clsEmbeddedEngine::StartThink()
{
    engine_->StopRequest();
    const std::int64_t clock = clock_ > 0 ? clock_ : OwnTime;
    // The think stops itself within its limits; the deadline here only backs it up.
    const clsMoveBudget budget = PlanThink(clock, engine_->FullMoveNumber(), movesPerControl_, increment_);
    clsSearchLimits limits = budget.Limits();
    limits.depth = engine_->Limits().depth;
    engine_->SetLimits(limits);
    deadline_ = dranbase::Tick() + budget.maxMs + 50;
    thinking_ = engine_->Start();
    if (!thinking_) FinishThink(); // no thread: answer at once
}

void clsEmbeddedEngine::QueueThinkingLines()
{
    std::lock_guard lock(thinkingMutex_);
    for (std::string& line : thinkingLines_)
        Queue(std::move(line));
    thinkingLines_.clear();
}

void clsEmbeddedEngine::FinishThink()
{
    engine_->StopRequest();
    thinking_ = false;
    QueueThinkingLines(); // the think's lines come before its move
    std::string move = engine_->TakeMoveText(true);
    if (move.empty()) {
        // Stopped before a move was scored (a very short budget): any legal move beats losing
        // on time. The first of the position's legal moves serves.
        engine_->ResetNodeStack();
        engine_->GenerateMoves(-1);
        if (engine_->FilterLegalMoves() > 0) move = MoveToText(*engine_->Root()->firstMove, false);
        if (move.empty()) return; // no legal move: the referee ends the game itself
    }
    move.erase(std::remove(move.begin(), move.end(), '='), move.end());
    if (!engine_->ApplyGameMove(move)) return;
    Queue("move " + move);
}

bool clsEmbeddedEngine::ReadLine(std::string& line, std::int64_t& arrival)
{
    if (thinking_ && (!engine_->IsRunning() || dranbase::Tick() >= deadline_)) FinishThink();
    QueueThinkingLines();
    if (replies_.empty()) return false;
    line = std::move(replies_.front());
    replies_.pop_front();
    arrival = dranbase::Tick();
    return true;
}

bool clsEmbeddedEngine::WaitForLine(std::int64_t timeoutMs)
{
    const std::int64_t until = dranbase::Tick() + std::max<std::int64_t>(timeoutMs, 0);
    auto moveDue = [this] { return thinking_ && (!engine_->IsRunning() || dranbase::Tick() >= deadline_); };
    if (replies_.empty() && !thinking_) {
        dranbase::SleepMs(until - dranbase::Tick());
        return false;
    }
    // The engine's thread gives no signal of its end: it is watched, briefly and often.
    while (replies_.empty() && !moveDue() && dranbase::Tick() < until)
        std::this_thread::sleep_for(std::chrono::microseconds(ThinkWatchMicros));
    return !replies_.empty() || moveDue();
}

bool clsEmbeddedEngine::WriteLine(std::string_view text)
{
    if (Ended) return false;
    Command(std::string(text)); // a think starts inside, after the send was stamped
    return true;
}

void clsEmbeddedEngine::Command(const std::string& text)
{
    auto [word, rest] = dranbase::SplitFirst(dranbase::Trim(text), ' ');
    if (EqualsNoCase(word, "post") || EqualsNoCase(word, "nopost")) {
        post_ = EqualsNoCase(word, "post");
        return;
    }
    if (word.empty() || EqualsNoCase(word, "xboard") || EqualsNoCase(word, "otim")
        || EqualsNoCase(word, "easy") || EqualsNoCase(word, "hard") || EqualsNoCase(word, "accepted")
        || EqualsNoCase(word, "rejected") || EqualsNoCase(word, "computer")) {
        return;
    }
    if (EqualsNoCase(word, "protover")) {
        Queue("feature myname=\"Corvala " + engine_->SoulName()
            + "\" ping=1 setboard=1 usermove=0 san=0 sigint=0 sigterm=0 colors=0 done=1");
    } else if (EqualsNoCase(word, "ping")) {
        Queue("pong " + rest);
    } else if (EqualsNoCase(word, "new")) {
        engine_->StopRequest();
        thinking_ = false;
        engine_->SetFromFEN(StartFEN);
        engine_->ForgetGameMoves();
        force_ = false;
        playing_ = Black;
    } else if (EqualsNoCase(word, "level")) {
        // level MPS BASE INC: only the move count and the increment matter here; the clock
        // arrives with every "time".
        std::vector<std::string> f = dranbase::SplitFields(rest);
        movesPerControl_ = f.size() > 0 ? static_cast<int>(ToInt(f[0])) : 0;
        // The increment in seconds, fractions included ("0.1").
        increment_ = f.size() > 2 ? std::llround(std::strtod(f[2].c_str(), nullptr) * 1000) : 0;
    } else if (EqualsNoCase(word, "time")) {
        clock_ = ToInt(rest) * 10;
    } else if (EqualsNoCase(word, "go")) {
        force_ = false;
        playing_ = engine_->SideToMove();
        StartThink();
    } else if (EqualsNoCase(word, "force") || EqualsNoCase(word, "result") || EqualsNoCase(word, "quit")) {
        engine_->StopRequest();
        thinking_ = false;
        force_ = true;
    } else if (EqualsNoCase(word, "?")) {
        if (thinking_) FinishThink();
    } else if (EqualsNoCase(word, "setboard")) {
        engine_->StopRequest();
        thinking_ = false;
        engine_->SetFromFEN(rest);
        engine_->ForgetGameMoves();
    } else {
        // A move of the opponent (with or without "usermove").
        const std::string move = EqualsNoCase(word, "usermove") ? rest : word;
        if (thinking_ || !engine_->ApplyMoveText(move)) {
            Queue("Illegal move: " + move);
            return;
        }
        if (!force_ && engine_->SideToMove() == playing_) StartThink();
    }
}

} // namespace drnChess
