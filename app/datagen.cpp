// Self-play of the strong search at a fixed node count, writing quiet positions labelled with
// the result of their game: the training data of the evaluation's tuning.

#include "app/datagen.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "app/positionfiles.h"
#include "engine/strongsearch.h"

namespace drnChess {

namespace {

    using namespace strong;

    constexpr const char* StartFEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    constexpr int RandomPlies = 8; // random moves from the start position when no openings are given
    constexpr int SkippedPlies = 8; // plies of the search after the opening that are not written

    // No side can mate: bare kings, or a single minor piece left.
    bool InsufficientMaterial(const FastPosition& b)
    {
        if (b.byType[Pawn] | b.byType[Rook] | b.byType[Queen]) return false;
        return Count(b.byType[Knight] | b.byType[Bishop]) <= 1;
    }

    struct GameRecord {
        std::vector<std::string> fens;
        std::string result; // "1-0", "0-1", "1/2-1/2"
        int plies = 0;
    };

    class SelfPlay {
    public:
        SelfPlay(std::uint64_t nodes)
            : nodes_(nodes)
        {
            search_.SetTableSize(16);
        }

        // Plays one game from the opening position; empty result when the opening is unusable.
        GameRecord Play(const std::string& openingFen, std::mt19937_64& rng, int randomPlies)
        {
            GameRecord record;
            FastPosition game;
            if (!game.SetFromFEN(openingFen)) return record;
            std::vector<u64> keys; // keys of the positions since the last irreversible move
            keys.push_back(game.key);
            auto play = [&](Move m) {
                const bool irreversible = game.IsCapture(m) || TypeOf(game.squares[From(m)]) == Pawn;
                game.Make(m);
                game.ClearHistory();
                if (irreversible) keys.clear();
                keys.push_back(game.key);
            };
            for (int i = 0; i < randomPlies; ++i) {
                MoveList legal;
                game.GenerateLegal(legal);
                if (legal.count == 0) return record;
                play(legal.moves[static_cast<std::size_t>(rng() % static_cast<u64>(legal.count))]);
            }
            search_.NewGame();
            bool mateSeen = false;
            for (int ply = 0;; ++ply) {
                MoveList legal;
                game.GenerateLegal(legal);
                if (legal.count == 0) {
                    record.result = !game.InCheck() ? "1/2-1/2" : game.side == White ? "0-1" : "1-0";
                    break;
                }
                if (game.halfmove >= 100 || InsufficientMaterial(game)
                    || std::count(keys.begin(), keys.end(), game.key) >= 3) {
                    record.result = "1/2-1/2";
                    break;
                }
                FastPosition& b = search_.Board();
                b.SetFromFEN(game.FEN());
                b.SetPriorKeys(keys.data(), static_cast<int>(keys.size()) - 1);
                b.SetHalfmoveClock(game.halfmove);
                clsSearchLimits limits;
                limits.nodes = nodes_;
                const IterationReport report = search_.Think(limits, stop_, nullptr);
                if (report.best == NoMove) break;
                if (std::abs(report.score) >= MateBound) mateSeen = true;
                if (ply >= SkippedPlies && !mateSeen && !game.InCheck()) {
                    FastPosition& q = search_.Board();
                    q.SetFromFEN(game.FEN());
                    if (search_.QuiescenceScore() == search_.Eval().Evaluate(q))
                        record.fens.push_back(game.FEN());
                }
                play(report.best);
                ++record.plies;
            }
            return record;
        }

    private:
        StrongSearch search_;
        std::uint64_t nodes_;
        std::atomic<bool> stop_ { false };
    };

    // The number of games a data file holds, kept beside it.
    std::string CountFile(const std::string& out)
    {
        return out + ".games";
    }
    long long ReadGameCount(const std::string& out)
    {
        std::ifstream in(CountFile(out));
        long long n = 0;
        return in >> n ? n : 0;
    }

} // namespace

int RunDatagen(const dranbase::clsStrings& options)
{
    const std::string out = options.Value("-out");
    if (out.empty()) {
        std::fprintf(stderr, "datagen: -out=FILE is needed\n");
        return 1;
    }
    auto number = [&](const char* key, long long fallback) {
        return options.Has(key) ? dranbase::ToInt(options.Value(key)) : fallback;
    };
    const long long games = number("-games", 1000);
    const auto nodes = static_cast<std::uint64_t>(std::max(1LL, number("-nodes", 5000)));
    const int threads = static_cast<int>(std::clamp(number("-threads", 1), 1LL, 64LL));
    const auto seed = static_cast<std::uint64_t>(number("-seed", 1));

    std::vector<std::string> openings;
    if (options.Has("-openings")) {
        std::string error;
        openings = ReadOpeningFens(options.Value("-openings"), error);
        if (openings.empty()) {
            std::fprintf(stderr, "datagen: no openings read from %s%s%s\n",
                options.Value("-openings").c_str(), error.empty() ? "" : ": ", error.c_str());
            return 1;
        }
    }

    const long long already = ReadGameCount(out);
    std::printf("datagen: %s holds %lld games; playing until it holds %lld (%llu nodes a move, %d threads)\n",
        out.c_str(), already, games, static_cast<unsigned long long>(nodes), threads);
    std::fflush(stdout);
    if (already >= games) return 0;

    std::ofstream file(out, std::ios::app);
    if (!file) {
        std::fprintf(stderr, "datagen: cannot write %s\n", out.c_str());
        return 1;
    }
    std::mutex lock;
    std::atomic<long long> next { already };
    long long done = already, positions = 0, plies = 0;
    const auto start = std::chrono::steady_clock::now();
    auto lastShown = start;

    auto worker = [&]() {
        SelfPlay player(nodes);
        for (long long index = next++; index < games; index = next++) {
            std::mt19937_64 rng(seed * 0x9E3779B97F4A7C15ULL + static_cast<std::uint64_t>(index));
            const std::string opening
                = openings.empty() ? StartFEN : openings[static_cast<std::size_t>(rng() % openings.size())];
            GameRecord record = player.Play(opening, rng, openings.empty() ? RandomPlies : 0);
            std::lock_guard guard(lock);
            if (!record.result.empty())
                for (const auto& fen : record.fens)
                    file << fen << " c9 \"" << record.result << "\";\n";
            file.flush();
            ++done;
            positions += record.result.empty() ? 0 : static_cast<long long>(record.fens.size());
            plies += record.plies;
            std::ofstream(CountFile(out), std::ios::trunc) << done << "\n";
            const auto now = std::chrono::steady_clock::now();
            if (now - lastShown >= std::chrono::seconds(10) || done == games) {
                lastShown = now;
                const double minutes = std::chrono::duration<double>(now - start).count() / 60.0;
                const long long played = done - already;
                std::printf("games %lld/%lld positions %lld plies/game %.0f games/min %.2f\n", done, games,
                    positions, played ? static_cast<double>(plies) / static_cast<double>(played) : 0.0,
                    minutes > 0 ? static_cast<double>(played) / minutes : 0.0);
                std::fflush(stdout);
            }
        }
    };
    std::vector<std::thread> pool;
    for (int i = 0; i < threads; ++i)
        pool.emplace_back(worker);
    for (auto& t : pool)
        t.join();
    return 0;
}

} // namespace drnChess
