#pragma once
// The match command line: "corvala -use=match OPTIONS..." in the style engine testers type,
// read into the same tournament description the XML file gives, and written out as such a
// file beside the log, so a command-line match is an ordinary tournament underneath (resume,
// "-use=jobs" and "-use=game" read that file).
//
// The reader is pure: it turns the words into a clsMatchCommand or a message naming the option
// at fault. Options this runner cannot carry out yet are refused by name, never ignored.

#include <cstdint>
#include <string>
#include <vector>

#include "tourney/clstourney.h"
#include "tourney/openings.h"

namespace drnChess {

struct clsMatchCommand {
    bool help = false; // "--help", "-help" or "-h": list the options, play nothing
    clsTourneyConfig config; // name, kind, rounds, clock, threads, pacing, players, extra tags
    clsMatchOptions match; // openings and SPRT
    std::string pgnOut; // every game's PGN gathered into this file at the end; empty: none
    bool pgnMinimal = false; // "-pgnout FILE min": the seven tags, the moves, the result's comment
    std::string epdOut; // each game's last position appended to this file as it ends; empty: none
    long long ratingInterval = 0; // the "Score of" lines every this many games; 0: only at the end
    std::string error; // empty when the words were read; else what is wrong, naming the option
};

// Reads the words that follow "-use=match" (not including it).
clsMatchCommand ReadMatchCommand(const std::vector<std::string>& words);

// The tournament file that describes the same match (the XML reader gives back its config).
std::string MatchTourneyXml(const clsMatchCommand& command);

// The lines of "-use=match --help".
std::vector<std::string> MatchHelpLines();

// Time control text "[moves/]time[+increment]" (time in seconds or minutes:seconds) into the
// config's clock; false when it is not one (or has a zero or negative time).
bool ReadTimeControl(const std::string& text, std::int64_t& moves, std::int64_t& gameMs, std::int64_t& incMs);

// Runs "-use=match" with the words after it: refuses bad words (status 1), prints the help
// (status 0), or writes the tournament file into the log folder, plays it and gathers the PGN.
int RunMatchCommand(const std::vector<std::string>& words);

} // namespace drnChess
