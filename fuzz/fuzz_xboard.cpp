// libFuzzer entry for the console command line: each input line goes through the application's
// command dispatch, as typed. The application object is built once; "force" follows every
// command so that no think starts (the dispatch runs on this thread, never the engine's).
// Left out: commands that start threads or long work (go, white, black, playother, perft,
// divide, \tourney, \learn, \play, \console, \epd, \testsouls), that touch files (\loadsoul,
// \loadbook, \savebook, \buildbooks, \cvbooks, \mergebooks, \learnt) and those that resize
// memory or grow the option list without bound (memory, cores, option), and quit.

#include <string>

#include "dranbase/clsstring.h"
#include "fuzz/fuzz_app.h"
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
    drnChess::clsCorvala& app = fuzzing::QuietApp();
    fuzzing::ForEachLine(fuzzing::Text(data, size), [&](const std::string& line) {
        const std::string word = line.substr(0, line.find(' '));
        if (Excluded(word)) return;
        app.ExecuteLine(line);
        app.ExecuteLine("force");
    });
    app.ExecuteLine("new");
    app.ExecuteLine("force");
    return 0;
}
