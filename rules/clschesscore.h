#pragma once
// The rules core: one position with its move stack and node stack, and every rules operation
// on it (FEN, generation, make-move, legality, game moves, SAN reading, perft).
// The engine derives from it and adds the search; a rules routine never prints.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dranbase/clsstring.h"
#include "rules/attacks.h"
#include "rules/clsboard.h"
#include "rules/clsmove.h"
#include "rules/clssimplenode.h"

namespace drnChess {

namespace fast {
    class FastPosition;
} // namespace fast

inline constexpr int NodeStackSize = 128; // plies; slot 0 is a sentinel, the root is slot 1
inline constexpr int MoveStackSize = 12801; // 128 plies of 100 moves, plus one
inline constexpr const char* StartFEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

class clsChessCore {
public:
    // The first core built in the process draws the hash keys (InitKeysOnce), so a fixed seed
    // (SeedRandom) must be set before. The board starts empty: load one with SetFromFEN.
    clsChessCore();
    virtual ~clsChessCore() = default;
    clsChessCore(const clsChessCore&) = delete;
    clsChessCore& operator=(const clsChessCore&) = delete;

    // --- position ---------------------------------------------------------------------------
    // Loads a position (the empty text loads the start position); validates nothing and
    // always returns true. Placement letters S and M are read as bishop and queen. The side
    // letter is read one character after the placement's end and the castling field three
    // characters after it; counters (when present) go to halfmoveClock and fullmoveNumber,
    // and the EPD operations that follow are stored by name in positionOps ("bm Nf3; id x1;"
    // gives bm = Nf3 and id = x1). Ends with the node stack reset for the new position.
    bool SetFromFEN(std::string_view text);
    // The four FEN fields of the board (no counters).
    std::string GetFEN() const;
    // Piece letter on a single-bit square: upper case white, lower case black, '.' empty.
    char PieceCharAt(u64 square) const;
    // Eight lines of eight letters, rank 8 first, each ended by CR LF (80 characters).
    std::string BoardDiagram() const;
    // The last line of the board report, "# white value: 0.00 FEN: <GetFEN()>" (side to move,
    // material / 105 with two decimals). The report is "#", the diagram, then this line.
    std::string BoardReportLine() const;
    // material = own minus other material of pawns, knights, bishops, rooks and queens
    // (kings not counted, castling bonuses dropped).
    void ComputeMaterial();

    // --- generation and legality -------------------------------------------------------------
    // Writes pseudo-legal moves of the side to move into the current node's list.
    // Stage -1 generates everything at once; stage 0 starts the node (kingSquare,
    // kingNeighbourhood, inCheck, pinMask, castleCopy, pawnCacheKey = 1) and empties its list
    // before writing pawn captures; stages 1..5 append one batch each. Stage -1 also starts the
    // node. Afterwards currentMove is the first move of the batch, Next(current)->firstMove the
    // end of the list, and the record at the end carries MoveFlag::Illegal as an end mark. The
    // node's `stage` field is the caller's. A node started with fewer than MovesReservedPerNode
    // records left in the move stack gets an empty list instead of overrunning it.
    // Castling needs the king on its home square, the corner in `castle` with an own rook on
    // it; en passant needs the previous move to be a double push whose pawn still stands there
    // (so a FEN en-passant square without such a pawn gives no capture).
    void GenerateMoves(int stage);
    // True when a piece of `other` attacks the single-bit square (`own` and `side` as they
    // stand). An empty square argument gives false.
    bool IsAttacked(u64 square) const;
    // True when a piece among `candidates` (a subset of the lines of the square) is the
    // nearest piece on one of the four directions from firstDirection on (1: rook lines,
    // 5: bishop lines).
    bool RayAttack(int squareIndex, int firstDirection, u64 candidates) const;
    // Applies a move generated for this position, without switching sides: pieces, hash,
    // material (+ move value, + castleBonus for castling), counts and castling squares.
    // epSquare and the castling terms in `hash` are left alone.
    void MakeMove(const clsMove& move);
    // True when the move does not leave the mover's king attacked; the board is unchanged.
    bool IsLegalMove(const clsMove& move);
    // Removes illegal moves from the current node's list, keeping the order of the rest;
    // returns the number of legal moves, also stored in the node's legalCount.
    int FilterLegalMoves();
    // epSquare after a game move, called before the side switch: the square passed over by a
    // double push, else 0.
    void SetEnPassantAfter(const clsMove& move);
    // Root = slot 1 with an empty list; every slot: best = -15000, ply = its index, no
    // current move, rank masks (below); then PrepareRoot(). Slot 0's current move is the
    // pre-root record, kept in moveStack[0]; the root list starts at moveStack[1].
    // rankMask[0] of a slot is its "seventh-rank mask": rank 2 when the slot index is odd and
    // black was to move at the reset, or the index is even and white was; else rank 7.
    // rankMask[1] holds the other of the two ranks.
    void ResetNodeStack();
    // Root castleCopy = castle; the pre-root move record (a double push that produced epSquare,
    // or a null record) into preRootMove and moveStack[0]; the board into the root's boardCopy.
    void PrepareRoot();
    // Plays a coordinate move (e2e4, e7e8q, e7e8=q) on the game position: generated, legal,
    // same squares and promotion. False, with the position unchanged, for an empty or
    // unreadable text, an illegal move, a missing or superfluous promotion letter. On success
    // the root's entry is MarkGamePosition(PositionKey()), the root is prepared for the new
    // position and its list is empty (so the next MoveListText generates afresh).
    bool ApplyGameMove(std::string_view text);
    // Plays a legal move of the game position (as ReadMove returns it), with the same effects
    // as ApplyGameMove: no text read, no list generated.
    void PlayGameMove(const clsMove& move);

    // --- texts --------------------------------------------------------------------------------
    // At the root: long forms of the root moves, each followed by a blank (all stages
    // generated first when the list is empty); moves marked illegal are listed too.
    // Empty at any other node.
    std::string MoveListText();
    // Lines separated by '\n' (no final line end): "# __moves__", one MoveDetailText line per
    // move of the current node's list, "# ^^^".
    std::string MoveListDetail();
    // A move text (ReadMove: SAN, long or coordinate form) to the coordinate text of its legal
    // move for ApplyGameMove ("e7e8q", "e7e8b", "e1g1"). Empty when no legal move matches.
    std::string SanToCoordinate(std::string_view san);

    // --- hashing ------------------------------------------------------------------------------
    // XOR of ZobristKeys over every piece (slots 0..5) and every castling square that holds a
    // piece (slot 6, under that piece's colour). No side-to-move term. MakeMove keeps `hash`
    // equal to this except for the castling terms, which stay as they were at the FEN load.
    u64 ComputeSignature() const;
    // ((epSquare - castle) mod 2^64) ^ SideKeys[side] ^ hash ^ occupied.
    u64 PositionKey() const;

    // --- perft --------------------------------------------------------------------------------
    // Counts the leaves of the legal move tree to `depth` from the current position and
    // leaves the board as it was. 0 or less counts 0, and so does a depth above
    // MaxPerftDepth (the node stack would not hold it). With divide, hands one line per legal
    // root move ("Ng1-h3 20") to divideLine; depth 1 gives no lines. The full count is left in
    // nodeCount; the result is its low 32 bits. Resets the node stack and sets maxPly.
    // Sound positions (one king a side, the side not to move not in check, no pawn on the first
    // or last rank) are counted on the fast position (fastperft.h), others by Perft below; the counts are the
    // same. Raising perftStop from another thread ends the count early with a partial nodeCount; the flag
    // stays raised until the caller lowers it (so a stop raised just before the start is not lost). Several
    // hundred million leaves a second: depth 6 of the start position takes under a second, each further ply
    // some 25 to 30 times longer.
    std::uint32_t PerftDriver(
        int depth, bool divide, const std::function<void(const std::string&)>& divideLine = {});
    // Counts from the current node: remaining 0 counts the legal moves. A list that holds a
    // king capture counts 0 (the previous move was illegal).
    std::uint64_t Perft(int remaining);
    std::atomic<bool> perftStop { false };

    // --- state (the engine layer works on these directly) --------------------------------------
    clsBoard board {};
    clsMove preRootMove {};
    clsMove moveTemplate {}; // what AddCapture copies
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
    std::int32_t castleBonus = 0; // added to material when castling (soul value 2)

    clsMove moveStack[MoveStackSize] {};
    clsSimpleNode nodes[NodeStackSize] {};

    clsSimpleNode* Root() { return &nodes[1]; }
    // The node after n; its firstMove marks the end of n's list.
    static clsSimpleNode* Next(clsSimpleNode* n) { return n + 1; }
    static const clsSimpleNode* Next(const clsSimpleNode* n) { return n + 1; }
    // Number of moves in the node's list.
    static int MoveCount(const clsSimpleNode* n)
    {
        return static_cast<int>(Next(n)->firstMove - n->firstMove);
    }

    // Appends to the current node's list a capture of the piece on `to`, copied from
    // moveTemplate (moving kind in flags, origin in from) with the captured kind and its value;
    // returns whether a move was written (false when `to` holds no opponent piece or the move
    // stack is full).
    bool AddCapture(u64 to);
    // Turns the last move of the current node's list into the queen promotion (value +835) and
    // appends the knight (+198), bishop (+198) and rook (+395) promotions.
    void ExpandPromotions();

    // Records a node's list may need at most: a node is started only with this many left.
    static constexpr int MovesReservedPerNode = 1024;
    static constexpr int MaxPerftDepth = NodeStackSize - 2;

protected:
    // Called by ApplyGameMove after a game move with the new position key; the engine plants
    // its repetition mark in the transposition table and returns the entry (or null).
    virtual clsTT* MarkGamePosition(u64 /*key*/) { return nullptr; }
    // Called by ApplyGameMove and PlayGameMove after a game move, with the position keys before
    // and after it (the root's board copy still holds the position before).
    virtual void GameMovePlayed(const clsMove& /*move*/, u64 /*before*/, u64 /*after*/) { }

private:
    std::function<void(const std::string&)> divideLine_;
    clsMove* write_ = nullptr; // next free record while a list is written

    void StartNode(clsSimpleNode* n);
    // Divide at the root with the fast counter below each legal move.
    std::uint64_t DivideFast(int depth, fast::FastPosition& position);
    clsMove* EnPassant(clsMove* w) const;
    clsMove* Castling(clsMove* w) const;
    void FinishList();
};

} // namespace drnChess
