// The fast position: tables, FEN, make/unmake and attack tests.

#include "rules/fastposition.h"

#include "rules/clsboard.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace drnChess::fast {

namespace {

    // Direction steps (file, rank) in the order of AttackTables::ray.
    constexpr int Steps[8][2]
        = { { 0, 1 }, { 0, -1 }, { 1, 0 }, { -1, 0 }, { 1, 1 }, { -1, 1 }, { 1, -1 }, { -1, -1 } };

    u64 SplitMix(u64& state)
    {
        u64 z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    u64 Jump(int sq, int df, int dr)
    {
        const int f = FileOf(sq) + df, r = RankOf(sq) + dr;
        return (f >= 0 && f < 8 && r >= 0 && r < 8) ? Bit(8 * r + f) : 0;
    }

} // namespace

AttackTables BuildAttackTables()
{
    AttackTables t {};
    for (int sq = 0; sq < 64; ++sq) {
        constexpr int knight[8][2]
            = { { 1, 2 }, { 2, 1 }, { 2, -1 }, { 1, -2 }, { -1, -2 }, { -2, -1 }, { -2, 1 }, { -1, 2 } };
        for (const auto& j : knight)
            t.knight[sq] |= Jump(sq, j[0], j[1]);
        for (int df = -1; df <= 1; ++df)
            for (int dr = -1; dr <= 1; ++dr)
                if (df || dr) t.king[sq] |= Jump(sq, df, dr);
        t.pawn[White][sq] = Jump(sq, -1, 1) | Jump(sq, 1, 1);
        t.pawn[Black][sq] = Jump(sq, -1, -1) | Jump(sq, 1, -1);
        for (int d = 0; d < 8; ++d) {
            int f = FileOf(sq) + Steps[d][0], r = RankOf(sq) + Steps[d][1];
            while (f >= 0 && f < 8 && r >= 0 && r < 8) {
                t.ray[d][sq] |= Bit(8 * r + f);
                f += Steps[d][0];
                r += Steps[d][1];
            }
        }
    }
    for (int a = 0; a < 64; ++a)
        for (int d = 0; d < 8; ++d)
            for (u64 b = t.ray[d][a]; b; b &= b - 1) {
                const int s = Lsb(b);
                t.between[a][s] = t.ray[d][a] & ~t.ray[d][s] & ~Bit(s);
            }
    u64 state = 0x2545F4914F6CDD1DULL; // fixed: the keys are the same in every run
    for (auto& piece : t.zobristPiece)
        for (u64& k : piece)
            k = SplitMix(state);
    for (int i = 1; i < 16; ++i) // rights 0 have key 0
        t.zobristCastle[i] = SplitMix(state);
    for (u64& k : t.zobristEp)
        k = SplitMix(state);
    t.zobristSide = SplitMix(state);
    std::copy(std::begin(Sliders().rook), std::end(Sliders().rook), t.rook);
    std::copy(std::begin(Sliders().bishop), std::end(Sliders().bishop), t.bishop);
    return t;
}

namespace {

    int PieceFromLetter(char c)
    {
        const char* letters = "pnbrqk";
        for (int type = 0; type < 6; ++type)
            if (std::tolower(static_cast<unsigned char>(c)) == letters[type])
                return MakePiece(std::isupper(static_cast<unsigned char>(c)) ? White : Black, type);
        return NoPiece;
    }
} // namespace

FastPosition::FastPosition()
{
    squares.fill(NoPiece);
}

void FastPosition::Clear()
{
    std::fill(std::begin(byType), std::end(byType), u64 { 0 });
    byColour[White] = byColour[Black] = 0;
    squares.fill(NoPiece);
    side = White;
    castling = 0;
    ep = -1;
    halfmove = 0;
    key = 0;
    historyLength = 0;
}

void FastPosition::Put(int piece, int sq)
{
    Place(piece, sq);
    key ^= Tables().zobristPiece[piece][sq];
}

u64 FastPosition::ComputeKey() const
{
    const AttackTables& t = Tables();
    u64 k = 0;
    for (int sq = 0; sq < 64; ++sq)
        if (squares[static_cast<std::size_t>(sq)] != NoPiece)
            k ^= t.zobristPiece[squares[static_cast<std::size_t>(sq)]][sq];
    k ^= t.zobristCastle[castling];
    if (ep >= 0) k ^= t.zobristEp[FileOf(ep)];
    if (side == Black) k ^= t.zobristSide;
    return k;
}

bool FastPosition::SetFromFEN(std::string_view fen)
{
    *this = FastPosition();
    std::size_t i = 0;
    int rank = 7, file = 0;
    for (; i < fen.size() && fen[i] != ' '; ++i) {
        const char c = fen[i];
        if (c == '/') {
            --rank;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
        } else {
            const int piece = PieceFromLetter(c);
            if (piece == NoPiece || rank < 0 || file > 7) return (*this = FastPosition(), false);
            Put(piece, 8 * rank + file++);
        }
    }
    auto field = [&]() {
        while (i < fen.size() && fen[i] == ' ')
            ++i;
        const std::size_t start = i;
        while (i < fen.size() && fen[i] != ' ')
            ++i;
        return fen.substr(start, i - start);
    };
    const std::string_view sideText = field(), castleText = field(), epText = field(), halfText = field();
    side = sideText == "b" ? Black : White;
    for (char c : castleText) {
        if (c == 'K') castling |= WhiteShort;
        if (c == 'Q') castling |= WhiteLong;
        if (c == 'k') castling |= BlackShort;
        if (c == 'q') castling |= BlackLong;
    }
    // Rights without king and rook at home are dropped.
    auto at = [&](int sq, int piece) { return squares[static_cast<std::size_t>(sq)] == piece; };
    if (!at(4, MakePiece(White, King)) || !at(7, MakePiece(White, Rook))) castling &= ~WhiteShort;
    if (!at(4, MakePiece(White, King)) || !at(0, MakePiece(White, Rook))) castling &= ~WhiteLong;
    if (!at(60, MakePiece(Black, King)) || !at(63, MakePiece(Black, Rook))) castling &= ~BlackShort;
    if (!at(60, MakePiece(Black, King)) || !at(56, MakePiece(Black, Rook))) castling &= ~BlackLong;
    if (epText.size() >= 2 && epText[0] >= 'a' && epText[0] <= 'h' && epText[1] >= '1' && epText[1] <= '8') {
        const int sq = 8 * (epText[1] - '1') + (epText[0] - 'a');
        // Kept only when a pawn of the side to move can take there.
        if (Tables().pawn[side ^ 1][sq] & Pieces(side, Pawn)) ep = sq;
    }
    halfmove = 0;
    for (char c : halfText)
        if (c >= '0' && c <= '9') halfmove = halfmove * 10 + (c - '0');
    if (Count(Pieces(White, King)) != 1 || Count(Pieces(Black, King)) != 1)
        return (*this = FastPosition(), false);
    // The side that just moved may not have left its king attacked.
    if (Attacked(KingSquare(side ^ 1), side)) return (*this = FastPosition(), false);
    key = ComputeKey();
    return true;
}

std::string FastPosition::FEN() const
{
    std::string text;
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const int piece = squares[static_cast<std::size_t>(8 * rank + file)];
            if (piece == NoPiece) {
                ++empty;
                continue;
            }
            if (empty) text += static_cast<char>('0' + empty);
            empty = 0;
            const char letter = "pnbrqk"[TypeOf(piece)];
            text += ColourOf(piece) == White ? static_cast<char>(std::toupper(letter)) : letter;
        }
        if (empty) text += static_cast<char>('0' + empty);
        if (rank) text += '/';
    }
    text += side == White ? " w " : " b ";
    if (!castling) text += '-';
    if (castling & WhiteShort) text += 'K';
    if (castling & WhiteLong) text += 'Q';
    if (castling & BlackShort) text += 'k';
    if (castling & BlackLong) text += 'q';
    text += ' ';
    if (ep < 0) {
        text += '-';
    } else {
        text += static_cast<char>('a' + FileOf(ep));
        text += static_cast<char>('1' + RankOf(ep));
    }
    return text;
}

bool FastPosition::SetFromBoard(const clsBoard& board)
{
    Clear();
    // The classic board counts files from h: its bit i is this board's square i ^ 7.
    const u64 pieces[6]
        = { board.pawns(), board.knights(), board.bishops(), board.rooks(), board.queens(), board.kings() };
    for (int type = Pawn; type <= King; ++type)
        for (u64 b = pieces[type]; b;) {
            const int sq = PopLsb(b) ^ 7;
            Put(MakePiece((board.white() & Bit(sq ^ 7)) ? White : Black, type), sq);
        }
    side = board.side;
    if (Count(Pieces(White, King)) != 1 || Count(Pieces(Black, King)) != 1
        || (byType[Pawn] & (Rank1Bits | Rank1Bits << 56)) || Attacked(KingSquare(side ^ 1), side))
        return (Clear(), false);

    // Castling rights are kept there as the squares of the king and the rook.
    const auto home = [&](int sq, int piece) {
        return (board.castle() & Bit(sq ^ 7)) && squares[static_cast<std::size_t>(sq)] == piece;
    };
    const int whiteKing = MakePiece(White, King), whiteRook = MakePiece(White, Rook);
    const int blackKing = MakePiece(Black, King), blackRook = MakePiece(Black, Rook);
    if (home(4, whiteKing) && home(7, whiteRook)) castling |= WhiteShort;
    if (home(4, whiteKing) && home(0, whiteRook)) castling |= WhiteLong;
    if (home(60, blackKing) && home(63, blackRook)) castling |= BlackShort;
    if (home(60, blackKing) && home(56, blackRook)) castling |= BlackLong;

    // En passant only with the pawn that passed still beyond the square and a pawn to take it.
    const u64 epBit = board.epSquare();
    if (epBit && !(epBit & (epBit - 1))) {
        const int sq = Lsb(epBit) ^ 7;
        const int victim = sq + (side == White ? -8 : 8);
        if (victim >= 0 && victim < 64
            && squares[static_cast<std::size_t>(victim)] == MakePiece(side ^ 1, Pawn)
            && (Tables().pawn[side ^ 1][sq] & Pieces(side, Pawn)))
            ep = sq;
    }
    key = ComputeKey();
    return true;
}

u64 FastPosition::AttackersTo(int sq, u64 occupied) const
{
    const AttackTables& t = Tables();
    const u64 diagonal = byType[Bishop] | byType[Queen];
    const u64 straight = byType[Rook] | byType[Queen];
    return (t.pawn[Black][sq] & Pieces(White, Pawn)) | (t.pawn[White][sq] & Pieces(Black, Pawn))
        | (t.knight[sq] & byType[Knight]) | (t.king[sq] & byType[King])
        | (BishopAttacks(sq, occupied) & diagonal) | (RookAttacks(sq, occupied) & straight);
}

bool FastPosition::Attacked(int sq, int byColour_) const
{
    const AttackTables& t = Tables();
    const u64 them = byColour[byColour_];
    if (t.pawn[byColour_ ^ 1][sq] & them & byType[Pawn]) return true;
    if (t.knight[sq] & them & byType[Knight]) return true;
    if (t.king[sq] & them & byType[King]) return true;
    const u64 occupied = Occupied();
    if (BishopAttacks(sq, occupied) & them & (byType[Bishop] | byType[Queen])) return true;
    return (RookAttacks(sq, occupied) & them & (byType[Rook] | byType[Queen])) != 0;
}

bool FastPosition::Make(Move m)
{
    Play(m);
    if (Attacked(KingSquare(side ^ 1), side)) {
        Unmake();
        return false;
    }
    return true;
}

void FastPosition::MakeNull()
{
    Record(NoMove);
    if (ep >= 0) key ^= Tables().zobristEp[FileOf(ep)];
    ep = -1;
    ++halfmove;
    side ^= 1;
    key ^= Tables().zobristSide;
}

void FastPosition::UnmakeNull()
{
    --historyLength;
    const Undo& u = undo_[static_cast<std::size_t>(historyLength)];
    side ^= 1;
    ep = u.ep;
    halfmove = u.halfmove;
    key = u.key;
}

bool FastPosition::IsRepetitionOrFifty() const
{
    if (halfmove >= 100) return true;
    const int oldest = historyLength - halfmove < 0 ? 0 : historyLength - halfmove;
    for (int i = historyLength - 2; i >= oldest; i -= 2)
        if (keys_[static_cast<std::size_t>(i)] == key) return true;
    return false;
}

void FastPosition::ClearHistory()
{
    historyLength = 0;
}

void FastPosition::KeepRecentHistory(int plies)
{
    const int keep = std::clamp(plies, 0, historyLength);
    const auto drop = static_cast<std::ptrdiff_t>(historyLength - keep);
    std::copy(keys_.begin() + drop, keys_.begin() + historyLength, keys_.begin());
    std::copy(undo_.begin() + drop, undo_.begin() + historyLength, undo_.begin());
    historyLength = keep;
}

void FastPosition::SetPriorKeys(const u64* keys, int count)
{
    const int first = count > 256 ? count - 256 : 0;
    historyLength = 0;
    for (int i = first; i < count; ++i)
        keys_[static_cast<std::size_t>(historyLength++)] = keys[i];
}

} // namespace drnChess::fast
