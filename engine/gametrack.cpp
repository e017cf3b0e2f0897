#include "engine/gametrack.h"

#include <algorithm>

namespace drnChess::strong {

namespace {
    // The classic board counts files from h: its bit i is the fast board's square i ^ 7, and its
    // piece kinds run two above the fast ones (a knight is 3 there, 1 here).
    constexpr u64 ClassicSquare(int sq)
    {
        return u64 { 1 } << (sq ^ 7);
    }
    constexpr int ClassicKindOffset = 2;
} // namespace

clsMove ClassicMove(Move m)
{
    clsMove move {};
    move.from = ClassicSquare(From(m));
    move.to = ClassicSquare(To(m));
    if (IsPromotion(m)) move.flags = static_cast<std::uint32_t>(PromotionType(m) + ClassicKindOffset) << 8;
    return move;
}

Move FastMoveOf(FastPosition& position, const clsMove& move)
{
    MoveList list;
    position.GenerateLegal(list);
    for (int i = 0; i < list.count; ++i) {
        const Move m = list.moves[static_cast<std::size_t>(i)];
        const clsMove c = ClassicMove(m);
        if (c.from == move.from && c.to == move.to && c.Promotion() == move.Promotion()) return m;
    }
    return NoMove;
}

bool GameTrack::Reset(const clsBoard& board, int halfmoveClock, u64 classicKey)
{
    classicKeys_.clear();
    if (!position_.SetFromBoard(board)) return false;
    position_.SetHalfmoveClock(std::max(0, halfmoveClock));
    position_.ClearHistory();
    classicKeys_.push_back(classicKey);
    return true;
}

bool GameTrack::Reach(u64 classicKey)
{
    const auto found = std::find(classicKeys_.rbegin(), classicKeys_.rend(), classicKey);
    if (found == classicKeys_.rend()) return false;
    for (auto taken = found - classicKeys_.rbegin(); taken > 0; --taken) {
        position_.Unmake();
        classicKeys_.pop_back();
    }
    return true;
}

void GameTrack::Play(
    const clsBoard& beforeBoard, int halfmoveClock, const clsMove& move, u64 before, u64 after)
{
    if (!Reach(before) && !Reset(beforeBoard, halfmoveClock, before)) return;
    const Move m = FastMoveOf(position_, move);
    if (m == NoMove) {
        Forget(); // cannot happen with a legal game move; the next think loads its position
        return;
    }
    position_.Play(m);
    classicKeys_.push_back(after);
    if (Plies() > MaxGamePlies) {
        // Positions before the last hundred plies can repeat neither by rule nor in the tree.
        constexpr int Kept = 100;
        position_.KeepRecentHistory(Kept);
        classicKeys_.erase(classicKeys_.begin(), classicKeys_.end() - (Kept + 1));
    }
}

} // namespace drnChess::strong
