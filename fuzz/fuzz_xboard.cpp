// libFuzzer entry for the console command line: each input line goes through the application's
// command dispatch, as typed. The application object is built once; "force" follows every
// command so that no think starts (the dispatch runs on this thread, never the engine's).
// Left out: commands that start threads or long work (go, white, black, playother, perft,
// divide, \tourney, \learn, \play, \console, \epd, \testsouls), that touch files (\loadsoul,
// \loadbook, \savebook, \buildbooks, \cvbooks, \mergebooks, \learnt) and those that resize
// memory or grow the option list without bound (memory, cores, option), and quit.

#include <memory>
#include <string>

#include "app/clscorvala.h"
#include "dranbase/clsstring.h"
#include "fuzz/fuzz_common.h"

namespace {
bool Excluded(const std::string& word)
{
    static const char* const words[] = { "go", "white", "black", "playother", "perft", "divide", "\\tourney",
        "\\learn", "\\play", "\\console", "\\epd", "\\testsouls", "\\loadsoul", "\\loadbook", "\\savebook",
        "\\buildbooks", "\\cvbooks", "\\mergebooks", "\\learnt", "memory", "cores", "option", "quit" };
    for (const char* w : words)
        if (dranbase::EqualsNoCase(word, w)) return true;
    return false;
}
} // namespace

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
        const std::string word = line.substr(0, line.find(' '));
        if (Excluded(word)) continue;
        app->ExecuteLine(line);
        app->ExecuteLine("force");
    }
    app->ExecuteLine("new");
    app->ExecuteLine("force");
    return 0;
}
