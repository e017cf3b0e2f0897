// Analysis mode ("analyze" ... "exit") and hints: the engine thinks without playing.
//
// While analysing, the engine searches the current position without a limit and shows its
// thinking lines; every change of the position (a move, "undo", "new", "setboard") starts a new
// search there, and "exit" ends the mode. Nothing is ever played.

#include "app/clscorvala.h"
#include "book/clsbook.h"
#include "rules/movereader.h"
#include "rules/movewriter.h"

namespace drnChess {

int clsCorvala::CmdAnalyze(const std::string&)
{
    StopThinking();
    state_ = NotPlaying;
    if (!analyzing_) bookBeforeAnalysis_ = engine_->UsesBook();
    analyzing_ = true;
    StartAnalysis();
    return 0;
}

int clsCorvala::CmdExit(const std::string&)
{
    if (!analyzing_) return 0;
    StopThinking();
    analyzing_ = false;
    engine_->SetUseBook(bookBeforeAnalysis_);
    return 0;
}

void clsCorvala::StartAnalysis()
{
    engine_->StopRequest();
    ApplyPendingSettings();
    analysisPosition_ = FullFEN();
    // A finished game has nothing to analyse; the position stays until it changes.
    if (!FinishedGameResult().empty()) return;
    engine_->verbose = true;
    ShowIterations(true);
    engine_->SetUseBook(false); // the search's own opinion, not the book's
    clsSearchLimits limits;
    limits.infinite = true;
    limits.depth = engine_->DepthLimit();
    engine_->SetLimits(limits);
    const std::int64_t now = dranbase::Tick();
    thinkStart_ = now;
    lastReport_ = now;
    engine_->Start();
}

void clsCorvala::ContinueAnalysis()
{
    // A search that ended by itself (its deepest iteration, a mate) shows its last line and
    // leaves its move unplayed.
    if (!engine_->ResultMove().Has(MoveFlag::Illegal)) {
        ReportThinking();
        engine_->TakeMove();
    }
    // One stopped by a command, or a position that changed, is searched again.
    if (engine_->StopRaised() || analysisPosition_ != FullFEN()) StartAnalysis();
}

std::string clsCorvala::HintMove()
{
    // While analysing: the best move so far.
    if (analyzing_) {
        const clsMove best = engine_->ResultMove();
        return best.Has(MoveFlag::Illegal) ? std::string() : CoordinateText(best);
    }
    // While pondering: the reply thought on.
    if (pondering_) return ponderMove_;
    // The engine's board belongs to its thread while it thinks.
    if (engine_->IsRunning()) return {};
    // The reply the engine's last think expected, when the game is still where it left it.
    if (!expectedReply_.empty() && expectedAfter_ == FullFEN()
        && ReadCoordinateMove(*engine_, expectedReply_))
        return expectedReply_;
    // Otherwise the book's best move here.
    std::vector<clsBookEntryExt> list;
    CollectCandidates(*engine_, engine_->book, list);
    const int best = BestCandidateIndex(list);
    if (best < 0) return {};
    const std::string& longForm = list[static_cast<std::size_t>(best)].move;
    const clsSimpleNode* root = engine_->Root();
    for (const clsMove* m = root->firstMove; m < clsChessCore::Next(root)->firstMove; ++m)
        if (!m->Has(MoveFlag::Illegal) && MoveToText(*m, true) == longForm) return CoordinateText(*m);
    return {};
}

int clsCorvala::CmdHint(const std::string&)
{
    const std::string move = HintMove();
    if (!move.empty()) Print("Hint: " + move);
    return 0;
}

} // namespace drnChess
