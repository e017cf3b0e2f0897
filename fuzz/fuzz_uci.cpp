// libFuzzer entry for UCI mode's own parsers: each input line is a "position" line handed to the
// UCI dispatch (FEN and moves read against the position), or a "go" line read into its record
// (a think is never started, so the run stays on this thread).

#include <string>

#include "app/ucigo.h"
#include "fuzz/fuzz_app.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    drnChess::clsCorvala& app = fuzzing::QuietApp();
    fuzzing::ForEachLine(fuzzing::Text(data, size), [&](const std::string& line) {
        if (line.rfind("go", 0) == 0) {
            const drnChess::clsGoRequest go = drnChess::ParseGo(line.substr(2));
            if (go.depth < 0 || go.mate < 0) __builtin_trap(); // the reader promises its ranges
        } else {
            app.UciCommand("position " + line);
        }
    });
    return 0;
}
