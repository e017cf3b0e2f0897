// The fast position's pseudo-legal generators (captures and promotions apart from the rest, as
// the search takes them), its legality and check tests for single moves, and its move text.

#include "rules/fastposition.h"

#include <cctype>

namespace drnChess::fast {

namespace {

    void AddPromotions(MoveList& list, int from, int to, bool underPromotions)
    {
        list.Add(MakeMove(from, to, MoveKind::Promotion + 3));
        if (!underPromotions) return;
        for (int k = 0; k < 3; ++k)
            list.Add(MakeMove(from, to, MoveKind::Promotion + k));
    }

} // namespace

bool FastPosition::GivesCheck(Move m)
{
    const int from = From(m), to = To(m), us = side;
    if (Kind(m) == MoveKind::Castle || Kind(m) == MoveKind::EnPassant || IsPromotion(m)) {
        if (!Make(m)) return false;
        const bool check = InCheck();
        Unmake();
        return check;
    }
    const AttackTables& t = Tables();
    const int king = KingSquare(us ^ 1);
    const u64 occupied = (Occupied() ^ Bit(from)) | Bit(to);
    u64 reach = 0;
    switch (TypeOf(squares[static_cast<std::size_t>(from)])) {
    case Pawn:
        reach = t.pawn[us][to];
        break;
    case Knight:
        reach = t.knight[to];
        break;
    case Bishop:
        reach = BishopAttacks(to, occupied);
        break;
    case Rook:
        reach = RookAttacks(to, occupied);
        break;
    case Queen:
        reach = QueenAttacks(to, occupied);
        break;
    default:
        break;
    }
    if (reach & Bit(king)) return true;
    // A slider behind the piece that left its line to the king.
    const u64 ours = byColour[us] & ~Bit(from);
    return (BishopAttacks(king, occupied) & ours & (byType[Bishop] | byType[Queen]))
        || (RookAttacks(king, occupied) & ours & (byType[Rook] | byType[Queen]));
}

namespace {

    // The squares a piece other than a pawn reaches from the square.
    u64 Reach(int type, int from, u64 occupied)
    {
        const AttackTables& t = Tables();
        return type == Knight ? t.knight[from]
            : type == Bishop  ? BishopAttacks(from, occupied)
            : type == Rook    ? RookAttacks(from, occupied)
            : type == Queen   ? QueenAttacks(from, occupied)
                              : t.king[from];
    }

} // namespace

void FastPosition::AddPieceMoves(MoveList& list, int colour, u64 occupied, u64 allowed) const
{
    for (int type = Knight; type <= King; ++type)
        for (u64 pieces = Pieces(colour, type); pieces;) {
            const int from = PopLsb(pieces);
            for (u64 targets = Reach(type, from, occupied) & allowed; targets;)
                list.Add(MakeMove(from, PopLsb(targets)));
        }
}

void FastPosition::GenerateNoisy(MoveList& list) const
{
    const AttackTables& t = Tables();
    const int us = side, them = side ^ 1;
    const u64 occupied = Occupied(), enemies = byColour[them];
    const u64 lastRank = us == White ? Rank1Bits << 56 : Rank1Bits;
    const int up = us == White ? 8 : -8;

    for (u64 pawns = Pieces(us, Pawn); pawns;) {
        const int from = PopLsb(pawns);
        for (u64 targets = t.pawn[us][from] & enemies; targets;) {
            const int to = PopLsb(targets);
            if (Bit(to) & lastRank)
                AddPromotions(list, from, to, true);
            else
                list.Add(MakeMove(from, to));
        }
        const int push = from + up;
        if ((Bit(push) & lastRank) && !(occupied & Bit(push))) AddPromotions(list, from, push, true);
        if (ep >= 0 && (t.pawn[us][from] & Bit(ep))) list.Add(MakeMove(from, ep, MoveKind::EnPassant));
    }
    AddPieceMoves(list, side, occupied, enemies);
}

void FastPosition::GenerateQuiet(MoveList& list) const
{
    const int us = side;
    const u64 occupied = Occupied(), empty = ~occupied;
    const u64 lastRank = us == White ? Rank1Bits << 56 : Rank1Bits;
    const u64 startRank = us == White ? Rank1Bits << 8 : Rank1Bits << 48;
    const int up = us == White ? 8 : -8;

    for (u64 pawns = Pieces(us, Pawn); pawns;) {
        const int from = PopLsb(pawns);
        const int push = from + up;
        if ((Bit(push) & empty) && !(Bit(push) & lastRank)) {
            list.Add(MakeMove(from, push));
            if ((Bit(from) & startRank) && (Bit(push + up) & empty))
                list.Add(MakeMove(from, push + up, MoveKind::DoublePush));
        }
    }
    AddPieceMoves(list, side, occupied, empty);
    // Castling: rights, empty squares between, king not in check and not passing an attacked square.
    const int home = us == White ? 4 : 60;
    const int shortRight = us == White ? WhiteShort : BlackShort;
    const int longRight = us == White ? WhiteLong : BlackLong;
    if ((castling & (shortRight | longRight)) && !Attacked(home, us ^ 1)) {
        if ((castling & shortRight) && !(occupied & (Bit(home + 1) | Bit(home + 2)))
            && !Attacked(home + 1, us ^ 1) && !Attacked(home + 2, us ^ 1))
            list.Add(MakeMove(home, home + 2, MoveKind::Castle));
        if ((castling & longRight) && !(occupied & (Bit(home - 1) | Bit(home - 2) | Bit(home - 3)))
            && !Attacked(home - 1, us ^ 1) && !Attacked(home - 2, us ^ 1))
            list.Add(MakeMove(home, home - 2, MoveKind::Castle));
    }
}

void FastPosition::GenerateLegal(MoveList& list)
{
    MoveList all;
    GenerateNoisy(all);
    GenerateQuiet(all);
    list.count = 0;
    for (int i = 0; i < all.count; ++i) {
        const Move m = all.moves[static_cast<std::size_t>(i)];
        if (Make(m)) {
            Unmake();
            list.Add(m);
        }
    }
}

bool FastPosition::IsPseudoLegal(Move m) const
{
    if (m == NoMove) return false;
    const int from = From(m), to = To(m);
    const int piece = squares[static_cast<std::size_t>(from)];
    if (piece == NoPiece || ColourOf(piece) != side) return false;
    if (squares[static_cast<std::size_t>(to)] != NoPiece
        && ColourOf(squares[static_cast<std::size_t>(to)]) == side)
        return false;
    const int type = TypeOf(piece);
    if (Kind(m) == MoveKind::Quiet && type != Pawn) {
        return (Reach(type, from, Occupied()) & Bit(to)) != 0;
    }
    // Pawn and special moves: generate and look, simple and always right.
    MoveList list;
    if (IsCapture(m) || IsPromotion(m))
        GenerateNoisy(list);
    else
        GenerateQuiet(list);
    for (int i = 0; i < list.count; ++i)
        if (list.moves[static_cast<std::size_t>(i)] == m) return true;
    return false;
}

std::string FastPosition::MoveText(Move m)
{
    if (m == NoMove) return "0000";
    std::string text;
    text += static_cast<char>('a' + FileOf(From(m)));
    text += static_cast<char>('1' + RankOf(From(m)));
    text += static_cast<char>('a' + FileOf(To(m)));
    text += static_cast<char>('1' + RankOf(To(m)));
    if (IsPromotion(m)) text += "nbrq"[PromotionType(m) - Knight];
    return text;
}

Move FastPosition::ParseMove(std::string_view text)
{
    MoveList list;
    GenerateLegal(list);
    for (int i = 0; i < list.count; ++i) {
        const Move m = list.moves[static_cast<std::size_t>(i)];
        const std::string t = MoveText(m);
        if (text.substr(0, 4) != std::string_view(t).substr(0, 4)) continue;
        const char promo = text.size() > 4 ? static_cast<char>(std::tolower(
                               static_cast<unsigned char>(text[text.size() > 5 && text[4] == '=' ? 5 : 4])))
                                           : 0;
        if (IsPromotion(m) ? promo == t[4] : true) return m;
    }
    return NoMove;
}

} // namespace drnChess::fast
