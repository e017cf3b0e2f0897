// The tournament's resume state: written whole, read back, refused when damaged or when the
// tournament file changed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "book/clsgame.h"
#include "dranbase/clsxml.h"
#include "tourney/tourneystate.h"

using namespace drnChess;

namespace {
clsTourneyState SampleState()
{
    clsTourneyState s;
    s.fingerprint = "0123456789abcdef";
    s.MarkFinished(4, GameResult::Draw | GameResult::Repetition, "cup 1\tgame 5%.pgn"); // odd name
    s.MarkFinished(0, GameResult::WhiteWon | GameResult::Mate, "cup_001.pgn");
    s.MarkFinished(2, GameResult::BlackWon, "cup_003.pgn");
    return s;
}

std::string Fingerprint(const std::string& xml)
{
    dranbase::clsXML doc;
    doc.Parse(xml);
    return TourneyFingerprint(doc);
}

struct TempDir {
    std::filesystem::path path = std::filesystem::temp_directory_path()
        / ("corvala_state_" + std::to_string(::getpid()) + "_"
            + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempDir() { std::filesystem::create_directories(path); }
    ~TempDir() { std::filesystem::remove_all(path); }
};
} // namespace

TEST(TourneyState, RecordsAreKeptByIndexOncePerGame)
{
    clsTourneyState s = SampleState();
    s.MarkFinished(2, GameResult::WhiteWon, "again.pgn"); // a replayed game replaces its record
    ASSERT_EQ(s.games.size(), 3u);
    EXPECT_EQ(s.games[0].index, 0);
    EXPECT_EQ(s.games[1].index, 2);
    EXPECT_EQ(s.games[2].index, 4);
    ASSERT_NE(s.Find(2), nullptr);
    EXPECT_EQ(s.Find(2)->pgnFile, "again.pgn");
    EXPECT_EQ(s.Find(1), nullptr);
    EXPECT_EQ(s.Find(5), nullptr);
}

TEST(TourneyState, SavedAndLoadedWhole)
{
    TempDir dir;
    const std::string path = (dir.path / "cup.state").string();
    EXPECT_EQ(LoadTourneyState(path, "x").status, StateStatus::Missing);

    const clsTourneyState s = SampleState();
    ASSERT_TRUE(SaveTourneyState(path, s));
    const clsStateRead r = LoadTourneyState(path, s.fingerprint);
    ASSERT_EQ(r.status, StateStatus::Loaded) << r.message;
    ASSERT_EQ(r.state.games.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(r.state.games[i].index, s.games[i].index);
        EXPECT_EQ(r.state.games[i].resultCode, s.games[i].resultCode);
        EXPECT_EQ(r.state.games[i].pgnFile, s.games[i].pgnFile);
    }
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);

    const clsStateRead other = LoadTourneyState(path, "fedcba9876543210");
    EXPECT_EQ(other.status, StateStatus::OtherTourney);
    EXPECT_TRUE(other.state.games.empty());
    EXPECT_NE(other.message.find("delete it to start the tournament afresh"), std::string::npos);
    EXPECT_NE(other.message.find(path), std::string::npos);

    EXPECT_FALSE(SaveTourneyState((dir.path / "no" / "such" / "folder.state").string(), s));
    EXPECT_EQ(StateFileName("logs/cup.log"), "logs/cup.state");
}

// Every cut of a good file, and every single-character change of it, is refused as damaged.
TEST(TourneyState, TruncatedOrGarbledIsRefused)
{
    const clsTourneyState s = SampleState();
    const std::string text = StateText(s);
    for (std::size_t n = 0; n < text.size(); ++n) {
        const clsStateRead r = ParseStateText(text.substr(0, n), s.fingerprint, "f");
        ASSERT_EQ(r.status, StateStatus::Damaged) << "cut at " << n;
        EXPECT_TRUE(r.state.games.empty());
    }
    for (std::size_t n = 0; n < text.size(); ++n) {
        std::string bad = text;
        bad[n] = bad[n] == '7' ? '8' : '7';
        EXPECT_EQ(ParseStateText(bad, s.fingerprint, "f").status, StateStatus::Damaged) << "changed at " << n;
    }
    const clsStateRead r = ParseStateText(std::string("\0\xff garbage\n", 11), s.fingerprint, "f");
    EXPECT_EQ(r.status, StateStatus::Damaged);
    EXPECT_NE(r.message.find("damaged"), std::string::npos);
    EXPECT_EQ(ParseStateText(text, s.fingerprint, "f").status, StateStatus::Loaded);
}

// Rows: a change to the tournament file and whether it makes another tournament.
TEST(TourneyState, FingerprintFollowsPlayersAndOptions)
{
    const std::string base
        = "<tourney name=\"cup\" type=\"roundrobin\"><options><rounds>2</rounds>"
          "<threads>1</threads><clock game_ms=\"6000\"/></options><engines>"
          "<engine active=\"true\" name=\"a\" protocol=\"xboard\"><filename>a</filename></engine>"
          "</engines></tourney>";
    auto variant = [&](const std::string& from, const std::string& to) {
        std::string v = base;
        v.replace(v.find(from), from.size(), to);
        return v;
    };
    const std::string f = Fingerprint(base);
    EXPECT_EQ(f.size(), 16u);
    const std::tuple<std::string, std::string, bool> cases[] = {
        { "<rounds>2</rounds>", "<rounds>3</rounds>", true },
        { "game_ms=\"6000\"", "game_ms=\"7000\"", true },
        { "name=\"a\"", "name=\"b\"", true },
        { "<filename>a</filename>", "<filename>b</filename>", true },
        { "type=\"roundrobin\"", "type=\"gauntlet\"", true },
        { "<threads>1</threads>", "<threads>2</threads>", false },
        { "<options>", "<options>\n   <!-- a note -->\n   <verbose>true</verbose>", false },
        { "</engines>", "</engines>\n", false },
    };
    for (const auto& [from, to, differs] : cases) {
        SCOPED_TRACE(to);
        EXPECT_EQ(Fingerprint(variant(from, to)) != f, differs);
    }
}
