#include "rules/fastperft.h"

#include <algorithm>

namespace drnChess::fast {

namespace {

    constexpr u64 FileHBits = FileABits << 7;

    constexpr u64 Forward(u64 b, int n)
    {
        return n > 0 ? b << n : b >> -n;
    }

    // Counting sink: adds the size of each target set.
    struct CountSink {
        u64 count = 0;
        void Piece(int, u64 targets) { count += static_cast<u64>(Count(targets)); }
        void Pawns(u64 targets, int, int) { count += static_cast<u64>(Count(targets)); }
        void Promotions(u64 targets, int) { count += 4 * static_cast<u64>(Count(targets)); }
        void One(Move) { ++count; }
    };

    // Listing sink: writes the moves.
    struct ListSink {
        MoveList& list;
        void Piece(int from, u64 targets)
        {
            while (targets)
                list.Add(MakeMove(from, PopLsb(targets)));
        }
        void Pawns(u64 targets, int offset, int kind)
        {
            while (targets) {
                const int to = PopLsb(targets);
                list.Add(MakeMove(to - offset, to, kind));
            }
        }
        void Promotions(u64 targets, int offset)
        {
            while (targets) {
                const int to = PopLsb(targets);
                for (int kind = MoveKind::Promotion; kind < MoveKind::Promotion + 4; ++kind)
                    list.Add(MakeMove(to - offset, to, kind));
            }
        }
        void One(Move m) { list.Add(m); }
    };

    // Slider lookups straight from the tables the caller holds (the free functions ask for them
    // on every call).
    u64 Diagonal(const AttackTables& t, int sq, u64 occupied)
    {
        return t.bishop[sq].Attacks(occupied);
    }
    u64 Straight(const AttackTables& t, int sq, u64 occupied)
    {
        return t.rook[sq].Attacks(occupied);
    }

    // Every square colour `by` attacks with the occupancy given.
    [[gnu::always_inline]] inline u64 AttackMap(
        const FastPosition& p, const AttackTables& t, int by, u64 occupied)
    {
        const u64 pawns = p.Pieces(by, Pawn);
        u64 map = by == White ? ((pawns & ~FileHBits) << 9) | ((pawns & ~FileABits) << 7)
                              : ((pawns & ~FileHBits) >> 7) | ((pawns & ~FileABits) >> 9);
        for (u64 b = p.Pieces(by, Knight); b;)
            map |= t.knight[PopLsb(b)];
        const u64 queens = p.Pieces(by, Queen);
        for (u64 b = p.Pieces(by, Bishop) | queens; b;)
            map |= Diagonal(t, PopLsb(b), occupied);
        for (u64 b = p.Pieces(by, Rook) | queens; b;)
            map |= Straight(t, PopLsb(b), occupied);
        return map | t.king[p.KingSquare(by)];
    }

    template <int Us, class Sink> void Generate(const FastPosition& p, Sink& sink)
    {
        constexpr int Them = Us ^ 1;
        constexpr int Up = Us == White ? 8 : -8;
        // Toward the h-file the index rises by one, toward the a-file it falls by one.
        constexpr int TowardH = Up + 1, TowardA = Up - 1;
        constexpr u64 LastRank = Us == White ? Rank1Bits << 56 : Rank1Bits;
        constexpr u64 DoubleRank = Us == White ? Rank1Bits << 16 : Rank1Bits << 40;
        const AttackTables& t = Tables();
        const u64 own = p.byColour[Us], enemy = p.byColour[Them];
        const u64 occupied = own | enemy;
        const int king = p.KingSquare(Us);
        const u64 diagonal = p.byType[Bishop] | p.byType[Queen];
        const u64 straight = p.byType[Rook] | p.byType[Queen];

        const u64 checkers
            = ((t.knight[king] & p.byType[Knight]) | (t.pawn[Us][king] & p.byType[Pawn])
                  | (Diagonal(t, king, occupied) & diagonal) | (Straight(t, king, occupied) & straight))
            & enemy;
        const u64 danger = AttackMap(p, t, Them, occupied ^ Bit(king));
        sink.Piece(king, t.king[king] & ~own & ~danger);
        if (checkers & (checkers - 1)) return; // double check: the king alone moves

        const u64 checkMask = checkers ? t.between[king][Lsb(checkers)] | checkers : ~u64 { 0 };
        // A pinned piece stays between the king and its pinner, or takes the pinner.
        u64 pinned = 0;
        u64 pinLine[64];
        for (u64 snipers = ((Straight(t, king, 0) & straight) | (Diagonal(t, king, 0) & diagonal)) & enemy;
             snipers;) {
            const int sniper = PopLsb(snipers);
            const u64 blockers = t.between[king][sniper] & occupied;
            if (blockers && !(blockers & (blockers - 1)) && (blockers & own)) {
                pinned |= blockers;
                pinLine[Lsb(blockers)] = t.between[king][sniper] | Bit(sniper);
            }
        }
        // A pinned piece can never answer a check.
        const u64 movable = checkers ? own & ~pinned : own;
        const u64 targets = ~own & checkMask;

        for (u64 b = p.byType[Knight] & movable & ~pinned; b;) {
            const int from = PopLsb(b);
            sink.Piece(from, t.knight[from] & targets);
        }
        for (u64 b = diagonal & movable; b;) {
            const int from = PopLsb(b);
            const u64 to = Diagonal(t, from, occupied) & targets;
            sink.Piece(from, (pinned & Bit(from)) ? to & pinLine[from] : to);
        }
        for (u64 b = straight & movable; b;) {
            const int from = PopLsb(b);
            const u64 to = Straight(t, from, occupied) & targets;
            sink.Piece(from, (pinned & Bit(from)) ? to & pinLine[from] : to);
        }

        // Pawns: the free ones set-wise, the pinned ones one by one along their pin line.
        const auto pawnMoves = [&](u64 from, u64 allowed) {
            const u64 single = Forward(from, Up) & ~occupied;
            const u64 twice = Forward(single & DoubleRank, Up) & ~occupied & checkMask & allowed;
            const u64 push = single & checkMask & allowed;
            const u64 takeH = Forward(from & ~FileHBits, TowardH) & enemy & checkMask & allowed;
            const u64 takeA = Forward(from & ~FileABits, TowardA) & enemy & checkMask & allowed;
            sink.Pawns(push & ~LastRank, Up, MoveKind::Quiet);
            sink.Pawns(twice, 2 * Up, MoveKind::DoublePush);
            sink.Pawns(takeH & ~LastRank, TowardH, MoveKind::Quiet);
            sink.Pawns(takeA & ~LastRank, TowardA, MoveKind::Quiet);
            if ((push | takeH | takeA) & LastRank) {
                sink.Promotions(push & LastRank, Up);
                sink.Promotions(takeH & LastRank, TowardH);
                sink.Promotions(takeA & LastRank, TowardA);
            }
        };
        const u64 pawns = p.byType[Pawn] & movable;
        pawnMoves(pawns & ~pinned, ~u64 { 0 });
        for (u64 b = pawns & pinned; b;) {
            const int from = PopLsb(b);
            pawnMoves(Bit(from), pinLine[from]);
        }
        if (p.ep >= 0) {
            const u64 victim = Bit(p.ep - Up);
            for (u64 b = t.pawn[Them][p.ep] & p.byType[Pawn] & own; b;) {
                const int from = PopLsb(b);
                // Played out on the occupancy: nothing may attack the king afterwards.
                const u64 after = (occupied ^ Bit(from) ^ victim) | Bit(p.ep);
                const u64 attackers = enemy & ~victim;
                const bool attacked = (Diagonal(t, king, after) & diagonal & attackers)
                    || (Straight(t, king, after) & straight & attackers)
                    || (t.knight[king] & p.byType[Knight] & enemy)
                    || (t.pawn[Us][king] & p.byType[Pawn] & attackers);
                if (!attacked) sink.One(MakeMove(from, p.ep, MoveKind::EnPassant));
            }
        }

        // Castling: the rights hold only with king and rook at home; the way must be empty and
        // the squares the king passes and reaches not attacked.
        constexpr int Home = Us == White ? 4 : 60;
        constexpr int ShortRight = Us == White ? WhiteShort : BlackShort;
        constexpr int LongRight = Us == White ? WhiteLong : BlackLong;
        if (!checkers && (p.castling & (ShortRight | LongRight))) {
            constexpr u64 ShortWay = Bit(Home + 1) | Bit(Home + 2);
            constexpr u64 LongWay = Bit(Home - 1) | Bit(Home - 2) | Bit(Home - 3);
            constexpr u64 LongPassage = Bit(Home - 1) | Bit(Home - 2);
            if ((p.castling & ShortRight) && !(occupied & ShortWay) && !(danger & ShortWay))
                sink.One(MakeMove(Home, Home + 2, MoveKind::Castle));
            if ((p.castling & LongRight) && !(occupied & LongWay) && !(danger & LongPassage))
                sink.One(MakeMove(Home, Home - 2, MoveKind::Castle));
        }
    }

    template <class Sink> void GenerateFor(const FastPosition& p, Sink& sink)
    {
        if (p.side == White)
            Generate<White>(p, sink);
        else
            Generate<Black>(p, sink);
    }

    u64 CountMoves(const FastPosition& p)
    {
        CountSink sink;
        GenerateFor(p, sink);
        return sink.count;
    }

    // The part of the position the generator reads.
    struct Bitboards {
        u64 byType[6];
        u64 byColour[2];
        int side, castling, ep;
    };

    Bitboards Save(const FastPosition& p)
    {
        return { { p.byType[0], p.byType[1], p.byType[2], p.byType[3], p.byType[4], p.byType[5] },
            { p.byColour[0], p.byColour[1] }, p.side, p.castling, p.ep };
    }

    void Restore(FastPosition& p, const Bitboards& b)
    {
        std::copy(std::begin(b.byType), std::end(b.byType), p.byType);
        p.byColour[White] = b.byColour[White];
        p.byColour[Black] = b.byColour[Black];
        p.side = b.side;
        p.castling = b.castling;
        p.ep = b.ep;
    }

    // The last move above the counted ply changes only what the generator reads: the squares,
    // the key and the history stay as they are, and Restore puts the bitboards back after the
    // count. It is the cheap half of make, taken where nothing deeper needs the rest.
    void PlayOnBitboards(FastPosition& p, Move m)
    {
        const int from = From(m), to = To(m), kind = Kind(m);
        const int us = p.side, them = us ^ 1;
        const int piece = p.squares[static_cast<std::size_t>(from)];
        const int victim = kind == MoveKind::EnPassant ? to + (us == White ? -8 : 8) : to;
        if (const int captured = p.squares[static_cast<std::size_t>(victim)]; captured != NoPiece) {
            p.byType[TypeOf(captured)] ^= Bit(victim);
            p.byColour[them] ^= Bit(victim);
        }
        const u64 fromTo = Bit(from) | Bit(to);
        p.byType[TypeOf(piece)] ^= fromTo;
        p.byColour[us] ^= fromTo;
        p.ep = kind == MoveKind::DoublePush ? (from + to) / 2 : -1;
        if (IsPromotion(m)) {
            p.byType[Pawn] ^= Bit(to);
            p.byType[PromotionType(m)] ^= Bit(to);
        } else if (kind == MoveKind::Castle) {
            const u64 rook = to > from ? Bit(to + 1) | Bit(to - 1) : Bit(to - 2) | Bit(to + 1);
            p.byType[Rook] ^= rook;
            p.byColour[us] ^= rook;
        }
        p.castling &= CastlingKept(from) & CastlingKept(to);
        p.side = them;
    }

    u64 CountLeaves(FastPosition& p, int depth, const std::atomic<bool>* stop)
    {
        if (depth == 1) return CountMoves(p);
        MoveList list;
        ListSink sink { list };
        GenerateFor(p, sink);
        u64 total = 0;
        if (depth == 2) {
            const Bitboards saved = Save(p);
            for (int i = 0; i < list.count; ++i) {
                PlayOnBitboards(p, list.moves[static_cast<std::size_t>(i)]);
                total += CountMoves(p);
                Restore(p, saved);
            }
            return total;
        }
        for (int i = 0; i < list.count; ++i) {
            if (depth >= 4 && stop && stop->load(std::memory_order_relaxed)) break;
            p.PlayUnkeyed(list.moves[static_cast<std::size_t>(i)]);
            total += CountLeaves(p, depth - 1, stop);
            p.Unmake();
        }
        return total;
    }

} // namespace

void GenerateLegalMoves(const FastPosition& position, MoveList& list)
{
    list.count = 0;
    ListSink sink { list };
    GenerateFor(position, sink);
}

std::uint64_t Perft(FastPosition& position, int depth, const std::atomic<bool>* stop)
{
    return depth < 1 ? 0 : CountLeaves(position, depth, stop);
}

} // namespace drnChess::fast
