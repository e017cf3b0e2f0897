#include "book/clsgame.h"

#include <algorithm>

#include "rules/bits.h"
#include "rules/clschesscore.h"
#include "rules/movereader.h"
#include "rules/movewriter.h"

namespace drnChess {

namespace {

    bool IsBlank(char c)
    {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    }
    bool IsDigit(char c)
    {
        return c >= '0' && c <= '9';
    }

    // Reasons in the order ReasonText tests them.
    struct ReasonName {
        std::uint32_t bit;
        const char* text;
    };
    constexpr ReasonName Reasons[] = {
        { GameResult::Mate, "mate" },
        { GameResult::Forfeit, "forfeit" },
        { GameResult::Resign, "resign" },
        { GameResult::Adjudication, "adjudication" },
        { GameResult::IllegalMove, "illegal move" },
        { GameResult::FiftyMoves, "50 moves" },
        { GameResult::Repetition, "triple repetition" },
        { GameResult::Stalemate, "stalemate" },
        { GameResult::InsufficientMaterial, "insufficient material" },
        { GameResult::EngineCrashed, "engine crashed" },
        { GameResult::Aborted, "game aborted" },
    };

    // Reads the tags of one tag line: [Name "value"], possibly several on a line. A value ends at
    // the first double quote that is followed by optional blanks and "]". Inside it a backslash
    // escapes a double quote or a backslash, and a doubled quote reads as one (the form older
    // files of ours used).
    void ReadTagLine(std::string_view line, dranbase::clsStrings& tags)
    {
        std::size_t i = 0;
        while (i < line.size()) {
            std::size_t open = line.find('[', i);
            if (open == std::string_view::npos) return;
            std::size_t p = open + 1;
            while (p < line.size() && IsBlank(line[p]))
                ++p;
            std::size_t nameStart = p;
            while (p < line.size() && !IsBlank(line[p]) && line[p] != '"' && line[p] != ']')
                ++p;
            std::string name(line.substr(nameStart, p - nameStart));
            std::size_t quote = line.find('"', p);
            std::size_t close = line.find(']', p);
            if (quote == std::string_view::npos || (close != std::string_view::npos && close < quote)) {
                if (!name.empty()) tags.Add(name, "");
                if (close == std::string_view::npos) return;
                i = close + 1;
                continue;
            }
            std::string value;
            std::size_t q = quote + 1;
            for (; q < line.size(); ++q) {
                char c = line[q];
                if (c == '\\' && q + 1 < line.size() && (line[q + 1] == '"' || line[q + 1] == '\\')) {
                    value.push_back(line[++q]);
                    continue;
                }
                if (c == '"') {
                    std::size_t after = q + 1;
                    while (after < line.size() && IsBlank(line[after]))
                        ++after;
                    if (after >= line.size() || line[after] == ']') break; // the closing quote
                    if (line[q + 1] == '"') ++q; // a doubled quote inside the value
                }
                value.push_back(c);
            }
            if (!name.empty()) tags.Add(name, value);
            std::size_t end = line.find(']', q);
            if (end == std::string_view::npos) return;
            i = end + 1;
        }
    }

    // The characters that end a move token besides blanks.
    bool EndsToken(char c)
    {
        return c == '{' || c == '}' || c == '(' || c == ')' || c == ';' || c == '$';
    }

    bool IsResultToken(std::string_view t)
    {
        if (t.empty() || (t[0] != '1' && t[0] != '0' && t[0] != '*')) return false;
        return t == "1-0" || t == "0-1" || t == "1/2-1/2" || t == "*";
    }

    // Skips a variation that starts at text[i] == '(' and returns the index after its ')'.
    // Comments inside it may hold parentheses and are skipped as comments.
    std::size_t SkipVariation(std::string_view text, std::size_t i)
    {
        int depth = 0;
        while (i < text.size()) {
            char c = text[i];
            if (c == '{') {
                std::size_t close = text.find('}', i + 1);
                i = close == std::string_view::npos ? text.size() : close + 1;
                continue;
            }
            if (c == ';') {
                std::size_t eol = text.find('\n', i + 1);
                i = eol == std::string_view::npos ? text.size() : eol + 1;
                continue;
            }
            ++i;
            if (c == '(') {
                ++depth;
            } else if (c == ')') {
                if (--depth == 0) return i;
            }
        }
        return i;
    }

    // Removes annotation marks (! and ?) from the end of a move token.
    std::string_view StripAnnotation(std::string_view t)
    {
        while (!t.empty() && (t.back() == '!' || t.back() == '?'))
            t.remove_suffix(1);
        return t;
    }

    // Reads castling texts: O-O, 0-0, o-o and the long forms. 0 when the text is no castling,
    // 1 for king side, 2 for queen side.
    int CastlingSide(std::string_view t)
    {
        std::string s;
        for (char c : t) {
            if (c == '0' || c == 'O' || c == 'o')
                s.push_back('O');
            else if (c == '-')
                s.push_back('-');
            else
                return 0;
        }
        if (s == "O-O") return 1;
        if (s == "O-O-O") return 2;
        return 0;
    }

} // namespace

void clsGame::Clear(bool keepTags)
{
    MoveText.clear();
    Properties.Clear();
    Moves.clear();
    FirstMoveNumber = 0;
    if (!keepTags) Tags.Clear();
    ResultCode = GameResult::Unfinished;
}

void clsGame::SetResult(std::uint32_t code)
{
    ResultCode = code;
    SetTag("Result", ResultText());
    SetTag("Reason", ReasonText());
}

void clsGame::SetResultFromText(std::string_view text)
{
    using dranbase::EqualsNoCase;
    ResultCode = GameResult::Unfinished;
    if (EqualsNoCase(text, "1/2-1/2"))
        ResultCode = GameResult::Draw;
    else if (EqualsNoCase(text, "1-0"))
        ResultCode = GameResult::WhiteWon;
    else if (EqualsNoCase(text, "0-1"))
        ResultCode = GameResult::BlackWon;
    else if (EqualsNoCase(text, "*"))
        ResultCode = GameResult::Aborted;
}

std::string clsGame::ResultText() const
{
    if (ResultCode & GameResult::Unfinished) return "?";
    if (ResultCode & GameResult::Draw) return "1/2-1/2";
    if (ResultCode & GameResult::Decided) return (ResultCode & GameResult::BlackWins) ? "0-1" : "1-0";
    if (ResultCode & GameResult::Aborted) return "*";
    return "";
}

std::string clsGame::ReasonText() const
{
    if (ResultCode & GameResult::Unfinished) return "?";
    for (const ReasonName& r : Reasons)
        if (ResultCode & r.bit) return r.text;
    return "";
}

std::string EscapeTagValue(std::string_view value)
{
    std::string s;
    s.reserve(value.size());
    for (char c : value) {
        if (c == '"' || c == '\\') s.push_back('\\');
        s.push_back(c);
    }
    return s;
}

std::string clsGame::PgnText() const
{
    std::string s;
    for (const auto& tag : Tags)
        s += "[" + tag.key + " \"" + EscapeTagValue(tag.value) + "\"]\r\n";
    s += "\r\n";
    s += MoveText;
    return s;
}

std::vector<clsMoveToken> SplitMoveText(std::string_view text, std::string* result, std::size_t moveLimit)
{
    std::vector<clsMoveToken> moves;
    if (moveLimit > 0) moves.reserve(moveLimit + 1);
    if (result) result->clear();
    int number = 0;
    bool black = false;
    std::size_t i = 0;
    bool lineStart = true;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\n') {
            lineStart = true;
            ++i;
            continue;
        }
        if (IsBlank(c)) {
            ++i;
            continue;
        }
        bool atLineStart = lineStart;
        lineStart = false;
        if (c == '%' && atLineStart) { // escape line
            std::size_t eol = text.find('\n', i);
            i = eol == std::string_view::npos ? text.size() : eol;
            continue;
        }
        if (c == '{') {
            std::size_t close = text.find('}', i + 1);
            i = close == std::string_view::npos ? text.size() : close + 1;
            continue;
        }
        if (c == ';') {
            std::size_t eol = text.find('\n', i);
            i = eol == std::string_view::npos ? text.size() : eol;
            continue;
        }
        if (c == '(') {
            i = SkipVariation(text, i);
            continue;
        }
        if (c == ')' || c == '}') { // stray closers
            ++i;
            continue;
        }
        if (c == '$') { // numeric annotation glyph
            ++i;
            while (i < text.size() && IsDigit(text[i]))
                ++i;
            continue;
        }
        std::size_t start = i;
        while (i < text.size() && !IsBlank(text[i]) && !EndsToken(text[i]))
            ++i;
        std::string_view token = text.substr(start, i - start);
        if (IsResultToken(token)) {
            if (result) *result = std::string(token);
            break;
        }
        if (IsDigit(token[0]) && CastlingSide(token) == 0) {
            // A move number: digits, then dots; a move may follow without a blank ("1.e4").
            std::size_t d = 0;
            int n = 0;
            while (d < token.size() && IsDigit(token[d])) {
                n = n * 10 + (token[d] - '0');
                if (n > 100000) n = 100000;
                ++d;
            }
            std::size_t dots = d;
            while (dots < token.size() && token[dots] == '.')
                ++dots;
            if (dots == d) continue; // a bare number is no move
            number = n;
            black = dots - d >= 3;
            token.remove_prefix(dots);
            if (token.empty()) continue;
        }
        if (token.find_first_not_of('.') == std::string_view::npos) { // "12. ... Nf6"
            black = true;
            continue;
        }
        while (!token.empty() && token[0] == '.')
            token.remove_prefix(1);
        const std::string_view written = StripAnnotation(token);
        if (written.empty() || written == "e.p." || written == "ep") continue;
        const std::size_t marks = std::min(written.size(), written.find_first_of("+#"));
        std::string move;
        if (int side = CastlingSide(written.substr(0, marks)); side != 0)
            move.append(side == 1 ? "O-O" : "O-O-O").append(written.substr(marks));
        else
            move.assign(written);
        // Evaluation symbols (+-, =, -/+) name no move; the null move "--" is kept so that it
        // stops the game instead of shifting the moves after it to the other side.
        if (move != "--" && move.find_first_not_of("+-=/~") == std::string::npos) continue;
        moves.push_back({ std::move(move), number, black });
        if (moveLimit > 0 && moves.size() >= moveLimit && number > 0) break;
        if (number > 0) {
            if (black) ++number;
            black = !black;
        }
    }
    return moves;
}

std::string ResolveMoveText(clsChessCore& core, std::string_view text)
{
    const std::optional<clsMove> move = ReadMove(core, text);
    return move ? CoordinateText(*move) : std::string();
}

bool ReadPgnGame(std::string_view text, clsChessCore& core, clsGame& game, int moveLimit,
    const clsGameHooks& hooks, std::string* error)
{
    game.Clear(false);
    if (error) error->clear();

    // Tag lines first; the move text is everything after them, escape lines left out. It is
    // written straight into the record (emptied above, its memory kept from the last game).
    std::string& moveText = game.MoveText;
    bool inMoves = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        std::string_view line
            = text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        pos = eol == std::string_view::npos ? text.size() : eol + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::size_t first = 0;
        while (first < line.size() && IsBlank(line[first]))
            ++first;
        line.remove_prefix(first);
        if (!inMoves && !line.empty() && line[0] == '[') {
            ReadTagLine(line, game.Tags);
            continue;
        }
        if (!line.empty() && line[0] == '%') continue;
        if (!line.empty()) inMoves = true;
        if (inMoves) {
            moveText.append(line);
            moveText.push_back('\n');
        }
    }
    // With a Result tag the result token is not needed: the moves past the limit are not read.
    std::string resultToken;
    const bool resultTag = game.Tags.Has("Result");
    const std::vector<clsMoveToken> tokens = SplitMoveText(
        moveText, &resultToken, resultTag && moveLimit > 0 ? static_cast<std::size_t>(moveLimit) : 0);
    if (resultTag)
        game.SetResultFromText(game.Tag("Result"));
    else if (!resultToken.empty())
        game.SetResultFromText(resultToken);
    for (const clsMoveToken& t : tokens) {
        if (t.number > 0) {
            game.FirstMoveNumber = t.number;
            break;
        }
    }

    std::string fen = game.Tag("FEN");
    core.SetFromFEN(fen.empty() ? std::string_view(StartFEN) : std::string_view(fen));
    const int startSide = core.board.side;

    for (std::size_t ply = 0; ply < tokens.size(); ++ply) {
        if (moveLimit > 0 && static_cast<int>(ply) >= moveLimit) break;
        const clsMoveToken& t = tokens[ply];
        const std::optional<clsMove> move = ReadPgnMove(core, t.san);
        if (!move) {
            if (error) {
                // Numbered as the text numbers it, or by counting plies when it has no numbers.
                int number = t.number;
                bool black = t.black;
                if (number == 0) {
                    int half = static_cast<int>(ply) + startSide;
                    number = (game.FirstMoveNumber > 0 ? game.FirstMoveNumber : 1) + half / 2;
                    black = half % 2 == 1;
                }
                *error = "move " + std::to_string(number) + (black ? "... " : ". ") + t.san + " is not legal";
            }
            return false;
        }
        if (hooks.beforeMove) hooks.beforeMove(core);
        const int mover = core.board.side;
        core.PlayGameMove(*move);
        game.Moves.push_back(CoordinateText(*move));
        if (hooks.afterMove) hooks.afterMove(core, mover);
    }
    return true;
}

} // namespace drnChess
