// libFuzzer entry for EPD lines: the rules core reads the position and its operations, and the
// opening reader takes the text as a suite (each accepted line must then load and play).

#include <memory>
#include <string>

#include "fuzz/fuzz_common.h"
#include "rules/clschesscore.h"
#include "tourney/openings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static auto core = std::make_unique<drnChess::clsChessCore>();
    const std::string_view text = fuzzing::Text(data, size);
    const std::size_t eol = text.find('\n');
    core->SetFromFEN(text.substr(0, eol));
    core->positionOps.Value("bm");
    core->positionOps.Value("id");
    core->GenerateMoves(-1);
    core->FilterLegalMoves();

    drnChess::clsOpeningSettings settings;
    const drnChess::clsOpeningSuite suite = drnChess::ReadOpeningSuite(text, settings);
    for (const drnChess::clsOpening& o : suite.openings) {
        core->SetFromFEN(o.fen);
        core->GenerateMoves(-1);
        if (core->FilterLegalMoves() == 0) __builtin_trap(); // accepted openings have a move
    }
    return 0;
}
