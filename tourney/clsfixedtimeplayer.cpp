#include "tourney/clsfixedtimeplayer.h"

#include <algorithm>

#include "dranbase/clsthread.h"
#include "engine/clsengine.h"

namespace drnChess {

clsFixedTimePlayer::clsFixedTimePlayer(clsEngine& engine, std::string playerName, std::int64_t msPerMove)
    : engine_(engine)
    , msPerMove_(msPerMove)
{
    PlayerName = std::move(playerName);
    SetProtocol(ProtocolXboard);
    SetTransport(this);
    clsClientTiming timing;
    timing.SendDelayMs = 0; // commands are carried out at once
    SetTiming(timing);
}

clsFixedTimePlayer::~clsFixedTimePlayer()
{
    engine_.StopRequest();
}

bool clsFixedTimePlayer::Start()
{
    Ended = false;
    Ready = true;
    return true;
}

void clsFixedTimePlayer::Stop()
{
    Quit();
    Ended = true;
}

void clsFixedTimePlayer::Quit()
{
    engine_.StopRequest();
    thinking_ = false;
    Ready = false;
}

void clsFixedTimePlayer::StartThink()
{
    engine_.StopRequest();
    engine_.Start();
    thinking_ = true;
    deadline_ = dranbase::Tick() + msPerMove_;
}

void clsFixedTimePlayer::FinishThink()
{
    engine_.StopRequest();
    thinking_ = false;
    const std::string move = engine_.TakeMoveText(true);
    // Its own engine makes the move at once; a text that names no move the referee refuses.
    if (!move.empty()) engine_.ApplyMoveText(move);
    replies_.push_back("move " + move);
}

bool clsFixedTimePlayer::ReadLine(std::string& line, std::int64_t& arrival)
{
    if (thinking_ && dranbase::Tick() >= deadline_) FinishThink();
    if (replies_.empty()) return false;
    line = std::move(replies_.front());
    replies_.pop_front();
    arrival = dranbase::Tick();
    return true;
}

bool clsFixedTimePlayer::WriteLine(std::string_view text)
{
    if (Ended) return false;
    const std::string word = dranbase::SplitFirst(dranbase::Trim(std::string(text)), ' ').first;
    if (dranbase::EqualsNoCase(word, "go")) {
        StartThink();
    } else if (!word.empty() && !dranbase::EqualsNoCase(word, "time")
        && !dranbase::EqualsNoCase(word, "otim")) {
        // The opponent's move, made on the engine: then it is this player's turn. One the
        // engine refuses leaves the player unable to go on, which ends it.
        if (!engine_.ApplyMoveText(word)) {
            Ended = true;
            return false;
        }
        StartThink();
    }
    return true;
}

bool clsFixedTimePlayer::WaitForLine(std::int64_t timeoutMs)
{
    if (!replies_.empty()) return true;
    std::int64_t wait = std::max<std::int64_t>(timeoutMs, 0);
    if (thinking_) wait = std::min(wait, deadline_ - dranbase::Tick());
    dranbase::SleepMs(wait);
    return !replies_.empty() || (thinking_ && dranbase::Tick() >= deadline_);
}

} // namespace drnChess
