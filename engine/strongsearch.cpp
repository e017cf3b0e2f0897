// The strong search: iterative deepening, aspiration, PVS, quiescence and pruning.

#include "engine/strongsearch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "dranbase/clsthread.h"
#include "engine/see.h"

namespace drnChess::strong {

namespace {

    constexpr int DrawScore = 0;
    constexpr int CheckEvery = 2048; // nodes between looks at the clock
    // With little time to spend the clock is read more often: a process that gets only a small
    // share of a loaded machine takes long over a few thousand nodes.
    constexpr int CheckEveryWhenShort = 128;
    constexpr std::int64_t ShortThinkMs = 250;

    // A stored result that settles the window: exact, or a bound on the window's far side.
    bool Settles(const TTHit& hit, int alpha, int beta)
    {
        return hit.bound == Bound::Exact || (hit.bound == Bound::Lower && hit.score >= beta)
            || (hit.bound == Bound::Upper && hit.score <= alpha);
    }

    // The type of the piece a capture takes.
    int CapturedType(const FastPosition& board, Move m)
    {
        return Kind(m) == MoveKind::EnPassant ? Pawn : TypeOf(board.squares[static_cast<std::size_t>(To(m))]);
    }

} // namespace

using enum SearchParam; // the parameters by their own names in this file

int GuiScore(int score)
{
    if (score > MateBound) return 100000 + (MateScore - score + 1) / 2;
    if (score < -MateBound) return -100000 - (MateScore + score) / 2;
    return score;
}

StrongSearch::StrongSearch()
{
    SetSearchParams(params_);
    tt_->Resize(16);
}

void StrongSearch::SetSearchParams(const SearchParams& params)
{
    params_ = params;
    // Reductions grow with the logarithms of both the depth and the move number.
    const double base = params_[LmrBase] / 100.0;
    const double divisor = params_[LmrDivisor] / 100.0;
    for (int d = 1; d < 64; ++d)
        for (int m = 1; m < 64; ++m)
            reductions_[d][m] = static_cast<int>(base + std::log(d) * std::log(m) / divisor);
}

StrongSearch::~StrongSearch()
{
    StopHelpers();
}

void StrongSearch::SetThreads(int threads)
{
    threads = std::clamp(threads, 1, MaxThreads);
    helpers_.resize(static_cast<std::size_t>(threads - 1));
    for (std::size_t i = 0; i < helpers_.size(); ++i) {
        if (!helpers_[i]) helpers_[i] = std::make_unique<StrongSearch>();
        helpers_[i]->ownTable_.Resize(0); // the shared table is the main search's
        helpers_[i]->tt_ = tt_;
        helpers_[i]->isHelper_ = true;
        helpers_[i]->depthSkew_ = i % 2 == 0 ? 1 : 0;
    }
}

std::uint64_t StrongSearch::HelperNodes() const
{
    std::uint64_t nodes = 0;
    for (const auto& helper : helpers_)
        nodes += helper->NodesShown();
    return nodes;
}

void StrongSearch::StartHelpers(const clsSearchLimits& limits)
{
    // The helpers search until the main search stops them: no clock, no node limit of their own.
    clsSearchLimits theirs;
    theirs.depth = limits.depth;
    theirs.infinite = true;
    helpersStop_.store(false, std::memory_order_relaxed);
    for (auto& helper : helpers_) {
        helper->board_ = board_;
        helper->eval_ = eval_;
        if (helper->params_ != params_) helper->SetSearchParams(params_);
        helper->rootMoves_ = rootMoves_;
        helper->deadline_ = nullptr;
        StrongSearch* h = helper.get();
        helperThreads_.emplace_back([h, theirs, this] { h->Think(theirs, helpersStop_, nullptr); });
    }
}

void StrongSearch::StopHelpers()
{
    helpersStop_.store(true, std::memory_order_relaxed);
    for (std::thread& t : helperThreads_)
        t.join();
    helperThreads_.clear();
}

void StrongSearch::SetTableSize(std::size_t mib)
{
    if (mib != tt_->SizeMiB()) tt_->Resize(mib);
}

void StrongSearch::NewGame()
{
    for (auto& helper : helpers_)
        helper->NewGame();
    tt_->Clear();
    history_.Clear();
    continuation_.Clear();
    for (auto& k : killers_)
        k[0] = k[1] = NoMove;
    for (auto& piece : counters_)
        for (Move& m : piece)
            m = NoMove;
}

std::int64_t StrongSearch::ElapsedMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
        .count();
}

bool StrongSearch::ShouldStop()
{
    if (stopped_) return true;
    if (stop_->load(std::memory_order_relaxed)) return stopped_ = true;
    if ((nodes_ & checkMask_) == 0) {
        nodesShown_.store(nodes_, std::memory_order_relaxed);
        if (limits_.nodes && nodes_ + HelperNodes() >= limits_.nodes) return stopped_ = true;
        if (!limits_.infinite && limits_.hardMs > 0 && ElapsedMs() >= limits_.hardMs) return stopped_ = true;
        // A deadline set while the think runs (a ponder think whose move was played).
        const std::int64_t deadline = deadline_ ? deadline_->load(std::memory_order_relaxed) : 0;
        if (deadline != 0 && dranbase::Tick() >= deadline) return stopped_ = true;
    }
    return false;
}

std::vector<Move> StrongSearch::PvMoves() const
{
    return { pv_[0], pv_[0] + pvLength_[0] };
}

std::string LineText(const std::vector<Move>& line)
{
    std::string text;
    for (const Move m : line) {
        if (!text.empty()) text += ' ';
        text += FastPosition::MoveText(m);
    }
    return text;
}

int StrongSearch::Quiescence(int alpha, int beta, int ply, int depth)
{
    // 1. Node count, stop and the ply limit.
    ++nodes_;
    pvLength_[ply] = ply;
    if (ShouldStop()) return 0;
    if (ply >= MaxPly) return eval_.Evaluate(board_);
    const bool pvNode = beta - alpha > 1;
    const bool inCheck = board_.InCheck();

    // 2. Transposition table: outside the principal variation a stored result of any depth
    //    that settles the window ends the node.
    const TTHit hit = tt_->Probe(board_.key, ply);
    if (hit.found && !pvNode && Settles(hit, alpha, beta)) return hit.score;

    // 3. Stand pat: out of check the side to move need not capture at all, so the static
    //    evaluation is a lower bound on the score.
    int best = -MateScore + ply;
    int standPat = 0;
    if (!inCheck) {
        standPat = hit.found ? hit.eval : eval_.Evaluate(board_);
        if (standPat >= beta) return standPat;
        if (standPat > alpha) alpha = standPat;
        best = standPat;
    }
    const int alphaBefore = alpha;
    Move bestMove = NoMove;
    // A move's score taken in; true when it cuts off.
    const auto take = [&](Move m, int score) {
        if (score <= best) return false;
        best = score;
        if (score <= alpha) return false;
        alpha = score;
        bestMove = m;
        return score >= beta;
    };

    // 4. Captures and queen promotions (every move when in check), in picker order.
    MovePicker picker(board_, hit.move, history_, inCheck, params_[GoodCaptureSee]);
    int legal = 0;
    for (Move m = picker.Next(); m != NoMove; m = picker.Next()) {
        // 5. Delta pruning: even winning the piece, and a margin, would not lift the score to alpha.
        if (!inCheck && !IsPromotion(m)
            && standPat + StrongEval::PieceValue(CapturedType(board_, m)) + params_[DeltaMargin] < alpha)
            continue;
        if (!board_.Make(m)) continue;
        tt_->Prefetch(board_.key);
        ++legal;
        const int score = -Quiescence(-beta, -alpha, ply + 1, depth - 1);
        board_.Unmake();
        if (stopped_) return 0;
        if (take(m, score)) break;
    }
    // 6. Checkmate: in check without a legal move.
    if (inCheck && legal == 0) return -MateScore + ply;

    // 7. Quiet checks at the first ply: a mating or forking check is often the only move
    //    that keeps a line alive; those that lose the piece are left out.
    if (!inCheck && depth == 0 && best < beta) {
        MoveList quiets;
        board_.GenerateQuiet(quiets);
        for (int i = 0; i < quiets.count; ++i) {
            const Move m = quiets.moves[static_cast<std::size_t>(i)];
            if (!board_.GivesCheck(m) || See(board_, m) < params_[QuiescenceCheckSee]) continue;
            if (!board_.Make(m)) continue;
            tt_->Prefetch(board_.key);
            const int score = -Quiescence(-beta, -alpha, ply + 1, depth - 1);
            board_.Unmake();
            if (stopped_) return 0;
            if (take(m, score)) break;
        }
    }

    // 8. Store the result at depth 0.
    const int bound = best >= beta ? Bound::Lower : alpha > alphaBefore ? Bound::Exact : Bound::Upper;
    tt_->Store(board_.key, ply, bestMove, best, inCheck ? 0 : standPat, 0, bound);
    return best;
}

int StrongSearch::Search(int alpha, int beta, int depth, int ply, bool cutNode)
{
    // 1. Horizon: with no depth left only captures (and first-ply checks) are searched.
    pvLength_[ply] = ply;
    if (depth <= 0) return Quiescence(alpha, beta, ply);
    ++nodes_;
    if (ShouldStop()) return 0;
    const bool root = ply == 0;
    const bool pvNode = beta - alpha > 1;

    // 2. Draws and the ply limit; mate-distance pruning: no line from here beats a mate already
    //    found nearer the root.
    if (!root) {
        if (board_.IsRepetitionOrFifty()) return DrawScore;
        if (ply >= MaxPly) return eval_.Evaluate(board_);
        alpha = std::max(alpha, -MateScore + ply);
        beta = std::min(beta, MateScore - ply - 1);
        if (alpha >= beta) return alpha;
    }

    // 3. Transposition table: outside the principal variation a stored result at least this
    //    deep that settles the window ends the node; its move is tried first either way.
    const bool inCheck = board_.InCheck();
    const TTHit hit = tt_->Probe(board_.key, ply);
    const Move ttMove = hit.found ? hit.move : NoMove;
    if (!pvNode && hit.found && hit.depth >= depth && Settles(hit, alpha, beta)) return hit.score;

    // 4. Static evaluation (the table's when stored), and whether it rose since this side's
    //    last move: the pruning below trusts a rising evaluation more.
    const int eval = inCheck ? -InfiniteScore : hit.found ? hit.eval : eval_.Evaluate(board_);
    staticEval_[ply] = eval;
    const bool improving = !inCheck && ply >= 2 && eval > staticEval_[ply - 2];

    if (!pvNode && !inCheck) {
        // 5. Reverse futility: far enough above beta that a shallow search will not fall below.
        if (ReverseFutilityCuts(depth, eval, beta, improving)) return eval;
        // 6. Null move: passing still keeps the score above beta, so a real move will too.
        if (NullMoveAllowed(depth, eval, beta, ply)) {
            const int score = NullMoveSearch(beta, depth, ply, eval, cutNode);
            if (stopped_) return 0;
            if (score >= beta) return score >= MateBound ? beta : score;
        }
    }

    // 7. Internal iterative reduction: a deep node without a hash move was never searched or
    //    searched badly; a shallower search costs less and fills the table for the next visit.
    if (depth >= params_[IirDepth] && ttMove == NoMove && !inCheck) --depth;

    // 8. Move order: the hash move, good captures, the killers and the counter move to the
    //    opponent's last move, quiets by history and continuation history, bad captures.
    killers_[ply + 1][0] = killers_[ply + 1][1] = NoMove;
    nullMade_[ply + 1] = false;
    const Move previous = root ? NoMove : board_.LastMove();
    Move* counter = previous == NoMove
        ? nullptr
        : &counters_[board_.squares[static_cast<std::size_t>(To(previous))]][To(previous)];
    std::int16_t* followUps = previous == NoMove
        ? nullptr
        : continuation_.Row(board_.squares[static_cast<std::size_t>(To(previous))], To(previous));
    MovePicker picker(board_, ttMove, killers_[ply], counter ? *counter : NoMove, history_, followUps,
        params_[GoodCaptureSee]);
    const int alphaBefore = alpha;
    int best = -InfiniteScore;
    Move bestMove = NoMove;
    int legal = 0;
    Move quiets[64];
    int quietCount = 0;
    const int lateMoveLimit
        = (params_[LateMovePruningBase] + depth * depth) / (improving ? 1 : params_[LateMovePruningDivisor]);

    for (Move m = picker.Next(); m != NoMove; m = picker.Next()) {
        // 9. Root moves: only those the caller let it choose from, and not the first moves of
        //    this iteration's earlier lines.
        if (root && !rootMoves_.empty()
            && std::find(rootMoves_.begin(), rootMoves_.end(), m) == rootMoves_.end())
            continue;
        if (root && !excluded_.empty() && std::find(excluded_.begin(), excluded_.end(), m) != excluded_.end())
            continue;

        // 10. Shallow pruning of moves that promise nothing, once a move has kept the node out
        //     of a mate; a move that turns out to check is searched all the same.
        const bool quiet = board_.GivesNoCaptureOrPromotion(m);
        bool prune = false;
        if (!root && best > -MateBound && legal > 0)
            prune = quiet ? !inCheck && PrunesQuiet(m, depth, eval, alpha, legal >= lateMoveLimit)
                          : PrunesNoisy(m, depth);
        if (!board_.Make(m)) continue;
        tt_->Prefetch(board_.key);
        const bool givesCheck = board_.InCheck();
        if (prune && !givesCheck) {
            board_.Unmake();
            continue;
        }
        ++legal;

        // 11. Check extension: a checking move is searched one ply deeper.
        const int newDepth = depth - 1 + (givesCheck ? 1 : 0);

        // 12. Principal variation search: the first move with the full window, the others with
        //     a null window, late quiet moves reduced; a move that beats alpha is searched again
        //     unreduced, then with the full window.
        int score;
        if (legal == 1) {
            score = -Search(-beta, -alpha, newDepth, ply + 1, false);
        } else {
            int r = 0;
            if (depth >= params_[LmrDepth] && legal > params_[pvNode ? LmrMovesPv : LmrMoves] && quiet) {
                const bool refutation
                    = m == killers_[ply][0] || m == killers_[ply][1] || (counter && m == *counter);
                r = LateMoveReduction(m, depth, legal, newDepth, cutNode, improving, givesCheck || inCheck,
                    refutation, followUps);
            }
            score = -Search(-alpha - 1, -alpha, newDepth - r, ply + 1, true);
            if (score > alpha && r > 0) score = -Search(-alpha - 1, -alpha, newDepth, ply + 1, !cutNode);
            if (score > alpha && score < beta) score = -Search(-beta, -alpha, newDepth, ply + 1, false);
        }
        board_.Unmake();
        if (stopped_) return 0;

        // 13. A new best move: it extends the principal variation; one that cuts off, when
        //     quiet, teaches the move order.
        if (score > best) {
            best = score;
            if (score > alpha) {
                bestMove = m;
                alpha = score;
                pv_[ply][ply] = m;
                for (int i = ply + 1; i < pvLength_[ply + 1]; ++i)
                    pv_[ply][i] = pv_[ply + 1][i];
                pvLength_[ply] = std::max(pvLength_[ply + 1], ply + 1);
                if (root) {
                    rootBest_ = m;
                    rootBestScore_ = score;
                }
                if (score >= beta) {
                    if (quiet) RewardQuietCutoff(m, depth, ply, quiets, quietCount, counter, followUps);
                    break;
                }
            }
        }
        if (quiet && quietCount < 64) quiets[quietCount++] = m;
    }

    // 14. No legal move: mate or stalemate. Otherwise the result is stored; a further line's
    //     root result is not the position's, it left the best moves out.
    if (legal == 0) return inCheck ? -MateScore + ply : DrawScore;
    const int bound = best >= beta ? Bound::Lower : alpha > alphaBefore ? Bound::Exact : Bound::Upper;
    if (!root || excluded_.empty())
        tt_->Store(board_.key, ply, bestMove, best, inCheck ? 0 : eval, depth, bound);
    return best;
}

// The static evaluation beats beta by a margin per ply of depth that a shallow search rarely
// gives back (a smaller margin while the evaluation improves). Not near mate scores, where the
// evaluation says nothing.
bool StrongSearch::ReverseFutilityCuts(int depth, int eval, int beta, bool improving) const
{
    const int margin = params_[improving ? ReverseFutilityMarginImproving : ReverseFutilityMargin];
    return depth <= params_[ReverseFutilityDepth] && eval - margin * depth >= beta
        && std::abs(beta) < MateBound;
}

// A pass is worth searching where the evaluation already beats beta, the side did not just
// pass, and it has a piece besides pawns (with pawns alone zugzwang is common).
bool StrongSearch::NullMoveAllowed(int depth, int eval, int beta, int ply) const
{
    return depth >= params_[NullMoveDepth] && eval >= beta && !nullMade_[ply]
        && board_.HasNonPawnMaterial(board_.side) && std::abs(beta) < MateBound;
}

// The score after passing, searched shallower the deeper the node and the further the
// evaluation stands above beta.
int StrongSearch::NullMoveSearch(int beta, int depth, int ply, int eval, bool cutNode)
{
    const int r = params_[NullMoveReduction] + depth / params_[NullMoveDepthDivisor]
        + std::min(params_[NullMoveEvalMax], (eval - beta) / params_[NullMoveEvalDivisor]);
    board_.MakeNull();
    nullMade_[ply + 1] = true;
    const int score = -Search(-beta, -beta + 1, depth - r, ply + 1, !cutNode);
    nullMade_[ply + 1] = false;
    board_.UnmakeNull();
    return score;
}

// A quiet move near the leaves is not tried when enough quiet moves were (late move pruning),
// when even a positional gain would leave the score below alpha (futility), or when it hands
// material over (its exchange loses more than a margin per ply).
bool StrongSearch::PrunesQuiet(Move m, int depth, int eval, int alpha, bool lateMove) const
{
    if (depth <= params_[LateMovePruningDepth] && lateMove) return true;
    if (depth <= params_[FutilityDepth]
        && eval + params_[FutilityMargin] + params_[FutilityMarginPerDepth] * depth <= alpha)
        return true;
    return depth <= params_[SeeQuietDepth] && See(board_, m) < -params_[SeeQuietMarginPerDepth] * depth;
}

// A capture or promotion near the leaves is not tried when its exchange loses more than a
// margin per ply.
bool StrongSearch::PrunesNoisy(Move m, int depth) const
{
    return depth <= params_[SeeNoisyDepth] && See(board_, m) < -params_[SeeNoisyMarginPerDepth] * depth;
}

// The table's reduction for the depth and move number, more at an expected cut node and while
// the evaluation does not improve, less for a check, a refutation or a move with a good history;
// never below zero nor into the quiescence search.
int StrongSearch::LateMoveReduction(Move m, int depth, int legal, int newDepth, bool cutNode, bool improving,
    bool checks, bool refutation, const std::int16_t* followUps) const
{
    int r = reductions_[std::min(depth, 63)][std::min(legal, 63)];
    if (cutNode) r += params_[LmrCutNode];
    if (!improving) r += params_[LmrNotImproving];
    if (checks) r -= params_[LmrCheck];
    if (refutation) r -= params_[LmrRefutation];
    // The move is made: the mover's piece stands on the destination.
    const int piece = board_.squares[static_cast<std::size_t>(To(m))];
    const int followUp = followUps ? followUps[ContinuationTable::Index(piece, To(m))] : 0;
    r -= (history_.Get(board_.side ^ 1, m) + followUp) / params_[LmrHistoryDivisor];
    return std::clamp(r, 0, newDepth - 1);
}

void StrongSearch::RewardQuietCutoff(
    Move m, int depth, int ply, const Move* quiets, int quietCount, Move* counter, std::int16_t* followUps)
{
    if (killers_[ply][0] != m) {
        killers_[ply][1] = killers_[ply][0];
        killers_[ply][0] = m;
    }
    if (counter) *counter = m;
    const int bonus = std::min(depth * depth * params_[HistoryBonusScale], params_[HistoryBonusMax]);
    history_.Update(board_.side, m, bonus);
    for (int i = 0; i < quietCount; ++i)
        history_.Update(board_.side, quiets[i], -bonus);
    if (!followUps) return;
    const auto at = [&](Move q) -> std::int16_t& {
        return followUps[ContinuationTable::Index(board_.squares[static_cast<std::size_t>(From(q))], To(q))];
    };
    UpdateHistoryScore(at(m), bonus);
    for (int i = 0; i < quietCount; ++i)
        UpdateHistoryScore(at(quiets[i]), -bonus);
}

int StrongSearch::AspirationSearch(int depth, int previous, int& window)
{
    window = params_[AspirationWindow];
    int alpha = -InfiniteScore, beta = InfiniteScore;
    if (depth >= params_[AspirationDepth]) {
        alpha = std::max(previous - window, -InfiniteScore);
        beta = std::min(previous + window, InfiniteScore);
    }
    for (;;) {
        const int score = Search(alpha, beta, std::min(depth + depthSkew_, MaxPly - 1), 0, false);
        if (stopped_) return score;
        if (score <= alpha) {
            // Failed low: the score lies below; beta comes halfway down so that the re-search
            // settles sooner.
            beta = (alpha + beta) / 2;
            alpha = std::max(score - window, -InfiniteScore);
        } else if (score >= beta) {
            beta = std::min(score + window, InfiniteScore);
        } else {
            return score;
        }
        window += window / params_[AspirationGrowthDivisor] + params_[AspirationGrowthAdd];
    }
}

int StrongSearch::QuiescenceScore()
{
    static const std::atomic<bool> neverStop { false };
    limits_ = {};
    stop_ = &neverStop;
    stopped_ = false;
    nodes_ = 0;
    return Quiescence(-MateScore, MateScore, 0);
}

std::vector<IterationReport> StrongSearch::SearchFurtherLines(
    int depth, int rootMoveCount, const IterationReport& best)
{
    std::vector<IterationReport> lines { best };
    excluded_.assign(1, best.best);
    for (int line = 2; line <= std::min(multiPV_, rootMoveCount); ++line) {
        const int score = Search(-InfiniteScore, InfiniteScore, depth, 0, false);
        if (stopped_ || pv_[0][0] == NoMove) break;
        IterationReport report = best;
        report.score = score;
        report.best = pv_[0][0];
        report.pv = PvMoves();
        lines.push_back(report);
        excluded_.push_back(report.best);
    }
    excluded_.clear();
    // Best first, numbered in that order.
    std::stable_sort(lines.begin(), lines.end(),
        [](const IterationReport& a, const IterationReport& b) { return a.score > b.score; });
    for (std::size_t i = 0; i < lines.size(); ++i) {
        lines[i].multipv = static_cast<int>(i) + 1;
        lines[i].nodes = nodes_ + HelperNodes();
        lines[i].ms = ElapsedMs();
    }
    return lines;
}

IterationReport StrongSearch::Think(const clsSearchLimits& limits, const std::atomic<bool>& stop,
    const std::function<void(const IterationReport&)>& onIteration)
{
    start_ = std::chrono::steady_clock::now();
    limits_ = limits;
    checkMask_ = limits.hardMs > 0 && limits.hardMs < ShortThinkMs ? CheckEveryWhenShort - 1 : CheckEvery - 1;
    stop_ = &stop;
    stopped_ = false;
    nodes_ = 0;
    nodesShown_.store(0, std::memory_order_relaxed);
    if (!isHelper_) tt_->NewSearch();
    for (auto& k : killers_)
        k[0] = k[1] = NoMove;
    for (auto& colour : history_.score)
        for (auto& from : colour)
            for (auto& s : from)
                s = static_cast<std::int16_t>(s / 2);
    continuation_.Age();
    for (bool& n : nullMade_)
        n = false;

    IterationReport report;
    MoveList legal;
    board_.GenerateLegal(legal);
    if (legal.count == 0) return report;
    report.best = legal.moves[0];
    // The chosen root moves that are legal here; none of them: every move may be played.
    const auto legalEnd = legal.moves.begin() + legal.count;
    std::erase_if(
        rootMoves_, [&](Move m) { return std::find(legal.moves.begin(), legalEnd, m) == legalEnd; });
    if (!rootMoves_.empty()) report.best = rootMoves_.front();
    report.pv = { report.best };
    if (!isHelper_ && !helpers_.empty()) StartHelpers(limits);

    // No new iteration after the soft limit. When the caller gave one budget for both, the
    // search uses all of it: an iteration cut short by the hard limit still keeps any root move
    // that beat the previous best.
    std::int64_t soft = 0;
    if (limits.HasTimeLimit()) {
        const std::int64_t hard = limits.hardMs > 0 ? limits.hardMs : limits.softMs;
        soft = limits.softMs > 0 && limits.softMs < hard ? limits.softMs : hard;
    }
    const int maxDepth = limits.depth > 0 ? std::min(limits.depth, MaxPly - 1) : MaxPly - 1;
    int previous = 0;
    for (int depth = 1; depth <= maxDepth; ++depth) {
        // 1. One iteration, within an aspiration window once deep enough.
        rootBest_ = NoMove;
        int window = 0;
        const int score = AspirationSearch(depth, previous, window);
        // 2. Stopped inside the iteration: a move that beat the previous best there is better.
        if (stopped_) {
            if (rootBest_ != NoMove && depth > 1 && rootBest_ != report.best
                && rootBestScore_ > previous - window) {
                report.best = rootBest_;
                report.pv = { rootBest_ };
            }
            break;
        }
        // 3. The finished iteration is reported (with its further lines when asked for them).
        previous = score;
        report.depth = depth;
        report.score = score;
        report.best = pv_[0][0];
        report.pv = PvMoves();
        report.nodes = nodes_ + HelperNodes();
        report.ms = ElapsedMs();
        nodesShown_.store(nodes_, std::memory_order_relaxed);
        if (multiPV_ > 1 && !isHelper_) {
            const std::vector<IterationReport> lines = SearchFurtherLines(
                depth, rootMoves_.empty() ? legal.count : static_cast<int>(rootMoves_.size()), report);
            if (stopped_) {
                // The best line stands; an unfinished further line is dropped.
                if (onIteration) onIteration(report);
                break;
            }
            // A further line that scored higher (its full window saw more) is the best now.
            report = lines.front();
            previous = report.score;
            if (onIteration)
                for (const IterationReport& line : lines)
                    onIteration(line);
        } else if (onIteration) {
            onIteration(report);
        }
        // 4. No new iteration after the soft limit, after a mate found with room to spare (it
        //    will not be bettered), or deep enough into the only legal move.
        if (soft > 0 && report.ms >= soft) break;
        if (std::abs(score) > MateBound
            && depth > 2 * (MateScore - std::abs(score)) + params_[MateStopMargin])
            break;
        if (legal.count == 1 && limits.HasTimeLimit() && depth >= params_[SingleReplyDepth]) break;
    }
    StopHelpers();
    report.nodes = nodes_ + HelperNodes();
    report.ms = ElapsedMs();
    nodesShown_.store(nodes_, std::memory_order_relaxed);
    return report;
}

} // namespace drnChess::strong
