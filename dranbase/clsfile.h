#pragma once
// Directory listing with a simple pattern in which '%' stands for any text.

#include <cstdint>
#include <string>
#include <vector>

namespace dranbase {

// True when the name matches the pattern ('%' = any text; letters compared ignoring case).
bool MatchesPattern(const std::string& name, const std::string& pattern);

// Regular files of the directory whose names match the pattern, as paths (directory joined
// with the name), sorted by name. Empty when the directory cannot be read.
std::vector<std::string> ListFiles(const std::string& directory, const std::string& pattern);

// The path with its extension (the text after the last '.' of the file name) replaced.
std::string ReplaceExtension(const std::string& path, const std::string& extension);

// Directory joined with a name by the platform's rules ("" + name = name).
std::string JoinPath(const std::string& directory, const std::string& name);

// Writes the text to a temporary file beside the path and renames it over the path, so the
// file is either the old one or the whole new one. False on failure (nothing is left behind).
bool WriteFileAtomic(const std::string& path, const std::string& text);

// Why the path cannot be read whole as a data file (a book, an opening suite): it is missing,
// is not a regular file (a device such as /dev/zero, a FIFO, a folder: reading those may never
// end), or is larger than maxBytes. Empty when it can be read.
std::string DataFileProblem(const std::string& path, std::uintmax_t maxBytes);

} // namespace dranbase
