// The strong search's transposition table.

#include "engine/strongtt.h"

#include <algorithm>
#include <atomic>

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

TTEntry StrongTT::Read(const TTSlot& slot)
{
    // Relaxed atomic reads and writes: a plain load or store on the machine, and no data race.
    const std::uint64_t data
        = std::atomic_ref<const std::uint64_t>(slot.data).load(std::memory_order_relaxed);
    const std::uint64_t key
        = std::atomic_ref<const std::uint64_t>(slot.keyXorData).load(std::memory_order_relaxed) ^ data;
    TTEntry e;
    e.check = static_cast<std::uint32_t>(key);
    e.move = static_cast<Move>(data);
    e.score = static_cast<std::int16_t>(data >> 16);
    e.eval = static_cast<std::int16_t>(data >> 32);
    e.depth = static_cast<std::uint8_t>(data >> 48);
    e.generationAndBound = static_cast<std::uint8_t>(data >> 56);
    return e;
}

void StrongTT::Write(TTSlot& slot, const TTEntry& e)
{
    const std::uint64_t data = std::uint64_t { e.move }
        | std::uint64_t { static_cast<std::uint16_t>(e.score) } << 16
        | std::uint64_t { static_cast<std::uint16_t>(e.eval) } << 32 | std::uint64_t { e.depth } << 48
        | std::uint64_t { e.generationAndBound } << 56;
    std::atomic_ref<std::uint64_t>(slot.data).store(data, std::memory_order_relaxed);
    std::atomic_ref<std::uint64_t>(slot.keyXorData)
        .store(std::uint64_t { e.check } ^ data, std::memory_order_relaxed);
}

TTHit StrongTT::Probe(std::uint64_t key, int ply) const
{
    TTHit hit;
    if (lines_.empty()) return hit;
    const TTSlot* bucket = Bucket(key);
    for (int i = 0; i < BucketSize; ++i) {
        const TTEntry e = Read(bucket[i]);
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
    TTSlot* bucket = Bucket(key);
    // The entry of the same position, else the least valuable one: oldest generation first,
    // then the shallowest draft.
    TTSlot* slot = nullptr;
    TTEntry target {};
    int worst = 1 << 30;
    for (int i = 0; i < BucketSize; ++i) {
        const TTEntry e = Read(bucket[i]);
        if (e.check == Check(key) || e.BoundKind() == Bound::None) {
            slot = &bucket[i];
            target = e;
            break;
        }
        const int age = (generation_ - e.Generation()) & 63;
        const int value = e.depth - 8 * age;
        if (value < worst) {
            worst = value;
            slot = &bucket[i];
            target = e;
        }
    }
    if (target.check == Check(key) && target.BoundKind() != Bound::None) {
        // The same position: a shallower non-exact result does not replace a deeper one, but
        // a move is always kept.
        if (move == NoMove) move = target.move;
        if (bound != Bound::Exact && depth + 3 < target.depth && target.Generation() == generation_) {
            target.move = move;
            Write(*slot, target);
            return;
        }
    }
    target.check = Check(key);
    target.move = move;
    target.score = static_cast<std::int16_t>(ToTable(score, ply));
    target.eval = static_cast<std::int16_t>(eval);
    target.depth = static_cast<std::uint8_t>(depth < 0 ? 0 : depth);
    target.generationAndBound = static_cast<std::uint8_t>((generation_ << 2) | bound);
    Write(*slot, target);
}

int StrongTT::Hashfull() const
{
    int used = 0, total = 0;
    for (std::size_t i = 0; i < lines_.size() && i < 1000; ++i)
        for (const TTSlot& slot : lines_[i].slots) {
            const TTEntry e = Read(slot);
            ++total;
            if (e.BoundKind() != Bound::None && e.Generation() == generation_) ++used;
        }
    return total ? used * 1000 / total : 0;
}

} // namespace drnChess::strong
