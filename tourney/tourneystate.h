#pragma once
// What a tournament has finished, kept beside its log so that a restarted tournament plays
// only the games still missing: each finished game's number, result code and PGN file, and a
// fingerprint of the players and options it was played under. The file is written whole or
// not at all (atomic rename) and ends with a count and a checksum, so a truncated or damaged
// file is told apart from a good one. Nothing here prints.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dranbase {
class clsXML;
}

namespace drnChess {

struct clsFinishedGame {
    int index = 0; // the game's number in the tournament's order, from 0
    std::uint32_t resultCode = 0; // GameResult bits
    std::string pgnFile; // no tab or line end: such characters are written escaped
};

struct clsTourneyState {
    std::string fingerprint;
    std::vector<clsFinishedGame> games; // by index, one record per index

    // Adds the game or replaces its earlier record.
    void MarkFinished(int index, std::uint32_t resultCode, std::string pgnFile);
    // The record of the game; null when it has not finished.
    const clsFinishedGame* Find(int index) const;
};

// A text that changes whenever the tournament would play other games: the tournament's name
// and type, its engines, and its options except those that change only how the games run
// (threads, verbose, logfolder). Layout and comments of the file do not count.
std::string TourneyFingerprint(const dranbase::clsXML& document);

// "<log file without its extension>.state" beside the log.
std::string StateFileName(const std::string& logFile);

std::string StateText(const clsTourneyState& state);

enum class StateStatus {
    Loaded, // a whole file of the same tournament
    Missing, // no file: a fresh start
    Damaged, // truncated or changed by hand: refused
    OtherTourney, // the players or options changed since: refused
};

struct clsStateRead {
    StateStatus status = StateStatus::Missing;
    clsTourneyState state; // the games read when Loaded, else empty
    std::string message; // for Damaged and OtherTourney: what is wrong and how to start afresh
};

// Reads a state text; `where` names the file in the messages.
clsStateRead ParseStateText(std::string_view text, const std::string& fingerprint, const std::string& where);
clsStateRead LoadTourneyState(const std::string& path, const std::string& fingerprint);
// Writes the state atomically; false when it could not be written (the old file then stays).
bool SaveTourneyState(const std::string& path, const clsTourneyState& state);

} // namespace drnChess
