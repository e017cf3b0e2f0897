#include "tourney/protocols.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "dranbase/clsstring.h"
#include "engine/searchreport.h"
#include "rules/movewriter.h"
#include "tourney/clsengineinterface.h"

namespace drnChess {

using dranbase::EqualsNoCase;
using dranbase::ToInt;

std::string XboardThinkingLine(const clsIterationReport& r)
{
    int score = r.scoreCp;
    if (r.mateMoves > 0) score = 100000 + r.mateMoves;
    if (r.mateMoves < 0) score = -100000 + r.mateMoves;
    std::string line = std::to_string(r.depth) + " " + std::to_string(score) + " " + std::to_string(r.ms / 10)
        + " " + std::to_string(r.nodes);
    for (const clsMove& m : r.pv)
        line += " " + CoordinateText(m);
    return line;
}

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

    // "position startpos" or "position fen <FEN>", with the moves played when there are any.
    std::string UciPosition(const clsEngineInterface& e)
    {
        std::string text
            = e.StartFEN.empty() ? std::string("position startpos") : "position fen " + e.StartFEN;
        if (!e.MovesPlayed.empty()) text += " moves " + e.MovesPlayed;
        return text;
    }

} // namespace

std::unique_ptr<clsProtocolDialogue> MakeDialogue(int protocol)
{
    if (protocol == ProtocolUci) return std::make_unique<clsUciDialogue>();
    return std::make_unique<clsXboardDialogue>();
}

// --- xboard --------------------------------------------------------------------------------------

void clsXboardDialogue::AskProtocol(clsEngineInterface& e) const
{
    // An xboard engine counts as ready unless its features say otherwise (done=0, ping=1).
    e.UsePing = false;
    e.DoneAnnounced = false;
    e.AwaitingDone = false;
    e.AwaitingPong = false;
    e.Send("xboard");
    e.Send("protover 2");
    e.Ready = true;
}

bool clsXboardDialogue::HandshakeSettled(const clsEngineInterface& e, std::int64_t waitedMs) const
{
    // An engine that announces nothing about done within the feature wait is an engine of the
    // old protocol and counts as ready as it is.
    return e.DoneAnnounced || waitedMs >= e.Timing().FeatureWaitMs;
}

void clsXboardDialogue::Ping(clsEngineInterface& e) const
{
    if (!e.UsePing) {
        e.Ready = true;
        return;
    }
    ++e.PingCounter;
    e.AwaitingPong = true;
    e.Send("ping " + std::to_string(e.PingCounter));
}

namespace {

    // The position of a FEN in edit mode, for engines that announced setboard=0: the pieces of
    // each colour ("Pa2", ...), White first; Black to move is reached by a first move before the
    // edit, as the protocol prescribes (castling and en passant rights are the engine's guess).
    std::vector<std::string> EditCommands(const std::string& fen)
    {
        std::vector<std::string> commands;
        const auto fields = dranbase::SplitFields(fen);
        if (fields.size() > 1 && fields[1] == "b") commands.push_back("a2a3");
        commands.push_back("edit");
        commands.push_back("#");
        std::vector<std::string> black;
        int rank = 8, file = 0;
        for (char c : fields.empty() ? std::string() : fields[0]) {
            if (c == '/') {
                --rank;
                file = 0;
            } else if (c >= '1' && c <= '8') {
                file += c - '0';
            } else if (std::isalpha(static_cast<unsigned char>(c)) && file < 8 && rank >= 1) {
                const std::string square { static_cast<char>('a' + file), static_cast<char>('0' + rank) };
                const char piece = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                (std::isupper(static_cast<unsigned char>(c)) ? commands : black).push_back(piece + square);
                ++file;
            }
        }
        commands.push_back("c");
        commands.insert(commands.end(), black.begin(), black.end());
        commands.push_back(".");
        return commands;
    }

    // A move as the engine wants it: after "usermove" when its features asked for that.
    std::string MoveCommand(const clsEngineInterface& e, const std::string& move)
    {
        return e.Features.Value("usermove") == "1" ? "usermove " + move : move;
    }

} // namespace

void clsXboardDialogue::Configure(clsEngineInterface& e) const
{
    // Sent whether or not the engine offered the option: one that does not know it says so in
    // the game's log, and nothing else changes.
    for (const auto& [name, value] : e.EngineOptions)
        e.Send("option " + name + (value.empty() ? "" : "=" + value)); // no value: a button
}

std::int64_t XboardMoveSeconds(std::int64_t moveMs)
{
    return std::max<std::int64_t>(1, (moveMs + 500) / 1000);
}

std::int64_t clsXboardDialogue::MoveTimeMs(const clsEngineInterface& e) const
{
    return XboardMoveSeconds(e.Limits.moveMs) * 1000;
}

void clsXboardDialogue::NewGame(clsEngineInterface& e) const
{
    e.Send("new");
    e.Send("post");
    if (e.Limits.OnGameClock())
        e.Send(clsEngineInterface::LevelCommand(e.OwnTime, e.OwnIncrement));
    else // a time per move, or without a clock the hang guard as the longest a move may take
        e.Send("st "
            + std::to_string(
                e.Limits.moveMs > 0 ? XboardMoveSeconds(e.Limits.moveMs) : NoClockGuardMs / 1000));
    if (e.Limits.depth > 0) e.Send("sd " + std::to_string(e.Limits.depth));
    if (e.StartFEN.empty() && e.OpeningMoves.empty()) return;
    // A set-up position and the opening are entered in force mode: the engine plays on once it
    // is told "go" (the first mover at once, the other after the first move it is passed).
    e.Send("force");
    e.Forced = true;
    if (!e.StartFEN.empty()) {
        if (e.Features.Value("setboard") != "0")
            e.Send("setboard " + e.StartFEN);
        else
            for (const std::string& command : EditCommands(e.StartFEN))
                e.Send(command);
    }
    for (const std::string& move : dranbase::SplitFields(e.OpeningMoves))
        e.Send(MoveCommand(e, move));
}

namespace {
    // The clocks before a move, for an engine on the game's clock.
    void SendXboardClocks(clsEngineInterface& e)
    {
        if (!e.Limits.OnGameClock()) return;
        e.Send("time " + std::to_string(e.OwnTime / 10));
        e.Send("otim " + std::to_string(e.OpponentTime / 10));
    }
} // namespace

void clsXboardDialogue::StartThinking(clsEngineInterface& e) const
{
    SendXboardClocks(e);
    e.Send("go");
    e.Forced = false;
}

void clsXboardDialogue::PassMove(clsEngineInterface& e, const std::string& move) const
{
    SendXboardClocks(e);
    e.Send(MoveCommand(e, move));
    if (e.Forced) {
        // Still in force mode from the opening: "go" makes it play the side to move, itself.
        e.Send("go");
        e.Forced = false;
    }
}

void clsXboardDialogue::PassQuietMove(clsEngineInterface& e, const std::string& move) const
{
    // In force mode the engine plays the move for either side and waits; the next passed move
    // or "go" ends it.
    if (!e.Forced) {
        e.Send("force");
        e.Forced = true;
    }
    e.Send(MoveCommand(e, move));
}

std::string clsXboardDialogue::Parse(
    clsEngineInterface& e, std::string_view word, std::string_view rest) const
{
    if (EqualsNoCase(word, "pong")) {
        std::string number = dranbase::SplitFirst(dranbase::Trim(rest), ' ').first;
        bool matches = number.empty() ? e.PingCounter == 0 : ToInt(number) == e.PingCounter;
        if (matches) e.AwaitingPong = false;
        e.Ready = matches && !e.AwaitingDone;
        return {};
    }
    if (EqualsNoCase(word, "move")) return "move " + dranbase::ToLower(rest);
    if (EqualsNoCase(word, "feature")) {
        bool pingAnnounced = false;
        for (auto& [name, value] : FeaturePairs(rest)) {
            if (EqualsNoCase(name, "done")) {
                e.DoneAnnounced = true;
                e.AwaitingDone = ToInt(value) == 0;
            } else if (EqualsNoCase(name, "ping")) {
                e.UsePing = ToInt(value) != 0;
                pingAnnounced = e.UsePing;
                if (!e.UsePing) e.AwaitingPong = false;
            }
            e.Features.Set(name, std::move(value));
        }
        e.Ready = !e.AwaitingDone && !e.AwaitingPong;
        if (pingAnnounced) e.Ping();
        return {};
    }
    if (EqualsNoCase(word, "resign")) return std::string("result ") + (e.Colour == 0 ? "0-1" : "1-0");
    if (word.size() >= 2 && word[0] >= '0' && word[0] <= '9' && (word[1] == '-' || word[1] == '/'))
        return "result " + std::string(word);
    // A thinking line: "ply score time nodes pv".
    ReadXboardThinking(std::string(word) + " " + std::string(rest), e.LastScore);
    return {};
}

// --- UCI -----------------------------------------------------------------------------------------

void clsUciDialogue::AskProtocol(clsEngineInterface& e) const
{
    e.Send("uci");
}

bool clsUciDialogue::HandshakeSettled(const clsEngineInterface&, std::int64_t) const
{
    return true; // "uciok" is the whole answer
}

void clsUciDialogue::Ping(clsEngineInterface& e) const
{
    e.AwaitingPong = true;
    e.Send("isready");
}

void clsUciDialogue::Configure(clsEngineInterface& e) const
{
    for (const auto& [name, value] : e.EngineOptions)
        e.Send("setoption name " + name + (value.empty() ? "" : " value " + value)); // no value: a button
}

std::int64_t clsUciDialogue::MoveTimeMs(const clsEngineInterface& e) const
{
    return e.Limits.moveMs;
}

void clsUciDialogue::NewGame(clsEngineInterface& e) const
{
    e.Send("ucinewgame");
    e.Send(UciPosition(e));
    e.Ping();
}

void clsUciDialogue::StartThinking(clsEngineInterface& e) const
{
    const bool white = e.Colour == 0;
    std::string go = "go";
    if (e.Limits.moveMs > 0)
        go += " movetime " + std::to_string(e.Limits.moveMs);
    else if (e.Limits.clock)
        go += " wtime " + std::to_string(white ? e.OwnTime : e.OpponentTime) + " btime "
            + std::to_string(white ? e.OpponentTime : e.OwnTime) + " winc "
            + std::to_string(white ? e.OwnIncrement : e.OpponentIncrement) + " binc "
            + std::to_string(white ? e.OpponentIncrement : e.OwnIncrement);
    if (e.Limits.nodes > 0) go += " nodes " + std::to_string(e.Limits.nodes);
    if (e.Limits.depth > 0) go += " depth " + std::to_string(e.Limits.depth);
    e.Send(go);
}

void clsUciDialogue::PassMove(clsEngineInterface& e, const std::string&) const
{
    e.Send(UciPosition(e));
    StartThinking(e);
}

void clsUciDialogue::PassQuietMove(clsEngineInterface&, const std::string&) const
{
    // Nothing to send: the next "position" carries every move.
}

std::string clsUciDialogue::Parse(clsEngineInterface& e, std::string_view word, std::string_view rest) const
{
    if (EqualsNoCase(word, "uciok") || EqualsNoCase(word, "readyok")) {
        e.AwaitingPong = false;
        e.Ready = true;
    } else if (EqualsNoCase(word, "bestmove")) {
        return "move " + dranbase::ToLower(rest);
    } else if (EqualsNoCase(word, "info")) {
        ReadUciInfo(rest, e.LastScore);
    }
    return {};
}

} // namespace drnChess
