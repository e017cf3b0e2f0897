#include "rules/movereader.h"

#include <bit>

#include "rules/attacks.h"
#include "rules/bits.h"
#include "rules/clschesscore.h"

namespace drnChess {

namespace {

    bool IsFile(char c)
    {
        return c >= 'a' && c <= 'h';
    }
    bool IsRank(char c)
    {
        return c >= '1' && c <= '8';
    }
    bool IsBlank(char c)
    {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    }
    bool IsPieceLetter(char c)
    {
        return c == 'P' || c == 'N' || c == 'B' || c == 'R' || c == 'Q' || c == 'K';
    }
    int PieceOfLetter(char c)
    {
        for (int kind = Pawn; kind <= King; ++kind)
            if (PieceLetters[kind] == c) return kind;
        return NoPiece;
    }
    int SquareIndexOf(char file, char rank)
    {
        return 8 * (rank - '1') + (7 - (file - 'a'));
    }

    // Castling written with O, o or 0: 1 king side, 2 queen side, 0 when the text is none.
    int CastlingSide(std::string_view t)
    {
        int zeros = 0;
        for (std::size_t i = 0; i < t.size(); ++i) {
            const char c = t[i];
            const bool letter = c == '0' || c == 'O' || c == 'o';
            if (i % 2 == 0 ? !letter : c != '-') return 0;
            zeros += letter;
        }
        if (t.size() == 3 && zeros == 2) return 1;
        if (t.size() == 5 && zeros == 3) return 2;
        return 0;
    }

    // What a SAN or long-form text asks for: the piece (NoPiece = not said), the target square,
    // the parts of the origin that were given, the promotion.
    struct MoveRequest {
        int castling = 0; // 1 king side, 2 queen side
        int piece = NoPiece;
        int target = -1;
        int fromFile = -1; // 0..7 for a..h
        int fromRank = -1; // 0..7 for 1..8
        int promotion = NoPiece;
        bool valid = false;
    };

    MoveRequest ParseMoveRequest(std::string_view text)
    {
        MoveRequest r;
        char s[32];
        std::size_t n = 0;
        for (char c : text) {
            if (c == '+' || c == '#' || c == '!' || c == '?' || IsBlank(c)) continue;
            if (n == sizeof s) return r; // longer than any move text
            s[n++] = c;
        }
        if (n == 0) return r;
        if ((r.castling = CastlingSide(std::string_view(s, n))) != 0) {
            r.valid = true;
            return r;
        }
        std::size_t i = 0;
        if (IsPieceLetter(s[0])) {
            r.piece = PieceOfLetter(s[0]);
            i = 1;
        }
        // The squares: the last file-rank pair is the target, an earlier one (or a lone file or
        // rank) the origin. Capture marks and a captured piece letter of the long form fall away.
        int squares[2];
        int squareCount = 0;
        int file = -1;
        int rank = -1;
        int fileCount = 0;
        int rankCount = 0;
        for (; i < n; ++i) {
            const char c = s[i];
            if (c == '=') {
                if (i + 1 < n) r.promotion = PromotionKindOf(s[i + 1]);
                if (r.promotion == NoPiece) return r;
                ++i;
                continue;
            }
            if (IsFile(c) && i + 1 < n && IsRank(s[i + 1])) {
                if (squareCount == 2) return r;
                squares[squareCount++] = SquareIndexOf(c, s[i + 1]);
                ++i;
                continue;
            }
            if (IsFile(c)) {
                if (squareCount > 0) { // a letter after the target: a promotion without "="
                    if ((r.promotion = PromotionKindOf(c)) == NoPiece) return r;
                    continue;
                }
                file = c - 'a';
                ++fileCount;
                continue;
            }
            if (IsRank(c)) {
                rank = c - '1';
                ++rankCount;
                continue;
            }
            if (c == 'x' || c == '-' || c == ':') continue;
            if (IsPieceLetter(c) && i > 0 && (s[i - 1] == 'x' || s[i - 1] == '-' || s[i - 1] == ':'))
                continue; // the captured piece of the long form: Ng1xPf3
            if (squareCount > 0 && PromotionKindOf(c) != NoPiece) { // e8Q
                r.promotion = PromotionKindOf(c);
                continue;
            }
            return r;
        }
        if (squareCount == 0 || fileCount > 1 || rankCount > 1) return r;
        r.target = squares[squareCount - 1];
        if (squareCount == 2) {
            if (fileCount > 0 || rankCount > 0) return r;
            r.fromFile = 7 - squares[0] % 8;
            r.fromRank = squares[0] / 8;
        } else {
            r.fromFile = file;
            r.fromRank = rank;
        }
        // Without a piece letter it is a pawn move, unless the whole origin square is given.
        if (r.piece == NoPiece && (r.fromFile < 0 || r.fromRank < 0)) r.piece = Pawn;
        r.valid = true;
        return r;
    }

    bool Matches(const MoveRequest& r, const clsMove& m)
    {
        const int to = std::countr_zero(m.to);
        const int from = std::countr_zero(m.from);
        if (r.castling != 0) {
            if (!m.Has(MoveFlag::Castling)) return false;
            const int file = 7 - to % 8;
            return r.castling == 1 ? file == 6 : file == 2;
        }
        if (to != r.target) return false;
        if (r.piece != NoPiece && m.Moving() != r.piece) return false;
        if (r.fromFile >= 0 && 7 - from % 8 != r.fromFile) return false;
        if (r.fromRank >= 0 && from / 8 != r.fromRank) return false;
        // A promotion without a piece named is the queen's, as the generator lists it first.
        const int promotion = m.Promotion();
        if (r.promotion != NoPiece) return promotion == r.promotion;
        return promotion == NoPiece || promotion == Queen;
    }

    // The root, current, with the pseudo-legal moves of the position in its list.
    void GenerateRootMoves(clsChessCore& core)
    {
        // The node stack keeps its slots (the search's rank masks stay as they were).
        core.current = core.Root();
        core.PrepareRoot();
        core.GenerateMoves(-1);
    }

    // The generator's record of a move that is neither castling nor en passant: flags, the
    // value of what it captures (and gains by promoting), no order, no extra squares.
    clsMove MoveRecord(const clsBoard& b, int kind, u64 from, u64 to, int promotion, bool doublePush)
    {
        std::uint32_t flags = static_cast<std::uint32_t>(kind);
        int value = 0;
        if (to & b.other()) {
            int captured = Pawn; // tested in the generator's order: pawn .. queen, else king
            while (captured < King && !(b.bb[captured] & to))
                ++captured;
            flags |= static_cast<std::uint32_t>(captured) << 4;
            value = PieceValue[captured];
        }
        if (promotion != NoPiece) {
            flags |= static_cast<std::uint32_t>(promotion) << 8;
            value += PieceValue[promotion] - PieceValue[Pawn];
        }
        if (doublePush) flags |= MoveFlag::DoublePush;
        clsMove m {};
        m.flags = flags;
        m.value = static_cast<std::int16_t>(value);
        m.from = from;
        m.to = to;
        return m;
    }

    // Squares from which a slider of the given ray directions reaches the target.
    u64 SliderOrigins(int target, u64 occupied, int firstDirection)
    {
        u64 reach = 0;
        for (int d = firstDirection; d < firstDirection + 4; ++d)
            reach |= RayUpToBlocker(d, target, occupied);
        return reach;
    }

    // The origins of the pieces of the request's kind that can move to its target by an ordinary
    // move (no castling, no en passant), and whether a pawn gets there by a double push.
    // Nothing for a request this reader leaves to ReadMove.
    u64 Origins(const MoveRequest& r, const clsBoard& b, bool* doublePush)
    {
        const int t = r.target;
        const u64 to = u64 { 1 } << t;
        const u64 own = b.own();
        if (to & own) return 0;
        const bool white = b.side == White;
        const u64 lastRank = white ? Rank8 : Rank1;
        if (r.piece != Pawn && r.promotion != NoPiece) return 0;
        switch (r.piece) {
        case Pawn: {
            if (r.promotion != NoPiece && !(to & lastRank)) return 0; // no move matches
            const u64 pawns = own & b.pawns();
            if (to & b.other()) return PawnAttacks[white ? Black : White][t] & pawns;
            if (b.epSquare() & to) return 0; // en passant is ReadMove's
            const u64 behind = white ? to >> 8 : to << 8;
            if (behind & pawns) return behind;
            const u64 twoBehind = white ? to >> 16 : to << 16;
            const u64 doubleRank = white ? Rank4 : Rank5;
            if ((to & doubleRank) && !(behind & b.occupied()) && (twoBehind & pawns)) {
                *doublePush = true;
                return twoBehind;
            }
            return 0;
        }
        case Knight:
            return KnightAttacks[t] & own & b.knights();
        case Bishop:
            return SliderOrigins(t, b.occupied(), NorthEast) & own & b.bishops();
        case Rook:
            return SliderOrigins(t, b.occupied(), North) & own & b.rooks();
        case Queen:
            return (SliderOrigins(t, b.occupied(), North) | SliderOrigins(t, b.occupied(), NorthEast)) & own
                & b.queens();
        case King:
            return KingAttacks[t] & own & b.kings();
        default:
            return 0;
        }
    }

    // The generator's castling move of the request's side, when its squares and rook allow it
    // (king and rook on their homes with their rights kept, the squares between them empty, the
    // king's square and the one it crosses not attacked); whether the king lands attacked is left
    // to the legality test. Nothing otherwise.
    std::optional<clsMove> CastlingMove(const clsChessCore& core, int castling)
    {
        const clsBoard& b = core.board;
        const int shift = b.side == White ? 0 : 56;
        const u64 e = u64 { 0x08 } << shift;
        const bool kingSide = castling == 1;
        const u64 corner = (kingSide ? u64 { 0x01 } : u64 { 0x80 }) << shift;
        const u64 crossed = (kingSide ? u64 { 0x04 } : u64 { 0x10 }) << shift; // f or d
        const u64 target = (kingSide ? u64 { 0x02 } : u64 { 0x20 }) << shift; // g or c
        const u64 between = (kingSide ? u64 { 0x06 } : u64 { 0x70 }) << shift;
        if (!(b.own() & b.kings() & e) || !(b.castle() & e)) return std::nullopt;
        if (!(b.own() & b.rooks() & b.castle() & corner)) return std::nullopt;
        if (b.occupied() & between) return std::nullopt;
        if (core.IsAttacked(e) || core.IsAttacked(crossed)) return std::nullopt;
        clsMove m {};
        m.flags = King | MoveFlag::Castling;
        m.from = e;
        m.to = target;
        m.extra = corner | crossed;
        return m;
    }

    std::optional<clsMove> FindCoordinateMove(clsChessCore& core, std::string_view text)
    {
        u64 from = 0;
        u64 to = 0;
        int promotion = 0;
        if (!ParseCoordinateMove(text, &from, &to, &promotion)) return std::nullopt;
        clsSimpleNode* root = core.Root();
        for (clsMove* m = root->firstMove; m < clsChessCore::Next(root)->firstMove; ++m)
            if (m->from == from && m->to == to && m->Promotion() == promotion && core.IsLegalMove(*m))
                return *m;
        return std::nullopt;
    }

} // namespace

std::optional<clsMove> ReadPgnMove(clsChessCore& core, std::string_view text)
{
    if (ParseCoordinateMove(text, nullptr, nullptr, nullptr)) return ReadMove(core, text);
    const MoveRequest r = ParseMoveRequest(text);
    if (!r.valid) return std::nullopt; // what ReadMove answers too
    if (r.castling != 0) {
        const std::optional<clsMove> castling = CastlingMove(core, r.castling);
        if (castling && core.IsLegalMove(*castling)) return castling;
        return ReadMove(core, text);
    }
    if (r.piece == NoPiece) return ReadMove(core, text);

    const clsBoard& b = core.board;
    bool doublePush = false;
    u64 origins = Origins(r, b, &doublePush);
    const u64 to = u64 { 1 } << r.target;
    // A pawn reaching the last rank without a piece named promotes to a queen, as in ReadMove.
    const bool promotes = r.piece == Pawn && (to & (b.side == White ? Rank8 : Rank1));
    const int promotion = promotes ? (r.promotion != NoPiece ? r.promotion : Queen) : NoPiece;
    std::optional<clsMove> found;
    int legal = 0;
    for (; origins; origins &= origins - 1) {
        const u64 from = LowestBit(origins);
        const int f = SquareIndex(from);
        if (r.fromFile >= 0 && 7 - f % 8 != r.fromFile) continue;
        if (r.fromRank >= 0 && f / 8 != r.fromRank) continue;
        const clsMove m = MoveRecord(b, r.piece, from, to, promotion, doublePush);
        if (!core.IsLegalMove(m)) continue;
        found = m;
        ++legal;
    }
    // One legal move is the one ReadMove finds, whatever the list order; none or several (an
    // ambiguous text, where the first in list order wins) are left to ReadMove.
    if (legal == 1) return found;
    return ReadMove(core, text);
}

std::optional<clsMove> ReadCoordinateMove(clsChessCore& core, std::string_view text)
{
    if (!ParseCoordinateMove(text, nullptr, nullptr, nullptr)) return std::nullopt;
    GenerateRootMoves(core);
    return FindCoordinateMove(core, text);
}

std::optional<clsMove> ReadMove(clsChessCore& core, std::string_view text)
{
    GenerateRootMoves(core);
    if (auto move = FindCoordinateMove(core, text)) return move;
    const MoveRequest r = ParseMoveRequest(text);
    if (!r.valid) return std::nullopt;
    clsSimpleNode* root = core.Root();
    // Legality is tested only for the moves that match; the first legal one in list order wins.
    for (clsMove* m = root->firstMove; m < clsChessCore::Next(root)->firstMove; ++m)
        if (Matches(r, *m) && core.IsLegalMove(*m)) return *m;
    return std::nullopt;
}

} // namespace drnChess
