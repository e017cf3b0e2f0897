// The strong search's position: tables, FEN, make/unmake, generation and attack tests.

#include "engine/strongboard.h"

#include <cctype>
#include <vector>

namespace drnChess::strong {

namespace {

    // Direction steps (file, rank) in the order of AttackTables::ray.
    constexpr int Steps[8][2]
        = { { 0, 1 }, { 0, -1 }, { 1, 0 }, { -1, 0 }, { 1, 1 }, { -1, 1 }, { 1, -1 }, { -1, -1 } };
    // Directions whose squares grow in index (the nearest blocker is the lowest bit).
    constexpr bool Rising[8] = { true, false, true, false, true, true, false, false };

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

    // Attacks along four directions by walking the rays (for building the lookup tables).
    u64 SlideAttacks(const AttackTables& t, int sq, u64 occupied, int firstDirection)
    {
        u64 attacks = 0;
        for (int d = firstDirection; d < firstDirection + 4; ++d) {
            const u64 ray = t.ray[d][sq];
            const u64 blockers = ray & occupied;
            if (!blockers) {
                attacks |= ray;
                continue;
            }
            const int nearest = Rising[d] ? Lsb(blockers) : Msb(blockers);
            attacks |= ray & ~t.ray[d][nearest];
        }
        return attacks;
    }

    // For every square, a multiplier that sends each blocker subset to a slot of its own
    // attacks; found by trying sparse random numbers from a fixed seed (the same every run).
    void FindMagics(AttackTables& t, SliderMagic (&magics)[64], int firstDirection)
    {
        u64 state = 0x9D3C1E5A7B2F4861ULL + static_cast<u64>(firstDirection);
        std::vector<u64> subsets, attacks, slots;
        std::vector<int> stamp;
        for (int sq = 0; sq < 64; ++sq) {
            SliderMagic& m = magics[sq];
            m.mask = 0;
            for (int d = firstDirection; d < firstDirection + 4; ++d) {
                // The ray's last square never blocks anything behind it.
                const u64 ray = t.ray[d][sq];
                if (!ray) continue;
                const int last = Rising[d] ? Msb(ray) : Lsb(ray);
                m.mask |= ray & ~Bit(last);
            }
            const int bits = Count(m.mask);
            m.shift = 64 - bits;
            m.offset = static_cast<std::uint32_t>(t.sliderAttacks.size());
            subsets.clear();
            attacks.clear();
            u64 subset = 0;
            do { // every subset of the mask (carry-rippler)
                subsets.push_back(subset);
                attacks.push_back(SlideAttacks(t, sq, subset, firstDirection));
                subset = (subset - m.mask) & m.mask;
            } while (subset);
            const std::size_t size = std::size_t { 1 } << bits;
            slots.assign(size, 0);
            stamp.assign(size, 0);
            for (int attempt = 1;; ++attempt) {
                m.magic = SplitMix(state) & SplitMix(state) & SplitMix(state);
                if (Count((m.mask * m.magic) >> 56) < 6) continue;
                bool fits = true;
                for (std::size_t i = 0; i < subsets.size() && fits; ++i) {
                    const std::size_t slot = static_cast<std::size_t>((subsets[i] * m.magic) >> m.shift);
                    if (stamp[slot] != attempt) {
                        stamp[slot] = attempt;
                        slots[slot] = attacks[i];
                    } else if (slots[slot] != attacks[i]) {
                        fits = false;
                    }
                }
                if (fits) break;
            }
            t.sliderAttacks.insert(t.sliderAttacks.end(), slots.begin(), slots.end());
        }
    }

    AttackTables BuildTables()
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
        FindMagics(t, t.rook, 0);
        FindMagics(t, t.bishop, 4);
        return t;
    }

    int PieceFromLetter(char c)
    {
        const char* letters = "pnbrqk";
        for (int type = 0; type < 6; ++type)
            if (std::tolower(static_cast<unsigned char>(c)) == letters[type])
                return MakePiece(std::isupper(static_cast<unsigned char>(c)) ? White : Black, type);
        return NoPiece;
    }

    // Castling rights that stay after a move touches the square.
    constexpr int RightsKept(int sq)
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

} // namespace

const AttackTables& Tables()
{
    static const AttackTables tables = BuildTables();
    return tables;
}

StrongBoard::StrongBoard()
{
    squares.fill(NoPiece);
}

void StrongBoard::Put(int piece, int sq)
{
    squares[static_cast<std::size_t>(sq)] = static_cast<std::uint8_t>(piece);
    byType[TypeOf(piece)] |= Bit(sq);
    byColour[ColourOf(piece)] |= Bit(sq);
    key ^= Tables().zobristPiece[piece][sq];
}

void StrongBoard::Remove(int sq)
{
    const int piece = squares[static_cast<std::size_t>(sq)];
    squares[static_cast<std::size_t>(sq)] = NoPiece;
    byType[TypeOf(piece)] &= ~Bit(sq);
    byColour[ColourOf(piece)] &= ~Bit(sq);
    key ^= Tables().zobristPiece[piece][sq];
}

void StrongBoard::Shift(int from, int to)
{
    const int piece = squares[static_cast<std::size_t>(from)];
    Remove(from);
    Put(piece, to);
}

u64 StrongBoard::ComputeKey() const
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

bool StrongBoard::SetFromFEN(std::string_view fen)
{
    *this = StrongBoard();
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
            if (piece == NoPiece || rank < 0 || file > 7) return (*this = StrongBoard(), false);
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
        return (*this = StrongBoard(), false);
    // The side that just moved may not have left its king attacked.
    if (Attacked(KingSquare(side ^ 1), side)) return (*this = StrongBoard(), false);
    key = ComputeKey();
    return true;
}

std::string StrongBoard::FEN() const
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

u64 StrongBoard::AttackersTo(int sq, u64 occupied) const
{
    const AttackTables& t = Tables();
    const u64 diagonal = byType[Bishop] | byType[Queen];
    const u64 straight = byType[Rook] | byType[Queen];
    return (t.pawn[Black][sq] & Pieces(White, Pawn)) | (t.pawn[White][sq] & Pieces(Black, Pawn))
        | (t.knight[sq] & byType[Knight]) | (t.king[sq] & byType[King])
        | (BishopAttacks(sq, occupied) & diagonal) | (RookAttacks(sq, occupied) & straight);
}

bool StrongBoard::GivesCheck(Move m)
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

bool StrongBoard::Attacked(int sq, int byColour_) const
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

bool StrongBoard::Make(Move m)
{
    const AttackTables& t = Tables();
    const int from = From(m), to = To(m), kind = Kind(m);
    const int piece = squares[static_cast<std::size_t>(from)];
    const int us = side;
    Undo& u = undo_[static_cast<std::size_t>(historyLength)];
    keys_[static_cast<std::size_t>(historyLength)] = key;
    u.key = key;
    u.move = m;
    u.ep = static_cast<std::int8_t>(ep);
    u.castling = static_cast<std::uint8_t>(castling);
    u.halfmove = halfmove;
    u.captured = NoPiece;
    ++historyLength;

    if (ep >= 0) key ^= t.zobristEp[FileOf(ep)];
    ep = -1;
    ++halfmove;
    if (kind == MoveKind::EnPassant) {
        const int victim = to + (us == White ? -8 : 8);
        u.captured = squares[static_cast<std::size_t>(victim)];
        Remove(victim);
    } else if (squares[static_cast<std::size_t>(to)] != NoPiece) {
        u.captured = squares[static_cast<std::size_t>(to)];
        Remove(to);
        halfmove = 0;
    }
    Shift(from, to);
    if (TypeOf(piece) == Pawn) {
        halfmove = 0;
        if (kind == MoveKind::DoublePush) {
            const int passed = (from + to) / 2;
            if (t.pawn[us][passed] & Pieces(us ^ 1, Pawn)) {
                ep = passed;
                key ^= t.zobristEp[FileOf(ep)];
            }
        } else if (IsPromotion(m)) {
            Remove(to);
            Put(MakePiece(us, PromotionType(m)), to);
        }
    } else if (kind == MoveKind::Castle) {
        const bool kingSide = to > from;
        Shift(kingSide ? to + 1 : to - 2, kingSide ? to - 1 : to + 1);
    }
    const int rights = castling & RightsKept(from) & RightsKept(to);
    if (rights != castling) {
        key ^= t.zobristCastle[castling] ^ t.zobristCastle[rights];
        castling = rights;
    }
    side ^= 1;
    key ^= t.zobristSide;
    if (Attacked(KingSquare(us), side)) {
        Unmake();
        return false;
    }
    return true;
}

void StrongBoard::Unmake()
{
    --historyLength;
    const Undo& u = undo_[static_cast<std::size_t>(historyLength)];
    const Move m = u.move;
    side ^= 1;
    const int from = From(m), to = To(m), kind = Kind(m);
    if (IsPromotion(m)) {
        Remove(to);
        Put(MakePiece(side, Pawn), to);
    }
    Shift(to, from);
    if (kind == MoveKind::Castle) {
        const bool kingSide = to > from;
        Shift(kingSide ? to - 1 : to + 1, kingSide ? to + 1 : to - 2);
    }
    if (u.captured != NoPiece)
        Put(u.captured, kind == MoveKind::EnPassant ? to + (side == White ? -8 : 8) : to);
    ep = u.ep;
    castling = u.castling;
    halfmove = u.halfmove;
    key = u.key;
}

void StrongBoard::MakeNull()
{
    Undo& u = undo_[static_cast<std::size_t>(historyLength)];
    keys_[static_cast<std::size_t>(historyLength)] = key;
    u.key = key;
    u.move = NoMove;
    u.ep = static_cast<std::int8_t>(ep);
    u.castling = static_cast<std::uint8_t>(castling);
    u.halfmove = halfmove;
    u.captured = NoPiece;
    ++historyLength;
    if (ep >= 0) key ^= Tables().zobristEp[FileOf(ep)];
    ep = -1;
    ++halfmove;
    side ^= 1;
    key ^= Tables().zobristSide;
}

void StrongBoard::UnmakeNull()
{
    --historyLength;
    const Undo& u = undo_[static_cast<std::size_t>(historyLength)];
    side ^= 1;
    ep = u.ep;
    halfmove = u.halfmove;
    key = u.key;
}

bool StrongBoard::IsRepetitionOrFifty() const
{
    if (halfmove >= 100) return true;
    const int oldest = historyLength - halfmove < 0 ? 0 : historyLength - halfmove;
    for (int i = historyLength - 2; i >= oldest; i -= 2)
        if (keys_[static_cast<std::size_t>(i)] == key) return true;
    return false;
}

void StrongBoard::ClearHistory()
{
    historyLength = 0;
}

void StrongBoard::SetPriorKeys(const u64* keys, int count)
{
    const int first = count > 256 ? count - 256 : 0;
    historyLength = 0;
    for (int i = first; i < count; ++i)
        keys_[static_cast<std::size_t>(historyLength++)] = keys[i];
}

namespace {

    void AddPromotions(MoveList& list, int from, int to, bool underPromotions)
    {
        list.Add(MakeMove(from, to, MoveKind::Promotion + 3));
        if (!underPromotions) return;
        for (int k = 0; k < 3; ++k)
            list.Add(MakeMove(from, to, MoveKind::Promotion + k));
    }

} // namespace

void StrongBoard::GenerateNoisy(MoveList& list) const
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
    for (int type = Knight; type <= King; ++type)
        for (u64 pieces = Pieces(us, type); pieces;) {
            const int from = PopLsb(pieces);
            u64 targets = type == Knight ? t.knight[from]
                : type == Bishop         ? BishopAttacks(from, occupied)
                : type == Rook           ? RookAttacks(from, occupied)
                : type == Queen          ? QueenAttacks(from, occupied)
                                         : t.king[from];
            for (targets &= enemies; targets;)
                list.Add(MakeMove(from, PopLsb(targets)));
        }
}

void StrongBoard::GenerateQuiet(MoveList& list) const
{
    const AttackTables& t = Tables();
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
    for (int type = Knight; type <= King; ++type)
        for (u64 pieces = Pieces(us, type); pieces;) {
            const int from = PopLsb(pieces);
            u64 targets = type == Knight ? t.knight[from]
                : type == Bishop         ? BishopAttacks(from, occupied)
                : type == Rook           ? RookAttacks(from, occupied)
                : type == Queen          ? QueenAttacks(from, occupied)
                                         : t.king[from];
            for (targets &= empty; targets;)
                list.Add(MakeMove(from, PopLsb(targets)));
        }
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

void StrongBoard::GenerateLegal(MoveList& list)
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

bool StrongBoard::IsPseudoLegal(Move m) const
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
        const u64 occupied = Occupied();
        const u64 reach = type == Knight ? Tables().knight[from]
            : type == Bishop             ? BishopAttacks(from, occupied)
            : type == Rook               ? RookAttacks(from, occupied)
            : type == Queen              ? QueenAttacks(from, occupied)
                                         : Tables().king[from];
        return (reach & Bit(to)) != 0;
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

std::string StrongBoard::MoveText(Move m)
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

Move StrongBoard::ParseMove(std::string_view text)
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

} // namespace drnChess::strong
