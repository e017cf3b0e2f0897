#include "tourney/matchreport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>
#include <numeric>

#include "book/clsgame.h"
#include "dranbase/clsstring.h"
#include "tourney/gamerules.h"

namespace drnChess {

namespace {

    std::string ErrorText(const clsMatchStats& st)
    {
        if (st.games < 2 || std::isinf(st.eloError) || std::isinf(st.elo)) return "unknown";
        return DecimalText(st.eloError, 1);
    }

    double Points(const clsWLD& r)
    {
        return static_cast<double>(r.wins) + static_cast<double>(r.draws) / 2;
    }

    // "1.5" or "2": points without a needless fraction.
    std::string PointsText(double points)
    {
        return points == std::floor(points) ? std::to_string(static_cast<long long>(points))
                                            : DecimalText(points, 1);
    }

    std::string Padded(std::string text, std::size_t width, bool right)
    {
        if (text.size() >= width) return text;
        const std::string pad(width - text.size(), ' ');
        return right ? pad + text : text + pad;
    }

} // namespace

std::string StartedGameLine(int number, int total, const std::string& white, const std::string& black)
{
    return "Started game " + std::to_string(number) + " of " + std::to_string(total) + " (" + white + " vs "
        + black + ")";
}

std::string ResultComment(std::uint32_t code)
{
    using namespace GameResult;
    if (code & (Unfinished | Aborted)) return "Game aborted";
    if (code & Draw) {
        if (code & Adjudication) return "Draw by adjudication";
        if (code & Stalemate) return "Draw by stalemate";
        if (code & Repetition) return "Draw by repetition";
        if (code & FiftyMoves) return "Draw by fifty moves rule";
        if (code & InsufficientMaterial) return "Draw by insufficient mating material";
        return "Draw by agreement";
    }
    const bool whiteWon = (code & BlackWins) == 0;
    const std::string winner = whiteWon ? "White" : "Black";
    const std::string loser = whiteWon ? "Black" : "White";
    if (code & Mate) return winner + " mates";
    if (code & Forfeit) return loser + " loses on time";
    if (code & Resign) return loser + " resigns";
    if (code & IllegalMove) return loser + " makes an illegal move";
    if (code & EngineCrashed) return loser + "'s engine crashed";
    if (code & Adjudication) return winner + " wins by adjudication";
    return winner + " wins";
}

std::string FinishedGameLine(
    int number, const std::string& white, const std::string& black, std::uint32_t code)
{
    clsGame record;
    record.SetResult(code);
    return "Finished game " + std::to_string(number) + " (" + white + " vs " + black
        + "): " + record.ResultText() + " {" + ResultComment(code) + "}";
}

std::string StoppedGameLine(int number, const std::string& white, const std::string& black)
{
    return "Stopped game " + std::to_string(number) + " (" + white + " vs " + black + "): not counted";
}

std::string MinimalPgn(const std::string& pgn, std::uint32_t code)
{
    static constexpr const char* Kept[]
        = { "Event", "Site", "Date", "Round", "White", "Black", "Result", "SetUp", "FEN" };
    std::map<std::string, std::string> tags; // the kept tags' lines, by name
    std::string moveText;
    bool inMoves = false;
    for (std::string line : dranbase::SplitAll(pgn, '\n')) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        if (!inMoves && line.starts_with("[")) {
            const std::string name = line.substr(1, line.find(' ') - 1);
            if (std::find(std::begin(Kept), std::end(Kept), name) != std::end(Kept)) tags[name] = line;
            continue;
        }
        inMoves = inMoves || !line.empty();
        moveText += line + "\n";
    }
    std::string text;
    for (const char* name : Kept)
        if (tags.count(name)) text += tags[name] + "\r\n";
    text += "\r\n";

    // The moves again, without their comments, and the result's comment at the end.
    std::string result;
    const std::vector<clsMoveToken> moves = SplitMoveText(moveText, &result);
    clsMoveTextWriter writer;
    writer.Reset(
        moves.empty() ? 1 : moves.front().number, moves.empty() || !moves.front().black ? White : Black);
    for (const clsMoveToken& move : moves)
        writer.Add(move.san);
    writer.Comment(ResultComment(code));
    clsGame record;
    record.SetResult(code);
    return text + writer.Text(record.ResultText());
}

std::string ScoreOfLine(const std::string& first, const std::string& second, const clsWLD& r)
{
    const double games = static_cast<double>(r.Games());
    return "Score of " + first + " vs " + second + ": " + std::to_string(r.wins) + " - "
        + std::to_string(r.losses) + " - " + std::to_string(r.draws) + "  ["
        + DecimalText(games > 0 ? Points(r) / games : 0, 3) + "] " + std::to_string(r.Games());
}

std::string EloLine(const clsWLD& r)
{
    const clsMatchStats st = ComputeStats(r);
    return "Elo difference: " + SignedEloText(st.elo) + " +/- " + ErrorText(st)
        + ", LOS: " + (st.games < 2 ? std::string("unknown") : DecimalText(100 * st.los, 1) + " %")
        + ", DrawRatio: " + DecimalText(100 * st.drawRatio, 1) + " %";
}

std::vector<std::string> CrossTableLines(const std::vector<clsCrossEntry>& players)
{
    std::vector<std::size_t> order(players.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
        [&](std::size_t a, std::size_t b) { return Points(players[a].total) > Points(players[b].total); });
    std::size_t nameWidth = 4;
    for (const clsCrossEntry& p : players)
        nameWidth = std::max(nameWidth, p.name.size());

    // One column per opponent, in rank order, headed by its rank.
    std::string header
        = "Rank " + Padded("Name", nameWidth, false) + "      Elo     +/-   Games   Score    Draw";
    for (std::size_t r = 0; r < order.size(); ++r)
        header += " " + Padded(std::to_string(r + 1), 7, true);
    std::vector<std::string> lines { header };
    for (std::size_t rank = 0; rank < order.size(); ++rank) {
        const clsCrossEntry& p = players[order[rank]];
        const clsMatchStats st = ComputeStats(p.total);
        const double games = static_cast<double>(p.total.Games());
        std::string line = Padded(std::to_string(rank + 1), 4, true) + " " + Padded(p.name, nameWidth, false)
            + " " + Padded(p.total.Games() > 0 ? SignedEloText(st.elo) : "-", 8, true) + " "
            + Padded(p.total.Games() > 0 ? ErrorText(st) : "-", 7, true) + " "
            + Padded(std::to_string(p.total.Games()), 7, true) + " "
            + Padded(games > 0 ? DecimalText(100 * Points(p.total) / games, 1) + "%" : "-", 7, true) + " "
            + Padded(games > 0 ? DecimalText(100 * static_cast<double>(p.total.draws) / games, 1) + "%" : "-",
                7, true);
        for (const std::size_t opponent : order) {
            const clsWLD none;
            const clsWLD& r = opponent < p.against.size() ? p.against[opponent] : none;
            const std::string cell = opponent == order[rank] ? "-"
                : r.Games() == 0                             ? ""
                                 : PointsText(Points(r)) + "/" + std::to_string(r.Games());
            line += " " + Padded(cell, 7, true);
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace drnChess
