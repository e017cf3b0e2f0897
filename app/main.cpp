// Program entry: the command line becomes the option table, the application object runs on a
// thread of its own, and the main thread waits for it.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "app/clscorvala.h"
#include "app/datagen.h"
#include "app/tune.h"
#include "dranbase/console.h"
#include "rules/random.h"
#include "tourney/matchcli.h"

int main(int argc, char** argv)
{
    // The match command line reads every word after "-use=match" itself: no banner, no console.
    if (argc > 1 && std::string_view(argv[1]) == "-use=match")
        return drnChess::RunMatchCommand(std::vector<std::string>(argv + 2, argv + argc));
    if (argc > 1 && (std::string_view(argv[1]) == "-h" || std::string_view(argv[1]) == "--help")) {
        std::puts(
            "usage: corvala [key=value ...]  (memory=MIB book=FILE -soul=TEXT -load=FILE -log=FILE\n"
            "       -search=classic|strong -threads=N -weights=FILE -seed=N -nopopcnt -random -timed "
            "-proportional[=P]);\n"
            "       corvala -use=tourney -ini=FILE    plays a tournament to its end\n"
            "       corvala -use=jobs -ini=FILE       prints one command per game (for GNU parallel)\n"
            "       corvala -use=game -ini=FILE -game=N   plays game N of a tournament\n"
            "       corvala -use=match OPTIONS...     plays a match from the command line (-use=match "
            "--help)\n"
            "       corvala -use=datagen -out=FILE -games=N ...   self-play positions for tuning\n"
            "       corvala -use=tune -data=FILE[,FILE] -out=WEIGHTS ...   tunes the strong evaluation;\n"
            "       the first command \"uci\" switches to UCI, anything else is xboard or the console.");
        for (const auto& line : drnChess::clsCorvala::HelpLines())
            std::puts(line.c_str());
        return 0;
    }
    dranbase::clsStrings options;
    for (int i = 1; i < argc; ++i) {
        auto [key, value] = dranbase::SplitFirst(argv[i], '=');
        options.Add(key, value);
    }
    // A fixed seed makes the hash keys, book choices and random moves repeat from run to run.
    std::string seed = options.Value("-seed");
    if (options.Has("-seed")) drnChess::SeedRandom(static_cast<drnChess::u64>(dranbase::ToInt(seed)));

    // Learning tools run without the command loop.
    const std::string use = options.Value("-use");
    if (use == "datagen") return drnChess::RunDatagen(options);
    if (use == "tune") return drnChess::RunTune(options);

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
