#pragma once
// The strong search's tunable constants: every pruning margin, reduction and search limit is
// one named integer with its default and the range a tuner may try, beside the evaluation's
// weights. The search reads them from an array indexed by SearchParam: nothing is looked up by
// name or allocated while it searches.

#include <array>
#include <string>
#include <string_view>

namespace drnChess::strong {

enum class SearchParam : int {
    // Reverse futility: the static evaluation beats beta by a margin per ply of depth.
    ReverseFutilityDepth,
    ReverseFutilityMargin, // per ply, while the evaluation is not improving
    ReverseFutilityMarginImproving, // per ply, while it is
    // Null move: the side to move passes; the reply's search is shallower by the reduction.
    NullMoveDepth, // the least depth tried
    NullMoveReduction, // base reduction
    NullMoveDepthDivisor, // one more ply of reduction per this many plies of depth
    NullMoveEvalDivisor, // and one more per this much the evaluation beats beta...
    NullMoveEvalMax, // ...up to this many plies
    // Internal iterative reduction: a node without a hash move, this deep or deeper, one ply less.
    IirDepth,
    // Late move pruning: at most (base + depth^2) quiet moves, divided when not improving.
    LateMovePruningDepth,
    LateMovePruningBase,
    LateMovePruningDivisor,
    // Futility: a quiet move is not tried when the evaluation plus a margin stays below alpha.
    FutilityDepth,
    FutilityMargin, // base
    FutilityMarginPerDepth,
    // Static exchange pruning: a move that loses more than the margin per ply of depth.
    SeeQuietDepth,
    SeeQuietMarginPerDepth,
    SeeNoisyDepth,
    SeeNoisyMarginPerDepth,
    // Late move reductions: base + ln(depth) ln(move number) / divisor plies (both in
    // hundredths), adjusted by the node and the move.
    LmrDepth, // the least depth reduced
    LmrMoves, // moves searched in full first (at non-PV nodes)
    LmrMovesPv, // the same at PV nodes
    LmrBase,
    LmrDivisor,
    LmrCutNode, // plies added at an expected cut node
    LmrNotImproving, // added while the evaluation does not improve
    LmrCheck, // taken off for a move that checks or answers a check
    LmrRefutation, // taken off for a killer or the counter move
    LmrHistoryDivisor, // one ply less per this much history (and continuation history)
    // History: a cut-off's bonus is depth^2 times the scale, at most the maximum.
    HistoryBonusScale,
    HistoryBonusMax,
    // Aspiration windows around the previous iteration's score.
    AspirationDepth, // the first iteration searched with a window
    AspirationWindow, // its first half-width
    AspirationGrowthDivisor, // after a fail the width grows by width / divisor + add
    AspirationGrowthAdd,
    // Quiescence.
    DeltaMargin, // a capture is skipped when the victim plus this leaves the score below alpha
    QuiescenceCheckSee, // a quiet check is tried when its exchange is at least this
    GoodCaptureSee, // captures whose exchange is below this wait until after the quiet moves
    // Iterative deepening stops early.
    MateStopMargin, // a mate in n is final once the depth passes 2n plus this
    SingleReplyDepth, // with one legal move and a clock, the depth that is enough
    Unknown // after the last: the number of parameters, and the answer for a name none has
};

inline constexpr std::size_t SearchParamCount = static_cast<std::size_t>(SearchParam::Unknown);

struct SearchParamInfo {
    std::string_view name;
    int value; // the default
    int min;
    int max;
};

// Every parameter's name, default and range, in SearchParam order.
const std::array<SearchParamInfo, SearchParamCount>& SearchParamTable();

// The parameter of this name, or SearchParam::Unknown when none has it.
SearchParam FindSearchParam(std::string_view name);

// One value per parameter, the defaults unless set.
class SearchParams {
public:
    SearchParams();
    int operator[](SearchParam p) const { return values_[static_cast<std::size_t>(p)]; }
    // False, with the reason, and the value unchanged, when the name is unknown or the value
    // lies outside the parameter's range.
    bool Set(std::string_view name, int value, std::string& error);
    bool operator==(const SearchParams&) const = default;

private:
    std::array<int, SearchParamCount> values_;
};

} // namespace drnChess::strong
