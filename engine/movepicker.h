#pragma once
// Hands out a node's moves one at a time in search order: the hash move, winning and equal
// captures (most valuable victim, least valuable attacker), the killer moves and the counter
// move, the quiet moves by history, then the captures that lose material. Moves are generated only when their
// stage is reached. In quiescence only captures and queen promotions come, or every move when in check.

#include <cstdint>

#include "engine/strongboard.h"

namespace drnChess::strong {

// Quiet-move history: how often a move of this colour from/to caused a cut-off, with decay.
struct HistoryTable {
    std::int16_t score[2][64][64];
    void Clear();
    void Update(int colour, Move m, int bonus);
    int Get(int colour, Move m) const { return score[colour][From(m)][To(m)]; }
};

class MovePicker {
public:
    // Main search: every pseudo-legal move.
    // counter: the quiet move that last refuted the opponent's previous move.
    MovePicker(const StrongBoard& board, Move ttMove, const Move killers[2], Move counter,
        const HistoryTable& history);
    // Quiescence: captures and queen promotions (all moves when in check).
    MovePicker(const StrongBoard& board, Move ttMove, const HistoryTable& history, bool inCheck);

    // The next move, or NoMove when none is left. Moves are pseudo-legal.
    Move Next();
    // True while the moves handed out come from the quiet stage (for pruning decisions).
    bool InQuietStage() const { return stage_ == Stage::Quiets; }

private:
    enum class Stage {
        TTMove,
        GenerateCaptures,
        GoodCaptures,
        Killers,
        GenerateQuiets,
        Quiets,
        BadCaptures,
        Done
    };

    void ScoreCaptures();
    void ScoreQuiets();
    // The best scored move left in [index_, end), swapped to index_.
    Move PickBest(int end);

    const StrongBoard& board_;
    const HistoryTable& history_;
    Move ttMove_;
    Move refutations_[3] = { NoMove, NoMove, NoMove }; // two killers, then the counter move
    bool quiescence_ = false;
    bool evasions_ = false;
    Stage stage_ = Stage::TTMove;
    int refutationIndex_ = 0;
    int index_ = 0;
    int badCount_ = 0;
    MoveList list_;
    std::int32_t scores_[256];
    Move bad_[256];
};

} // namespace drnChess::strong
