// Perft: leaf counts of the legal move tree, the rules core's self-test.

#include <algorithm>
#include <memory>

#include "rules/fastperft.h"

#include "rules/clschesscore.h"

namespace drnChess {

std::uint32_t clsChessCore::PerftDriver(
    int depth, bool divide, const std::function<void(const std::string&)>& divideLine)
{
    // 1.
    ResetNodeStack();
    nodeCount = 0;
    ttHits = 0;
    repetitionHits = 0;
    // 2. Nothing to count; beyond MaxPerftDepth the node stack would overflow.
    if (depth <= 0 || depth > MaxPerftDepth) return 0;
    // 3.
    maxPly = std::min(depth, NodeStackSize);
    divideFlag = divide;
    divideLine_ = divideLine;
    // 4. The fast position takes every sound board; divide counts with it below each root move.
    auto position = std::make_unique<fast::FastPosition>();
    if (position->SetFromBoard(board)) {
        nodeCount = !divide || depth == 1 ? fast::Perft(*position, depth, &perftStop)
                                          : DivideFast(depth, *position);
        divideLine_ = nullptr;
        return static_cast<std::uint32_t>(nodeCount);
    }
    nodeCount = Perft(depth - 1);
    divideLine_ = nullptr;
    return static_cast<std::uint32_t>(nodeCount);
}

std::uint64_t clsChessCore::DivideFast(int depth, fast::FastPosition& position)
{
    clsSimpleNode* const n = current;
    n->boardCopy = board;
    GenerateMoves(-1);
    std::uint64_t count = 0;
    const clsMove* const end = Next(n)->firstMove;
    for (clsMove* m = n->firstMove; m < end && !perftStop.load(std::memory_order_relaxed); ++m) {
        MakeMove(*m);
        if (!IsAttacked(board.own() & board.kings())) {
            SetEnPassantAfter(*m);
            board.SwitchSide();
            // After a legal move the board is always one the fast position takes.
            const std::uint64_t sub
                = position.SetFromBoard(board) ? fast::Perft(position, depth - 1, &perftStop) : 0;
            if (divideLine_) divideLine_(MoveToText(*m, true) + " " + std::to_string(sub));
            count += sub;
        } else {
            m->flags |= MoveFlag::Illegal;
        }
        board = n->boardCopy;
    }
    return count;
}

std::uint64_t clsChessCore::Perft(int remaining)
{
    clsSimpleNode* const n = current;
    n->boardCopy = board;
    n->castleCopy = board.castle();
    GenerateMoves(-1);
    std::uint64_t count = 0;
    const clsMove* const end = Next(n)->firstMove;
    for (clsMove* m = n->firstMove; m < end; ++m) {
        if (remaining >= 3 && perftStop.load(std::memory_order_relaxed)) break;
        // A king can be taken: the move that led here was illegal.
        if (m->Captured() == King) return 0;
        MakeMove(*m);
        if (IsAttacked(board.own() & board.kings())) {
            m->flags |= MoveFlag::Illegal;
        } else if (remaining == 0) {
            ++count;
        } else {
            n->currentMove = m;
            board.SwitchSide();
            current = Next(n);
            const std::uint64_t sub = Perft(remaining - 1);
            current = n;
            if (n == Root() && divideFlag && divideLine_)
                divideLine_(MoveToText(*m, true) + " " + std::to_string(sub));
            count += sub;
        }
        board = n->boardCopy;
    }
    return count;
}

} // namespace drnChess
