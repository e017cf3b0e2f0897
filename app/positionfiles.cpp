// Reading positions from EPD and PGN files.

#include "app/positionfiles.h"

#include <fstream>
#include <memory>
#include <sstream>

#include "book/clsgame.h"
#include "book/clspgnfile.h"
#include "rules/clschesscore.h"

namespace drnChess {

namespace {

    bool IsPgn(const std::string& path)
    {
        return path.size() >= 4 && (path.ends_with(".pgn") || path.ends_with(".PGN"));
    }

    bool ReadText(const std::string& path, std::string& text, std::string& error)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "cannot read " + path;
            return false;
        }
        std::ostringstream s;
        s << in.rdbuf();
        text = s.str();
        return true;
    }

    // The placement, side, castling and en passant fields of an EPD or FEN line.
    std::string FenFields(const std::string& line)
    {
        std::istringstream in(line);
        std::string field, fen;
        for (int i = 0; i < 4 && in >> field; ++i)
            fen += (i ? " " : "") + field;
        return fen;
    }

    // 1, 0.5 or 0 for a result text; negative when it is none.
    double ResultValue(std::string_view text)
    {
        if (text == "1-0") return 1.0;
        if (text == "0-1") return 0.0;
        if (text == "1/2-1/2") return 0.5;
        return -1.0;
    }

    // Calls gameDone(game, positions after each ply) for each game of the text (its moves up to
    // the first unreadable one).
    template <typename GameDone> void ForEachPgnGame(const std::string& text, GameDone gameDone)
    {
        auto core = std::make_unique<clsChessCore>();
        for (const clsGameText& g : SplitGames(text)) {
            clsGame game;
            std::vector<std::string> fens;
            clsGameHooks hooks;
            hooks.afterMove = [&](clsChessCore& c, int) { fens.push_back(c.GetFEN()); };
            ReadPgnGame(g.text, *core, game, 0, hooks);
            gameDone(game, fens);
        }
    }

} // namespace

std::vector<std::string> ReadOpeningFens(const std::string& path, std::string& error)
{
    std::vector<std::string> fens;
    std::string text;
    if (!ReadText(path, text, error)) return fens;
    if (IsPgn(path)) {
        ForEachPgnGame(text, [&](const clsGame&, const std::vector<std::string>& after) {
            if (!after.empty()) fens.push_back(FenFields(after.back()));
        });
        return fens;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (const std::string fen = FenFields(line); !fen.empty() && fen[0] != '#') fens.push_back(fen);
    return fens;
}

bool ReadLabelledPositions(
    const std::string& path, int skipPlies, std::vector<LabelledPosition>& out, std::string& error)
{
    std::string text;
    if (!ReadText(path, text, error)) return false;
    if (IsPgn(path)) {
        ForEachPgnGame(text, [&](const clsGame& game, const std::vector<std::string>& after) {
            const double result = ResultValue(game.ResultText());
            if (result < 0) return;
            // after[i] is the position after ply i + 1.
            for (std::size_t i = static_cast<std::size_t>(skipPlies); i < after.size(); ++i)
                out.push_back({ FenFields(after[i]), result });
        });
        return true;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto c9 = line.find(" c9 ");
        if (c9 == std::string::npos) continue;
        const auto open = line.find('"', c9), close = line.find('"', open + 1);
        if (open == std::string::npos || close == std::string::npos) continue;
        const double result = ResultValue(std::string_view(line).substr(open + 1, close - open - 1));
        if (result >= 0) out.push_back({ FenFields(line.substr(0, c9)), result });
    }
    return true;
}

} // namespace drnChess
