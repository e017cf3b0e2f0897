#pragma once
// Hands out a node's moves one at a time in search order: the hash move, winning and equal
// captures (most valuable victim, least valuable attacker), the killer moves and the counter
// move, the quiet moves by history, then the captures that lose material. Moves are generated only when their
// stage is reached. In quiescence only captures and queen promotions come, or every move when in check.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/fastnames.h"

namespace drnChess::strong {

// Quiet-move history: how often a move of this colour from/to caused a cut-off, with decay.
struct HistoryTable {
    std::int16_t score[2][64][64];
    void Clear();
    void Update(int colour, Move m, int bonus);
    int Get(int colour, Move m) const { return score[colour][From(m)][To(m)]; }
};

// Adds a bonus (or a malus) to a history score, keeping it within +-16384 so that recent
// results weigh more.
void UpdateHistoryScore(std::int16_t& score, int bonus);

// Continuation history: how a quiet move (piece, destination) fared as the answer to the
// opponent's move (piece, destination). Allocated once, with the search.
class ContinuationTable {
public:
    static constexpr int Keys = 12 * 64;
    ContinuationTable()
        : score_(static_cast<std::size_t>(Keys) * Keys)
    {
    }
    void Clear() { std::fill(score_.begin(), score_.end(), std::int16_t { 0 }); }
    // The scores of the answers to a move of this piece to this square.
    std::int16_t* Row(int piece, int to) { return &score_[static_cast<std::size_t>(piece * 64 + to) * Keys]; }
    static int Index(int piece, int to) { return piece * 64 + to; }
    void Age()
    {
        for (std::int16_t& s : score_)
            s = static_cast<std::int16_t>(s / 2);
    }

private:
    std::vector<std::int16_t> score_;
};

class MovePicker {
public:
    // Main search: every pseudo-legal move.
    // counter: the quiet move that last refuted the opponent's previous move; continuation:
    // the continuation history row of that move (null at the root or after a null move);
    // goodCaptureSee: captures whose exchange gains less wait until after the quiet moves.
    MovePicker(const FastPosition& board, Move ttMove, const Move killers[2], Move counter,
        const HistoryTable& history, const std::int16_t* continuation, int goodCaptureSee);
    // Quiescence: captures and queen promotions (all moves when in check); captures whose
    // exchange gains less than goodCaptureSee are left out (when not in check).
    MovePicker(const FastPosition& board, Move ttMove, const HistoryTable& history, bool inCheck,
        int goodCaptureSee);

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

    const FastPosition& board_;
    const HistoryTable& history_;
    const std::int16_t* continuation_ = nullptr;
    Move ttMove_;
    int goodCaptureSee_ = 0;
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
