#pragma once
// The rules core: one position with its move stack and node stack, and every rules operation
// on it (FEN, generation, make-move, legality, game moves, SAN reading, perft).
// The engine derives from it and adds the search; a rules routine never prints.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dranbase/clsstring.h"
#include "rules/clsboard.h"
#include "rules/clsmove.h"
#include "rules/clssimplenode.h"

namespace drnChess {

inline constexpr int NodeStackSize = 128;   // plies; slot 0 is a sentinel, the root is slot 1
inline constexpr int MoveStackSize = 12801; // 128 plies of 100 moves, plus one
inline constexpr const char* StartFEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

class clsChessCore {
public:
    clsChessCore();
    virtual ~clsChessCore() = default;
    clsChessCore(const clsChessCore&) = delete;
    clsChessCore& operator=(const clsChessCore&) = delete;

    // --- position ---------------------------------------------------------------------------
    // Loads a position (the empty text loads the start position); validates nothing and
    // always returns true. EPD operations after the fourth field go to positionOps.
    bool SetFromFEN(std::string_view text);
    // The four FEN fields of the board (no counters).
    std::string GetFEN() const;
    // Piece letter on a single-bit square: upper case white, lower case black, '.' empty.
    char PieceCharAt(u64 square) const;
    // Eight lines of eight letters, rank 8 first, each ended by CR LF (80 characters).
    std::string BoardDiagram() const;
    // The three lines of the board report: "#", the diagram, "# white value: ... FEN: ...".
    std::string BoardReportLine() const;
    void ComputeMaterial();

    // --- generation and legality -------------------------------------------------------------
    // Stage -1 generates everything at once; stages 0..5 append one batch each.
    void GenerateMoves(int stage);
    // True when a piece of `other` attacks the single-bit square.
    bool IsAttacked(u64 square) const;
    // Applies the move without switching sides.
    void MakeMove(const clsMove& move);
    // Removes illegal moves from the current node's list; returns the number of legal moves.
    int FilterLegalMoves();
    // Root = slot 1 with an empty list; resets the per-node search fields; PrepareRoot().
    void ResetNodeStack();
    // Root castleCopy, the pre-root move record from epSquare, the root's board copy.
    void PrepareRoot();
    // Plays a coordinate move on the game position; false (position unchanged) when illegal.
    bool ApplyGameMove(std::string_view text);

    // --- texts --------------------------------------------------------------------------------
    // At the root: long forms of the root moves, each followed by a blank (generated first
    // when the list is empty). Empty at any other node.
    std::string MoveListText();
    // "# __moves__", one detail line per move of the current node, "# ^^^".
    std::string MoveListDetail();
    // The first root move whose long form matches the pattern; empty when none.
    std::string MatchPattern(std::string_view pattern);
    // SAN to a coordinate text for ApplyGameMove; empty when no legal move matches.
    std::string SanToCoordinate(std::string_view san);

    // --- hashing ------------------------------------------------------------------------------
    u64 ComputeSignature() const;
    u64 PositionKey() const;

    // --- perft --------------------------------------------------------------------------------
    // Counts leaves to `depth` (0 or less: 0). With divide, hands one line per root move
    // ("Ng1-h3 20") to divideLine. The full count is left in nodeCount.
    std::uint32_t PerftDriver(int depth, bool divide,
        const std::function<void(const std::string&)>& divideLine = {});
    std::uint64_t Perft(int remaining);

    // --- state (the engine layer works on these directly) --------------------------------------
    clsBoard board {};
    clsMove preRootMove {};
    clsMove moveTemplate {};
    clsSimpleNode* current = nullptr;
    int maxPly = 128;
    bool divideFlag = false;
    std::uint64_t nodeCount = 0;
    std::uint64_t ttHits = 0;
    std::uint64_t repetitionHits = 0;
    std::int32_t halfmoveClock = 0;
    std::int32_t fullmoveNumber = 0;
    std::string defaultFEN;
    dranbase::clsStrings positionOps; // EPD operations of the last FEN, by name
    std::int32_t castleBonus = 0;     // added to material when castling (soul value 2)

    clsMove moveStack[MoveStackSize] {};
    clsSimpleNode nodes[NodeStackSize] {};

    clsSimpleNode* Root() { return &nodes[1]; }
    // The node after n; its firstMove marks the end of n's list.
    static clsSimpleNode* Next(clsSimpleNode* n) { return n + 1; }

protected:
    // Called by ApplyGameMove after a game move with the new position key; the engine plants
    // its repetition mark in the transposition table and returns the entry (or null).
    virtual clsTT* MarkGamePosition(u64 /*key*/) { return nullptr; }

private:
    std::function<void(const std::string&)> divideLine_;
    // generator helpers are private to the implementation files
};

} // namespace drnChess
