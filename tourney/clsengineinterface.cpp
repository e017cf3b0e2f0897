#include "tourney/clsengineinterface.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "dranbase/clsthread.h"

namespace drnChess {

namespace {

    // The handshake wakes at least this often to judge whether the engine has said all.
    constexpr std::int64_t HandshakeWaitSliceMs = 5;

    std::string QuotedName(const std::string& name)
    {
        std::string q = "'";
        for (char c : name)
            q += c == '\'' ? std::string("''") : std::string(1, c);
        return q + "'";
    }

} // namespace

void clsEngineInterface::Log(const std::string& text)
{
    if (Owner)
        Owner->GameLog(Colour, text);
    else
        dranbase::Output().Write("# =====>\t" + PlayerName + ":\t" + text, true);
}

bool clsEngineInterface::WaitForReply(std::int64_t timeoutMs)
{
    if (transport_) return transport_->WaitForLine(timeoutMs);
    dranbase::SleepMs(std::min<std::int64_t>(timeoutMs, 1));
    return false;
}

std::string clsEngineInterface::ReadResponse()
{
    if (!transport_) return {};
    std::string line;
    std::int64_t arrival = dranbase::Tick();
    if (!transport_->ReadLine(line, arrival)) return {};
    LastLineTick = arrival;
    ++LinesRead;
    Log("<---\t" + line);
    return ParseResponse(line);
}

void clsEngineInterface::Send(const std::string& text)
{
    Log("--->\t" + text);
    // Stamped as the write begins: a reply cannot arrive before it, so no move's time is
    // negative when the writer is held up between its write and its next look at the clock.
    LastSendTick = dranbase::Tick();
    if (transport_) transport_->WriteLine(text);
    dranbase::SleepMs(timing_.SendDelayMs);
}

void clsEngineInterface::SetProtocol(int protocol)
{
    protocol_ = protocol;
    dialogue_ = MakeDialogue(protocol);
}

void clsEngineInterface::Ping()
{
    Ready = false;
    dialogue_->Ping(*this);
}

std::string clsEngineInterface::LevelCommand(std::int64_t baseMs, std::int64_t incrementMs)
{
    std::string base = std::to_string(baseMs / 60000);
    if (std::int64_t rest = baseMs % 60000; rest != 0) {
        char seconds[8];
        std::snprintf(seconds, sizeof seconds, ":%02d", static_cast<int>(rest / 1000));
        base += seconds;
    }
    // The increment in seconds as the player gets it: whole seconds bare, else with the
    // fraction ("0.1", "2.5"), never rounded away.
    std::string increment = std::to_string(incrementMs / 1000);
    if (std::int64_t ms = incrementMs % 1000; ms != 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms));
        std::string f = fraction;
        while (f.back() == '0')
            f.pop_back();
        increment += f;
    }
    return "level 0 " + base + " " + increment;
}

void clsEngineInterface::Configure()
{
    dialogue_->Configure(*this);
}

std::int64_t clsEngineInterface::MoveTimeMs() const
{
    return dialogue_->MoveTimeMs(*this);
}

void clsEngineInterface::NewGame()
{
    MovesPlayed.clear();
    for (const std::string& move : dranbase::SplitFields(OpeningMoves))
        MovesPlayed += move + " ";
    Forced = false;
    LastScore = {}; // nothing said in an earlier game counts for this one
    dialogue_->NewGame(*this);
}

void clsEngineInterface::SetClocks(
    std::int64_t whiteTime, std::int64_t blackTime, std::int64_t whiteIncrement, std::int64_t blackIncrement)
{
    bool white = Colour == 0;
    OwnTime = white ? whiteTime : blackTime;
    OwnIncrement = white ? whiteIncrement : blackIncrement;
    OpponentTime = white ? blackTime : whiteTime;
    OpponentIncrement = white ? blackIncrement : whiteIncrement;
}

void clsEngineInterface::StartThinking()
{
    dialogue_->StartThinking(*this);
}

void clsEngineInterface::SendMove(const std::string& move, int moverColour)
{
    MovesPlayed += move + " ";
    if (moverColour == Colour) return;
    dialogue_->PassMove(*this, move);
}

void clsEngineInterface::SendQuietMove(const std::string& move)
{
    MovesPlayed += move + " ";
    dialogue_->PassQuietMove(*this, move);
}

// Rules for one line of the engine (keywords ignore case):
//   xboard "pong N"     the ping numbered N is answered: ready when N is the last ping sent
//                       (no number counts as 0), not ready otherwise.
//   xboard "move X"     gives "move x" (lower case).
//   xboard "feature .." stores each name=value; done=0 holds readiness until a done=1,
//                       ping=1 makes the engine use pings and sends one at once, so that
//                       readiness waits for its pong. Without those, a feature line makes the
//                       engine ready.
//   xboard "1-0 ..", "0-1 ..", "1/2-1/2 .." (a first word starting with a digit whose
//                       second character is '-' or '/') gives "result " + that word;
//                       "resign" gives the result of this player's loss.
//   UCI "uciok", "readyok" make the engine ready; "bestmove X [ponder Y]" gives "move x
//                       [ponder y]".
//   UCI "info .. score ..", xboard thinking lines "ply score time nodes pv": the score and depth
//                       are kept in LastScore.
// Everything else (and those: "Illegal move: ..", "id ..") gives nothing.
std::string clsEngineInterface::ParseResponse(std::string_view line)
{
    auto [word, rest] = dranbase::SplitFirst(line, ' ');
    return dialogue_->Parse(*this, word, rest);
}

bool BeginHandshake(clsEngineInterface& engine, int colour, std::int64_t baseTimeMs, std::int64_t incrementMs)
{
    // 1. Colour and clocks.
    engine.Colour = colour;
    engine.SetClocks(baseTimeMs, baseTimeMs, incrementMs, incrementMs);
    engine.HandshakeSince = 0;
    if (engine.Ready) return true;

    // 2. Start the player and give it a moment to come up. One that cannot be started is
    // not ready (nothing would ever answer it).
    if (!engine.Start()) {
        engine.Ready = false;
        return false;
    }
    engine.Log("waiting for " + QuotedName(engine.PlayerName) + " initialization...");
    dranbase::SleepMs(engine.Timing().StartDelayMs);

    // 3. Ask for the protocol.
    engine.AskProtocol();
    engine.HandshakeSince = dranbase::Tick();
    return true;
}

bool FinishHandshake(clsEngineInterface& engine)
{
    // 4. Wait for readiness, until the protocol says the engine has said all it will.
    if (const std::int64_t start = std::exchange(engine.HandshakeSince, 0); start != 0) {
        for (;;) {
            std::int64_t waited = dranbase::Tick() - start;
            if (waited >= engine.Timing().HandshakeMs) break;
            if (engine.Ready && engine.HandshakeSettled(waited)) break;
            std::int64_t linesBefore = engine.LinesRead;
            if (!engine.ReadResponse().empty()) break; // a move or result ends the wait
            if (engine.LinesRead == linesBefore) {
                if (engine.Ended) break; // gone, and nothing of it is left to read
                engine.WaitForReply(HandshakeWaitSliceMs);
            }
        }
    }

    // 5. Ready: its options, then the game can start.
    if (!engine.Ready) return false;
    engine.Configure();
    engine.NewGame();
    return true;
}

bool Handshake(clsEngineInterface& engine, int colour, std::int64_t baseTimeMs, std::int64_t incrementMs)
{
    return BeginHandshake(engine, colour, baseTimeMs, incrementMs) && FinishHandshake(engine);
}

} // namespace drnChess
