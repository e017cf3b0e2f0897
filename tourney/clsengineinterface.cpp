#include "tourney/clsengineinterface.h"

#include <cstdio>

#include "dranbase/clsthread.h"

namespace drnChess {

using dranbase::EqualsNoCase;
using dranbase::ToInt;

namespace {

    // The name=value pairs of a feature line. A value in double quotes may hold blanks (the
    // quotes are dropped); otherwise it runs to the next blank. A name without "=" gets an
    // empty value.
    std::vector<std::pair<std::string, std::string>> FeaturePairs(std::string_view s)
    {
        std::vector<std::pair<std::string, std::string>> pairs;
        std::size_t i = 0;
        while (i < s.size()) {
            while (i < s.size() && s[i] == ' ')
                ++i;
            std::size_t b = i;
            while (i < s.size() && s[i] != '=' && s[i] != ' ')
                ++i;
            std::string name(s.substr(b, i - b));
            std::string value;
            if (i < s.size() && s[i] == '=') {
                ++i;
                if (i < s.size() && s[i] == '"') {
                    b = ++i;
                    while (i < s.size() && s[i] != '"')
                        ++i;
                    value = std::string(s.substr(b, i - b));
                    if (i < s.size()) ++i;
                } else {
                    b = i;
                    while (i < s.size() && s[i] != ' ')
                        ++i;
                    value = std::string(s.substr(b, i - b));
                }
            }
            if (!name.empty()) pairs.emplace_back(std::move(name), std::move(value));
        }
        return pairs;
    }

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

void clsEngineInterface::Ping()
{
    Ready = false;
    if (Protocol == ProtocolUci) {
        AwaitingPong = true;
        Send("isready");
        return;
    }
    if (!UsePing) {
        Ready = true;
        return;
    }
    ++PingCounter;
    AwaitingPong = true;
    Send("ping " + std::to_string(PingCounter));
}

std::string clsEngineInterface::LevelCommand(std::int64_t baseMs, std::int64_t incrementMs)
{
    std::string base = std::to_string(baseMs / 60000);
    if (std::int64_t rest = baseMs % 60000; rest != 0) {
        char seconds[8];
        std::snprintf(seconds, sizeof seconds, ":%02d", static_cast<int>(rest / 1000));
        base += seconds;
    }
    return "level 0 " + base + " " + std::to_string(incrementMs / 1000);
}

void clsEngineInterface::NewGame()
{
    MovesPlayed.clear();
    if (Protocol == ProtocolUci) {
        Send("ucinewgame");
        Send("position startpos");
        Ping();
        return;
    }
    Send("new");
    Send("post");
    Send(LevelCommand(OwnTime, OwnIncrement));
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
    if (Protocol == ProtocolUci) {
        bool white = Colour == 0;
        Send("go wtime " + std::to_string(white ? OwnTime : OpponentTime) + " btime "
            + std::to_string(white ? OpponentTime : OwnTime) + " winc "
            + std::to_string(white ? OwnIncrement : OpponentIncrement) + " binc "
            + std::to_string(white ? OpponentIncrement : OwnIncrement));
        return;
    }
    Send("time " + std::to_string(OwnTime / 10));
    Send("otim " + std::to_string(OpponentTime / 10));
    Send("go");
}

void clsEngineInterface::SendMove(const std::string& move, int moverColour)
{
    MovesPlayed += move + " ";
    if (moverColour == Colour) return;
    if (Protocol == ProtocolUci) {
        Send("position startpos" + (MovesPlayed.empty() ? std::string() : " moves " + MovesPlayed));
        StartThinking();
        return;
    }
    Send("time " + std::to_string(OwnTime / 10));
    Send("otim " + std::to_string(OpponentTime / 10));
    Send(move);
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
// Everything else (thinking output, "info", "Illegal move: ..", "id ..") gives nothing.
std::string clsEngineInterface::ParseResponse(std::string_view line)
{
    auto [word, rest] = dranbase::SplitFirst(line, ' ');
    if (Protocol == ProtocolUci) {
        if (EqualsNoCase(word, "uciok") || EqualsNoCase(word, "readyok")) {
            AwaitingPong = false;
            Ready = true;
        } else if (EqualsNoCase(word, "bestmove")) {
            return "move " + dranbase::ToLower(rest);
        }
        return {};
    }

    if (EqualsNoCase(word, "pong")) {
        std::string number = dranbase::SplitFirst(dranbase::Trim(rest), ' ').first;
        bool matches = number.empty() ? PingCounter == 0 : ToInt(number) == PingCounter;
        if (matches) AwaitingPong = false;
        Ready = matches && !AwaitingDone;
        return {};
    }
    if (EqualsNoCase(word, "move")) return "move " + dranbase::ToLower(rest);
    if (EqualsNoCase(word, "feature")) {
        bool pingAnnounced = false;
        for (auto& [name, value] : FeaturePairs(rest)) {
            if (EqualsNoCase(name, "done")) {
                DoneAnnounced = true;
                AwaitingDone = ToInt(value) == 0;
            } else if (EqualsNoCase(name, "ping")) {
                UsePing = ToInt(value) != 0;
                pingAnnounced = UsePing;
                if (!UsePing) AwaitingPong = false;
            }
            Features.Set(name, std::move(value));
        }
        Ready = !AwaitingDone && !AwaitingPong;
        if (pingAnnounced) Ping();
        return {};
    }
    if (EqualsNoCase(word, "resign")) return std::string("result ") + (Colour == 0 ? "0-1" : "1-0");
    if (word.size() >= 2 && word[0] >= '0' && word[0] <= '9' && (word[1] == '-' || word[1] == '/'))
        return "result " + word;
    return {};
}

bool Handshake(clsEngineInterface& engine, int colour, std::int64_t baseTimeMs, std::int64_t incrementMs)
{
    // 1. Colour and clocks.
    engine.Colour = colour;
    engine.SetClocks(baseTimeMs, baseTimeMs, incrementMs, incrementMs);

    if (!engine.Ready) {
        // 2. Start the player and give it a moment to come up. One that cannot be started is
        // not ready (nothing would ever answer it).
        if (!engine.Start()) {
            engine.Ready = false;
            return false;
        }
        engine.Log("waiting for " + QuotedName(engine.PlayerName) + " initialization...");
        dranbase::SleepMs(engine.Timing().StartDelayMs);

        // 3. Ask for the protocol. An xboard engine counts as ready unless its features say
        // otherwise (done=0, ping=1).
        if (engine.Protocol == ProtocolUci) {
            engine.Send("uci");
        } else {
            engine.UsePing = false;
            engine.DoneAnnounced = false;
            engine.AwaitingDone = false;
            engine.AwaitingPong = false;
            engine.Send("xboard");
            engine.Send("protover 2");
            engine.Ready = true;
        }

        // 4. Wait for readiness. An xboard engine that announces nothing about done within the
        // feature wait is an engine of the old protocol and counts as ready as it is.
        const std::int64_t start = dranbase::Tick();
        for (;;) {
            std::int64_t waited = dranbase::Tick() - start;
            if (waited >= engine.Timing().HandshakeMs) break;
            if (engine.Ready) {
                if (engine.Protocol == ProtocolUci || engine.DoneAnnounced) break;
                if (waited >= engine.Timing().FeatureWaitMs) break;
            }
            std::int64_t linesBefore = engine.LinesRead;
            if (!engine.ReadResponse().empty()) break; // a move or result ends the wait
            if (engine.LinesRead == linesBefore) {
                if (engine.Ended) break; // gone, and nothing of it is left to read
                dranbase::SleepMs(1);
            }
        }
    }

    // 5. Ready: the game can start.
    if (!engine.Ready) return false;
    engine.NewGame();
    return true;
}

} // namespace drnChess
