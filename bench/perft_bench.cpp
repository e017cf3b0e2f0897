// Perft benchmark: counts every position of perft.epd to every listed depth, prints each
// mismatch, the totals and the speed, and exits with 1 when any count differs.
//
//   perft_bench [--max-nodes=N] [--start-only] [FILE]
//
// FILE defaults to perft.epd in the shared data folder. --max-nodes skips the depths whose
// listed count is above N. --start-only runs the start position to depth 6 and nothing else
// (the speed figure quoted for the move generator).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "rules/clschesscore.h"

namespace {

struct Depth {
    int depth;
    std::uint64_t expected;
};

// The ";D<depth> <count>" fields after the FEN.
std::vector<Depth> ParseDepths(const std::string& line)
{
    std::vector<Depth> depths;
    std::size_t at = line.find(';');
    while (at != std::string::npos) {
        const std::size_t next = line.find(';', at + 1);
        const std::string field
            = line.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        int depth = 0;
        unsigned long long count = 0;
        if (std::sscanf(field.c_str(), " D%d %llu", &depth, &count) == 2) depths.push_back({ depth, count });
        at = next;
    }
    return depths;
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv)
{
    std::string file = std::string(CORVALA_SHARED_DATA) + "/perft.epd";
    std::uint64_t maxNodes = UINT64_MAX;
    bool startOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--max-nodes=", 0) == 0)
            maxNodes = std::strtoull(arg.c_str() + 12, nullptr, 10);
        else if (arg == "--start-only")
            startOnly = true;
        else
            file = arg;
    }

    std::vector<std::string> lines;
    if (startOnly) {
        lines.push_back(std::string(drnChess::StartFEN) + " ;D6 119060324");
    } else {
        std::ifstream in(file);
        if (!in) {
            std::printf("cannot read %s\n", file.c_str());
            return 2;
        }
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) lines.push_back(line);
        }
    }

    auto core = std::make_unique<drnChess::clsChessCore>();
    std::uint64_t totalNodes = 0;
    int runs = 0, mismatches = 0, positions = 0;
    std::chrono::steady_clock::duration elapsed {};
    double cpuSeconds = 0; // the machine may be shared: CPU time is the steadier figure
    for (const std::string& line : lines) {
        const std::vector<Depth> depths = ParseDepths(line);
        if (depths.empty()) continue;
        ++positions;
        const std::string fen = line.substr(0, line.find(';'));
        for (const Depth& d : depths) {
            if (d.expected > maxNodes) continue;
            core->SetFromFEN(fen);
            const auto t0 = std::chrono::steady_clock::now();
            const std::clock_t c0 = std::clock();
            core->PerftDriver(d.depth, false);
            cpuSeconds += static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
            elapsed += std::chrono::steady_clock::now() - t0;
            const std::uint64_t got = core->nodeCount;
            totalNodes += got;
            ++runs;
            if (got != d.expected) {
                ++mismatches;
                std::printf("MISMATCH %s D%d expected %llu got %llu\n", fen.c_str(), d.depth,
                    static_cast<unsigned long long>(d.expected), static_cast<unsigned long long>(got));
            }
        }
    }
    const double s = Seconds(elapsed);
    std::printf("positions %d, runs %d, mismatches %d\n", positions, runs, mismatches);
    std::printf("nodes %llu, time %.3f s, nodes/s %.0f; cpu %.3f s, nodes/cpu-s %.0f\n",
        static_cast<unsigned long long>(totalNodes), s, s > 0 ? static_cast<double>(totalNodes) / s : 0.0,
        cpuSeconds, cpuSeconds > 0 ? static_cast<double>(totalNodes) / cpuSeconds : 0.0);
    return mismatches ? 1 : 0;
}
