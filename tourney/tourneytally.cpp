#include "tourney/tourneytally.h"

#include <algorithm>

#include "book/clsgame.h"
#include "tourney/gamerules.h"

namespace drnChess {

void clsTourneyTally::Reset(std::vector<std::string> names)
{
    names_ = std::move(names);
    players_.assign(names_.size(), clsWLD {});
    pairs_.clear();
}

namespace {
    void Count(clsWLD& r, int halfPoints)
    {
        if (halfPoints == 2)
            ++r.wins;
        else if (halfPoints == 1)
            ++r.draws;
        else
            ++r.losses;
    }
} // namespace

bool clsTourneyTally::AddGame(int white, int black, std::uint32_t resultCode, std::int64_t pair)
{
    if (resultCode & (GameResult::Unfinished | GameResult::Aborted)) return false;
    const std::size_t count = players_.size();
    if (white < 0 || black < 0 || static_cast<std::size_t>(white) >= count
        || static_cast<std::size_t>(black) >= count || white == black)
        return false;
    const clsHalfPoints points = HalfPoints(resultCode);
    Count(players_[static_cast<std::size_t>(white)], points.white);
    Count(players_[static_cast<std::size_t>(black)], points.black);
    const int first = std::min(white, black);
    const int firstHalfPoints = first == white ? points.white : points.black;
    pairs_[{ first, std::max(white, black) }].AddGame(firstHalfPoints / 2.0, pair);
    return true;
}

const clsMatchTally* clsTourneyTally::Pair(int a, int b) const
{
    const auto it = pairs_.find({ std::min(a, b), std::max(a, b) });
    return it == pairs_.end() ? nullptr : &it->second;
}

std::vector<std::string> clsTourneyTally::PairLines(int a, int b) const
{
    std::vector<std::string> lines;
    const clsMatchTally* tally = Pair(a, b);
    if (!tally) return lines;
    const std::string& first = names_[static_cast<std::size_t>(std::min(a, b))];
    const std::string& second = names_[static_cast<std::size_t>(std::max(a, b))];
    lines.push_back(FormatMatchLine(first, second, tally->Games()));
    if (tally->Pairs().Pairs() > 0) lines.push_back(FormatPairsLine(first, second, tally->Pairs()));
    return lines;
}

std::vector<std::string> clsTourneyTally::SummaryLines() const
{
    std::vector<clsStanding> standings;
    for (std::size_t i = 0; i < names_.size(); ++i)
        standings.push_back({ names_[i], players_[i] });
    std::vector<std::string> lines = FormatStandings(std::move(standings));
    for (const auto& [key, tally] : pairs_)
        for (std::string& line : PairLines(key.first, key.second))
            lines.push_back(std::move(line));
    return lines;
}

} // namespace drnChess
