#pragma once
// Polyglot ".bin" books, the format most GUIs and match runners read: 16-byte big-endian
// entries (key, move, weight, learn) sorted by key. The keys are the format's own Zobrist keys
// (en passant counted only when a pawn of the mover stands beside the double-pushed pawn);
// castling is stored as the king taking its own rook.
//
// This layer never prints: failures come back as texts the caller prints.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "book/clsbook.h"

namespace drnChess {

class clsChessCore;
struct clsMove;

struct PolyglotEntry {
    u64 key = 0;
    std::uint16_t move = 0;
    std::uint16_t weight = 0;
    std::uint32_t learn = 0;
};

// A book move of a position: its coordinate text ("e1g1" for castling, "e7e8q") and weight.
struct PolyglotMove {
    std::string move;
    int weight = 0;
};

// True when the name ends in ".bin" (any case): the file is read and written as polyglot.
bool IsPolyglotName(std::string_view path);

// The key of the position a FEN text describes (board, side, castling and en passant fields);
// 0 when the board field does not read.
u64 PolyglotKey(std::string_view fen);
// The key of the core's position.
u64 PolyglotKey(const clsChessCore& core);

// The 16-bit code of a legal move (castling as king-takes-rook).
std::uint16_t PolyglotMoveCode(const clsMove& move);
// The coordinate text of a code as played in the position ("e1h1" by a king on e1 becomes
// "e1g1"); promotions get their letter.
std::string PolyglotMoveText(std::uint16_t code, const clsChessCore& core);

class clsPolyglotBook {
public:
    // Reads the file whole (a single line end after the last entry is ignored). A file that does not open,
    // whose size is not a multiple of 16 or whose keys are not in ascending order loads nothing and gives
    // false, with the reason in *error ("polyglot book <file>: <reason>"); the book keeps what it held.
    bool Load(const std::string& path, std::string* error = nullptr);
    // The moves stored for the core's position, in file order. A stored move that is not
    // legal in the position gives nothing and the reason in *error. The position is unchanged.
    std::vector<PolyglotMove> Moves(clsChessCore& core, std::string* error = nullptr) const;
    void Clear()
    {
        entries_.clear();
        path_.clear();
    }
    bool Empty() const { return entries_.empty(); }
    std::size_t Count() const { return entries_.size(); }
    const std::string& Path() const { return path_; }
    const std::vector<PolyglotEntry>& Entries() const { return entries_; }

private:
    std::vector<PolyglotEntry> entries_;
    std::string path_;
};

// The index of the move to play: the heaviest when best is set (the first on a tie), else a
// choice in proportion to the weights from a random value (uniform when all weigh 0); -1 for
// an empty list.
int PickPolyglotMove(const std::vector<PolyglotMove>& moves, std::uint64_t random, bool best);

// The polyglot entries of a ".cbk" book: a walk from the start position through every stored
// successor; each position with stored successors gives one entry per such move, weighted
// 2 x wins + draws of the mover, scaled down for the position when a weight passes 65535.
// Successors played in fewer than 2 x limit games are left out. Sorted by key, then weight
// (heaviest first). The core is used for the walk and left at the start position.
std::vector<PolyglotEntry> PolyglotFromBook(clsChessCore& core, const clsBook& book, int limit = 0);

// Writes the entries (already sorted) under a temporary name and renames it over the target;
// false with "# error <file>: <reason>" in *error when it fails.
bool SavePolyglot(
    const std::string& path, const std::vector<PolyglotEntry>& entries, std::string* error = nullptr);

// The console listing of a polyglot book's moves for the position: one line per stored move,
// "# <key> <move> <weight> <share>%", heaviest first; "# no polyglot book moves" when none.
std::vector<std::string> PolyglotListing(clsChessCore& core, const clsPolyglotBook& book);

} // namespace drnChess
