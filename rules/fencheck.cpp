#include "rules/fencheck.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "dranbase/clsstring.h"
#include "rules/clschesscore.h"
#include "rules/positioncheck.h"

namespace drnChess {

namespace {
    using Squares = std::array<char, 64>; // a8 first, h1 last; '.' for empty

    std::string ReadPlacement(std::string_view placement, Squares& squares)
    {
        squares.fill('.');
        int rank = 0, file = 0, whiteKings = 0, blackKings = 0;
        for (char c : placement) {
            if (c == '/') {
                if (file != 8) return "rank " + std::to_string(8 - rank) + " does not have eight squares";
                if (++rank > 7) return "more than eight ranks";
                file = 0;
                continue;
            }
            if (c >= '1' && c <= '8') {
                file += c - '0';
            } else if (std::string_view("pnbrqkPNBRQK").find(c) != std::string_view::npos) {
                if ((c == 'p' || c == 'P') && (rank == 0 || rank == 7))
                    return "a pawn on the first or last rank";
                whiteKings += c == 'K';
                blackKings += c == 'k';
                if (file < 8) squares[static_cast<std::size_t>(8 * rank + file)] = c;
                ++file;
            } else {
                return std::string("'") + c
                    + "' in the placement is not a piece letter or 1 to 8 empty squares";
            }
            if (file > 8) return "rank " + std::to_string(8 - rank) + " has more than eight squares";
        }
        if (rank != 7 || file != 8) return "the placement does not have eight ranks of eight squares";
        if (whiteKings != 1 || blackKings != 1) return "not exactly one king of each colour";
        return {};
    }

    // The castling letters that the board allows: each needs its king and rook at home.
    std::string KeptCastling(std::string_view letters, const Squares& s)
    {
        auto at = [&s](char file, int rank) {
            return s[static_cast<std::size_t>(8 * (8 - rank) + (file - 'a'))];
        };
        std::string kept;
        for (char c : letters) {
            const bool white = c == 'K' || c == 'Q';
            const int rank = white ? 1 : 8;
            const bool king = at('e', rank) == (white ? 'K' : 'k');
            const bool rook = at(c == 'K' || c == 'k' ? 'h' : 'a', rank) == (white ? 'R' : 'r');
            if (king && rook && kept.find(c) == std::string::npos) kept += c;
        }
        return kept.empty() ? "-" : kept;
    }

    bool IsWholeNumber(std::string_view s)
    {
        return !s.empty() && s.size() <= 9 && s.find_first_not_of("0123456789") == std::string_view::npos;
    }
} // namespace

clsFenReading ReadFenStrictly(std::string_view text, FenText kind)
{
    clsFenReading r;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    const std::vector<std::string> fields = dranbase::SplitFields(text);
    if (fields.size() < 4) {
        r.problem = fields.empty() ? "no FEN given" : "a FEN needs four fields";
        return r;
    }
    Squares squares;
    if (std::string why = ReadPlacement(fields[0], squares); !why.empty()) {
        r.problem = why;
        return r;
    }
    const std::string& side = fields[1];
    if (side != "w" && side != "b") {
        r.problem = "the side to move '" + side + "' is not w or b";
        return r;
    }
    const std::string& castling = fields[2];
    if (castling.empty() || (castling != "-" && castling.find_first_not_of("KQkq") != std::string::npos)) {
        r.problem = "castling rights '" + castling + "' are not from KQkq or -";
        return r;
    }
    const std::string& ep = fields[3];
    if (ep != "-"
        && !(ep.size() == 2 && ep[0] >= 'a' && ep[0] <= 'h' && ep[1] == (side == "w" ? '6' : '3'))) {
        r.problem = "the en passant square '" + ep + "' is not - or a square on the "
            + (side == "w" ? "sixth" : "third") + " rank";
        return r;
    }

    // The counters: both optional. In an EPD line operations may follow the four fields; a token
    // that starts with a digit there is a counter all the same.
    std::size_t next = 4;
    for (int counter = 0; counter < 2 && next < fields.size(); ++counter) {
        const std::string& token = fields[next];
        const bool looksNumeric
            = !token.empty() && (std::isdigit(static_cast<unsigned char>(token[0])) || token[0] == '-');
        if (kind == FenText::EpdLine && !looksNumeric) break;
        if (!IsWholeNumber(token)) {
            r.problem = std::string(counter == 0 ? "the half-move clock" : "the move number") + " '" + token
                + "' is not a whole number";
            return r;
        }
        ++next;
    }
    if (kind == FenText::Position && next < fields.size()) {
        r.problem = "unexpected text '" + fields[next] + "' after the FEN";
        return r;
    }

    // The same text with the castling field the board allows; what follows the fourth field
    // (counters, operations) is kept as it stands.
    std::size_t end = 0;
    for (int f = 0; f < 4; ++f) {
        const std::size_t start = text.find_first_not_of(' ', end);
        end = std::min(text.find(' ', start), text.size());
    }
    r.fen = fields[0] + " " + side + " " + KeptCastling(castling == "-" ? "" : castling, squares) + " " + ep
        + std::string(text.substr(end));
    return r;
}

std::string LoadFenStrictly(clsChessCore& core, std::string_view text, FenText kind, std::string* loaded)
{
    const clsFenReading reading = ReadFenStrictly(text, kind);
    if (!reading.problem.empty()) return reading.problem;
    core.SetFromFEN(reading.fen);
    if (loaded) *loaded = reading.fen;
    return PositionProblem(core);
}

} // namespace drnChess
