#include "tourney/matchstats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace drnChess {

namespace {
    constexpr double Z95 = 1.959963984540054; // two-sided 95 % quantile of the normal law
    constexpr double Infinity = std::numeric_limits<double>::infinity();

    // Mean and variance of samples taking values[i] counts[i] times.
    template <std::size_t N>
    void MeanVariance(const std::array<double, N>& values, const std::array<std::int64_t, N>& counts,
        std::int64_t total, double& mean, double& variance)
    {
        mean = 0;
        variance = 0;
        if (total <= 0) return;
        for (std::size_t i = 0; i < N; ++i)
            mean += values[i] * static_cast<double>(counts[i]);
        mean /= static_cast<double>(total);
        for (std::size_t i = 0; i < N; ++i)
            variance += static_cast<double>(counts[i]) * (values[i] - mean) * (values[i] - mean);
        variance /= static_cast<double>(total);
    }

    // Elo and its 95 % error from a mean score and the variance of that mean.
    void FillElo(clsMatchStats& st, double varianceOfMean)
    {
        st.elo = EloFromScore(st.score);
        const double d = Z95 * std::sqrt(varianceOfMean);
        const double lo = st.score - d, hi = st.score + d;
        st.eloError = (lo <= 0 || hi >= 1) ? Infinity : (EloFromScore(hi) - EloFromScore(lo)) / 2;
    }

    // Probability that a normal variable of the mean and variance lies above one half.
    double AboveHalf(double mean, double varianceOfMean)
    {
        if (varianceOfMean <= 0) return mean > 0.5 ? 1.0 : (mean < 0.5 ? 0.0 : 0.5);
        return 0.5 * (1 + std::erf((mean - 0.5) / std::sqrt(2 * varianceOfMean)));
    }

    clsSprtResult Sprt(double samples, double mean, double variance, double sigmaPerGame, double games,
        const clsSprtSettings& s)
    {
        clsSprtResult r = SprtBounds(s);
        if (samples <= 0 || variance <= 0) return r;
        double s0 = ScoreFromElo(s.elo0), s1 = ScoreFromElo(s.elo1);
        if (s.model == SprtModel::Normalized) {
            // Normalised Elo is the score's distance from one half in units of the spread per
            // game, scaled like Elo near equality: nElo = (m - 1/2) / sigma * 800 / ln 10.
            const double unit = sigmaPerGame * std::log(10.0) / 800;
            s0 = 0.5 + s.elo0 * unit;
            s1 = 0.5 + s.elo1 * unit;
        }
        r.llr = samples * (s1 - s0) * (2 * mean - s0 - s1) / (2 * variance);
        if (r.llr >= r.upper)
            r.verdict = SprtVerdict::AcceptH1;
        else if (r.llr <= r.lower)
            r.verdict = SprtVerdict::AcceptH0;
        if (r.verdict != SprtVerdict::Continue && games < static_cast<double>(s.minGames)) {
            r.verdict = SprtVerdict::Continue;
            r.held = true;
        }
        return r;
    }

    std::string Percent(double ratio)
    {
        return DecimalText(100 * ratio, 1) + " %";
    }

    // The Elo with its error and the LOS. One sample (a game, or a pair) shows no spread, so
    // both are unknown then rather than a false certainty.
    std::string EloText(const clsMatchStats& st)
    {
        return "Elo " + SignedEloText(st.elo) + " +/- "
            + (st.games < 2                   ? "unknown"
                    : std::isinf(st.eloError) ? "inf"
                                              : DecimalText(st.eloError, 1));
    }

    std::string EloAndLosText(const clsMatchStats& st)
    {
        return EloText(st) + ", LOS " + (st.games < 2 ? std::string("unknown") : Percent(st.los));
    }

    std::string Number(double v)
    {
        // Settings as the user wrote them: no trailing zeros ("0.05", "5", "-1.5").
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", v);
        return buf;
    }
} // namespace

void clsPentanomial::AddPair(double first, double second)
{
    const long index = std::lround(2 * (first + second));
    pairs[static_cast<std::size_t>(std::clamp(index, 0L, 4L))]++;
}

void clsMatchTally::AddGame(double points, std::int64_t pair)
{
    const double p = points > 0.5 ? 1.0 : (points < 0.5 ? 0.0 : 0.5);
    (p == 1.0 ? games_.wins : (p == 0.0 ? games_.losses : games_.draws))++;
    if (pair < 0) return;
    auto [at, first] = open_.try_emplace(pair, p);
    if (first) return;
    pairs_.AddPair(at->second, p);
    open_.erase(at);
}

double EloFromScore(double score)
{
    if (score <= 0) return -Infinity;
    if (score >= 1) return Infinity;
    return -400 * std::log10(1 / score - 1);
}

double ScoreFromElo(double elo)
{
    return 1 / (1 + std::pow(10.0, -elo / 400));
}

clsMatchStats ComputeStats(const clsWLD& r)
{
    clsMatchStats st;
    st.games = r.Games();
    if (st.games <= 0) return st;
    MeanVariance<3>({ 1.0, 0.5, 0.0 }, { r.wins, r.draws, r.losses }, st.games, st.score, st.variance);
    FillElo(st, st.variance / static_cast<double>(st.games));
    // LOS from wins and losses alone: draws say nothing about which side is stronger.
    const double decisive = static_cast<double>(r.wins + r.losses);
    st.los = decisive > 0
        ? 0.5 * (1 + std::erf(static_cast<double>(r.wins - r.losses) / std::sqrt(2 * decisive)))
        : 0.5;
    st.drawRatio = static_cast<double>(r.draws) / static_cast<double>(st.games);
    return st;
}

clsMatchStats ComputeStats(const clsPentanomial& p)
{
    clsMatchStats st;
    st.games = p.Pairs();
    if (st.games <= 0) return st;
    MeanVariance<5>({ 0.0, 0.25, 0.5, 0.75, 1.0 }, p.pairs, st.games, st.score, st.variance);
    const double varianceOfMean = st.variance / static_cast<double>(st.games);
    FillElo(st, varianceOfMean);
    st.los = AboveHalf(st.score, varianceOfMean);
    st.drawRatio = static_cast<double>(p.pairs[2]) / static_cast<double>(st.games);
    return st;
}

clsSprtResult SprtBounds(const clsSprtSettings& s)
{
    clsSprtResult r;
    r.lower = std::log(s.beta / (1 - s.alpha));
    r.upper = std::log((1 - s.beta) / s.alpha);
    return r;
}

clsSprtResult ComputeSprt(const clsWLD& r, const clsSprtSettings& s)
{
    const clsMatchStats st = ComputeStats(r);
    const auto games = static_cast<double>(st.games);
    return Sprt(games, st.score, st.variance, std::sqrt(st.variance), games, s);
}

clsSprtResult ComputeSprt(const clsPentanomial& p, const clsSprtSettings& s)
{
    // A pair's points / 2 has the same mean as one game; its spread stands for two games.
    const clsMatchStats st = ComputeStats(p);
    const auto pairs = static_cast<double>(st.games);
    return Sprt(pairs, st.score, st.variance, std::sqrt(2 * st.variance), 2 * pairs, s);
}

std::string SprtVerdictText(SprtVerdict v)
{
    switch (v) {
    case SprtVerdict::AcceptH0:
        return "H0 accepted";
    case SprtVerdict::AcceptH1:
        return "H1 accepted";
    default:
        return "continue";
    }
}

std::string FormatMatchLine(const std::string& first, const std::string& second, const clsWLD& r)
{
    const clsMatchStats st = ComputeStats(r);
    return first + " vs " + second + ": +" + std::to_string(r.wins) + " -" + std::to_string(r.losses) + " ="
        + std::to_string(r.draws) + " of " + std::to_string(st.games) + ", score " + Percent(st.score) + ", "
        + EloAndLosText(st) + ", draws " + Percent(st.drawRatio);
}

std::string FormatPairsLine(const std::string& first, const std::string& second, const clsPentanomial& p)
{
    const clsMatchStats st = ComputeStats(p);
    static const char* const points[5] = { "0", "0.5", "1", "1.5", "2" };
    std::string line = first + " vs " + second + " pairs:";
    for (std::size_t i = 0; i < 5; ++i)
        line += std::string(" ") + points[i] + ":" + std::to_string(p.pairs[i]);
    // A pair of 1 point may be two draws or a win and a loss: it is not called a draw.
    return line + " of " + std::to_string(st.games) + ", score " + Percent(st.score) + ", "
        + EloAndLosText(st) + ", 1-point pairs " + Percent(st.drawRatio);
}

std::string FormatSprtLine(const clsSprtSettings& s, const clsSprtResult& r)
{
    return "SPRT elo0 " + Number(s.elo0) + " elo1 " + Number(s.elo1) + " alpha " + Number(s.alpha) + " beta "
        + Number(s.beta) + (s.model == SprtModel::Normalized ? " normalized" : "") + ": LLR "
        + DecimalText(r.llr, 2) + " [" + DecimalText(r.lower, 2) + ", " + DecimalText(r.upper, 2) + "] "
        + SprtVerdictText(r.verdict)
        + (r.held ? " (fewer than " + std::to_string(s.minGames) + " games)" : std::string());
}

std::vector<std::string> FormatStandings(std::vector<clsStanding> players)
{
    std::stable_sort(players.begin(), players.end(), [](const clsStanding& a, const clsStanding& b) {
        return 2 * a.results.wins + a.results.draws > 2 * b.results.wins + b.results.draws;
    });
    std::size_t width = 4;
    for (const clsStanding& p : players)
        width = std::max(width, p.name.size());
    std::vector<std::string> lines;
    lines.push_back(
        "rank " + std::string("name") + std::string(width - 4, ' ') + "  points / games  +won -lost =drawn");
    int rank = 0;
    for (const clsStanding& p : players) {
        const clsWLD& r = p.results;
        const clsMatchStats st = ComputeStats(r);
        char head[32];
        std::snprintf(head, sizeof head, "%4d ", ++rank);
        const double points = static_cast<double>(r.wins) + static_cast<double>(r.draws) / 2;
        lines.push_back(std::string(head) + p.name + std::string(width - p.name.size(), ' ') + "  "
            + DecimalText(points, 1) + " / " + std::to_string(st.games) + "  +" + std::to_string(r.wins)
            + " -" + std::to_string(r.losses) + " =" + std::to_string(r.draws) + "  "
            + (st.games > 0 ? EloText(st) : std::string("Elo -")));
    }
    return lines;
}

std::string DecimalText(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string SignedEloText(double elo)
{
    if (std::isinf(elo)) return elo > 0 ? "+inf" : "-inf";
    char text[64];
    std::snprintf(text, sizeof text, "%+.1f", elo);
    return text;
}

} // namespace drnChess
