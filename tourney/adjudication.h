#pragma once
// What the engines say about their own moves, and the referee's judgement of hopeless and
// dead-drawn games from it.
//
// Each engine's last reported score and depth before its move is read from its thinking
// output (UCI "info ... depth D ... score cp X | score mate N", xboard "ply score time nodes
// pv"); scores are from the mover's view. The adjudicator watches the scores move by move:
//   draw:   from full move `moveNumber` on, both sides' scores stay within `score` centipawns
//           for `moveCount` consecutive moves of each side;
//   resign: a side's own score stays at or below -`score` for `moveCount` of its moves in a
//           row (two-sided: and the other side's score at or above +`score` for as many of
//           its moves) -> that side loses;
//   max moves: the game is drawn once it has this many full moves.
// A move without a score breaks every run. Nothing here starts a thread or prints.

#include <cstdint>
#include <string>
#include <string_view>

namespace drnChess {

// One engine's view of its move, as its thinking output gave it.
struct clsEngineScore {
    bool known = false; // a score was reported
    bool mate = false; // `value` is a mate distance in moves (+: the mover mates, -: is mated)
    int value = 0; // centipawns, or the mate distance
    int depth = 0; // 0 when not reported

    // Centipawns for comparisons: a mate counts as far beyond any material score.
    int Centipawns() const;
};

// Reads the score and depth of a UCI "info" line's rest (after the word "info") into `score`;
// a line without "score" leaves it unchanged (a depth alone is kept with an earlier score).
// Bound scores ("lowerbound", "upperbound") are taken like exact ones.
void ReadUciInfo(std::string_view rest, clsEngineScore& score);
// Reads an xboard thinking line ("ply score time nodes pv...", the first four fields whole
// numbers) into `score`; false (and nothing changed) when the line is no thinking line.
// |score| >= 100000 is a mate: 100000 + N moves for the mover, -100000 - N against it.
bool ReadXboardThinking(std::string_view line, clsEngineScore& score);

// The PGN comment text of an engine move: "+0.35/17 0.31s", "-M3/20 1.2s", "0.00/1 0s";
// without a score only the time: "0.31s". Times are in seconds with up to three decimals.
std::string MoveCommentText(const clsEngineScore& score, std::int64_t elapsedMs);

struct clsAdjudicationRules {
    bool draw = false;
    int drawMoveNumber = 0; // the full move from which a draw is judged
    int drawMoveCount = 0; // moves of each side
    int drawScore = 0; // centipawns, both ways
    bool resign = false;
    int resignMoveCount = 0;
    int resignScore = 0; // centipawns against the loser
    bool resignTwoSided = false;
    int maxMoves = 0; // 0: no limit

    bool Any() const { return draw || resign || maxMoves > 0; }
};

// The verdict after a move: the result code (0 while the game goes on) and what ended it
// ("draw: both scores within 10 cp for 8 moves", "resign: Black's score at or below -500 cp
// for 3 moves", "max moves: 100").
struct clsAdjudication {
    std::uint32_t code = 0;
    std::string reason;
};

class clsAdjudicator {
public:
    explicit clsAdjudicator(clsAdjudicationRules rules)
        : rules_(rules)
    {
    }

    // After a move of `side` (0 White, 1 Black) with its score, made as full move `moveNumber`;
    // `plies` counts every move of the game so far (the opening's too).
    clsAdjudication AfterMove(int side, const clsEngineScore& score, int moveNumber, int plies);

private:
    clsAdjudicationRules rules_;
    int drawRun_ = 0; // consecutive moves (both sides) within the draw score
    int losingRun_[2] = { 0, 0 }; // consecutive own moves of each side at or below -score
    int winningRun_[2] = { 0, 0 }; // consecutive own moves of each side at or above +score
};

} // namespace drnChess
