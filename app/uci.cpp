// UCI mode: entered when the first command is "uci"; from then on the program speaks UCI only.
// Comment lines of the rest of the program ("# ...") go to standard error in this mode.

#include <algorithm>
#include <vector>

#include "app/clscorvala.h"
#include "app/ucigo.h"
#include "engine/souls.h"
#include "engine/weightsfile.h"
#include "rules/fencheck.h"

namespace drnChess {

using dranbase::EqualsNoCase;
using dranbase::SplitFields;
using dranbase::ToInt;
using dranbase::Trim;

namespace {

    constexpr int MaxMoveOverheadMs = 5000;

    // The coordinate text UCI uses: the promotion letter follows the squares ("e7e8q").
    std::string UciMoveText(const clsMove& move)
    {
        std::string text = MoveToText(move, false);
        std::erase(text, '=');
        return text;
    }

    bool IsWholeNumber(const std::string& text)
    {
        const std::string t = Trim(text);
        const std::size_t start = !t.empty() && t[0] == '-' ? 1 : 0;
        return t.size() > start && t.size() < 19
            && t.find_first_not_of("0123456789", start) == std::string::npos;
    }

} // namespace

clsGoRequest ParseGo(const std::string& rest)
{
    clsGoRequest go;
    const auto words = SplitFields(rest);
    auto number = [&](std::size_t& i) -> std::int64_t {
        return i + 1 < words.size() ? std::clamp<std::int64_t>(ToInt(words[++i]), -MaxTimeMs, MaxTimeMs) : 0;
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (EqualsNoCase(w, "wtime")) {
            go.time[White] = number(i);
            go.clockGiven[White] = true;
        } else if (EqualsNoCase(w, "btime")) {
            go.time[Black] = number(i);
            go.clockGiven[Black] = true;
        } else if (EqualsNoCase(w, "winc"))
            go.increment[White] = number(i);
        else if (EqualsNoCase(w, "binc"))
            go.increment[Black] = number(i);
        else if (EqualsNoCase(w, "movestogo"))
            go.movesToGo = number(i);
        else if (EqualsNoCase(w, "movetime")) {
            go.moveTime = number(i);
            go.moveTimeGiven = true;
        } else if (EqualsNoCase(w, "depth")) {
            go.depth = static_cast<int>(std::clamp<std::int64_t>(number(i), 0, 1000));
            go.depthGiven = true;
        } else if (EqualsNoCase(w, "nodes")) {
            go.nodes = static_cast<std::uint64_t>(std::max<std::int64_t>(number(i), 0));
            go.nodesGiven = true;
        } else if (EqualsNoCase(w, "mate"))
            go.mate = static_cast<int>(std::clamp<std::int64_t>(number(i), 0, 500));
        else if (EqualsNoCase(w, "infinite"))
            go.infinite = true;
        else if (EqualsNoCase(w, "ponder"))
            go.ponder = true;
        else if (EqualsNoCase(w, "searchmoves")) {
            // The moves run to the next word that is not a move.
            while (i + 1 < words.size() && words[i + 1].size() >= 4 && words[i + 1][1] >= '1'
                && words[i + 1][1] <= '8')
                go.searchMoves.push_back(words[++i]);
        }
    }
    return go;
}

bool clsGoRequest::MovesAtOnce(int side) const
{
    if (infinite || ponder) return false;
    return (clockGiven[side] && time[side] <= 0) || (moveTimeGiven && moveTime <= 0)
        || (depthGiven && depth <= 0) || (nodesGiven && nodes == 0);
}

void clsCorvala::EnterUci()
{
    uciMode_ = true;
    dranbase::Output().SetCommentsToStderr(true);
    dranbase::Output().Release();
    engine_->verbose = false;
    // UCI has no earlier behaviour to keep: it plays at full strength unless told otherwise.
    if (!options_.Has("-search") && !options_.Has("search")) engine_->options.Set("-search", "strong");
    uciSearch_ = engine_->UseStrongSearch() ? "strong" : "classic";
    engine_->SetIterationListener([this](const clsIterationReport& r) { PrintUciInfo(r); });
}

void clsCorvala::UciLoop()
{
    UciCommand("uci");
    while (!Cancelled()) {
        // The best move goes out once per "go", when the think has ended and the GUI is not
        // waiting for "stop" or "ponderhit" (an infinite or pondering think holds it back).
        if (uciSearching_ && !uciHoldBestMove_ && !engine_->IsRunning()) SendBestMove();
        Sleep(1);
        const std::string line = dranbase::ReadConsoleLine(false);
        if (!line.empty() && UciCommand(line) == QuitCode) {
            dranbase::ConsoleInput().Cancel();
            return;
        }
    }
}

int clsCorvala::UciCommand(const std::string& line)
{
    const std::string text = Trim(line);
    LogCommand(text, "");
    const auto [word, rest] = dranbase::SplitFirst(text, ' ');
    if (EqualsNoCase(word, "uci")) {
        Print(std::string("id name ") + ProgramVersion);
        Print("id author the Corvala developers");
        Print("option name Hash type spin default " + std::to_string(defaultHashMiB_) + " min 1 max "
            + std::to_string(MaxHashMiB()));
        Print("option name Clear Hash type button");
        Print("option name Threads type spin default 1 min 1 max "
            + std::to_string(clsEngine::MaxStrongThreads));
        Print("option name Ponder type check default false");
        Print("option name MultiPV type spin default 1 min 1 max 64");
        Print("option name Search type combo default " + uciSearch_ + " var classic var strong");
        Print("option name Soul type string default " + engine_->SoulName());
        Print("option name Weights type string default handset");
        Print(std::string("option name OwnBook type check default ")
            + (engine_->UsesBook() ? "true" : "false"));
        Print("option name BookFile type string default " + uciBookFile_);
        Print(std::string("option name BookBest type check default ")
            + (engine_->polyglotBest ? "true" : "false"));
        Print("option name Move Overhead type spin default " + std::to_string(moveOverheadMs_) + " min 0 max "
            + std::to_string(MaxMoveOverheadMs));
        Print("uciok");
    } else if (EqualsNoCase(word, "isready")) {
        if (!engine_->IsRunning()) engine_->PrepareSearch();
        Print("readyok");
    } else if (EqualsNoCase(word, "debug")) {
        // Accepted; the engine has no extra UCI diagnostics to show.
    } else if (EqualsNoCase(word, "setoption")) {
        UciSetOption(Trim(rest));
    } else if (EqualsNoCase(word, "ucinewgame")) {
        StopUciThink();
        session_->SetPosition(StartFEN);
        session_->ClearHistory();
        share_.Clear();
        engine_->NewGame();
    } else if (EqualsNoCase(word, "position")) {
        StopUciThink();
        UciPosition(Trim(rest));
    } else if (EqualsNoCase(word, "go")) {
        StopUciThink();
        UciGo(rest);
    } else if (EqualsNoCase(word, "stop")) {
        uciHoldBestMove_ = false;
        engine_->StopRequest();
        if (uciSearching_) SendBestMove();
    } else if (EqualsNoCase(word, "ponderhit")) {
        // The move pondered on was played: the think now runs on the clock it was given.
        uciHoldBestMove_ = false;
        if (engine_->IsRunning()) engine_->SetDeadlineFromNow(uciPonderBudget_.planMs);
    } else if (EqualsNoCase(word, "quit")) {
        StopUciThink();
        return QuitCode;
    } else {
        Print("info string unknown command: " + word);
    }
    return 0;
}

void clsCorvala::StopUciThink()
{
    // A think still running is ended and its move discarded: the GUI is moving on.
    if (!uciSearching_) return;
    uciHoldBestMove_ = false;
    engine_->StopRequest();
    SendBestMove();
}

void clsCorvala::UciSetOption(const std::string& rest)
{
    // "name N [value V]"; names may hold blanks ("Clear Hash", "Move Overhead").
    std::string name = rest;
    std::string value;
    if (name.size() >= 5 && EqualsNoCase(name.substr(0, 5), "name ")) name = name.substr(5);
    const std::string lower = dranbase::ToLower(name);
    const std::size_t at = lower.find(" value ");
    if (at != std::string::npos) {
        value = Trim(name.substr(at + 7));
        name = name.substr(0, at);
    }
    name = Trim(name);
    auto refuse = [&](const std::string& why) { Print("info string option " + name + ": " + why); };
    if (engine_->IsRunning()) {
        refuse("not while thinking");
    } else if (EqualsNoCase(name, "Hash")) {
        if (!IsWholeNumber(value) || ToInt(value) < 1 || ToInt(value) > MaxHashMiB())
            refuse("'" + value + "' is not a size from 1 to " + std::to_string(MaxHashMiB()) + " MiB");
        else
            SetHashSize(ToInt(value));
    } else if (EqualsNoCase(name, "Clear Hash")) {
        engine_->ClearTables();
    } else if (EqualsNoCase(name, "Threads")) {
        if (!IsWholeNumber(value) || ToInt(value) < 1 || ToInt(value) > clsEngine::MaxStrongThreads)
            refuse("'" + value + "' is not a count from 1 to " + std::to_string(clsEngine::MaxStrongThreads));
        else
            engine_->options.Set("threads", Trim(value));
    } else if (EqualsNoCase(name, "MultiPV")) {
        if (!IsWholeNumber(value) || ToInt(value) < 1 || ToInt(value) > 64)
            refuse("'" + value + "' is not a count from 1 to 64");
        else
            engine_->options.Set("multipv", Trim(value));
    } else if (EqualsNoCase(name, "Ponder")) {
        // The GUI's permission to send "go ponder": nothing to change here, a pondering think
        // runs whenever one is asked for.
        if (!EqualsNoCase(value, "true") && !EqualsNoCase(value, "false"))
            refuse("'" + value + "' is neither true nor false");
    } else if (EqualsNoCase(name, "Search")) {
        if (!EqualsNoCase(value, "classic") && !EqualsNoCase(value, "strong")) {
            refuse("'" + value + "' is neither classic nor strong");
        } else {
            uciSearch_ = dranbase::ToLower(value);
            engine_->options.Set("-search", uciSearch_);
            engine_->options.Set("search", uciSearch_); // the last of the two keys counts
        }
    } else if (EqualsNoCase(name, "Weights")) {
        std::vector<int> weights;
        std::string error;
        if (!strong::LoadStrongWeights(value, weights, error))
            refuse(error + "; the weights in use stay");
        else
            engine_->options.Set("weights", value);
    } else if (EqualsNoCase(name, "Soul")) {
        const bool text = value.find('=') != std::string::npos;
        const std::string problem = text     ? SoulTextProblem(value)
            : BuiltInSoulText(value).empty() ? "no such soul"
                                             : "";
        if (!problem.empty())
            refuse("'" + value + "': " + problem);
        else
            engine_->SelectSoul(value);
    } else if (EqualsNoCase(name, "OwnBook")) {
        if (!EqualsNoCase(value, "true") && !EqualsNoCase(value, "false"))
            refuse("'" + value + "' is neither true nor false");
        else
            engine_->SetUseBook(EqualsNoCase(value, "true"));
    } else if (EqualsNoCase(name, "BookFile")) {
        std::string error;
        if (!engine_->LoadBookFile(value, 0, &error))
            refuse(error + "; the book in force stays");
        else
            uciBookFile_ = value;
    } else if (EqualsNoCase(name, "BookBest")) {
        if (!EqualsNoCase(value, "true") && !EqualsNoCase(value, "false"))
            refuse("'" + value + "' is neither true nor false");
        else
            engine_->polyglotBest = EqualsNoCase(value, "true");
    } else if (EqualsNoCase(name, "Move Overhead")) {
        if (!IsWholeNumber(value) || ToInt(value) < 0 || ToInt(value) > MaxMoveOverheadMs)
            refuse("'" + value + "' is not a time from 0 to " + std::to_string(MaxMoveOverheadMs) + " ms");
        else
            moveOverheadMs_ = ToInt(value);
    } else {
        refuse("unknown option");
    }
}

void clsCorvala::UciPosition(const std::string& rest)
{
    // "startpos | fen FEN" then optionally "moves m1 m2 ...". A bad FEN changes nothing; an
    // illegal move ends the moves at it.
    const std::string lower = dranbase::ToLower(rest);
    const std::size_t movesAt = lower.find("moves");
    const std::string setup = Trim(rest.substr(0, movesAt));
    std::string fen;
    if (EqualsNoCase(setup, "startpos")) {
        fen = StartFEN;
    } else if (setup.size() > 4 && EqualsNoCase(setup.substr(0, 4), "fen ")) {
        fen = Trim(setup.substr(4));
    } else {
        Print("info string position: expected startpos or fen, got '" + setup + "'");
        return;
    }
    const std::string before = session_->FullFEN();
    std::string loaded;
    if (const std::string problem = LoadFenStrictly(*engine_, fen, FenText::Position, &loaded);
        !problem.empty()) {
        session_->SetPosition(before);
        Print("info string position: " + problem + "; the position stays");
        return;
    }
    session_->SetPosition(loaded);
    session_->ClearHistory();
    engine_->ForgetGameMoves();
    if (movesAt == std::string::npos) return;
    for (const auto& move : SplitFields(rest.substr(movesAt + 5)))
        if (!session_->MakeGameMove(move)) {
            Print("info string position: illegal move " + move + "; the moves stop before it");
            break;
        }
}

void clsCorvala::UciGo(const std::string& rest)
{
    const clsGoRequest go = ParseGo(rest);
    const int side = engine_->board.side;

    // 1. A position without a legal move has no best move.
    if (engine_->MoveStatus() != GameState::Going) {
        Print("bestmove 0000");
        return;
    }

    // 2. The budget from the mover's clock, as the xboard driver plans it.
    clsMoverClock clock;
    clock.remainingMs = go.time[side] >= 0 ? go.time[side] : 0;
    clock.incrementMs = go.increment[side];
    clock.movesToGo = go.movesToGo;
    clock.fixedMoveMs = go.moveTime;
    clock.overheadMs = moveOverheadMs_;
    clock.wholeFixedTime = true;
    const bool timed = go.moveTime > 0 || go.time[side] >= 0;
    clsMoveBudget budget = PlanMove(clock);
    clsSearchLimits limits = timed ? budget.Limits() : clsSearchLimits {};
    limits.depth = go.mate > 0 ? 2 * go.mate : go.depth;
    limits.nodes = go.nodes;
    limits.infinite = go.infinite || go.ponder;
    if (go.MovesAtOnce(side)) {
        // The shallowest search there is: a legal move now, never a think without a limit.
        limits = clsSearchLimits {};
        limits.softMs = limits.hardMs = 1;
        limits.depth = 1;
    }
    uciPonderBudget_ = budget;
    uciHoldBestMove_ = limits.infinite;

    // 3. The think.
    session_->ApplyPendingSettings();
    engine_->SetDepthLimit(limits.depth > 0 ? std::max(limits.depth, 2) : session_->DepthLimit());
    engine_->SetLimits(limits);
    engine_->SetRootMoves(go.searchMoves);
    engine_->verbose = false;
    uciSearching_ = true;
    engine_->Start();
}

void clsCorvala::SendBestMove()
{
    uciSearching_ = false;
    engine_->SetRootMoves({});
    const std::optional<clsMove> best = engine_->TakeMove();
    if (!best) {
        Print("bestmove 0000");
        return;
    }
    if (engine_->LastMoveFromBook()) Print("info string book move");
    // The reply the principal variation expects is the move a pondering GUI lets us think on.
    const std::string reply = engine_->ExpectedReply();
    Print("bestmove " + UciMoveText(*best) + (reply.empty() ? "" : " ponder " + reply));
}

void clsCorvala::PrintUciInfo(const clsIterationReport& r)
{
    // On the engine thread: the table is read by the thread that writes it.
    const int hashfull = engine_->Hashfull();
    const std::int64_t nps
        = r.ms > 0 ? static_cast<std::int64_t>(r.nodes * 1000 / static_cast<std::uint64_t>(r.ms)) : 0;
    std::string line = "info depth " + std::to_string(r.depth) + " seldepth " + std::to_string(r.selDepth);
    if (engine_->OptionNumber({ "multipv" }, 1) > 1) line += " multipv " + std::to_string(r.multipv);
    line += r.mateMoves != 0 ? " score mate " + std::to_string(r.mateMoves)
                             : " score cp " + std::to_string(r.scoreCp);
    line += " nodes " + std::to_string(r.nodes) + " nps " + std::to_string(nps) + " time "
        + std::to_string(r.ms) + " hashfull " + std::to_string(hashfull) + " pv";
    for (const clsMove& m : r.pv)
        line += " " + UciMoveText(m);
    Print(line);
}

} // namespace drnChess
