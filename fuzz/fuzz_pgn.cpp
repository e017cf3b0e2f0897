// libFuzzer entry for PGN text: split into games, each game read and replayed, and the whole
// text read as an opening suite of eight plies per game.

#include <memory>
#include <string>

#include "book/clsgame.h"
#include "book/clspgnfile.h"
#include "fuzz/fuzz_common.h"
#include "rules/clschesscore.h"
#include "tourney/openings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static auto core = std::make_unique<drnChess::clsChessCore>();
    const std::string_view text = fuzzing::Text(data, size);
    for (const drnChess::clsGameText& g : drnChess::SplitGames(text)) {
        drnChess::clsGame game;
        std::string error;
        drnChess::ReadPgnGame(g.text, *core, game, 0, {}, &error);
        game.PgnText();
        game.ResultText();
        game.ReasonText();
    }
    drnChess::clsOpeningSettings settings;
    settings.format = drnChess::OpeningFormat::Pgn;
    settings.plies = 8;
    drnChess::ReadOpeningSuite(text, settings);
    return 0;
}
