#pragma once
// One search node: the generator's and the search's per-ply record.

#include "rules/clsboard.h"
#include "rules/clsmove.h"

namespace drnChess {

struct clsTT; // transposition-table entry, owned by the engine's share

struct clsSimpleNode {
    clsMove* firstMove; // first move of this node's list in the move stack
    clsMove* currentMove; // the move being searched
    u64 castleCopy; // board castle rights when the node started
    u64 pawnCacheKey; // pawn bitboard last scored here; 1 when generation starts
    u64 rankMask[2]; // rank 2 / rank 7 in the order set at reset
    u64 kingNeighbourhood; // KingAttacks of the own king
    u64 kingSquare; // own king
    u64 pinMask; // own king plus every king line an enemy slider of its kind stands on
    u64 positionKey;
    clsTT* entry; // this position's table entry, or null
    std::uint8_t inCheck;
    std::int32_t best;
    std::int32_t pawnScore;
    std::int32_t legalCount; // root only
    std::int32_t ply;
    std::int32_t movesMade;
    std::int32_t stage;
    clsBoard boardCopy; // the board as it was when the node started
};
static_assert(sizeof(clsSimpleNode) == 248, "the node record is 248 bytes");

} // namespace drnChess
