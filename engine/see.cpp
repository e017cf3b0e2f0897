// Static exchange evaluation by the swap list.

#include "engine/see.h"

#include <algorithm>

#include "engine/strongeval.h"

namespace drnChess::strong {

int See(const FastPosition& b, Move move)
{
    if (Kind(move) == MoveKind::Castle) return 0;
    const int from = From(move), to = To(move);
    int gain[40];
    int d = 0;
    const int victim = Kind(move) == MoveKind::EnPassant ? Pawn
        : b.squares[static_cast<std::size_t>(to)] == NoPiece
        ? NoType
        : TypeOf(b.squares[static_cast<std::size_t>(to)]);
    gain[0] = victim == NoType ? 0 : StrongEval::PieceValue(victim);
    int onSquare = TypeOf(b.squares[static_cast<std::size_t>(from)]);
    if (IsPromotion(move)) {
        onSquare = PromotionType(move);
        gain[0] += StrongEval::PieceValue(onSquare) - StrongEval::PieceValue(Pawn);
    }
    u64 occupied = b.Occupied() ^ Bit(from);
    if (Kind(move) == MoveKind::EnPassant) occupied ^= Bit(to + (b.side == White ? -8 : 8));
    const u64 diagonal = b.byType[Bishop] | b.byType[Queen];
    const u64 straight = b.byType[Rook] | b.byType[Queen];
    u64 attackers = b.AttackersTo(to, occupied) & occupied;
    int side = b.side ^ 1;
    while (d < 38) {
        const u64 mine = attackers & b.byColour[side];
        if (!mine) break;
        // The least valuable attacker.
        int type = Pawn;
        u64 set = 0;
        for (; type <= King; ++type) {
            set = mine & b.byType[type];
            if (set) break;
        }
        // The king may take only when nothing defends the square any more.
        if (type == King && (attackers & b.byColour[side ^ 1])) break;
        ++d;
        gain[d] = StrongEval::PieceValue(onSquare) - gain[d - 1];
        if (std::max(-gain[d - 1], gain[d]) < 0) break;
        occupied ^= set & (0 - set);
        // Sliders behind the piece that moved join in.
        attackers |= (BishopAttacks(to, occupied) & diagonal) | (RookAttacks(to, occupied) & straight);
        attackers &= occupied;
        onSquare = type;
        side ^= 1;
    }
    while (d > 0) {
        gain[d - 1] = -std::max(-gain[d - 1], gain[d]);
        --d;
    }
    return gain[0];
}

} // namespace drnChess::strong
