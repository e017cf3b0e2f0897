#pragma once
// The fast position: bitboards by colour and kind plus a square table, with make/unmake on an
// undo stack, an incremental key (side to move, en passant and castling in it) and a key history
// for repetitions. The strong search plays on it; perft counts with it (rules/fastperft.h). The
// classic engine keeps its own board (clsboard.h), whose squares run the other way.
//
// Squares: a1 = 0, b1 = 1, ..., h8 = 63 (index = 8 * rank + file).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rules/bits.h"
#include "rules/colour.h"
#include "rules/fastmove.h"
#include "rules/sliders.h"

namespace drnChess {
struct clsBoard;
} // namespace drnChess

namespace drnChess::fast {

// Colours are the rules' own (White = 0, Black = 1).
enum PieceType : int { Pawn = 0, Knight, Bishop, Rook, Queen, King, NoType };
// A piece is colour * 6 + type; NoPiece marks an empty square.
inline constexpr int NoPiece = 12;
constexpr int MakePiece(int colour, int type)
{
    return colour * 6 + type;
}
constexpr int TypeOf(int piece)
{
    return piece % 6;
}
constexpr int ColourOf(int piece)
{
    return piece / 6;
}

constexpr int PromotionType(Move m)
{
    return Kind(m) - MoveKind::Promotion + Knight;
}

// Castling rights bits.
inline constexpr int WhiteShort = 1, WhiteLong = 2, BlackShort = 4, BlackLong = 8;

constexpr u64 Bit(int sq)
{
    return u64 { 1 } << sq;
}
constexpr int Lsb(u64 b)
{
    return __builtin_ctzll(b);
}
constexpr int Msb(u64 b)
{
    return 63 - __builtin_clzll(b);
}
constexpr int Count(u64 b)
{
#if defined(__POPCNT__)
    return __builtin_popcountll(b);
#else
    // Without the processor's instruction the builtin is a library call; this inlines.
    b = b - ((b >> 1) & 0x5555555555555555ULL);
    b = (b & 0x3333333333333333ULL) + ((b >> 2) & 0x3333333333333333ULL);
    b = (b + (b >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<int>((b * 0x0101010101010101ULL) >> 56);
#endif
}
inline int PopLsb(u64& b)
{
    const int s = Lsb(b);
    b &= b - 1;
    return s;
}
constexpr int FileOf(int sq)
{
    return sq & 7;
}
constexpr int RankOf(int sq)
{
    return sq >> 3;
}
// The square seen from the other side (a1 <-> a8).
constexpr int Flip(int sq)
{
    return sq ^ 56;
}

inline constexpr u64 FileABits = 0x0101010101010101ULL;
inline constexpr u64 Rank1Bits = 0xFFULL;

// Castling rights that stay after a move touches the square.
constexpr int CastlingKept(int sq)
{
    switch (sq) {
    case 0:
        return ~WhiteLong & 15;
    case 4:
        return ~(WhiteShort | WhiteLong) & 15;
    case 7:
        return ~WhiteShort & 15;
    case 56:
        return ~BlackLong & 15;
    case 60:
        return ~(BlackShort | BlackLong) & 15;
    case 63:
        return ~BlackShort & 15;
    default:
        return 15;
    }
}

// Attack tables, built once (Tables() is safe to call from any thread, any number of times;
// the tables are filled by a function-local static initialiser).
struct AttackTables {
    u64 knight[64];
    u64 king[64];
    u64 pawn[2][64];
    u64 ray[8][64]; // directions: N, S, E, W, NE, NW, SE, SW
    u64 between[64][64]; // squares strictly between two squares on a line, else 0
    u64 zobristPiece[12][64];
    u64 zobristCastle[16];
    u64 zobristEp[8];
    u64 zobristSide;
    SliderSquare bishop[64]; // copies of the program's slider table (rules/sliders)
    SliderSquare rook[64];
};
AttackTables BuildAttackTables();
// Inline: a hot path pays only the check that the tables are built.
inline const AttackTables& Tables()
{
    static const AttackTables tables = BuildAttackTables();
    return tables;
}

inline u64 BishopAttacks(int sq, u64 occupied)
{
    return Tables().bishop[sq].Attacks(occupied);
}
inline u64 RookAttacks(int sq, u64 occupied)
{
    return Tables().rook[sq].Attacks(occupied);
}
inline u64 QueenAttacks(int sq, u64 occupied)
{
    return BishopAttacks(sq, occupied) | RookAttacks(sq, occupied);
}

class FastPosition {
public:
    static constexpr int MaxHistory = 1024; // game plies kept plus search plies

    FastPosition();
    // Loads a FEN (placement, side, castling, en passant, optional counters). False when the
    // placement cannot be read or a king is missing; the board is then left empty.
    bool SetFromFEN(std::string_view fen);
    std::string FEN() const;

    // Loads a classic board (its squares run the other way). False for a board the generators
    // do not take: not exactly one king a side, the side not to move in check, or a pawn on the
    // first or last rank; the position is then left empty.
    bool SetFromBoard(const clsBoard& board);

    // Makes a pseudo-legal move; false (and the move taken back) when it leaves the mover's
    // king attacked.
    bool Make(Move m);
    // Makes a move known to be legal, without the test.
    void Play(Move m) { Apply<true>(m); }
    // The same without keeping the key on the way (perft): Unmake still brings back the key the
    // position had.
    void PlayUnkeyed(Move m) { Apply<false>(m); }
    void Unmake();
    // Passes the move (null move); not allowed when in check.
    void MakeNull();
    void UnmakeNull();

    // Pseudo-legal moves: captures and promotions (noisy) or the rest (quiet).
    void GenerateNoisy(MoveList& list) const;
    void GenerateQuiet(MoveList& list) const;
    // Legal moves in the order of the generators above (perft lists its own: fastperft.h).
    void GenerateLegal(MoveList& list);
    // True when the move is pseudo-legal here (for hash and killer moves).
    bool IsPseudoLegal(Move m) const;
    bool IsCapture(Move m) const { return Kind(m) == MoveKind::EnPassant || squares[To(m)] != NoPiece; }
    bool GivesNoCaptureOrPromotion(Move m) const { return !IsCapture(m) && !IsPromotion(m); }

    // True when the move (pseudo-legal here) checks the enemy king, directly or by uncovering a
    // slider; castling, en passant and promotions are made and taken back to see.
    bool GivesCheck(Move m);

    u64 AttackersTo(int sq, u64 occupied) const;
    bool Attacked(int sq, int byColour) const;
    bool InCheck() const { return Attacked(KingSquare(side), side ^ 1); }
    int KingSquare(int colour) const { return Lsb(Pieces(colour, King)); }

    u64 Pieces(int colour, int type) const { return byColour[colour] & byType[type]; }
    u64 Occupied() const { return byColour[0] | byColour[1]; }
    // Pieces other than pawns and the king.
    bool HasNonPawnMaterial(int colour) const
    {
        return (byColour[colour] & ~byType[Pawn] & ~byType[King]) != 0;
    }

    // A repetition of an earlier position since the last irreversible move (game or tree), or
    // the fifty-move rule.
    bool IsRepetitionOrFifty() const;
    // Positions since the last irreversible move, for callers that keep the history aside.
    int HalfmoveClock() const { return halfmove; }
    void SetHalfmoveClock(int n) { halfmove = n; }
    // Forgets the history before the current position (a new game position).
    void ClearHistory();
    // Keeps only the last `plies` entries of the history (keys and moves: they can still be
    // taken back); a long game keeps room for the search's plies this way.
    void KeepRecentHistory(int plies);
    // Plies made since the root of the search (the history depth).
    int HistoryLength() const { return historyLength; }
    // The move that led here (NoMove after a null move); only for positions the search made.
    Move LastMove() const
    {
        return historyLength > 0 ? undo_[static_cast<std::size_t>(historyLength - 1)].move : NoMove;
    }
    // The keys of the game positions before this one, oldest first, for repetitions (the
    // search never takes them back); at most the last 256 are kept.
    void SetPriorKeys(const u64* keys, int count);

    // Coordinate text ("e2e4", "e7e8q").
    static std::string MoveText(Move m);
    // The legal move with this coordinate text, or NoMove.
    Move ParseMove(std::string_view text);

    u64 byType[6] {};
    u64 byColour[2] {};
    std::array<std::uint8_t, 64> squares {};
    int side = White;
    int castling = 0;
    int ep = -1; // square passed over by a double push, or -1
    int halfmove = 0;
    u64 key = 0;

    u64 ComputeKey() const;

private:
    template <bool Keyed> void Apply(Move m);
    // Moves of the knights, bishops, rooks, queens and king, in that order, to allowed squares.
    void AddPieceMoves(MoveList& list, int colour, u64 occupied, u64 allowed) const;
    struct Undo {
        u64 key;
        Move move;
        std::uint8_t captured;
        std::int8_t ep;
        std::uint8_t castling;
        int halfmove;
    };
    // Writes the history entry of a move (or a null move) about to be made.
    Undo& Record(Move m)
    {
        Undo& u = undo_[static_cast<std::size_t>(historyLength)];
        keys_[static_cast<std::size_t>(historyLength)] = key;
        u = { key, m, NoPiece, static_cast<std::int8_t>(ep), static_cast<std::uint8_t>(castling), halfmove };
        ++historyLength;
        return u;
    }
    // Piece moves without the key: make and unmake keep the key themselves.
    void Place(int piece, int sq)
    {
        squares[static_cast<std::size_t>(sq)] = static_cast<std::uint8_t>(piece);
        byType[TypeOf(piece)] |= Bit(sq);
        byColour[ColourOf(piece)] |= Bit(sq);
    }
    void Lift(int sq)
    {
        const int piece = squares[static_cast<std::size_t>(sq)];
        squares[static_cast<std::size_t>(sq)] = NoPiece;
        byType[TypeOf(piece)] ^= Bit(sq);
        byColour[ColourOf(piece)] ^= Bit(sq);
    }
    void Slide(int piece, int from, int to)
    {
        const u64 both = Bit(from) | Bit(to);
        byType[TypeOf(piece)] ^= both;
        byColour[ColourOf(piece)] ^= both;
        squares[static_cast<std::size_t>(from)] = NoPiece;
        squares[static_cast<std::size_t>(to)] = static_cast<std::uint8_t>(piece);
    }
    void Put(int piece, int sq); // with the key
    // Empties the board and its history; the history's records are left to be overwritten.
    void Clear();

    std::array<Undo, MaxHistory> undo_ {};
    std::array<u64, MaxHistory> keys_ {}; // key of each position before the move of that entry
    int historyLength = 0;
};

// Make and unmake stand here so that perft and the search have them inline.
template <bool Keyed> inline void FastPosition::Apply(Move m)
{
    const AttackTables& t = Tables();
    const auto& zobrist = t.zobristPiece;
    const int from = From(m), to = To(m), kind = Kind(m);
    const int piece = squares[static_cast<std::size_t>(from)];
    const int us = side;
    Undo& u = Record(m);

    if (Keyed && ep >= 0) key ^= t.zobristEp[FileOf(ep)];
    ep = -1;
    ++halfmove;
    const int victim = kind == MoveKind::EnPassant ? to + (us == White ? -8 : 8) : to;
    if (const int captured = squares[static_cast<std::size_t>(victim)]; captured != NoPiece) {
        u.captured = static_cast<std::uint8_t>(captured);
        Lift(victim);
        if constexpr (Keyed) key ^= zobrist[captured][victim];
        halfmove = 0;
    }
    Slide(piece, from, to);
    if constexpr (Keyed) key ^= zobrist[piece][from] ^ zobrist[piece][to];
    if (TypeOf(piece) == Pawn) {
        halfmove = 0;
        if (kind == MoveKind::DoublePush) {
            const int passed = (from + to) / 2;
            if (t.pawn[us][passed] & Pieces(us ^ 1, Pawn)) {
                ep = passed;
                if constexpr (Keyed) key ^= t.zobristEp[FileOf(ep)];
            }
        } else if (IsPromotion(m)) {
            const int promoted = MakePiece(us, PromotionType(m));
            Lift(to);
            Place(promoted, to);
            if constexpr (Keyed) key ^= zobrist[piece][to] ^ zobrist[promoted][to];
        }
    } else if (kind == MoveKind::Castle) {
        const bool kingSide = to > from;
        const int rookFrom = kingSide ? to + 1 : to - 2, rookTo = kingSide ? to - 1 : to + 1;
        const int rook = squares[static_cast<std::size_t>(rookFrom)];
        Slide(rook, rookFrom, rookTo);
        if constexpr (Keyed) key ^= zobrist[rook][rookFrom] ^ zobrist[rook][rookTo];
    }
    const int rights = castling & CastlingKept(from) & CastlingKept(to);
    if (rights != castling) {
        if constexpr (Keyed) key ^= t.zobristCastle[castling] ^ t.zobristCastle[rights];
        castling = rights;
    }
    side ^= 1;
    if constexpr (Keyed) key ^= t.zobristSide;
}

// The key comes back from the record, so the pieces move back without it.
inline void FastPosition::Unmake()
{
    --historyLength;
    const Undo& u = undo_[static_cast<std::size_t>(historyLength)];
    const Move m = u.move;
    side ^= 1;
    const int from = From(m), to = To(m), kind = Kind(m);
    if (IsPromotion(m)) {
        Lift(to);
        Place(MakePiece(side, Pawn), to);
    }
    Slide(squares[static_cast<std::size_t>(to)], to, from);
    if (kind == MoveKind::Castle) {
        const bool kingSide = to > from;
        const int rookAt = kingSide ? to - 1 : to + 1, rookHome = kingSide ? to + 1 : to - 2;
        Slide(squares[static_cast<std::size_t>(rookAt)], rookAt, rookHome);
    }
    if (u.captured != NoPiece)
        Place(u.captured, kind == MoveKind::EnPassant ? to + (side == White ? -8 : 8) : to);
    ep = u.ep;
    castling = u.castling;
    halfmove = u.halfmove;
    key = u.key;
}

} // namespace drnChess::fast
