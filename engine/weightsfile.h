#pragma once
// Weights files of the strong evaluation: one "name value" line per weight, "#" comments.

#include <string>
#include <vector>

namespace drnChess::strong {

// Reads the file over the weights given: the names it holds take its values, the others keep
// theirs. "handset" gives the hand-set table. False, with the reason, and the weights
// unchanged, when the file cannot be read, names an unknown weight or holds a value that is not
// a whole number.
bool LoadStrongWeights(const std::string& source, std::vector<int>& weights, std::string& error);

// Writes every weight by name, after the comment lines given (without their "# ").
bool SaveStrongWeights(
    const std::string& path, const std::vector<int>& weights, const std::vector<std::string>& comments);

} // namespace drnChess::strong
