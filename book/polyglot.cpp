#include "book/polyglot.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_set>

#include "dranbase/clsfile.h"
#include "rules/clschesscore.h"
#include "rules/clsmove.h"
#include "rules/movereader.h"
#include "rules/movewriter.h"

namespace drnChess {

namespace {

    constexpr u64 Random64[781] = {
#include "book/polyglotrandom.inc"
    };
    constexpr int CastleOffset = 768;
    constexpr int EnPassantOffset = 772;
    constexpr int TurnOffset = 780;
    constexpr std::size_t EntrySize = 16;

    // Kinds in key order: black pawn, white pawn, black knight, ... white king.
    int PieceIndex(char c)
    {
        static constexpr std::string_view letters = "pnbrqk";
        const char lower = static_cast<char>(c | 0x20);
        const auto kind = letters.find(lower);
        if (kind == std::string_view::npos) return -1;
        const bool white = c != lower;
        return 2 * static_cast<int>(kind) + (white ? 1 : 0);
    }

    std::string_view NextField(std::string_view& text)
    {
        const auto start = text.find_first_not_of(' ');
        if (start == std::string_view::npos) return {};
        text.remove_prefix(start);
        const auto end = std::min(text.find(' '), text.size());
        std::string_view field = text.substr(0, end);
        text.remove_prefix(end);
        return field;
    }

    std::string SquareName(int file, int row)
    {
        return { static_cast<char>('a' + file), static_cast<char>('1' + row) };
    }

    u64 ReadBigEndian(const unsigned char* p, int bytes)
    {
        u64 v = 0;
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | p[i];
        return v;
    }

    void WriteBigEndian(std::string& out, u64 v, int bytes)
    {
        for (int i = bytes - 1; i >= 0; --i)
            out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }

    std::string HexKey(u64 key)
    {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(key));
        return text;
    }

} // namespace

bool IsPolyglotName(std::string_view path)
{
    if (path.size() < 4) return false;
    std::string tail(path.substr(path.size() - 4));
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == ".bin";
}

u64 PolyglotKey(std::string_view fen)
{
    std::string_view rest = fen;
    const std::string_view placement = NextField(rest);
    const std::string_view side = NextField(rest);
    const std::string_view castling = NextField(rest);
    const std::string_view enPassant = NextField(rest);

    // board[row][file], row 0 = rank 1.
    char board[8][8] = {};
    u64 key = 0;
    int row = 7;
    int file = 0;
    for (char c : placement) {
        if (c == '/') {
            if (--row < 0) return 0;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
        } else {
            const int piece = PieceIndex(c);
            if (piece < 0 || file > 7) return 0;
            board[row][file] = c;
            key ^= Random64[64 * piece + 8 * row + file];
            ++file;
        }
    }
    if (row != 0) return 0;

    for (char c : castling) {
        if (c == 'K') key ^= Random64[CastleOffset + 0];
        if (c == 'Q') key ^= Random64[CastleOffset + 1];
        if (c == 'k') key ^= Random64[CastleOffset + 2];
        if (c == 'q') key ^= Random64[CastleOffset + 3];
    }

    const bool whiteToMove = side != "b";
    if (enPassant.size() == 2 && enPassant[0] >= 'a' && enPassant[0] <= 'h') {
        // Counted only when a pawn of the mover stands beside the pawn that passed the square.
        const int epFile = enPassant[0] - 'a';
        const int pawnRow = whiteToMove ? 4 : 3;
        const char ownPawn = whiteToMove ? 'P' : 'p';
        const bool capturable = (epFile > 0 && board[pawnRow][epFile - 1] == ownPawn)
            || (epFile < 7 && board[pawnRow][epFile + 1] == ownPawn);
        if (capturable) key ^= Random64[EnPassantOffset + epFile];
    }
    if (whiteToMove) key ^= Random64[TurnOffset];
    return key;
}

u64 PolyglotKey(const clsChessCore& core)
{
    return PolyglotKey(core.GetFEN());
}

std::uint16_t PolyglotMoveCode(const clsMove& move)
{
    const std::string text = CoordinateText(move);
    if (text.size() < 4) return 0;
    const int fromFile = text[0] - 'a';
    const int fromRow = text[1] - '1';
    int toFile = text[2] - 'a';
    const int toRow = text[3] - '1';
    if (move.Has(MoveFlag::Castling)) toFile = toFile == 6 ? 7 : 0; // the king takes its rook
    int promotion = 0;
    switch (move.Promotion()) {
    case Knight:
        promotion = 1;
        break;
    case Bishop:
        promotion = 2;
        break;
    case Rook:
        promotion = 3;
        break;
    case Queen:
        promotion = 4;
        break;
    default:
        break;
    }
    return static_cast<std::uint16_t>(
        toFile | (toRow << 3) | (fromFile << 6) | (fromRow << 9) | (promotion << 12));
}

std::string PolyglotMoveText(std::uint16_t code, const clsChessCore& core)
{
    const int toFile = code & 7;
    const int toRow = (code >> 3) & 7;
    const int fromFile = (code >> 6) & 7;
    const int fromRow = (code >> 9) & 7;
    const int promotion = (code >> 12) & 7;
    std::string text = SquareName(fromFile, fromRow);
    // The king on its home square taking its own rook's corner is castling.
    int destinationFile = toFile;
    if (fromFile == 4 && (toFile == 7 || toFile == 0) && toRow == fromRow && (fromRow == 0 || fromRow == 7)) {
        const u64 origin = u64 { 1 } << (8 * fromRow + (7 - fromFile));
        if (core.PieceCharAt(origin) == (fromRow == 0 ? 'K' : 'k')) destinationFile = toFile == 7 ? 6 : 2;
    }
    text += SquareName(destinationFile, toRow);
    static constexpr char promotionLetters[] = " nbrq";
    if (promotion >= 1 && promotion <= 4) text.push_back(promotionLetters[promotion]);
    return text;
}

bool clsPolyglotBook::Load(const std::string& path, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error) *error = "polyglot book " + path + ": " + why;
        return false;
    };
    // A device or a pipe named as a book would be read without end.
    constexpr std::uintmax_t MaxBookBytes = std::uintmax_t { 1 } << 30;
    if (const std::string problem = dranbase::DataFileProblem(path, MaxBookBytes); !problem.empty())
        return fail(problem);
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("cannot open the file");
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A single line end after the last entry (Debian's smallbook.bin has one) is no entry.
    if (bytes.size() % EntrySize == 1 && bytes.back() == '\n') bytes.pop_back();
    if (bytes.size() % EntrySize != 0)
        return fail("size " + std::to_string(bytes.size()) + " is not a multiple of 16");
    std::vector<PolyglotEntry> entries(bytes.size() / EntrySize);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < entries.size(); ++i, p += EntrySize) {
        PolyglotEntry& e = entries[i];
        e.key = ReadBigEndian(p, 8);
        e.move = static_cast<std::uint16_t>(ReadBigEndian(p + 8, 2));
        e.weight = static_cast<std::uint16_t>(ReadBigEndian(p + 10, 2));
        e.learn = static_cast<std::uint32_t>(ReadBigEndian(p + 12, 4));
        if (i > 0 && e.key < entries[i - 1].key)
            return fail("keys not in ascending order at entry " + std::to_string(i));
    }
    entries_ = std::move(entries);
    path_ = path;
    return true;
}

std::vector<PolyglotMove> clsPolyglotBook::Moves(clsChessCore& core, std::string* error) const
{
    std::vector<PolyglotMove> moves;
    const u64 key = PolyglotKey(core);
    auto first = std::lower_bound(
        entries_.begin(), entries_.end(), key, [](const PolyglotEntry& e, u64 k) { return e.key < k; });
    for (auto it = first; it != entries_.end() && it->key == key; ++it) {
        std::string text = PolyglotMoveText(it->move, core);
        if (!ReadCoordinateMove(core, text)) {
            if (error)
                *error = "polyglot book " + path_ + ": move " + text + " is illegal in " + core.GetFEN();
            return {};
        }
        moves.push_back({ std::move(text), it->weight });
    }
    return moves;
}

int PickPolyglotMove(const std::vector<PolyglotMove>& moves, std::uint64_t random, bool best)
{
    if (moves.empty()) return -1;
    if (best) {
        int chosen = 0;
        for (std::size_t i = 1; i < moves.size(); ++i)
            if (moves[i].weight > moves[static_cast<std::size_t>(chosen)].weight)
                chosen = static_cast<int>(i);
        return chosen;
    }
    std::uint64_t total = 0;
    for (const PolyglotMove& m : moves)
        total += static_cast<std::uint64_t>(m.weight);
    if (total == 0) return static_cast<int>(random % moves.size());
    std::uint64_t r = random % total;
    for (std::size_t i = 0; i < moves.size(); ++i) {
        const auto w = static_cast<std::uint64_t>(moves[i].weight);
        if (r < w) return static_cast<int>(i);
        r -= w;
    }
    return static_cast<int>(moves.size()) - 1;
}

std::vector<PolyglotEntry> PolyglotFromBook(clsChessCore& core, const clsBook& book, int limit)
{
    // Positions are reached by playing their moves from the start, as the games that built the
    // book played them: a position loaded from its FEN may carry its castling rights otherwise
    // than the game did, and so have another book key.
    auto reach = [&core](const std::string& path) {
        core.SetFromFEN(StartFEN);
        std::string_view rest = path;
        for (std::string_view text = NextField(rest); !text.empty(); text = NextField(rest))
            core.PlayGameMove(*ReadCoordinateMove(core, text));
    };
    std::vector<PolyglotEntry> out;
    std::vector<std::string> pending { std::string() };
    core.SetFromFEN(StartFEN);
    std::unordered_set<u64> seen { BookKey(core.board) };
    std::vector<clsBookEntryExt> candidates;
    while (!pending.empty()) {
        const std::string path = std::move(pending.back());
        pending.pop_back();
        reach(path);
        const u64 key = PolyglotKey(core);
        CollectCandidates(core, book, candidates);
        std::vector<PolyglotEntry> position;
        std::int64_t heaviest = 0;
        std::vector<std::int64_t> weights;
        for (const clsBookEntryExt& c : candidates) {
            if (c.Games() / 2 < limit) continue;
            const std::optional<clsMove> move = ReadMove(core, c.move);
            if (!move) continue;
            position.push_back({ key, PolyglotMoveCode(*move), 0, 0 });
            const std::int64_t weight = 2 * std::int64_t { c.wins } + c.draws;
            weights.push_back(weight);
            heaviest = std::max(heaviest, weight);
            if (seen.insert(c.key).second)
                pending.push_back(path + (path.empty() ? "" : " ") + CoordinateText(*move));
        }
        for (std::size_t i = 0; i < position.size(); ++i) {
            std::int64_t w = weights[i];
            if (heaviest > 65535) w = w * 65535 / heaviest;
            position[i].weight = static_cast<std::uint16_t>(w);
        }
        out.insert(out.end(), position.begin(), position.end());
    }
    core.SetFromFEN(StartFEN);
    // Several positions of the walk can share a key (the cbk key tells apart what this one
    // does not): keep one entry per (key, move), the heaviest.
    std::sort(out.begin(), out.end(), [](const PolyglotEntry& a, const PolyglotEntry& b) {
        if (a.key != b.key) return a.key < b.key;
        if (a.move != b.move) return a.move < b.move;
        return a.weight > b.weight;
    });
    out.erase(std::unique(out.begin(), out.end(),
                  [](const PolyglotEntry& a, const PolyglotEntry& b) {
                      return a.key == b.key && a.move == b.move;
                  }),
        out.end());
    std::stable_sort(out.begin(), out.end(), [](const PolyglotEntry& a, const PolyglotEntry& b) {
        if (a.key != b.key) return a.key < b.key;
        return a.weight > b.weight;
    });
    return out;
}

bool SavePolyglot(const std::string& path, const std::vector<PolyglotEntry>& entries, std::string* error)
{
    std::string bytes;
    bytes.reserve(entries.size() * EntrySize);
    for (const PolyglotEntry& e : entries) {
        WriteBigEndian(bytes, e.key, 8);
        WriteBigEndian(bytes, e.move, 2);
        WriteBigEndian(bytes, e.weight, 2);
        WriteBigEndian(bytes, e.learn, 4);
    }
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            if (error) *error = "# error " + path + ": cannot write " + temporary;
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        if (error) *error = "# error " + path + ": " + ec.message();
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

std::vector<std::string> PolyglotListing(clsChessCore& core, const clsPolyglotBook& book)
{
    std::string error;
    std::vector<PolyglotMove> moves = book.Moves(core, &error);
    if (!error.empty()) return { "# " + error };
    if (moves.empty()) return { "# no polyglot book moves" };
    std::stable_sort(moves.begin(), moves.end(),
        [](const PolyglotMove& a, const PolyglotMove& b) { return a.weight > b.weight; });
    long long total = 0;
    for (const PolyglotMove& m : moves)
        total += m.weight;
    const std::string key = HexKey(PolyglotKey(core));
    std::vector<std::string> lines;
    for (const PolyglotMove& m : moves) {
        char share[16];
        std::snprintf(
            share, sizeof share, "%.1f", total > 0 ? 100.0 * m.weight / static_cast<double>(total) : 0.0);
        lines.push_back("# " + key + " " + m.move + " " + std::to_string(m.weight) + " " + share + "%");
    }
    return lines;
}

} // namespace drnChess
