// libFuzzer entry for a soul text ("name=v0 v1 ... v15"): read, applied to an engine, and used
// by a four-ply search of a position with castling and promotions (the values reach the
// evaluation and the castling bonus of make-move).

#include <memory>
#include <string>

#include "dranbase/clsstring.h"
#include "engine/clsengine.h"
#include "engine/souls.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static auto engine = [] {
        auto e = std::make_unique<drnChess::clsEngine>(dranbase::clsStrings {}, nullptr);
        e->SetKeepLines(false);
        e->SetEcho(false);
        return e;
    }();
    const std::string_view text = fuzzing::Text(data, size);
    std::string name;
    drnChess::SoulValues values {};
    drnChess::ParseSoulText(text, name, values);
    drnChess::SoulValuesText(values);

    engine->SelectSoul(std::string(text));
    engine->SoulText();
    engine->SetFromFEN("r3k2r/1P6/8/2pP4/8/8/6p1/R3K2R w KQkq c6 0 1");
    std::uint64_t nodes = 0;
    engine->FourPlyProbe(&nodes);
    engine->SelectSoul("Simple5");
    return 0;
}
