#include "rules/movewriter.h"

#include <bit>

#include "rules/bits.h"
#include "rules/clschesscore.h"

namespace drnChess {

namespace {

    int FileOf(u64 square)
    {
        return 7 - std::countr_zero(square) % 8;
    }
    int RankOf(u64 square)
    {
        return std::countr_zero(square) / 8;
    }

    // The legal moves of the core's position, at a freshly reset root.
    void LegalRootMoves(clsChessCore& core, clsMove** first, clsMove** end)
    {
        core.ResetNodeStack();
        core.GenerateMoves(-1);
        core.FilterLegalMoves();
        clsSimpleNode* root = core.Root();
        *first = root->firstMove;
        *end = clsChessCore::Next(root)->firstMove;
    }

} // namespace

std::string CoordinateText(const clsMove& move)
{
    if (move.from == 0 || move.to == 0) return {};
    std::string s = SquareToText(move.from) + SquareToText(move.to);
    if (move.Promotion()) s.push_back(PromotionLetter(move.Promotion()));
    return s;
}

std::string SanText(clsChessCore& core, const clsMove& move)
{
    if (move.Has(MoveFlag::Castling)) return FileOf(move.to) == 6 ? "O-O" : "O-O-O";
    const bool capture = move.Captured() != 0 || move.Has(MoveFlag::EnPassant);
    std::string san;
    if (move.Moving() == Pawn) {
        if (capture) {
            san.push_back(static_cast<char>('a' + FileOf(move.from)));
            san.push_back('x');
        }
        san += SquareToText(move.to);
        if (move.Promotion()) {
            san.push_back('=');
            san.push_back(PieceLetters[move.Promotion() & 7]);
        }
        return san;
    }

    // A piece: its letter, then as much of the origin as tells it from a twin of the same kind
    // that can reach the same square (file first, then rank, then both).
    clsMove* first = nullptr;
    clsMove* end = nullptr;
    LegalRootMoves(core, &first, &end);
    bool twin = false, sameFile = false, sameRank = false;
    for (const clsMove* m = first; m < end; ++m) {
        if (m->to != move.to || m->Moving() != move.Moving() || m->from == move.from) continue;
        twin = true;
        if (FileOf(m->from) == FileOf(move.from)) sameFile = true;
        if (RankOf(m->from) == RankOf(move.from)) sameRank = true;
    }
    san.push_back(PieceLetters[move.Moving() & 7]);
    const std::string origin = SquareToText(move.from);
    if (twin) {
        if (!sameFile)
            san.push_back(origin[0]);
        else if (!sameRank)
            san.push_back(origin[1]);
        else
            san += origin;
    }
    if (capture) san.push_back('x');
    san += SquareToText(move.to);
    return san;
}

std::string CheckMarkText(clsChessCore& core)
{
    if (!core.IsAttacked(core.board.own() & core.board.kings())) return {};
    clsMove* first = nullptr;
    clsMove* end = nullptr;
    LegalRootMoves(core, &first, &end);
    return first < end ? "+" : "#";
}

} // namespace drnChess
