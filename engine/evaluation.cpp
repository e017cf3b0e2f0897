// The evaluation: a bitboard function of the board and the soul, scored for the side that has
// just moved (the board is taken after MakeMove and before the side switch, so `own` and `side`
// still describe the mover). Material is not part of it; the search adds the board's material.
//
// Sums are kept in 64 bits: soul values are arbitrary 32-bit numbers, and the result is cut to
// 32 bits (and by the search to 16) with the wrap-around of a plain conversion.

#include <algorithm>

#include "engine/clsengine.h"
#include "rules/attacks.h"
#include "rules/bits.h"

namespace drnChess {

namespace {

    using i64 = std::int64_t;

    // Square masks (bit 0 is h1, bit 63 is a8).
    constexpr u64 Centre = 0x0000003C3C000000ULL; // c4-f4, c5-f5
    constexpr u64 BishopPoorSquares = 0xFF818181818181FFULL; // the edge
    constexpr u64 KnightPoorSquares = 0xFFE7C38181C3E7FFULL; // the edge and the squares near a corner
    constexpr u64 CornerEdges = 0xE7818100008181E7ULL; // a1-c1, f1-h1, a2, h2, a3, h3 and mirrored
    constexpr u64 KingCentre = 0x183C7EFFFF7E3C18ULL;
    constexpr u64 KingOffCorner = 0x1CFFFFFFFFFFFF1CULL; // all but a1, b1, c1, g1, h1 and rank 8 alike
    constexpr u64 FilesACFH = 0xA5A5A5A5A5A5A5A5ULL;
    constexpr u64 CornerSetA = 0x03010000000080C0ULL; // a1, b1, a2, h7, g8, h8
    constexpr u64 CornerSetB = 0xC080000000000103ULL; // g1, h1, h2, a7, a8, b8
    constexpr u64 LightSquares = 0xAA55AA55AA55AA55ULL; // h1 and a8 are light
    constexpr u64 OuterRanks = Rank1 | Rank8;
    constexpr u64 QueenHomeRanks = Rank1 | Rank2 | Rank7 | Rank8;
    constexpr u64 ByteSpread = 0x0101010101010101ULL;

    constexpr int CountUpToTwo(u64 b)
    {
        return b == 0 ? 0 : (b & (b - 1)) == 0 ? 1 : 2;
    }

    // The number of set bits of the top byte of b * 0x0101010101010101: for members on different
    // files, the number of files holding exactly one member.
    constexpr int ByteSumCount(u64 b)
    {
        return PopCount((b * ByteSpread) >> 56);
    }

    // Squares a king could move to from its square; 0 without a king.
    int KingMoveCount(u64 king)
    {
        return king ? PopCount(KingAttacks[SquareIndex(king)]) : 0;
    }

    // The same file and both neighbouring files.
    constexpr u64 Widen(u64 f)
    {
        return f | ((f >> 1) & ~FileA) | ((f & ~FileA) << 1);
    }

    // A pawn with another pawn of its colour lower on its file loses its bit through the carry.
    constexpr u64 DoubledOf(u64 x)
    {
        return x & ~(x * ByteSpread);
    }

    // A side's minor pieces on its back rank, grown by 2 when there are two or more and none of its
    // queens stands on ranks 1, 2, 7 or 8.
    int UndevelopedMinors(u64 minors, u64 backRank, u64 queens)
    {
        int count = PopCount(minors & backRank);
        if (count >= 2 && !(queens & QueenHomeRanks)) count += 2;
        return count;
    }

} // namespace

int clsEngine::Evaluate()
{
    const clsBoard& b = board;
    const SoulValues& c = soul_;
    const int us = b.side;
    const u64 own = b.own(), other = b.other();
    const u64 ourKing = own & b.kings(), theirKing = other & b.kings();
    const u64 minors = b.knights() | b.bishops();

    // 1. King area.
    const i64 kingArea
        = i64 { KingMoveCount(ourKing) - KingMoveCount(theirKing) } * c[SoulWeight::KingMobility];

    // 2. A bare enemy king and no pawns of ours: draws by material, else drive it to a corner.
    if (!(other & ~b.kings()) && !(own & b.pawns())) {
        if (!(own & ~b.kings())) return Score::Draw;
        if (b.pieceCount[us] == 2 && (own & minors)) return Score::Draw;
        if (b.pieceCount[us] == 3) {
            const int knights = CountUpToTwo(b.knights());
            const u64 bishops = own & b.bishops();
            // Two bishops on squares of one colour cannot mate; two knights cannot force it.
            const bool sameColourBishops = PopCount(bishops) == 2
                && ((bishops & LightSquares) == bishops || (bishops & ~LightSquares) == bishops);
            if (knights == 0 && sameColourBishops) return Score::Draw;
            if (knights == 2) return Score::Draw;
        }
        const i64 w = c[SoulWeight::BareKingDrive];
        i64 s = kingArea + w;
        if (theirKing & CornerEdges) s += w;
        if (theirKing && (KingAttacks[SquareIndex(theirKing)] & ourKing)) s += w;
        const u64 corner = (own & b.bishops() & FilesACFH) ? CornerSetB : CornerSetA;
        if (theirKing & corner) s += 4 * w;
        return static_cast<int>(s);
    }

    // 3. Pawn terms, cached per node on the pawn bitboard.
    clsSimpleNode* n = current;
    if (n->pawnCacheKey != b.pawns()) {
        n->pawnCacheKey = b.pawns();
        const u64 white = b.pawns() & b.white(), black = b.pawns() & b.black();
        const u64 whiteFill = white | white << 8 | white << 16 | white << 24;
        const u64 blackFill = black | black >> 8 | black >> 16 | black >> 24;
        const u64 whitePassed = white & ~Widen(blackFill);
        const u64 blackPassed = black & ~Widen(whiteFill);
        i64 passed
            = i64 { ByteSumCount(whitePassed) - ByteSumCount(blackPassed) } * c[SoulWeight::PassedPawns];
        if (us == Black) passed = -passed;
        const int doubled = PopCount(DoubledOf(own & b.pawns())) - PopCount(DoubledOf(other & b.pawns()));
        n->pawnScore = static_cast<std::int32_t>(passed - i64 { doubled } * c[SoulWeight::DoubledPawns]);
    }

    // 4. Main sum.
    const auto poorMinors = [&](u64 side) {
        return PopCount(b.knights() & side & KnightPoorSquares)
            + PopCount(b.bishops() & side & BishopPoorSquares);
    };
    const u64 notQueens = ~b.queens();
    i64 s = kingArea;
    s -= i64 { poorMinors(own) - poorMinors(other) } * c[SoulWeight::PoorMinorSquares];
    s += i64 { PopCount(own & notQueens & Centre) - PopCount(other & notQueens & Centre) }
        * c[SoulWeight::CentreOccupation];
    s += i64 { 8 - PopCount(b.rooks() & other & n->rankMask[0]) } * c[SoulWeight::SeventhRankRooks];
    s += n->pawnScore;

    // 5. King safety, with a queen on the board or six pieces or more.
    const int totalPieces = b.pieceCount[0] + b.pieceCount[1];
    if (b.queens() || totalPieces >= 6) {
        const i64 w = c[SoulWeight::KingSafety];
        if (ourKing & KingCentre) s -= w;
        if (theirKing & KingCentre) s += w;
        if (ourKing & KingOffCorner) s -= w;
        if (theirKing & KingOffCorner) s += w;
        // Pawns in front of our king; our pawns in front of theirs (no file masking).
        const u64 ourPawns = own & b.pawns();
        for (int shift : { 8, 7, 9 }) {
            const u64 ahead = us == White ? ourKing << shift : ourKing >> shift;
            const u64 theirAhead = us == White ? theirKing >> shift : theirKing << shift;
            if (ahead & ourPawns) s += w;
            if (theirAhead & ourPawns) s -= w;
        }
    }

    // 6. Development, when we have a queen and six pieces or more are on the board.
    if ((own & b.queens()) && totalPieces >= 6) {
        const u64 ourBack = us == White ? Rank1 : Rank8;
        const u64 theirBack = us == White ? Rank8 : Rank1;
        const int ours = UndevelopedMinors(own & minors, ourBack, own & b.queens());
        const int theirs = UndevelopedMinors(other & minors, theirBack, other & b.queens());
        s += i64 { theirs - ours } * c[SoulWeight::Development];
    }

    // 7. King on an outer rank and not between its rooks.
    const u64 ourRooks = own & b.rooks();
    if ((ourKing & OuterRanks) && (ourRooks & OuterRanks)) {
        if (ourKing > ourRooks || ourKing < LowestBit(ourRooks)) s += c[SoulWeight::KingOutsideRooks];
    }

    // 8. King still on a castling square.
    if (ourKing & b.castle()) s += c[SoulWeight::UnmovedKing];
    if (theirKing & b.castle()) s -= c[SoulWeight::UnmovedKing];

    // 9. Bishops, each side counted up to two.
    s += i64 { CountUpToTwo(own & b.bishops()) - CountUpToTwo(other & b.bishops()) } * c[SoulWeight::Bishops];

    // 10. Trading: signed by whether we are ahead.
    i64 t = i64 { b.pawnCount[us] - 2 * b.pieceCount[us] } * c[SoulWeight::TradingFactor];
    if (b.material + s <= 0) t = -t;
    return static_cast<int>(s + t);
}

} // namespace drnChess
