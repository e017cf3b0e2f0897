// The strong evaluation's trace, its weights files (with the search parameters) and its tuning.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/evaltuner.h"
#include "engine/strongeval.h"
#include "engine/weightsfile.h"

namespace drnChess::strong {
namespace {

    std::vector<std::string> SuiteFens()
    {
        std::vector<std::string> fens;
        for (const char* name : { "wac.epd", "bk.epd", "arasan19.epd", "arasan2024.epd" }) {
            std::ifstream in(std::string(CORVALA_TEST_DATA) + "/epd/" + name);
            EXPECT_TRUE(in.good()) << name;
            for (std::string line; std::getline(in, line);)
                if (!line.empty()) fens.push_back(line);
        }
        // Drawish endings and a side without pawns, where the score is scaled down.
        fens.insert(fens.end(),
            { "8/8/4k3/8/8/3NK3/8/8 w - -", "8/8/4k3/8/2b5/3NK3/8/8 b - -", "8/5k2/8/8/8/2RBK3/8/6r1 w - -",
                "6k1/5ppp/8/8/8/8/5PPP/3R2K1 b - -" });
        return fens;
    }

    bool NonLinear(int index)
    {
        return (index >= Weight::KingAttacker && index <= Weight::KingAttackScale)
            || index == Weight::PassedEnemyKingDistance || index == Weight::PassedOwnKingDistance;
    }

    // Every weight moved by a different small amount; the weights the trace holds fixed only when
    // asked.
    std::vector<int> Perturbed(bool nonLinearToo)
    {
        std::vector<int> w = DefaultStrongWeights();
        for (int i = 0; i < Weight::Count; ++i)
            if (nonLinearToo || !NonLinear(i)) w[static_cast<std::size_t>(i)] += (i * 37) % 23 - 11;
        return w;
    }

    TEST(EvalTrace, ReproducesTheEvaluationOfEverySuitePosition)
    {
        const std::vector<std::string> fens = SuiteFens();
        ASSERT_GT(fens.size(), 700u);
        for (const std::vector<int>& weights : { DefaultStrongWeights(), Perturbed(true) }) {
            const StrongEval eval(weights);
            for (const auto& fen : fens) {
                FastPosition b;
                ASSERT_TRUE(b.SetFromFEN(fen)) << fen;
                EvalTrace trace;
                const int score = eval.Evaluate(b);
                EXPECT_EQ(eval.Evaluate(b, trace), score) << fen;
                EXPECT_EQ(trace.Evaluate(weights), score) << fen;
            }
        }
    }

    TEST(EvalTrace, CountsEachLinearWeight)
    {
        // A trace made with the hand-set table gives the exact score of another table that
        // differs in the weights it counts linearly: its coefficients are the real counts.
        const std::vector<int> other = Perturbed(false);
        const StrongEval handSet, changed(other);
        int differing = 0;
        for (const auto& fen : SuiteFens()) {
            FastPosition b;
            ASSERT_TRUE(b.SetFromFEN(fen)) << fen;
            EvalTrace trace;
            handSet.Evaluate(b, trace);
            const int expected = changed.Evaluate(b);
            EXPECT_EQ(trace.Evaluate(other), expected) << fen;
            differing += expected != handSet.Evaluate(b);
        }
        EXPECT_GT(differing, 500);
    }

    class WeightsFile : public ::testing::Test {
    protected:
        // One folder per process and test: ctest runs the tests of this suite side by side.
        std::filesystem::path dir = std::filesystem::temp_directory_path()
            / ("corvala_weights_" + std::to_string(::getpid()) + "_"
                + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        void SetUp() override { std::filesystem::create_directories(dir); }
        void TearDown() override { std::filesystem::remove_all(dir); }
        std::string Write(const std::string& text)
        {
            const auto path = dir / "w.txt";
            std::ofstream(path, std::ios::trunc) << text;
            return path.string();
        }
    };

    TEST_F(WeightsFile, ReadsNamesOverTheWeightsInUse)
    {
        std::vector<int> weights = DefaultStrongWeights();
        weights[Weight::Tempo] = 99; // not named in the file: kept
        std::string error;
        ASSERT_TRUE(LoadStrongWeights(
            Write("# tuned\nmaterial.knight.mg 333  # a comment\n\n  bishoppair.eg -7\nrook.seventh.mg +4\n"),
            weights, error))
            << error;
        EXPECT_EQ(weights[Weight::Material + 2], 333);
        EXPECT_EQ(weights[Weight::BishopPair + 1], -7);
        EXPECT_EQ(weights[Weight::RookSeventh], 4);
        EXPECT_EQ(weights[Weight::Tempo], 99);
        ASSERT_TRUE(LoadStrongWeights("handset", weights, error));
        EXPECT_EQ(weights, DefaultStrongWeights());
    }

    TEST_F(WeightsFile, RefusesABadFileAndKeepsTheWeights)
    {
        const struct {
            std::string text;
            std::string says;
        } cases[] = {
            { "material.knight.mg 300\nnosuch.weight 3\n", "unknown weight nosuch.weight" },
            { "material.knight.mg 3.5\n", "whole number" },
            { "material.knight.mg abc\n", "whole number" },
            { "material.knight.mg\n", "whole number" },
            { "material.knight.mg 3 4\n", "whole number" },
        };
        for (const auto& c : cases) {
            std::vector<int> weights = Perturbed(true);
            std::string error;
            EXPECT_FALSE(LoadStrongWeights(Write(c.text), weights, error)) << c.text;
            EXPECT_NE(error.find(c.says), std::string::npos) << error;
            EXPECT_EQ(weights, Perturbed(true)) << c.text;
        }
        std::vector<int> weights = Perturbed(true);
        std::string error;
        EXPECT_FALSE(LoadStrongWeights((dir / "absent.txt").string(), weights, error));
        EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
        EXPECT_EQ(weights, Perturbed(true));
    }

    TEST_F(WeightsFile, WritesWhatItReadsBack)
    {
        const std::string path = (dir / "out.txt").string();
        ASSERT_TRUE(SaveStrongWeights(path, Perturbed(true), { "made by a test" }));
        std::vector<int> weights = DefaultStrongWeights();
        std::string error;
        ASSERT_TRUE(LoadStrongWeights(path, weights, error)) << error;
        EXPECT_EQ(weights, Perturbed(true));
    }

    // Every search parameter moved within its range, each by a different amount.
    SearchParams MovedParams()
    {
        SearchParams params;
        for (const SearchParamInfo& info : SearchParamTable()) {
            const int moved = info.value
                + (info.value < info.max ? 1 : -1) * (1 + static_cast<int>(info.name.size()) % 3);
            std::string error;
            EXPECT_TRUE(params.Set(info.name, std::clamp(moved, info.min, info.max), error)) << error;
        }
        return params;
    }

    TEST_F(WeightsFile, ReadsEachSearchParameterByNameAndNothingElse)
    {
        // Each parameter named alone takes the file's value; every other one, and every weight,
        // keeps what it had.
        for (std::size_t i = 0; i < SearchParamCount; ++i) {
            const SearchParamInfo& info = SearchParamTable()[i];
            const int value = info.value == info.max ? info.min : info.max;
            std::vector<int> weights = Perturbed(true);
            SearchParams params;
            std::string error;
            ASSERT_TRUE(LoadStrongWeights(
                Write(std::string(info.name) + " " + std::to_string(value) + "\n"), weights, params, error))
                << error;
            EXPECT_EQ(weights, Perturbed(true)) << info.name;
            for (std::size_t j = 0; j < SearchParamCount; ++j)
                EXPECT_EQ(params[static_cast<SearchParam>(j)], j == i ? value : SearchParamTable()[j].value)
                    << info.name << " read, " << SearchParamTable()[j].name << " seen";
        }
        // A file of weights alone leaves every parameter at its default; the hand-set table gives
        // the defaults back; the reader of weights alone takes a file that has parameters too.
        std::vector<int> weights = DefaultStrongWeights();
        SearchParams params;
        std::string error;
        ASSERT_TRUE(LoadStrongWeights(Write("material.knight.mg 333\n"), weights, params, error)) << error;
        EXPECT_EQ(weights[Weight::Material + 2], 333);
        EXPECT_EQ(params, SearchParams());
        params = MovedParams();
        ASSERT_TRUE(LoadStrongWeights("handset", weights, params, error));
        EXPECT_EQ(weights, DefaultStrongWeights());
        EXPECT_EQ(params, SearchParams());
        ASSERT_TRUE(
            LoadStrongWeights(Write("search.lmr.divisor 300\nmaterial.knight.mg 333\n"), weights, error))
            << error;
        EXPECT_EQ(weights[Weight::Material + 2], 333);
    }

    TEST_F(WeightsFile, RefusesABadSearchParameterAndKeepsEverything)
    {
        const SearchParamInfo& divisor
            = SearchParamTable()[static_cast<std::size_t>(SearchParam::LmrDivisor)];
        const struct {
            std::string text;
            std::string says;
        } cases[] = {
            { "search.lmr.divisor 300\nsearch.nosuch 3\n", "unknown weight search.nosuch" },
            { "material.knight.mg 300\nsearch.lmr.divisor " + std::to_string(divisor.min - 1) + "\n",
                "outside" },
            { "search.lmr.divisor " + std::to_string(divisor.max + 1) + "\n", "outside" },
            { "search.lmr.divisor 2.5\n", "whole number" },
            { "search.lmr.divisor\n", "whole number" },
        };
        for (const auto& c : cases) {
            std::vector<int> weights = Perturbed(true);
            SearchParams params = MovedParams();
            std::string error;
            EXPECT_FALSE(LoadStrongWeights(Write(c.text), weights, params, error)) << c.text;
            EXPECT_NE(error.find(c.says), std::string::npos) << error;
            EXPECT_EQ(weights, Perturbed(true)) << c.text;
            EXPECT_EQ(params, MovedParams()) << c.text;
            // The reader of weights alone refuses the same file.
            EXPECT_FALSE(LoadStrongWeights(Write(c.text), weights, error)) << c.text;
            EXPECT_EQ(weights, Perturbed(true)) << c.text;
        }
    }

    TEST_F(WeightsFile, WritesTheSearchParametersItReadsBack)
    {
        const std::string path = (dir / "out.txt").string();
        ASSERT_TRUE(SaveStrongWeights(path, Perturbed(true), MovedParams(), { "made by a test" }));
        std::vector<int> weights = DefaultStrongWeights();
        SearchParams params;
        std::string error;
        ASSERT_TRUE(LoadStrongWeights(path, weights, params, error)) << error;
        EXPECT_EQ(weights, Perturbed(true));
        EXPECT_EQ(params, MovedParams());
        // The evaluation tuner's file holds weights only: the parameters read over it stay.
        ASSERT_TRUE(SaveStrongWeights(path, Perturbed(true), { "weights only" }));
        ASSERT_TRUE(LoadStrongWeights(path, weights, params, error)) << error;
        EXPECT_EQ(params, MovedParams());
    }

    std::vector<std::pair<std::string, double>> SelfPlayFixture()
    {
        std::vector<std::pair<std::string, double>> positions;
        std::ifstream in(std::string(CORVALA_TEST_DATA) + "/selfplay_small.epd");
        EXPECT_TRUE(in.good());
        for (std::string line; std::getline(in, line);) {
            const auto c9 = line.find(" c9 ");
            if (c9 == std::string::npos) continue;
            const std::string result = line.substr(c9 + 5, line.find('"', c9 + 5) - c9 - 5);
            positions.emplace_back(line.substr(0, c9), result == "1-0" ? 1.0 : result == "0-1" ? 0.0 : 0.5);
        }
        return positions;
    }

    TEST(EvalTuner, LinearScoresMatchTheEvaluationAndEpochsLowerTheLoss)
    {
        const auto positions = SelfPlayFixture();
        ASSERT_GT(positions.size(), 300u);
        EvalTuner tuner(DefaultStrongWeights(), 2);
        // Before tuning, the linear score is the evaluation from white's view, to the rounding of
        // the taper and of the scaling down of drawish endings.
        const StrongEval eval;
        for (const auto& [fen, result] : positions) {
            if (!tuner.Add(fen, result)) continue;
            FastPosition b;
            ASSERT_TRUE(b.SetFromFEN(fen));
            const int white = b.side == White ? eval.Evaluate(b) : -eval.Evaluate(b);
            EXPECT_NEAR(tuner.Score(tuner.Positions() - 1), white, 1.0) << fen;
        }
        ASSERT_GT(tuner.Positions(), 300u); // the file was written with quiet positions
        tuner.Split(3);
        EXPECT_EQ(tuner.TrainCount() + tuner.ValidationCount(), tuner.Positions());
        EXPECT_NEAR(double(tuner.ValidationCount()), tuner.Positions() / 10.0, 1.0);
        const double k = tuner.FitK();
        EXPECT_GT(k, 0.0);
        const double before = tuner.TrainLoss();
        for (int epoch = 0; epoch < 5; ++epoch)
            tuner.Epoch(1.0, 64);
        EXPECT_LT(tuner.TrainLoss(), before);
        EXPECT_NE(tuner.Weights(), DefaultStrongWeights());
    }

    TEST(EvalTuner, LeavesOutPositionsThatAreNotQuiet)
    {
        EvalTuner tuner(DefaultStrongWeights(), 1);
        EXPECT_FALSE(tuner.Add("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -", 0.0)); // in check
        EXPECT_FALSE(tuner.Add("4k3/8/8/3q4/4P3/8/8/4K3 w - -", 1.0)); // a queen hangs
        EXPECT_FALSE(tuner.Add("not a position", 1.0));
        EXPECT_TRUE(tuner.Add("4k3/8/8/8/8/8/4P3/4K3 w - -", 1.0));
        EXPECT_EQ(tuner.Positions(), 1u);
    }

} // namespace
} // namespace drnChess::strong
