#pragma once
// The position record: bitboards seen from the side to move, plus side, material and counts.
//
// Square numbering: bit index = 8 * rank + (7 - file), so h1 is bit 0, a1 bit 7, h8 bit 56
// and a8 bit 63. Squares are mostly passed as single-bit bitboards.

#include <cstdint>

#include "rules/colour.h"

namespace drnChess {

using u64 = std::uint64_t;

// Piece kinds as kept in boards and move records; the letters are "--PNBRQK" by code.
enum PieceKind : int { NoPiece = 0, Pawn = 2, Knight = 3, Bishop = 4, Rook = 5, Queen = 6, King = 7 };
inline constexpr char PieceLetters[] = "--PNBRQK";

// Material values in internal units (a pawn is 105).
inline constexpr int PieceValue[8] = { 0, 0, 105, 303, 303, 500, 940, 5000 };

// Slots of the bitboard array: a piece kind's slot is its code; make-move addresses the
// kind bitboards by the code held in a move record.
enum BoardSlot : int {
    Own = 0,
    Other = 1,
    Pawns = 2,
    Knights = 3,
    Bishops = 4,
    Rooks = 5,
    Queens = 6,
    Kings = 7,
    Castle = 8,
    EpSquare = 9,
    Occupied = 10,
    Hash = 11
};

struct clsBoard {
    u64 bb[12]; // indexed by BoardSlot
    std::int32_t side; // colour to move: 0 white, 1 black
    std::int32_t material; // own material minus other material, plus castling bonuses
    std::int32_t pieceCount[2]; // per absolute colour: pieces that are not pawns, king included
    std::int32_t pawnCount[2]; // per absolute colour
    std::int32_t spare[2]; // keeps the record at the 128 bytes the engine reports

    u64& own() { return bb[Own]; }
    u64& other() { return bb[Other]; }
    u64& pawns() { return bb[Pawns]; }
    u64& knights() { return bb[Knights]; }
    u64& bishops() { return bb[Bishops]; }
    u64& rooks() { return bb[Rooks]; }
    u64& queens() { return bb[Queens]; }
    u64& kings() { return bb[Kings]; }
    u64& castle() { return bb[Castle]; } // castling rights kept as squares (king and rook homes)
    u64& epSquare() { return bb[EpSquare]; } // square a double-pushing pawn passed over, or 0
    u64& occupied() { return bb[Occupied]; }
    u64& hash() { return bb[Hash]; }
    u64 own() const { return bb[Own]; }
    u64 other() const { return bb[Other]; }
    u64 pawns() const { return bb[Pawns]; }
    u64 knights() const { return bb[Knights]; }
    u64 bishops() const { return bb[Bishops]; }
    u64 rooks() const { return bb[Rooks]; }
    u64 queens() const { return bb[Queens]; }
    u64 kings() const { return bb[Kings]; }
    u64 castle() const { return bb[Castle]; }
    u64 epSquare() const { return bb[EpSquare]; }
    u64 occupied() const { return bb[Occupied]; }
    u64 hash() const { return bb[Hash]; }

    // White and black pieces, whatever the side to move.
    u64 white() const { return side == White ? bb[Own] : bb[Other]; }
    u64 black() const { return side == White ? bb[Other] : bb[Own]; }

    // The side switch every caller performs after MakeMove.
    void SwitchSide()
    {
        side ^= 1;
        u64 t = bb[Own];
        bb[Own] = bb[Other];
        bb[Other] = t;
        material = -material;
    }
};
static_assert(sizeof(clsBoard) == 128, "the board record is 128 bytes");

} // namespace drnChess
