// libFuzzer entry for UCI mode's own parsers: each input line is a "position" line handed to the
// UCI dispatch (FEN and moves read against the position), or a "go" line read into its record
// (a think is never started, so the run stays on this thread).

#include <memory>
#include <string>

#include "app/clscorvala.h"
#include "app/ucigo.h"
#include "dranbase/clsstring.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static auto app = [] {
        auto a = std::make_unique<drnChess::clsCorvala>(dranbase::clsStrings {});
        a->SetKeepLines(false);
        a->SetEcho(false);
        a->Engine().SetKeepLines(false);
        a->Engine().SetEcho(false);
        return a;
    }();
    const std::string_view text = fuzzing::Text(data, size);
    std::size_t pos = 0;
    for (int lines = 0; pos < text.size() && lines < 32; ++lines) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        const std::string line(text.substr(pos, eol - pos));
        pos = eol + 1;
        if (line.rfind("go", 0) == 0) {
            const drnChess::clsGoRequest go = drnChess::ParseGo(line.substr(2));
            if (go.depth < 0 || go.mate < 0) __builtin_trap(); // the reader promises its ranges
        } else {
            app->UciCommand("position " + line);
        }
    }
    return 0;
}
