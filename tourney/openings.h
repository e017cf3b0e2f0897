#pragma once
// Opening suites for matches: a file of EPD/FEN lines or of PGN games, each entry a start
// position and the moves played from it before the engines take over; the order in which a
// tournament hands them to its game pairs; and the reading of the match elements of a
// tournament's options (<openings .../> and <sprt .../>) into plain settings.
// Nothing here prints: problems come back as values with their line numbers.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tourney/matchstats.h"

namespace dranbase {
class clsXML;
}

namespace drnChess {

enum class OpeningFormat { Epd, Pgn };
enum class OpeningOrder { Sequential, Random };

struct clsOpeningSettings {
    std::string file;
    OpeningFormat format = OpeningFormat::Epd;
    OpeningOrder order = OpeningOrder::Sequential;
    int plies = 0; // PGN: the first N plies of each game; 0 takes every move
    int start = 1; // the first opening used, counted from 1 in the order chosen
    std::uint64_t seed = 1; // of the random order: the same seed gives the same order
};

struct clsOpening {
    std::string fen; // the start position; empty for the standard start
    std::vector<std::string> moves; // coordinate moves played from it ("e2e4", "e7e8q")
    int line = 0; // where the entry starts in its file, from 1
    // The source game's "ECO" and "Opening" tags, kept only when its whole line is played (a
    // line cut short may belong to another opening); empty otherwise.
    std::string eco;
    std::string name;
};

struct clsOpeningProblem {
    int line = 0; // from 1; 0 for a problem of the whole file
    std::string text;
};

struct clsOpeningSuite {
    std::vector<clsOpening> openings; // in file order
    std::vector<clsOpeningProblem> problems; // the entries skipped, and why
    std::vector<std::size_t> order; // indexes into openings in the order of use

    // The opening of game pair `pair` (from 0), going round the suite; null for an empty suite.
    const clsOpening* ForPair(std::int64_t pair) const;
};

// Reads the suite from text (the file's contents) and puts it in the settings' order.
// EPD: one position per line (four FEN fields, then operations, which are ignored); blank lines
// and lines starting with '#' are skipped. PGN: each game gives its "FEN" tag (or the start)
// and its first `plies` moves. An entry whose position or moves cannot be read is skipped with
// a problem naming its line.
clsOpeningSuite ReadOpeningSuite(std::string_view text, const clsOpeningSettings& settings);
// The same from the settings' file; a file that cannot be read gives one problem at line 0.
clsOpeningSuite LoadOpeningSuite(const clsOpeningSettings& settings);

// An empty text when the FEN's four fields describe a position a game can start from (eight
// ranks of eight squares, one king each, no pawn on the first or last rank, side w or b,
// castling letters KQkq or '-', en passant '-' or a square on the third or sixth rank, the side
// not to move not in check, at least one legal move); else what is wrong with it.
std::string CheckStartFen(std::string_view fen);

// --- the match elements of a tournament's <options> -------------------------------------------
struct clsMatchOptions {
    bool hasOpenings = false;
    clsOpeningSettings openings;
    bool hasSprt = false;
    clsSprtSettings sprt;
    std::vector<std::string> problems; // unreadable values; the element is then left out
};

// Reads <openings file="F" format="epd|pgn" order="sequential|random" plies="N" start="K"
// seed="S"/> and <sprt elo0="0" elo1="5" alpha="0.05" beta="0.05" model="logistic|normalized"/>,
// children of the given <options> node (words compared ignoring case; missing attributes keep
// their defaults). The format defaults to the file's extension (".pgn" reads as PGN).
clsMatchOptions ReadMatchOptions(const dranbase::clsXML& options);

} // namespace drnChess
