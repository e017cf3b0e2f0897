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

namespace {

    bool IsFileLetter(char c)
    {
        return c >= 'a' && c <= 'h';
    }
    bool IsRankDigit(char c)
    {
        return c >= '1' && c <= '8';
    }
    bool IsUpper(char c)
    {
        return c >= 'A' && c <= 'Z';
    }

} // namespace

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

std::string SanToPattern(std::string_view san)
{
    // 1. Trim, drop check and mate marks.
    std::string s;
    for (char c : dranbase::Trim(san))
        if (c != '+' && c != '#') s += c;
    if (s.empty()) return "";
    // Reading past the end gives '\0'; inserting past the end appends.
    auto at = [&s](std::size_t i) { return i < s.size() ? s[i] : '\0'; };
    auto insert
        = [&s](std::size_t i, std::size_t count, char c) { s.insert(std::min(i, s.size()), count, c); };

    // 2. Castling.
    if (s[0] == 'O') {
        if (s == "O-O") return "Ke?-g?";
        if (s == "O-O-O") return "Ke?-c?";
        return "";
    }

    // 3. Piece letter.
    const bool promotes = s.find('=') != std::string::npos;
    if (s.size() == 2 || promotes)
        insert(0, 1, 'P');
    else if (!IsUpper(at(0)))
        insert(0, 1, '?');

    // 4. Origin.
    if ((s.size() == 3 && at(1) != 'x') || (promotes && s.size() < 6)) {
        insert(1, 2, '?');
    } else if (at(1) == 'x') {
        insert(1, 2, '?');
    } else {
        if (!IsFileLetter(at(1))) insert(1, 1, '?');
        if (at(2) == 'x')
            insert(2, 1, '?');
        else if (!IsRankDigit(at(2)))
            insert(2, 1, '?');
    }

    // 5. Capture mark and captured piece.
    std::size_t destination = 4;
    if (at(3) == 'x') {
        if (!IsUpper(at(4))) insert(4, 1, '?');
        destination = 5;
    } else if (at(3) != '-') {
        insert(3, 1, '-');
    }

    // 6. Destination.
    if (!IsFileLetter(at(destination))) insert(destination, 1, '?');
    if (!IsRankDigit(at(destination + 1))) insert(destination + 1, 1, '?');

    // Long forms carry the promotion letter in lower case.
    const std::size_t eq = s.find('=');
    if (eq != std::string::npos)
        for (std::size_t i = eq + 1; i < s.size(); ++i)
            if (IsUpper(s[i])) s[i] = static_cast<char>(s[i] - 'A' + 'a');
    return s;
}

bool PatternMatches(std::string_view pattern, std::string_view longForm)
{
    if (pattern.empty() || longForm.size() < pattern.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i)
        if (pattern[i] != '?' && pattern[i] != longForm[i]) return false;
    return true;
}

} // namespace drnChess
