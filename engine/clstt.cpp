#include "engine/clstt.h"

#include <cstdlib>
#include <mutex>
#include <type_traits>

#include "rules/random.h"

namespace drnChess {

namespace {
    constexpr std::int32_t NoScore = -15000;
    constexpr std::int32_t DrawScore = -52;
    constexpr auto Relaxed = std::memory_order_relaxed;
} // namespace

void clsTT::Claim(u64 k)
{
    key.store(k, Relaxed);
    score.store(NoScore, Relaxed);
    depth.store(-1, Relaxed);
    reserved.store(0, Relaxed);
}

void clsTT::Put(std::int32_t s, std::int32_t d)
{
    flags.store(TTFlag::Stored, Relaxed);
    score.store(s, Relaxed);
    depth.store(d, Relaxed);
}

void clsTT::MarkGamePosition(u64 k)
{
    key.store(k, Relaxed);
    reserved.store(0, Relaxed);
    depth.store(GamePositionDepth, Relaxed);
    score.store(DrawScore, Relaxed);
    flags.store(TTFlag::GamePosition, Relaxed);
}

void clsTT::SetOnPath()
{
    flags.fetch_or(TTFlag::OnPath, Relaxed);
}

void clsTT::ClearOnPath()
{
    flags.fetch_and(~TTFlag::OnPath, Relaxed);
}

clsEngineShare::clsEngineShare()
{
    // The first share or engine of the process draws the hash keys.
    InitKeysOnce();
}

clsEngineShare::~clsEngineShare() = default;

// calloc creates the entries (an aggregate with trivial destruction is an implicit-lifetime
// type) with every field zero, without writing to the pages: the system commits a page when a
// probe or store first touches it. new[] with value-initialisation would write all of them.
static_assert(std::is_aggregate_v<clsTT> && std::is_trivially_destructible_v<clsTT>);

clsTT* clsEngineShare::AllocateEntries(u64 count)
{
    return static_cast<clsTT*>(std::calloc(count, sizeof(clsTT)));
}

void clsEngineShare::FreeEntries::operator()(clsTT* entries) const
{
    std::free(entries);
}

bool clsEngineShare::Size(std::int32_t mib)
{
    std::unique_lock lock(usage_, std::try_to_lock);
    if (!lock.owns_lock()) return false;

    // 1. Free the old table; 0 MiB means no table.
    entries_.reset();
    count_ = 0;
    bytes_ = 0;
    if (mib <= 0) return true;

    // 2. Entries: the size in bytes over 32, rounded down to a power of two.
    bytes_ = static_cast<u64>(mib) << 20;
    u64 count = bytes_ / sizeof(clsTT);
    while (count & (count - 1))
        count &= count - 1;

    // 3. Halve the count until an allocation succeeds (or nothing is left).
    for (; count; count >>= 1) {
        if (clsTT* table = AllocateEntries(count)) {
            entries_.reset(table);
            count_ = count;
            break;
        }
    }
    return true;
}

bool clsEngineShare::Clear()
{
    std::unique_lock lock(usage_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    for (u64 i = 0; i < count_; ++i) {
        clsTT& e = entries_[i];
        e.key.store(0, Relaxed);
        e.reserved.store(0, Relaxed);
        e.depth.store(0, Relaxed);
        e.score.store(0, Relaxed);
        e.flags.store(0, Relaxed);
    }
    return true;
}

} // namespace drnChess
