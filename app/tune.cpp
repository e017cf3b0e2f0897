// corvala -use=tune: reads labelled positions, fits K, then the strong evaluation's weights,
// printing the loss of each epoch; writes the weights file and the loss chart.

#include "app/tune.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/lossplot.h"
#include "app/positionfiles.h"
#include "engine/evaltuner.h"
#include "engine/weightsfile.h"

namespace drnChess {

namespace {

    constexpr int SkippedPgnPlies = 8;

    std::vector<std::string> SplitList(const std::string& text)
    {
        std::vector<std::string> items;
        std::istringstream in(text);
        for (std::string item; std::getline(in, item, ',');)
            if (!item.empty()) items.push_back(item);
        return items;
    }

    double Seconds(std::chrono::steady_clock::time_point since)
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    }

} // namespace

int RunTune(const dranbase::clsStrings& options)
{
    const std::vector<std::string> files = SplitList(options.Value("-data"));
    const std::string out = options.Value("-out");
    if (files.empty() || out.empty()) {
        std::fprintf(stderr, "tune: -data=FILE[,FILE...] and -out=WEIGHTS are needed\n");
        return 1;
    }
    const int epochs
        = options.Has("-epochs") ? static_cast<int>(dranbase::ToInt(options.Value("-epochs"))) : 100;
    const double rate = options.Has("-rate") ? std::stod(options.Value("-rate")) : 1.0;
    const int threads = static_cast<int>(std::max(1u, std::min(std::thread::hardware_concurrency(), 2u)));

    std::vector<int> start = strong::DefaultStrongWeights();
    if (options.Has("-from")) {
        std::string error;
        if (!strong::LoadStrongWeights(options.Value("-from"), start, error)) {
            std::fprintf(stderr, "tune: %s\n", error.c_str());
            return 1;
        }
    }

    const auto begin = std::chrono::steady_clock::now();
    std::vector<std::pair<std::string, double>> labelled;
    for (const auto& file : files) {
        std::vector<LabelledPosition> read;
        std::string error;
        if (!ReadLabelledPositions(file, SkippedPgnPlies, read, error)) {
            std::fprintf(stderr, "tune: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s: %zu positions\n", file.c_str(), read.size());
        for (auto& p : read)
            labelled.emplace_back(std::move(p.fen), p.result);
    }
    strong::EvalTuner tuner(start, threads);
    tuner.AddAll(labelled);
    tuner.Split(1);
    std::printf("%zu quiet positions of %zu traced in %.1f s: %zu train, %zu validation\n", tuner.Positions(),
        labelled.size(), Seconds(begin), tuner.TrainCount(), tuner.ValidationCount());
    if (tuner.TrainCount() == 0) {
        std::fprintf(stderr, "tune: no quiet positions to tune on\n");
        return 1;
    }
    labelled.clear();
    labelled.shrink_to_fit();

    const double k = tuner.FitK();
    std::printf("K %.6f train %.6f validation %.6f\n", k, tuner.TrainLoss(), tuner.ValidationLoss());
    std::fflush(stdout);
    std::vector<double> trainLoss, validationLoss;
    const auto tuning = std::chrono::steady_clock::now();
    for (int epoch = 1; epoch <= epochs; ++epoch) {
        tuner.Epoch(rate);
        trainLoss.push_back(tuner.TrainLoss());
        validationLoss.push_back(tuner.ValidationLoss());
        std::printf("epoch %d train %.6f validation %.6f\n", epoch, trainLoss.back(), validationLoss.back());
        std::fflush(stdout);
    }
    const double seconds = Seconds(tuning);
    std::printf("%d epochs in %.1f s on %d threads\n", epochs, seconds, threads);

    std::vector<std::string> comments {
        "strong evaluation weights tuned by corvala -use=tune",
        "data: " + options.Value("-data"),
        "positions: " + std::to_string(tuner.TrainCount()) + " train, "
            + std::to_string(tuner.ValidationCount()) + " validation; K " + std::to_string(k),
        "epochs: " + std::to_string(epochs) + ", learning rate " + std::to_string(rate) + ", from "
            + (options.Has("-from") ? options.Value("-from") : std::string("handset")),
    };
    if (!trainLoss.empty())
        comments.push_back("loss: train " + std::to_string(trainLoss.back()) + " validation "
            + std::to_string(validationLoss.back()));
    if (!strong::SaveStrongWeights(out, tuner.Weights(), comments)) {
        std::fprintf(stderr, "tune: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("weights written to %s\n", out.c_str());
    if (options.Has("-plot")) {
        std::ofstream plot(options.Value("-plot"), std::ios::trunc);
        plot << LossPlotSvg(trainLoss, validationLoss);
        if (!plot.flush()) {
            std::fprintf(stderr, "tune: cannot write %s\n", options.Value("-plot").c_str());
            return 1;
        }
        std::printf("plot written to %s\n", options.Value("-plot").c_str());
    }
    return 0;
}

} // namespace drnChess
