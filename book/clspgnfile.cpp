#include "book/clspgnfile.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "dranbase/clsfile.h"
#include "dranbase/clsstring.h"
#include "rules/clschesscore.h"

namespace drnChess {

namespace {

    std::string_view TagNameOf(std::string_view line)
    {
        std::size_t p = 1;
        while (p < line.size() && (line[p] == ' ' || line[p] == '\t'))
            ++p;
        std::size_t start = p;
        while (p < line.size() && line[p] != ' ' && line[p] != '\t' && line[p] != '"' && line[p] != ']')
            ++p;
        return line.substr(start, p - start);
    }

    bool HasContent(const std::string& text)
    {
        return text.find_first_not_of(" \t\r\n") != std::string::npos;
    }

} // namespace

std::vector<clsGameText> SplitGames(std::string_view pgn)
{
    std::vector<clsGameText> games;
    std::string current;
    std::unordered_set<std::string> tagNames; // a set: a game of many tags stays linear
    bool hasMoves = false;
    bool inComment = false;

    auto finish = [&](std::size_t end) {
        if (HasContent(current)) games.push_back({ std::move(current), end });
        current.clear();
        tagNames.clear();
        hasMoves = false;
        inComment = false;
    };

    std::size_t pos = 0;
    while (pos < pgn.size()) {
        const std::size_t lineStart = pos;
        std::size_t eol = pgn.find('\n', pos);
        std::string_view line
            = pgn.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        pos = eol == std::string_view::npos ? pgn.size() : eol + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::size_t first = line.find_first_not_of(" \t");
        line.remove_prefix(first == std::string_view::npos ? line.size() : first);

        if (!inComment && !line.empty() && line[0] == '%') continue; // escape line
        if (!inComment && !line.empty() && line[0] == '[') {
            std::string name(TagNameOf(line));
            if (hasMoves || tagNames.count(name) != 0) finish(lineStart);
            tagNames.insert(std::move(name));
            current.append(line);
            current.push_back('\n');
            continue;
        }
        if (!line.empty()) hasMoves = true;
        // Track comments that run over the line end, so their lines are not taken for tags.
        for (char c : line) {
            if (inComment) {
                if (c == '}') inComment = false;
            } else if (c == '{') {
                inComment = true;
            } else if (c == ';') {
                break;
            }
        }
        current.append(line);
        current.push_back('\n');
    }
    finish(pgn.size());
    return games;
}

int clsPGNFile::Build(const std::string& fileName, clsChessCore& core, int moveLimit, bool fenMode)
{
    dranbase::clsString text;
    if (text.LoadFromFile(fileName) == 0) {
        book_.Clear();
        fenResults_.clear();
        plies_ = 0;
        incomplete_ = 0;
        problems_.clear();
        Print("# can't read " + fileName, true);
        return 0;
    }
    return BuildFromText(text, core, moveLimit, fenMode, FenFileName(fileName));
}

int clsPGNFile::BuildFromText(
    std::string_view pgn, clsChessCore& core, int moveLimit, bool fenMode, const std::string& fenOutput)
{
    book_.Clear();
    fenResults_.clear();
    plies_ = 0;
    incomplete_ = 0;
    problems_.clear();

    std::vector<clsGameText> texts = SplitGames(pgn);
    // Positions are gathered and merged into the book once at the end: inserting them one by
    // one into the sorted book would move half of it for every ply.
    std::vector<clsBookEntry> positions;
    clsGame game;
    clsGameHooks hooks;
    // Every position reached goes into the book with the game's result for the side that moved
    // into it: a win or loss for 1-0 and 0-1, a draw for everything else.
    hooks.afterMove = [&](clsChessCore& c, int mover) {
        clsBookEntry e;
        e.key = BookKey(c.board);
        if (game.ResultCode == GameResult::WhiteWon)
            (mover == White ? e.wins : e.losses) = 1;
        else if (game.ResultCode == GameResult::BlackWon)
            (mover == Black ? e.wins : e.losses) = 1;
        else
            e.draws = 1;
        positions.push_back(e);
        ++plies_;
    };
    if (fenMode) {
        hooks.beforeMove = [&](clsChessCore& c) {
            clsFENResult& r = fenResults_[c.GetFEN()];
            switch (game.ResultCode) {
            case GameResult::WhiteWon:
                ++r.whiteWins;
                break;
            case GameResult::Draw:
                ++r.draws;
                break;
            case GameResult::BlackWon:
                ++r.blackWins;
                break;
            case GameResult::Aborted:
                ++r.unfinished;
                break;
            default:
                break;
            }
        };
    }

    int count = 0;
    std::int64_t lastPercent = -1;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::string error;
        bool complete = ReadPgnGame(texts[i].text, core, game, moveLimit, hooks, &error);
        ++count;
        if (!complete) {
            ++incomplete_;
            std::string message = "# game " + std::to_string(count);
            if (game.Tags.Has("White") || game.Tags.Has("Black"))
                message += " (" + game.Tag("White") + " - " + game.Tag("Black") + ")";
            message += ": " + error;
            problems_.push_back(message);
            Print(message, true);
        }
        if (onGame) onGame(game, count, complete, core);
        std::int64_t percent = pgn.empty() ? 100 : static_cast<std::int64_t>(texts[i].end * 100 / pgn.size());
        if (percent > lastPercent || i + 1 == texts.size()) {
            lastPercent = percent;
            Print("# game " + std::to_string(count) + " - " + std::to_string(percent) + "% done   \r", false);
        }
    }
    book_.AddOrMergeAll(std::move(positions));
    Print("#", true);
    Print("# pgn file loaded", true);
    if (fenMode) SaveFenResults(fenOutput);
    return count;
}

bool clsPGNFile::SaveFenResults(const std::string& path)
{
    Print("# sorting FEN(s) book...", true);
    std::vector<std::pair<std::string, clsFENResult>> sorted(fenResults_.begin(), fenResults_.end());
    fenResults_.clear();
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::size_t total = sorted.size();
    auto progress = [&](std::size_t i) {
        if (i % 1000 == 0) Print("# " + std::to_string(total) + "/" + std::to_string(i) + "\r", false);
    };
    Print("# applying limit 0 to " + std::to_string(total) + " fen strings", true);
    for (std::size_t i = 0; i < total; ++i)
        progress(i);
    Print("# compact...", true);
    Print("# saving FENs book (" + std::to_string(total) + ")", true);

    std::string text;
    text.reserve(total * 80);
    for (std::size_t i = 0; i < total; ++i) {
        progress(i);
        const clsFENResult& r = sorted[i].second;
        text += std::to_string(r.whiteWins) + "\t" + std::to_string(r.draws) + "\t"
            + std::to_string(r.blackWins) + "\t" + sorted[i].first + "\r\n";
    }
    bool ok = true;
    if (path.empty()) {
        ok = false;
    } else if (total == 0) {
        std::remove(path.c_str()); // an old file of that name goes; no positions, no file
    } else {
        ok = dranbase::WriteFileAtomic(path, text);
    }
    if (!ok) {
        Print("# error saving " + path, true);
        return false;
    }
    Print("# saved " + std::to_string(total) + " fens - cleaning up...", true);
    return true;
}

} // namespace drnChess
