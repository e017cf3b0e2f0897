#pragma once
// The opening book: positions identified by a 64-bit key, each with the results of the games
// in which it arose, kept sorted by key; the ".cbk" file; the candidate scan used for book
// moves and for the console listing.
//
// This layer never prints. Loading can report its progress lines through a printer callback;
// saving reports failures through an error text the caller prints.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rules/clsboard.h"

namespace drnChess {

class clsChessCore;

// Receives one piece of console text; endLine asks for a line end after it. Texts that must
// stay on the same line (progress counters) end in "\r" and come with endLine false.
using BookPrinter = std::function<void(const std::string& text, bool endLine)>;

// Results of the games in which a position arose, seen from the side that moved into it.
struct clsBookEntry {
    std::int32_t wins = 0;
    std::int32_t losses = 0;
    std::int32_t draws = 0; // draws and games without a decisive result
    u64 key = 0;

    std::int64_t Games() const { return std::int64_t { wins } + losses + draws; }
    // Per mille of the points for the mover: (draws + 2 * wins) * 500 / games, 0..1000.
    // A position without games scores 0.
    int Score() const;
    // Per mille, 0..1000: the lower end of the 95 % confidence interval (Wilson's) of the
    // mover's points per game. The rank of "best" book moves: a score from many games beats
    // the same or a slightly better one from few (1 win of 1 gives 206; 77 of 128 gives 514).
    int LowerBound() const;
    bool Equal(const clsBookEntry& other) const { return key == other.key; }
    bool Greater(const clsBookEntry& other) const { return key > other.key; }
};

// One position reached in one game, with that game's outcome for the side that moved into it:
// what the book builder gathers before it adds the games up.
struct clsBookOutcome {
    enum Points : std::int32_t { Lost = 0, Drawn = 1, Won = 2 };
    u64 key = 0;
    std::int32_t points = Drawn; // draws and games without a decisive result
};

// A candidate of the book probe: the statistics of the position reached by a move, and the
// move's long form ("Ng1-f3"). Candidates compare by score, not by key.
struct clsBookEntryExt : clsBookEntry {
    std::string move;

    bool Equal(const clsBookEntryExt& other) const { return Score() == other.Score(); }
    bool Greater(const clsBookEntryExt& other) const { return Score() > other.Score(); }
};

// The book: entries sorted by key ascending, at most one entry per key, as long as entries
// come in through AddOrMerge. Load appends without searching (the file is trusted to be
// sorted); SortAndCombine restores the order after loading files that were not.
class clsBook {
public:
    // Adds the counters to the entry of the same key, or inserts the entry in key order.
    // Each insertion moves the entries behind it: for many entries use AddOrMergeAll.
    void AddOrMerge(const clsBookEntry& entry);
    // The same as AddOrMerge for each entry, in one sort and one linear merge.
    void AddOrMergeAll(std::vector<clsBookEntry> entries);
    // Adds each outcome as one game of its position: the same as AddOrMerge for each, in one
    // sort and one linear merge. The list is sorted in place and then emptied (its memory freed).
    void AddOutcomes(std::vector<clsBookOutcome>& outcomes);
    // Binary search by key; null when the key is not in the book.
    const clsBookEntry* Find(u64 key) const;
    void Clear() { entries_.clear(); }
    int Count() const { return static_cast<int>(entries_.size()); }
    bool Empty() const { return entries_.empty(); }
    const clsBookEntry& At(int i) const { return entries_[static_cast<std::size_t>(i)]; }
    const std::vector<clsBookEntry>& Entries() const { return entries_; }

    // Appends the records of a ".cbk" file whose (wins + losses + draws) / 2 is at least the
    // limit. True when every record and the terminator were read. A file that does not open,
    // or has a wrong magic or version, or a record count that is negative or more than the
    // file can hold, loads nothing and gives false. A truncated file keeps the records read
    // before the cut and gives false (ClearAndLoad keeps none of them). The progress lines
    // ("#     loading N positions\r", "# N%\r", and "# ok  " on success) go to the printer
    // when one is given.
    bool Load(const std::string& path, int limit = 0, const BookPrinter& progress = {});
    // Replaces the book with the file's records; on failure the book stays as it was.
    bool ClearAndLoad(const std::string& path, int limit = 0, const BookPrinter& progress = {});
    // Writes the entries whose (wins + losses + draws) / 2 is at least the limit, with the
    // record count set to the number written. The file is written under a temporary name and
    // renamed over the target, so a failure leaves any old file untouched; then false, and the
    // error text "# error <file>: <reason>" is stored in *error when given.
    bool Save(const std::string& path, int limit = 0, std::string* error = nullptr) const;

    // True when the keys are strictly ascending (sorted, one entry per key).
    bool IsSorted() const;
    // Sorts by key and adds up entries of equal key into one.
    void SortAndCombine();
    // Adds every entry of the other book (which must be sorted with unique keys, like this
    // one) in one linear merge.
    void MergeFrom(const clsBook& other);

private:
    std::vector<clsBookEntry> entries_;
};

// The book key of a position: a chain of xorshift128+ steps over the bitboards kings, queens,
// rooks, bishops, knights, pawns, side, own and (epSquare - castle), xored with occupied.
// The board is the one after the move, side already switched.
u64 BookKey(const clsBoard& board);

// Book candidates of the core's position: each legal move is made, epSquare set for a double
// push, the side switched and the resulting key looked up. The found entries, with the moves'
// long forms, are sorted by score ascending. Returns their number.
// Side effects: the node stack is reset (the current node is the root) and the root's move list
// is left generated, so the caller can find the chosen move in it; the board is unchanged.
int CollectCandidates(clsChessCore& core, const clsBook& book, std::vector<clsBookEntryExt>& out);

// The console listing of the position's book moves, one line per legal move:
//   "# " + key (16 upper-case hex digits) + " " + long move + " w d l score%"  or  " ???"
// followed by the line of the best known move, the one of highest LowerBound (the first on a
// tie), again with " <--- best entry". No best line when no move is known. Same side effects as above.
std::vector<std::string> BookListing(clsChessCore& core, const clsBook& book);

// The index of the best candidate by LowerBound (the first on a tie); -1 when there is none.
int BestCandidateIndex(const std::vector<clsBookEntryExt>& candidates);

// The book-move filter: removes every candidate played in fewer than 2 % of the games of all
// candidates together.
void DropRareCandidates(std::vector<clsBookEntryExt>& candidates);
// The uniform choice among count candidates from a random value: |r| mod count (0 when
// count is 0).
int PickCandidateIndex(std::int32_t r, int count);

} // namespace drnChess
