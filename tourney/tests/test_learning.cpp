// Genetic learning: the breeding rules, the learning file, and a short run continued from it.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <unistd.h>

#include "dranbase/clsstring.h"
#include "engine/clsengine.h"
#include "rules/random.h"
#include "tourney/learning.h"
#include "tourney/tests/test_referee_support.h"

using namespace drnChess;

namespace {
std::vector<clsBreedMember> PowerMembers(int n)
{
    // Member k holds 2^(k+10) everywhere: copies keep one bit, averages of two members show two.
    std::vector<clsBreedMember> m(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        m[static_cast<std::size_t>(k)].values.fill(1 << (k + 10));
    return m;
}

int SingleBit(std::int32_t v)
{
    for (int b = 0; b < 31; ++b)
        if (v == (1 << b)) return b;
    return -1;
}
} // namespace

TEST(Breeding, TwoMembersNeverChange)
{
    SeedRandom(11);
    auto m = PowerMembers(2);
    for (int i = 0; i < 50; ++i) {
        Breed(m);
        EXPECT_EQ(m[0].values[0], 1 << 10);
        EXPECT_EQ(m[1].values[0], 1 << 11);
    }
}

TEST(Breeding, WorseTakesFromBetterWithTheSpecifiedShares)
{
    SeedRandom(12);
    const int n = 16;
    int copies = 0, averages = 0, fresh = 0;
    for (int round = 0; round < 400; ++round) {
        auto m = PowerMembers(n);
        m[5].isProtected = true;
        Breed(m);
        for (int k = 0; k < n; ++k) {
            for (auto v : m[static_cast<std::size_t>(k)].values) {
                if (v == (1 << (k + 10))) continue; // unchanged
                ASSERT_NE(k, 5) << "a protected member was overwritten";
                ASSERT_NE(k, n - 1) << "the last-ranked member is never picked";
                ASSERT_NE(k, 0) << "the best member only gives";
                if (v < 105) {
                    ++fresh;
                } else if (int b = SingleBit(v); b >= 0) {
                    EXPECT_LT(b - 10, k) << "copied from a worse-ranked member";
                    EXPECT_NE(b - 10, n - 1);
                    ++copies;
                } else {
                    ++averages;
                }
            }
        }
    }
    // 60 : 8 : 2 of the draws that change a value.
    int changed = copies + averages + fresh;
    ASSERT_GT(changed, 1000);
    EXPECT_NEAR(copies * 70.0 / changed, 60.0, 3.0);
    EXPECT_NEAR(averages * 70.0 / changed, 8.0, 2.0);
    EXPECT_NEAR(fresh * 70.0 / changed, 2.0, 1.0);
}

TEST(LearningFile, RecordsReadBackAndTheLastGenerationIsTaken)
{
    clsLearnRecord r { 3, 2, "The Barbarian", -4, {} };
    for (int i = 0; i < 16; ++i)
        r.values[static_cast<std::size_t>(i)] = i * 7 - 3;
    std::string text = LearnRecordText(r);
    EXPECT_EQ(text.rfind("3\t2\t'The Barbarian'\t-4\t-3\t4\t", 0), 0u);
    EXPECT_EQ(text.back(), '\t');
    clsLearnRecord back;
    ASSERT_TRUE(ParseLearnRecord(text + "\r\n", back));
    EXPECT_EQ(back.generation, 3);
    EXPECT_EQ(back.member, 2);
    EXPECT_EQ(back.name, "The Barbarian");
    EXPECT_EQ(back.score, -4);
    EXPECT_EQ(back.values, r.values);
    clsLearnRecord older = r;
    older.generation = 2;
    auto last = LastGeneration(LearnRecordText(older) + "\r\n" + text + "\r\n" + text + "\r\n");
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[0].generation, 3);
    EXPECT_FALSE(ParseLearnRecord("1\t2", back));
}

TEST(LearningCommand, RefusesCountsWithoutPairsOrNames)
{
    clsEngineShare share;
    dranbase::clsOutBuffer out;
    out.SetEcho(false);
    dranbase::clsStrings options;
    for (const char* rest :
        { "f.txt 2 1 10 10", "f.txt 2 82 10 10", "f.txt 0 4 10 10", "f.txt 2 4 10", "" }) {
        EXPECT_FALSE(LearnCommand(rest, &share, options, out, nullptr)) << rest;
        EXPECT_EQ(out.TakeLine(), "# learn file generations engines_count ms_per_move max_moves [souls file]")
            << rest;
        while (!out.TakeLine().empty()) { }
    }
}

TEST(LearningRun, ShortRunContinuesFromItsOwnFile)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path()
        / ("corvala_learning_test_"
            + std::to_string(::getpid())); // test runs of other checkouts may run at once
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string file = (dir / "learn.txt").string();
    std::string positions = (dir / "positions.txt").string();
    dranbase::clsString("1\t0\t0\trnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\r\n"
                        "0\t1\t0\tr1bqkbnr/pppppppp/2n5/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq -\r\n")
        .SaveToFile(positions, true);

    SeedRandom(5);
    clsEngineShare share;
    share.Size(1);
    dranbase::clsOutBuffer out;
    out.SetEcho(false);
    out.SetKeepLines(false);
    dranbase::clsStrings options;
    clsLearnSettings s;
    s.file = file;
    s.generations = 2;
    s.engines = 4;
    s.msPerMove = 5;
    s.maxPlies = 6;
    s.positionsFile = positions;
    ASSERT_TRUE(RunLearning(s, &share, options, out, nullptr));

    dranbase::clsString text;
    ASSERT_GT(text.LoadFromFile(file), 0u);
    auto lines = dranbase::SplitAll(text, '\n');
    int records = 0;
    std::set<std::string> names;
    for (const auto& l : lines) {
        clsLearnRecord r;
        if (!ParseLearnRecord(l, r)) continue;
        ++records;
        names.insert(r.name);
        if (r.name == "ORIGINAL") { // member 0 keeps the default soul, whatever its rank
            EXPECT_EQ(r.values[0], 7);
            EXPECT_EQ(r.values[1], 20);
            EXPECT_EQ(r.values[15], 10);
        }
    }
    EXPECT_EQ(records, 8); // 2 generations of 4 members
    EXPECT_EQ(names, (std::set<std::string> { "ORIGINAL", "The Barbarian", "Take a Pebble", "Knife Edge" }));
    auto last = LastGeneration(text);
    ASSERT_EQ(last.size(), 4u);
    EXPECT_EQ(last[0].generation, 1);

    // Continue: the next run starts at generation 2 with the recorded members.
    s.generations = 3;
    s.soulsFile = file;
    ASSERT_TRUE(RunLearning(s, &share, options, out, nullptr));
    text.LoadFromFile(file);
    auto next = LastGeneration(text);
    ASSERT_EQ(next.size(), 4u);
    EXPECT_EQ(next[0].generation, 2);
    std::set<std::string> nextNames;
    for (const auto& r : next)
        nextNames.insert(r.name);
    EXPECT_EQ(nextNames, names);

    // Continued again with no more generations than are done: nothing runs, and it says so.
    for (int generations : { 3, 2 }) {
        s.generations = generations;
        dranbase::clsOutBuffer said;
        said.SetEcho(false);
        const std::string before = testsupport::ReadFile(file);
        EXPECT_FALSE(RunLearning(s, &share, options, said, nullptr));
        bool told = false;
        for (std::string line = said.TakeLine(); !line.empty(); line = said.TakeLine())
            told = told || line == "# 3 generations are done in " + file + "; ask for more than 3 to go on";
        EXPECT_TRUE(told) << generations;
        EXPECT_EQ(testsupport::ReadFile(file), before);
    }
    fs::remove_all(dir);
}

TEST(LearningRun, SameSeedGivesTheSameInitialSouls)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("corvala_learning_seed_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    InitKeysOnce(); // the first engine of a process draws the hash keys; keep that out of both runs
    auto souls = [&](const std::string& name) {
        SeedRandom(99);
        clsEngineShare share;
        share.Size(1);
        dranbase::clsOutBuffer out;
        out.SetEcho(false);
        out.SetKeepLines(false);
        clsLearnSettings s;
        s.file = (dir / name).string();
        s.generations = 1;
        s.engines = 3;
        s.msPerMove = 2;
        s.maxPlies = 2;
        s.positionsFile = (dir / "absent.txt").string();
        EXPECT_TRUE(RunLearning(s, &share, dranbase::clsStrings {}, out, nullptr));
        dranbase::clsString text;
        text.LoadFromFile(s.file);
        std::map<std::string, SoulValues> byName;
        for (const auto& r : LastGeneration(text))
            byName[r.name] = r.values;
        return byName;
    };
    auto first = souls("a.txt");
    auto second = souls("b.txt");
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first, second);
    EXPECT_NE(first["The Barbarian"], first["ORIGINAL"]); // odd members start with fresh values
    fs::remove_all(dir);
}

TEST(LearntCommand, TenTournamentRoundsKeepTheBestSoul)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("corvala_learnt_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path previous = fs::current_path();
    fs::current_path(dir); // the command reads tourney.xml and writes soul.txt where it runs
    dranbase::clsString(
        "<tourney name=\"tune\" type=\"gauntlet\"><options><rounds>1</rounds><threads>2</threads>"
        "<clock moves_per_second=\"0\" game_ms=\"400\" increment_ms=\"0\"/></options><engines>"
        "<engine active=\"true\" name=\"Candidate\" protocol=\"embedded\"><parameters>memory=1 -load=soul.txt"
        "</parameters></engine>"
        "<engine active=\"true\" name=\"Default\" "
        "protocol=\"embedded\"><parameters>memory=1</parameters></engine>"
        "</engines></tourney>")
        .SaveToFile("tourney.xml", true);

    SeedRandom(21);
    clsEngineShare share;
    share.Size(1);
    clsEngine engine(dranbase::clsStrings {}, &share);
    engine.SetEcho(false);
    dranbase::clsOutBuffer out;
    out.SetEcho(false);
    testing::internal::CaptureStdout(); // the tournaments print their progress
    LearntCommand(engine, out, nullptr);
    testing::internal::GetCapturedStdout();
    fs::current_path(previous);

    int rounds = 0;
    std::string best;
    for (std::string line = out.TakeLine(); !line.empty(); line = out.TakeLine()) {
        if (line.rfind("#=================> round ", 0) == 0) ++rounds;
        if (line.rfind("# best soul: ", 0) == 0) best = line;
    }
    EXPECT_EQ(rounds, 10);
    ASSERT_FALSE(best.empty());
    // The engine ends with the best candidate's values under that candidate's name, and the
    // file keeps the best, not the last candidate tried.
    const std::string bestName = best.substr(13, best.find('=') - 13);
    EXPECT_EQ(bestName.rfind("Learnt", 0), 0u) << best;
    EXPECT_EQ(engine.SoulName(), bestName);
    EXPECT_EQ(testsupport::ReadFile((dir / "soul.txt").string()), best.substr(13, best.find(" (score") - 13));
    EXPECT_NE(best.find(bestName + "=" +
                  [&] {
                      std::string v;
                      for (std::size_t i = 0; i < engine.Soul().size(); ++i)
                          v += (i ? " " : "") + std::to_string(engine.Soul()[i]);
                      return v;
                  }()),
        std::string::npos)
        << best;
    EXPECT_TRUE(fs::exists(dir / "soul.txt"));
    fs::remove_all(dir);
}
