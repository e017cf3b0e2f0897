#include "tourney/adjudication.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "book/clsgame.h"

namespace drnChess {

namespace {

    // A mate at any distance outweighs every material score; a nearer one weighs more.
    constexpr int MateCentipawns = 100000;
    // Mate scores of the xboard thinking line.
    constexpr long long XboardMate = 100000;

    std::vector<std::string_view> Words(std::string_view text)
    {
        std::vector<std::string_view> words;
        std::size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
                ++i;
            const std::size_t start = i;
            while (i < text.size() && text[i] != ' ' && text[i] != '\t')
                ++i;
            if (i > start) words.push_back(text.substr(start, i - start));
        }
        return words;
    }

    bool Whole(std::string_view text, long long& value)
    {
        if (!text.empty() && text[0] == '+') text.remove_prefix(1);
        const char* end = text.data() + text.size();
        auto [ptr, ec] = std::from_chars(text.data(), end, value);
        return !text.empty() && ec == std::errc {} && ptr == end;
    }

    int Clamped(long long value)
    {
        return static_cast<int>(std::max<long long>(-1000000000LL, std::min<long long>(1000000000LL, value)));
    }

    // Seconds with up to three decimals, trailing zeros dropped: 310 -> "0.31", 2000 -> "2".
    std::string Seconds(std::int64_t ms)
    {
        char text[32];
        std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
            static_cast<long long>(ms % 1000));
        std::string s = text;
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.') s.pop_back();
        return s + "s";
    }

} // namespace

int clsEngineScore::Centipawns() const
{
    if (!mate) return value;
    const int distance = std::min(std::abs(value), 1000);
    return value >= 0 ? MateCentipawns - distance : -MateCentipawns + distance;
}

void ReadUciInfo(std::string_view rest, clsEngineScore& score)
{
    const std::vector<std::string_view> words = Words(rest);
    clsEngineScore read = score;
    bool scored = false;
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        long long number = 0;
        if (words[i] == "pv" || words[i] == "string") break; // moves or free text follow
        if (words[i] == "depth" && Whole(words[i + 1], number)) {
            read.depth = Clamped(number);
        } else if (words[i] == "score" && i + 2 < words.size() && Whole(words[i + 2], number)) {
            if (words[i + 1] == "cp" || words[i + 1] == "mate") {
                read.mate = words[i + 1] == "mate";
                read.value = Clamped(number);
                read.known = true;
                scored = true;
            }
        }
    }
    if (scored) score = read;
}

bool ReadXboardThinking(std::string_view line, clsEngineScore& score)
{
    const std::vector<std::string_view> words = Words(line);
    if (words.size() < 4) return false;
    long long fields[4] = {};
    for (int i = 0; i < 4; ++i) {
        std::string_view word = words[static_cast<std::size_t>(i)];
        // Some engines mark the ply of a line that is not final ("12." or "12&").
        if (i == 0 && !word.empty() && (word.back() == '.' || word.back() == '&')) word.remove_suffix(1);
        if (!Whole(word, fields[i])) return false;
    }
    score.known = true;
    score.depth = Clamped(fields[0]);
    const long long value = fields[1];
    if (value >= XboardMate || value <= -XboardMate) {
        score.mate = true;
        score.value = Clamped(value > 0 ? value - XboardMate : value + XboardMate);
    } else {
        score.mate = false;
        score.value = Clamped(value);
    }
    return true;
}

std::string MoveCommentText(const clsEngineScore& score, std::int64_t elapsedMs)
{
    const std::string time = Seconds(std::max<std::int64_t>(elapsedMs, 0));
    if (!score.known) return time;
    std::string text;
    if (score.mate) {
        text = (score.value >= 0 ? "+M" : "-M") + std::to_string(std::abs(score.value));
    } else {
        char pawns[32];
        std::snprintf(pawns, sizeof pawns, "%s%d.%02d",
            score.value > 0       ? "+"
                : score.value < 0 ? "-"
                                  : "",
            std::abs(score.value) / 100, std::abs(score.value) % 100);
        text = pawns;
    }
    return text + "/" + std::to_string(score.depth) + " " + time;
}

clsAdjudication clsAdjudicator::AfterMove(int side, const clsEngineScore& score, int moveNumber, int plies)
{
    side &= 1;
    const int other = side ^ 1;
    static const char* const Colours[] = { "White", "Black" };
    if (!score.known) {
        drawRun_ = 0;
        losingRun_[side] = winningRun_[side] = 0;
    } else {
        const int cp = score.Centipawns();
        drawRun_ = std::abs(cp) <= rules_.drawScore ? drawRun_ + 1 : 0;
        losingRun_[side] = cp <= -rules_.resignScore ? losingRun_[side] + 1 : 0;
        winningRun_[side] = cp >= rules_.resignScore ? winningRun_[side] + 1 : 0;
    }

    if (rules_.resign && rules_.resignMoveCount > 0) {
        // The side that moved may concede; with two sides the other must agree on its last moves.
        for (const int loser : { side, other }) {
            const int winner = loser ^ 1;
            const bool conceded = losingRun_[loser] >= rules_.resignMoveCount;
            const bool claimed = winningRun_[winner] >= rules_.resignMoveCount;
            if (!(rules_.resignTwoSided ? conceded && claimed : conceded)) continue;
            const std::uint32_t code = GameResult::Decided
                | (loser == 0 ? GameResult::BlackWins : GameResult::WhiteWins) | GameResult::Adjudication;
            return { code,
                std::string("resign: ") + Colours[loser] + "'s score at or below -"
                    + std::to_string(rules_.resignScore) + " cp for " + std::to_string(rules_.resignMoveCount)
                    + " moves"
                    + (rules_.resignTwoSided ? " and " + std::string(Colours[winner]) + "'s at or above +"
                                + std::to_string(rules_.resignScore) + " cp"
                                             : std::string()) };
        }
    }
    if (rules_.draw && rules_.drawMoveCount > 0 && moveNumber >= rules_.drawMoveNumber
        && drawRun_ >= 2 * rules_.drawMoveCount)
        return { GameResult::Draw | GameResult::Adjudication,
            "draw: both scores within " + std::to_string(rules_.drawScore) + " cp for "
                + std::to_string(rules_.drawMoveCount) + " moves" };
    if (rules_.maxMoves > 0 && plies >= 2 * rules_.maxMoves)
        return { GameResult::Draw | GameResult::Adjudication,
            "max moves: " + std::to_string(rules_.maxMoves) };
    return {};
}

} // namespace drnChess
