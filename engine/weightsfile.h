#pragma once
// Weights files of the strong evaluation and search: one "name value" line per weight or search
// parameter, "#" comments.

#include <string>
#include <vector>

#include "engine/searchparams.h"

namespace drnChess::strong {

// Reads the file over the weights and search parameters given: the names it holds take its
// values, the others keep theirs. "handset" gives the hand-set weights and the default
// parameters. False, with the reason, and nothing changed, when the file cannot be read, names
// an unknown weight or parameter, holds a value that is not a whole number or a parameter value
// outside its range.
bool LoadStrongWeights(
    const std::string& source, std::vector<int>& weights, SearchParams& params, std::string& error);
// The same for a reader of the evaluation's weights alone (the evaluation tuner): the search
// parameters the file names are checked, then left out.
bool LoadStrongWeights(const std::string& source, std::vector<int>& weights, std::string& error);

// Writes every weight by name, after the comment lines given (without their "# ").
bool SaveStrongWeights(
    const std::string& path, const std::vector<int>& weights, const std::vector<std::string>& comments);
// The same, followed by every search parameter by name.
bool SaveStrongWeights(const std::string& path, const std::vector<int>& weights, const SearchParams& params,
    const std::vector<std::string>& comments);

} // namespace drnChess::strong
