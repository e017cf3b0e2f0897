// Position set-up and the texts of a position: FEN in and out, diagram, report line,
// material, hashing and the node stack.

#include "rules/clschesscore.h"

#include "rules/bits.h"
#include "rules/random.h"

namespace drnChess {

namespace {

    // Piece kind of a placement letter (either case), 0 for anything else.
    int KindOfLetter(char c)
    {
        switch (c) {
        case 'P':
        case 'p':
            return Pawn;
        case 'N':
        case 'n':
            return Knight;
        case 'B':
        case 'b':
        case 'S':
        case 's':
            return Bishop;
        case 'R':
        case 'r':
            return Rook;
        case 'Q':
        case 'q':
        case 'M':
        case 'm':
            return Queen;
        case 'K':
        case 'k':
            return King;
        default:
            return NoPiece;
        }
    }

    // Castling squares set by the FEN letters: king home and rook corner.
    constexpr u64 CastleK = 0x0000000000000009ULL; // e1 h1
    constexpr u64 CastleQ = 0x0000000000000088ULL; // e1 a1
    constexpr u64 Castlek = 0x0900000000000000ULL; // e8 h8
    constexpr u64 Castleq = 0x8800000000000000ULL; // e8 a8

    // End (exclusive) of the blank-delimited token starting at i.
    std::size_t TokenEnd(std::string_view text, std::size_t i)
    {
        while (i < text.size() && text[i] != ' ')
            ++i;
        return i;
    }

    bool IsDigit(char c)
    {
        return c >= '0' && c <= '9';
    }

} // namespace

clsChessCore::clsChessCore()
{
    BuildTables();
    InitKeysOnce(); // the first core built draws the keys; a fixed seed must be set before
    defaultFEN = StartFEN;
    ResetNodeStack();
}

bool clsChessCore::SetFromFEN(std::string_view text)
{
    // 1. Empty board and operations.
    for (auto& b : board.bb)
        b = 0;
    board.material = 0;
    board.side = White;
    board.pieceCount[0] = board.pieceCount[1] = 0;
    board.pawnCount[0] = board.pawnCount[1] = 0;
    board.spare[0] = board.spare[1] = 0;
    positionOps.Clear();
    defaultFEN = StartFEN;
    if (text.empty()) text = StartFEN;

    // 2. Placement, from a8 towards h1.
    u64 white = 0, black = 0;
    u64 cursor = SquareBit[63];
    std::size_t i = 0;
    while (i < text.size() && cursor) {
        const char c = text[i++];
        if (c == ' ') break;
        if (const int kind = KindOfLetter(c)) {
            board.bb[kind] |= cursor;
            ((c >= 'a' && c <= 'z') ? black : white) |= cursor;
            cursor >>= 1;
        } else if (c >= '2' && c <= '8') {
            cursor >>= (c - '0');
        } else if (c != '/') {
            cursor >>= 1; // '1' and anything unknown count as one empty square
        }
    }
    const std::size_t p = i;

    // 3. Side: the character after the blank that ends the placement.
    const bool blackToMove = p + 1 < text.size() && text[p + 1] == 'b';
    board.side = blackToMove ? Black : White;
    board.own() = blackToMove ? black : white;
    board.other() = blackToMove ? white : black;

    // 4. Castling rights.
    std::size_t at = p + 3;
    if (at < text.size()) {
        const std::size_t end = TokenEnd(text, at);
        for (std::size_t k = at; k < end; ++k) {
            switch (text[k]) {
            case 'K':
                board.castle() |= CastleK;
                break;
            case 'Q':
                board.castle() |= CastleQ;
                break;
            case 'k':
                board.castle() |= Castlek;
                break;
            case 'q':
                board.castle() |= Castleq;
                break;
            default:
                break;
            }
        }
        at = end;
    }

    // 5. En passant: the next token.
    if (at < text.size()) {
        ++at;
        const std::size_t end = TokenEnd(text, at);
        board.epSquare() = end - at >= 2 ? TextToSquare(text.substr(at, 2)) : 0;
        at = end;
    }

    // 6. Counters, each only when its token starts with a digit.
    if (at + 1 < text.size() && IsDigit(text[at + 1])) {
        const std::size_t end = TokenEnd(text, at + 1);
        halfmoveClock = static_cast<std::int32_t>(dranbase::ToInt(text.substr(at + 1, end - at - 1)));
        at = end;
        if (at + 1 < text.size() && IsDigit(text[at + 1])) {
            const std::size_t end2 = TokenEnd(text, at + 1);
            fullmoveNumber = static_cast<std::int32_t>(dranbase::ToInt(text.substr(at + 1, end2 - at - 1)));
            at = end2;
        }
    }

    // 7. EPD operations, cut at ';'.
    if (at < text.size()) {
        for (const std::string& part : dranbase::SplitAll(text.substr(at), ';')) {
            const std::string op = dranbase::Trim(part);
            if (op.empty()) continue;
            const std::size_t blank = op.find(' ');
            if (blank == std::string::npos)
                positionOps.Add(op, "");
            else
                positionOps.Add(op.substr(0, blank), op.substr(blank + 1));
        }
    }

    // 8. Derived fields.
    board.occupied() = board.own() | board.other();
    board.hash() = ComputeSignature();
    for (int c = White; c <= Black; ++c) {
        const u64 set = c == White ? white : black;
        board.pawnCount[c] = PopCount(set & board.pawns());
        board.pieceCount[c] = PopCount(set) - board.pawnCount[c];
    }
    ComputeMaterial();

    // The node stack is reset once the new position is complete, so that the root copy, the
    // pre-root move and the rank masks belong to it.
    ResetNodeStack();
    return true;
}

std::string clsChessCore::GetFEN() const
{
    std::string s;
    s.reserve(90);
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const char c = PieceCharAt(SquareBit[8 * rank + (7 - file)]);
            if (c == '.') {
                ++empty;
                continue;
            }
            if (empty) s += static_cast<char>('0' + empty);
            empty = 0;
            s += c;
        }
        if (empty) s += static_cast<char>('0' + empty);
        if (rank) s += '/';
    }
    s += board.side == Black ? " b " : " w ";
    const u64 castle = board.castle();
    const std::size_t before = s.size();
    if ((castle & CastleK) == CastleK) s += 'K';
    if ((castle & CastleQ) == CastleQ) s += 'Q';
    if ((castle & Castlek) == Castlek) s += 'k';
    if ((castle & Castleq) == Castleq) s += 'q';
    if (s.size() == before) s += '-';
    s += ' ';
    s += board.epSquare() ? SquareToText(LowestBit(board.epSquare())) : std::string("-");
    return s;
}

char clsChessCore::PieceCharAt(u64 square) const
{
    static constexpr int order[6] = { Pawn, Knight, Queen, Bishop, Rook, King };
    for (int kind : order) {
        if (!(board.bb[kind] & square)) continue;
        const char letter = PieceLetters[kind];
        if (board.white() & square) return letter;
        if (board.black() & square) return static_cast<char>(letter - 'A' + 'a');
        return '.';
    }
    return '.';
}

std::string clsChessCore::BoardDiagram() const
{
    std::string s;
    s.reserve(80);
    for (int rank = 7; rank >= 0; --rank) {
        for (int file = 0; file < 8; ++file)
            s += PieceCharAt(SquareBit[8 * rank + (7 - file)]);
        s += '\n';
    }
    return s;
}

std::string clsChessCore::BoardReportLine() const
{
    return std::string("# ") + (board.side == Black ? "black" : "white")
        + " value: " + dranbase::FixedText(board.material / 105.0, 2) + " FEN: " + GetFEN();
}

void clsChessCore::ComputeMaterial()
{
    const u64 own = board.own(), other = board.other();
    auto diff = [&](u64 kinds) { return PopCount(own & kinds) - PopCount(other & kinds); };
    board.material = 105 * diff(board.pawns()) + 303 * diff(board.knights() | board.bishops())
        + 500 * diff(board.rooks()) + 940 * diff(board.queens());
}

u64 clsChessCore::ComputeSignature() const
{
    u64 sig = 0;
    for (int c = White; c <= Black; ++c) {
        const u64 colour = c == White ? board.white() : board.black();
        for (int slot = 0; slot <= 6; ++slot) {
            u64 set = (slot < 6 ? board.bb[slot + Pawns] : board.castle()) & colour;
            while (set) {
                sig ^= ZobristKeys[SquareIndex(set)][slot][c];
                set &= set - 1;
            }
        }
    }
    return sig;
}

u64 clsChessCore::PositionKey() const
{
    return (board.epSquare() - board.castle()) ^ SideKeys[board.side] ^ board.hash() ^ board.occupied();
}

void clsChessCore::ResetNodeStack()
{
    const bool blackAtReset = board.side == Black;
    for (int i = 0; i < NodeStackSize; ++i) {
        clsSimpleNode& n = nodes[i];
        n.best = -15000;
        n.ply = i;
        n.currentMove = nullptr;
        const bool odd = (i & 1) != 0;
        const bool rank2 = odd == blackAtReset;
        n.rankMask[0] = rank2 ? Rank2 : Rank7; // the "seventh-rank mask" of the evaluation
        n.rankMask[1] = rank2 ? Rank7 : Rank2;
    }
    nodes[0].firstMove = &moveStack[0];
    nodes[0].currentMove = &moveStack[0];
    Root()->firstMove = &moveStack[1];
    Root()->currentMove = nullptr;
    Next(Root())->firstMove = &moveStack[1];
    moveStack[1].flags = MoveFlag::Illegal;
    current = Root();
    PrepareRoot();
}

void clsChessCore::PrepareRoot()
{
    clsSimpleNode* root = Root();
    root->castleCopy = board.castle();
    clsMove pre {};
    const u64 ep = board.epSquare();
    if (ep) {
        pre.flags = MoveFlag::DoublePush;
        pre.extra = ep;
        if (board.side == Black) {
            pre.from = ep >> 8;
            pre.to = ep << 8;
        } else {
            pre.from = ep << 8;
            pre.to = ep >> 8;
        }
    }
    preRootMove = pre;
    moveStack[0] = pre;
    nodes[0].currentMove = &moveStack[0];
    root->boardCopy = board;
}

} // namespace drnChess
