#pragma once
// The strong search: iterative deepening with aspiration windows over a principal-variation
// alpha-beta search with quiescence, a transposition table, null-move pruning, late-move
// reductions and pruning, check extension, mate-distance pruning, and draws by repetition
// (against the game's earlier positions too) and by the fifty-move rule inside the tree. Each
// step is a short block of its own, numbered in the order a node takes them; every margin and
// reduction it uses is a named parameter (searchparams.h).
//
// One object per engine; it runs on the engine thread. With more than one thread it keeps
// helper searches that search the same root on threads of their own, sharing its table, each
// with its own board and histories (odd helpers one ply deeper); the engine thread decides and
// reports. Everything a node needs lives in the object or on the stack: nothing is allocated
// per node.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/fastnames.h"
#include "engine/movepicker.h"
#include "engine/searchlimits.h"
#include "engine/searchparams.h"
#include "engine/strongeval.h"
#include "engine/strongtt.h"

namespace drnChess::strong {

inline constexpr int MaxPly = 120;

// One finished iteration (or the last, interrupted one), as the thinking line shows it.
struct IterationReport {
    int depth = 0;
    int score = 0; // centipawns, or +-(MateScore - plies)
    std::int64_t ms = 0;
    std::uint64_t nodes = 0;
    Move best = NoMove;
    std::vector<Move> pv; // the principal variation, best move first
    int multipv = 1; // which line of the iteration: 1 is the best, 2 the best without its move...
};

// The score as the xboard GUI expects it: centipawns, or 100000 + moves to mate (-100000 - moves
// when mated).
int GuiScore(int score);

// A line of moves as coordinate texts separated by blanks (for messages and tests).
std::string LineText(const std::vector<Move>& line);

class StrongSearch {
public:
    StrongSearch();
    ~StrongSearch();
    StrongSearch(const StrongSearch&) = delete;
    StrongSearch& operator=(const StrongSearch&) = delete;

    // The position to search; the game's earlier positions (their keys, oldest first) count for
    // repetitions.
    FastPosition& Board() { return board_; }
    void SetTableSize(std::size_t mib);
    void ClearTable() { tt_->Clear(); }
    // Per-mille of the table written by the current (or last) search.
    int Hashfull() const { return tt_->Hashfull(); }
    // The threads a think searches on, 1 to MaxThreads (one: no helper at all). Not while
    // thinking.
    static constexpr int MaxThreads = 64;
    void SetThreads(int threads);
    // Lines per iteration: after the best, each next one searched without the first moves of
    // the lines before it (reported with multipv 2, 3, ...). Not while thinking.
    static constexpr int MaxMultiPV = 64;
    void SetMultiPV(int lines) { multiPV_ = std::clamp(lines, 1, MaxMultiPV); }
    int MultiPV() const { return multiPV_; }
    int Threads() const { return static_cast<int>(helpers_.size()) + 1; }
    // Forgets everything learnt from earlier searches (table, history, killers): the next
    // search depends on its position and limits alone.
    void NewGame();
    void SetWeights(const std::vector<int>& weights) { eval_ = StrongEval(weights); }
    const StrongEval& Eval() const { return eval_; }
    // The margins and reductions the search plays with (the defaults unless set). Not while
    // thinking.
    void SetSearchParams(const SearchParams& params);
    const SearchParams& SearchParameters() const { return params_; }

    // Searches the position within the limits until the stop flag rises; calls onIteration
    // after each finished iteration. Returns the last report (best == NoMove when the position
    // has no legal move).
    IterationReport Think(const clsSearchLimits& limits, const std::atomic<bool>& stop,
        const std::function<void(const IterationReport&)>& onIteration);

    // The root moves the next think may choose from (empty: all), given as coordinate texts
    // read on the board; and a deadline tick the caller may set while the think runs (0: none).
    void SetRootMoves(const std::vector<std::string>& moves)
    {
        rootMoves_.clear();
        for (const auto& text : moves)
            if (const Move m = board_.ParseMove(text); m != NoMove) rootMoves_.push_back(m);
    }
    void SetDeadline(const std::atomic<std::int64_t>* tick) { deadline_ = tick; }

    // The quiescence score of the board's position for the side to move, full window and no
    // limits (learning keeps the positions where it equals the static evaluation).
    int QuiescenceScore();

    std::uint64_t Nodes() const { return nodes_ + HelperNodes(); }
    // The node count so far (every thread's), safe to read from another thread while Think runs.
    std::uint64_t NodesShown() const { return nodesShown_.load(std::memory_order_relaxed) + HelperNodes(); }

private:
    int Search(int alpha, int beta, int depth, int ply, bool cutNode);
    // The steps of Search that take more than a few lines (each says why where it is defined).
    bool ReverseFutilityCuts(int depth, int eval, int beta, bool improving) const;
    bool NullMoveAllowed(int depth, int eval, int beta, int ply) const;
    int NullMoveSearch(int beta, int depth, int ply, int eval, bool cutNode);
    bool PrunesQuiet(Move m, int depth, int eval, int alpha, bool lateMove) const;
    bool PrunesNoisy(Move m, int depth) const;
    // The plies a late quiet move (already made) is searched shallower by.
    int LateMoveReduction(Move m, int depth, int legal, int newDepth, bool cutNode, bool improving,
        bool checks, bool refutation, const std::int16_t* followUps) const;
    // A quiet move cut off: it becomes a killer and the counter move, and its histories rise
    // while those of the quiet moves tried before it fall.
    void RewardQuietCutoff(Move m, int depth, int ply, const Move* quiets, int quietCount, Move* counter,
        std::int16_t* followUps);
    // One iteration at the root within an aspiration window around the previous score, widened
    // after each fail; the window's last half-width is left in window.
    int AspirationSearch(int depth, int previous, int& window);
    // Captures and promotions (every move when in check); at its first ply (depth 0) also the
    // quiet moves that check without losing the piece.
    int Quiescence(int alpha, int beta, int ply, int depth = 0);
    // Polls the stop flag, and every few thousand nodes the clock and the node limit.
    bool ShouldStop();
    std::int64_t ElapsedMs() const;
    std::vector<Move> PvMoves() const;
    // The helpers set to this think's root and started; stopped and joined.
    void StartHelpers(const clsSearchLimits& limits);
    // The best line of a finished iteration and the lines after it, best first.
    std::vector<IterationReport> SearchFurtherLines(
        int depth, int rootMoveCount, const IterationReport& best);
    void StopHelpers();
    std::uint64_t HelperNodes() const;

    FastPosition board_;
    StrongEval eval_;
    SearchParams params_;
    StrongTT ownTable_;
    StrongTT* tt_ = &ownTable_; // a helper's is its main search's
    std::vector<std::unique_ptr<StrongSearch>> helpers_;
    std::vector<std::thread> helperThreads_;
    std::atomic<bool> helpersStop_ { false };
    bool isHelper_ = false;
    int multiPV_ = 1;
    std::vector<Move> excluded_; // root moves the current line may not play (the earlier lines')
    int depthSkew_ = 0; // plies added to each iteration's depth
    HistoryTable history_ {};
    ContinuationTable continuation_;
    Move killers_[MaxPly + 2][2] {};
    Move counters_[12][64] {}; // by the piece and destination of the move answered
    Move pv_[MaxPly + 2][MaxPly + 2] {};
    int pvLength_[MaxPly + 2] {};
    int staticEval_[MaxPly + 2] {};
    bool nullMade_[MaxPly + 2] {};
    int reductions_[64][64] {}; // late move reductions by depth and move number, from params_

    clsSearchLimits limits_ {};
    const std::atomic<bool>* stop_ = nullptr;
    const std::atomic<std::int64_t>* deadline_ = nullptr;
    std::vector<Move> rootMoves_;
    std::chrono::steady_clock::time_point start_ {};
    bool stopped_ = false;
    std::uint64_t checkMask_ = 2047; // the clock is read when the node count has these bits clear
    std::uint64_t nodes_ = 0;
    std::atomic<std::uint64_t> nodesShown_ { 0 };
    Move rootBest_ = NoMove;
    int rootBestScore_ = 0;
};

} // namespace drnChess::strong
