// libFuzzer entry for the tournament's own files: a resume state text, and the match options
// (<openings>, <sprt>) and fingerprint of a tournament description.

#include <string>

#include "dranbase/clsxml.h"
#include "fuzz/fuzz_common.h"
#include "tourney/openings.h"
#include "tourney/tourneystate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = fuzzing::Text(data, size);
    const drnChess::clsStateRead r = drnChess::ParseStateText(text, "0123456789abcdef", "fuzz");
    if (r.status == drnChess::StateStatus::Loaded) {
        // What was read must write back to a text that reads the same.
        const drnChess::clsStateRead again
            = drnChess::ParseStateText(drnChess::StateText(r.state), r.state.fingerprint, "fuzz");
        if (again.status != drnChess::StateStatus::Loaded || again.state.games.size() != r.state.games.size())
            __builtin_trap();
    }
    dranbase::clsXML doc;
    doc.Parse(text);
    drnChess::TourneyFingerprint(doc);
    if (const dranbase::clsXML* options = doc.FindPath("tourney/options"))
        drnChess::ReadMatchOptions(*options);
    return 0;
}
