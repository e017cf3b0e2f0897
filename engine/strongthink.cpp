// The think of the strong search: the engine's position, game history and limits handed to
// it, its iterations shown as thinking lines, its move posted through the result slot.

#include <algorithm>

#include "dranbase/clsstring.h"
#include "engine/clsengine.h"
#include "engine/gametrack.h"
#include "engine/strongsearch.h"
#include "engine/weightsfile.h"

namespace drnChess {

namespace {

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
        report.pv.reserve(r.pv.size());
        for (const strong::Move m : r.pv)
            report.pv.push_back(strong::ClassicMove(m));
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
    ForgetGameMoves();
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

void clsEngine::GameMovePlayed(const clsMove& move, u64 before, u64 after)
{
    gameTrack_->Play(Root()->boardCopy, halfmoveClock, move, before, after);
}

void clsEngine::ForgetGameMoves()
{
    gameTrack_->Forget();
}

void clsEngine::PostStrongMove(strong::Move best, int score, strong::Move reply)
{
    const clsMove wanted = strong::ClassicMove(best);
    const clsMove* found = nullptr;
    for (const clsMove* m = Root()->firstMove; m < Next(Root())->firstMove && !found; ++m)
        if (m->from == wanted.from && m->to == wanted.to && m->Promotion() == wanted.Promotion()
            && !m->Has(MoveFlag::Illegal))
            found = m;
    if (!found) return; // cannot happen: the search plays legal moves of the same position
    clsMove move = *found;
    // The result record carries the score as the classic result does (mate flags and distance,
    // else internal units where a pawn is 105), for the engine's own thinking line.
    move.flags &= ~(MoveFlag::Mates | MoveFlag::Loses | MoveFlag::MateDistanceMask);
    const int gui = strong::GuiScore(score);
    if (gui >= 100000) {
        move.flags |= MoveFlag::Mates
            | (static_cast<std::uint32_t>(std::min(gui - 100000, 255)) << MoveFlag::MateDistanceShift);
        move.order = Score::MateBound + 1;
    } else if (gui <= -100000) {
        move.flags |= MoveFlag::Loses
            | (static_cast<std::uint32_t>(std::min(-100000 - gui, 255)) << MoveFlag::MateDistanceShift);
        move.order = -Score::MateBound - 1;
    } else
        move.order
            = static_cast<std::int16_t>(std::clamp(score * 105 / 100, -Score::MateBound, Score::MateBound));
    PostMove(&move);
    std::lock_guard lock(resultMutex_);
    expectedReply_ = reply == strong::NoMove ? std::string() : strong::FastPosition::MoveText(reply);
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
        // The game as the track walked it (back to here after moves taken back), or the
        // position alone with the clock it was loaded with.
        strong::FastPosition& b = strong_->Board();
        if (gameTrack_->Reach(PositionKey()) || gameTrack_->Reset(board, halfmoveClock, PositionKey())) {
            b = gameTrack_->Position();
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
                PostStrongMove(r.best, r.score, r.pv.size() >= 2 ? r.pv[1] : strong::NoMove);
                if (iterationListener_) iterationListener_(StrongReport(r));
            };
            strong_->SetRootMoves(rootMoves_);
            strong_->SetDeadline(&deadlineTick_);
            const strong::IterationReport report = strong_->Think(limits, stop_, onIteration);
            if (report.best != strong::NoMove)
                PostStrongMove(
                    report.best, report.score, report.pv.size() >= 2 ? report.pv[1] : strong::NoMove);
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
