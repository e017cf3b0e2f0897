// Reading the shared collection of real games: every game must replay to its last move.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "book/clspgnfile.h"
#include "rules/clschesscore.h"

using namespace drnChess;

namespace {

struct PgnFileCounts {
    const char* name;
    int games;
    std::int64_t plies; // move tokens of the file, counted with a separate script
};

void PrintTo(const PgnFileCounts& f, std::ostream* os)
{
    *os << f.name;
}

constexpr PgnFileCounts Files[] = {
    { "classic_before1880.pgn", 1977, 145599 },
    { "classic_1880-1904.pgn", 3757, 320045 },
    { "classic_1905-1924.pgn", 5018, 401283 },
    { "classic_1925-later.pgn", 5110, 414293 },
};

void ReadWholeFile(const PgnFileCounts& f)
{
    const std::string path = std::string(CORVALA_SHARED_DATA) + "/pgn/" + f.name;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "shared PGN data not found: " << path;
    auto core = std::make_unique<clsChessCore>();
    clsPGNFile file;
    int replayed = 0;
    file.onGame = [&](const clsGame& game, int number, bool complete, clsChessCore&) {
        EXPECT_TRUE(complete) << f.name << " game " << number << " " << game.Tag("White") << " - "
                              << game.Tag("Black");
        EXPECT_NE(game.ResultCode, GameResult::Unfinished) << f.name << " game " << number;
        replayed += complete ? 1 : 0;
    };
    EXPECT_EQ(file.Build(path, *core, 0, false), f.games) << f.name;
    EXPECT_EQ(replayed, f.games) << f.name;
    EXPECT_EQ(file.IncompleteGames(), 0) << f.name;
    EXPECT_EQ(file.Plies(), f.plies) << f.name;
    // Every ply put a position into the book; transpositions make the count smaller.
    EXPECT_GT(file.Book().Count(), 0);
    EXPECT_LE(file.Book().Count(), f.plies);
    EXPECT_TRUE(file.Book().IsSorted());
}

} // namespace

class RealPgnData : public testing::TestWithParam<PgnFileCounts> { };

// About 2 s per file in the sanitizer build; one test per file so that ctest can spread them.
TEST_P(RealPgnData, EveryGameReplaysToItsEnd)
{
    ReadWholeFile(GetParam());
}

INSTANTIATE_TEST_SUITE_P(SharedPgnFiles, RealPgnData, testing::ValuesIn(Files),
    [](const testing::TestParamInfo<PgnFileCounts>& param) { return "File" + std::to_string(param.index); });
