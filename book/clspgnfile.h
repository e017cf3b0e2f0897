#pragma once
// Reading a PGN file game by game and building from it an opening book (book mode) or a text
// file of positions with result counts (FEN mode).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "book/clsbook.h"
#include "book/clsgame.h"

namespace drnChess {

class clsChessCore;

// Result counts of one position over the games in which it arose (before a move was made).
struct clsFENResult {
    std::int32_t whiteWins = 0;
    std::int32_t draws = 0;
    std::int32_t blackWins = 0;
    std::int32_t unfinished = 0;
};

// Splits PGN text into the texts of its games. A game ends where a tag line ("[" first after
// leading blanks) follows its move text, where a tag repeats one the game already has (a game
// of tags only), or at the end. Lines are ended by LF (a CR before it is dropped); escape
// lines (%) are left out, and a "[" inside a {comment} that spans lines starts no game.
// Each text comes with the offset just after it, for progress display.
struct clsGameText {
    std::string text;
    std::size_t end = 0;
};
std::vector<clsGameText> SplitGames(std::string_view pgn);

// The splitting of SplitGames fed one line at a time, so that a file can be read in blocks:
// each complete game goes to the sink with the offset just after it. The text handed to the
// sink lives until the next call.
class clsGameSplitter {
public:
    using Sink = std::function<void(std::string_view text, std::size_t end)>;
    explicit clsGameSplitter(Sink sink)
        : sink_(std::move(sink))
    {
    }
    // The next line without its LF, and the offset of its first character in the whole text.
    void Line(std::string_view line, std::size_t lineStart);
    // The end of the text, at offset `end`: the last game, if any, ends there.
    void Finish(std::size_t end);

private:
    void Flush(std::size_t end);

    // Whether the game has a tag of that name already; records the name.
    bool SeenTag(std::string_view name);

    Sink sink_;
    std::string current_;
    // The tag names of the game: a short list searched in turn (its strings keep their memory
    // from game to game), and past that a set, so that a game of many tags stays linear.
    std::vector<std::string> tagList_;
    std::size_t tagCount_ = 0;
    std::unordered_set<std::string> tagSet_;
    bool hasMoves_ = false;
    bool inComment_ = false;
};

class clsPGNFile {
public:
    // Console lines (progress, the messages about unreadable games) go to the printer.
    explicit clsPGNFile(BookPrinter printer = {})
        : printer_(std::move(printer))
    {
    }
    virtual ~clsPGNFile() = default;

    // Reads the PGN file in blocks and replays each game on the core as soon as it is read, up
    // to moveLimit plies per game (0: all). Every position reached goes into Book(); in FEN mode the
    // positions before each move are also written with their result counts to FenFileName(fileName). Returns
    // the number of games (0 when the file cannot be read).
    int Build(const std::string& fileName, clsChessCore& core, int moveLimit, bool fenMode);
    // The same over text already in memory; in FEN mode the file written is fenOutput.
    int BuildFromText(std::string_view pgn, clsChessCore& core, int moveLimit, bool fenMode,
        const std::string& fenOutput = {});

    // "games.pgn" -> "games.pgn.txt".
    static std::string FenFileName(const std::string& pgnFile) { return pgnFile + ".txt"; }

    clsBook& Book() { return book_; }
    const clsBook& Book() const { return book_; }

    // Totals of the last build: plies made, and the games that stopped at an unreadable move
    // (each also reported through the printer as "# game N: ...").
    std::int64_t Plies() const { return plies_; }
    int IncompleteGames() const { return incomplete_; }
    const std::vector<std::string>& Problems() const { return problems_; }

    // How many positions are gathered before they are merged into the book (the book is the
    // same for any batch size; a smaller one holds less memory and merges more often).
    void SetOutcomeBatch(std::size_t positions) { outcomeBatch_ = positions > 0 ? positions : 1; }

    // Called after each game is read: the game record, its number (from 1) and whether every
    // move of it (up to the limit) was made. The core still holds the game's last position.
    std::function<void(const clsGame& game, int number, bool complete, clsChessCore& core)> onGame;

private:
    void Print(const std::string& text, bool endLine) const
    {
        if (printer_) printer_(text, endLine);
    }
    bool SaveFenResults(const std::string& path);
    // The state of one build: counters emptied, the book and FEN results cleared.
    void Reset();
    // Reads one game, counts it, reports it and adds its positions.
    void BuildGame(std::string_view text, std::size_t end, std::size_t total, clsChessCore& core,
        int moveLimit, bool fenMode);
    // Merges the positions gathered so far into the book.
    void FinishBook();

    BookPrinter printer_;
    clsBook book_;
    std::unordered_map<std::string, clsFENResult> fenResults_; // FEN mode: by 4-field FEN
    std::int64_t plies_ = 0;
    int incomplete_ = 0;
    std::vector<std::string> problems_;
    // Per build: the game record, reused from game to game; the positions reached with their
    // game's outcome, merged into the book in batches; the games read; the last percentage shown.
    clsGame game_;
    std::vector<clsBookOutcome> outcomes_;
    std::size_t outcomeBatch_ = std::size_t { 1 } << 22; // 64 MB of positions
    int count_ = 0;
    std::int64_t lastPercent_ = -1;
};

} // namespace drnChess
