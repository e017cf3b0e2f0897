#include "book/clsbook.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dranbase/clsfile.h"
#include "dranbase/clsstring.h"
#include "rules/clschesscore.h"

namespace drnChess {

namespace {
    // Counters of a book file are not trusted: a sum that leaves the 32-bit range stays at its
    // end instead of wrapping (signed overflow is undefined).
    std::int32_t SaturatingAdd(std::int32_t a, std::int32_t b)
    {
        const std::int64_t sum = std::int64_t { a } + b;
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, INT32_MIN, INT32_MAX));
    }

    void AddCounts(clsBookEntry& to, const clsBookEntry& from)
    {
        to.wins = SaturatingAdd(to.wins, from.wins);
        to.losses = SaturatingAdd(to.losses, from.losses);
        to.draws = SaturatingAdd(to.draws, from.draws);
    }

    // ".cbk" layout: magic, version, record count, 32 reserved zero varints, records, terminator.
    constexpr char BookMagic[6] = { 'D', 'R', 'N', 'B', 'K', '\0' };
    constexpr char BookTerminator[6] = { '*', 'E', 'N', 'D', '*', '\0' };
    constexpr std::int32_t BookVersion = 1;
    constexpr std::size_t CountOffset = 10;
    constexpr int ReservedVarints = 32;

    // The limit test of both load and save: a limit of n keeps positions of at least 2n games.
    bool PassesLimit(const clsBookEntry& e, int limit)
    {
        return e.Games() / 2 >= limit;
    }

    void PutInt32(std::string& out, std::int32_t v)
    {
        auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    }

    // Unsigned varint: 7 bits per byte, least significant group first, high bit on all but the last.
    void PutVarint(std::string& out, std::int32_t v)
    {
        auto u = static_cast<std::uint32_t>(v);
        while (u >= 0x80) {
            out.push_back(static_cast<char>((u & 0x7F) | 0x80));
            u >>= 7;
        }
        out.push_back(static_cast<char>(u));
    }

    // The key is stored as two little-endian halves, the low 32 bits first.
    void PutKey(std::string& out, u64 key)
    {
        PutInt32(out, static_cast<std::int32_t>(static_cast<std::uint32_t>(key)));
        PutInt32(out, static_cast<std::int32_t>(static_cast<std::uint32_t>(key >> 32)));
    }

    // Reads from a whole-file buffer; reads past the end fail instead of running over it.
    class clsByteReader {
    public:
        explicit clsByteReader(const std::string& data)
            : data_(data)
        {
        }

        bool Read(void* out, std::size_t n)
        {
            if (data_.size() - pos_ < n) {
                pos_ = data_.size();
                return false;
            }
            std::memcpy(out, data_.data() + pos_, n);
            pos_ += n;
            return true;
        }
        bool ReadUInt32(std::uint32_t& v)
        {
            unsigned char b[4];
            if (!Read(b, 4)) return false;
            v = std::uint32_t { b[0] } | (std::uint32_t { b[1] } << 8) | (std::uint32_t { b[2] } << 16)
                | (std::uint32_t { b[3] } << 24);
            return true;
        }
        // Bytes up to one without the high bit; the end of the data gives 0. Groups beyond the
        // 64th bit are ignored, so a corrupt run of continuation bytes cannot shift too far.
        std::int32_t ReadVarint()
        {
            u64 value = 0;
            int shift = 0;
            while (pos_ < data_.size()) {
                auto b = static_cast<unsigned char>(data_[pos_++]);
                if (shift < 64) value |= u64 { b & 0x7Fu } << shift;
                shift += 7;
                if ((b & 0x80) == 0) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
            }
            return 0;
        }

    private:
        const std::string& data_;
        std::size_t pos_ = 0;
    };

    void Report(const BookPrinter& progress, const std::string& text, bool endLine)
    {
        if (progress) progress(text, endLine);
    }

    std::string ErrorText(const std::string& path, int err)
    {
        return "# error " + path + ": " + std::strerror(err);
    }

    // Writes the whole block to path + ".tmp" and renames it over the path.
    bool WriteWhole(const std::string& path, const std::string& bytes, std::string* error)
    {
        std::string tmp = path + ".tmp";
        std::FILE* f = std::fopen(tmp.c_str(), "wb");
        if (!f) {
            if (error) *error = ErrorText(path, errno);
            return false;
        }
        bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        int err = ok ? 0 : errno;
        if (std::fflush(f) != 0 && ok) {
            ok = false;
            err = errno;
        }
        if (std::fclose(f) != 0 && ok) {
            ok = false;
            err = errno;
        }
        if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) {
            ok = false;
            err = errno;
        }
        if (!ok) {
            std::remove(tmp.c_str());
            if (error) *error = ErrorText(path, err != 0 ? err : EIO);
        }
        return ok;
    }

    // Sorts by key. Book keys are hash values spread evenly over their range, so one pass that
    // deals the outcomes into buckets by their top 16 bits leaves a few per bucket to sort; keys
    // that are not spread out only make the buckets larger (each is sorted with std::sort).
    void SortByKey(std::vector<clsBookOutcome>& outcomes)
    {
        const auto byKey = [](const clsBookOutcome& a, const clsBookOutcome& b) { return a.key < b.key; };
        constexpr int BucketBits = 16;
        if (outcomes.size() < (std::size_t { 1 } << (BucketBits - 4))) {
            std::sort(outcomes.begin(), outcomes.end(), byKey);
            return;
        }
        const auto bucketOf = [](u64 key) { return static_cast<std::size_t>(key >> (64 - BucketBits)); };
        std::vector<std::size_t> start((std::size_t { 1 } << BucketBits) + 1, 0);
        for (const clsBookOutcome& o : outcomes)
            ++start[bucketOf(o.key) + 1];
        for (std::size_t b = 1; b < start.size(); ++b)
            start[b] += start[b - 1];
        std::vector<clsBookOutcome> dealt(outcomes.size());
        std::vector<std::size_t> next(start.begin(), start.end() - 1);
        for (const clsBookOutcome& o : outcomes)
            dealt[next[bucketOf(o.key)]++] = o;
        for (std::size_t b = 0; b + 1 < start.size(); ++b)
            if (start[b + 1] - start[b] > 1)
                std::sort(dealt.begin() + static_cast<std::ptrdiff_t>(start[b]),
                    dealt.begin() + static_cast<std::ptrdiff_t>(start[b + 1]), byKey);
        outcomes.swap(dealt);
    }

    std::string HexKey(u64 key)
    {
        char buf[17];
        std::snprintf(buf, sizeof buf, "%016" PRIX64, key);
        return buf;
    }

    // One legal move of the scanned position with the key of the position it leads to.
    struct ScannedMove {
        std::string move;
        u64 key;
    };

    // Makes every legal move of the core's position and computes the book key after it. Leaves
    // the root's move list generated and the board as it was.
    std::vector<ScannedMove> ScanMoves(clsChessCore& core)
    {
        std::vector<ScannedMove> result;
        const clsBoard saved = core.board;
        core.ResetNodeStack();
        core.GenerateMoves(-1);
        clsSimpleNode* root = core.Root();
        for (clsMove* m = root->firstMove; m < clsChessCore::Next(root)->firstMove; ++m) {
            core.MakeMove(*m);
            if (!core.IsAttacked(core.board.own() & core.board.kings())) {
                // The square a double-pushing pawn passed over, one rank behind its destination.
                if (m->Has(MoveFlag::DoublePush))
                    core.board.epSquare() = core.board.side == White ? m->to >> 8 : m->to << 8;
                else
                    core.board.epSquare() = 0;
                core.board.SwitchSide();
                result.push_back({ MoveToText(*m, true), BookKey(core.board) });
            }
            core.board = saved;
        }
        return result;
    }

} // namespace

int clsBookEntry::Score() const
{
    std::int64_t games = Games();
    if (games <= 0) return 0;
    return static_cast<int>((std::int64_t { draws } + 2 * std::int64_t { wins }) * 500 / games);
}

int clsBookEntry::LowerBound() const
{
    const std::int64_t games = Games();
    if (games <= 0) return 0;
    // Wilson's interval for the share of points, at 95 %: few games give a wide interval.
    constexpr double z = 1.96;
    const double n = static_cast<double>(games);
    const double p = std::clamp((static_cast<double>(wins) + static_cast<double>(draws) / 2) / n, 0.0, 1.0);
    const double centre = p + z * z / (2 * n);
    const double margin = z * std::sqrt(p * (1 - p) / n + z * z / (4 * n * n));
    return std::max(0, static_cast<int>(std::floor(1000 * (centre - margin) / (1 + z * z / n))));
}

int BestCandidateIndex(const std::vector<clsBookEntryExt>& candidates)
{
    int best = -1;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        if (best < 0 || candidates[i].LowerBound() > candidates[static_cast<std::size_t>(best)].LowerBound())
            best = static_cast<int>(i);
    return best;
}

void clsBook::AddOrMerge(const clsBookEntry& entry)
{
    auto it = std::lower_bound(entries_.begin(), entries_.end(), entry.key,
        [](const clsBookEntry& e, u64 key) { return e.key < key; });
    if (it != entries_.end() && it->key == entry.key) {
        AddCounts(*it, entry);
    } else {
        entries_.insert(it, entry);
    }
}

void clsBook::AddOrMergeAll(std::vector<clsBookEntry> entries)
{
    clsBook added;
    added.entries_ = std::move(entries);
    added.SortAndCombine();
    MergeFrom(added);
}

void clsBook::AddOutcomes(std::vector<clsBookOutcome>& outcomes)
{
    SortByKey(outcomes);
    clsBook added;
    std::vector<clsBookEntry>& entries = added.entries_;
    std::size_t keys = 0;
    for (std::size_t i = 0; i < outcomes.size(); ++i)
        keys += i == 0 || outcomes[i].key != outcomes[i - 1].key;
    entries.reserve(keys); // exactly: the list may hold a good part of the memory in use
    for (const clsBookOutcome& o : outcomes) {
        if (entries.empty() || entries.back().key != o.key) entries.push_back({ .key = o.key });
        clsBookEntry& e = entries.back();
        if (o.points == clsBookOutcome::Won)
            ++e.wins;
        else if (o.points == clsBookOutcome::Lost)
            ++e.losses;
        else
            ++e.draws;
    }
    std::vector<clsBookOutcome>().swap(outcomes);
    if (entries_.empty())
        entries_.swap(entries);
    else
        MergeFrom(added);
}

const clsBookEntry* clsBook::Find(u64 key) const
{
    auto it = std::lower_bound(
        entries_.begin(), entries_.end(), key, [](const clsBookEntry& e, u64 k) { return e.key < k; });
    return (it != entries_.end() && it->key == key) ? &*it : nullptr;
}

bool clsBook::IsSorted() const
{
    return std::adjacent_find(entries_.begin(), entries_.end(),
               [](const clsBookEntry& a, const clsBookEntry& b) { return a.key >= b.key; })
        == entries_.end();
}

void clsBook::SortAndCombine()
{
    if (IsSorted()) return;
    // Entries of equal key are added up, so their order among themselves does not matter.
    std::sort(entries_.begin(), entries_.end(),
        [](const clsBookEntry& a, const clsBookEntry& b) { return a.key < b.key; });
    std::vector<clsBookEntry> combined;
    combined.reserve(entries_.size());
    for (const clsBookEntry& e : entries_) {
        if (!combined.empty() && combined.back().key == e.key) {
            AddCounts(combined.back(), e);
        } else {
            combined.push_back(e);
        }
    }
    entries_ = std::move(combined);
}

void clsBook::MergeFrom(const clsBook& other)
{
    std::vector<clsBookEntry> merged;
    merged.reserve(entries_.size() + other.entries_.size());
    auto a = entries_.begin();
    auto b = other.entries_.begin();
    while (a != entries_.end() || b != other.entries_.end()) {
        if (b == other.entries_.end() || (a != entries_.end() && a->key < b->key)) {
            merged.push_back(*a++);
        } else if (a == entries_.end() || b->key < a->key) {
            merged.push_back(*b++);
        } else {
            clsBookEntry e = *a++;
            AddCounts(e, *b);
            ++b;
            merged.push_back(e);
        }
    }
    entries_ = std::move(merged);
}

bool clsBook::Load(const std::string& path, int limit, const BookPrinter& progress)
{
    // A book is read whole: a device or a FIFO (BookFile /dev/zero) could be read without end.
    constexpr std::uintmax_t MaxBookBytes = std::uintmax_t { 4 } << 30;
    dranbase::clsString data;
    if (path.empty() || !dranbase::DataFileProblem(path, MaxBookBytes).empty()
        || data.LoadFromFile(path) == 0)
        return false;
    clsByteReader in(data);

    char magic[6];
    if (!in.Read(magic, sizeof magic) || std::memcmp(magic, BookMagic, sizeof magic) != 0) return false;
    std::uint32_t version = 0;
    std::uint32_t count = 0;
    if (!in.ReadUInt32(version) || static_cast<std::int32_t>(version) != BookVersion) return false;
    if (!in.ReadUInt32(count)) return false;
    // A record takes at least 11 bytes: a count the file cannot hold (or a negative one) is
    // a corrupt header, refused before anything is read.
    const std::int64_t records = static_cast<std::int32_t>(count);
    if (records < 0 || records > static_cast<std::int64_t>(data.size() / 11)) return false;

    Report(progress, "#     loading " + std::to_string(records) + " positions\r", false);
    for (int i = 0; i < ReservedVarints; ++i)
        in.ReadVarint();

    entries_.reserve(entries_.size() + static_cast<std::size_t>(records));
    std::int64_t lastPercent = -1;
    std::int64_t read = 0;
    for (; read < records; ++read) {
        std::int64_t percent = read * 100 / records;
        if (percent != lastPercent) {
            lastPercent = percent;
            Report(progress, "# " + std::to_string(percent) + "%\r", false);
        }
        clsBookEntry e;
        e.wins = in.ReadVarint();
        e.losses = in.ReadVarint();
        e.draws = in.ReadVarint();
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        if (!in.ReadUInt32(low) || !in.ReadUInt32(high)) break;
        e.key = u64 { low } | (u64 { high } << 32);
        if (PassesLimit(e, limit)) entries_.push_back(e);
    }
    bool complete = read == records;
    if (complete) {
        char terminator[6];
        complete = in.Read(terminator, sizeof terminator); // content not checked
    }
    if (!complete) return false; // no "ok" for a book cut short
    Report(progress, "# ok  ", true);
    return true;
}

bool clsBook::ClearAndLoad(const std::string& path, int limit, const BookPrinter& progress)
{
    clsBook fresh;
    if (!fresh.Load(path, limit, progress)) return false;
    entries_.swap(fresh.entries_);
    return true;
}

bool clsBook::Save(const std::string& path, int limit, std::string* error) const
{
    std::string out;
    out.reserve(52 + entries_.size() * 12);
    out.append(BookMagic, sizeof BookMagic);
    PutInt32(out, BookVersion);
    PutInt32(out, static_cast<std::int32_t>(entries_.size()));
    out.append(ReservedVarints, '\0');
    std::int32_t written = 0;
    for (const clsBookEntry& e : entries_) {
        if (!PassesLimit(e, limit)) continue;
        PutVarint(out, e.wins);
        PutVarint(out, e.losses);
        PutVarint(out, e.draws);
        PutKey(out, e.key);
        ++written;
    }
    out.append(BookTerminator, sizeof BookTerminator);
    if (written != static_cast<std::int32_t>(entries_.size())) {
        std::string count;
        PutInt32(count, written);
        out.replace(CountOffset, 4, count);
    }
    return WriteWhole(path, out, error);
}

u64 BookKey(const clsBoard& board)
{
    u64 a = 0xA10E014701010401ULL;
    u64 b = 0x00002C070202CDE2ULL;
    u64 sum = 0;
    const u64 inputs[] = { board.kings(), board.queens(), board.rooks(), board.bishops(), board.knights(),
        board.pawns(), static_cast<u64>(board.side), board.own(), board.epSquare() - board.castle() };
    for (u64 f : inputs) {
        u64 s1 = a ^ f;
        u64 s0 = b;
        s1 ^= s1 << 23;
        u64 n = s1 ^ s0 ^ (s1 >> 17) ^ (s0 >> 26);
        a = s0;
        b = n;
        sum ^= n + s0;
    }
    return sum ^ board.occupied();
}

int CollectCandidates(clsChessCore& core, const clsBook& book, std::vector<clsBookEntryExt>& out)
{
    out.clear();
    for (ScannedMove& m : ScanMoves(core)) {
        const clsBookEntry* found = book.Find(m.key);
        if (!found) continue;
        clsBookEntryExt candidate;
        static_cast<clsBookEntry&>(candidate) = *found;
        candidate.move = std::move(m.move);
        out.push_back(std::move(candidate));
    }
    std::stable_sort(out.begin(), out.end(),
        [](const clsBookEntryExt& a, const clsBookEntryExt& b) { return b.Greater(a); });
    return static_cast<int>(out.size());
}

std::vector<std::string> BookListing(clsChessCore& core, const clsBook& book)
{
    std::vector<std::string> lines;
    int best = -1;
    int bestBound = -1;
    for (const ScannedMove& m : ScanMoves(core)) {
        std::string line = "# " + HexKey(m.key) + " " + m.move;
        if (const clsBookEntry* e = book.Find(m.key)) {
            line += " " + std::to_string(e->wins) + " " + std::to_string(e->draws) + " "
                + std::to_string(e->losses) + " " + dranbase::FixedText(e->Score() / 10.0, 2) + "%";
            if (e->LowerBound() > bestBound) {
                bestBound = e->LowerBound();
                best = static_cast<int>(lines.size());
            }
        } else {
            line += " ???";
        }
        lines.push_back(std::move(line));
    }
    if (best >= 0) lines.push_back(lines[static_cast<std::size_t>(best)] + " <--- best entry");
    return lines;
}

void DropRareCandidates(std::vector<clsBookEntryExt>& candidates)
{
    double total = 0;
    for (const clsBookEntryExt& c : candidates)
        total += static_cast<double>(c.Games());
    if (total <= 0) return;
    std::erase_if(candidates,
        [total](const clsBookEntryExt& c) { return static_cast<double>(c.Games()) / total < 0.02; });
}

int PickCandidateIndex(std::int32_t r, int count)
{
    if (count <= 0) return 0;
    return static_cast<int>(std::llabs(static_cast<long long>(r)) % count);
}

} // namespace drnChess
