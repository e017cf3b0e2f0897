#pragma once
// The chess engine: a position with its search stacks (clsChessCore), the soul in force, the
// transposition table it shares with other engines, the thread that thinks, and the result
// slot through which the chosen move leaves the engine.
//
// Threads. The caller (protocol driver, referee, "\play") owns the engine: it sets the position,
// options and soul while the engine thread is idle, starts the thread (Start), asks it to stop
// (StopRequest) and takes the move (TakeMoveText). Only three things cross between the threads
// while a think runs:
//   - the result move, under the result mutex (a leaf lock: nothing else is taken while it is
//     held, in particular no printing);
//   - the stop flag, a relaxed atomic written by the caller and polled by the search at every
//     node it leaves (a stale read only delays the stop by one node);
//   - the progress figures shown by the thinking line (depth, node count, start tick), relaxed
//     atomics published by the search.
// The engine never reads the console; it prints through its clsOutBuffer base.

#include <array>
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "book/clsbook.h"
#include "book/polyglot.h"
#include "dranbase/clsstring.h"
#include "dranbase/clsthread.h"
#include "dranbase/console.h"
#include "engine/clstt.h"
#include "engine/searchlimits.h"
#include "engine/searchreport.h"
#include "engine/souls.h"
#include "rules/clschesscore.h"

namespace drnChess {

namespace strong {
    class StrongSearch;
    class GameTrack;
}

// Scores in internal units (a pawn is 105).
namespace Score {
    inline constexpr int None = -15000; // no score yet
    inline constexpr int Mated = -10000; // the side to move is checkmated
    inline constexpr int Draw = -52; // stalemate, insufficient material, game-position marks
    inline constexpr int MateBound = 4999; // above: the mover mates; below the negation: is mated
    inline constexpr int KingCapture = 9999;
} // namespace Score

// Codes of GameStatus(), the result-code bits of the game record.
namespace GameState {
    inline constexpr int Going = 1;
    inline constexpr int WhiteMates = 0x16; // black is to move and checkmated: 1-0
    inline constexpr int BlackMates = 0x1A; // white is to move and checkmated: 0-1
    inline constexpr int Stalemate = 0x1200;
    inline constexpr int InsufficientMaterial = 0x2200;
} // namespace GameState

// The deepest iteration the node stack holds (the deepest node's list ends in the next slot).
inline constexpr int MaxSearchDepth = NodeStackSize - 2;

// Whether hardware population count is reported as available (the start-up banner reads it).
// The processor test always answers no, and "-nopopcnt" clears it again; no computation
// depends on it.
bool PopCountEnabled();

class clsEngine : public dranbase::clsThread, public dranbase::clsOutBuffer, public clsChessCore {
public:
    // Builds the engine, runs Initialise(share, options) and selects the soul "Simple5"
    // (which prints "# soul: Simple5"). The share may be null: the engine then thinks without
    // a transposition table. With the option "-quiet" nothing it prints reaches the console
    // (an engine that only keeps a board, such as a referee's).
    clsEngine(const dranbase::clsStrings& programOptions, clsEngineShare* share);
    // Stops a running think and waits for the thread before anything is released.
    ~clsEngine() override;

    // The initialisation steps: share, options, "-nopopcnt", result cleared, record sizes
    // (verbose), book ("book" option or corvala.cbk), start position. True when a share is set.
    bool Initialise(clsEngineShare* share, const dranbase::clsStrings& programOptions);

    // --- thread -------------------------------------------------------------------------------
    // Starts a think on the engine thread (clears the stop flag first, so a stop request made
    // right after Start is never lost). A running think is left alone. True when running.
    bool Start() override;
    // Stops the think whatever the mode word says, and joins the thread.
    bool Cancel() override;
    // The stop request: raises the stop flag, then waits for the thread. True when the join
    // succeeded (also when no thread was running).
    bool StopRequest();
    bool StopRaised() const { return stop_.load(std::memory_order_relaxed); }
    // Whether the last think was ended by its own time limit.
    bool TimeExpired() const { return timeExpired_.load(std::memory_order_relaxed); }

    // --- result slot (under the result mutex) --------------------------------------------------
    // Copies the move into the result; null (or a move carrying MoveFlag::Illegal) posts no move.
    // The result's line is the move alone.
    void PostMove(const clsMove* move);
    // The result move in coordinate notation ("e2e4", "e7e8=q") with its 16-bit score through
    // *score; with consume the result becomes no move. No move: empty text, *score untouched.
    std::string TakeMoveText(bool consume, int* score = nullptr);
    // A copy of the result record (flags, score in `order`, squares).
    clsMove ResultMove();
    // Takes the result move: the slot is empty afterwards. Nothing when no move is posted.
    std::optional<clsMove> TakeMove();
    // "depth score  centiseconds nodes Pe2-e4"; empty when no move is posted. Mate results show
    // 100000 + moves (winning) or moves - 100000 (losing), other scores in centipawns. The moves
    // the search expects after the result follow it in the same form ("Pe2-e4 Pe7-e5 Ng1-f3").
    std::string ThinkingLine();
    // The opponent's reply the last think expected after its result move, in coordinates; empty
    // when it expected none (a book move, a leaf, a think stopped early).
    std::string ExpectedReply();
    // "# <ms> ms <nodes/ms> Knps, TT hits: <n> <pct>%, Rept.Hits: <n>"; the first part only when
    // ms is not 0, the second only when nodes were counted; "# " alone otherwise.
    std::string StatisticsText(std::int64_t ms) const;

    // --- position and game -----------------------------------------------------------------------
    // Prints "#", the diagram and the report line.
    void PrintBoard();
    int SideToMove() const { return board.side; }
    int FullMoveNumber() const { return fullmoveNumber; }
    void SetFullMoveNumber(int n) { fullmoveNumber = n; }
    // Makes a move given in coordinate notation, or failing that in SAN; false (position
    // unchanged) when it is neither a legal move nor readable.
    bool ApplyMoveText(std::string_view text);
    // 0x2200 insufficient material (bare kings, or one knight or bishop besides them); 1 when
    // the side to move has a legal move; else 0x1200 stalemate, 0x16 black mated, 0x1A white
    // mated.
    int GameStatus();
    // GameStatus without the material rule: 1 while the side to move has a legal move, else
    // stalemate or the mate code.
    int MoveStatus();

    // --- settings (changed by the caller while the engine thread is idle) --------------------------
    // The program's options, searched by exact name ("-random", "book", "soul", ...); read at
    // initialisation, soul selection and the start of every think.
    dranbase::clsStrings options;
    // Diagnostic lines ("# ...") are printed only when set; the protocol copies "post" into it.
    std::atomic<bool> verbose { false };
    // The mode word ("\dbg"): with 2 or more the think ignores its time limits and runs to its
    // depth; a stop request still ends it at once.
    int modeWord = 0;
    // The opening book, loaded at initialisation; must not change while the engine thinks.
    clsBook book;
    // A polyglot ".bin" book; while it holds entries it is the book in use, not the ".cbk" one.
    clsPolyglotBook polyglotBook;
    // Polyglot probes play the heaviest move instead of a choice by weight.
    bool polyglotBest = false;
    // Loads a book by its name: ".bin" as polyglot, any other as ".cbk". On failure the book
    // in use stays and the reason is in *error. A ".cbk" load sets the polyglot book aside.
    bool LoadBookFile(const std::string& path, int limit = 0, std::string* error = nullptr,
        const BookPrinter& progress = {});
    // Whether the last think's move came from a book (set by BookMove).
    bool LastMoveFromBook() const { return lastMoveFromBook_; }

    // The maximum ply ("sd", perft, the four-ply probe); the think itself does not read it.
    int MaxPly() const { return maxPly; }
    void SetMaxPly(int ply) { maxPly = ply; }
    // Single iteration: skip the book and run one iteration of the fixed depth (or 2).
    void SetSingleIteration(bool on) { singleIteration_ = on; }
    bool SingleIteration() const { return singleIteration_; }
    // The deepest iteration a think may run ("sd"); 0 means no limit but the node stack's.
    // Iterations go 2, 4, 6 ..., so an odd limit stops at the even depth below it.
    void SetDepthLimit(int depth) { depthLimit_ = depth; }
    int DepthLimit() const { return depthLimit_; }
    // The first iteration depth in plies; 0 means not set (start at 2).
    void SetFixedDepth(int depth) { fixedDepth_ = depth; }
    int FixedDepth() const { return fixedDepth_; }
    clsEngineShare* Share() const { return share_; }
    // The limits of the next think (time, depth, nodes, infinite), set by the caller before Start.
    void SetLimits(const clsSearchLimits& limits) { limits_ = limits; }
    const clsSearchLimits& Limits() const { return limits_; }
    // Gives a running (or the next) think a deadline this many ms from now: a ponder think
    // whose move was played becomes a timed one. Safe from any thread.
    void SetDeadlineFromNow(std::int64_t ms);
    // Told after each finished iteration (on the engine thread); empty: nobody listens.
    void SetIterationListener(IterationListener listener) { iterationListener_ = std::move(listener); }
    // The root moves a think may choose from (coordinate texts); empty: all legal moves.
    void SetRootMoves(std::vector<std::string> moves) { rootMoves_ = std::move(moves); }
    // Whether a think looks in the opening book first (it does unless told otherwise).
    void SetUseBook(bool use) { useBook_ = use; }
    bool UsesBook() const { return useBook_; }

    // --- souls ----------------------------------------------------------------------------------
    // Soul selection: an empty name falls back to the options "soul", then "-soul", then
    // "Simple5"; prints "# soul: " and the name (always, verbose or not). A built-in name applies
    // its values; a text with "=" is applied as a soul text; any other name changes only the name.
    void SelectSoul(std::string_view name);
    // Name before the first "=", then 16 values (missing ones 0).
    void ApplySoulText(std::string_view text);
    const std::string& SoulName() const { return soulName_; }
    const SoulValues& Soul() const { return soul_; }
    void SetSoulValue(int index, std::int32_t value);
    // The 16 values, each followed by a tab.
    std::string SoulValuesText() const { return drnChess::SoulValuesText(soul_); }
    // "name=v0 v1 ... v15".
    std::string SoulText() const;

    // --- book -----------------------------------------------------------------------------------
    // Chooses among the book moves played in at least 2 % of the position's book games, uniformly,
    // and posts it. False (nothing posted) when the position has no book successor.
    bool BookMove();
    bool PolyglotBookMove();
    std::atomic<bool> lastMoveFromBook_ { false };

    // --- search ---------------------------------------------------------------------------------
    // Evaluation of the board right after a move was made, before the side switch, from the
    // mover's point of view, without material. Writes the current node's pawn cache.
    int Evaluate();
    // Searches the prepared root list to the depth and posts the best move; returns the root's
    // best score. The caller keeps the depth at MaxSearchDepth or below.
    int SearchRoot(int depth);
    // Searches the current node to the depth (the iterative node loop) and returns its best
    // score for the side to move there.
    int Search(int depth);
    // A four-ply search of the current position from a fresh node stack: the score for the side
    // to move, the node count through *nodesOut. Runs on the caller's thread; the engine thread
    // must be idle. Sets the maximum ply to 4.
    int FourPlyProbe(std::uint64_t* nodesOut);

    // --- figures --------------------------------------------------------------------------------
    std::uint64_t Nodes() const { return nodeCount; }
    std::uint64_t TTHits() const { return ttHits; }
    std::uint64_t RepetitionHits() const { return repetitionHits; }
    // Milliseconds spent thinking by the last think, and the number of thinks so far.
    std::int64_t ThinkTime() const { return thinkTime_; }
    std::int64_t ThinkCount() const { return thinkCount_; }
    int CurrentDepth() const { return depthShown_.load(std::memory_order_relaxed); }

    // --- the strong search (strongthink.cpp) ----------------------------------------------------
    // True when the options choose it: the last of "-search", "search" (any case) says "strong".
    bool UseStrongSearch() const;
    // The strong search's threads: the options "threads", "-threads" or "cores" (the last given
    // counts), 1 to 64; 1 without them. The classic search always uses one.
    int StrongThreads() const;
    static constexpr int MaxStrongThreads = 64;
    // The number of the last option named by one of the keys (lower case), or absent.
    long long OptionNumber(std::initializer_list<const char*> keys, long long absent) const;

    // --- the tables of the search in use (strongthink.cpp) ---------------------------------------
    // The strong search's table size in MiB; 0 takes the "memory" option (16 without it). The
    // classic table lives in the share, sized by its owner. Not while thinking.
    void SetStrongTableSize(std::size_t mib);
    // Empties both tables. Not while thinking.
    void ClearTables();
    // A new game: the strong search forgets its table, histories, killers and counter moves, so
    // that a search costs what it costs in a fresh process. The classic table is kept, as before.
    void NewGame();
    // The position now loaded starts a game of its own: the strong search counts repetitions
    // from here on (moves taken back to an earlier position of the game keep the game).
    void ForgetGameMoves();
    // Builds the strong search and sizes its table now, when it is the search in use, so that
    // the first think does not pay for them ("isready" is the time for it). Not while thinking.
    void PrepareSearch();
    // Per-mille of the table of the search in use written by this think (the classic table: its
    // first thousand entries in use). Read it on the engine thread, or while no think runs.
    int Hashfull() const;

protected:
    // The think (thread body): book, then iterations 2, 4, 6 ... until stopped, mated, mating or
    // at the depth limit; then "-random" replaces the move when set.
    bool Run() override;
    // Plants the game-position mark of a position just reached by a game move.
    clsTT* MarkGamePosition(u64 key) override;
    // Walks the strong search's game forward.
    void GameMovePlayed(const clsMove& move, u64 before, u64 after) override;

private:
    // A principal variation of the classic search: the moves it expects from a node on.
    static constexpr int MaxLineLength = 32;
    struct clsLine {
        int length = 0;
        std::array<clsMove, MaxLineLength> moves {};
        // This line becomes `first` followed by `rest` (cut at the maximum length).
        void Join(const clsMove& first, const clsLine& rest);
    };
    // Posts a root move with the line the search expects after it.
    void PostMoveWithLine(const clsMove& move, const clsLine& rest);

    // Transposition-table steps of the node loop.
    bool ProbeTable(clsSimpleNode* n, int depth);
    void StoreTable(clsSimpleNode* n, int depth);
    void PublishNodes() { nodesShown_.store(nodeCount, std::memory_order_relaxed); }
    bool Stopped() const { return stop_.load(std::memory_order_relaxed); }
    // Raises the stop flag once the think's deadline has passed (the clock is read every
    // 1024th call, so the check costs next to nothing per node).
    void PollDeadline();
    // Arms the deadline of a think that starts now from its limits.
    void ArmDeadline(std::int64_t startTick);
    // The start of every think: "# engine's running" (verbose), no move posted, counters cleared,
    // the start tick taken.
    void BeginThink();
    // Root preparation of a think: material, root list generated, filtered and sorted by value.
    int PrepareRootMoves();
    // Keeps only the root moves named by SetRootMoves (all when none is legal among them).
    void KeepChosenRootMoves();
    // The report of the iteration just finished, to the listener.
    void ReportIteration(int depth);
    void SetResultMateDistance(int moves);
    void PlayRandomMove(bool proportional, int percent);
    void SyncCastleBonus() { castleBonus = soul_[SoulWeight::CastlingBonus]; }
    // The think of the strong search; Run hands over to it when the options choose it.
    bool RunStrong();
    // Posts the strong search's move and score (matched to the root's record) with the
    // opponent's reply it expects (NoMove when it has none); moves are fast move records.
    void PostStrongMove(std::uint16_t best, int score, std::uint16_t reply);
    // The strong table's size: the one set, else the "memory" option, else 16 MiB.
    std::size_t StrongTableMiB() const;

    // The game as the strong search sees it: walked with each game move, taken back with undo.
    std::unique_ptr<strong::GameTrack> gameTrack_;
    std::unique_ptr<strong::StrongSearch> strong_;
    // Applies the options' weights file ("-weights", "weights", "Weights": the last counts) to
    // the strong search when it changed; a file refused leaves the weights in use.
    void ApplyStrongWeights();
    // The strong search built, its weights applied and its table sized.
    void ReadyStrongSearch();
    std::string strongWeightsChoice_; // the option value last applied ("": the hand-set table)
    std::size_t strongTableMiB_ = 0; // 0: from the "memory" option

    clsEngineShare* share_ = nullptr;
    std::string soulName_;
    SoulValues soul_ {};

    bool singleIteration_ = false;
    int fixedDepth_ = 0;
    int depthLimit_ = 0;
    clsSearchLimits limits_ {};
    std::atomic<bool> stop_ { false };
    std::atomic<bool> timeExpired_ { false };
    std::atomic<std::int64_t> deadlineTick_ { 0 }; // 0: the think has no deadline
    unsigned deadlinePolls_ = 0;
    IterationListener iterationListener_;
    std::vector<std::string> rootMoves_;
    bool useBook_ = true;

    std::mutex resultMutex_; // guards result_, resultLine_ and expectedReply_ only
    clsMove result_ {};
    clsLine resultLine_ {}; // the result move and the moves expected after it
    std::string expectedReply_;
    // Indexed by ply: the line below each node of the current search path.
    std::array<clsLine, NodeStackSize + 1> lines_ {};

    std::atomic<std::int64_t> startTick_ { 0 };
    std::atomic<int> depthShown_ { 0 };
    std::atomic<std::uint64_t> nodesShown_ { 0 };
    std::atomic<std::uint64_t> ttHitsShown_ { 0 };
    std::int64_t thinkTime_ = 0;
    std::int64_t thinkCount_ = 0;
};

} // namespace drnChess
