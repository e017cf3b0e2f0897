// The engine object: construction and initialisation, the result slot and its texts, souls,
// game-level helpers and the book move. The search is in search.cpp, the evaluation in
// evaluation.cpp, the think in think.cpp.

#include "engine/clsengine.h"
#include "engine/gametrack.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "engine/strongsearch.h"
#include "rules/movereader.h"
#include "rules/movewriter.h"
#include "rules/random.h"

namespace drnChess {

namespace {

    // The start-up processor test answers no; "-nopopcnt" clears the flag again. Nothing computes
    // with it: bit counting is the same either way.
    std::atomic<bool> popCountEnabled { false };

    std::string UpperHex(std::size_t v)
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%zX", v);
        return buf;
    }

} // namespace

bool PopCountEnabled()
{
    return popCountEnabled.load(std::memory_order_relaxed);
}

clsEngine::clsEngine(const dranbase::clsStrings& programOptions, clsEngineShare* share)
    : dranbase::clsThread("engine")
    , gameTrack_(std::make_unique<strong::GameTrack>())
{
    InitKeysOnce();
    if (programOptions.Has("-quiet")) SetEcho(false);
    Initialise(share, programOptions);
    SelectSoul(DefaultSoulName);
}

clsEngine::~clsEngine()
{
    // The thread body runs on this object: it must end before any member goes away.
    stop_.store(true, std::memory_order_relaxed);
    clsThread::Cancel();
    book.Clear();
}

bool clsEngine::Initialise(clsEngineShare* share, const dranbase::clsStrings& programOptions)
{
    // 1. Share; no single iteration, no fixed depth.
    share_ = share;
    singleIteration_ = false;
    fixedDepth_ = 0;

    // 2. Options (unless they are our own list).
    if (&programOptions != &options) options = programOptions;

    // 3. "-nopopcnt".
    if (options.Has("-nopopcnt")) {
        Print("# PopCount disabled by user");
        popCountEnabled.store(false, std::memory_order_relaxed);
    }

    // 4. Attack tables (constants of the rules core; this only marks the moment they are needed).
    BuildTables();

    // 5. No result; empty stacks.
    PostMove(nullptr);
    for (clsMove& m : moveStack)
        m = clsMove {};
    for (clsSimpleNode& n : nodes)
        n = clsSimpleNode {};

    // 6. Record sizes.
    if (verbose) {
        Print("# sizeof(clsMove)=0x" + UpperHex(sizeof(clsMove)));
        Print("# sizeof(clsSimpleNode)=0x" + UpperHex(sizeof(clsSimpleNode)));
        Print("# sizeof(clsTT)=0x" + UpperHex(sizeof(clsTT)));
        Print("# sizeof(clsBoard)=0x" + UpperHex(sizeof(clsBoard)));
    }

    // 7. Book: the "book" option, else corvala.cbk; a missing file is no error.
    std::string bookFile = options.Value("book");
    if (bookFile.empty()) bookFile = "corvala.cbk";
    if (std::FILE* f = std::fopen(bookFile.c_str(), "rb")) {
        std::fclose(f);
        if (verbose) Print("# loading book " + bookFile);
        std::string error;
        if (!LoadBookFile(
                bookFile, 0, &error, [this](const std::string& text, bool endLine) { Print(text, endLine); })
            && !error.empty())
            Print("# " + error);
    } else if (verbose) {
        Print("# no book " + bookFile);
    }

    // 8. Start position.
    SetFromFEN(StartFEN);

    // 9. Usable only with a share.
    return share_ != nullptr;
}

// --- thread ------------------------------------------------------------------------------------

bool clsEngine::Start()
{
    if (!IsRunning()) {
        stop_.store(false, std::memory_order_relaxed);
        lastMoveFromBook_ = false;
        // Cleared here, before the thread runs, and never by the thread itself: a ponder hit
        // that sets a deadline the moment after Start must not be wiped out by a thread that
        // was slow to begin.
        deadlineTick_.store(0, std::memory_order_relaxed);
    }
    return clsThread::Start();
}

bool clsEngine::Cancel()
{
    stop_.store(true, std::memory_order_relaxed);
    return clsThread::Cancel();
}

bool clsEngine::StopRequest()
{
    stop_.store(true, std::memory_order_relaxed);
    return !Wait();
}

void clsEngine::ArmDeadline(std::int64_t startTick)
{
    timeExpired_.store(false, std::memory_order_relaxed);
    deadlinePolls_ = 0;
    const bool timed = limits_.HasTimeLimit() && modeWord < 2;
    const std::int64_t limit = limits_.softMs > 0 ? limits_.softMs : limits_.hardMs;
    // An untimed think keeps the deadline a ponder hit may already have set.
    if (timed) deadlineTick_.store(startTick + limit, std::memory_order_relaxed);
}

void clsEngine::SetDeadlineFromNow(std::int64_t ms)
{
    deadlineTick_.store(dranbase::Tick() + std::max<std::int64_t>(ms, 1), std::memory_order_relaxed);
}

void clsEngine::PollDeadline()
{
    if (limits_.nodes != 0 && nodeCount >= limits_.nodes) stop_.store(true, std::memory_order_relaxed);
    if ((++deadlinePolls_ & 1023) != 0) return;
    const std::int64_t deadline = deadlineTick_.load(std::memory_order_relaxed);
    if (deadline == 0 || dranbase::Tick() < deadline) return;
    timeExpired_.store(true, std::memory_order_relaxed);
    stop_.store(true, std::memory_order_relaxed);
    deadlineTick_.store(0, std::memory_order_relaxed);
}

// --- result slot -------------------------------------------------------------------------------

void clsEngine::PostMove(const clsMove* move)
{
    std::lock_guard lock(resultMutex_);
    resultLine_.length = 0;
    expectedReply_.clear();
    if (move) {
        result_ = *move;
    } else {
        result_.flags |= MoveFlag::Illegal;
    }
}

void clsEngine::clsLine::Join(const clsMove& first, const clsLine& rest)
{
    moves[0] = first;
    length = 1 + std::min(rest.length, MaxLineLength - 1);
    std::copy_n(rest.moves.begin(), length - 1, moves.begin() + 1);
}

void clsEngine::PostMoveWithLine(const clsMove& move, const clsLine& rest)
{
    std::lock_guard lock(resultMutex_);
    result_ = move;
    resultLine_.Join(move, rest);
    expectedReply_ = resultLine_.length >= 2 ? CoordinateText(resultLine_.moves[1]) : std::string();
}

std::string clsEngine::ExpectedReply()
{
    std::lock_guard lock(resultMutex_);
    return expectedReply_;
}

clsMove clsEngine::ResultMove()
{
    std::lock_guard lock(resultMutex_);
    return result_;
}

std::optional<clsMove> clsEngine::TakeMove()
{
    std::lock_guard lock(resultMutex_);
    if (result_.Has(MoveFlag::Illegal)) return std::nullopt;
    const clsMove move = result_;
    result_.flags |= MoveFlag::Illegal;
    return move;
}

std::string clsEngine::TakeMoveText(bool consume, int* score)
{
    std::lock_guard lock(resultMutex_);
    if (result_.Has(MoveFlag::Illegal)) return {};
    if (score) *score = result_.order;
    if (consume) result_.flags |= MoveFlag::Illegal;
    return MoveToText(result_, false);
}

std::string clsEngine::ThinkingLine()
{
    clsMove r;
    clsLine line;
    {
        std::lock_guard lock(resultMutex_);
        r = result_;
        line = resultLine_;
    }
    if (r.Has(MoveFlag::Illegal)) return {};
    const int distance = static_cast<int>(r.flags >> MoveFlag::MateDistanceShift);
    int score;
    if (r.Has(MoveFlag::Mates)) {
        score = 100000 + distance;
    } else if (r.Has(MoveFlag::Loses)) {
        score = distance - 100000;
    } else {
        score = r.order * 100 / 105;
    }
    const std::int64_t centiseconds = (dranbase::Tick() - startTick_.load(std::memory_order_relaxed)) / 10;
    std::string text = std::to_string(CurrentDepth()) + " " + std::to_string(score) + "  "
        + std::to_string(centiseconds) + " " + std::to_string(nodesShown_.load(std::memory_order_relaxed))
        + " " + MoveToText(r, true);
    for (int i = 1; i < line.length; ++i)
        text += " " + MoveToText(line.moves[static_cast<std::size_t>(i)], true);
    return text;
}

std::string clsEngine::StatisticsText(std::int64_t ms) const
{
    const std::uint64_t counted = nodesShown_.load(std::memory_order_relaxed);
    const std::uint64_t hits = ttHitsShown_.load(std::memory_order_relaxed);
    std::string text = "# ";
    if (ms != 0) {
        text += std::to_string(ms) + " ms " + std::to_string(static_cast<std::int64_t>(counted) / ms)
            + " Knps";
    }
    if (counted != 0) {
        text += ", TT hits: " + std::to_string(hits) + " "
            + dranbase::FixedText(static_cast<double>(hits) * 100.0 / static_cast<double>(counted), 2)
            + "%, Rept.Hits: " + std::to_string(repetitionHits);
    }
    return text;
}

// --- position and game ---------------------------------------------------------------------------

void clsEngine::PrintBoard()
{
    Print("#");
    Print(BoardDiagram());
    Print(BoardReportLine());
}

bool clsEngine::ApplyMoveText(std::string_view text)
{
    const std::optional<clsMove> move = ReadMove(*this, text);
    if (!move) return false;
    PlayGameMove(*move);
    return true;
}

int clsEngine::GameStatus()
{
    // Bare kings, or one knight or bishop besides them.
    const u64 minors = board.knights() | board.bishops();
    const u64 besideKings = board.occupied() & ~board.kings();
    if (besideKings == 0 || (PopCount(besideKings) == 1 && (besideKings & minors))) {
        return GameState::InsufficientMaterial;
    }
    return MoveStatus();
}

int clsEngine::MoveStatus()
{
    // The first pseudo-legal move that keeps the king safe decides that the game goes on.
    ResetNodeStack();
    GenerateMoves(-1);
    const clsSimpleNode* root = Root();
    bool found = false;
    for (clsMove* m = root->firstMove; m != Next(root)->firstMove && !found; ++m) {
        found = IsLegalMove(*m);
    }
    const bool inCheck = root->inCheck != 0;
    if (found) return GameState::Going;
    if (!inCheck) return GameState::Stalemate;
    return board.side == Black ? GameState::WhiteMates : GameState::BlackMates;
}

clsTT* clsEngine::MarkGamePosition(u64 key)
{
    if (!share_) return nullptr;
    auto use = share_->Use();
    clsTT* e = share_->Entry(key);
    if (e) e->MarkGamePosition(key);
    return e;
}

// --- souls ---------------------------------------------------------------------------------------

void clsEngine::SelectSoul(std::string_view name)
{
    // 1.-2. The name, or the fallbacks.
    std::string text(name);
    if (text.empty()) text = options.Value("soul");
    if (text.empty()) text = options.Value("-soul");
    if (text.empty()) text = DefaultSoulName;

    // A text with values (a soul file, "\soul X=1 2 3") is applied as it stands.
    if (text.find('=') != std::string::npos) {
        const std::string problem = SoulTextProblem(text);
        if (!problem.empty()) {
            Print("# bad soul: " + problem + "; the soul " + soulName_ + " stays");
            return;
        }
        ApplySoulText(text);
        Print("# soul: " + soulName_);
        return;
    }

    // 3.-4. Otherwise the name is taken and a built-in soul of that name applied.
    soulName_ = text;
    Print("# soul: " + soulName_);
    const std::string builtIn = BuiltInSoulText(soulName_);
    if (!builtIn.empty()) ApplySoulText(builtIn);
}

void clsEngine::ApplySoulText(std::string_view text)
{
    ParseSoulText(text, soulName_, soul_);
    SyncCastleBonus();
}

void clsEngine::SetSoulValue(int index, std::int32_t value)
{
    if (index < 0 || index >= SoulWeight::Count) return;
    soul_[static_cast<std::size_t>(index)] = value;
    SyncCastleBonus();
}

std::string clsEngine::SoulText() const
{
    std::string text = soulName_ + "=";
    for (int i = 0; i < SoulWeight::Count; ++i) {
        if (i) text += ' ';
        text += std::to_string(soul_[static_cast<std::size_t>(i)]);
    }
    return text;
}

// --- book ----------------------------------------------------------------------------------------

bool clsEngine::LoadBookFile(
    const std::string& path, int limit, std::string* error, const BookPrinter& progress)
{
    if (IsPolyglotName(path)) return polyglotBook.Load(path, error);
    if (!book.ClearAndLoad(path, limit, progress)) {
        if (error) *error = "cannot read the book " + path;
        return false;
    }
    polyglotBook.Clear();
    return true;
}

bool clsEngine::PolyglotBookMove()
{
    std::string error;
    const std::vector<PolyglotMove> moves = polyglotBook.Moves(*this, &error);
    if (!error.empty()) Print("# " + error);
    const int index = PickPolyglotMove(moves, NextRandom(), polyglotBest);
    if (index < 0) return false;
    const std::string& text = moves[static_cast<std::size_t>(index)].move;
    const clsBoard saved = board;
    current->boardCopy = board;
    ResetNodeStack();
    GenerateMoves(-1);
    const clsSimpleNode* root = Root();
    for (clsMove* m = root->firstMove; m != Next(root)->firstMove; ++m) {
        if (CoordinateText(*m) != text) continue;
        PostMove(m);
        if (verbose) Print("# book move " + text);
        board = saved;
        return lastMoveFromBook_ = true;
    }
    board = saved;
    return false;
}

bool clsEngine::BookMove()
{
    lastMoveFromBook_ = false;
    if (!polyglotBook.Empty()) return PolyglotBookMove();
    // 1. Candidates (this resets the node stack and leaves the root list generated).
    const clsBoard saved = board;
    current->boardCopy = board;
    std::vector<clsBookEntryExt> candidates;
    if (CollectCandidates(*this, book, candidates) == 0) return false;

    // 2. Drop the moves played in fewer than 2 % of the candidates' games.
    DropRareCandidates(candidates);
    if (candidates.empty()) return false;

    // 3. A uniform choice among the rest.
    const auto r = static_cast<std::int32_t>(static_cast<std::uint32_t>(NextRandom()));
    const clsBookEntryExt& chosen
        = candidates[static_cast<std::size_t>(PickCandidateIndex(r, static_cast<int>(candidates.size())))];

    // 4. The generated move with that long form is posted.
    bool posted = false;
    const clsSimpleNode* root = Root();
    for (clsMove* m = root->firstMove; m != Next(root)->firstMove; ++m) {
        if (MoveToText(*m, true) != chosen.move) continue;
        PostMove(m);
        if (verbose) Print("# book move " + chosen.move);
        Sleep(50);
        posted = lastMoveFromBook_ = true;
        break;
    }

    // 5. The board as it was.
    board = saved;
    return posted;
}

} // namespace drnChess
