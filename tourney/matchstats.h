#pragma once
// Match statistics of one player against another: score, Elo difference with its 95 % error,
// likelihood of superiority and draw ratio, from game results (trinomial) or from the results
// of colour-reversed game pairs (pentanomial); and the sequential probability ratio test that
// tells when a match may stop. Pure arithmetic: nothing here prints or reads a clock.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace drnChess {

// Wins, losses and draws of the first player.
struct clsWLD {
    std::int64_t wins = 0;
    std::int64_t losses = 0;
    std::int64_t draws = 0;
    std::int64_t Games() const { return wins + losses + draws; }
};

// Counts of game pairs by the first player's points in the pair: index 0 = 0 points (two
// losses), 1 = 0.5, 2 = 1 (two draws, or a win and a loss), 3 = 1.5, 4 = 2 (two wins).
struct clsPentanomial {
    std::array<std::int64_t, 5> pairs {};
    std::int64_t Pairs() const { return pairs[0] + pairs[1] + pairs[2] + pairs[3] + pairs[4]; }
    // Adds one pair from the first player's points in its two games (0, 0.5 or 1 each).
    void AddPair(double first, double second);
};

// The results of one player against another as its games end, in any order: W-L-D over the
// games and, for games played in colour-reversed pairs, the pentanomial over the pairs whose
// two games have both ended.
class clsMatchTally {
public:
    // The first player's points in the game: 1, 0.5 or 0 (anything above one half counts as a
    // win, below as a loss). `pair` numbers the game's pair; a negative number: not paired.
    void AddGame(double points, std::int64_t pair = -1);
    const clsWLD& Games() const { return games_; }
    const clsPentanomial& Pairs() const { return pairs_; }
    // Pairs of which one game has ended.
    std::size_t OpenPairs() const { return open_.size(); }

private:
    clsWLD games_;
    clsPentanomial pairs_;
    std::map<std::int64_t, double> open_; // pair -> points of its first game to end
};

// What a set of results says. Elo values are infinite when the score is 0 or 1 and the error
// is infinite when the 95 % interval of the score reaches 0 or 1; every field is 0 when there
// are no results.
struct clsMatchStats {
    std::int64_t games = 0; // games (trinomial) or pairs (pentanomial) counted
    double score = 0; // mean points per game, 0..1
    double variance = 0; // variance of one sample (a game, or a pair's points / 2)
    double elo = 0; // Elo difference of the first player
    double eloError = 0; // half the width of the 95 % interval, in Elo
    double los = 0; // likelihood of superiority, 0..1
    double drawRatio = 0; // draws per game; for pairs: pairs of 1 point per pair
};

// Elo difference that gives the expected score under the logistic model, and the inverse.
double EloFromScore(double score);
double ScoreFromElo(double elo);

clsMatchStats ComputeStats(const clsWLD& r);
clsMatchStats ComputeStats(const clsPentanomial& p);

// The sequential probability ratio test of H0 "Elo difference = elo0" against H1 "= elo1".
// Logistic: the hypotheses are logistic Elo differences. Normalised: they are normalised Elo
// (Elo scaled by the spread of the results per game), which makes the test's length depend
// less on the draw rate.
enum class SprtModel { Logistic, Normalized };

struct clsSprtSettings {
    double elo0 = 0;
    double elo1 = 5;
    double alpha = 0.05;
    double beta = 0.05;
    SprtModel model = SprtModel::Logistic;
    // No verdict before this many games (a pair counts two): the normal approximation
    // underneath needs the spread of the results, which a handful of games misjudges (with
    // none, a run of early wins accepts a wide H1 far more often than alpha says).
    std::int64_t minGames = 10;
};

enum class SprtVerdict { Continue, AcceptH0, AcceptH1 };

struct clsSprtResult {
    double llr = 0; // log-likelihood ratio of H1 over H0
    double lower = 0; // log(beta / (1 - alpha)): at or below, H0 is accepted
    double upper = 0; // log((1 - beta) / alpha): at or above, H1 is accepted
    SprtVerdict verdict = SprtVerdict::Continue;
    bool held = false; // a bound is crossed, but fewer than minGames games are in
};

// The bounds only; valid settings have 0 < alpha, beta and alpha + beta < 1.
clsSprtResult SprtBounds(const clsSprtSettings& s);
// The log-likelihood ratio by the usual normal approximation of the generalised test:
// LLR = N (s1 - s0) (2 m - s0 - s1) / (2 v), with N samples of mean m and variance v and s0, s1
// the scores the hypotheses predict. No results, or results of zero variance (all draws, all
// wins), give LLR 0 and the verdict "continue"; so does a bound crossed before minGames games.
clsSprtResult ComputeSprt(const clsWLD& r, const clsSprtSettings& s);
clsSprtResult ComputeSprt(const clsPentanomial& p, const clsSprtSettings& s);

// "continue", "H0 accepted", "H1 accepted".
std::string SprtVerdictText(SprtVerdict v);

// A number with the given decimals ("0.550"); an Elo figure with its sign and one decimal
// ("+12.3", "+inf").
std::string DecimalText(double value, int decimals);
std::string SignedEloText(double elo);

// --- lines for the tournament log and console --------------------------------------------------
// "A vs B: +10 -5 =5 of 20, score 62.5 %, Elo +88.7 +/- 143.9, LOS 90.4 %, draws 25.0 %"
std::string FormatMatchLine(const std::string& first, const std::string& second, const clsWLD& r);
// "A vs B pairs: 0:1 0.5:2 1:3 1.5:4 2:5 of 15, score 62.5 %, Elo +88.7 +/- 50.1, LOS 99.1 %,
// 1-point pairs 20.0 %". Both lines say "+/- unknown, LOS unknown" for fewer than two samples.
std::string FormatPairsLine(const std::string& first, const std::string& second, const clsPentanomial& p);
// "SPRT elo0 0 elo1 5 alpha 0.05 beta 0.05: LLR 1.23 [-2.94, 2.94] continue", and a held
// verdict ends in "continue (fewer than 10 games)".
std::string FormatSprtLine(const clsSprtSettings& s, const clsSprtResult& r);

// One player's totals over all its games, for the standings table.
struct clsStanding {
    std::string name;
    clsWLD results;
};
// A header line and one line per player, best score first (ties keep the given order):
// "  1. Name              12.5 / 20  +10 -5 =5  Elo +88.7 +/- 143.9" (Elo against the field).
std::vector<std::string> FormatStandings(std::vector<clsStanding> players);

} // namespace drnChess
