// The command loop and the xboard protocol commands.

#include "app/clscorvala.h"
#include "book/clsbook.h"
#include "engine/weightsfile.h"
#include "rules/fencheck.h"
#include "rules/movereader.h"
#include "rules/movewriter.h"
#include "tourney/clstourney.h"
#include "tourney/protocols.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <utility>

namespace drnChess {

using dranbase::EqualsNoCase;
using dranbase::SplitFields;
using dranbase::SplitFirst;
using dranbase::ToInt;

namespace {

    // The feature text that "protover" loads, in the order of the reply; myname is the program's
    // version.
    const char* const FeatureText[][2] = {
        { "ping", "1" },
        { "setboard", "1" },
        { "usermove", "1" },
        { "time", "1" },
        { "draw", "1" },
        { "reuse", "1" },
        { "myname", nullptr },
        { "ics", "1" },
        { "name", "1" },
        { "debug", "1" },
        { "memory", "1" },
        { "smp", "1" },
        { "nps", "0" },
        { "san", "0" },
        { "sigint", "0" },
        { "sigterm", "0" },
        { "analyze", "1" },
        { "colors", "0" },
        { "option", "\"Search -combo classic /// strong\"" },
        { "option", "\"Weights -string handset\"" },
        { "option", "\"BookFile -file \"" },
        { "option", "\"BookBest -check 0\"" },
        { "done", "1" },
    };

} // namespace

std::int64_t ScaledTime(std::string_view number, std::int64_t msPerUnit)
{
    const long long value = ToInt(number);
    if (value > MaxTimeMs / msPerUnit) return MaxTimeMs;
    if (value < -MaxTimeMs / msPerUnit) return -MaxTimeMs;
    return value * msPerUnit;
}

// Seconds with an optional fraction ("0.5", "12"): increments and fixed times come this way.
std::int64_t SecondsToMs(std::string_view number)
{
    const std::string text = dranbase::Trim(number);
    double seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || !std::isfinite(seconds)) return 0;
    const double ms = std::round(seconds * 1000.0);
    return static_cast<std::int64_t>(
        std::clamp(ms, -static_cast<double>(MaxTimeMs), static_cast<double>(MaxTimeMs)));
}

std::int64_t MinutesToMs(const std::string& text)
{
    auto [minutes, seconds] = SplitFirst(text, ':');
    return std::clamp(ScaledTime(minutes, 60000) + ScaledTime(seconds, 1000), -MaxTimeMs, MaxTimeMs);
}

// --- the loop ------------------------------------------------------------------------------

void clsCorvala::CommandLoop()
{
    bool quit = false;
    while (!quit && !Cancelled()) {
        std::int64_t now = dranbase::Tick();
        if (!engine_->IsRunning()) {
            if (!pendingOptions_.empty() || maxPlyRequest_ > 0) ApplyPendingSettings();
            // A ponder think that ended by itself keeps its move until the opponent's comes.
            if (!pondering_ && (state_ == PlaysWhite || state_ == PlaysBlack || state_ == EpdTest)) {
                ReportThinking();
                // The engine hands over a move record; its text is made once, for the output.
                if (const std::optional<clsMove> move = engine_->TakeMove())
                    OnEngineMove(*move, now - thinkStart_ + 1);
            }
            if (analyzing_) ContinueAnalysis();
            // A ping that came during a think is answered after its move, or once the think
            // was abandoned (force, new, a tool command): every ping gets its pong, in order.
            SendPong();
        } else if (now - lastReport_ >= 1000) {
            // The think watches its own deadline; the loop only shows its progress.
            lastReport_ = now;
            ReportThinking();
        }
        Sleep(1);
        // While a suite or a tournament runs, the end of input waits for it to finish.
        std::string line = dranbase::ReadConsoleLine(false, ToolCommandRunning());
        if (!line.empty() && !protocolKnown_) {
            // The first command decides the protocol: "uci" switches to UCI for good; anything
            // else lets the held start-up lines out and goes on in xboard.
            protocolKnown_ = true;
            if (EqualsNoCase(dranbase::Trim(line), "uci")) {
                EnterUci();
                UciLoop();
                return;
            }
            dranbase::Output().Release();
        }
        if (!line.empty() && ExecuteLine(line) == QuitCode) {
            dranbase::ConsoleInput().Cancel();
            quit = true;
        }
    }
}

bool clsCorvala::ToolCommandRunning() const
{
    if (state_ == EpdTest) return true;
    return std::any_of(tourneys_.begin(), tourneys_.end(), [](const auto& t) { return t->IsRunning(); });
}

void clsCorvala::OnEngineMove(const clsMove& move, std::int64_t elapsed)
{
    if (state_ == EpdTest) {
        JudgeEpdMove(move);
        return;
    }
    const std::string text = MoveToText(move, false);
    // The record is checked against the position's legal moves before it is played.
    const std::optional<clsMove> legal = ReadCoordinateMove(*engine_, CoordinateText(move));
    if (!legal) {
        Print("# engine move refused: " + text); // cannot happen with a legal search result
        state_ = NotPlaying;
        return;
    }
    history_.push_back(FullFEN());
    const bool blackMoved = engine_->board.side == Black;
    engine_->PlayGameMove(*legal);
    if (blackMoved) ++engine_->fullmoveNumber;
    position_.Set(engine_->GetFEN());
    engineClock_ += increment_ - elapsed;
    if (creditBaseAfterMove_) engineClock_ += baseTime_;
    creditBaseAfterMove_ = false;
    expectedReply_ = engine_->ExpectedReply();
    expectedAfter_ = FullFEN();
    Print(engine_->StatisticsText(elapsed));
    Print("move " + text);
    if (showBoard_) engine_->PrintBoard();
    StartPondering();
}

void clsCorvala::StartPondering()
{
    if (!ponder_ || !engine_->UseStrongSearch() || expectedReply_.empty()) return;
    if (state_ != PlaysWhite && state_ != PlaysBlack) return;
    if (!FinishedGameResult().empty() || !MakeGameMove(expectedReply_)) return;
    // A reply that ends the game is not thought on: the opponent may not play it.
    if (!FinishedGameResult().empty()) {
        TakeBack(1);
        return;
    }
    ponderMove_ = expectedReply_;
    pondering_ = true;
    StartThinking(true);
}

void clsCorvala::EndPondering()
{
    if (!pondering_) return;
    pondering_ = false;
    TakeBack(1); // stops the think, discards its move and takes the expected reply back
}

int clsCorvala::OnMoveWhilePondering(const std::string& text)
{
    std::string played = dranbase::ToLower(text);
    std::erase(played, '=');
    if (played != ponderMove_) {
        EndPondering();
        return CmdUserMove(text);
    }
    // The expected reply: the think goes on, now on the clock this move has.
    pondering_ = false;
    const std::int64_t now = dranbase::Tick();
    thinkStart_ = now;
    lastReport_ = now;
    engine_->SetDeadlineFromNow(plannedBudget_.planMs);
    return 0;
}

std::string clsCorvala::FullFEN()
{
    return engine_->GetFEN() + " " + std::to_string(engine_->halfmoveClock) + " "
        + std::to_string(engine_->fullmoveNumber);
}

bool clsCorvala::MakeGameMove(const std::string& text)
{
    std::string before = FullFEN();
    bool blackMoved = engine_->board.side == Black;
    // Coordinates as the protocol sends them; SAN as a person types it (e4, Nf3, O-O).
    if (!engine_->ApplyGameMove(text)) {
        const std::string coordinate = engine_->SanToCoordinate(text);
        if (coordinate.empty() || !engine_->ApplyGameMove(coordinate)) return false;
    }
    history_.push_back(before);
    if (blackMoved) ++engine_->fullmoveNumber;
    return true;
}

void clsCorvala::StopThinking()
{
    engine_->StopRequest();
    engine_->TakeMove(); // a move for the abandoned position is never played
}

void clsCorvala::TakeBack(int plies)
{
    StopThinking();
    for (int i = 0; i < plies && !history_.empty(); ++i) {
        std::string fen = history_.back();
        history_.pop_back();
        SetPosition(fen);
    }
}

bool clsCorvala::SetPosition(const std::string& fen)
{
    engine_->SetFromFEN(fen);
    position_.Set(engine_->GetFEN());
    return true;
}

void clsCorvala::SendPong()
{
    for (const std::string& ping : pendingPings_)
        Print("pong " + ping);
    pendingPings_.clear();
}

void clsCorvala::ReportThinking()
{
    // The strong search's lines come from its iteration reports, one each (ShowIterations).
    if ((!post_ && !analyzing_) || engine_->UseStrongSearch()) return;
    std::string line = engine_->ThinkingLine();
    if (!line.empty()) Print(line);
}

std::string clsCorvala::FinishedGameResult()
{
    switch (engine_->MoveStatus()) {
    case GameState::WhiteMates:
        return "1-0 {White mates}";
    case GameState::BlackMates:
        return "0-1 {Black mates}";
    case GameState::Stalemate:
        return "1/2-1/2 {Stalemate}";
    default:
        return {};
    }
}

void clsCorvala::StartThinking(bool ponder)
{
    // 1. A search still running is stopped and its thread joined; settings that came during
    //    it take effect now. A game that is over on the board gets its result, not a think.
    engine_->StopRequest();
    ApplyPendingSettings();
    if (state_ != EpdTest) {
        const std::string result = FinishedGameResult();
        if (!result.empty()) {
            Print(result);
            state_ = NotPlaying;
            return;
        }
    }
    // 2. Diagnostics follow "post".
    engine_->verbose = post_;
    ShowIterations(post_);
    // 3. Move count within the time control. The last move of a period is planned from what is
    //    left in it; the next period's base is credited once the move is made.
    std::int64_t n = engine_->fullmoveNumber;
    if (movesPerControl_ > 0 && n > movesPerControl_) {
        n %= movesPerControl_;
        engine_->fullmoveNumber = static_cast<std::int32_t>(n);
    }
    creditBaseAfterMove_ = n > 0 && n == movesPerControl_;
    if (creditBaseAfterMove_) engine_->fullmoveNumber = 0;
    // 4..5. Record the position and the start.
    position_.Set(engine_->GetFEN());
    std::int64_t now = dranbase::Tick();
    thinkStart_ = now;
    lastReport_ = now;
    // 6. Budget: an EPD position gets its whole time; a game move the shared plan.
    clsMoveBudget budget;
    if (state_ == EpdTest) {
        budget.planMs = budget.maxMs = std::max<std::int64_t>(baseTime_, 1);
        engineClock_ = 100 * baseTime_;
    } else {
        clsMoverClock clock;
        clock.remainingMs = engineClock_;
        clock.incrementMs = increment_;
        clock.movesToGo = movesPerControl_ == 0 ? 0 : movesPerControl_ - n + 1;
        clock.fixedMoveMs = fixedMoveTime_;
        budget = PlanMove(clock);
    }
    // 7. The think's own limits: it stops itself. A ponder think waits for the opponent's move.
    plannedBudget_ = budget;
    clsSearchLimits limits = ponder ? clsSearchLimits {} : budget.Limits();
    limits.infinite = ponder;
    limits.depth = engine_->DepthLimit();
    engine_->SetLimits(limits);
    // 8. The budget line.
    if (state_ != EpdTest)
        Print("# moves " + std::to_string(n) + "/" + std::to_string(movesPerControl_) + " - time "
            + std::to_string(budget.planMs) + "/" + std::to_string(engineClock_) + " ms");
    // 9. Think.
    engine_->Start();
}

void clsCorvala::ShowIterations(bool show)
{
    // The strong search hands over each finished iteration; the classic one is shown by
    // reading its result slot as it goes (ReportThinking).
    if (show && engine_->UseStrongSearch())
        engine_->SetIterationListener([this](const clsIterationReport& r) {
            if (r.multipv == 1) Print(XboardThinkingLine(r));
        });
    else
        engine_->SetIterationListener(nullptr);
}

// --- commands ------------------------------------------------------------------------------

int clsCorvala::CmdUserMove(const std::string& rest)
{
    std::string move = rest;
    if (!MakeGameMove(move)) {
        Print("Illegal move: " + move);
        return 0;
    }
    position_.Set(engine_->GetFEN());
    if (state_ == NotPlaying && !analyzing_)
        Print("# I'm not thinking");
    else if (state_ == PlaysWhite || state_ == PlaysBlack)
        StartThinking();
    return 0;
}

int clsCorvala::CmdXboard(const std::string&)
{
    Print("");
    return 0;
}

int clsCorvala::CmdStop(const std::string&)
{
    engine_->StopRequest();
    return 0;
}

int clsCorvala::CmdProtover(const std::string&)
{
    features_.Clear();
    for (const auto& f : FeatureText)
        features_.Add(f[0], f[1] ? std::string(f[1]) : "\"" + std::string(ProgramVersion) + "\""); // myname
    std::string line = "feature";
    for (const auto& f : features_)
        line += " " + f.key + "=" + f.value;
    Print(line);
    return 0;
}

int clsCorvala::CmdNothing(const std::string&)
{
    return 0;
}

int clsCorvala::CmdRejected(const std::string& rest)
{
    if (dranbase::ToLower(rest).find("name") != std::string::npos) return 0;
    std::string name = dranbase::Trim(rest);
    features_.Set(name, std::to_string(1 - ToInt(features_.Value(name))));
    return 0;
}

int clsCorvala::CmdPing(const std::string& rest)
{
    pendingPings_.push_back(rest);
    // A think that has just ended leaves its move for the loop: the pong follows that move.
    const bool movePending = state_ != NotPlaying && !engine_->ResultMove().Has(MoveFlag::Illegal);
    // An analysis plays no move, nor does a think on the opponent's time: nothing to wait for.
    if (analyzing_ || pondering_ || (!engine_->IsRunning() && !movePending)) SendPong();
    return 0;
}

int clsCorvala::CmdNew(const std::string&)
{
    state_ = NotPlaying;
    StopThinking();
    SetPosition(StartFEN);
    engine_->halfmoveClock = 0;
    engine_->fullmoveNumber = 1;
    history_.clear();
    engine_->NewGame();
    depthLimit_ = 0; // "sd" holds until it is changed or a new game starts
    ApplyPendingSettings();
    // The time control ("level", "st") stays for the new game; both clocks start afresh.
    engineClock_ = opponentClock_ = levelSet_ ? baseTime_ : defaultBaseTime_;
    state_ = analyzing_ ? NotPlaying : PlaysBlack; // an analysis goes on from the new game
    return 0;
}

int clsCorvala::CmdQuit(const std::string&)
{
    state_ = NotPlaying;
    StopThinking();
    return QuitCode;
}

int clsCorvala::CmdForce(const std::string&)
{
    state_ = NotPlaying;
    StopThinking();
    return 0;
}

int clsCorvala::CmdGo(const std::string&)
{
    CmdExit({}); // playing ends an analysis
    engine_->StopRequest();
    state_ = engine_->board.side == White ? PlaysWhite : PlaysBlack;
    StartThinking();
    return 0;
}

int clsCorvala::CmdWhite(const std::string&)
{
    state_ = NotPlaying;
    StopThinking();
    state_ = PlaysBlack;
    return 0;
}

int clsCorvala::CmdBlack(const std::string&)
{
    state_ = NotPlaying;
    StopThinking();
    state_ = PlaysWhite;
    return 0;
}

int clsCorvala::CmdLevel(const std::string& rest)
{
    auto f = SplitFields(rest);
    f.resize(3);
    // A period of more moves than any game has is a period of the whole game, like 0.
    const long long moves = ToInt(f[0]);
    movesPerControl_ = moves > 0 && moves <= 100000 ? moves : 0;
    baseTime_ = MinutesToMs(f[1]);
    increment_ = std::max<std::int64_t>(SecondsToMs(f[2]), 0);
    levelSet_ = true;
    fixedMoveTime_ = 0;
    engineClock_ = opponentClock_ = baseTime_;
    return 0;
}

int clsCorvala::CmdSt(const std::string& rest)
{
    const std::int64_t ms = SecondsToMs(rest);
    fixedMoveTime_ = ms > 0 ? ms : 0;
    return 0;
}

int clsCorvala::CmdSd(const std::string& rest)
{
    long long d = dranbase::Trim(rest).empty() ? 2 : ToInt(rest);
    // The think reads its own limit (the maximum ply is also lowered by perft and probes);
    // it is handed over when the next think starts. Iterations go in steps of two from
    // depth 2, so depth 2 is the shallowest think.
    depthLimit_ = static_cast<int>(d < 2 ? 2 : d < 128 ? d : 128);
    maxPlyRequest_ = static_cast<int>(d < 128 ? d : 128);
    return 0;
}

int clsCorvala::CmdTime(const std::string& rest)
{
    engineClock_ = ScaledTime(rest, 10);
    Print("# engine time set to " + std::to_string(engineClock_) + " ms");
    return 0;
}

int clsCorvala::CmdOtim(const std::string& rest)
{
    opponentClock_ = ScaledTime(rest, 10);
    Print("# opponent time set to " + std::to_string(opponentClock_) + " ms");
    return 0;
}

int clsCorvala::CmdResult(const std::string& rest)
{
    state_ = NotPlaying;
    StopThinking();
    Print("# result " + rest);
    return 0;
}

int clsCorvala::CmdSetboard(const std::string& rest)
{
    StopThinking();
    // A position that is not one (no kings, a king that can be taken, text that is no FEN)
    // is refused and the game stays where it was.
    const std::string before = FullFEN();
    std::string fen;
    if (const std::string problem = LoadFenStrictly(*engine_, rest, FenText::Position, &fen);
        !problem.empty()) {
        SetPosition(before);
        Print("tellusererror Illegal position: " + problem);
        return 0;
    }
    SetPosition(fen);
    history_.clear();
    engine_->ForgetGameMoves();
    return 0;
}

int clsCorvala::CmdIcs(const std::string& rest)
{
    icsHost_ = rest;
    return 0;
}

int clsCorvala::CmdBk(const std::string&)
{
    std::vector<clsBookEntryExt> list;
    CollectCandidates(*engine_, engine_->book, list);
    // The best by the lower confidence bound of its score, as \listbook marks it.
    const int best = BestCandidateIndex(list);
    if (best >= 0)
        Print(" best book move: " + list[static_cast<std::size_t>(best)].move + "\n\n");
    else
        Print(" no book moves found\n\n");
    return 0;
}

int clsCorvala::CmdUndo(const std::string&)
{
    state_ = NotPlaying;
    TakeBack(1);
    return 0;
}

int clsCorvala::CmdRemove(const std::string&)
{
    // The user retracts their move and the engine's reply; the engine keeps its colour.
    TakeBack(2);
    return 0;
}

int clsCorvala::CmdEasy(const std::string&)
{
    ponder_ = false;
    EndPondering();
    return 0;
}

int clsCorvala::CmdHard(const std::string&)
{
    ponder_ = true;
    return 0;
}

int clsCorvala::CmdPost(const std::string&)
{
    post_ = true;
    return 0;
}

int clsCorvala::CmdNopost(const std::string&)
{
    post_ = false;
    return 0;
}

int clsCorvala::CmdName(const std::string& rest)
{
    // "name X" is the interface telling the opponent's name: noted silently, as engines do.
    if (dranbase::Trim(rest).empty()) Print(ProgramVersion);
    return 0;
}

int clsCorvala::CmdRating(const std::string&)
{
    Print("1350 1350");
    return 0;
}

int clsCorvala::CmdComputer(const std::string&)
{
    Print("# hello my peer!");
    return 0;
}

void clsCorvala::ApplyPendingSettings()
{
    // The engine reads its options and limits when a think starts: they change only while
    // its thread is idle.
    if (engine_->IsRunning()) return;
    for (auto& o : pendingOptions_) {
        if (o.key.empty()) continue;
        if (o.replace)
            engine_->options.Set(o.key, o.value);
        else
            engine_->options.Add(o.key, o.value);
    }
    pendingOptions_.clear();
    engine_->SetDepthLimit(depthLimit_);
    if (maxPlyRequest_ > 0) engine_->SetMaxPly(maxPlyRequest_);
    maxPlyRequest_ = 0;
}

int clsCorvala::CmdMemory(const std::string& rest)
{
    pendingOptions_.push_back({ "memory", rest, true });
    if (engine_->IsRunning()) return 0; // recorded; the table keeps its size
    ApplyPendingSettings();
    SetHashSize(dranbase::Trim(rest).empty() ? defaultHashMiB_ : ToInt(rest));
    return 0;
}

int clsCorvala::CmdOption(const std::string& rest)
{
    auto [name, value] = SplitFirst(rest, '=');
    if (EqualsNoCase(dranbase::Trim(name), "Weights")) {
        // A file refused leaves the weights in use.
        std::vector<int> weights;
        std::string error;
        if (!strong::LoadStrongWeights(dranbase::Trim(value), weights, error)) {
            Print("tellusererror " + error + "; the weights in use stay");
            return 0;
        }
    }
    if (EqualsNoCase(name, "BookFile") || EqualsNoCase(name, "BookBest")) {
        if (engine_->IsRunning()) {
            Print("# option " + name + ": the engine is thinking; the book stays");
        } else if (EqualsNoCase(name, "BookBest")) {
            engine_->polyglotBest = value == "1";
        } else if (std::string error; !engine_->LoadBookFile(value, 0, &error)) {
            Print("# option BookFile: " + error + "; the book in force stays");
        }
        return 0;
    }
    pendingOptions_.push_back({ name, value, false });
    ApplyPendingSettings();
    return 0;
}

int clsCorvala::CmdCores(const std::string& rest)
{
    pendingOptions_.push_back({ "cores", rest, true });
    ApplyPendingSettings();
    return 0;
}

} // namespace drnChess
