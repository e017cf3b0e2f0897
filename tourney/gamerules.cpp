#include "tourney/gamerules.h"

#include <algorithm>
#include <bit>

#include "book/clsgame.h"
#include "dranbase/clsstring.h"
#include "rules/clschesscore.h"
#include "rules/movereader.h"
#include "rules/movewriter.h"
#include "rules/random.h"

namespace drnChess {

namespace {

    // The loser decides the winner's bits: a loss of White is 0-1 (0x2 | 0x8). A loss of Black is
    // 1-0: 0x2, with the white-wins bit 0x4 for some reasons and not for others, as the codes have
    // always been written (scoring and the texts test only 0x2 and 0x8).
    std::uint32_t LossOf(int mover, std::uint32_t reason, bool whiteWinsBit)
    {
        if (mover == White) return reason | GameResult::BlackWon;
        return reason | GameResult::Decided | (whiteWinsBit ? GameResult::WhiteWins : 0);
    }

} // namespace

bool IsTimeForfeit(std::int64_t elapsedMs, std::int64_t ownTimeMs)
{
    return elapsedMs - ownTimeMs > ClockGraceMs;
}

std::string ForfeitText(std::int64_t elapsedMs, std::int64_t ownTimeMs)
{
    return std::to_string(elapsedMs) + ">" + std::to_string(ownTimeMs);
}

std::int64_t ClockAfterMove(std::int64_t ownTimeMs, std::int64_t incrementMs, std::int64_t elapsedMs)
{
    return ownTimeMs + incrementMs - elapsedMs;
}

std::uint32_t ForfeitCode(int mover)
{
    return LossOf(mover, GameResult::Forfeit, true);
}
std::uint32_t IllegalMoveCode(int mover)
{
    return LossOf(mover, GameResult::IllegalMove, false);
}
std::uint32_t DrawClaimCode(int occurrences, int halfmoveClock, std::uint32_t status)
{
    if (occurrences >= 3) return GameResult::Draw | GameResult::Repetition;
    if (halfmoveClock >= 100) return GameResult::Draw | GameResult::FiftyMoves;
    if (status != GameResult::Unfinished && (status & GameResult::Draw) != 0) return status;
    return 0;
}

std::uint32_t FalseClaimCode(int mover)
{
    return LossOf(mover, GameResult::Adjudication, true);
}

std::uint32_t FaultCode(int mover)
{
    return CrashCode(mover);
}

std::uint32_t CrashCode(int mover)
{
    return LossOf(mover, GameResult::EngineCrashed, true);
}
std::uint32_t ResignCode(int mover)
{
    return LossOf(mover, GameResult::Resign, false);
}

std::uint32_t ClaimCode(std::string_view rest, int mover)
{
    if (rest.find("1/2-1/2") != std::string_view::npos) return GameResult::Draw;
    // Only the first word is the result; a comment may follow it ("0-1 {White resigns}").
    std::string_view word = rest.substr(0, rest.find(' '));
    if ((mover == White && word == "0-1") || (mover == Black && word == "1-0")) return ResignCode(mover);
    return 0;
}

clsHalfPoints HalfPoints(std::uint32_t code)
{
    switch (code & 0x820B) {
    case GameResult::Decided:
        return { 2, 0 };
    case GameResult::Decided | GameResult::BlackWins:
        return { 0, 2 };
    case GameResult::Draw:
        return { 1, 1 };
    default:
        return {};
    }
}

clsResponse SplitResponse(std::string_view line)
{
    auto [keyword, rest] = dranbase::SplitFirst(line, ' ');
    return { keyword, dranbase::Trim(rest) };
}

std::string MoveOfResponse(std::string_view rest)
{
    std::string_view trimmed = rest.substr(0, rest.find_first_of(" \t"));
    std::string move;
    for (char c : trimmed)
        if (c != '=') move.push_back(c);
    return move;
}

u64 PlacementKey(const clsBoard& board)
{
    u64 key = 0;
    for (int kind = Pawn; kind <= King; ++kind) {
        for (int colourSlot = 0; colourSlot < 2; ++colourSlot) {
            u64 pieces = board.bb[kind] & board.bb[colourSlot == 0 ? Own : Other];
            while (pieces) {
                int square = std::countr_zero(pieces);
                pieces &= pieces - 1;
                key ^= ZobristKeys[static_cast<std::size_t>(square)][static_cast<std::size_t>(kind - Pawn)]
                                  [static_cast<std::size_t>(colourSlot)];
            }
        }
    }
    return key;
}

int clsRepetitionHistory::Occurrences() const
{
    if (keys_.empty()) return 0;
    return static_cast<int>(std::count(keys_.begin(), keys_.end(), keys_.back()));
}

bool clsRepetitionHistory::Add(u64 key)
{
    keys_.push_back(key);
    int equal = 0;
    for (int i = static_cast<int>(keys_.size()) - 2; i >= 1; --i)
        if (keys_[static_cast<std::size_t>(i)] == key && ++equal == 3) return true;
    return false;
}

std::string QuoteName(std::string_view name)
{
    std::string s = "'";
    for (char c : name) {
        s.push_back(c);
        if (c == '\'') s.push_back('\'');
    }
    s.push_back('\'');
    return s;
}

std::string SecondsText(std::int64_t ms)
{
    std::string s = std::to_string(ms / 1000);
    if (std::int64_t rest = ms % 1000; rest != 0) {
        std::string fraction = std::to_string(1000 + rest).substr(1); // "050" for 50 ms
        while (fraction.back() == '0')
            fraction.pop_back();
        s += "." + fraction;
    }
    return s;
}

std::string TimeControlTag(std::int64_t movesPerControl, std::int64_t gameMs, std::int64_t incrementMs)
{
    std::string s = SecondsText(gameMs);
    if (movesPerControl != 0) s = std::to_string(movesPerControl) + "/" + s;
    if (incrementMs != 0) s += "+" + SecondsText(incrementMs);
    return s;
}

std::string DranTimeControlTag(std::int64_t movesPerControl, std::int64_t gameMs, std::int64_t incrementMs)
{
    return std::to_string(movesPerControl) + ":" + std::to_string(gameMs) + ":" + std::to_string(incrementMs);
}

std::string TerminationTag(std::uint32_t code)
{
    if (code & (GameResult::Unfinished | GameResult::Aborted)) return "unterminated";
    if (code & GameResult::Forfeit) return "time forfeit";
    if (code & (GameResult::IllegalMove | GameResult::EngineCrashed)) return "rules infraction";
    if (code & GameResult::Adjudication) return "adjudication";
    return "normal";
}

std::string PgnDate(std::time_t when)
{
    std::tm local {};
    localtime_r(&when, &local);
    char text[48]; // room for any int the compiler imagines
    std::snprintf(text, sizeof text, "%04d.%02d.%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return text;
}

std::string GameFileName(const std::string& tourneyBase, int round, int game)
{
    return tourneyBase + ".R" + std::to_string(round) + ".G" + std::to_string(game) + ".pgn";
}

std::string SanOfMove(clsChessCore& core, std::string_view coordinate)
{
    const std::optional<clsMove> move = ReadCoordinateMove(core, coordinate);
    return move ? SanText(core, *move) : std::string();
}

clsGameMove ReadGameMove(clsChessCore& core, std::string_view text)
{
    const std::optional<clsMove> move = ReadMove(core, text);
    if (!move) return {};
    return { CoordinateText(*move), SanText(core, *move) };
}

std::string CheckMark(clsChessCore& core)
{
    return CheckMarkText(core);
}

void clsMoveTextWriter::Reset(int fullMoveNumber, int sideToMove)
{
    tokens_.clear();
    number_ = fullMoveNumber > 0 ? fullMoveNumber : 1;
    side_ = sideToMove;
    plies_ = 0;
}

void clsMoveTextWriter::Add(const std::string& san)
{
    if (side_ == White)
        tokens_.push_back(std::to_string(number_) + ".");
    else if (plies_ == 0)
        tokens_.push_back(std::to_string(number_) + "...");
    tokens_.push_back(san);
    if (side_ == Black) ++number_;
    side_ ^= 1;
    ++plies_;
}

std::string clsMoveTextWriter::Text(const std::string& resultToken) const
{
    constexpr std::size_t LineWidth = 79;
    std::string text, line;
    auto put = [&](const std::string& token) {
        if (!line.empty() && line.size() + 1 + token.size() > LineWidth) {
            text += line + "\r\n";
            line.clear();
        }
        if (!line.empty()) line.push_back(' ');
        line += token;
    };
    for (const std::string& t : tokens_)
        put(t);
    if (!resultToken.empty()) put(resultToken);
    if (!line.empty()) text += line + "\r\n";
    return text;
}

} // namespace drnChess
