// The staged pseudo-legal move generator and the attack test.
//
// Every list is written in place into the move stack, and every loop takes the lowest set bit
// first, so the order of a list is fixed by the order of the loops below.

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

    // The writers below work on a local write position, so that the compiler can keep it in a
    // register; each returns the position after what it wrote.

    inline clsMove* Put(clsMove* w, std::uint32_t flags, int value, u64 from, u64 to)
    {
        w->flags = flags;
        w->value = static_cast<std::int16_t>(value);
        w->order = 0;
        w->from = from;
        w->to = to;
        w->extra = 0;
        return w + 1;
    }

    // Kind of the opponent piece on `to`, tested in the order pawn, knight, bishop, rook,
    // queen, king.
    inline int CapturedKind(const clsBoard& b, u64 to)
    {
        for (int k = Pawn; k < King; ++k)
            if (b.bb[k] & to) return k;
        return King;
    }

    inline clsMove* PutCapture(clsMove* w, const clsBoard& b, std::uint32_t flags, u64 from, u64 to)
    {
        const int kind = CapturedKind(b, to);
        return Put(w, flags | (static_cast<std::uint32_t>(kind) << 4), PieceValue[kind], from, to);
    }

    // Queen, knight, bishop and rook promotions of a pawn move worth `captured`.
    inline clsMove* PutPromotions(clsMove* w, std::uint32_t flags, int captured, u64 from, u64 to)
    {
        for (int kind : { Queen, Knight, Bishop, Rook })
            w = Put(w, flags | (static_cast<std::uint32_t>(kind) << 8),
                captured + PieceValue[kind] - PieceValue[Pawn], from, to);
        return w;
    }

    inline clsMove* PutQuiet(clsMove* w, std::uint32_t flags, u64 from, u64 targets)
    {
        for (; targets; targets &= targets - 1)
            w = Put(w, flags, 0, from, LowestBit(targets));
        return w;
    }

    // Ordinary pawn captures (en passant is the caller's): towards the a-file first.
    clsMove* PawnCaptures(clsMove* w, const clsBoard& b)
    {
        const u64 other = b.other();
        const u64 pawns = b.own() & b.pawns();
        auto captures = [&](u64 targets, int shift, bool up, u64 lastRank) {
            for (; targets; targets &= targets - 1) {
                const u64 to = LowestBit(targets);
                const u64 from = up ? to >> shift : to << shift;
                const int kind = CapturedKind(b, to);
                const std::uint32_t flags = Pawn | (static_cast<std::uint32_t>(kind) << 4);
                if (to & lastRank)
                    w = PutPromotions(w, flags, PieceValue[kind], from, to);
                else
                    w = Put(w, flags, PieceValue[kind], from, to);
            }
        };
        if (b.side == White) {
            captures(((pawns & ~FileA) << 9) & other, 9, true, Rank8);
            captures(((pawns & ~FileH) << 7) & other, 7, true, Rank8);
        } else {
            captures((pawns >> 9) & other & ~FileA, 9, false, Rank1);
            captures((pawns >> 7) & other & ~FileH, 7, false, Rank1);
        }
        return w;
    }

    // Single pushes (with promotions), then double pushes.
    clsMove* PawnPushes(clsMove* w, const clsBoard& b)
    {
        const u64 empty = ~b.occupied();
        const u64 pawns = b.own() & b.pawns();
        if (b.side == White) {
            const u64 single = (pawns << 8) & empty;
            for (u64 t = single; t; t &= t - 1) {
                const u64 to = LowestBit(t);
                w = (to & Rank8) ? PutPromotions(w, Pawn, 0, to >> 8, to) : Put(w, Pawn, 0, to >> 8, to);
            }
            for (u64 t = ((single & Rank3) << 8) & empty; t; t &= t - 1) {
                const u64 to = LowestBit(t);
                w = Put(w, Pawn | MoveFlag::DoublePush, 0, to >> 16, to);
            }
        } else {
            const u64 single = (pawns >> 8) & empty;
            for (u64 t = single; t; t &= t - 1) {
                const u64 to = LowestBit(t);
                w = (to & Rank1) ? PutPromotions(w, Pawn, 0, to << 8, to) : Put(w, Pawn, 0, to << 8, to);
            }
            for (u64 t = ((single & Rank6) >> 8) & empty; t; t &= t - 1) {
                const u64 to = LowestBit(t);
                w = Put(w, Pawn | MoveFlag::DoublePush, 0, to << 16, to);
            }
        }
        return w;
    }

    clsMove* StepperCaptures(clsMove* w, const clsBoard& b, u64 pieces, int kind, const SquareTable& table)
    {
        const u64 other = b.other();
        for (; pieces; pieces &= pieces - 1) {
            const u64 from = LowestBit(pieces);
            for (u64 t = table[SquareIndex(pieces)] & other; t; t &= t - 1)
                w = PutCapture(w, b, static_cast<std::uint32_t>(kind), from, LowestBit(t));
        }
        return w;
    }

    clsMove* StepperQuiet(clsMove* w, const clsBoard& b, u64 pieces, int kind, const SquareTable& table)
    {
        const u64 empty = ~b.occupied();
        for (; pieces; pieces &= pieces - 1)
            w = PutQuiet(
                w, static_cast<std::uint32_t>(kind), LowestBit(pieces), table[SquareIndex(pieces)] & empty);
        return w;
    }

    // Per piece and direction, the nearest piece on the ray when it is the opponent's.
    clsMove* SliderCaptures(
        clsMove* w, const clsBoard& b, u64 pieces, int kind, const int (&directions)[4], int lines)
    {
        const u64 other = b.other(), occupied = b.occupied();
        for (; pieces; pieces &= pieces - 1) {
            const int s = SquareIndex(pieces);
            if (!(Rays[lines][s] & other)) continue; // nothing to take on these lines
            const u64 from = LowestBit(pieces);
            for (int d : directions) {
                const u64 blockers = Rays[d][s] & occupied;
                if (!blockers) continue;
                const u64 nearest = (d & 1) ? LowestBit(blockers) : HighestBit(blockers);
                if (nearest & other) w = PutCapture(w, b, static_cast<std::uint32_t>(kind), from, nearest);
            }
        }
        return w;
    }

    // Per piece and direction, the empty squares up to the nearest piece.
    clsMove* SliderQuiet(clsMove* w, const clsBoard& b, u64 pieces, int kind, const int (&directions)[4])
    {
        const u64 occupied = b.occupied();
        for (; pieces; pieces &= pieces - 1) {
            const int s = SquareIndex(pieces);
            const u64 from = LowestBit(pieces);
            for (int d : directions)
                w = PutQuiet(
                    w, static_cast<std::uint32_t>(kind), from, RayUpToBlocker(d, s, occupied) & ~occupied);
        }
        return w;
    }

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
    clsMove* w = Next(current)->firstMove;
    if (!(to & board.other()) || moveStack + MoveStackSize - w < 2) return false;
    const int kind = CapturedKind(board, to);
    *w = moveTemplate;
    w->flags |= static_cast<std::uint32_t>(kind) << 4;
    w->value = static_cast<std::int16_t>(PieceValue[kind]);
    w->to = to;
    write_ = w + 1;
    FinishList();
    return true;
}

void clsChessCore::ExpandPromotions()
{
    clsMove* queen = Next(current)->firstMove - 1;
    if (queen < current->firstMove || moveStack + MoveStackSize - queen < 5) return;
    const int captured = queen->value;
    const std::uint32_t flags = queen->flags & ~MoveFlag::PromotionMask;
    clsMove* w = queen;
    for (int kind : { Queen, Knight, Bishop, Rook }) {
        *w = *queen;
        w->flags = flags | (static_cast<std::uint32_t>(kind) << 8);
        w->value = static_cast<std::int16_t>(captured + PieceValue[kind] - PieceValue[Pawn]);
        ++w;
    }
    write_ = w;
    FinishList();
}

clsMove* clsChessCore::EnPassant(clsMove* w) const
{
    // Only when the move that led here was a double push.
    const clsMove* previous = (current - 1)->currentMove;
    if (!previous || !previous->Has(MoveFlag::DoublePush)) return w;
    const bool white = board.side == White;
    const u64 victim = previous->to;
    const u64 passed = white ? victim << 8 : victim >> 8;
    // A loaded en-passant square without a pawn that could just have passed it gives nothing.
    if (!(victim & board.other() & board.pawns() & (white ? Rank5 : Rank4)) || (passed & board.occupied()))
        return w;
    const u64 pawns = board.own() & board.pawns();
    // The capturer towards the a-file first, then the one towards the h-file.
    for (u64 from : { (victim & ~FileA) << 1, (victim & ~FileH) >> 1 }) {
        if (!(from & pawns)) continue;
        w = Put(w, Pawn | (Pawn << 4) | MoveFlag::EnPassant, PieceValue[Pawn], from, passed);
        (w - 1)->extra = victim;
    }
    return w;
}

clsMove* clsChessCore::Castling(clsMove* w) const
{
    const u64 castle = board.castle();
    if (!(castle & AnyCastleSquare)) return w;
    const int shift = board.side == White ? 0 : 56;
    const u64 h = u64 { 0x01 } << shift, g = u64 { 0x02 } << shift, f = u64 { 0x04 } << shift;
    const u64 e = u64 { 0x08 } << shift, d = u64 { 0x10 } << shift, c = u64 { 0x20 } << shift;
    const u64 b = u64 { 0x40 } << shift, a = u64 { 0x80 } << shift;
    if (!(board.own() & board.kings() & e) || !(castle & e)) return w;
    // A right needs its corner in `castle` and an own rook standing there.
    const u64 rooks = board.own() & board.rooks() & castle;
    const bool kingSide = (rooks & h) != 0, queenSide = (rooks & a) != 0;
    if (!kingSide && !queenSide) return w;
    if (IsAttacked(e)) return w;
    const u64 occupied = board.occupied();
    if (kingSide && !(occupied & (f | g)) && !IsAttacked(f)) {
        w = Put(w, King | MoveFlag::Castling, 0, e, g);
        (w - 1)->extra = h | f;
    }
    if (queenSide && !(occupied & (b | c | d)) && !IsAttacked(d)) {
        w = Put(w, King | MoveFlag::Castling, 0, e, c);
        (w - 1)->extra = a | d;
    }
    return w;
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
    clsMove* w = write_;

    const clsBoard& b = board;
    const u64 own = b.own();
    const u64 knights = own & b.knights(), bishops = own & b.bishops();
    const u64 rooks = own & b.rooks(), queens = own & b.queens(), kings = own & b.kings();

    if (stage == 0 || stage == -1) {
        w = EnPassant(w);
        w = PawnCaptures(w, b);
    }
    if (stage == 1 || stage == -1) {
        w = StepperCaptures(w, b, knights, Knight, KnightAttacks);
        w = SliderCaptures(w, b, bishops, Bishop, BishopCaptureDirections, BishopLines);
    }
    if (stage == 2 || stage == -1) w = SliderCaptures(w, b, rooks, Rook, RookCaptureDirections, RookLines);
    if (stage == 3 || stage == -1) {
        w = SliderCaptures(w, b, queens, Queen, RookCaptureDirections, RookLines);
        w = SliderCaptures(w, b, queens, Queen, BishopCaptureDirections, BishopLines);
        w = StepperCaptures(w, b, kings, King, KingAttacks);
    }
    if (stage == 4 || stage == -1) {
        w = StepperQuiet(w, b, knights, Knight, KnightAttacks);
        w = SliderQuiet(w, b, bishops, Bishop, BishopQuietDirections);
        w = SliderQuiet(w, b, rooks, Rook, RookQuietDirections);
    }
    if (stage == 5 || stage == -1) {
        w = SliderQuiet(w, b, queens, Queen, RookQuietDirections);
        w = SliderQuiet(w, b, queens, Queen, BishopQuietDirections);
        if (stage == 5) { // stage 5 writes pawn pushes before king moves, stage -1 after them
            w = PawnPushes(w, b);
            w = StepperQuiet(w, b, kings, King, KingAttacks);
        } else {
            w = StepperQuiet(w, b, kings, King, KingAttacks);
            w = PawnPushes(w, b);
        }
        w = Castling(w);
    }

    write_ = w;
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
