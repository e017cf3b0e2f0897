#pragma once
// The referee's rules as small pure pieces: clock arithmetic and the time forfeit, the result
// codes of each way a game ends, scoring, the reading of a player's response, the repetition
// key and history, the texts of the tags and file names, and SAN for the game records.
// None of them starts a thread or a process, so a table test drives each of them directly;
// the referee thread (clsTourneyGame) and the in-process game only order the calls.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rules/clsboard.h"

namespace drnChess {

class clsChessCore;

// --- clock -------------------------------------------------------------------------------------
// A move that arrives up to this many milliseconds after the mover's clock ran out still counts.
inline constexpr std::int64_t ClockGraceMs = 50;

// True when the mover has lost on time: elapsed exceeds its own time by more than the grace.
bool IsTimeForfeit(std::int64_t elapsedMs, std::int64_t ownTimeMs);
// The text of the "Forfeit_ms" tag: elapsed, ">", own time ("3051>3000").
std::string ForfeitText(std::int64_t elapsedMs, std::int64_t ownTimeMs);
// The mover's clock once its move is in: own time + increment - elapsed (it may go below 0
// within the grace; the next move then forfeits at once).
std::int64_t ClockAfterMove(std::int64_t ownTimeMs, std::int64_t incrementMs, std::int64_t elapsedMs);

// --- result codes -------------------------------------------------------------------------------
// The code of a game lost by the mover (colour 0 white, 1 black): the win of the other side
// with the reason bit.
std::uint32_t ForfeitCode(int mover); // 0x2A white lost on time, 0x26 black
std::uint32_t IllegalMoveCode(int mover); // 0x10A / 0x102
std::uint32_t CrashCode(int mover); // 0x400A / 0x4006
std::uint32_t ResignCode(int mover); // 0x4A / 0x42

// A result line of the mover ("result 1-0" gives the rest "1-0"): 0x200 when it holds
// "1/2-1/2" anywhere; the resignation code when the mover reports its own loss (white "0-1",
// black "1-0"); 0 when the claim is ignored (a claimed win, or any other text).
std::uint32_t ClaimCode(std::string_view rest, int mover);

// A draw claim checked against the position it was made in: the code of the draw the position
// supports (a third occurrence: Draw|Repetition; a hundred plies without capture or pawn move:
// Draw|FiftyMoves; a drawn status such as stalemate or insufficient material: that status), or
// 0 when nothing supports it.
std::uint32_t DrawClaimCode(int occurrences, int halfmoveClock, std::uint32_t status);
// The code of a game lost by a false claim of the mover: the other side wins by adjudication.
std::uint32_t FalseClaimCode(int mover); // 0x8A / 0x86
// The code of a game lost by a player's fault that is no rule of chess (a crash, a flood).
std::uint32_t FaultCode(int mover); // CrashCode

// Half-points of a finished game (win 2, draw 1): decided games by code & 0x820B, 0x2 white
// won, 0xA black won, 0x200 a draw; anything else (aborted, unknown) scores nobody.
struct clsHalfPoints {
    int white = 0;
    int black = 0;
};
clsHalfPoints HalfPoints(std::uint32_t code);

// --- responses ----------------------------------------------------------------------------------
// A parsed response ("move e2e4", "result 1-0"): the keyword (as written) and the rest, trimmed
// of blanks. Both empty for an empty line.
struct clsResponse {
    std::string keyword;
    std::string rest;
};
clsResponse SplitResponse(std::string_view line);
// The move of a "move" response's rest: its first word with every '=' removed ("e7e8=q ponder
// d2d4" gives "e7e8q"); empty when the rest is empty.
std::string MoveOfResponse(std::string_view rest);

// --- repetition ---------------------------------------------------------------------------------
// The key of the piece placement seen from the side to move: for every piece, the engine's
// random key of its square and kind under colour slot 0 for the side to move's pieces and 1
// for the other side's. Castling and en-passant rights play no part. Built from scratch.
u64 PlacementKey(const clsBoard& board);

// The game's position keys after each move (the start position is not in it).
class clsRepetitionHistory {
public:
    // Appends the key and answers whether the position has now occurred for the fourth time:
    // three of the earlier keys, from the second-to-last back to the second, are equal to it
    // (the first key of the game is never compared).
    bool Add(u64 key);
    void Clear() { keys_.clear(); }
    // How often the last key added occurs in the history (1 when it is new; 0 when empty).
    int Occurrences() const;
    int Count() const { return static_cast<int>(keys_.size()); }

private:
    std::vector<u64> keys_;
};

// --- texts --------------------------------------------------------------------------------------
// A name in single quotes with every inner single quote doubled: O'Neil -> 'O''Neil'.
std::string QuoteName(std::string_view name);
// Milliseconds as seconds, with the fraction when there is one: 6000 "6", 100 "0.1",
// 2050 "2.05".
std::string SecondsText(std::int64_t ms);
// "TimeControl" as PGN writes it: (moves per control "/" base seconds, or the base seconds
// alone when moves per control is 0) then "+" increment seconds when the increment is not 0
// ("6+0.1" for 6 s and 100 ms).
std::string TimeControlTag(std::int64_t movesPerControl, std::int64_t gameMs, std::int64_t incrementMs);
// "DranTimeControl": moves per control ":" game ms ":" increment ms.
std::string DranTimeControlTag(std::int64_t movesPerControl, std::int64_t gameMs, std::int64_t incrementMs);
// The PGN "Termination" of a result code: "time forfeit", "adjudication", "rules infraction"
// (an illegal move, a crash), "unterminated" (aborted or unfinished), else "normal".
std::string TerminationTag(std::uint32_t code);
// The PGN date "YYYY.MM.DD" of the time in local time.
std::string PgnDate(std::time_t when);
// The PGN file of a game: tournament base + ".R" + round + ".G" + game + ".pgn".
std::string GameFileName(const std::string& tourneyBase, int round, int game);

// --- notation for game records -------------------------------------------------------------------
// The SAN of a coordinate move ("g1f3" -> "Nf3", "e7e8q" -> "e8=Q", "e1g1" -> "O-O") in the
// core's position, without the check mark; empty when it is not a legal move there. The core's
// node stack is reset; its position is unchanged.
std::string SanOfMove(clsChessCore& core, std::string_view coordinate);
// A move as a player wrote it (coordinate, with or without '=', or SAN) read in the core's
// position: its coordinate form ("e7e8q", "e1g1") and its SAN without check mark. Both empty
// when it names no legal move. The core's node stack is reset; its position is unchanged.
struct clsGameMove {
    std::string coordinate;
    std::string san;
};
clsGameMove ReadGameMove(clsChessCore& core, std::string_view text);
// After the move was made: "#" when the side to move is checkmated, "+" when it is in check,
// else empty. Resets the core's node stack.
std::string CheckMark(clsChessCore& core);

// The move text of a PGN record: move numbers before White's moves (and "N..." before a
// first move of Black), the moves separated by blanks, lines wrapped before 80 characters and
// ended by CR LF, and the result token at the end.
class clsMoveTextWriter {
public:
    // Starts a game whose first move is made at the full-move number by the colour to move.
    void Reset(int fullMoveNumber, int sideToMove);
    // Appends a move (SAN) of the side to move and passes the turn.
    void Add(const std::string& san);
    // Appends a comment "{text}" after the last move.
    void Comment(const std::string& text) { tokens_.push_back("{" + text + "}"); }
    // The move text so far, ended by the result token when one is given ("1-0", "*", ...).
    std::string Text(const std::string& resultToken = {}) const;
    int Plies() const { return plies_; }
    // The full-move number of the last move added; 0 before any.
    int LastMoveNumber() const { return plies_ == 0 ? 0 : side_ == White ? number_ - 1 : number_; }

private:
    std::vector<std::string> tokens_;
    int number_ = 1;
    int side_ = 0;
    int plies_ = 0;
};

} // namespace drnChess
