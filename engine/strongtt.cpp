// The strong search's transposition table.

#include "engine/strongtt.h"

#include <algorithm>

namespace drnChess::strong {

void StrongTT::Resize(std::size_t mib)
{
    const std::size_t bytes = (mib == 0 ? 1 : mib) * 1024 * 1024;
    std::size_t buckets = bytes / sizeof(Line);
    if (buckets == 0) buckets = 1;
    buckets_ = buckets;
    mib_ = mib;
    lines_.assign(buckets, Line {});
    generation_ = 0;
}

void StrongTT::Clear()
{
    std::fill(lines_.begin(), lines_.end(), Line {});
    generation_ = 0;
}

int StrongTT::ToTable(int score, int ply)
{
    if (score > MateBound) return score + ply;
    if (score < -MateBound) return score - ply;
    return score;
}

int StrongTT::FromTable(int score, int ply)
{
    if (score > MateBound) return score - ply;
    if (score < -MateBound) return score + ply;
    return score;
}

TTHit StrongTT::Probe(std::uint64_t key, int ply) const
{
    TTHit hit;
    if (lines_.empty()) return hit;
    const TTEntry* bucket = Bucket(key);
    for (int i = 0; i < BucketSize; ++i) {
        const TTEntry& e = bucket[i];
        if (e.check != Check(key) || e.BoundKind() == Bound::None) continue;
        hit.found = true;
        hit.move = e.move;
        hit.score = FromTable(e.score, ply);
        hit.eval = e.eval;
        hit.depth = e.depth;
        hit.bound = e.BoundKind();
        return hit;
    }
    return hit;
}

void StrongTT::Store(std::uint64_t key, int ply, Move move, int score, int eval, int depth, int bound)
{
    if (lines_.empty()) return;
    TTEntry* bucket = Bucket(key);
    // The entry of the same position, else the least valuable one: oldest generation first,
    // then the shallowest draft.
    TTEntry* target = nullptr;
    int worst = 1 << 30;
    for (int i = 0; i < BucketSize; ++i) {
        TTEntry& e = bucket[i];
        if (e.check == Check(key) || e.BoundKind() == Bound::None) {
            target = &e;
            break;
        }
        const int age = (generation_ - e.Generation()) & 63;
        const int value = e.depth - 8 * age;
        if (value < worst) {
            worst = value;
            target = &e;
        }
    }
    if (target->check == Check(key) && target->BoundKind() != Bound::None) {
        // The same position: a shallower non-exact result does not replace a deeper one, but
        // a move is always kept.
        if (move == NoMove) move = target->move;
        if (bound != Bound::Exact && depth + 3 < target->depth && target->Generation() == generation_) {
            target->move = move;
            return;
        }
    }
    target->check = Check(key);
    target->move = move;
    target->score = static_cast<std::int16_t>(ToTable(score, ply));
    target->eval = static_cast<std::int16_t>(eval);
    target->depth = static_cast<std::uint8_t>(depth < 0 ? 0 : depth);
    target->generationAndBound = static_cast<std::uint8_t>((generation_ << 2) | bound);
}

int StrongTT::Hashfull() const
{
    int used = 0, total = 0;
    for (std::size_t i = 0; i < lines_.size() && i < 1000; ++i)
        for (const TTEntry& e : lines_[i].entries) {
            ++total;
            if (e.BoundKind() != Bound::None && e.Generation() == generation_) ++used;
        }
    return total ? used * 1000 / total : 0;
}

} // namespace drnChess::strong
