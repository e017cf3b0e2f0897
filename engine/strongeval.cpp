// The strong search's evaluation and its weight table.

#include "engine/strongeval.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace drnChess::strong {

namespace {

    const char* const TypeNames[6] = { "pawn", "knight", "bishop", "rook", "queen", "king" };
    const char* const PhaseNames[2] = { "mg", "eg" };

    // Piece-square terms by relative rank and by distance to the nearer edge file, per type
    // and phase; the square's value is the sum of the two.
    constexpr int RankTerms[6][2][8] = {
        { { 0, 0, 0, 5, 12, 22, 40, 0 }, { 0, -5, -5, 5, 15, 30, 55, 0 } },
        { { -25, -10, 0, 10, 15, 15, 5, -20 }, { -20, -5, 5, 10, 10, 5, 0, -20 } },
        { { -10, 5, 5, 5, 5, 5, 0, -10 }, { -10, -3, 0, 5, 5, 0, -3, -10 } },
        { { 0, 0, 0, 0, 0, 5, 15, 5 }, { 0, 0, 0, 0, 2, 3, 5, 3 } },
        { { -5, 0, 0, 0, 0, 0, 0, -5 }, { -15, -5, 0, 10, 10, 10, 5, -5 } },
        { { 20, 0, -20, -35, -45, -50, -50, -50 }, { -30, -10, 5, 15, 20, 20, 10, -10 } },
    };
    constexpr int FileTerms[6][2][4] = {
        { { -5, 0, 5, 10 }, { 5, 0, -3, -5 } },
        { { -25, -5, 5, 10 }, { -20, -5, 5, 10 } },
        { { -10, 0, 5, 5 }, { -8, -2, 3, 5 } },
        { { -3, 0, 3, 5 }, { 0, 0, 0, 0 } },
        { { -5, 0, 2, 3 }, { -10, 0, 5, 10 } },
        { { 20, 25, -5, -15 }, { -25, -5, 5, 10 } },
    };
    constexpr int MobilityBase[4] = { 4, 6, 7, 13 };
    constexpr int PhaseWeight[6] = { 0, 1, 1, 2, 4, 0 };
    constexpr int MaxPhase = 24;

    struct Table {
        std::vector<int> values;
        std::vector<std::string> names;
        void Add(const std::string& name, int value)
        {
            names.push_back(name);
            values.push_back(value);
        }
        void AddPhased(const std::string& name, int mg, int eg)
        {
            Add(name + ".mg", mg);
            Add(name + ".eg", eg);
        }
    };

    Table BuildDefaults()
    {
        Table t;
        constexpr int material[5][2]
            = { { 80, 100 }, { 320, 290 }, { 330, 300 }, { 470, 520 }, { 980, 950 } };
        for (int type = 0; type < 5; ++type)
            t.AddPhased(std::string("material.") + TypeNames[type], material[type][0], material[type][1]);
        for (int type = 0; type < 6; ++type)
            for (int phase = 0; phase < 2; ++phase)
                for (int rank = 0; rank < 8; ++rank)
                    t.Add(std::string("pst.rank.") + TypeNames[type] + "." + PhaseNames[phase] + "."
                            + std::to_string(rank + 1),
                        RankTerms[type][phase][rank]);
        for (int type = 0; type < 6; ++type)
            for (int phase = 0; phase < 2; ++phase)
                for (int edge = 0; edge < 4; ++edge)
                    t.Add(std::string("pst.file.") + TypeNames[type] + "." + PhaseNames[phase] + "."
                            + std::to_string(edge),
                        FileTerms[type][phase][edge]);
        constexpr int mobility[4][2] = { { 4, 4 }, { 5, 5 }, { 2, 4 }, { 1, 2 } };
        for (int i = 0; i < 4; ++i)
            t.AddPhased(std::string("mobility.") + TypeNames[i + 1], mobility[i][0], mobility[i][1]);
        constexpr int passed[2][8] = { { 0, 5, 5, 10, 20, 35, 60, 0 }, { 0, 10, 15, 25, 45, 75, 120, 0 } };
        for (int phase = 0; phase < 2; ++phase)
            for (int rank = 0; rank < 8; ++rank)
                t.Add(std::string("passed.") + PhaseNames[phase] + "." + std::to_string(rank + 1),
                    passed[phase][rank]);
        t.AddPhased("passed.freepath", 5, 20);
        t.Add("passed.enemykingdistance.eg", 6);
        t.Add("passed.ownkingdistance.eg", -3);
        t.AddPhased("pawn.isolated", -10, -12);
        t.AddPhased("pawn.doubled", -10, -20);
        t.AddPhased("pawn.backward", -8, -8);
        t.AddPhased("pawn.connected", 5, 7);
        t.Add("king.shield.near.mg", 12);
        t.Add("king.shield.far.mg", 6);
        t.Add("king.openfile.mg", -12);
        constexpr int units[4] = { 2, 2, 3, 5 };
        for (int i = 0; i < 4; ++i)
            t.Add(std::string("king.attacker.") + TypeNames[i + 1], units[i]);
        t.Add("king.attackscale.mg", 20);
        t.AddPhased("bishoppair", 30, 50);
        t.AddPhased("rook.openfile", 25, 10);
        t.AddPhased("rook.halfopenfile", 12, 5);
        t.AddPhased("rook.seventh", 10, 20);
        t.Add("tempo.mg", 10);
        t.AddPhased("threat.bypawn", 50, 40);
        t.AddPhased("threat.byminor", 30, 30);
        t.AddPhased("threat.byrook", 35, 25);
        return t;
    }

    const Table& Defaults()
    {
        static const Table table = BuildDefaults();
        return table;
    }

    // Squares in front of the square, from the colour's point of view (the file only).
    u64 FrontSpan(int colour, int sq)
    {
        const u64 file = FileABits << FileOf(sq);
        const int rank = RankOf(sq);
        return colour == White ? (rank == 7 ? 0 : file & (~u64 { 0 } << (8 * (rank + 1))))
                               : (rank == 0 ? 0 : file & ((u64 { 1 } << (8 * rank)) - 1));
    }
    u64 AdjacentFiles(int sq)
    {
        const int f = FileOf(sq);
        return (f > 0 ? FileABits << (f - 1) : 0) | (f < 7 ? FileABits << (f + 1) : 0);
    }
    int Distance(int a, int b)
    {
        return std::max(std::abs(FileOf(a) - FileOf(b)), std::abs(RankOf(a) - RankOf(b)));
    }

} // namespace

const std::vector<std::string>& StrongWeightNames()
{
    return Defaults().names;
}
const std::vector<int>& DefaultStrongWeights()
{
    return Defaults().values;
}

StrongEval::StrongEval(const std::vector<int>& weights)
    : weights_(weights)
    , pawnCache_(PawnCacheSize)
{
    const std::vector<int>& defaults = DefaultStrongWeights();
    for (std::size_t i = weights_.size(); i < defaults.size(); ++i)
        weights_.push_back(defaults[i]);
}

int StrongEval::PieceValue(int type)
{
    constexpr int values[7] = { 100, 320, 330, 500, 975, 0, 0 };
    return values[type];
}

void StrongEval::SideTerms(const FastPosition& b, int us, const PawnEntry& pawns, int& mg, int& eg) const
{
    const AttackTables& t = Tables();
    const int them = us ^ 1;
    const u64 occupied = b.Occupied();
    const u64 ownPawns = b.Pieces(us, Pawn), theirPawns = b.Pieces(them, Pawn);
    const int theirKing = b.KingSquare(them), ownKing = b.KingSquare(us);

    // Squares the enemy pawns attack: no mobility counted there.
    u64 theirPawnAttacks = 0;
    for (u64 p = theirPawns; p;)
        theirPawnAttacks |= t.pawn[them][PopLsb(p)];
    const u64 mobilityArea = ~b.byColour[us] & ~theirPawnAttacks;
    const u64 kingZone = t.king[theirKing] | Bit(theirKing);
    int attackUnits = 0, attackers = 0;
    u64 minorAttacks = 0, rookAttacks = 0;

    for (int type = Pawn; type <= King; ++type)
        for (u64 pieces = b.Pieces(us, type); pieces;) {
            const int sq = PopLsb(pieces);
            const int rel = us == White ? sq : Flip(sq);
            const int rank = RankOf(rel), edge = std::min(FileOf(sq), 7 - FileOf(sq));
            const int pst = Weight::PstRank + type * 16, pstFile = Weight::PstFile + type * 8;
            if (type != King) {
                Add(mg, us, 0, Weight::Material + 2 * type);
                Add(eg, us, 1, Weight::Material + 2 * type + 1);
            }
            Add(mg, us, 0, pst + rank);
            Add(mg, us, 0, pstFile + edge);
            Add(eg, us, 1, pst + 8 + rank);
            Add(eg, us, 1, pstFile + 4 + edge);
            if (type == Pawn || type == King) continue;
            const u64 attacks = type == Knight ? t.knight[sq]
                : type == Bishop               ? BishopAttacks(sq, occupied)
                : type == Rook                 ? RookAttacks(sq, occupied)
                                               : QueenAttacks(sq, occupied);
            if (type == Knight || type == Bishop) minorAttacks |= attacks;
            if (type == Rook) rookAttacks |= attacks;
            const int mob = Count(attacks & mobilityArea) - MobilityBase[type - Knight];
            Add(mg, us, 0, Weight::Mobility + 2 * (type - Knight), mob);
            Add(eg, us, 1, Weight::Mobility + 2 * (type - Knight) + 1, mob);
            if (attacks & kingZone) {
                ++attackers;
                attackUnits += W(Weight::KingAttacker + type - Knight) * (1 + Count(attacks & kingZone) / 2);
            }
            if (type == Rook) {
                const u64 file = FileABits << FileOf(sq);
                if (!(file & ownPawns)) {
                    const int w = (file & theirPawns) ? Weight::RookHalfOpenFile : Weight::RookOpenFile;
                    Add(mg, us, 0, w);
                    Add(eg, us, 1, w + 1);
                }
                const int theirKingRank = us == White ? RankOf(theirKing) : 7 - RankOf(theirKing);
                if (rank == 6 && theirKingRank == 7) {
                    Add(mg, us, 0, Weight::RookSeventh);
                    Add(eg, us, 1, Weight::RookSeventh + 1);
                }
            }
        }
    // Threats: enemy pieces attacked by something worth less.
    u64 ownPawnAttacks = 0;
    for (u64 p = ownPawns; p;)
        ownPawnAttacks |= t.pawn[us][PopLsb(p)];
    const u64 theirQueens = b.Pieces(them, Queen);
    const u64 theirMajors = b.Pieces(them, Rook) | theirQueens;
    const u64 theirPieces = b.byColour[them] & ~b.byType[Pawn] & ~b.byType[King];
    const int byPawn = Count(ownPawnAttacks & theirPieces);
    const int byMinor = Count(minorAttacks & theirMajors);
    const int byRook = Count(rookAttacks & theirQueens);
    Add(mg, us, 0, Weight::ThreatByPawn, byPawn);
    Add(mg, us, 0, Weight::ThreatByMinor, byMinor);
    Add(mg, us, 0, Weight::ThreatByRook, byRook);
    Add(eg, us, 1, Weight::ThreatByPawn + 1, byPawn);
    Add(eg, us, 1, Weight::ThreatByMinor + 1, byMinor);
    Add(eg, us, 1, Weight::ThreatByRook + 1, byRook);

    // King attack, scored for the attacker once two pieces take part (the units held fixed).
    if (attackers >= 2)
        AddScaled(mg, us, 0, Weight::KingAttackScale,
            attackUnits * attackUnits * W(Weight::KingAttackScale) / 16 / 4,
            attackUnits * attackUnits / 64.0);

    if (Count(b.Pieces(us, Bishop)) >= 2) {
        Add(mg, us, 0, Weight::BishopPair);
        Add(eg, us, 1, Weight::BishopPair + 1);
    }

    // Pawn structure (from the cache), then what passed pawns are worth with the pieces around.
    mg += pawns.mg[us];
    eg += pawns.eg[us];
    for (u64 p = pawns.passed[us]; p;) {
        const int sq = PopLsb(p);
        const int rank = us == White ? RankOf(sq) : 7 - RankOf(sq);
        Add(mg, us, 0, Weight::Passed + rank);
        Add(eg, us, 1, Weight::Passed + 8 + rank);
        if (!(FrontSpan(us, sq) & occupied)) {
            Add(mg, us, 0, Weight::PassedFreePath);
            Add(eg, us, 1, Weight::PassedFreePath + 1);
        }
        const int promotion = us == White ? 56 + FileOf(sq) : FileOf(sq);
        const int enemyDistance = Distance(theirKing, promotion), ownDistance = Distance(ownKing, promotion);
        AddScaled(eg, us, 1, Weight::PassedEnemyKingDistance,
            W(Weight::PassedEnemyKingDistance) * enemyDistance * rank / 6, enemyDistance * rank / 6.0);
        AddScaled(eg, us, 1, Weight::PassedOwnKingDistance,
            W(Weight::PassedOwnKingDistance) * ownDistance * rank / 6, ownDistance * rank / 6.0);
    }

    // King shelter: own pawns in front of the king on its file and the adjacent ones.
    const int kingFile = FileOf(ownKing);
    for (int f = std::max(0, kingFile - 1); f <= std::min(7, kingFile + 1); ++f) {
        const u64 file = FileABits << f;
        const int kr = RankOf(ownKing);
        const int near = us == White ? kr + 1 : kr - 1, far = us == White ? kr + 2 : kr - 2;
        if (near >= 0 && near < 8 && (ownPawns & file & (Rank1Bits << (8 * near))))
            Add(mg, us, 0, Weight::ShieldNear);
        else if (far >= 0 && far < 8 && (ownPawns & file & (Rank1Bits << (8 * far))))
            Add(mg, us, 0, Weight::ShieldFar);
        if (!(ownPawns & file)) Add(mg, us, 0, Weight::KingOpenFile);
    }
}

void StrongEval::PawnStructure(u64 whitePawns, u64 blackPawns, PawnEntry& e) const
{
    const AttackTables& t = Tables();
    e.white = whitePawns;
    e.black = blackPawns;
    for (int us = White; us <= Black; ++us) {
        const int them = us ^ 1;
        const u64 ownPawns = us == White ? whitePawns : blackPawns;
        const u64 theirPawns = us == White ? blackPawns : whitePawns;
        int mg = 0, eg = 0;
        u64 passed = 0;
        for (u64 p = ownPawns; p;) {
            const int sq = PopLsb(p);
            const int rank = us == White ? RankOf(sq) : 7 - RankOf(sq);
            const u64 front = FrontSpan(us, sq);
            const u64 adjacent = AdjacentFiles(sq);
            const u64 file = FileABits << FileOf(sq);
            if (!(adjacent & ownPawns)) {
                Add(mg, us, 0, Weight::Isolated);
                Add(eg, us, 1, Weight::Isolated + 1);
            } else {
                const u64 supportOrPhalanx
                    = (t.pawn[them][sq] | t.pawn[them][sq + (us == White ? 8 : -8)]) & ownPawns;
                if (supportOrPhalanx != 0) {
                    Add(mg, us, 0, Weight::Connected);
                    Add(eg, us, 1, Weight::Connected + 1);
                } else {
                    // Backward: every own pawn of the adjacent files is further on, and an enemy
                    // pawn guards the square in front.
                    bool supportPossible = false;
                    for (u64 q = adjacent & ownPawns; q;) {
                        const int s = PopLsb(q);
                        const int r = us == White ? RankOf(s) : 7 - RankOf(s);
                        if (r <= rank) supportPossible = true;
                    }
                    const int stop = sq + (us == White ? 8 : -8);
                    if (!supportPossible && (t.pawn[us][stop] & theirPawns)) {
                        Add(mg, us, 0, Weight::Backward);
                        Add(eg, us, 1, Weight::Backward + 1);
                    }
                }
            }
            if (front & ownPawns) {
                Add(mg, us, 0, Weight::Doubled);
                Add(eg, us, 1, Weight::Doubled + 1);
            }
            // Passed: no enemy pawn in front on its file or the adjacent ones.
            u64 span = front | t.pawn[us][sq];
            for (u64 f = front; f;) {
                const int s = PopLsb(f);
                span |= t.pawn[us][s - (us == White ? 8 : -8)] & ~file;
            }
            if (!(span & theirPawns)) passed |= Bit(sq);
        }
        e.mg[us] = mg;
        e.eg[us] = eg;
        e.passed[us] = passed;
    }
}

namespace {

    // True when the colour, were it ahead, wins little: no pawns and at most a minor piece more.
    bool Drawish(const FastPosition& b, int strong)
    {
        if (b.Pieces(strong, Pawn)) return false;
        auto material = [&](int c) {
            int m = 0;
            for (int type = Knight; type <= Queen; ++type)
                m += StrongEval::PieceValue(type) * Count(b.Pieces(c, type));
            return m;
        };
        return material(strong) - material(strong ^ 1) <= StrongEval::PieceValue(Bishop);
    }

    // The score from the sides' phase scores, as the evaluation and its trace compute it.
    int Combine(const int mg[2], const int eg[2], int tempo, int us, int phase, const bool drawish[2])
    {
        const int mgScore = mg[us] - mg[us ^ 1] + tempo;
        const int egScore = eg[us] - eg[us ^ 1];
        int score = (mgScore * phase + egScore * (EvalTrace::MaxPhase - phase)) / EvalTrace::MaxPhase;
        const int strong = score > 0 ? us : us ^ 1;
        if (drawish[strong]) score /= 8;
        return score;
    }

} // namespace

int StrongEval::EvaluateWith(const FastPosition& b, PawnEntry& pawns) const
{
    int mg[2] = { 0, 0 }, eg[2] = { 0, 0 };
    SideTerms(b, White, pawns, mg[White], eg[White]);
    SideTerms(b, Black, pawns, mg[Black], eg[Black]);
    int phase = 0;
    for (int type = Knight; type <= Queen; ++type)
        phase += PhaseWeight[type] * Count(b.byType[type]);
    phase = std::min(phase, MaxPhase);
    const int us = b.side;
    const bool drawish[2] = { Drawish(b, White), Drawish(b, Black) };
    if (trace_) {
        trace_->coefficient[us][0][Weight::Tempo] += 1;
        trace_->phase = phase;
        trace_->side = us;
        trace_->drawish[0] = drawish[0];
        trace_->drawish[1] = drawish[1];
    }
    return Combine(mg, eg, W(Weight::Tempo), us, phase, drawish);
}

int StrongEval::Evaluate(const FastPosition& b) const
{
    const u64 whitePawns = b.Pieces(White, Pawn), blackPawns = b.Pieces(Black, Pawn);
    PawnEntry& pawns = pawnCache_[static_cast<std::size_t>(
        ((whitePawns * 0x9E3779B97F4A7C15ULL) ^ (blackPawns * 0xC2B2AE3D27D4EB4FULL)) >> 52)];
    if (!pawns.valid || pawns.white != whitePawns || pawns.black != blackPawns) {
        PawnStructure(whitePawns, blackPawns, pawns);
        pawns.valid = true;
    }
    return EvaluateWith(b, pawns);
}

int StrongEval::Evaluate(const FastPosition& b, EvalTrace& trace) const
{
    trace = EvalTrace();
    trace_ = &trace;
    PawnEntry pawns; // not from the cache: the trace needs the pawn terms counted
    PawnStructure(b.Pieces(White, Pawn), b.Pieces(Black, Pawn), pawns);
    const int score = EvaluateWith(b, pawns);
    trace_ = nullptr;
    return score;
}

EvalTrace::EvalTrace()
{
    for (auto& colour : coefficient)
        for (auto& phaseCoefficients : colour)
            phaseCoefficients.assign(Weight::Count, 0.0);
}

int EvalTrace::Evaluate(const std::vector<int>& weights) const
{
    int mg[2], eg[2];
    for (int c = 0; c < 2; ++c) {
        double sum[2] = { fixed[c][0], fixed[c][1] };
        for (int p = 0; p < 2; ++p)
            for (std::size_t i = 0; i < static_cast<std::size_t>(Weight::Count); ++i)
                if (i != static_cast<std::size_t>(Weight::Tempo)) sum[p] += coefficient[c][p][i] * weights[i];
        mg[c] = static_cast<int>(std::lround(sum[0]));
        eg[c] = static_cast<int>(std::lround(sum[1]));
    }
    return Combine(mg, eg, weights[Weight::Tempo], side, phase, drawish);
}

} // namespace drnChess::strong
