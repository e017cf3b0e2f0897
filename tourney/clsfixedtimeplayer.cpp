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

std::string clsFixedTimePlayer::ReadResponse()
{
    if (thinking_ && dranbase::Tick() >= deadline_) FinishThink();
    if (replies_.empty()) return {};
    std::string line = std::move(replies_.front());
    replies_.pop_front();
    ++LinesRead;
    LastLineTick = dranbase::Tick();
    Log("<---\t" + line);
    return ParseResponse(line);
}

void clsFixedTimePlayer::Send(const std::string& text)
{
    Log("--->\t" + text);
    LastSendTick = dranbase::Tick();
    if (Ended) return;
    auto [word, rest] = dranbase::SplitFirst(dranbase::Trim(text), ' ');
    if (dranbase::EqualsNoCase(word, "go")) {
        StartThink();
    } else if (!word.empty() && !dranbase::EqualsNoCase(word, "time")
        && !dranbase::EqualsNoCase(word, "otim")) {
        // The opponent's move, made on the engine: then it is this player's turn. One the
        // engine refuses leaves the player unable to go on, which ends it.
        if (!engine_.ApplyMoveText(word)) {
            Ended = true;
            return;
        }
        StartThink();
    }
}

bool clsFixedTimePlayer::WaitForReply(std::int64_t timeoutMs)
{
    if (!replies_.empty()) return true;
    std::int64_t wait = std::max<std::int64_t>(timeoutMs, 0);
    if (thinking_) wait = std::min(wait, deadline_ - dranbase::Tick());
    dranbase::SleepMs(wait);
    return !replies_.empty() || (thinking_ && dranbase::Tick() >= deadline_);
}

} // namespace drnChess
