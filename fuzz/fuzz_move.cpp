// libFuzzer entry for move text: the first byte picks a position, the rest is read as a move
// in every way the program reads one (coordinate, SAN through the book layer's reader and the
// rules' pattern matching) and, when it names a move, played as a game move.

#include <memory>
#include <string>

#include "book/clsgame.h"
#include "fuzz/fuzz_common.h"
#include "rules/clschesscore.h"

using drnChess::clsChessCore;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static auto core = std::make_unique<clsChessCore>();
    if (size == 0) return 0;
    const char* fen = fuzzing::Positions[data[0] % fuzzing::PositionCount];
    const std::string_view text = fuzzing::Text(data + 1, size - 1);

    std::uint64_t from = 0, to = 0;
    int promotion = 0;
    drnChess::ParseCoordinateMove(text, &from, &to, &promotion);

    core->SetFromFEN(fen);
    const std::string resolved = drnChess::ResolveMoveText(*core, text);
    const std::string coordinate = core->SanToCoordinate(text);
    core->SetFromFEN(fen);
    core->ApplyGameMove(text);
    if (!resolved.empty()) {
        core->SetFromFEN(fen);
        if (!core->ApplyGameMove(resolved)) __builtin_trap(); // a resolved move must be playable
    }
    if (!coordinate.empty()) {
        core->SetFromFEN(fen);
        core->ApplyGameMove(coordinate);
    }
    drnChess::SplitMoveText(text);
    return 0;
}
