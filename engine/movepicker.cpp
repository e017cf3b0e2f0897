// The staged move picker of the strong search.

#include "engine/movepicker.h"

#include "engine/see.h"
#include "engine/strongeval.h"

namespace drnChess::strong {

void HistoryTable::Clear()
{
    for (auto& colour : score)
        for (auto& from : colour)
            for (auto& s : from)
                s = 0;
}

void HistoryTable::Update(int colour, Move m, int bonus)
{
    UpdateHistoryScore(score[colour][From(m)][To(m)], bonus);
}

void UpdateHistoryScore(std::int16_t& s, int bonus)
{
    // Gravity: the score stays within +-16384 and recent results weigh more.
    const int clamped = bonus > 16384 ? 16384 : bonus < -16384 ? -16384 : bonus;
    const int magnitude = clamped < 0 ? -clamped : clamped;
    s = static_cast<std::int16_t>(s + clamped - s * magnitude / 16384);
}

MovePicker::MovePicker(const FastPosition& board, Move ttMove, const Move killers[2], Move counter,
    const HistoryTable& history, const std::int16_t* continuation, int goodCaptureSee)
    : board_(board)
    , history_(history)
    , continuation_(continuation)
    , ttMove_(board.IsPseudoLegal(ttMove) ? ttMove : NoMove)
    , goodCaptureSee_(goodCaptureSee)
{
    refutations_[0] = killers[0];
    refutations_[1] = killers[1];
    if (counter != killers[0] && counter != killers[1]) refutations_[2] = counter;
    if (ttMove_ == NoMove) stage_ = Stage::GenerateCaptures;
}

MovePicker::MovePicker(
    const FastPosition& board, Move ttMove, const HistoryTable& history, bool inCheck, int goodCaptureSee)
    : board_(board)
    , history_(history)
    , goodCaptureSee_(goodCaptureSee)
    , quiescence_(true)
    , evasions_(inCheck)
{
    const bool usable = board.IsPseudoLegal(ttMove)
        && (inCheck || board.IsCapture(ttMove) || PromotionType(ttMove) == Queen);
    ttMove_ = usable ? ttMove : NoMove;
    if (ttMove_ == NoMove) stage_ = Stage::GenerateCaptures;
}

void MovePicker::ScoreCaptures()
{
    for (int i = index_; i < list_.count; ++i) {
        const Move m = list_.moves[static_cast<std::size_t>(i)];
        const int victim = Kind(m) == MoveKind::EnPassant ? Pawn
            : board_.squares[static_cast<std::size_t>(To(m))] == NoPiece
            ? NoType
            : TypeOf(board_.squares[static_cast<std::size_t>(To(m))]);
        const int attacker = TypeOf(board_.squares[static_cast<std::size_t>(From(m))]);
        int s = (victim == NoType ? 0 : StrongEval::PieceValue(victim) * 8) - attacker;
        if (IsPromotion(m)) s += StrongEval::PieceValue(PromotionType(m)) * 8;
        scores_[i] = s;
    }
}

void MovePicker::ScoreQuiets()
{
    for (int i = index_; i < list_.count; ++i) {
        const Move m = list_.moves[static_cast<std::size_t>(i)];
        scores_[i] = history_.Get(board_.side, m);
        if (continuation_)
            scores_[i] += continuation_[ContinuationTable::Index(
                board_.squares[static_cast<std::size_t>(From(m))], To(m))];
    }
}

Move MovePicker::PickBest(int end)
{
    int best = index_;
    for (int i = index_ + 1; i < end; ++i)
        if (scores_[i] > scores_[best]) best = i;
    std::swap(list_.moves[static_cast<std::size_t>(best)], list_.moves[static_cast<std::size_t>(index_)]);
    std::swap(scores_[best], scores_[index_]);
    return list_.moves[static_cast<std::size_t>(index_++)];
}

Move MovePicker::Next()
{
    for (;;) {
        switch (stage_) {
        case Stage::TTMove:
            stage_ = Stage::GenerateCaptures;
            return ttMove_;
        case Stage::GenerateCaptures:
            list_.count = 0;
            index_ = 0;
            board_.GenerateNoisy(list_);
            ScoreCaptures();
            stage_ = Stage::GoodCaptures;
            break;
        case Stage::GoodCaptures:
            while (index_ < list_.count) {
                const Move m = PickBest(list_.count);
                if (m == ttMove_) continue;
                // Under-promotions and losing captures wait for the end (quiescence drops them).
                const bool underPromotion = IsPromotion(m) && PromotionType(m) != Queen;
                if (underPromotion || (!evasions_ && See(board_, m) < goodCaptureSee_)) {
                    if (!quiescence_ || evasions_) bad_[badCount_++] = m;
                    continue;
                }
                return m;
            }
            stage_ = quiescence_ && !evasions_ ? Stage::Done
                : evasions_                    ? Stage::GenerateQuiets
                                               : Stage::Killers;
            break;
        case Stage::Killers:
            while (refutationIndex_ < 3) {
                const Move k = refutations_[refutationIndex_++];
                if (k != NoMove && k != ttMove_ && board_.GivesNoCaptureOrPromotion(k)
                    && board_.IsPseudoLegal(k))
                    return k;
            }
            stage_ = Stage::GenerateQuiets;
            break;
        case Stage::GenerateQuiets:
            list_.count = 0;
            index_ = 0;
            board_.GenerateQuiet(list_);
            ScoreQuiets();
            stage_ = Stage::Quiets;
            break;
        case Stage::Quiets:
            while (index_ < list_.count) {
                const Move m = PickBest(list_.count);
                if (m == ttMove_
                    || (!evasions_ && (m == refutations_[0] || m == refutations_[1] || m == refutations_[2])))
                    continue;
                return m;
            }
            stage_ = Stage::BadCaptures;
            index_ = 0;
            break;
        case Stage::BadCaptures:
            if (index_ < badCount_) return bad_[index_++];
            stage_ = Stage::Done;
            break;
        case Stage::Done:
            return NoMove;
        }
    }
}

} // namespace drnChess::strong
