// The command loop and the xboard protocol commands.

#include "app/clscorvala.h"
#include "book/clsbook.h"

#include <algorithm>

namespace drnChess {

using dranbase::EqualsNoCase;
using dranbase::SplitFields;
using dranbase::SplitFirst;
using dranbase::ToInt;

namespace {

// The feature text that "protover" loads, in the order of the reply.
const char* const FeatureText[][2] = {
    { "ping", "1" }, { "setboard", "1" }, { "usermove", "1" }, { "time", "1" }, { "draw", "1" },
    { "reuse", "1" }, { "myname", "\"Corvala 3.1.27\"" }, { "ics", "1" }, { "name", "1" }, { "debug", "1" },
    { "memory", "1" }, { "smp", "1" }, { "nps", "0" }, { "san", "0" }, { "sigint", "0" }, { "sigterm", "0" },
    { "analyze", "0" }, { "colors", "0" }, { "option", "\"Search -combo classic /// strong\"" }, { "done", "1" },
};

} // namespace

std::int64_t MinutesToMs(const std::string& text)
{
    auto [minutes, seconds] = SplitFirst(text, ':');
    return ToInt(minutes) * 60000 + ToInt(seconds) * 1000;
}

// --- the loop ------------------------------------------------------------------------------

void clsCorvala::CommandLoop()
{
    bool quit = false;
    while (!quit && !Cancelled()) {
        std::int64_t now = dranbase::Tick();
        if (!engine_->IsRunning()) {
            if (!pendingOptions_.empty() || maxPlyRequest_ > 0) ApplyPendingSettings();
            if (state_ == PlaysWhite || state_ == PlaysBlack || state_ == EpdTest) {
                ReportThinking();
                int score = 0;
                std::string move = engine_->TakeMoveText(true, &score);
                if (!move.empty()) OnEngineMove(move, now - thinkStart_ + 1);
                SendPong();
            }
        } else {
            if (deadline_ == 0 || now <= deadline_) {
                if (now - lastReport_ >= 1000) {
                    lastReport_ = now;
                    ReportThinking();
                }
            }
            if (deadline_ != 0 && now > deadline_) {
                Print("# time has expired");
                engine_->StopRequest();
                deadline_ = 0;
            }
        }
        Sleep(1);
        std::string line = dranbase::ReadConsoleLine(false);
        if (!line.empty() && ExecuteLine(line) == QuitCode) {
            dranbase::ConsoleInput().Cancel();
            quit = true;
        }
    }
}

void clsCorvala::OnEngineMove(const std::string& move, std::int64_t elapsed)
{
    if (state_ == EpdTest) {
        JudgeEpdMove(move);
        return;
    }
    if (!MakeGameMove(move)) {
        Print("# engine move refused: " + move); // cannot happen with a legal search result
        state_ = NotPlaying;
        return;
    }
    position_.Set(engine_->GetFEN());
    engineClock_ += increment_ - elapsed;
    Print(engine_->StatisticsText(elapsed));
    Print("move " + move);
    if (showBoard_) engine_->PrintBoard();
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
    if (!engine_->ApplyGameMove(text)) return false;
    history_.push_back(before);
    if (blackMoved) ++engine_->fullmoveNumber;
    return true;
}

void clsCorvala::StopThinking()
{
    engine_->StopRequest();
    int score = 0;
    engine_->TakeMoveText(true, &score); // a move for the abandoned position is never played
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
    if (pendingPing_.empty()) return;
    Print("pong " + pendingPing_);
    pendingPing_.clear();
}

void clsCorvala::ReportThinking()
{
    if (!post_) return;
    std::string line = engine_->ThinkingLine();
    if (!line.empty()) Print(line);
}

void clsCorvala::StartThinking()
{
    // 1. A search still running is stopped and its thread joined; settings that came during
    //    it take effect now.
    engine_->StopRequest();
    ApplyPendingSettings();
    // 2. Diagnostics follow "post".
    engine_->verbose = post_;
    // 3. Move count within the time control; a new control adds its base time.
    std::int64_t n = engine_->fullmoveNumber;
    if (movesPerControl_ > 0 && n > movesPerControl_) {
        n %= movesPerControl_;
        engine_->fullmoveNumber = static_cast<std::int32_t>(n);
    }
    if (n > 0 && n == movesPerControl_) {
        engineClock_ += baseTime_;
        engine_->fullmoveNumber = 0;
    }
    // 4..5. Record the position and the start.
    position_.Set(engine_->GetFEN());
    std::int64_t now = dranbase::Tick();
    thinkStart_ = now;
    lastReport_ = now;
    // 6. Budget: the clock shared over the moves left, less a margin for the reply.
    std::int64_t budget;
    std::int64_t clockBefore = engineClock_;
    if (state_ == EpdTest) {
        budget = baseTime_;
        engineClock_ = 100 * baseTime_;
    } else if (fixedMoveTime_ > 0) {
        // A fixed time per move: keep a margin for stopping the search, sending the move and
        // the GUI's own delays on a loaded machine (a tenth of the time, at least 100 ms).
        std::int64_t margin = std::max<std::int64_t>(100, fixedMoveTime_ / 10);
        budget = fixedMoveTime_ > 2 * margin ? fixedMoveTime_ - margin : fixedMoveTime_ / 2;
    } else {
        std::int64_t t = engineClock_ > 100 ? engineClock_ - 50 : engineClock_;
        std::int64_t movesLeft = movesPerControl_ == 0 ? 40 : movesPerControl_ - n + 2;
        if (movesLeft < 1) movesLeft = 1;
        budget = t / movesLeft;
    }
    // 7. Deadline, and the same budget as the think's own limits.
    deadline_ = now + budget;
    clsSearchLimits limits;
    limits.softMs = limits.hardMs = std::max<std::int64_t>(budget, 1);
    limits.depth = engine_->DepthLimit();
    engine_->SetLimits(limits);
    // 8. The budget line.
    if (state_ != EpdTest)
        Print("# moves " + std::to_string(n) + "/" + std::to_string(movesPerControl_) + " - time "
            + std::to_string(budget) + "/" + std::to_string(clockBefore) + " ms");
    // 9. Think.
    engine_->Start();
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
    if (state_ == NotPlaying)
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
    for (const auto& f : FeatureText) features_.Add(f[0], f[1]);
    std::string line = "feature";
    for (const auto& f : features_) line += " " + f.key + "=" + f.value;
    Print(line);
    return 0;
}

int clsCorvala::CmdNothing(const std::string&) { return 0; }

int clsCorvala::CmdRejected(const std::string& rest)
{
    if (dranbase::ToLower(rest).find("name") != std::string::npos) return 0;
    std::string name = dranbase::Trim(rest);
    features_.Set(name, std::to_string(1 - ToInt(features_.Value(name))));
    return 0;
}

int clsCorvala::CmdPing(const std::string& rest)
{
    pendingPing_ = rest;
    if (!engine_->IsRunning()) SendPong();
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
    fixedMoveTime_ = 0;
    depthLimit_ = 0; // "sd" holds until it is changed or a new game starts
    ApplyPendingSettings();
    engineClock_ = opponentClock_ = defaultBaseTime_;
    state_ = PlaysBlack;
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
    movesPerControl_ = ToInt(f[0]);
    baseTime_ = MinutesToMs(f[1]);
    increment_ = ToInt(f[2]) * 1000;
    fixedMoveTime_ = 0;
    engineClock_ = opponentClock_ = baseTime_;
    return 0;
}

int clsCorvala::CmdSt(const std::string& rest)
{
    std::int64_t seconds = ToInt(rest);
    fixedMoveTime_ = seconds > 0 ? seconds * 1000 : 0;
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
    engineClock_ = ToInt(rest) * 10;
    Print("# engine time set to " + std::to_string(engineClock_) + " ms");
    return 0;
}

int clsCorvala::CmdOtim(const std::string& rest)
{
    opponentClock_ = ToInt(rest) * 10;
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
    SetPosition(rest);
    history_.clear();
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
    if (!list.empty())
        Print(" best book move: " + list.back().move + "\n\n");
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

int clsCorvala::CmdName(const std::string&)
{
    Print(ProgramVersion);
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
    SetHashSize(dranbase::Trim(rest).empty() ? defaultHashMiB_ : static_cast<int>(ToInt(rest)));
    return 0;
}

int clsCorvala::CmdOption(const std::string& rest)
{
    auto [name, value] = SplitFirst(rest, '=');
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
