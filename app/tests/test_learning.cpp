// The learning tools of the command line (self-play data, tuning) and the weights options.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/tests/corvalaprocess.h"
#include "engine/fastnames.h"

namespace {

namespace fs = std::filesystem;

class Learning : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path()
        / ("corvala_learning_" + std::to_string(getpid()) + "_"
            + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the program to its end; its output lines.
    std::vector<std::string> Run(const std::vector<std::string>& args, int& exitCode)
    {
        CorvalaProcess p(args, dir.string());
        std::vector<std::string> lines;
        for (std::string line = p.ReadLine(120000); line != "<timeout>"; line = p.ReadLine(120000))
            lines.push_back(line);
        exitCode = p.WaitExit(10000);
        return lines;
    }
    static std::vector<std::string> FileLines(const fs::path& path)
    {
        std::ifstream in(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
};

TEST_F(Learning, SelfPlayWritesQuietLabelledPositionsAndContinues)
{
    int code = -1;
    auto out
        = Run({ "-use=datagen", "-out=data.epd", "-games=2", "-nodes=300", "-threads=2", "-seed=5" }, code);
    ASSERT_EQ(code, 0);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.front().rfind("datagen: data.epd holds 0 games; playing until it holds 2", 0), 0u)
        << out.front();
    EXPECT_EQ(out.back().rfind("games 2/2 positions ", 0), 0u) << out.back();
    const auto first = FileLines(dir / "data.epd");
    ASSERT_FALSE(first.empty());
    for (const auto& line : first) {
        const auto c9 = line.find(" c9 \"");
        ASSERT_NE(c9, std::string::npos) << line;
        const std::string result = line.substr(c9 + 4);
        EXPECT_TRUE(result == "\"1-0\";" || result == "\"0-1\";" || result == "\"1/2-1/2\";") << line;
        drnChess::strong::FastPosition b;
        ASSERT_TRUE(b.SetFromFEN(line.substr(0, c9))) << line;
        EXPECT_FALSE(b.InCheck()) << line;
    }

    out = Run({ "-use=datagen", "-out=data.epd", "-games=3", "-nodes=300", "-seed=5" }, code);
    ASSERT_EQ(code, 0);
    EXPECT_EQ(out.front().rfind("datagen: data.epd holds 2 games; playing until it holds 3", 0), 0u)
        << out.front();
    const auto second = FileLines(dir / "data.epd");
    ASSERT_GT(second.size(), first.size());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), second.begin())); // appended
}

TEST_F(Learning, TuningLowersTheLossAndWritesWeightsAndPlot)
{
    // A game of more than eight plies in PGN, beside the self-play fixture.
    std::ofstream(dir / "game.pgn") << "[Result \"0-1\"]\n\n1. f3 e5 2. g4 Nc6 3. a3 Nf6 4. b3 d5 5. c3 Bd6 "
                                       "6. h3 O-O 7. e3 Re8 0-1\n";
    int code = -1;
    const auto out
        = Run({ "-use=tune", "-data=" + std::string(CORVALA_TEST_DATA) + "/selfplay_small.epd,game.pgn",
                  "-out=tuned.txt", "-epochs=4", "-plot=loss.svg" },
            code);
    ASSERT_EQ(code, 0);
    std::string all;
    for (const auto& l : out)
        all += l + "\n";
    EXPECT_NE(all.find("game.pgn: 6 positions"), std::string::npos) << all; // plies 9 to 14
    double start = 0, last = 0;
    int epochs = 0;
    for (const auto& line : out) {
        std::istringstream in(line);
        std::string word, train, validation;
        double k = 0, loss = 0, held = 0;
        if (line.rfind("K ", 0) == 0 && (in >> word >> k >> train >> loss) && train == "train") start = loss;
        int epoch = 0;
        if (line.rfind("epoch ", 0) == 0 && (in >> word >> epoch >> train >> loss >> validation >> held)) {
            EXPECT_EQ(epoch, ++epochs);
            EXPECT_EQ(validation, "validation");
            last = loss;
        }
    }
    EXPECT_EQ(epochs, 4) << all;
    EXPECT_GT(start, 0.0) << all;
    EXPECT_LT(last, start) << all;

    // The weights file is read back by a playing engine; the plot holds both series.
    const auto weights = FileLines(dir / "tuned.txt");
    ASSERT_GT(weights.size(), 200u);
    EXPECT_EQ(weights.front().rfind("# ", 0), 0u);
    std::ifstream svg(dir / "loss.svg");
    std::stringstream text;
    text << svg.rdbuf();
    EXPECT_EQ(text.str().rfind("<svg ", 0), 0u);
    EXPECT_NE(text.str().find("<polyline"), text.str().rfind("<polyline"));
}

TEST_F(Learning, WeightsChangeTheStrongEnginesChoiceAndABadFileIsRefused)
{
    // A rook takes a knight or a pawn: with knights worth nothing and pawns a queen, the pawn.
    std::ofstream(dir / "pawns.txt") << "# pawns first\nmaterial.knight.mg 0\nmaterial.knight.eg 0\n"
                                        "material.pawn.mg 900\nmaterial.pawn.eg 900\n";
    std::ofstream(dir / "bad.txt") << "material.knight.mg 0\nmaterial.pawn.mg lots\n";
    const std::string position = "position fen 4k3/8/8/1n5p/8/8/8/1R2K2R w - - 0 1";
    CorvalaProcess p({ "memory=1" }, dir.string(), true);
    ASSERT_TRUE(p.Started());
    p.Send("uci");
    ASSERT_EQ(p.ReadUntil("uciok"), "uciok");
    struct Step {
        std::string weights;
        std::string reply; // to the option
        std::string move;
    } steps[] = {
        { "", "", "bestmove b1b5" },
        { "pawns.txt", "", "bestmove h1h5" },
        { "bad.txt", "info string option Weights: bad.txt line 2: material.pawn.mg needs one whole number",
            "bestmove h1h5" },
        { "handset", "", "bestmove b1b5" },
    };
    for (const Step& s : steps) {
        if (!s.weights.empty()) p.Send("setoption name Weights value " + s.weights);
        p.Send("isready");
        if (!s.reply.empty()) {
            EXPECT_EQ(p.ReadLine().rfind(s.reply, 0), 0u) << s.weights;
        }
        EXPECT_EQ(p.ReadUntil("readyok"), "readyok");
        p.Send(position);
        p.Send("go depth 3");
        EXPECT_EQ(p.ReadUntil("bestmove ").substr(0, std::string(s.move).size()), s.move) << s.weights;
    }

    // xboard refuses the same file with a message to the user.
    CorvalaProcess x({ "memory=1" }, dir.string());
    ASSERT_TRUE(x.Started());
    x.Send("xboard");
    x.Send("protover 2");
    EXPECT_NE(x.ReadUntil("feature ").find("option=\"Weights -string handset\""), std::string::npos);
    x.Send("option Weights=bad.txt");
    EXPECT_EQ(x.ReadUntil("tellusererror"),
        "tellusererror bad.txt line 2: material.pawn.mg needs one whole number; the weights in use stay");
}

} // namespace
