#pragma once
// Fitting the strong evaluation's weights to game results: the mean squared error of
// sigmoid(K * score) against the result (1, 0.5, 0 for white), where each position's score is
// the linear sum its evaluation trace gives, minimised by Adam over mini-batches.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/strongeval.h"

namespace drnChess::strong {

class StrongSearch;

class EvalTuner {
public:
    // Traces are made with these weights (the parts held fixed come from them).
    explicit EvalTuner(std::vector<int> start, int threads = 2);
    ~EvalTuner();

    // Adds the position when it is quiet (not in check, the quiescence search gives the static
    // evaluation); false when it was left out or the FEN is unreadable.
    bool Add(const std::string& fen, double result);
    // Adds many positions on the tuner's threads; returns how many were kept.
    std::size_t AddAll(const std::vector<std::pair<std::string, double>>& positions);

    // Puts every tenth position (after a seeded shuffle) aside for validation.
    void Split(std::uint64_t seed);
    // Chooses K for the start weights by the least training error.
    double FitK();
    void SetK(double k) { k_ = k; }
    double K() const { return k_; }

    // One pass over the training positions in shuffled mini-batches.
    void Epoch(double learningRate = 1.0, std::size_t batch = 8192);
    double TrainLoss() const { return Loss(train_); }
    double ValidationLoss() const { return Loss(validation_); }

    std::size_t Positions() const { return positions_.size(); }
    std::size_t TrainCount() const { return train_.size(); }
    std::size_t ValidationCount() const { return validation_.size(); }
    // The weights now, rounded to whole numbers.
    std::vector<int> Weights() const;
    // The white score of a position with the tuned weights as they stand (for tests).
    double Score(std::size_t position) const { return Score(positions_[position], weights_); }

private:
    struct Term {
        std::uint16_t index;
        float coefficient;
    };
    struct Position {
        std::uint32_t first = 0; // terms_[first, first + count)
        std::uint16_t count = 0;
        float fixed = 0; // white's view, centipawns
        float scale = 1; // 1, or 1/8 in drawish endings
        float result = 0.5f;
    };
    // The position's terms and fixed part from its trace, white's view.
    static void Linearise(const EvalTrace& trace, int score, Position& p, std::vector<Term>& terms);
    // Traces the position with the search given when it is quiet; false when it is not.
    bool Trace(StrongSearch& search, const std::string& fen, double result, std::vector<Position>& found,
        std::vector<Term>& terms) const;
    double Score(const Position& p, const std::vector<double>& w) const;
    double Loss(const std::vector<std::uint32_t>& set) const;
    double Loss(const std::vector<std::uint32_t>& set, double k) const;

    std::unique_ptr<StrongSearch> search_; // for Add
    std::vector<int> start_;
    std::vector<double> weights_;
    std::vector<Position> positions_;
    std::vector<Term> terms_;
    std::vector<std::uint32_t> train_, validation_;
    int threads_ = 2;
    double k_ = 0.004;
    // Adam's moments and step count.
    std::vector<double> m_, v_;
    long long step_ = 0;
    std::uint64_t shuffle_ = 1;
};

} // namespace drnChess::strong
