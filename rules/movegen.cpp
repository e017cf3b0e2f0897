// The staged pseudo-legal move generator and the attack test.
//
// Every list is written in place into the move stack from moveTemplate, and every loop takes
// the lowest set bit first, so the order of a list is fixed by the order of the loops below.

#include "rules/attacks.h"
#include "rules/bits.h"
#include "rules/clschesscore.h"

namespace drnChess {

namespace {

    constexpr int BishopCaptureDirections[4] = { SouthWest, NorthWest, NorthEast, SouthEast };
    constexpr int RookCaptureDirections[4] = { East, North, West, South };
    constexpr int BishopQuietDirections[4] = { SouthWest, NorthWest, SouthEast, NorthEast };
    constexpr int RookQuietDirections[4] = { East, West, North, South };

    constexpr u64 AnyCastleSquare = 0x8900000000000089ULL; // a1 e1 h1 a8 e8 h8

} // namespace

void clsChessCore::StartNode(clsSimpleNode* n)
{
    const u64 king = board.own() & board.kings();
    n->kingSquare = king;
    n->castleCopy = board.castle();
    n->pawnCacheKey = 1;
    n->pinMask = king;
    if (!king) { // a position without a king of the side to move: nothing to protect
        n->kingNeighbourhood = 0;
        n->inCheck = 0;
        return;
    }
    const int k = SquareIndex(king);
    n->kingNeighbourhood = KingAttacks[k];
    n->inCheck = IsAttacked(king) ? 1 : 0;
    if (!n->inCheck) {
        const u64 other = board.other();
        if ((board.rooks() | board.queens()) & other & Rays[RookLines][k]) n->pinMask |= Rays[RookLines][k];
        if ((board.bishops() | board.queens()) & other & Rays[BishopLines][k])
            n->pinMask |= Rays[BishopLines][k];
    }
}

bool clsChessCore::AddCapture(u64 to)
{
    if (!(to & board.other())) return false;
    int kind = King;
    for (int k = Pawn; k < King; ++k)
        if (board.bb[k] & to) {
            kind = k;
            break;
        }
    *write_ = moveTemplate;
    write_->flags |= static_cast<std::uint32_t>(kind) << 4;
    write_->value = static_cast<std::int16_t>(PieceValue[kind]);
    write_->to = to;
    ++write_;
    return true;
}

void clsChessCore::ExpandPromotions()
{
    clsMove* queen = write_ - 1;
    const int captured = queen->value;
    queen->flags |= static_cast<std::uint32_t>(Queen) << 8;
    queen->value = static_cast<std::int16_t>(captured + PieceValue[Queen] - PieceValue[Pawn]);
    for (int kind : { Knight, Bishop, Rook }) {
        *write_ = *queen;
        write_->flags = (queen->flags & ~MoveFlag::PromotionMask) | (static_cast<std::uint32_t>(kind) << 8);
        write_->value = static_cast<std::int16_t>(captured + PieceValue[kind] - PieceValue[Pawn]);
        ++write_;
    }
}

void clsChessCore::WriteQuiet(u64 targets)
{
    while (targets) {
        *write_ = moveTemplate;
        write_->to = LowestBit(targets);
        ++write_;
        targets &= targets - 1;
    }
}

void clsChessCore::PawnCaptures()
{
    const u64 other = board.other();
    const u64 pawns = board.own() & board.pawns();
    const bool white = board.side == White;
    moveTemplate = clsMove {};
    moveTemplate.flags = Pawn;

    // En passant, when the move that led here was a double push.
    const clsMove* previous = (current - 1)->currentMove;
    if (previous && previous->Has(MoveFlag::DoublePush)) {
        const u64 victim = previous->to;
        const u64 passed = white ? victim << 8 : victim >> 8;
        // A loaded en-passant square without a pawn that could just have passed it gives nothing.
        if ((victim & other & board.pawns() & (white ? Rank5 : Rank4)) && !(passed & board.occupied())) {
            const u64 capturers[2] = { (victim & ~FileA) << 1, (victim & ~FileH) >> 1 };
            for (u64 from : capturers) {
                if (!(from & pawns)) continue;
                write_->flags = Pawn | (Pawn << 4) | MoveFlag::EnPassant;
                write_->value = static_cast<std::int16_t>(PieceValue[Pawn]);
                write_->order = 0;
                write_->from = from;
                write_->to = passed;
                write_->extra = victim;
                ++write_;
            }
        }
    }

    if (white) {
        for (u64 t = ((pawns & ~FileA) << 9) & other; t; t &= t - 1) {
            const u64 to = LowestBit(t);
            moveTemplate.from = to >> 9;
            if (AddCapture(to) && (to & Rank8)) ExpandPromotions();
        }
        for (u64 t = ((pawns & ~FileH) << 7) & other; t; t &= t - 1) {
            const u64 to = LowestBit(t);
            moveTemplate.from = to >> 7;
            if (AddCapture(to) && (to & Rank8)) ExpandPromotions();
        }
    } else {
        for (u64 t = (pawns >> 9) & other & ~FileA; t; t &= t - 1) {
            const u64 to = LowestBit(t);
            moveTemplate.from = to << 9;
            if (AddCapture(to) && (to & Rank1)) ExpandPromotions();
        }
        for (u64 t = (pawns >> 7) & other & ~FileH; t; t &= t - 1) {
            const u64 to = LowestBit(t);
            moveTemplate.from = to << 7;
            if (AddCapture(to) && (to & Rank1)) ExpandPromotions();
        }
    }
}

void clsChessCore::PawnPushes()
{
    const u64 empty = ~board.occupied();
    const u64 pawns = board.own() & board.pawns();
    const bool white = board.side == White;
    moveTemplate = clsMove {};
    moveTemplate.flags = Pawn;

    const u64 single = (white ? pawns << 8 : pawns >> 8) & empty;
    const u64 lastRank = white ? Rank8 : Rank1;
    for (u64 t = single; t; t &= t - 1) {
        const u64 to = LowestBit(t);
        moveTemplate.from = white ? to >> 8 : to << 8;
        *write_ = moveTemplate;
        write_->to = to;
        ++write_;
        if (to & lastRank) ExpandPromotions();
    }
    moveTemplate.flags = Pawn | MoveFlag::DoublePush;
    const u64 twice = (white ? (single & Rank3) << 8 : (single & Rank6) >> 8) & empty;
    for (u64 t = twice; t; t &= t - 1) {
        const u64 to = LowestBit(t);
        moveTemplate.from = white ? to >> 16 : to << 16;
        *write_ = moveTemplate;
        write_->to = to;
        ++write_;
    }
}

void clsChessCore::StepperCaptures(u64 pieces, int kind, const SquareTable& table)
{
    moveTemplate = clsMove {};
    moveTemplate.flags = static_cast<std::uint32_t>(kind);
    const u64 other = board.other();
    for (; pieces; pieces &= pieces - 1) {
        moveTemplate.from = LowestBit(pieces);
        for (u64 t = table[SquareIndex(pieces)] & other; t; t &= t - 1) AddCapture(LowestBit(t));
    }
}

void clsChessCore::StepperQuiet(u64 pieces, int kind, const SquareTable& table)
{
    moveTemplate = clsMove {};
    moveTemplate.flags = static_cast<std::uint32_t>(kind);
    const u64 empty = ~board.occupied();
    for (; pieces; pieces &= pieces - 1) {
        moveTemplate.from = LowestBit(pieces);
        WriteQuiet(table[SquareIndex(pieces)] & empty);
    }
}

void clsChessCore::SliderCaptures(u64 pieces, int kind, const int (&directions)[4], bool bishopLines)
{
    moveTemplate = clsMove {};
    moveTemplate.flags = static_cast<std::uint32_t>(kind);
    const u64 other = board.other(), occupied = board.occupied();
    const int lines = bishopLines ? BishopLines : RookLines;
    for (; pieces; pieces &= pieces - 1) {
        const int s = SquareIndex(pieces);
        if (!(Rays[lines][s] & other)) continue; // nothing to take on these lines
        moveTemplate.from = LowestBit(pieces);
        for (int d : directions) {
            const u64 blockers = Rays[d][s] & occupied;
            if (!blockers) continue;
            const u64 nearest = (d & 1) ? LowestBit(blockers) : HighestBit(blockers);
            if (nearest & other) AddCapture(nearest);
        }
    }
}

void clsChessCore::SliderQuiet(u64 pieces, int kind, const int (&directions)[4])
{
    moveTemplate = clsMove {};
    moveTemplate.flags = static_cast<std::uint32_t>(kind);
    const u64 occupied = board.occupied();
    for (; pieces; pieces &= pieces - 1) {
        const int s = SquareIndex(pieces);
        moveTemplate.from = LowestBit(pieces);
        for (int d : directions) WriteQuiet(RayUpToBlocker(d, s, occupied) & ~occupied);
    }
}

void clsChessCore::Castling()
{
    const u64 castle = board.castle();
    if (!(castle & AnyCastleSquare)) return;
    const int shift = board.side == White ? 0 : 56;
    const u64 h = u64 { 0x01 } << shift, g = u64 { 0x02 } << shift, f = u64 { 0x04 } << shift;
    const u64 e = u64 { 0x08 } << shift, d = u64 { 0x10 } << shift, c = u64 { 0x20 } << shift;
    const u64 b = u64 { 0x40 } << shift, a = u64 { 0x80 } << shift;
    if (!(board.own() & board.kings() & e) || !(castle & e)) return;
    // A right needs its corner in `castle` and an own rook standing there.
    const u64 rooks = board.own() & board.rooks() & castle;
    const bool kingSide = (rooks & h) != 0, queenSide = (rooks & a) != 0;
    if (!kingSide && !queenSide) return;
    if (IsAttacked(e)) return;
    const u64 occupied = board.occupied();
    auto write = [this, e](u64 to, u64 extra) {
        *write_ = clsMove {};
        write_->flags = King | MoveFlag::Castling;
        write_->from = e;
        write_->to = to;
        write_->extra = extra;
        ++write_;
    };
    if (kingSide && !(occupied & (f | g)) && !IsAttacked(f)) write(g, h | f);
    if (queenSide && !(occupied & (b | c | d)) && !IsAttacked(d)) write(c, a | d);
}

void clsChessCore::FinishList()
{
    Next(current)->firstMove = write_;
    if (write_ < moveStack + MoveStackSize) write_->flags = MoveFlag::Illegal; // end mark
}

void clsChessCore::GenerateMoves(int stage)
{
    if (stage < -1 || stage > 5) return;
    clsSimpleNode* n = current;
    if (stage <= 0) {
        StartNode(n);
        write_ = n->firstMove;
        if (moveStack + MoveStackSize - write_ < MovesReservedPerNode) {
            n->currentMove = write_;
            FinishList(); // no room left for a full list: the node gets none
            return;
        }
    } else {
        write_ = Next(n)->firstMove;
    }
    clsMove* const batch = write_;

    const u64 own = board.own();
    const u64 knights = own & board.knights(), bishops = own & board.bishops();
    const u64 rooks = own & board.rooks(), queens = own & board.queens(), kings = own & board.kings();

    if (stage == 0 || stage == -1) PawnCaptures();
    if (stage == 1 || stage == -1) {
        StepperCaptures(knights, Knight, KnightAttacks);
        SliderCaptures(bishops, Bishop, BishopCaptureDirections, true);
    }
    if (stage == 2 || stage == -1) SliderCaptures(rooks, Rook, RookCaptureDirections, false);
    if (stage == 3 || stage == -1) {
        SliderCaptures(queens, Queen, RookCaptureDirections, false);
        SliderCaptures(queens, Queen, BishopCaptureDirections, true);
        StepperCaptures(kings, King, KingAttacks);
    }
    if (stage == 4 || stage == -1) {
        StepperQuiet(knights, Knight, KnightAttacks);
        SliderQuiet(bishops, Bishop, BishopQuietDirections);
        SliderQuiet(rooks, Rook, RookQuietDirections);
    }
    if (stage == 5 || stage == -1) {
        SliderQuiet(queens, Queen, RookQuietDirections);
        SliderQuiet(queens, Queen, BishopQuietDirections);
        if (stage == 5) { // stage 5 writes pawn pushes before king moves, stage -1 after them
            PawnPushes();
            StepperQuiet(kings, King, KingAttacks);
        } else {
            StepperQuiet(kings, King, KingAttacks);
            PawnPushes();
        }
        Castling();
    }

    n->currentMove = batch;
    FinishList();
}

bool clsChessCore::RayAttack(int s, int firstDirection, u64 candidates) const
{
    if (!(Rays[AllLines][s] & candidates)) return false;
    for (int d = firstDirection; d < firstDirection + 4; ++d) {
        const u64 on = Rays[d][s] & candidates;
        if (!on) continue;
        const u64 occ = Rays[d][s] & board.occupied();
        if (on == occ) return true;
        if (d & 1) {
            if (LowestBit(occ) & on) return true;
        } else if ((occ & ~on) < on) {
            return true;
        }
    }
    return false;
}

bool clsChessCore::IsAttacked(u64 square) const
{
    if (!square) return false;
    const int s = SquareIndex(square);
    const u64 other = board.other();
    if (((PawnAttacks[board.side & 1][s] & board.pawns()) | (KnightAttacks[s] & board.knights())) & other)
        return true;
    u64 c = (board.bishops() | board.queens()) & Rays[BishopLines][s] & other;
    if (c && RayAttack(s, NorthEast, c)) return true;
    c = (board.rooks() | board.queens()) & Rays[RookLines][s] & other;
    if (c && RayAttack(s, North, c)) return true;
    return (KingAttacks[s] & board.kings() & other) != 0;
}

} // namespace drnChess
