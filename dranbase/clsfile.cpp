#include "dranbase/clsfile.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "dranbase/clsstring.h"

namespace dranbase {

namespace {
    bool MatchFrom(const std::string& n, std::size_t i, const std::string& p, std::size_t j)
    {
        while (j < p.size()) {
            if (p[j] == '%') {
                for (std::size_t k = i; k <= n.size(); ++k)
                    if (MatchFrom(n, k, p, j + 1)) return true;
                return false;
            }
            if (i >= n.size()) return false;
            char a = n[i], b = p[j];
            if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
            if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
            if (a != b) return false;
            ++i;
            ++j;
        }
        return i == n.size();
    }
} // namespace

bool MatchesPattern(const std::string& name, const std::string& pattern)
{
    return MatchFrom(name, 0, pattern, 0);
}

std::vector<std::string> ListFiles(const std::string& directory, const std::string& pattern)
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(directory.empty() ? fs::path(".") : fs::path(directory), ec);
    if (ec) return {};
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::error_code e2;
        if (!it->is_regular_file(e2)) continue;
        std::string name = it->path().filename().string();
        if (MatchesPattern(name, pattern)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (auto& n : names)
        n = JoinPath(directory, n);
    return names;
}

std::string ReplaceExtension(const std::string& path, const std::string& extension)
{
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + "." + extension;
    return path.substr(0, dot + 1) + extension;
}

std::string JoinPath(const std::string& directory, const std::string& name)
{
    if (directory.empty()) return name;
    if (directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

bool WriteFileAtomic(const std::string& path, const std::string& text)
{
    static std::atomic<unsigned> serial { 0 };
    std::string tmp = path + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(serial++);
    clsString body(text);
    if (!body.SaveToFile(tmp, true)) {
        std::remove(tmp.c_str());
        return false;
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

std::string DataFileProblem(const std::string& path, std::uintmax_t maxBytes)
{
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) return "no such file";
    if (!std::filesystem::is_regular_file(status)) return "not a regular file";
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) return "its size cannot be read";
    if (size > maxBytes) return "larger than " + std::to_string(maxBytes) + " bytes";
    return {};
}

} // namespace dranbase
