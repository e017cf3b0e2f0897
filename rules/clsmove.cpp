#include "rules/clsmove.h"

#include <algorithm>

#include "dranbase/clsstring.h"
#include "rules/bits.h"
#include "rules/clsboard.h"

namespace drnChess {

char PromotionLetter(int code)
{
    switch (code) {
    case Knight:
        return 'n';
    case Bishop:
        return 'b';
    case Rook:
        return 'r';
    case Queen:
        return 'q';
    default:
        return '?';
    }
}

int PromotionKindOf(char c)
{
    switch (c) {
    case 'B':
    case 'S':
    case 'b':
    case 's':
        return Bishop;
    case 'M':
    case 'Q':
    case 'm':
    case 'q':
        return Queen;
    case 'N':
    case 'n':
        return Knight;
    case 'R':
    case 'r':
        return Rook;
    default:
        return 0;
    }
}

std::string MoveToText(const clsMove& move, bool longForm)
{
    if (move.from == 0 || move.to == 0) return "------"; // a null record, or a "no move" mark
    std::string s;
    s.reserve(12);
    if (longForm) s += PieceLetters[move.Moving() & 7];
    s += SquareToText(move.from);
    if (longForm) {
        const int captured = move.Captured();
        if (captured > 1) {
            s += 'x';
            s += PieceLetters[captured & 7];
        } else {
            s += '-';
        }
    }
    s += SquareToText(move.to);
    if (move.Promotion()) {
        s += '=';
        s += PromotionLetter(move.Promotion());
    }
    return s;
}

std::string MoveDetailText(const clsMove& move)
{
    if (move.from == 0 || move.to == 0) return "???";
    std::string s = "# " + MoveToText(move, true);
    s += " a(" + dranbase::FixedText(move.order / 105.0, 2) + ")";
    s += " v(" + dranbase::FixedText(move.value / 105.0, 2) + ")";
    if (move.Has(MoveFlag::Illegal)) s += " *";
    if (move.Has(MoveFlag::Loses)) s += " ?";
    if (move.Has(MoveFlag::Mates)) s += " #";
    if (move.Has(MoveFlag::Bound)) s += " \\";
    return s;
}

bool ParseCoordinateMove(std::string_view text, std::uint64_t* from, std::uint64_t* to, int* promotion)
{
    const u64 f = TextToSquare(text);
    const u64 t = text.size() > 2 ? TextToSquare(text.substr(2)) : 0;
    int p = 0;
    if (text.size() > 4) {
        const std::size_t at = (text[4] == '=') ? 5 : 4;
        if (at < text.size()) p = PromotionKindOf(text[at]);
    }
    if (from) *from = f;
    if (to) *to = t;
    if (promotion) *promotion = p;
    return f != 0 && t != 0;
}

} // namespace drnChess
