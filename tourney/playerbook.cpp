#include "tourney/playerbook.h"

#include <vector>

#include "dranbase/clsstring.h"
#include "rules/clschesscore.h"
#include "rules/movereader.h"
#include "rules/movewriter.h"

namespace drnChess {

bool clsPlayerBook::Load(const std::string& path, std::string* error)
{
    path_ = path;
    polyglot_ = IsPolyglotName(path);
    if (polyglot_) {
        if (!polyglotBook_.Load(path, error)) return false;
        if (polyglotBook_.Empty()) {
            if (error) *error = "polyglot book " + path + ": no entries";
            return false;
        }
        return true;
    }
    if (!cbkBook_.ClearAndLoad(path)) {
        if (error) *error = "cannot read the book " + path;
        return false;
    }
    if (cbkBook_.Count() == 0) {
        if (error) *error = "the book " + path + " holds no positions";
        return false;
    }
    return true;
}

std::string clsPlayerBook::Probe(clsChessCore& scratch, const std::string& startFen, const std::string& moves,
    std::uint64_t random, std::string* error) const
{
    scratch.SetFromFEN(startFen);
    for (const std::string& text : dranbase::SplitFields(moves)) {
        const std::optional<clsMove> move = ReadCoordinateMove(scratch, text);
        if (!move) return {};
        scratch.PlayGameMove(*move);
    }
    if (polyglot_) {
        const std::vector<PolyglotMove> found = polyglotBook_.Moves(scratch, error);
        const int index = PickPolyglotMove(found, random, false);
        return index < 0 ? std::string() : found[static_cast<std::size_t>(index)].move;
    }
    std::vector<clsBookEntryExt> candidates;
    CollectCandidates(scratch, cbkBook_, candidates);
    DropRareCandidates(candidates);
    if (candidates.empty()) return {};
    const auto r = static_cast<std::int32_t>(static_cast<std::uint32_t>(random));
    const clsBookEntryExt& chosen
        = candidates[static_cast<std::size_t>(PickCandidateIndex(r, static_cast<int>(candidates.size())))];
    const std::optional<clsMove> move = ReadMove(scratch, chosen.move);
    return move ? CoordinateText(*move) : std::string();
}

std::uint64_t BookRandom(std::uint64_t seed, std::uint64_t n)
{
    // splitmix64 of the pair
    std::uint64_t z = seed * 0x9E3779B97F4A7C15ULL + n + 0x632BE59BD9B4E019ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

} // namespace drnChess
