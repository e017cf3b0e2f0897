#pragma once
// Genetic learning of souls: a population of engines plays in-process games against every
// other member from balanced start positions; after each generation the members are ranked,
// the weaker ones take values from the stronger ones with random mutation, and the population
// is printed and appended to the learning file.

#include <cstdint>
#include <string>
#include <vector>

#include "dranbase/clsstring.h"
#include "dranbase/clsthread.h"
#include "dranbase/console.h"
#include "engine/souls.h"

namespace drnChess {

class clsEngine;
class clsEngineShare;

// The start positions of learning games: FEN-file lines "white wins \t draws \t black wins \t FEN".
inline constexpr const char* LearningPositionsFile = "ficsgamesdb_2014_standard2000_nomovetimes_1286521.txt";

struct clsLearnSettings {
    std::string file; // the learning file, one record per member per generation
    int generations = 0; // the run stops when the counter reaches it
    int engines = 0; // members, 2 to SoulNameCount
    std::int64_t msPerMove = 0;
    int maxPlies = 0;
    std::string soulsFile; // a learning file to continue from; empty: fresh souls
    std::string positionsFile = LearningPositionsFile;
};

// One member's record as stored in the learning file.
struct clsLearnRecord {
    int generation = 0;
    int member = 0; // counted from 1
    std::string name;
    int score = 0;
    SoulValues values {};
};

// "gen \t member \t 'name' \t score \t v0 \t ... v15 \t" (the caller adds CR LF).
std::string LearnRecordText(const clsLearnRecord& r);
// Reads a record line; false when it has fewer than four fields.
bool ParseLearnRecord(const std::string& line, clsLearnRecord& r);
// The records of the last generation of a learning file, in file order; empty when none.
std::vector<clsLearnRecord> LastGeneration(const std::string& fileText);

// A value below n from the generator: |r| mod n, r being its low 32 bits as a signed number.
int RandomBelow(int n);

// Breeding of one generation over members ranked best first. Each of count / 8 + 1 picks
// takes two ranks a, b below count - 1 (the last-ranked member is never picked); the worse of
// the two (unless protected) takes each value from the better one with 60 %, their average
// with 8 %, a fresh value 0..104 with 2 %, and keeps its own with 30 %.
struct clsBreedMember {
    SoulValues values {};
    int score = 0;
    bool isProtected = false;
};
void Breed(std::vector<clsBreedMember>& ranked);

// Runs "\learn FILE GENERATIONS ENGINES MS MAXMOVES [SOULS]". Prints the usage line and returns
// false when a number is below 1, when ENGINES is 1 (no pairs) or above the number of soul
// names. The learning file grows by one generation at a time, written whole, so an interrupted
// run loses at most the generation in progress. A run continued from a souls file whose
// generations already reach GENERATIONS plays nothing and says so ("# N generations are done in
// FILE; ask for more than N to go on"), returning false.
bool LearnCommand(const std::string& rest, clsEngineShare* share, const dranbase::clsStrings& options,
    dranbase::clsOutBuffer& out, dranbase::clsThread* owner);
bool RunLearning(const clsLearnSettings& settings, clsEngineShare* share, const dranbase::clsStrings& options,
    dranbase::clsOutBuffer& out, dranbase::clsThread* owner);

// "\learnt": ten rounds of tournament tuning of the engine's default soul. Each round writes a
// candidate soul to "soul.txt" (a soul text, "Name=v0 ... v15"), plays the tournament of
// "tourney.xml" (whose embedded player reads it with the parameter "-load=soul.txt"), and takes
// the score of the tournament's first player as the candidate's figure. A candidate that scores
// better than the best so far becomes the base of the next candidates; at the end the best soul,
// under its own name ("Learnt<round>"), is written to "soul.txt", applied to the engine and
// printed: "# best soul: <name>=<values> (score S)".
void LearntCommand(clsEngine& engine, dranbase::clsOutBuffer& out, dranbase::clsThread* owner);

} // namespace drnChess
