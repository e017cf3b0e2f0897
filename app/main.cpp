// Program entry: the command line becomes the option table, the application object runs on a
// thread of its own, and the main thread waits for it.

#include <memory>

#include <unistd.h>

#include "app/clscorvala.h"
#include "dranbase/console.h"
#include "rules/random.h"

int main(int argc, char** argv)
{
    dranbase::clsStrings options;
    for (int i = 1; i < argc; ++i) {
        auto [key, value] = dranbase::SplitFirst(argv[i], '=');
        options.Add(key, value);
    }
    // A fixed seed makes the hash keys, book choices and random moves repeat from run to run.
    std::string seed = options.Value("-seed");
    if (options.Has("-seed")) drnChess::SeedRandom(static_cast<drnChess::u64>(dranbase::ToInt(seed)));

    // Behind a pipe the program may be talking to a UCI interface, which must not see the
    // start-up lines: they wait for the first command (a person at a terminal sees them at once).
    if (!isatty(STDIN_FILENO)) dranbase::Output().Hold();
    auto app = std::make_unique<drnChess::clsCorvala>(options);
    if (app->Start()) app->Wait();
    dranbase::Output().Write("# stop", true);
    const int exitCode = app->ExitCode();
    app.reset();
    return exitCode;
}
