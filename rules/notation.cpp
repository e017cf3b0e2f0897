// Move lists as text and the reading of SAN against the root moves.

#include "rules/clschesscore.h"

namespace drnChess {

std::string clsChessCore::MoveListText()
{
    if (current != Root()) return "";
    if (MoveCount(Root()) == 0) GenerateMoves(-1);
    std::string s;
    for (const clsMove* m = Root()->firstMove; m < Next(Root())->firstMove; ++m) {
        s += MoveToText(*m, true);
        s += ' ';
    }
    return s;
}

std::string clsChessCore::MoveListDetail()
{
    std::string s = "# __moves__";
    for (const clsMove* m = current->firstMove; m < Next(current)->firstMove; ++m) {
        s += '\n';
        s += MoveDetailText(*m);
    }
    s += "\n# ^^^";
    return s;
}

std::string clsChessCore::MatchPattern(std::string_view pattern)
{
    if (pattern.empty()) return "";
    if (MoveListText().empty()) return ""; // not at the root, or no moves
    for (const clsMove* m = Root()->firstMove; m < Next(Root())->firstMove; ++m) {
        std::string longForm = MoveToText(*m, true);
        if (PatternMatches(pattern, longForm) && IsLegalMove(*m)) return longForm;
    }
    return "";
}

std::string clsChessCore::SanToCoordinate(std::string_view san)
{
    const std::string longForm = MatchPattern(SanToPattern(san));
    if (longForm.empty()) return "";
    std::string s;
    for (char c : longForm)
        if ((c >= 'a' && c <= 'h') || (c >= '1' && c <= '8')) s += c;
    const std::size_t eq = longForm.find('=');
    if (eq != std::string::npos) s += longForm.substr(eq + 1);
    return s;
}

} // namespace drnChess
