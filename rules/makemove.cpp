// Making moves: the incremental board update, legality, the legal-move filter and game moves.
// Moves are taken back by copying a saved board over the current one.

#include "rules/bits.h"
#include "rules/clschesscore.h"

#include <optional>

#include "rules/movereader.h"
#include "rules/random.h"

namespace drnChess {

void clsChessCore::MakeMove(const clsMove& move)
{
    clsBoard& b = board;
    const u64 f = move.from, t = move.to;
    const int moving = move.Moving();
    const int us = b.side & 1, them = us ^ 1;
    const int to = SquareIndex(t);
    // Key slots 0..5 are the kinds pawn..king, so a kind's slot is its code minus 2.

    // 1. The mover leaves its square.
    b.bb[Hash] ^= ZobristKeys[SquareIndex(f)][moving - 2][us];
    b.bb[Own] ^= f | t;

    if (move.flags & MoveFlag::EnPassant) {
        // 2. En passant: the victim stands beside the destination.
        b.bb[Pawns] ^= move.extra | f | t;
        b.bb[Other] ^= move.extra;
        b.bb[Hash] ^= ZobristKeys[SquareIndex(move.extra)][Pawn - 2][them];
        b.pawnCount[them] -= 1;
    } else if (move.flags & MoveFlag::Castling) {
        // 3. Castling: king and rook (extra holds both rook squares).
        b.bb[Kings] ^= f | t;
        b.bb[Rooks] ^= move.extra;
        b.bb[Own] ^= move.extra;
        for (u64 r = move.extra; r; r &= r - 1)
            b.bb[Hash] ^= ZobristKeys[SquareIndex(r) & 63][Rook - 2][us];
        b.bb[Castle] &= ~(f | t);
        b.material += castleBonus;
    } else {
        // 4. Any other move, with its capture.
        const int captured = move.Captured();
        if (captured > 1) {
            if (t & b.bb[Pawns])
                b.pawnCount[them] -= 1;
            else
                b.pieceCount[them] -= 1;
            b.bb[captured] ^= t;
            b.bb[Other] ^= t;
            b.bb[Hash] ^= ZobristKeys[to][captured - 2][them];
        }
        b.bb[moving] ^= f | t;
        b.bb[Castle] &= ~(f | t);
    }

    // 5. The piece that arrives.
    if (const int promotion = move.Promotion()) {
        b.bb[promotion] ^= t;
        b.bb[Pawns] ^= t;
        b.bb[Hash] ^= ZobristKeys[to][promotion - 2][us];
        b.pawnCount[us] -= 1;
        b.pieceCount[us] += 1;
    } else {
        b.bb[Hash] ^= ZobristKeys[to][moving - 2][us];
    }

    // 6.
    b.bb[Occupied] = b.bb[Own] | b.bb[Other];
    b.material += move.value;
}

bool clsChessCore::IsLegalMove(const clsMove& move)
{
    const clsBoard saved = board;
    MakeMove(move);
    const bool legal = !IsAttacked(board.own() & board.kings());
    board = saved;
    return legal;
}

int clsChessCore::FilterLegalMoves()
{
    clsSimpleNode* n = current;
    const clsBoard saved = board;
    clsMove* keep = n->firstMove;
    for (clsMove* m = n->firstMove; m < Next(n)->firstMove; ++m) {
        MakeMove(*m);
        const bool legal = !IsAttacked(board.own() & board.kings());
        board = saved;
        if (legal)
            *keep++ = *m;
        else
            m->flags |= MoveFlag::Illegal;
    }
    write_ = keep;
    FinishList();
    n->legalCount = static_cast<std::int32_t>(keep - n->firstMove);
    return n->legalCount;
}

void clsChessCore::SetEnPassantAfter(const clsMove& move)
{
    if (move.Has(MoveFlag::DoublePush))
        board.epSquare() = board.side == Black ? move.to << 8 : move.to >> 8;
    else
        board.epSquare() = 0;
}

bool clsChessCore::ApplyGameMove(std::string_view text)
{
    const std::optional<clsMove> move = ReadCoordinateMove(*this, text);
    if (!move) return false;
    PlayGameMove(*move);
    return true;
}

void clsChessCore::PlayGameMove(const clsMove& move)
{
    const clsMove played = move; // the record may live in the list about to be emptied
    const u64 before = PositionKey();
    MakeMove(played);
    SetEnPassantAfter(played);
    board.SwitchSide();

    // Mark the new position for repetition detection in the search.
    Root()->entry = MarkGamePosition(PositionKey());
    GameMovePlayed(played, before, PositionKey());

    // The root now stands for the new position: fresh copy and pre-root move, empty list.
    current = Root();
    PrepareRoot();
    Next(Root())->firstMove = Root()->firstMove;
    Root()->firstMove->flags = MoveFlag::Illegal;
}

} // namespace drnChess
