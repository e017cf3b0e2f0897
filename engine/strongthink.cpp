// The think of the strong search: the engine's position, game history and limits handed to
// it, its iterations shown as thinking lines, its move posted through the result slot.

#include <algorithm>

#include "dranbase/clsstring.h"
#include "engine/clsengine.h"
#include "engine/strongsearch.h"
#include "engine/weightsfile.h"

namespace drnChess {

namespace {

    std::uint64_t StrongKey(const std::string& fen)
    {
        strong::FastPosition b;
        return b.SetFromFEN(fen) ? b.key : 0;
    }

    constexpr std::size_t MaxGamePositions = 2048;

    // The second move of a line of blank-separated moves: the reply the search expects.
    std::string SecondWord(const std::string& line)
    {
        const std::vector<std::string> words = dranbase::SplitFields(line);
        return words.size() >= 2 ? words[1] : std::string();
    }

    // The iteration as the front ends read it, the whole principal variation included.
    clsIterationReport StrongReport(const strong::IterationReport& r)
    {
        clsIterationReport report;
        report.depth = report.selDepth = r.depth;
        const int gui = strong::GuiScore(r.score);
        if (gui >= 100000)
            report.mateMoves = gui - 100000;
        else if (gui <= -100000)
            report.mateMoves = gui + 100000;
        else
            report.scoreCp = gui;
        report.nodes = r.nodes;
        report.ms = r.ms;
        report.multipv = r.multipv;
        std::size_t at = 0;
        while (at < r.pv.size()) {
            std::size_t end = r.pv.find(' ', at);
            if (end == std::string::npos) end = r.pv.size();
            clsMove m {};
            int promotion = 0;
            if (ParseCoordinateMove(
                    std::string_view(r.pv).substr(at, end - at), &m.from, &m.to, &promotion)) {
                m.flags = static_cast<std::uint32_t>(promotion) << 8;
                report.pv.push_back(m);
            }
            at = end + 1;
        }
        return report;
    }

} // namespace

std::size_t clsEngine::StrongTableMiB() const
{
    if (strongTableMiB_ > 0) return strongTableMiB_;
    const long long mib = dranbase::ToInt(options.Value("memory"));
    return static_cast<std::size_t>(mib >= 1 && mib <= 4096 ? mib : 16);
}

void clsEngine::SetStrongTableSize(std::size_t mib)
{
    strongTableMiB_ = mib;
    if (strong_) strong_->SetTableSize(StrongTableMiB());
}

void clsEngine::ClearTables()
{
    if (share_) share_->Clear();
    if (strong_) strong_->ClearTable();
}

void clsEngine::NewGame()
{
    if (strong_) strong_->NewGame();
}

void clsEngine::PrepareSearch()
{
    if (UseStrongSearch()) ReadyStrongSearch();
}

void clsEngine::ReadyStrongSearch()
{
    if (!strong_) strong_ = std::make_unique<strong::StrongSearch>();
    ApplyStrongWeights();
    strong_->SetTableSize(StrongTableMiB());
    if (strong_->Threads() != StrongThreads()) strong_->SetThreads(StrongThreads());
    strong_->SetMultiPV(OptionNumber({ "multipv", "-multipv" }, 1));
}

int clsEngine::Hashfull() const
{
    if (UseStrongSearch()) return strong_ ? strong_->Hashfull() : 0;
    if (!share_) return 0;
    int used = 0;
    const int sample = static_cast<int>(std::min<u64>(share_->EntryCount(), 1000));
    for (int i = 0; i < sample; ++i)
        if (share_->Entry(static_cast<u64>(i))->Flags() != 0) ++used;
    return sample > 0 ? used * 1000 / sample : 0;
}

bool clsEngine::UseStrongSearch() const
{
    std::string choice;
    for (const auto& o : options) {
        const std::string key = dranbase::ToLower(o.key);
        if (key == "-search" || key == "search") choice = dranbase::ToLower(dranbase::Trim(o.value));
    }
    return choice == "strong";
}

static_assert(clsEngine::MaxStrongThreads == strong::StrongSearch::MaxThreads);

long long clsEngine::OptionNumber(std::initializer_list<const char*> keys, long long absent) const
{
    long long value = absent;
    for (const auto& o : options)
        for (const char* key : keys)
            if (dranbase::ToLower(o.key) == key) value = dranbase::ToInt(o.value);
    return value;
}

int clsEngine::StrongThreads() const
{
    const long long threads = OptionNumber({ "-threads", "threads", "cores" }, 1);
    return static_cast<int>(std::clamp<long long>(threads, 1, strong::StrongSearch::MaxThreads));
}

void clsEngine::ApplyStrongWeights()
{
    std::string choice;
    for (const auto& o : options) {
        const std::string key = dranbase::ToLower(o.key);
        if (key == "-weights" || key == "weights") choice = dranbase::Trim(o.value);
    }
    if (choice == strongWeightsChoice_) return;
    strongWeightsChoice_ = choice;
    std::vector<int> weights = strong_->Eval().Weights();
    strong::SearchParams params = strong_->SearchParameters();
    std::string error;
    if (strong::LoadStrongWeights(choice.empty() ? "handset" : choice, weights, params, error)) {
        strong_->SetWeights(weights);
        strong_->SetSearchParams(params);
        strong_->ClearTable(); // its scores were made with the other weights
    } else
        Print("# " + error + "; the weights in use stay");
}

void clsEngine::RecordGamePosition(u64 key)
{
    // The root's board copy still holds the position before the game move.
    const clsBoard after = board;
    board = Root()->boardCopy;
    const u64 before = PositionKey();
    const std::string beforeFEN = GetFEN();
    board = after;
    const bool irreversible = PopCount(Root()->boardCopy.occupied()) != PopCount(after.occupied())
        || Root()->boardCopy.pawns() != after.pawns();
    if (gamePositions_.size() >= MaxGamePositions)
        gamePositions_.erase(gamePositions_.begin(), gamePositions_.begin() + MaxGamePositions / 2);
    gamePositions_.push_back({ before, key, StrongKey(beforeFEN), StrongKey(GetFEN()), irreversible });
}

void clsEngine::PostStrongMove(const std::string& text, int score, const std::string& reply)
{
    u64 from = 0, to = 0;
    int promotion = 0;
    ParseCoordinateMove(text, &from, &to, &promotion);
    clsMove move {};
    move.flags = MoveFlag::Illegal;
    for (const clsMove* m = Root()->firstMove; m < Next(Root())->firstMove; ++m)
        if (m->from == from && m->to == to && m->Promotion() == promotion && !m->Has(MoveFlag::Illegal)) {
            move = *m;
            break;
        }
    if (move.Has(MoveFlag::Illegal)) return; // cannot happen: the search plays legal moves
    move.flags &= ~(MoveFlag::Mates | MoveFlag::Loses | MoveFlag::MateDistanceMask);
    const int gui = strong::GuiScore(score);
    if (gui >= 100000) {
        move.flags |= MoveFlag::Mates
            | (static_cast<std::uint32_t>(std::min(gui - 100000, 255)) << MoveFlag::MateDistanceShift);
    } else if (gui <= -100000) {
        move.flags |= MoveFlag::Loses
            | (static_cast<std::uint32_t>(std::min(-100000 - gui, 255)) << MoveFlag::MateDistanceShift);
    }
    // The result keeps internal units (a pawn is 105), as the thinking line reads them.
    move.order
        = static_cast<std::int16_t>(std::clamp(score * 105 / 100, -Score::MateBound, Score::MateBound));
    if (gui >= 100000) move.order = Score::MateBound + 1;
    if (gui <= -100000) move.order = -Score::MateBound - 1;
    PostMove(&move);
    std::lock_guard lock(resultMutex_);
    expectedReply_ = reply;
}

bool clsEngine::RunStrong()
{
    BeginThink();
    const std::int64_t start = startTick_.load(std::memory_order_relaxed);

    bool searched = false;
    if (singleIteration_ || !useBook_ || !BookMove()) {
        // The legal moves of the rules core: the posted move is one of its records.
        current = Root();
        PrepareRoot();
        GenerateMoves(-1);
        if (MoveCount(Root()) > 0) FilterLegalMoves();

        ReadyStrongSearch();
        strong::FastPosition& b = strong_->Board();
        const std::string fen = GetFEN();
        if (b.SetFromFEN(fen)) {
            // The game positions since the last capture or pawn move, when the record leads here.
            std::vector<std::uint64_t> prior;
            bool sinceIrreversible = false;
            if (!gamePositions_.empty() && gamePositions_.back().after == PositionKey()) {
                std::size_t first = gamePositions_.size() - 1;
                while (first > 0 && !gamePositions_[first].irreversible
                    && gamePositions_[first - 1].after == gamePositions_[first].before)
                    --first;
                // Positions before an irreversible move cannot come again.
                sinceIrreversible = gamePositions_[first].irreversible;
                if (sinceIrreversible) ++first;
                for (std::size_t i = first; i < gamePositions_.size(); ++i)
                    prior.push_back(gamePositions_[i].strongBefore);
            }
            b.SetPriorKeys(prior.data(), static_cast<int>(prior.size()));
            // The rules core keeps the clock of the loaded position only.
            b.SetHalfmoveClock(
                static_cast<int>(prior.size()) + (sinceIrreversible ? 0 : std::max(0, halfmoveClock)));

            clsSearchLimits limits = limits_;
            int depth = limits.depth;
            for (int d : { fixedDepth_, depthLimit_ })
                if (d > 0) depth = depth > 0 ? std::min(depth, d) : d;
            limits.depth = depth;

            auto onIteration = [&](const strong::IterationReport& r) {
                if (r.multipv > 1) {
                    if (iterationListener_) iterationListener_(StrongReport(r));
                    return;
                }
                depthShown_.store(r.depth, std::memory_order_relaxed);
                nodesShown_.store(r.nodes, std::memory_order_relaxed);
                PostStrongMove(strong::FastPosition::MoveText(r.best), r.score, SecondWord(r.pv));
                if (iterationListener_) iterationListener_(StrongReport(r));
            };
            strong_->SetRootMoves(rootMoves_);
            deadlineTick_.store(0, std::memory_order_relaxed); // only a deadline set from now on counts
            strong_->SetDeadline(&deadlineTick_);
            const strong::IterationReport report = strong_->Think(limits, stop_, onIteration);
            if (report.best != strong::NoMove)
                PostStrongMove(
                    strong::FastPosition::MoveText(report.best), report.score, SecondWord(report.pv));
            nodeCount = report.nodes;
            searched = true;
        }
    }

    thinkTime_ += dranbase::Tick() - start;
    ++thinkCount_;
    PublishNodes();
    if (verbose) Print("# engine stopped");
    return searched || !ResultMove().Has(MoveFlag::Illegal);
}

} // namespace drnChess
