// Move lists as text and the reading of SAN against the root moves.

#include "rules/clschesscore.h"

#include <optional>

#include "rules/movereader.h"
#include "rules/movewriter.h"

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

std::string clsChessCore::SanToCoordinate(std::string_view san)
{
    const std::optional<clsMove> move = ReadMove(*this, san);
    return move ? CoordinateText(*move) : std::string();
}

} // namespace drnChess
