#include "book/clspgnfile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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

bool clsGameSplitter::SeenTag(std::string_view name)
{
    constexpr std::size_t ListSize = 32;
    if (!tagSet_.empty()) return !tagSet_.emplace(name).second;
    for (std::size_t i = 0; i < tagCount_; ++i)
        if (tagList_[i] == name) return true;
    if (tagCount_ == ListSize) {
        tagSet_.insert(tagList_.begin(), tagList_.end());
        tagSet_.emplace(name);
        return false;
    }
    if (tagCount_ == tagList_.size()) tagList_.emplace_back();
    tagList_[tagCount_++].assign(name);
    return false;
}

void clsGameSplitter::Flush(std::size_t end)
{
    if (HasContent(current_)) sink_(current_, end);
    current_.clear();
    tagCount_ = 0;
    tagSet_.clear();
    hasMoves_ = false;
    inComment_ = false;
}

void clsGameSplitter::Line(std::string_view line, std::size_t lineStart)
{
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t first = line.find_first_not_of(" \t");
    line.remove_prefix(first == std::string_view::npos ? line.size() : first);

    if (!inComment_ && !line.empty() && line[0] == '%') return; // escape line
    if (!inComment_ && !line.empty() && line[0] == '[') {
        const std::string_view name = TagNameOf(line);
        if (hasMoves_) Flush(lineStart);
        if (SeenTag(name)) { // a repeated tag starts the next game (the last was tags only)
            Flush(lineStart);
            SeenTag(name);
        }
        current_.append(line);
        current_.push_back('\n');
        return;
    }
    if (!line.empty()) hasMoves_ = true;
    // Track comments that run over the line end, so their lines are not taken for tags.
    for (char c : line) {
        if (inComment_) {
            if (c == '}') inComment_ = false;
        } else if (c == '{') {
            inComment_ = true;
        } else if (c == ';') {
            break;
        }
    }
    current_.append(line);
    current_.push_back('\n');
}

void clsGameSplitter::Finish(std::size_t end)
{
    Flush(end);
}

namespace {

    // Hands the text's lines (LF removed) to the splitter with their offsets, then its end.
    void SplitText(std::string_view pgn, clsGameSplitter& splitter)
    {
        std::size_t pos = 0;
        while (pos < pgn.size()) {
            const std::size_t eol = std::min(pgn.find('\n', pos), pgn.size());
            splitter.Line(pgn.substr(pos, eol - pos), pos);
            pos = eol + 1;
        }
        splitter.Finish(pgn.size());
    }

} // namespace

std::vector<clsGameText> SplitGames(std::string_view pgn)
{
    std::vector<clsGameText> games;
    clsGameSplitter splitter([&](std::string_view text, std::size_t end) {
        games.push_back({ std::string(text), end });
    });
    SplitText(pgn, splitter);
    return games;
}

namespace {

    // Reads the open file in blocks and hands each line (LF removed) to the splitter with its
    // offset. The buffer grows only for a line longer than a block. False on a read error.
    bool SplitFile(std::FILE* f, clsGameSplitter& splitter, std::size_t* total)
    {
        constexpr std::size_t BlockSize = std::size_t { 1 } << 18;
        std::vector<char> buffer(BlockSize);
        std::size_t held = 0; // bytes of an unfinished line at the start of the buffer
        std::size_t offset = 0; // offset in the file of buffer[0]
        for (;;) {
            if (held == buffer.size()) buffer.resize(buffer.size() * 2);
            const std::size_t got = std::fread(buffer.data() + held, 1, buffer.size() - held, f);
            if (got == 0) break;
            const std::string_view data(buffer.data(), held + got);
            std::size_t pos = 0;
            for (std::size_t eol; (eol = data.find('\n', pos)) != std::string_view::npos; pos = eol + 1)
                splitter.Line(data.substr(pos, eol - pos), offset + pos);
            held = data.size() - pos;
            std::memmove(buffer.data(), buffer.data() + pos, held);
            offset += pos;
        }
        if (std::ferror(f)) return false;
        if (held > 0) splitter.Line(std::string_view(buffer.data(), held), offset);
        *total = offset + held;
        return true;
    }

    // The size of the open file, or 0 when it cannot be told; the file stays at its start.
    std::size_t FileSize(std::FILE* f)
    {
        if (std::fseek(f, 0, SEEK_END) != 0) return 0;
        const long size = std::ftell(f);
        std::rewind(f);
        return size > 0 ? static_cast<std::size_t>(size) : 0;
    }

} // namespace

void clsPGNFile::Reset()
{
    book_.Clear();
    fenResults_.clear();
    outcomes_.clear();
    plies_ = 0;
    incomplete_ = 0;
    problems_.clear();
    count_ = 0;
    lastPercent_ = -1;
}

int clsPGNFile::Build(const std::string& fileName, clsChessCore& core, int moveLimit, bool fenMode)
{
    Reset();
    std::FILE* f = fileName.empty() ? nullptr : std::fopen(fileName.c_str(), "rb");
    const std::size_t size = f ? FileSize(f) : 0;
    bool read = false;
    std::size_t total = 0;
    if (size > 0) {
        clsGameSplitter splitter([&](std::string_view text, std::size_t end) {
            BuildGame(text, end, size, core, moveLimit, fenMode);
        });
        read = SplitFile(f, splitter, &total);
        // A file that grew while it was read: the last game ends at what was read.
        if (read) splitter.Finish(total);
    }
    if (f) std::fclose(f);
    if (!read || total == 0) {
        Reset();
        Print("# can't read " + fileName, true);
        return 0;
    }
    FinishBook();
    if (fenMode) SaveFenResults(FenFileName(fileName));
    return count_;
}

int clsPGNFile::BuildFromText(
    std::string_view pgn, clsChessCore& core, int moveLimit, bool fenMode, const std::string& fenOutput)
{
    Reset();
    clsGameSplitter splitter([&](std::string_view text, std::size_t end) {
        BuildGame(text, end, pgn.size(), core, moveLimit, fenMode);
    });
    SplitText(pgn, splitter);
    FinishBook();
    if (fenMode) SaveFenResults(fenOutput);
    return count_;
}

void clsPGNFile::BuildGame(std::string_view text, std::size_t end, std::size_t total, clsChessCore& core,
    int moveLimit, bool fenMode)
{
    clsGameHooks hooks;
    // Every position reached goes into the book with the game's result for the side that moved
    // into it: a win or loss for 1-0 and 0-1, a draw for everything else. The positions are
    // gathered and merged into the book in batches: inserting them one by one into the sorted
    // book would move half of it for every ply, and keeping them all to the end would hold a
    // large file's every ply in memory.
    hooks.afterMove = [this](clsChessCore& c, int mover) {
        std::int32_t points = clsBookOutcome::Drawn;
        if (game_.ResultCode == GameResult::WhiteWon)
            points = mover == White ? clsBookOutcome::Won : clsBookOutcome::Lost;
        else if (game_.ResultCode == GameResult::BlackWon)
            points = mover == Black ? clsBookOutcome::Won : clsBookOutcome::Lost;
        outcomes_.push_back({ BookKey(c.board), points });
        ++plies_;
        if (outcomes_.size() >= outcomeBatch_) book_.AddOutcomes(outcomes_);
    };
    if (fenMode) {
        hooks.beforeMove = [this](clsChessCore& c) {
            clsFENResult& r = fenResults_[c.GetFEN()];
            switch (game_.ResultCode) {
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

    std::string error;
    const bool complete = ReadPgnGame(text, core, game_, moveLimit, hooks, &error);
    const int number = ++count_;
    if (!complete) {
        ++incomplete_;
        std::string message = "# game " + std::to_string(number);
        if (game_.Tags.Has("White") || game_.Tags.Has("Black"))
            message += " (" + game_.Tag("White") + " - " + game_.Tag("Black") + ")";
        message += ": " + error;
        problems_.push_back(message);
        Print(message, true);
    }
    if (onGame) onGame(game_, number, complete, core);
    // The last game ends at the end of the text, so it always shows 100 %.
    const std::int64_t percent = total == 0 ? 100 : static_cast<std::int64_t>(end * 100 / total);
    if (percent > lastPercent_) {
        lastPercent_ = percent;
        Print("# game " + std::to_string(number) + " - " + std::to_string(percent) + "% done   \r", false);
    }
}

void clsPGNFile::FinishBook()
{
    book_.AddOutcomes(outcomes_);
    Print("#", true);
    Print("# pgn file loaded", true);
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
