// Match statistics and the SPRT against values computed by hand (the steps are in the comments;
// they were checked with a calculator, not with this code).

#include <gtest/gtest.h>

#include <cmath>

#include "tourney/matchstats.h"

using namespace drnChess;

// +10 -5 =5: n = 20, score s = (10 + 5/2) / 20 = 0.625.
// Elo = -400 log10(1/s - 1) = -400 log10(0.6) = 88.7395.
// Variance per game v = (10 (1 - s)^2 + 5 s^2 + 5 (0.5 - s)^2) / 20
//                     = (1.40625 + 1.953125 + 0.078125) / 20 = 0.171875.
// 95 %: d = 1.959964 sqrt(v / 20) = 0.181693; Elo(s + d) = Elo(0.806693) = 248.18,
// Elo(s - d) = Elo(0.443307) = -39.57; error = (248.18 + 39.57) / 2 = 143.875.
// LOS = (1 + erf((10 - 5) / sqrt(2 * 15))) / 2 = 0.901647. Draws 5 / 20.
TEST(MatchStats, TrinomialByHand)
{
    const clsMatchStats st = ComputeStats(clsWLD { 10, 5, 5 });
    EXPECT_EQ(st.games, 20);
    EXPECT_DOUBLE_EQ(st.score, 0.625);
    EXPECT_NEAR(st.variance, 0.171875, 1e-12);
    EXPECT_NEAR(st.elo, 88.7395, 1e-3);
    EXPECT_NEAR(st.eloError, 143.875, 1e-2);
    EXPECT_NEAR(st.los, 0.901647, 1e-5);
    EXPECT_DOUBLE_EQ(st.drawRatio, 0.25);
}

// Pairs by points 0, 0.5, 1, 1.5, 2: 1 2 3 4 5, N = 15 pairs. Samples are points / 2:
// mean m = (2*0.25 + 3*0.5 + 4*0.75 + 5*1) / 15 = 10 / 15 = 0.666667; Elo = -400 log10(0.5)
// = 120.412. v = (1*m^2 + 2 (0.25-m)^2 + 3 (0.5-m)^2 + 4 (0.75-m)^2 + 5 (1-m)^2) / 15
//   = (0.444444 + 0.347222 + 0.083333 + 0.027778 + 0.555556) / 15 = 0.0972222.
// d = 1.959964 sqrt(v / 15) = 0.157793; Elo(0.824460) = 267.7, Elo(0.508874) = 6.17;
// error = 131.27. LOS = (1 + erf((m - 0.5) / sqrt(2 v / 15))) / 2 = 0.980783. Draws 3 / 15.
TEST(MatchStats, PentanomialByHand)
{
    clsPentanomial p;
    p.pairs = { 1, 2, 3, 4, 5 };
    const clsMatchStats st = ComputeStats(p);
    EXPECT_EQ(st.games, 15);
    EXPECT_NEAR(st.score, 2.0 / 3, 1e-12);
    EXPECT_NEAR(st.variance, 0.0972222, 1e-6);
    EXPECT_NEAR(st.elo, 120.412, 1e-3);
    EXPECT_NEAR(st.eloError, 131.274, 1e-2);
    EXPECT_NEAR(st.los, 0.980783, 1e-5);
    EXPECT_DOUBLE_EQ(st.drawRatio, 0.2);
}

TEST(MatchStats, PairsAreCountedByTheirPoints)
{
    clsPentanomial p;
    p.AddPair(0, 0);
    p.AddPair(1, 0); // a win and a loss: 1 point, like two draws
    p.AddPair(0.5, 0.5);
    p.AddPair(1, 0.5);
    p.AddPair(1, 1);
    p.AddPair(0, 0.5);
    EXPECT_EQ(p.pairs, (std::array<std::int64_t, 5> { 1, 1, 2, 1, 1 }));
}

// Games end in any order; a pair counts once both its games have ended.
TEST(MatchStats, TallyOfGamesAndPairs)
{
    clsMatchTally t;
    t.AddGame(1, 0);
    t.AddGame(0.5, 1);
    t.AddGame(0, 2);
    EXPECT_EQ(t.Pairs().Pairs(), 0);
    EXPECT_EQ(t.OpenPairs(), 3u);
    t.AddGame(1, 1); // pair 1: 1.5 points
    t.AddGame(0, 0); // pair 0: 1 point
    t.AddGame(0.5); // unpaired
    EXPECT_EQ(t.Pairs().pairs, (std::array<std::int64_t, 5> { 0, 0, 1, 1, 0 }));
    EXPECT_EQ(t.OpenPairs(), 1u);
    EXPECT_EQ(t.Games().wins, 2);
    EXPECT_EQ(t.Games().losses, 2);
    EXPECT_EQ(t.Games().draws, 2);
}

// The edges: no games, a clean sweep (score 1: infinite Elo), only draws (no decisive game:
// LOS one half), a score so near an end that the interval leaves (0, 1).
TEST(MatchStats, Edges)
{
    const clsMatchStats none = ComputeStats(clsWLD {});
    EXPECT_EQ(none.games, 0);
    EXPECT_EQ(none.elo, 0);
    EXPECT_EQ(none.los, 0);

    const clsMatchStats sweep = ComputeStats(clsWLD { 5, 0, 0 });
    EXPECT_TRUE(std::isinf(sweep.elo) && sweep.elo > 0);
    EXPECT_TRUE(std::isinf(sweep.eloError));

    const clsMatchStats draws = ComputeStats(clsWLD { 0, 0, 8 });
    EXPECT_EQ(draws.elo, 0);
    EXPECT_EQ(draws.eloError, 0);
    EXPECT_EQ(draws.los, 0.5);
    EXPECT_EQ(draws.drawRatio, 1);

    const clsMatchStats nearSweep = ComputeStats(clsWLD { 9, 1, 0 });
    EXPECT_TRUE(std::isfinite(nearSweep.elo));
    EXPECT_TRUE(std::isinf(nearSweep.eloError)); // 0.9 + 1.96 * 0.0949 > 1
}

// Bounds for alpha = beta = 0.05: log(0.05 / 0.95) = -2.944439, log(0.95 / 0.05) = +2.944439.
// Logistic model, H0 elo 0, H1 elo 5: s0 = 0.5, s1 = 1 / (1 + 10^(-5/400)) = 0.5071951.
// LLR = N (s1 - s0) (2 m - s0 - s1) / (2 v):
//  +1100 -1000 =1900: N 4000, m 0.5125, v = (1100*0.4875^2 + 1000*0.5125^2 + 1900*0.0125^2)/4000
//     = 0.13109375; LLR = 4000 * 0.0071951 * 0.0178049 / 0.2621875 = 1.954446 (continue).
//  The same counts with H0 -5, H1 0: s0 = 0.4928049, s1 = 0.5; LLR = 4000 * 0.0071951
//     * 0.0321951 / 0.2621875 = 3.534055 (H1 accepted).
//  +1000 -1100 =1900 with H0 0, H1 5: m 0.4875, same v; LLR = 4000 * 0.0071951 * (-0.0321951)
//     / 0.2621875 = -3.534055 (H0 accepted).
//  +10 -5 =5 (m 0.625, v 0.171875): LLR = 20 * 0.0071951 * 0.2428049 / 0.34375 = 0.101644.
TEST(Sprt, LogisticTrinomialByHand)
{
    struct Case {
        clsWLD r;
        double elo0, elo1, llr;
        SprtVerdict verdict;
    };
    const Case cases[] = {
        { { 1100, 1000, 1900 }, 0, 5, 1.954446, SprtVerdict::Continue },
        { { 1100, 1000, 1900 }, -5, 0, 3.534055, SprtVerdict::AcceptH1 },
        { { 1000, 1100, 1900 }, 0, 5, -3.534055, SprtVerdict::AcceptH0 },
        { { 10, 5, 5 }, 0, 5, 0.101644, SprtVerdict::Continue },
    };
    for (const Case& c : cases) {
        clsSprtSettings s;
        s.elo0 = c.elo0;
        s.elo1 = c.elo1;
        const clsSprtResult r = ComputeSprt(c.r, s);
        SCOPED_TRACE(testing::Message() << c.r.wins << "-" << c.r.losses << "-" << c.r.draws);
        EXPECT_NEAR(r.llr, c.llr, 1e-5);
        EXPECT_NEAR(r.lower, -2.944439, 1e-6);
        EXPECT_NEAR(r.upper, 2.944439, 1e-6);
        EXPECT_EQ(r.verdict, c.verdict);
    }
}

// Pentanomial 1 2 3 4 5 (m 2/3, v 0.0972222 per pair, N 15), H0 0, H1 5:
//   logistic: LLR = 15 * 0.0071951 * (1.333333 - 1.0071951) / (2 * 0.0972222) = 0.181023.
//   normalised: per-game spread sqrt(2 v) = 0.440959; unit = 0.440959 ln 10 / 800 = 0.00126918;
//   s0 = 0.5, s1 = 0.5063459; LLR = 15 * 0.0063459 * 0.8269874 / 0.1944444 = 0.160074.
// alpha 0.1, beta 0.2: bounds log(0.2 / 0.9) = -1.504077, log(0.8 / 0.1) = 2.079442.
TEST(Sprt, PentanomialByHandBothModels)
{
    clsPentanomial p;
    p.pairs = { 1, 2, 3, 4, 5 };
    clsSprtSettings s;
    s.alpha = 0.1;
    s.beta = 0.2;
    clsSprtResult r = ComputeSprt(p, s);
    EXPECT_NEAR(r.llr, 0.181023, 1e-5);
    EXPECT_NEAR(r.lower, -1.504077, 1e-6);
    EXPECT_NEAR(r.upper, 2.079442, 1e-6);
    s.model = SprtModel::Normalized;
    r = ComputeSprt(p, s);
    EXPECT_NEAR(r.llr, 0.160074, 1e-5);
    EXPECT_EQ(r.verdict, SprtVerdict::Continue);
}

// No games or no spread: nothing is known yet, whatever the score.
TEST(Sprt, NoInformationContinues)
{
    for (const clsWLD& r : { clsWLD {}, clsWLD { 0, 0, 50 }, clsWLD { 30, 0, 0 } }) {
        const clsSprtResult s = ComputeSprt(r, clsSprtSettings {});
        EXPECT_EQ(s.llr, 0);
        EXPECT_EQ(s.verdict, SprtVerdict::Continue);
    }
}

// A crossed bound waits for the minimum of games (a pair counts two); the LLR is shown all along.
// +6 -0 =1 (m 0.9285714, v 0.0306122), H0 0, H1 50 (s1 0.5714631): LLR = 7 * 0.0714631 * 0.7856797
// / 0.0612245 = 6.419488, far above 2.944439.
TEST(Sprt, VerdictWaitsForTheMinimumOfGames)
{
    clsSprtSettings s;
    s.elo1 = 50;
    const clsWLD early { 6, 0, 1 };
    clsSprtResult r = ComputeSprt(early, s); // 7 games, minimum 10
    EXPECT_NEAR(r.llr, 6.419488, 1e-5);
    EXPECT_EQ(r.verdict, SprtVerdict::Continue);
    EXPECT_TRUE(r.held);
    EXPECT_EQ(FormatSprtLine(s, r),
        "SPRT elo0 0 elo1 50 alpha 0.05 beta 0.05: LLR 6.42 [-2.94, 2.94] continue (fewer than 10 games)");
    s.minGames = 7;
    r = ComputeSprt(early, s);
    EXPECT_EQ(r.verdict, SprtVerdict::AcceptH1);
    EXPECT_FALSE(r.held);

    clsPentanomial p; // 4 pairs are 8 games: held at 10, decided at 8
    p.pairs = { 0, 0, 0, 1, 3 };
    s.minGames = 10;
    EXPECT_TRUE(ComputeSprt(p, s).held);
    s.minGames = 8;
    EXPECT_EQ(ComputeSprt(p, s).verdict, SprtVerdict::AcceptH1);
}

TEST(MatchStats, LinesForTheLog)
{
    EXPECT_EQ(FormatMatchLine("A", "B", clsWLD { 10, 5, 5 }),
        "A vs B: +10 -5 =5 of 20, score 62.5 %, Elo +88.7 +/- 143.9, LOS 90.2 %, draws 25.0 %");
    EXPECT_EQ(FormatMatchLine("A", "B", clsWLD { 3, 0, 0 }),
        "A vs B: +3 -0 =0 of 3, score 100.0 %, Elo +inf +/- inf, LOS 95.8 %, draws 0.0 %");
    clsPentanomial p;
    p.pairs = { 1, 2, 3, 4, 5 };
    EXPECT_EQ(FormatPairsLine("A", "B", p),
        "A vs B pairs: 0:1 0.5:2 1:3 1.5:4 2:5 of 15, score 66.7 %, Elo +120.4 +/- 131.3, LOS 98.1 %, "
        "1-point pairs 20.0 %");
    // One pair, or one game, shows no spread: the error is unknown, not 0.
    clsPentanomial one;
    one.pairs = { 0, 0, 0, 1, 0 };
    EXPECT_EQ(FormatPairsLine("A", "B", one),
        "A vs B pairs: 0:0 0.5:0 1:0 1.5:1 2:0 of 1, score 75.0 %, Elo +190.8 +/- unknown, LOS unknown, "
        "1-point pairs 0.0 %");
    EXPECT_EQ(FormatMatchLine("A", "B", clsWLD { 1, 0, 0 }),
        "A vs B: +1 -0 =0 of 1, score 100.0 %, Elo +inf +/- unknown, LOS unknown, draws 0.0 %");
    clsSprtSettings s;
    EXPECT_EQ(FormatSprtLine(s, ComputeSprt(clsWLD { 1000, 1100, 1900 }, s)),
        "SPRT elo0 0 elo1 5 alpha 0.05 beta 0.05: LLR -3.53 [-2.94, 2.94] H0 accepted");
}

TEST(MatchStats, StandingsBestFirst)
{
    const std::vector<std::string> lines = FormatStandings({
        { "weak", { 1, 3, 0 } },
        { "strongest", { 3, 0, 1 } },
        { "middle", { 1, 1, 2 } },
    });
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].substr(0, 16), "   1 strongest  ");
    EXPECT_NE(lines[1].find("3.5 / 4  +3 -0 =1"), std::string::npos);
    EXPECT_EQ(lines[2].substr(0, 11), "   2 middle");
    EXPECT_EQ(lines[3].substr(0, 9), "   3 weak");
    EXPECT_NE(lines[3].find("1.0 / 4  +1 -3 =0  Elo -190.8"), std::string::npos);
}
