#pragma once
// The strong search's transposition table: buckets of four entries in one cache line, each with
// the bound kind, the draft it was searched to, the best move and the static evaluation. Mate scores are
// stored as distances from the stored node, so a probe from another ply reads them right. One table per
// engine, shared by its search threads.

#include <cstdint>
#include <vector>

#include "engine/fastnames.h"

namespace drnChess::strong {

namespace Bound {
    inline constexpr int None = 0;
    inline constexpr int Upper = 1; // the score is at most this (no move reached alpha)
    inline constexpr int Lower = 2; // at least this (a cut-off)
    inline constexpr int Exact = 3;
} // namespace Bound

// Scores: mate in n plies from the root is MateScore - n.
inline constexpr int MateScore = 32000;
inline constexpr int MateBound = MateScore - 1000; // above: a mate score
inline constexpr int InfiniteScore = 32500;

// The key's upper half chooses the bucket, so an entry keeps only the lower half to tell
// positions apart (and the search checks a hash move before it plays it).
struct TTEntry {
    std::uint32_t check;
    Move move;
    std::int16_t score;
    std::int16_t eval;
    std::uint8_t depth;
    std::uint8_t generationAndBound; // generation << 2 | bound

    int BoundKind() const { return generationAndBound & 3; }
    int Generation() const { return generationAndBound >> 2; }
};

// An entry as the table keeps it: two words, each read and written whole, so that several
// search threads may share the table. The check word is the key XOR the data word: an entry
// torn by two threads writing at once no longer matches its key.
struct TTSlot {
    std::uint64_t keyXorData;
    std::uint64_t data; // move | score << 16 | eval << 32 | depth << 48 | generation and bound << 56
};
static_assert(sizeof(TTSlot) == 16, "entries are 16 bytes");

// What a probe found.
struct TTHit {
    bool found = false;
    Move move = NoMove;
    int score = 0; // already adjusted to the probing ply
    int eval = 0;
    int depth = 0;
    int bound = Bound::None;
};

class StrongTT {
public:
    static constexpr int BucketSize = 4;

    // Resizes to about the given number of MiB (at least one bucket) and clears. Resize, Clear
    // and NewSearch only while no search runs; Probe and Store from any search thread.
    void Resize(std::size_t mib);
    void Clear();
    std::size_t SizeMiB() const { return mib_; }
    // A new search: older entries become the first to be replaced.
    void NewSearch() { generation_ = static_cast<std::uint8_t>((generation_ + 1) & 63); }

    TTHit Probe(std::uint64_t key, int ply) const;
    // Asks the memory for the key's bucket ahead of its probe.
    void Prefetch(std::uint64_t key) const { __builtin_prefetch(Bucket(key)); }
    void Store(std::uint64_t key, int ply, Move move, int score, int eval, int depth, int bound);

    // Per-mille of entries of the first thousand buckets written in this search.
    int Hashfull() const;

    // Mate scores relative to the node for storing, back to the root's point of view on reading.
    static int ToTable(int score, int ply);
    static int FromTable(int score, int ply);

private:
    struct alignas(64) Line {
        TTSlot slots[BucketSize];
    };
    static_assert(sizeof(Line) == 64, "a bucket is one cache line");
    static std::uint32_t Check(std::uint64_t key) { return static_cast<std::uint32_t>(key); }
    static TTEntry Read(const TTSlot& slot);
    static void Write(TTSlot& slot, const TTEntry& entry);
    TTSlot* Bucket(std::uint64_t key)
    {
        return lines_[static_cast<std::size_t>(((key >> 32) * buckets_) >> 32)].slots;
    }
    const TTSlot* Bucket(std::uint64_t key) const
    {
        return lines_[static_cast<std::size_t>(((key >> 32) * buckets_) >> 32)].slots;
    }

    std::vector<Line> lines_;
    std::uint64_t buckets_ = 0;
    std::size_t mib_ = 0;
    std::uint8_t generation_ = 0;
};

} // namespace drnChess::strong
