#pragma once
// The transposition table: one 32-byte entry per index, owned by a clsEngineShare that any
// number of engines may use.
//
// Concurrency. Engines that share a table may search at the same time on different threads
// (embedded tournament players, "\play" games). The table is deliberately racy: entries are
// read and written without locks, and two searches overwrite each other's entries freely. To
// keep that free of undefined behaviour every field is a relaxed std::atomic (on x86-64 a
// relaxed load or store is a plain move, so this costs nothing and the entry stays 32 bytes).
// An entry may therefore hold fields written by two different searches; the worst outcome is
// one node taking or storing a score that belongs to another position at the same index, which
// the single-slot replacement scheme accepts anyway. Nothing here is ever used to index memory.
//
// Resizing is the one operation that may not overlap a search: a search holds the share's
// usage lock (shared) for the whole think, and Size() only proceeds when it can take that lock
// exclusively; otherwise it reports false and leaves the table as it is.
//
// A share without entries (size 0, or an allocation that failed down to nothing) is valid: the
// search then runs without probes, path marks and stores, and game moves plant no marks.
//
// Memory. The entries come zeroed from the system (calloc), so a large table takes address
// space at once but memory only page by page, as probes and stores first touch it: a run that
// never thinks (book building, perft, a tournament of other engines) does not pay for the table.

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>

#include "rules/clsboard.h"

namespace drnChess {

// Bits of clsTT::flags.
namespace TTFlag {
    inline constexpr std::uint32_t Stored = 0x04; // score and depth hold a search result
    inline constexpr std::uint32_t OnPath = 0x10; // position is on the current search path
    inline constexpr std::uint32_t GamePosition = 0x28; // position of the game played so far
} // namespace TTFlag

// Depth of a game-position mark: deeper than any search reaches.
inline constexpr std::int32_t GamePositionDepth = 1000;

struct clsTT {
    std::atomic<u64> key { 0 };
    std::atomic<u64> reserved { 0 }; // cleared when the entry is claimed; never read
    std::atomic<std::int32_t> depth { 0 }; // remaining depth of the stored result; -1 when claimed
    std::atomic<std::int32_t> score { 0 }; // -15000 when claimed and not yet scored
    std::atomic<std::uint32_t> flags { 0 };
    std::uint32_t pad = 0;

    u64 Key() const { return key.load(std::memory_order_relaxed); }
    std::int32_t Depth() const { return depth.load(std::memory_order_relaxed); }
    std::int32_t Score() const { return score.load(std::memory_order_relaxed); }
    std::uint32_t Flags() const { return flags.load(std::memory_order_relaxed); }

    // Takes the entry over for another position: key set, score -15000, depth -1, reserved 0;
    // the flags are left as they were.
    void Claim(u64 k);
    // Overwrites the entry with a result: flags exactly Stored.
    void Put(std::int32_t s, std::int32_t d);
    // Plants the mark of a game position: score -52 (the draw score), depth 1000, flags 0x28.
    void MarkGamePosition(u64 k);
    void SetOnPath();
    void ClearOnPath();
};
static_assert(sizeof(clsTT) == 32, "a table entry is 32 bytes");
static_assert(std::atomic<u64>::is_always_lock_free, "the table needs lock-free 64-bit atomics");

class clsEngineShare {
public:
    clsEngineShare();
    virtual ~clsEngineShare();
    clsEngineShare(const clsEngineShare&) = delete;
    clsEngineShare& operator=(const clsEngineShare&) = delete;

    // Discards the table and allocates MiB * 2^20 bytes rounded down to a power-of-two number of
    // entries, halving the count while the allocation fails. 0 MiB (or less) leaves no table.
    // Returns false, changing nothing, while a search is using the table.
    bool Size(std::int32_t mib);
    // Zeroes every entry (a new table of the same size). False while a search uses the table.
    bool Clear();

    u64 EntryCount() const { return count_; }
    // The size asked for in bytes, kept even when the count had to be halved.
    u64 SizeBytes() const { return bytes_; }
    // The entry of a position key; null when there is no table.
    clsTT* Entry(u64 key) const { return count_ ? &entries_[key & (count_ - 1)] : nullptr; }

    // Held (shared) by a search for the whole think, so the table cannot be resized under it.
    std::shared_lock<std::shared_mutex> Use() { return std::shared_lock<std::shared_mutex>(usage_); }

protected:
    // Allocates count zeroed entries with calloc (the share releases them with free); null on
    // failure. Tests override it to simulate failures.
    virtual clsTT* AllocateEntries(u64 count);

private:
    struct FreeEntries {
        void operator()(clsTT* entries) const;
    };

    u64 count_ = 0;
    u64 bytes_ = 0;
    std::unique_ptr<clsTT[], FreeEntries> entries_;
    std::shared_mutex usage_;
};

} // namespace drnChess
