// The think: the body of the engine thread, the random-move modes and the four-ply probe.

#include <algorithm>
#include <cstdlib>

#include "engine/clsengine.h"
#include "engine/movesort.h"
#include "rules/random.h"

namespace drnChess {

namespace {

    // |r| of the generator's next value taken as a signed 32-bit number.
    std::int64_t NextRandomMagnitude()
    {
        const auto r = static_cast<std::int32_t>(static_cast<std::uint32_t>(NextRandom()));
        return std::llabs(std::int64_t { r });
    }

} // namespace

void clsEngine::BeginThink()
{
    // 1.
    if (verbose) Print("# engine's running");

    // 2. No move yet. The whole record is cleared, so nothing of the previous think (a move with
    //    the same squares) can be taken for "the move already posted".
    {
        std::lock_guard lock(resultMutex_);
        result_ = clsMove {};
        result_.flags = MoveFlag::Illegal;
        result_.order = Score::None;
        resultLine_.length = 0;
        expectedReply_.clear();
    }

    // 3. Counters and clock. The stop flag was cleared by Start, before the thread existed, so
    //    a stop request sent right after Start is not lost.
    nodeCount = 0;
    ttHits = 0;
    repetitionHits = 0;
    PublishNodes();
    ttHitsShown_.store(0, std::memory_order_relaxed);
    depthShown_.store(0, std::memory_order_relaxed);
    thinkTime_ = 0;
    startTick_.store(dranbase::Tick(), std::memory_order_relaxed);
}

int clsEngine::PrepareRootMoves()
{
    ComputeMaterial();
    clsSimpleNode* root = Root();
    current = root;
    root->boardCopy = board;
    root->legalCount = 0;
    PrepareRoot();
    GenerateMoves(-1);
    if (MoveCount(root) == 0 || FilterLegalMoves() == 0) return 0;
    KeepChosenRootMoves();
    SortByValue(root->firstMove, Next(root)->firstMove);
    const int count = MoveCount(root);
    if (verbose) Print("# " + std::to_string(count) + " moves to analyze");
    return count;
}

void clsEngine::KeepChosenRootMoves()
{
    if (rootMoves_.empty()) return;
    clsSimpleNode* root = Root();
    clsMove* keep = root->firstMove;
    // Coordinate texts are compared without the "=" before a promotion letter (e7e8q, e7e8=q).
    auto bare = [](std::string text) {
        std::erase(text, '=');
        return text;
    };
    for (clsMove* m = root->firstMove; m != Next(root)->firstMove; ++m) {
        const std::string text = bare(MoveToText(*m, false));
        for (const std::string& chosen : rootMoves_)
            if (dranbase::EqualsNoCase(bare(chosen), text)) {
                *keep++ = *m;
                break;
            }
    }
    if (keep == root->firstMove) return; // none of them is legal here: all moves stay
    Next(root)->firstMove = keep;
    keep->flags = MoveFlag::Illegal; // the list's end mark
    root->legalCount = static_cast<std::int32_t>(keep - root->firstMove);
}

void clsEngine::ReportIteration(int depth)
{
    if (!iterationListener_) return;
    const clsMove best = ResultMove();
    if (best.Has(MoveFlag::Illegal)) return;
    clsIterationReport report;
    report.depth = report.selDepth = depth;
    const int moves = static_cast<int>(best.flags >> MoveFlag::MateDistanceShift) + 1;
    if (best.Has(MoveFlag::Mates))
        report.mateMoves = moves;
    else if (best.Has(MoveFlag::Loses))
        report.mateMoves = -moves;
    report.scoreCp = best.order * 100 / 105;
    report.nodes = nodeCount;
    report.ms = dranbase::Tick() - startTick_.load(std::memory_order_relaxed);
    report.pv.push_back(best);
    iterationListener_(report);
}

void clsEngine::SetResultMateDistance(int moves)
{
    std::lock_guard lock(resultMutex_);
    const auto byte = static_cast<std::uint32_t>(std::clamp(moves, 0, 255));
    result_.flags = (result_.flags & ~MoveFlag::MateDistanceMask) | (byte << MoveFlag::MateDistanceShift);
}

bool clsEngine::Run()
{
    if (UseStrongSearch()) return RunStrong();
    // 1.-3.
    BeginThink();

    // 4. Modes.
    const bool random = options.Has("-random");
    const bool timed = options.Has("-timed");
    const bool proportional = options.Has("-proportional");
    const std::string percentText = options.Value("-proportional");
    const int percent = percentText.empty() ? 60 : static_cast<int>(dranbase::ToInt(percentText));
    startTick_.store(dranbase::Tick(), std::memory_order_relaxed);
    ArmDeadline(startTick_.load(std::memory_order_relaxed));

    // 5. Depth limit, held where the node stack ends.
    int limit = fixedDepth_ != 0 ? fixedDepth_ : (random && !timed && !proportional) ? 2 : MaxSearchDepth;
    limit = std::min(limit, MaxSearchDepth);
    if (depthLimit_ > 0) limit = std::min(limit, depthLimit_); // "sd"

    // The table may not be resized while this think uses it.
    std::shared_lock<std::shared_mutex> tableUse;
    if (share_) tableUse = share_->Use();

    // 6. The book, unless a single iteration was asked for.
    bool searched = false;
    if (singleIteration_ || !useBook_ || !BookMove()) {
        // 7. The root list; a position without a legal move is not searched.
        if (PrepareRootMoves() == 0) {
            PublishNodes();
            return Root()->inCheck != 0;
        }
        clsSimpleNode* root = Root();
        searched = true;

        // 8. Iterations two plies apart.
        int d = fixedDepth_ != 0 ? std::min(fixedDepth_, MaxSearchDepth) : 2;
        while (d <= limit && !Stopped()) {
            depthShown_.store(d, std::memory_order_relaxed);
            SearchRoot(d);
            SortByScore(root->firstMove, Next(root)->firstMove);
            const int moves = d / 2 - 1;
            SetResultMateDistance(moves);
            const clsMove r = ResultMove();
            const bool finished = !Stopped();
            if (!r.Has(MoveFlag::Illegal) && r.order > Score::MateBound) {
                {
                    std::lock_guard lock(resultMutex_);
                    result_.flags |= MoveFlag::Mates;
                }
                if (finished) ReportIteration(d);
                if (verbose) {
                    Print("# I'll win in " + std::to_string(std::max(moves, 0)) + " moves playing "
                        + TakeMoveText(false));
                }
                break;
            }
            if (!r.Has(MoveFlag::Illegal) && r.order < -Score::MateBound) {
                {
                    std::lock_guard lock(resultMutex_);
                    result_.flags |= MoveFlag::Loses;
                }
                if (finished) ReportIteration(d);
                if (verbose) Print("# I'll lose in " + std::to_string(std::max(moves, 0)) + " moves");
                break;
            }
            if (finished) ReportIteration(d);
            if (singleIteration_) break;
            d += 2;
        }
    }

    // 9. Time spent. A think cut short by its own deadline says so; one stopped before its
    //    first iteration ended still leaves a move: the first of the root list, ordered by value
    //    (a budget of nothing means "move now", never "no move").
    if (TimeExpired()) Print("# time has expired");
    if (searched && ResultMove().Has(MoveFlag::Illegal)) PostMove(Root()->firstMove);
    // Time spent.
    thinkTime_ += dranbase::Tick() - startTick_.load(std::memory_order_relaxed);
    ++thinkCount_;

    // 10. "-random": a random legal move instead of the best one.
    if (random) PlayRandomMove(proportional, percent);

    // 11.
    PublishNodes();
    ttHitsShown_.store(ttHits, std::memory_order_relaxed);
    if (verbose) Print("# engine stopped");
    return true;
}

void clsEngine::PlayRandomMove(bool proportional, int percent)
{
    clsSimpleNode* root = Root();
    current = root;
    root->boardCopy = board;
    FilterLegalMoves();
    clsMove* const first = root->firstMove;
    const int count = MoveCount(root);

    if (!proportional) {
        // Uniform among the legal moves; none posts no move.
        if (count == 0) {
            PostMove(nullptr);
            return;
        }
        PostMove(first + NextRandomMagnitude() % count);
        return;
    }
    // Walk the moves best first; each gets its own draw and must not lose a queen's worth.
    for (clsMove* m = first; m != first + count; ++m) {
        const std::int64_t draw = NextRandomMagnitude() % 100;
        if (draw <= percent && m->order > -940) {
            PostMove(m);
            return;
        }
    }
}

int clsEngine::FourPlyProbe(std::uint64_t* nodesOut)
{
    std::shared_lock<std::shared_mutex> tableUse;
    if (share_) tableUse = share_->Use();
    // A stop request left over from an earlier think must not cut the probe short.
    stop_.store(false, std::memory_order_relaxed);
    ResetNodeStack();
    nodeCount = 0;
    ttHits = 0;
    repetitionHits = 0;
    maxPly = 4;
    const int score = Search(4);
    PublishNodes();
    ttHitsShown_.store(ttHits, std::memory_order_relaxed);
    if (nodesOut) *nodesOut = nodeCount;
    return score;
}

} // namespace drnChess
