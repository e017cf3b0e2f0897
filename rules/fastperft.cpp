#include "rules/fastperft.h"
#include "rules/magics.h"

#include <array>
#include <bit>
#include <mutex>
#include <vector>

namespace drnChess {

namespace {

    // Squares as in the board: bit index = 8 * rank + (7 - file).
    constexpr int RankOfIndex(int sq)
    {
        return sq / 8;
    }
    constexpr int FileOfIndex(int sq)
    {
        return 7 - sq % 8;
    }
    constexpr int IndexOf(int rank, int file)
    {
        return 8 * rank + 7 - file;
    }
    constexpr u64 Bit(int sq)
    {
        return u64 { 1 } << sq;
    }

    constexpr u64 FileA = 0x8080808080808080ULL;
    constexpr u64 FileH = 0x0101010101010101ULL;
    constexpr u64 Rank1 = 0xFFULL;
    constexpr u64 Rank3 = 0xFFULL << 16;
    constexpr u64 Rank6 = 0xFFULL << 40;
    constexpr u64 Rank8 = 0xFFULL << 56;

    enum Piece : int { P, N, B, R, Q, K };

    // One slider table per square: the relevant occupancy, its magic and the attack sets.
    struct Magic {
        u64 mask;
        u64 magic;
        const u64* attacks;
        int shift;
        u64 Index(u64 occ) const { return ((occ & mask) * magic) >> shift; }
    };

    struct Tables {
        u64 knight[64];
        u64 king[64];
        u64 pawn[2][64]; // squares a pawn of the colour on the square attacks
        u64 between[64][64]; // squares strictly between two squares on a line, else 0
        u64 line[64][64]; // the whole line through two squares on a line, else 0
        u64 rookRays[64]; // empty-board attacks
        u64 bishopRays[64];
        Magic rook[64];
        Magic bishop[64];
        std::vector<u64> storage;
    };

    constexpr int RookDirs[4][2] = { { 1, 0 }, { -1, 0 }, { 0, 1 }, { 0, -1 } };
    constexpr int BishopDirs[4][2] = { { 1, 1 }, { 1, -1 }, { -1, 1 }, { -1, -1 } };

    u64 SlideAttacks(int sq, u64 occ, const int (&dirs)[4][2])
    {
        u64 result = 0;
        for (const auto& d : dirs) {
            int r = RankOfIndex(sq) + d[0];
            int f = FileOfIndex(sq) + d[1];
            while (r >= 0 && r < 8 && f >= 0 && f < 8) {
                const u64 b = Bit(IndexOf(r, f));
                result |= b;
                if (occ & b) break;
                r += d[0];
                f += d[1];
            }
        }
        return result;
    }

    // The occupancy bits that matter: the rays without their last square.
    u64 RelevantMask(int sq, const int (&dirs)[4][2])
    {
        u64 result = 0;
        for (const auto& d : dirs) {
            int r = RankOfIndex(sq) + d[0];
            int f = FileOfIndex(sq) + d[1];
            while (r + d[0] >= 0 && r + d[0] < 8 && f + d[1] >= 0 && f + d[1] < 8) {
                result |= Bit(IndexOf(r, f));
                r += d[0];
                f += d[1];
            }
        }
        return result;
    }

    // A private generator for the magic search, so the project's random sequence is not touched.
    struct SplitMix {
        u64 state;
        u64 Next()
        {
            u64 z = (state += 0x9E3779B97F4A7C15ULL);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            return z ^ (z >> 31);
        }
        u64 Sparse() { return Next() & Next() & Next(); }
    };

    // The known multipliers fit; a search from a fixed seed stands behind them all the same.
    void FindMagics(Tables& t, Magic (&magics)[64], const int (&dirs)[4][2], const u64 (&known)[64],
        std::vector<std::size_t>& offsets)
    {
        SplitMix rng { 0x5EED1234ABCDULL };
        std::vector<u64> occupancies;
        std::vector<u64> references;
        std::vector<int> epoch;
        std::vector<u64> table;
        for (int sq = 0; sq < 64; ++sq) {
            Magic& m = magics[sq];
            m.mask = RelevantMask(sq, dirs);
            const int bits = std::popcount(m.mask);
            m.shift = 64 - bits;
            const std::size_t size = std::size_t { 1 } << bits;
            occupancies.clear();
            references.clear();
            u64 subset = 0;
            do { // every subset of the mask (carry-rippler)
                occupancies.push_back(subset);
                references.push_back(SlideAttacks(sq, subset, dirs));
                subset = (subset - m.mask) & m.mask;
            } while (subset != 0);
            table.assign(size, 0);
            epoch.assign(size, 0);
            for (int attempt = 1;; ++attempt) {
                m.magic = attempt == 1 ? known[sq] : rng.Sparse();
                if (attempt > 1 && std::popcount((m.mask * m.magic) >> 56) < 6) continue;
                bool ok = true;
                for (std::size_t i = 0; i < occupancies.size() && ok; ++i) {
                    const u64 idx = m.Index(occupancies[i]);
                    if (epoch[idx] != attempt) {
                        epoch[idx] = attempt;
                        table[idx] = references[i];
                    } else if (table[idx] != references[i]) {
                        ok = false;
                    }
                }
                if (ok) break;
            }
            offsets.push_back(t.storage.size());
            t.storage.insert(t.storage.end(), table.begin(), table.end());
        }
    }

    const Tables& GetTables()
    {
        static Tables* tables = nullptr;
        static std::once_flag once;
        std::call_once(once, [] {
            static Tables t {};
            for (int sq = 0; sq < 64; ++sq) {
                const int r = RankOfIndex(sq), f = FileOfIndex(sq);
                auto at = [&](int dr, int df) -> u64 {
                    const int rr = r + dr, ff = f + df;
                    return (rr >= 0 && rr < 8 && ff >= 0 && ff < 8) ? Bit(IndexOf(rr, ff)) : 0;
                };
                t.knight[sq] = at(1, 2) | at(2, 1) | at(-1, 2) | at(-2, 1) | at(1, -2) | at(2, -1)
                    | at(-1, -2) | at(-2, -1);
                t.king[sq] = at(1, 0) | at(-1, 0) | at(0, 1) | at(0, -1) | at(1, 1) | at(1, -1) | at(-1, 1)
                    | at(-1, -1);
                t.pawn[White][sq] = at(1, 1) | at(1, -1);
                t.pawn[Black][sq] = at(-1, 1) | at(-1, -1);
                t.rookRays[sq] = SlideAttacks(sq, 0, RookDirs);
                t.bishopRays[sq] = SlideAttacks(sq, 0, BishopDirs);
            }
            for (int a = 0; a < 64; ++a)
                for (int b = 0; b < 64; ++b) {
                    if (a == b) continue;
                    const bool straight = (t.rookRays[a] & Bit(b)) != 0;
                    const bool diagonal = (t.bishopRays[a] & Bit(b)) != 0;
                    if (!straight && !diagonal) continue;
                    const auto& d = straight ? RookDirs : BishopDirs;
                    t.between[a][b] = SlideAttacks(a, Bit(b), d) & SlideAttacks(b, Bit(a), d);
                    const u64 raysA = straight ? t.rookRays[a] : t.bishopRays[a];
                    const u64 raysB = straight ? t.rookRays[b] : t.bishopRays[b];
                    t.line[a][b] = (raysA & raysB) | Bit(a) | Bit(b);
                }
            std::vector<std::size_t> rookOffsets;
            std::vector<std::size_t> bishopOffsets;
            FindMagics(t, t.rook, RookDirs, RookMagics, rookOffsets);
            FindMagics(t, t.bishop, BishopDirs, BishopMagics, bishopOffsets);
            for (int sq = 0; sq < 64; ++sq) {
                t.rook[sq].attacks = t.storage.data() + rookOffsets[static_cast<std::size_t>(sq)];
                t.bishop[sq].attacks = t.storage.data() + bishopOffsets[static_cast<std::size_t>(sq)];
            }
            tables = &t;
        });
        return *tables;
    }

    // The position of the counter: absolute colours, copied for each move made.
    struct Position {
        u64 pieces[6];
        u64 colour[2];
        u64 castle; // castling rights kept as squares, as the board keeps them
        u64 ep; // the square a double-pushing pawn passed over, or 0
        int side;
    };

    // Move record: from 0-5, to 6-11, piece 12-14, kind 15-18.
    enum MoveKind : std::uint32_t {
        Normal = 0,
        PromoN = 1,
        PromoB = 2,
        PromoR = 3,
        PromoQ = 4,
        EnPassant = 5,
        Castle = 6,
        DoublePush = 7
    };
    constexpr std::uint32_t Encode(int from, int to, int piece, std::uint32_t kind)
    {
        return static_cast<std::uint32_t>(from) | (static_cast<std::uint32_t>(to) << 6)
            | (static_cast<std::uint32_t>(piece) << 12) | (kind << 15);
    }

    class Counter {
    public:
        Counter(const Tables& t, const std::atomic<bool>* stop)
            : t_(t)
            , stop_(stop)
        {
        }

        u64 Rook(int sq, u64 occ) const { return t_.rook[sq].attacks[t_.rook[sq].Index(occ)]; }
        u64 Bishop(int sq, u64 occ) const { return t_.bishop[sq].attacks[t_.bishop[sq].Index(occ)]; }

        // Pieces of colour `by` attacking the square, with the occupancy given.
        u64 Attackers(const Position& p, int sq, int by, u64 occ) const
        {
            const u64 them = p.colour[by];
            return ((t_.knight[sq] & p.pieces[N]) | (t_.pawn[by ^ 1][sq] & p.pieces[P])
                       | (t_.king[sq] & p.pieces[K]) | (Bishop(sq, occ) & (p.pieces[B] | p.pieces[Q]))
                       | (Rook(sq, occ) & (p.pieces[R] | p.pieces[Q])))
                & them;
        }

        // Every square colour `by` attacks, the occupancy given.
        u64 AttackMap(const Position& p, int by, u64 occ) const
        {
            const u64 them = p.colour[by];
            const u64 pawns = p.pieces[P] & them;
            u64 map = by == White ? ((pawns & ~FileH) << 7) | ((pawns & ~FileA) << 9)
                                  : ((pawns & ~FileH) >> 9) | ((pawns & ~FileA) >> 7);
            for (u64 b = p.pieces[N] & them; b; b &= b - 1)
                map |= t_.knight[std::countr_zero(b)];
            for (u64 b = (p.pieces[B] | p.pieces[Q]) & them; b; b &= b - 1)
                map |= Bishop(std::countr_zero(b), occ);
            for (u64 b = (p.pieces[R] | p.pieces[Q]) & them; b; b &= b - 1)
                map |= Rook(std::countr_zero(b), occ);
            map |= t_.king[std::countr_zero(p.pieces[K] & them)];
            return map;
        }

        // Counting sink: adds the size of each target set.
        struct CountSink {
            u64 count = 0;
            void Piece(int, int, u64 targets) { count += static_cast<u64>(std::popcount(targets)); }
            void Pawns(u64 targets, int, std::uint32_t) { count += static_cast<u64>(std::popcount(targets)); }
            void Promotions(u64 targets, int) { count += 4 * static_cast<u64>(std::popcount(targets)); }
            void One(std::uint32_t) { ++count; }
        };
        // Listing sink: writes the move records.
        struct ListSink {
            std::uint32_t* out;
            void Piece(int piece, int from, u64 targets)
            {
                for (; targets; targets &= targets - 1)
                    *out++ = Encode(from, std::countr_zero(targets), piece, Normal);
            }
            void Pawns(u64 targets, int offset, std::uint32_t kind)
            {
                for (; targets; targets &= targets - 1) {
                    const int to = std::countr_zero(targets);
                    *out++ = Encode(to - offset, to, P, kind);
                }
            }
            void Promotions(u64 targets, int offset)
            {
                for (; targets; targets &= targets - 1) {
                    const int to = std::countr_zero(targets);
                    for (std::uint32_t kind = PromoN; kind <= PromoQ; ++kind)
                        *out++ = Encode(to - offset, to, P, kind);
                }
            }
            void One(std::uint32_t move) { *out++ = move; }
        };

        template <int Us, class Sink> void Generate(const Position& p, Sink& sink) const
        {
            constexpr int Them = Us ^ 1;
            constexpr int Up = Us == White ? 8 : -8;
            const u64 own = p.colour[Us];
            const u64 enemy = p.colour[Them];
            const u64 occ = own | enemy;
            const int ksq = std::countr_zero(p.pieces[K] & own);

            const u64 checkers = Attackers(p, ksq, Them, occ);
            const u64 danger = AttackMap(p, Them, occ ^ Bit(ksq));
            sink.Piece(K, ksq, t_.king[ksq] & ~own & ~danger);
            if (checkers & (checkers - 1)) return; // double check: the king alone moves

            const u64 checkMask
                = checkers ? t_.between[ksq][std::countr_zero(checkers)] | checkers : ~u64 { 0 };
            u64 pinned = 0;
            u64 snipers = ((t_.rookRays[ksq] & (p.pieces[R] | p.pieces[Q]))
                              | (t_.bishopRays[ksq] & (p.pieces[B] | p.pieces[Q])))
                & enemy;
            for (; snipers; snipers &= snipers - 1) {
                const u64 blockers = t_.between[ksq][std::countr_zero(snipers)] & occ;
                if (blockers && !(blockers & (blockers - 1))) pinned |= blockers & own;
            }
            // A pinned piece can never answer a check.
            const u64 movable = checkers ? own & ~pinned : own;
            const u64 targets = ~own & checkMask;

            for (u64 b = p.pieces[N] & movable & ~pinned; b; b &= b - 1) {
                const int from = std::countr_zero(b);
                sink.Piece(N, from, t_.knight[from] & targets);
            }
            for (u64 b = (p.pieces[B] | p.pieces[Q]) & movable; b; b &= b - 1) {
                const int from = std::countr_zero(b);
                u64 to = Bishop(from, occ) & targets;
                if (pinned & Bit(from)) to &= t_.line[ksq][from];
                sink.Piece((p.pieces[Q] & Bit(from)) ? Q : B, from, to);
            }
            for (u64 b = (p.pieces[R] | p.pieces[Q]) & movable; b; b &= b - 1) {
                const int from = std::countr_zero(b);
                u64 to = Rook(from, occ) & targets;
                if (pinned & Bit(from)) to &= t_.line[ksq][from];
                sink.Piece((p.pieces[Q] & Bit(from)) ? Q : R, from, to);
            }

            // Pawns: the free ones set-wise, the pinned ones one by one along their pin line.
            const u64 pawns = p.pieces[P] & movable;
            constexpr u64 LastRank = Us == White ? Rank8 : Rank1;
            constexpr u64 DoubleRank = Us == White ? Rank3 : Rank6;
            auto forward = [](u64 b, int n) { return n > 0 ? b << n : b >> -n; };
            auto emitPawns = [&](u64 from, u64 allow) {
                const u64 single = forward(from, Up) & ~occ;
                const u64 twice = forward(single & DoubleRank, Up) & ~occ & checkMask & allow;
                const u64 push = single & checkMask & allow;
                // Toward the h-file the index falls by one, toward the a-file it rises by one.
                constexpr int TowardH = Up - 1, TowardA = Up + 1;
                const u64 capH = forward(from & ~FileH, TowardH) & enemy & checkMask & allow;
                const u64 capA = forward(from & ~FileA, TowardA) & enemy & checkMask & allow;
                sink.Pawns(push & ~LastRank, Up, Normal);
                sink.Pawns(twice, 2 * Up, DoublePush);
                sink.Pawns(capH & ~LastRank, TowardH, Normal);
                sink.Pawns(capA & ~LastRank, TowardA, Normal);
                if ((push | capH | capA) & LastRank) {
                    sink.Promotions(push & LastRank, Up);
                    sink.Promotions(capH & LastRank, TowardH);
                    sink.Promotions(capA & LastRank, TowardA);
                }
            };
            emitPawns(pawns & ~pinned, ~u64 { 0 });
            for (u64 b = pawns & pinned; b; b &= b - 1) {
                const int from = std::countr_zero(b);
                emitPawns(Bit(from), t_.line[ksq][from]);
            }
            if (p.ep) {
                const int epSq = std::countr_zero(p.ep);
                const u64 victim = forward(p.ep, -Up);
                for (u64 b = t_.pawn[Them][epSq] & p.pieces[P] & own; b; b &= b - 1) {
                    const int from = std::countr_zero(b);
                    // Played out on the occupancy: nothing may attack the king afterwards.
                    const u64 after = (occ ^ Bit(from) ^ victim) | p.ep;
                    const u64 sliders = enemy & ~victim;
                    const bool attacked = (Bishop(ksq, after) & (p.pieces[B] | p.pieces[Q]) & sliders)
                        || (Rook(ksq, after) & (p.pieces[R] | p.pieces[Q]) & sliders)
                        || (t_.knight[ksq] & p.pieces[N] & enemy)
                        || (t_.pawn[Us][ksq] & p.pieces[P] & enemy & ~victim);
                    if (!attacked) sink.One(Encode(from, epSq, P, EnPassant));
                }
            }

            // Castling: king and rook on their homes, both homes among the rights, the way empty
            // and the squares the king passes and reaches not attacked.
            const int home = Us == White ? 0 : 56;
            const u64 e = Bit(home + 3);
            if (!checkers && (p.castle & e) && (p.pieces[K] & own & e)) {
                const u64 rooks = p.pieces[R] & own & p.castle;
                const u64 hCorner = Bit(home), aCorner = Bit(home + 7);
                const u64 fg = Bit(home + 2) | Bit(home + 1);
                const u64 bcd = Bit(home + 6) | Bit(home + 5) | Bit(home + 4);
                const u64 cd = Bit(home + 5) | Bit(home + 4);
                if ((rooks & hCorner) && !(occ & fg) && !(danger & fg))
                    sink.One(Encode(home + 3, home + 1, K, Castle));
                if ((rooks & aCorner) && !(occ & bcd) && !(danger & cd))
                    sink.One(Encode(home + 3, home + 5, K, Castle));
            }
        }

        static void Make(Position& p, std::uint32_t move)
        {
            const int from = static_cast<int>(move & 63);
            const int to = static_cast<int>((move >> 6) & 63);
            const int piece = static_cast<int>((move >> 12) & 7);
            const std::uint32_t kind = move >> 15;
            const int us = p.side, them = us ^ 1;
            const u64 fromB = Bit(from), toB = Bit(to);
            if (p.colour[them] & toB) {
                for (u64& b : p.pieces)
                    b &= ~toB;
                p.colour[them] &= ~toB;
            }
            p.pieces[piece] ^= fromB | toB;
            p.colour[us] ^= fromB | toB;
            p.ep = 0;
            switch (kind) {
            case PromoN:
            case PromoB:
            case PromoR:
            case PromoQ:
                p.pieces[P] &= ~toB;
                p.pieces[static_cast<int>(kind)] |= toB; // N..Q follow the kind codes 1..4
                break;
            case EnPassant: {
                const u64 victim = us == White ? toB >> 8 : toB << 8;
                p.pieces[P] &= ~victim;
                p.colour[them] &= ~victim;
                break;
            }
            case Castle: {
                const int home = us == White ? 0 : 56;
                const u64 rookMove
                    = to == home + 1 ? Bit(home) | Bit(home + 2) : Bit(home + 7) | Bit(home + 4);
                p.pieces[R] ^= rookMove;
                p.colour[us] ^= rookMove;
                break;
            }
            case DoublePush:
                p.ep = us == White ? fromB << 8 : fromB >> 8;
                break;
            default:
                break;
            }
            p.castle &= ~(fromB | toB);
            p.side = them;
        }

        u64 Count(const Position& p, int depth)
        {
            if (depth == 1) {
                CountSink sink;
                if (p.side == White)
                    Generate<White>(p, sink);
                else
                    Generate<Black>(p, sink);
                return sink.count;
            }
            std::uint32_t moves[256];
            ListSink sink { moves };
            if (p.side == White)
                Generate<White>(p, sink);
            else
                Generate<Black>(p, sink);
            u64 total = 0;
            for (const std::uint32_t* m = moves; m < sink.out; ++m) {
                if (depth >= 4 && stop_ && stop_->load(std::memory_order_relaxed)) break;
                Position next = p;
                Make(next, *m);
                total += Count(next, depth - 1);
            }
            return total;
        }

    private:
        const Tables& t_;
        const std::atomic<bool>* stop_;
    };

} // namespace

std::optional<std::uint64_t> FastPerft(const clsBoard& board, int depth, const std::atomic<bool>* stop)
{
    if (depth < 1) return std::nullopt;
    Position p {};
    p.side = board.side;
    p.colour[board.side] = board.own();
    p.colour[board.side ^ 1] = board.other();
    p.pieces[P] = board.pawns();
    p.pieces[N] = board.knights();
    p.pieces[B] = board.bishops();
    p.pieces[R] = board.rooks();
    p.pieces[Q] = board.queens();
    p.pieces[K] = board.kings();
    p.castle = board.castle();
    // En passant only when the pawn that passed over the square still stands beyond it.
    const u64 ep = board.epSquare();
    if (ep && !(ep & (ep - 1))) {
        const u64 pawnAt = board.side == White ? ep >> 8 : ep << 8;
        if (pawnAt & board.pawns() & board.other()) p.ep = ep;
    }
    for (int c = 0; c < 2; ++c)
        if (std::popcount(p.pieces[K] & p.colour[c]) != 1) return std::nullopt;
    if (board.pawns() & (Rank1 | Rank8)) return std::nullopt;
    const Tables& t = GetTables();
    Counter counter(t, stop);
    const int them = p.side ^ 1;
    if (counter.Attackers(
            p, std::countr_zero(p.pieces[K] & p.colour[them]), p.side, p.colour[0] | p.colour[1]))
        return std::nullopt;
    return counter.Count(p, depth);
}

} // namespace drnChess
