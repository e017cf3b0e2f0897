// The lines a command-line match prints: game starts and ends with the reason, the running
// score with Elo, LOS and draw ratio, and the final table.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "book/clsgame.h"
#include "tourney/gamerules.h"
#include "tourney/matchreport.h"

using namespace drnChess;

TEST(MatchReport, GameLines)
{
    EXPECT_EQ(StartedGameLine(3, 10, "sf", "phalanx"), "Started game 3 of 10 (sf vs phalanx)");
    struct Case {
        std::uint32_t code;
        const char* line;
    };
    using namespace GameResult;
    const Case cases[] = {
        { WhiteWon | Mate, "Finished game 7 (A vs B): 1-0 {White mates}" },
        { BlackWon | Mate, "Finished game 7 (A vs B): 0-1 {Black mates}" },
        { ForfeitCode(0), "Finished game 7 (A vs B): 0-1 {White loses on time}" },
        { ResignCode(1), "Finished game 7 (A vs B): 1-0 {Black resigns}" },
        { IllegalMoveCode(1), "Finished game 7 (A vs B): 1-0 {Black makes an illegal move}" },
        { CrashCode(0), "Finished game 7 (A vs B): 0-1 {White's engine crashed}" },
        { BlackWon | Adjudication, "Finished game 7 (A vs B): 0-1 {Black wins by adjudication}" },
        { Draw | Adjudication, "Finished game 7 (A vs B): 1/2-1/2 {Draw by adjudication}" },
        { Draw | Stalemate, "Finished game 7 (A vs B): 1/2-1/2 {Draw by stalemate}" },
        { Draw | Repetition, "Finished game 7 (A vs B): 1/2-1/2 {Draw by repetition}" },
        { Draw | FiftyMoves, "Finished game 7 (A vs B): 1/2-1/2 {Draw by fifty moves rule}" },
        { Aborted, "Finished game 7 (A vs B): * {Game aborted}" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(FinishedGameLine(7, "A", "B", c.code), c.line) << std::hex << c.code;
}

TEST(MatchReport, ScoreAndEloLines)
{
    EXPECT_EQ(ScoreOfLine("A", "B", clsWLD { 7, 5, 8 }), "Score of A vs B: 7 - 5 - 8  [0.550] 20");
    EXPECT_EQ(ScoreOfLine("A", "B", clsWLD {}), "Score of A vs B: 0 - 0 - 0  [0.000] 0");
    // 0.55 is +34.9 Elo; the error and LOS follow the match statistics.
    const clsWLD r { 7, 5, 8 };
    const clsMatchStats st = ComputeStats(r);
    char expected[160];
    std::snprintf(expected, sizeof expected,
        "Elo difference: +34.9 +/- %.1f, LOS: %.1f %%, DrawRatio: 40.0 %%", st.eloError, 100 * st.los);
    EXPECT_EQ(EloLine(r), expected);
    EXPECT_EQ(
        EloLine(clsWLD { 1, 0, 0 }), "Elo difference: +inf +/- unknown, LOS: unknown, DrawRatio: 0.0 %");
}

TEST(MatchReport, CrossTableRanksByScore)
{
    // C beat everyone, A drew B; B lost to C twice.
    std::vector<clsCrossEntry> players = {
        { "A", clsWLD { 0, 1, 1 }, { clsWLD {}, clsWLD { 0, 0, 1 }, clsWLD { 0, 1, 0 } } },
        { "Bee", clsWLD { 0, 2, 1 }, { clsWLD { 0, 0, 1 }, clsWLD {}, clsWLD { 0, 2, 0 } } },
        { "C", clsWLD { 3, 0, 0 }, { clsWLD { 1, 0, 0 }, clsWLD { 2, 0, 0 }, clsWLD {} } },
    };
    const std::vector<std::string> lines = CrossTableLines(players);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("Rank Name", 0), 0u) << lines[0];
    // Rank order C, A, Bee; the columns follow it: C's row holds "-", then 1/1 against A, 2/2 against Bee.
    EXPECT_EQ(lines[1].rfind("   1 C   ", 0), 0u) << lines[1];
    EXPECT_NE(
        lines[1].find("     +inf unknown       3  100.0%    0.0%       -     1/1     2/2"), std::string::npos)
        << lines[1];
    EXPECT_EQ(lines[2].rfind("   2 A   ", 0), 0u) << lines[2];
    EXPECT_NE(lines[2].find("     0/1       -   0.5/1"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3].rfind("   3 Bee ", 0), 0u) << lines[3];
    EXPECT_NE(lines[3].find("    0/2   0.5/1       -"), std::string::npos) << lines[3];
}

// The minimal PGN keeps the seven tags in their order (and what a set-up start needs), drops
// every other tag and every comment, numbers a first move of Black, and ends with the result's
// comment.
TEST(MatchReport, MinimalPgnKeepsTheTagsAndMovesAPlayerNeeds)
{
    const std::string full = "[Event \"Cup\"]\r\n[Site \"\"]\r\n[Date \"2024.01.02\"]\r\n[Round \"2\"]\r\n"
                             "[DranRound \"1:2:1\"]\r\n[TimeControl \"1+0.01\"]\r\n[White \"A\"]\r\n"
                             "[Black \"B\"]\r\n[Result \"0-1\"]\r\n[SetUp \"1\"]\r\n"
                             "[FEN \"k7/8/8/8/8/8/5q2/K7 b - - 0 40\"]\r\n[PlyCount \"3\"]\r\n\r\n"
                             "40... Qf1+ {book} 41. Ka2 {-9.99/12 0.31s} Qb5 {+M1/1 0.01s}\r\n0-1\r\n";
    EXPECT_EQ(MinimalPgn(full, GameResult::BlackWon | GameResult::Adjudication),
        "[Event \"Cup\"]\r\n[Site \"\"]\r\n[Date \"2024.01.02\"]\r\n[Round \"2\"]\r\n[White \"A\"]\r\n"
        "[Black \"B\"]\r\n[Result \"0-1\"]\r\n[SetUp \"1\"]\r\n[FEN \"k7/8/8/8/8/8/5q2/K7 b - - 0 "
        "40\"]\r\n\r\n"
        "40... Qf1+ 41. Ka2 Qb5 {Black wins by adjudication} 0-1\r\n");
}
