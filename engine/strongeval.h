#pragma once
// The strong search's evaluation: tapered between middlegame and endgame, in centipawns from
// the side to move's point of view. Every weight is one integer of a flat table with a name,
// so that learning can vary the table as it varies souls.

#include <string>
#include <vector>

#include "engine/fastnames.h"

namespace drnChess::strong {

// Offsets of the groups in the weight table. Groups with a phase hold the middlegame value
// first, then the endgame value.
namespace Weight {
    inline constexpr int Material = 0; // [type 0..4][phase]
    inline constexpr int PstRank = Material + 10; // [type 0..5][phase][relative rank 0..7]
    inline constexpr int PstFile = PstRank + 96; // [type 0..5][phase][distance to the edge 0..3]
    inline constexpr int Mobility = PstFile + 48; // [knight..queen][phase], per square over a base
    inline constexpr int Passed = Mobility + 8; // [phase][relative rank 0..7]
    inline constexpr int PassedFreePath = Passed + 16; // [phase]
    inline constexpr int PassedEnemyKingDistance = PassedFreePath + 2; // endgame, per square
    inline constexpr int PassedOwnKingDistance = PassedEnemyKingDistance + 1; // endgame, per square
    inline constexpr int Isolated = PassedOwnKingDistance + 1; // [phase]
    inline constexpr int Doubled = Isolated + 2; // [phase]
    inline constexpr int Backward = Doubled + 2; // [phase]
    inline constexpr int Connected = Backward + 2; // [phase]
    inline constexpr int ShieldNear = Connected + 2; // middlegame: own pawn one rank before the king
    inline constexpr int ShieldFar = ShieldNear + 1; // middlegame: two ranks before
    inline constexpr int KingOpenFile = ShieldFar + 1; // middlegame: per file by the king without own pawn
    inline constexpr int KingAttacker = KingOpenFile + 1; // [knight..queen] attack units
    inline constexpr int KingAttackScale = KingAttacker + 4; // middlegame: units squared * scale / 16
    inline constexpr int BishopPair = KingAttackScale + 1; // [phase]
    inline constexpr int RookOpenFile = BishopPair + 2; // [phase]
    inline constexpr int RookHalfOpenFile = RookOpenFile + 2; // [phase]
    inline constexpr int RookSeventh = RookHalfOpenFile + 2; // [phase]
    inline constexpr int Tempo = RookSeventh + 2; // middlegame
    inline constexpr int ThreatByPawn = Tempo + 1; // [phase] per enemy piece a pawn attacks
    inline constexpr int ThreatByMinor = ThreatByPawn + 2; // [phase] per enemy rook or queen
    inline constexpr int ThreatByRook = ThreatByMinor + 2; // [phase] per enemy queen
    inline constexpr int Count = ThreatByRook + 2;
} // namespace Weight

// The names of the weights, index by index ("material.knight.mg", "pst.rank.pawn.eg.6", ...).
const std::vector<std::string>& StrongWeightNames();
// The weights the strong search plays with unless told otherwise.
const std::vector<int>& DefaultStrongWeights();

// The evaluation of one position written as a sum over the weights: how often each weight
// counted for each side and phase, plus the parts that are not linear in the weights (the king
// attack's units, rounding) held fixed. Learning fits the weights to game results with it.
struct EvalTrace {
    // coefficient[colour][phase][index]: phase 0 middlegame, 1 endgame.
    std::vector<double> coefficient[2][2];
    double fixed[2][2] = { { 0, 0 }, { 0, 0 } };
    int phase = 0; // 0 (bare endgame) .. MaxPhase
    int side = 0; // to move
    // Per colour: with the better score this side would be scaled down (no pawns, at most a
    // minor piece more).
    bool drawish[2] = { false, false };

    static constexpr int MaxPhase = 24;
    EvalTrace();
    // The evaluation the traced position gets with these weights (the side to move's view).
    int Evaluate(const std::vector<int>& weights) const;
};

class StrongEval {
public:
    // A table with fewer than Weight::Count values is completed from the defaults.
    explicit StrongEval(const std::vector<int>& weights = DefaultStrongWeights());
    // The score of the position for the side to move, in centipawns.
    int Evaluate(const FastPosition& board) const;
    // The same score, and the trace of how it is made.
    int Evaluate(const FastPosition& board, EvalTrace& trace) const;
    const std::vector<int>& Weights() const { return weights_; }
    // Material value of a piece type in centipawns (for ordering and pruning margins).
    static int PieceValue(int type);

private:
    // The pawn-only terms of both sides, kept by pawn placement (most positions of a search
    // share their pawns with many others).
    struct PawnEntry {
        u64 white = 0;
        u64 black = 0;
        bool valid = false;
        int mg[2] = { 0, 0 };
        int eg[2] = { 0, 0 };
        u64 passed[2] = { 0, 0 };
    };
    static constexpr std::size_t PawnCacheSize = 4096; // the hash's top 12 bits index it

    void PawnStructure(u64 whitePawns, u64 blackPawns, PawnEntry& entry) const;
    // The side's terms, middlegame and endgame, from its own point of view.
    void SideTerms(const FastPosition& board, int colour, const PawnEntry& pawns, int& mg, int& eg) const;
    int W(int index) const { return weights_[static_cast<std::size_t>(index)]; }
    // Adds count times the weight to the side's phase score, and to the trace when one is kept.
    void Add(int& score, int colour, int phase, int index, int count = 1) const
    {
        score += count * W(index);
        if (trace_) trace_->coefficient[colour][phase][static_cast<std::size_t>(index)] += count;
    }
    // Adds a term that is not linear in the weight: the trace takes coefficient times the weight,
    // the difference to the exact value stays fixed.
    void AddScaled(int& score, int colour, int phase, int index, int value, double coefficient) const
    {
        score += value;
        if (!trace_) return;
        trace_->coefficient[colour][phase][static_cast<std::size_t>(index)] += coefficient;
        trace_->fixed[colour][phase] += value - coefficient * W(index);
    }
    int EvaluateWith(const FastPosition& board, PawnEntry& pawns) const;

    std::vector<int> weights_;
    // A cache only: Evaluate stays a function of the position. One evaluator per search thread.
    mutable std::vector<PawnEntry> pawnCache_;
    mutable EvalTrace* trace_ = nullptr; // set while Evaluate(board, trace) runs
};

} // namespace drnChess::strong
