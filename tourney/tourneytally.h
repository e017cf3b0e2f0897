#pragma once
// The results of a tournament as its games end: each player's wins, losses and draws, and each
// pairing's tally seen from its lower-numbered player (with the pentanomial over the
// colour-reversed game pairs when the games are paired), and the lines the tournament log shows
// for them. Only games with a known result count; nothing here prints.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tourney/matchstats.h"

namespace drnChess {

class clsTourneyTally {
public:
    // Starts afresh for the players named, in tournament order.
    void Reset(std::vector<std::string> names);
    // Counts a game between the players (indexes) with its result code; `pair` >= 0 numbers
    // its colour-reversed pair of games. False, and nothing counted, for a result that is not
    // known (unfinished or aborted).
    bool AddGame(int white, int black, std::uint32_t resultCode, std::int64_t pair);

    // The tally of two players from the side of the lower index; null when they never met.
    const clsMatchTally* Pair(int a, int b) const;
    const clsWLD& Player(int p) const { return players_[static_cast<std::size_t>(p)]; }

    // The match line of the two players and, when a game pair of theirs is complete, the
    // pentanomial line.
    std::vector<std::string> PairLines(int a, int b) const;
    // The standings table (Elo against the field), then the lines of every pairing that met.
    std::vector<std::string> SummaryLines() const;

private:
    std::vector<std::string> names_;
    std::vector<clsWLD> players_;
    std::map<std::pair<int, int>, clsMatchTally> pairs_;
};

} // namespace drnChess
