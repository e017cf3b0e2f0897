#include "tourney/engineslot.h"

#include <algorithm>

#include "book/clsgame.h"
#include "dranbase/clsthread.h"

namespace drnChess {

namespace {
    // The renewal wakes at least this often to see whether the engine has gone.
    constexpr std::int64_t RenewWaitSliceMs = 20;
} // namespace

clsEngineSlot::~clsEngineSlot()
{
    ReleaseAll();
    {
        std::lock_guard lock(launchMutex_);
        closing_ = true;
    }
    launchCv_.notify_all();
    if (launcher_.joinable()) launcher_.join();
}

bool clsEngineSlot::StartEngine(clsEngineInterface& engine)
{
    std::unique_lock lock(launchMutex_);
    if (!launcher_.joinable()) launcher_ = std::thread([this] { LauncherLoop(); });
    launchCv_.wait(lock, [&] { return pending_ == nullptr; });
    Launch launch { &engine };
    pending_ = &launch;
    launchCv_.notify_all();
    launchCv_.wait(lock, [&] { return launch.done; });
    return launch.started;
}

void clsEngineSlot::LauncherLoop()
{
    std::unique_lock lock(launchMutex_);
    for (;;) {
        launchCv_.wait(lock, [&] { return pending_ != nullptr || closing_; });
        if (!pending_) return;
        Launch* launch = pending_;
        lock.unlock();
        const bool started = launch->engine->Start();
        lock.lock();
        launch->started = started;
        launch->done = true;
        pending_ = nullptr;
        launchCv_.notify_all();
    }
}

std::unique_ptr<clsEngineInterface> clsEngineSlot::Take(const clsPlayer* player)
{
    std::lock_guard lock(mutex_);
    auto it = std::find_if(kept_.begin(), kept_.end(), [&](const Kept& k) { return k.player == player; });
    if (it == kept_.end()) return nullptr;
    std::unique_ptr<clsEngineInterface> engine = std::move(it->engine);
    kept_.erase(it);
    return engine;
}

void clsEngineSlot::Keep(const clsPlayer* player, std::unique_ptr<clsEngineInterface> engine)
{
    if (!engine) return;
    engine->Owner = &silent_;
    std::vector<Kept> replaced;
    {
        std::lock_guard lock(mutex_);
        for (auto it = kept_.begin(); it != kept_.end();)
            if (it->player == player) {
                replaced.push_back(std::move(*it));
                it = kept_.erase(it);
            } else {
                ++it;
            }
        kept_.push_back({ player, std::move(engine) });
    }
    End(replaced);
}

int clsEngineSlot::Holds(const clsPlayer* white, const clsPlayer* black) const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(
        kept_.begin(), kept_.end(), [&](const Kept& k) { return k.player == white || k.player == black; }));
}

void clsEngineSlot::ReleaseOthers(const clsPlayer* white, const clsPlayer* black)
{
    std::vector<Kept> others;
    {
        std::lock_guard lock(mutex_);
        for (auto it = kept_.begin(); it != kept_.end();)
            if (it->player != white && it->player != black) {
                others.push_back(std::move(*it));
                it = kept_.erase(it);
            } else {
                ++it;
            }
    }
    End(others);
}

void clsEngineSlot::ReleaseAll()
{
    std::vector<Kept> all;
    {
        std::lock_guard lock(mutex_);
        all.swap(kept_);
    }
    End(all);
}

void clsEngineSlot::End(std::vector<Kept>& engines)
{
    for (Kept& k : engines)
        k.engine->Stop(); // its "quit" goes to the slot's sink, not to the console
    engines.clear();
}

bool BeginRenewal(clsEngineInterface& engine, int colour, std::int64_t baseTimeMs, std::int64_t incrementMs)
{
    engine.Colour = colour;
    engine.SetClocks(baseTimeMs, baseTimeMs, incrementMs, incrementMs);
    if (engine.Ended) return false;
    // Whatever came after the last game's end belongs to it.
    for (std::int64_t before = -1; before != engine.LinesRead;) {
        before = engine.LinesRead;
        engine.ReadResponse();
    }
    engine.NewGame();
    if (engine.Protocol() == ProtocolXboard) engine.Ping(); // ready at once without pings
    return true;
}

bool FinishRenewal(clsEngineInterface& engine)
{
    const std::int64_t start = dranbase::Tick();
    while (!engine.Ready) {
        if (dranbase::Tick() - start >= engine.Timing().HandshakeMs) return false;
        const std::int64_t before = engine.LinesRead;
        engine.ReadResponse(); // a late move of the last game is dropped here too
        if (engine.LinesRead != before) continue;
        if (engine.Ended) return false;
        engine.WaitForReply(RenewWaitSliceMs);
    }
    return !engine.Ended;
}

int FaultedSide(std::uint32_t code, bool markedFault)
{
    if ((code & GameResult::Decided) == 0) return -1;
    const bool fault = markedFault
        || (code & (GameResult::Forfeit | GameResult::IllegalMove | GameResult::EngineCrashed)) != 0;
    if (!fault) return -1;
    return (code & GameResult::BlackWins) != 0 ? 0 : 1; // the loser
}

} // namespace drnChess
