#pragma once
// The game record: PGN tags in insertion order, the move text, the result code of bit flags
// with its result and reason texts; and the reading of one game from PGN text.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dranbase/clsstring.h"

namespace drnChess {

class clsChessCore;

// Bits of clsGame::ResultCode.
namespace GameResult {
    inline constexpr std::uint32_t Unfinished = 0x1; // game running, result unknown
    inline constexpr std::uint32_t Decided = 0x2; // a win; 0x8 tells which side
    inline constexpr std::uint32_t WhiteWins = 0x4;
    inline constexpr std::uint32_t BlackWins = 0x8;
    inline constexpr std::uint32_t Mate = 0x10;
    inline constexpr std::uint32_t Forfeit = 0x20;
    inline constexpr std::uint32_t Resign = 0x40;
    inline constexpr std::uint32_t Adjudication = 0x80;
    inline constexpr std::uint32_t IllegalMove = 0x100;
    inline constexpr std::uint32_t Draw = 0x200;
    inline constexpr std::uint32_t FiftyMoves = 0x400;
    inline constexpr std::uint32_t Repetition = 0x800;
    inline constexpr std::uint32_t Stalemate = 0x1000;
    inline constexpr std::uint32_t InsufficientMaterial = 0x2000;
    inline constexpr std::uint32_t EngineCrashed = 0x4000;
    inline constexpr std::uint32_t Aborted = 0x8000;

    // The codes a game read from PGN carries.
    inline constexpr std::uint32_t WhiteWon = Decided | WhiteWins; // "1-0", 6
    inline constexpr std::uint32_t BlackWon = Decided | BlackWins; // "0-1", 10
} // namespace GameResult

class clsGame {
public:
    virtual ~clsGame() = default;

    // Empties the move text, the move list and Properties, the tags unless keepTags, and sets
    // the result code back to unfinished.
    virtual void Clear(bool keepTags);

    // Stores the code and sets the tags "Result" and "Reason" to its texts.
    void SetResult(std::uint32_t code);
    // "1/2-1/2", "1-0", "0-1", "?", "*" (letter case ignored) to their codes; any other text
    // leaves the code unfinished. Sets only the code, not the tags.
    void SetResultFromText(std::string_view text);
    // "?" unfinished, "1/2-1/2", "1-0" / "0-1", "*" aborted; empty for other codes.
    std::string ResultText() const;
    // "?" unfinished, then the first reason bit found: "mate", "forfeit", ...; empty if none.
    std::string ReasonText() const;

    // The tag lines in insertion order, a blank line, then the move text. Lines end in CR LF.
    std::string PgnText() const;

    // Replaces the value of a tag or appends the tag.
    void SetTag(std::string_view name, std::string value) { Tags.Set(name, std::move(value)); }
    std::string Tag(std::string_view name) const { return Tags.Value(name); }

    std::uint32_t ResultCode = GameResult::Unfinished;
    dranbase::clsStrings Tags; // PGN tag name -> value, in insertion order
    std::string MoveText; // the PGN move text
    dranbase::clsStrings Properties; // per-game notes of the owner, emptied by Clear
    std::vector<std::string> Moves; // the replayed moves as coordinate texts ("e2e4", "e7e8q")
    int FirstMoveNumber = 0; // the first move number of the move text, 0 when none
};

// A tag value as written inside the double quotes of a tag line: a double quote and a
// backslash are escaped with a backslash, as PGN readers expect.
std::string EscapeTagValue(std::string_view value);

// One move of a PGN move text: the token as written, stripped of annotation marks, and its
// number and colour as counted from the move numbers of the text (0 when there were none).
struct clsMoveToken {
    std::string san;
    int number = 0;
    bool black = false;
};

// Splits a PGN move text into move tokens. Skipped: move numbers ("12.", "12...", "1.e4"
// gives e4), comments {...} and ; to the end of the line, escape lines starting with %,
// variations in parentheses (nested), numeric annotation glyphs ($1) and the marks ! and ?.
// The result token ("1-0", "0-1", "1/2-1/2", "*") ends the game; it is stored in *result
// when given (empty when the text has none). Castling written with zeros reads as O-O.
// With a move limit (not 0) the split stops at that many moves once a move number has been
// seen; the result token is then not looked for.
std::vector<clsMoveToken> SplitMoveText(
    std::string_view text, std::string* result = nullptr, std::size_t moveLimit = 0);

// The coordinate text ("g1f3", "e7e8q", "e1g1") of the legal move of the core's position that
// the move text names, or empty when none does. Reads SAN (Nf3, exd5, Nbd2, R1e2, e8=Q, e8Q,
// O-O, 0-0-0, with or without + # x) and long and coordinate forms (Ng1-f3, e2e4). Only
// legal moves are matched, so a pinned piece never takes a move its twin can make.
// Leaves the root current with the position's pseudo-legal moves generated in its list.
std::string ResolveMoveText(clsChessCore& core, std::string_view text);

// Hooks of the game reader: beforeMove sees the position before each move, afterMove the
// position after it with the colour that moved (0 white, 1 black).
struct clsGameHooks {
    std::function<void(clsChessCore& core)> beforeMove;
    std::function<void(clsChessCore& core, int mover)> afterMove;
};

// Reads one game from PGN text (tag lines, then the move text) into the game record and
// replays it on the core: the tags fill Tags, "Result" sets the result code (the result token
// of the move text does when there is no Result tag), the position starts from the "FEN" tag
// or the start position, and each move token up to moveLimit plies (0: no limit) is resolved
// and made. Returns true when every move token up to the limit was made. On an unreadable
// move the game stops there (the moves before it stay made) and *error, when given, says
// which move: "move 12... Nf6 is not legal".
bool ReadPgnGame(std::string_view text, clsChessCore& core, clsGame& game, int moveLimit = 0,
    const clsGameHooks& hooks = {}, std::string* error = nullptr);

} // namespace drnChess
