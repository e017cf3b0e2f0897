// Reading and writing the strong evaluation's weights and the search's parameters by name.

#include "engine/weightsfile.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "engine/strongeval.h"

namespace drnChess::strong {

bool LoadStrongWeights(
    const std::string& source, std::vector<int>& weights, SearchParams& params, std::string& error)
{
    if (source == "handset") {
        weights = DefaultStrongWeights();
        params = SearchParams();
        return true;
    }
    std::ifstream in(source);
    if (!in) {
        error = "cannot read the weights file " + source;
        return false;
    }
    const std::vector<std::string>& names = StrongWeightNames();
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < names.size(); ++i)
        index[names[i]] = i;
    std::vector<int> read = weights;
    read.resize(names.size(), 0);
    if (weights.size() < names.size())
        for (std::size_t i = weights.size(); i < names.size(); ++i)
            read[i] = DefaultStrongWeights()[i];
    SearchParams readParams = params;
    int lineNumber = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string name, value, extra;
        if (!(words >> name)) continue;
        const std::string where = source + " line " + std::to_string(lineNumber) + ": ";
        const auto found = index.find(name);
        const bool searchParam = FindSearchParam(name) != SearchParam::Unknown;
        if (found == index.end() && !searchParam) {
            error = where + "unknown weight " + name;
            return false;
        }
        int number = 0;
        const bool one = static_cast<bool>(words >> value) && !(words >> extra);
        const char* end = value.data() + value.size();
        if (!one || value.empty()
            || std::from_chars(value.data() + (value.starts_with('+') ? 1 : 0), end, number).ptr != end) {
            error = where + name + " needs one whole number";
            return false;
        }
        if (!searchParam) {
            read[found->second] = number;
        } else if (std::string why; !readParams.Set(name, number, why)) {
            error = where + why;
            return false;
        }
    }
    weights = std::move(read);
    params = readParams;
    return true;
}

bool LoadStrongWeights(const std::string& source, std::vector<int>& weights, std::string& error)
{
    SearchParams unused;
    return LoadStrongWeights(source, weights, unused, error);
}

namespace {

    std::ofstream WriteWeights(
        const std::string& path, const std::vector<int>& weights, const std::vector<std::string>& comments)
    {
        std::ofstream out(path, std::ios::trunc);
        for (const auto& c : comments)
            out << "# " << c << "\n";
        const std::vector<std::string>& names = StrongWeightNames();
        for (std::size_t i = 0; i < names.size() && i < weights.size(); ++i)
            out << names[i] << " " << weights[i] << "\n";
        return out;
    }

} // namespace

bool SaveStrongWeights(
    const std::string& path, const std::vector<int>& weights, const std::vector<std::string>& comments)
{
    std::ofstream out = WriteWeights(path, weights, comments);
    return static_cast<bool>(out.flush());
}

bool SaveStrongWeights(const std::string& path, const std::vector<int>& weights, const SearchParams& params,
    const std::vector<std::string>& comments)
{
    std::ofstream out = WriteWeights(path, weights, comments);
    for (std::size_t i = 0; i < SearchParamCount; ++i)
        out << SearchParamTable()[i].name << " " << params[static_cast<SearchParam>(i)] << "\n";
    return static_cast<bool>(out.flush());
}

} // namespace drnChess::strong
