// Book-file benchmark: a book of one million positions is saved, loaded (which must stay
// linear: records are appended, the file being sorted) and probed, by key and by position.
//
//   bookfile_bench [POSITIONS]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "book/clsbook.h"
#include "rules/clschesscore.h"
#include "rules/random.h"

using namespace drnChess;

namespace {
double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}
} // namespace

int main(int argc, char** argv)
{
    const int positions = argc > 1 ? std::atoi(argv[1]) : 1000000;
    SeedRandom(1);
    std::vector<clsBookEntry> entries(static_cast<std::size_t>(positions));
    std::vector<u64> keys;
    for (auto& e : entries) {
        e.key = NextRandom();
        e.wins = static_cast<std::int32_t>(NextRandom() % 50);
        e.losses = static_cast<std::int32_t>(NextRandom() % 50);
        e.draws = static_cast<std::int32_t>(NextRandom() % 50);
        if (keys.size() < 100000) keys.push_back(e.key);
    }
    clsBook book;
    auto t = std::chrono::steady_clock::now();
    book.AddOrMergeAll(entries);
    std::printf("build   %d positions in %.3f s\n", book.Count(), Seconds(t));

    std::string path = (std::filesystem::temp_directory_path() / "corvala_bookfile_bench.cbk").string();
    t = std::chrono::steady_clock::now();
    if (!book.Save(path)) {
        std::printf("save failed\n");
        return 1;
    }
    std::printf("save    %.3f s, %ju bytes\n", Seconds(t),
        static_cast<std::uintmax_t>(std::filesystem::file_size(path)));

    clsBook loaded;
    t = std::chrono::steady_clock::now();
    if (!loaded.Load(path)) {
        std::printf("load failed\n");
        return 1;
    }
    std::printf("load    %.3f s, %d positions\n", Seconds(t), loaded.Count());
    if (loaded.Count() != book.Count() || !loaded.IsSorted()) {
        std::printf("load gave a different book\n");
        return 1;
    }

    t = std::chrono::steady_clock::now();
    std::size_t found = 0;
    for (u64 k : keys)
        found += loaded.Find(k) != nullptr;
    double probe = Seconds(t);
    std::printf("find    %zu keys in %.3f s (%.0f ns each), %zu found\n", keys.size(), probe,
        probe * 1e9 / static_cast<double>(keys.size()), found);

    clsChessCore core;
    core.SetFromFEN(StartFEN);
    std::vector<clsBookEntryExt> candidates;
    t = std::chrono::steady_clock::now();
    const int rounds = 10000;
    for (int i = 0; i < rounds; ++i)
        CollectCandidates(core, loaded, candidates);
    std::printf("probe   start position %d times in %.3f s (%.1f us each)\n", rounds, Seconds(t),
        Seconds(t) * 1e6 / rounds);
    std::filesystem::remove(path);
    return found == keys.size() ? 0 : 1;
}
