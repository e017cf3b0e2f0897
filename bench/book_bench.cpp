// Book-building benchmark: reads the shared PGN collection game by game into one book per
// file, as "\buildbooks" does, and prints games, plies, positions and the speed. Exits with 1
// when a game does not replay to its end or the counts differ from the known ones.
//
//   book_bench [--fen] [DIR]
//
// DIR defaults to the pgn folder of the shared data. --fen also collects the FEN results
// (written to a temporary folder, never beside the data).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "book/clspgnfile.h"
#include "rules/clschesscore.h"

namespace {

struct Known {
    const char* name;
    int games;
    std::int64_t plies;
};

constexpr Known KnownFiles[] = {
    { "classic_before1880.pgn", 1977, 145599 },
    { "classic_1880-1904.pgn", 3757, 320045 },
    { "classic_1905-1924.pgn", 5018, 401283 },
    { "classic_1925-later.pgn", 5110, 414293 },
};

} // namespace

int main(int argc, char** argv)
{
    bool fenMode = false;
    std::string dir = std::string(CORVALA_SHARED_DATA) + "/pgn";
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--fen")
            fenMode = true;
        else
            dir = arg;
    }
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() / "corvala_book_bench";
    if (fenMode) std::filesystem::create_directories(scratch);

    auto core = std::make_unique<drnChess::clsChessCore>();
    bool ok = true;
    int games = 0;
    std::int64_t plies = 0;
    double seconds = 0;
    for (const Known& k : KnownFiles) {
        const std::string path = dir + "/" + k.name;
        if (!std::filesystem::exists(path)) {
            std::printf("%s: missing, skipped\n", path.c_str());
            continue;
        }
        drnChess::clsPGNFile file;
        const auto start = std::chrono::steady_clock::now();
        int n = 0;
        if (fenMode) {
            std::string text;
            {
                std::FILE* f = std::fopen(path.c_str(), "rb");
                char buf[1 << 16];
                for (std::size_t got; f && (got = std::fread(buf, 1, sizeof buf, f)) > 0;)
                    text.append(buf, got);
                if (f) std::fclose(f);
            }
            n = file.BuildFromText(text, *core, 0, true, (scratch / (std::string(k.name) + ".txt")).string());
        } else {
            n = file.Build(path, *core, 0, false);
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const bool good = n == k.games && file.Plies() == k.plies && file.IncompleteGames() == 0;
        std::printf("%-24s games %5d plies %7lld positions %7d  %6.2f s  %8.0f plies/s%s\n", k.name, n,
            static_cast<long long>(file.Plies()), file.Book().Count(), s, s > 0 ? file.Plies() / s : 0.0,
            good ? "" : "  MISMATCH");
        for (const std::string& problem : file.Problems())
            std::printf("  %s\n", problem.c_str());
        ok = ok && good;
        games += n;
        plies += file.Plies();
        seconds += s;
    }
    std::printf("total: %d games, %lld plies, %.2f s, %.0f plies/s\n", games, static_cast<long long>(plies),
        seconds, seconds > 0 ? plies / seconds : 0.0);
    if (fenMode) std::filesystem::remove_all(scratch);
    return ok ? 0 : 1;
}
