#pragma once
// Souls: a name and 16 signed weights that the evaluation (and the castling bonus of make-move)
// reads. Text form: name "=" values separated by single blanks, e.g.
// "Simple5=7 20 20 5 5 8 8 10 10 20 5 1 5 15 5 10".

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace drnChess {

// Indices of the 16 weights, in soul-text order. "us" is the side whose position is scored.
namespace SoulWeight {
    enum Index : int {
        CentreOccupation = 0, // pieces other than queens on c4-f4, c5-f5, ours minus theirs
        Development = 1, // minor pieces still on the back rank, theirs minus ours
        CastlingBonus = 2, // added to the material of a side when it castles
        PoorMinorSquares = 3, // penalty: bishops on the edge, knights on the edge or near a corner
        PassedPawns = 4, // passed pawns, ours minus theirs
        DoubledPawns = 5, // penalty: doubled pawns, ours minus theirs
        SeventhRankRooks = 6, // 8 minus the enemy rooks on the node's rank mask
        KingOutsideRooks = 7, // king on its first or last rank and not between its own rooks
        UnusedWeight8 = 8, // read by nothing
        UnusedWeight9 = 9, // read by nothing
        KingMobility = 10, // squares around the king, ours minus theirs
        TradingFactor = 11, // own pawns minus twice own pieces, signed by who is ahead
        UnmovedKing = 12, // king still on a square with castling rights, ours minus theirs
        Bishops = 13, // bishops counted up to two, ours minus theirs
        BareKingDrive = 14, // driving a bare king to the edge and a corner
        KingSafety = 15, // king in the centre or off the corners (penalty), pawn shield (bonus)
    };
    inline constexpr int Count = 16;
} // namespace SoulWeight

using SoulValues = std::array<std::int32_t, SoulWeight::Count>;

// The built-in souls, in table order; the first is the default.
inline constexpr int BuiltInSoulCount = 5;
extern const char* const BuiltInSouls[BuiltInSoulCount];
inline constexpr const char* DefaultSoulName = "Simple5";

// Names for bred souls; the learning code names member i after row i.
inline constexpr int SoulNameCount = 81;
extern const char* const SoulNames[SoulNameCount];

// Reads a soul text: the name is the part before the first "="; then 16 values, each token the
// text up to the next blank, converted like C's atoi (0 for an empty or non-numeric token, 0 for
// a missing one). A text without "=" gives that whole text as the name and 16 zeros.
void ParseSoulText(std::string_view text, std::string& name, SoulValues& values);
// The largest weight a soul may carry, either sign: about a hundred pawns, far beyond any useful
// weight and far from overflowing the evaluation's sums.
inline constexpr std::int32_t SoulValueLimit = 10000;
// Why a soul text with values cannot be used, or empty when it can: the name must not be empty,
// and there may be at most 16 values, each a whole number within the limit (missing values are
// zeros, as the reader takes them).
std::string SoulTextProblem(std::string_view text);
// The 16 values in decimal, each followed by one tab.
std::string SoulValuesText(const SoulValues& values);
// The built-in soul text with exactly this name (case matters); empty when there is none.
std::string BuiltInSoulText(std::string_view name);

} // namespace drnChess
