// libFuzzer entry for FEN reading (what "setboard" and EPD lines hand the rules core): any text
// must load, and the position it gives must survive generation, the legality filter, every
// legal move made as a game move, a two-ply perft and being written back. The opening reader's
// validation must accept only what the core then plays without trouble.

#include <memory>
#include <string>

#include "fuzz/fuzz_common.h"
#include "rules/clschesscore.h"
#include "tourney/openings.h"

using drnChess::clsChessCore;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static auto core = std::make_unique<clsChessCore>();
    const std::string_view fen = fuzzing::Text(data, size);
    drnChess::CheckStartFen(fen);

    core->SetFromFEN(fen);
    const std::string written = core->GetFEN();
    core->BoardDiagram();
    core->BoardReportLine();
    core->GenerateMoves(-1);
    core->FilterLegalMoves();
    core->MoveListText();
    core->PerftDriver(2, false);

    // Each legal move as a game move from the position written back.
    core->SetFromFEN(written);
    core->GenerateMoves(-1);
    core->FilterLegalMoves();
    std::vector<std::string> moves;
    const drnChess::clsSimpleNode* root = core->current;
    for (const drnChess::clsMove* m = root->firstMove; m != clsChessCore::Next(root)->firstMove; ++m)
        moves.push_back(drnChess::MoveToText(*m, false));
    for (const std::string& m : moves) {
        core->SetFromFEN(written);
        core->ApplyGameMove(m);
        core->GetFEN();
    }
    return 0;
}
