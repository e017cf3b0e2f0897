// The xboard session's thinks: starting one with its budget, watching it (Poll), playing its
// move, pondering on the opponent's time, analysis and hints.

#include "tourney/xboardsession.h"

#include <algorithm>

#include "book/clsbook.h"
#include "engine/clsengine.h"
#include "rules/movereader.h"
#include "rules/movewriter.h"
#include "tourney/protocols.h"

namespace drnChess {

namespace {

    // How long past its hard limit a think may run before the session stops it: the search
    // stops itself, this only backs it up.
    constexpr std::int64_t BackupMarginMs = 50;

    // The first legal move of the engine's position, or none when it has none.
    std::optional<clsMove> FirstLegalMove(clsEngine& engine)
    {
        engine.ResetNodeStack();
        engine.GenerateMoves(-1);
        engine.FilterLegalMoves();
        const clsSimpleNode* root = engine.Root();
        for (const clsMove* m = root->firstMove; m < clsChessCore::Next(root)->firstMove; ++m)
            if (!m->Has(MoveFlag::Illegal)) return *m;
        return std::nullopt;
    }

} // namespace

clsMoveBudget clsXboardSession::PlanThink(std::int64_t clockMs, int fullMove, int movesPerControl,
    std::int64_t incrementMs, std::int64_t fixedMoveMs)
{
    int n = fullMove;
    if (movesPerControl > 0 && n > movesPerControl) n %= movesPerControl;
    clsMoverClock clock;
    clock.remainingMs = clockMs;
    clock.incrementMs = incrementMs;
    clock.movesToGo = movesPerControl > 0 ? std::max(1, movesPerControl - n + 1) : 0;
    clock.fixedMoveMs = fixedMoveMs;
    return PlanMove(clock);
}

// --- watching the engine ------------------------------------------------------------------------------

bool clsXboardSession::MoveDue() const
{
    if (!thinkPending_ || pondering_) return false;
    return !engine_.IsRunning() || (backupDeadline_ > 0 && dranbase::Tick() >= backupDeadline_);
}

void clsXboardSession::Poll()
{
    const std::int64_t now = dranbase::Tick();
    if (engine_.IsRunning()) {
        if (!MoveDue()) {
            // The think watches its own deadline; the session only shows its progress.
            if (now - lastReport_ >= 1000) {
                lastReport_ = now;
                ReportThinking();
            }
            return;
        }
        engine_.StopRequest(); // overdue: the backup stop
    }
    if (!pendingOptions_.empty() || maxPlyRequest_ > 0) ApplyPendingSettings();
    // A ponder think that ended by itself keeps its move until the opponent's comes.
    if (!pondering_ && thinkPending_ && (Playing() || Judging())) {
        ReportThinking();
        TakeEngineMove(now);
    }
    if (analyzing_) ContinueAnalysis();
    // A ping that came during a think is answered after its move, or once the think was
    // abandoned (force, new, a tool command): every ping gets its pong, in order.
    SendPongs();
}

void clsXboardSession::ReportThinking()
{
    // The strong search's lines come from its iteration reports, one each (ShowIterations).
    if ((!post_ && !analyzing_) || engine_.UseStrongSearch()) return;
    const std::string line = engine_.ThinkingLine();
    if (!line.empty()) Print(line);
}

void clsXboardSession::ShowIterations(bool show)
{
    // The strong search hands over each finished iteration; the classic one is shown by
    // reading its result slot as it goes (ReportThinking).
    if (show && engine_.UseStrongSearch())
        engine_.SetIterationListener([this](const clsIterationReport& r) {
            if (r.multipv == 1) Print(XboardThinkingLine(r));
        });
    else
        engine_.SetIterationListener(nullptr);
}

void clsXboardSession::TakeEngineMove(std::int64_t now)
{
    thinkPending_ = false;
    backupDeadline_ = 0;
    // The engine hands over a move record; its text is made once, for the output. A think
    // stopped before it scored a move (a very short budget) plays any legal move rather than
    // none: that beats losing on time.
    std::optional<clsMove> move = engine_.TakeMove();
    if (!move) move = FirstLegalMove(engine_);
    if (move) OnEngineMove(*move, now - thinkStart_ + 1);
}

void clsXboardSession::OnEngineMove(const clsMove& move, std::int64_t elapsed)
{
    if (Judging()) {
        if (hooks_.judgeMove) hooks_.judgeMove(move);
        return;
    }
    const std::string text = MoveToText(move, false);
    // The record is checked against the position's legal moves before it is played.
    const std::optional<clsMove> legal = ReadCoordinateMove(engine_, CoordinateText(move));
    if (!legal) {
        Print("# engine move refused: " + text); // cannot happen with a legal search result
        state_ = State::NotPlaying;
        return;
    }
    history_.push_back(FullFEN());
    const bool blackMoved = engine_.board.side == Black;
    engine_.PlayGameMove(*legal);
    if (blackMoved) ++engine_.fullmoveNumber;
    engineClock_ += increment_ - elapsed;
    if (creditBaseAfterMove_) engineClock_ += baseTime_;
    creditBaseAfterMove_ = false;
    expectedReply_ = engine_.ExpectedReply();
    expectedAfter_ = FullFEN();
    Print(engine_.StatisticsText(elapsed));
    Print("move " + text);
    if (hooks_.afterEngineMove) hooks_.afterEngineMove();
    StartPondering();
}

// --- starting a think -------------------------------------------------------------------------------

void clsXboardSession::StartThinking(bool ponder)
{
    // 1. A search still running is stopped and its thread joined; settings that came during
    //    it take effect now. A game that is over on the board gets its result, not a think.
    engine_.StopRequest();
    thinkPending_ = false;
    backupDeadline_ = 0;
    ApplyPendingSettings();
    if (!Judging()) {
        const std::string result = FinishedGameResult();
        if (!result.empty()) {
            Print(result);
            state_ = State::NotPlaying;
            return;
        }
    }
    // 2. Diagnostics follow "post".
    engine_.verbose = post_ && engineDiagnostics_;
    ShowIterations(post_);
    // 3. Move count within the time control. The last move of a period is planned from what is
    //    left in it; the next period's base is credited once the move is made.
    std::int64_t n = engine_.fullmoveNumber;
    if (movesPerControl_ > 0 && n > movesPerControl_) {
        n %= movesPerControl_;
        engine_.fullmoveNumber = static_cast<std::int32_t>(n);
    }
    creditBaseAfterMove_ = n > 0 && n == movesPerControl_;
    if (creditBaseAfterMove_) engine_.fullmoveNumber = 0;
    // 4. The start.
    const std::int64_t now = dranbase::Tick();
    thinkStart_ = now;
    lastReport_ = now;
    // 5. Budget: a judged position gets its whole time; a game move the shared plan.
    clsMoveBudget budget;
    if (Judging()) {
        budget.planMs = budget.maxMs = std::max<std::int64_t>(judgeMs_, 1);
    } else {
        budget = PlanThink(engineClock_, static_cast<int>(n), static_cast<int>(movesPerControl_), increment_,
            fixedMoveTime_);
    }
    // 6. The think's own limits: it stops itself. A ponder think waits for the opponent's move;
    //    a debug think ("\dbg" 2 and more) ignores its clock, so no backup stops either.
    plannedBudget_ = budget;
    clsSearchLimits limits = ponder ? clsSearchLimits {} : budget.Limits();
    limits.infinite = ponder;
    limits.depth = engine_.DepthLimit();
    engine_.SetLimits(limits);
    if (!ponder && engine_.modeWord < 2) backupDeadline_ = now + budget.maxMs + BackupMarginMs;
    // 7. The budget line.
    if (!Judging())
        Print("# moves " + std::to_string(n) + "/" + std::to_string(movesPerControl_) + " - time "
            + std::to_string(budget.planMs) + "/" + std::to_string(engineClock_) + " ms");
    // 8. Think. A think that could not start leaves no move: Poll plays a legal one.
    engine_.Start();
    thinkPending_ = true;
}

// --- pondering ----------------------------------------------------------------------------------------

void clsXboardSession::StartPondering()
{
    if (!ponder_ || !engine_.UseStrongSearch() || expectedReply_.empty()) return;
    if (!Playing()) return;
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

void clsXboardSession::EndPondering()
{
    if (!pondering_) return;
    pondering_ = false;
    TakeBack(1); // stops the think, discards its move and takes the expected reply back
}

void clsXboardSession::OnMoveWhilePondering(const std::string& text)
{
    std::string played = dranbase::ToLower(text);
    std::erase(played, '=');
    if (played != ponderMove_) {
        EndPondering();
        CmdUserMove(text);
        return;
    }
    // The expected reply: the think goes on, now on the clock this move has.
    pondering_ = false;
    const std::int64_t now = dranbase::Tick();
    thinkStart_ = now;
    lastReport_ = now;
    engine_.SetDeadlineFromNow(plannedBudget_.planMs);
    if (engine_.modeWord < 2) backupDeadline_ = now + plannedBudget_.maxMs + BackupMarginMs;
}

// --- analysis and hints ----------------------------------------------------------------------------
//
// While analysing, the engine searches the current position without a limit and shows its
// thinking lines; every change of the position (a move, "undo", "new", "setboard") starts a new
// search there, and "exit" ends the mode. Nothing is ever played.

void clsXboardSession::CmdAnalyze(const std::string&)
{
    StopThinking();
    state_ = State::NotPlaying;
    if (!analyzing_) bookBeforeAnalysis_ = engine_.UsesBook();
    analyzing_ = true;
    StartAnalysis();
}

void clsXboardSession::CmdExit(const std::string&)
{
    if (!analyzing_) return;
    StopThinking();
    analyzing_ = false;
    engine_.SetUseBook(bookBeforeAnalysis_);
}

void clsXboardSession::StartAnalysis()
{
    engine_.StopRequest();
    ApplyPendingSettings();
    analysisPosition_ = FullFEN();
    // A finished game has nothing to analyse; the position stays until it changes.
    if (!FinishedGameResult().empty()) return;
    engine_.verbose = engineDiagnostics_;
    ShowIterations(true);
    engine_.SetUseBook(false); // the search's own opinion, not the book's
    clsSearchLimits limits;
    limits.infinite = true;
    limits.depth = engine_.DepthLimit();
    engine_.SetLimits(limits);
    const std::int64_t now = dranbase::Tick();
    thinkStart_ = now;
    lastReport_ = now;
    engine_.Start();
}

void clsXboardSession::ContinueAnalysis()
{
    // A search that ended by itself (its deepest iteration, a mate) shows its last line and
    // leaves its move unplayed.
    if (!engine_.ResultMove().Has(MoveFlag::Illegal)) {
        ReportThinking();
        engine_.TakeMove();
    }
    // One stopped by a command, or a position that changed, is searched again.
    if (engine_.StopRaised() || analysisPosition_ != FullFEN()) StartAnalysis();
}

std::string clsXboardSession::HintMove()
{
    // While analysing: the best move so far.
    if (analyzing_) {
        const clsMove best = engine_.ResultMove();
        return best.Has(MoveFlag::Illegal) ? std::string() : CoordinateText(best);
    }
    // While pondering: the reply thought on.
    if (pondering_) return ponderMove_;
    // The engine's board belongs to its thread while it thinks.
    if (engine_.IsRunning()) return {};
    // The reply the engine's last think expected, when the game is still where it left it.
    if (!expectedReply_.empty() && expectedAfter_ == FullFEN() && ReadCoordinateMove(engine_, expectedReply_))
        return expectedReply_;
    // Otherwise the book's best move here.
    std::vector<clsBookEntryExt> list;
    CollectCandidates(engine_, engine_.book, list);
    const int best = BestCandidateIndex(list);
    if (best < 0) return {};
    const std::string& longForm = list[static_cast<std::size_t>(best)].move;
    const clsSimpleNode* root = engine_.Root();
    for (const clsMove* m = root->firstMove; m < clsChessCore::Next(root)->firstMove; ++m)
        if (!m->Has(MoveFlag::Illegal) && MoveToText(*m, true) == longForm) return CoordinateText(*m);
    return {};
}

void clsXboardSession::CmdHint(const std::string&)
{
    const std::string move = HintMove();
    if (!move.empty()) Print("Hint: " + move);
}

} // namespace drnChess
