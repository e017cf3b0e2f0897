// The evaluation's tuning by gradient descent on its linear trace.

#include "engine/evaltuner.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <thread>

#include "engine/strongsearch.h"

namespace drnChess::strong {

namespace {

    double Sigmoid(double x)
    {
        return 1.0 / (1.0 + std::exp(-x));
    }

    // Runs body(begin, end, part) over [0, n) split in parts, one thread each.
    template <typename Body> void Parallel(std::size_t n, int threads, Body body)
    {
        const std::size_t parts = static_cast<std::size_t>(std::max(1, threads));
        std::vector<std::thread> pool;
        for (std::size_t t = 1; t < parts; ++t)
            pool.emplace_back([&, t] { body(n * t / parts, n * (t + 1) / parts, t); });
        body(0, n / parts, 0);
        for (auto& th : pool)
            th.join();
    }

} // namespace

EvalTuner::EvalTuner(std::vector<int> start, int threads)
    : start_(std::move(start))
    , threads_(std::max(1, threads))
{
    start_.resize(static_cast<std::size_t>(Weight::Count), 0);
    weights_.assign(start_.begin(), start_.end());
    m_.assign(weights_.size(), 0.0);
    v_.assign(weights_.size(), 0.0);
}

void EvalTuner::Linearise(const EvalTrace& trace, int score, Position& p, std::vector<Term>& terms)
{
    const int us = trace.side, them = us ^ 1;
    const double sign = us == White ? 1.0 : -1.0;
    const double mgShare = trace.phase / double(EvalTrace::MaxPhase), egShare = 1.0 - mgShare;
    p.first = static_cast<std::uint32_t>(terms.size());
    for (std::size_t i = 0; i < static_cast<std::size_t>(Weight::Count); ++i) {
        const double c = sign
            * ((trace.coefficient[us][0][i] - trace.coefficient[them][0][i]) * mgShare
                + (trace.coefficient[us][1][i] - trace.coefficient[them][1][i]) * egShare);
        if (c != 0) terms.push_back({ static_cast<std::uint16_t>(i), static_cast<float>(c) });
    }
    p.count = static_cast<std::uint16_t>(terms.size() - p.first);
    p.fixed = static_cast<float>(sign
        * ((trace.fixed[us][0] - trace.fixed[them][0]) * mgShare
            + (trace.fixed[us][1] - trace.fixed[them][1]) * egShare));
    const int strong = score > 0 ? us : them;
    p.scale = trace.drawish[strong] ? 0.125f : 1.0f;
}

EvalTuner::~EvalTuner() = default;

bool EvalTuner::Trace(StrongSearch& search, const std::string& fen, double result,
    std::vector<Position>& found, std::vector<Term>& terms) const
{
    FastPosition& board = search.Board();
    if (!board.SetFromFEN(fen) || board.InCheck()) return false;
    const int quiet = search.QuiescenceScore();
    board.SetFromFEN(fen);
    EvalTrace trace;
    const int score = search.Eval().Evaluate(board, trace);
    if (quiet != score) return false;
    Position p;
    p.result = static_cast<float>(result);
    Linearise(trace, score, p, terms);
    found.push_back(p);
    return true;
}

bool EvalTuner::Add(const std::string& fen, double result)
{
    if (!search_) {
        search_ = std::make_unique<StrongSearch>();
        search_->SetTableSize(1);
        search_->SetWeights(start_);
    }
    std::vector<Position> found;
    if (!Trace(*search_, fen, result, found, terms_)) return false;
    positions_.push_back(found.front());
    return true;
}

std::size_t EvalTuner::AddAll(const std::vector<std::pair<std::string, double>>& list)
{
    std::vector<std::vector<Position>> found(static_cast<std::size_t>(threads_));
    std::vector<std::vector<Term>> foundTerms(static_cast<std::size_t>(threads_));
    Parallel(list.size(), threads_, [&](std::size_t begin, std::size_t end, std::size_t part) {
        StrongSearch search;
        search.SetTableSize(1);
        search.SetWeights(start_);
        for (std::size_t i = begin; i < end; ++i)
            Trace(search, list[i].first, list[i].second, found[part], foundTerms[part]);
    });
    std::size_t kept = 0;
    for (std::size_t t = 0; t < found.size(); ++t) {
        const auto offset = static_cast<std::uint32_t>(terms_.size());
        terms_.insert(terms_.end(), foundTerms[t].begin(), foundTerms[t].end());
        for (Position p : found[t]) {
            p.first += offset;
            positions_.push_back(p);
            ++kept;
        }
    }
    return kept;
}

void EvalTuner::Split(std::uint64_t seed)
{
    std::vector<std::uint32_t> order(positions_.size());
    std::iota(order.begin(), order.end(), 0u);
    std::mt19937_64 rng(seed);
    std::shuffle(order.begin(), order.end(), rng);
    train_.clear();
    validation_.clear();
    for (std::size_t i = 0; i < order.size(); ++i)
        (i % 10 == 9 ? validation_ : train_).push_back(order[i]);
    shuffle_ = seed;
}

double EvalTuner::Score(const Position& p, const std::vector<double>& w) const
{
    double s = p.fixed;
    for (std::uint32_t t = p.first; t < p.first + p.count; ++t)
        s += terms_[t].coefficient * w[terms_[t].index];
    return s * p.scale;
}

double EvalTuner::Loss(const std::vector<std::uint32_t>& set, double k) const
{
    if (set.empty()) return 0;
    std::vector<double> sums(static_cast<std::size_t>(threads_), 0.0);
    Parallel(set.size(), threads_, [&](std::size_t begin, std::size_t end, std::size_t part) {
        double sum = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const Position& p = positions_[set[i]];
            const double e = p.result - Sigmoid(k * Score(p, weights_));
            sum += e * e;
        }
        sums[part] = sum;
    });
    return std::accumulate(sums.begin(), sums.end(), 0.0) / double(set.size());
}

double EvalTuner::Loss(const std::vector<std::uint32_t>& set) const
{
    return Loss(set, k_);
}

double EvalTuner::FitK()
{
    // The error is smooth in K with one minimum: golden-section search.
    double a = 0.0001, b = 0.05;
    const double g = (std::sqrt(5.0) - 1) / 2;
    double c = b - g * (b - a), d = a + g * (b - a);
    double fc = Loss(train_, c), fd = Loss(train_, d);
    for (int i = 0; i < 40; ++i) {
        if (fc < fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - g * (b - a);
            fc = Loss(train_, c);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + g * (b - a);
            fd = Loss(train_, d);
        }
    }
    k_ = (a + b) / 2;
    return k_;
}

void EvalTuner::Epoch(double learningRate, std::size_t batch)
{
    std::mt19937_64 rng(shuffle_++);
    std::shuffle(train_.begin(), train_.end(), rng);
    const std::size_t n = weights_.size();
    std::vector<std::vector<double>> partGradient(static_cast<std::size_t>(threads_), std::vector<double>(n));
    constexpr double beta1 = 0.9, beta2 = 0.999, epsilon = 1e-8;
    for (std::size_t first = 0; first < train_.size(); first += batch) {
        const std::size_t last = std::min(train_.size(), first + batch);
        Parallel(last - first, threads_, [&](std::size_t begin, std::size_t end, std::size_t part) {
            std::vector<double>& grad = partGradient[part];
            std::fill(grad.begin(), grad.end(), 0.0);
            for (std::size_t i = first + begin; i < first + end; ++i) {
                const Position& p = positions_[train_[i]];
                const double s = Sigmoid(k_ * Score(p, weights_));
                // d/dw of (result - s)^2 = -2 (result - s) s (1 - s) K scale coefficient
                const double common = -2.0 * (p.result - s) * s * (1 - s) * k_ * p.scale;
                for (std::uint32_t t = p.first; t < p.first + p.count; ++t)
                    grad[terms_[t].index] += common * terms_[t].coefficient;
            }
        });
        ++step_;
        const double count = double(last - first);
        const double correction1 = 1 - std::pow(beta1, double(step_)),
                     correction2 = 1 - std::pow(beta2, double(step_));
        for (std::size_t i = 0; i < n; ++i) {
            double g = 0;
            for (const auto& part : partGradient)
                g += part[i];
            g /= count;
            m_[i] = beta1 * m_[i] + (1 - beta1) * g;
            v_[i] = beta2 * v_[i] + (1 - beta2) * g * g;
            weights_[i] -= learningRate * (m_[i] / correction1) / (std::sqrt(v_[i] / correction2) + epsilon);
        }
    }
}

std::vector<int> EvalTuner::Weights() const
{
    std::vector<int> w(weights_.size());
    for (std::size_t i = 0; i < w.size(); ++i)
        w[i] = static_cast<int>(std::lround(weights_[i]));
    return w;
}

} // namespace drnChess::strong
