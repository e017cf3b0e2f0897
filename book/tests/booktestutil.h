#pragma once
// Helpers of the book tests: a scratch directory removed afterwards, whole-file bytes.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "book/clsbook.h"

namespace booktest {

inline drnChess::clsBookEntry Entry(std::int32_t w, std::int32_t l, std::int32_t d, drnChess::u64 key)
{
    drnChess::clsBookEntry e;
    e.wins = w;
    e.losses = l;
    e.draws = d;
    e.key = key;
    return e;
}

class TempDir {
public:
    TempDir()
    {
        static std::atomic<int> serial { 0 };
        path_ = std::filesystem::temp_directory_path()
            / ("corvala_book_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path(const std::string& name = {}) const
    {
        return name.empty() ? path_.string() : (path_ / name).string();
    }

private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace booktest
