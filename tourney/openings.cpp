#include "tourney/openings.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "book/clsgame.h"
#include "book/clspgnfile.h"
#include "dranbase/clsfile.h"
#include "dranbase/clsstring.h"
#include "dranbase/clsxml.h"
#include "rules/clschesscore.h"
#include "rules/fencheck.h"

namespace drnChess {

namespace {
    // --- the one place that reads positions and moves through the rules layer ------------------
    // (the notation functions are being unified; keep every call to them here)

    // Loads the FEN into the core when it describes a position a game can start from (read
    // strictly, and the side to move has a move); else the reason, with the core's position
    // undefined. `fen` becomes the text loaded (castling rights the board cannot have dropped).
    std::string LoadStart(clsChessCore& core, std::string& fen)
    {
        std::string loaded;
        if (std::string why = LoadFenStrictly(core, fen, FenText::Position, &loaded); !why.empty())
            return why;
        core.GenerateMoves(-1);
        if (core.FilterLegalMoves() == 0) return "the side to move has no legal move";
        fen = loaded;
        core.SetFromFEN(fen); // a fresh node stack for whoever plays from here
        return {};
    }

    // One PGN game: its start and first `plies` moves as coordinate texts; false and the reason
    // when the start or a move cannot be read.
    bool ReadGameOpening(
        clsChessCore& core, std::string_view text, int plies, clsOpening& out, std::string& why)
    {
        clsGame game;
        std::string error;
        const bool complete = ReadPgnGame(text, core, game, plies, {}, &error);
        std::string fen = game.Tag("FEN");
        if (!fen.empty()) {
            why = LoadStart(core, fen);
            if (!why.empty()) return false;
        }
        if (!complete) {
            why = error.empty() ? "unreadable move text" : error;
            return false;
        }
        out.fen = fen;
        out.moves = game.Moves;
        clsGame whole;
        const bool cut
            = plies > 0 && ReadPgnGame(text, core, whole, 0) && whole.Moves.size() > game.Moves.size();
        if (!cut) {
            out.eco = game.Tag("ECO");
            out.name = game.Tag("Opening");
        }
        return true;
    }

} // namespace

std::string CheckStartFen(std::string_view fen)
{
    auto core = std::make_unique<clsChessCore>();
    std::string text(fen);
    return LoadStart(*core, text);
}

const clsOpening* clsOpeningSuite::ForPair(std::int64_t pair) const
{
    if (order.empty() || pair < 0) return nullptr;
    return &openings[order[static_cast<std::size_t>(pair % static_cast<std::int64_t>(order.size()))]];
}

clsOpeningSuite ReadOpeningSuite(std::string_view text, const clsOpeningSettings& settings)
{
    clsOpeningSuite suite;
    auto core = std::make_unique<clsChessCore>();

    if (settings.format == OpeningFormat::Epd) {
        int lineNumber = 0;
        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::size_t eol = std::min(text.find('\n', pos), text.size());
            const std::string line = dranbase::Trim(text.substr(pos, eol - pos));
            pos = eol + 1;
            ++lineNumber;
            if (line.empty() || line[0] == '#') continue;
            const std::vector<std::string> fields = dranbase::SplitFields(line);
            std::string fen;
            for (std::size_t i = 0; i < 4 && i < fields.size(); ++i)
                fen += (i ? " " : "") + fields[i];
            if (std::string why = LoadStart(*core, fen); !why.empty()) {
                suite.problems.push_back({ lineNumber, why });
                continue;
            }
            suite.openings.push_back({ fen, {}, lineNumber, {}, {} });
        }
    } else {
        std::size_t start = 0, counted = 0;
        int lineNumber = 1; // of the text's offset `counted`
        for (const clsGameText& game : SplitGames(text)) {
            // The game's line: the first line with text at or after where the previous one ended
            // (line ends counted once over the whole text).
            const std::size_t first = std::min(text.find_first_not_of(" \t\r\n", start), text.size());
            lineNumber += static_cast<int>(std::count(text.begin() + counted, text.begin() + first, '\n'));
            counted = first;
            start = std::max(game.end, first);
            clsOpening opening;
            opening.line = lineNumber;
            std::string why;
            if (!ReadGameOpening(*core, game.text, std::max(settings.plies, 0), opening, why)) {
                suite.problems.push_back({ lineNumber, why });
                continue;
            }
            suite.openings.push_back(std::move(opening));
        }
    }

    // The order of use: the file's, or a shuffle that depends on the seed alone (the engine
    // of the standard library is fully specified; the shuffle is written out so that it is too).
    const std::size_t n = suite.openings.size();
    suite.order.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        suite.order[i] = i;
    if (settings.order == OpeningOrder::Random) {
        std::mt19937_64 random(settings.seed);
        for (std::size_t i = n; i > 1; --i)
            std::swap(suite.order[i - 1], suite.order[random() % i]);
    }
    if (n > 0) {
        const std::size_t skip = static_cast<std::size_t>(std::max(settings.start - 1, 0)) % n;
        std::rotate(
            suite.order.begin(), suite.order.begin() + static_cast<std::ptrdiff_t>(skip), suite.order.end());
    }
    return suite;
}

clsOpeningSuite LoadOpeningSuite(const clsOpeningSettings& settings)
{
    // A suite is read whole: a device or a FIFO could be read without end.
    constexpr std::uintmax_t MaxSuiteBytes = std::uintmax_t { 256 } << 20;
    if (const std::string problem = dranbase::DataFileProblem(settings.file, MaxSuiteBytes);
        !problem.empty()) {
        clsOpeningSuite suite;
        suite.problems.push_back({ 0, "cannot read the opening file " + settings.file + ": " + problem });
        return suite;
    }
    std::ifstream in(settings.file, std::ios::binary);
    if (!in) {
        clsOpeningSuite suite;
        suite.problems.push_back({ 0, "cannot read the opening file " + settings.file });
        return suite;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ReadOpeningSuite(text.str(), settings);
}

namespace {
    // A whole decimal number within the bounds, or false.
    bool ReadInt(const std::string& text, long long low, long long high, long long& value)
    {
        const std::string t = dranbase::Trim(text);
        if (t.empty() || t.size() > 18) return false;
        std::size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
        if (i == t.size() || t.find_first_not_of("0123456789", i) != std::string::npos) return false;
        value = std::stoll(t);
        return value >= low && value <= high;
    }

    bool ReadReal(const std::string& text, double& value)
    {
        const std::string t = dranbase::Trim(text);
        if (t.empty()) return false;
        std::istringstream in(t);
        in >> value;
        return in && in.peek() == std::char_traits<char>::eof() && std::isfinite(value);
    }

    bool HasPgnExtension(const std::string& file)
    {
        return file.size() >= 4
            && dranbase::EqualsNoCase(std::string_view(file).substr(file.size() - 4), ".pgn");
    }

    void ReadOpeningsElement(const dranbase::clsXML& e, clsMatchOptions& m)
    {
        clsOpeningSettings& s = m.openings;
        const std::size_t before = m.problems.size();
        auto bad = [&](const std::string& what) { m.problems.push_back("openings: " + what); };
        s.file = dranbase::Trim(e.GetAttribute("file"));
        if (s.file.empty()) bad("no file");
        const std::string format = e.GetAttribute("format");
        if (format.empty())
            s.format = HasPgnExtension(s.file) ? OpeningFormat::Pgn : OpeningFormat::Epd;
        else if (dranbase::EqualsNoCase(dranbase::Trim(format), "epd"))
            s.format = OpeningFormat::Epd;
        else if (dranbase::EqualsNoCase(dranbase::Trim(format), "pgn"))
            s.format = OpeningFormat::Pgn;
        else
            bad("format \"" + format + "\" is not epd or pgn");
        const std::string order = e.GetAttribute("order");
        if (order.empty() || dranbase::EqualsNoCase(dranbase::Trim(order), "sequential"))
            s.order = OpeningOrder::Sequential;
        else if (dranbase::EqualsNoCase(dranbase::Trim(order), "random"))
            s.order = OpeningOrder::Random;
        else
            bad("order \"" + order + "\" is not sequential or random");
        long long v = 0;
        if (e.Attributes().Has("plies")) {
            if (ReadInt(e.GetAttribute("plies"), 0, 10000, v))
                s.plies = static_cast<int>(v);
            else
                bad("plies \"" + e.GetAttribute("plies") + "\" is not a number from 0 to 10000");
        }
        if (e.Attributes().Has("start")) {
            if (ReadInt(e.GetAttribute("start"), 1, 1000000000, v))
                s.start = static_cast<int>(v);
            else
                bad("start \"" + e.GetAttribute("start") + "\" is not a number from 1");
        }
        if (e.Attributes().Has("seed")) {
            if (ReadInt(e.GetAttribute("seed"), 0, 999999999999999999LL, v))
                s.seed = static_cast<std::uint64_t>(v);
            else
                bad("seed \"" + e.GetAttribute("seed") + "\" is not a number from 0");
        }
        m.hasOpenings = m.problems.size() == before;
    }

    void ReadSprtElement(const dranbase::clsXML& e, clsMatchOptions& m)
    {
        clsSprtSettings& s = m.sprt;
        const std::size_t before = m.problems.size();
        auto real = [&](const char* name, double& target) {
            if (!e.Attributes().Has(name)) return;
            if (!ReadReal(e.GetAttribute(name), target))
                m.problems.push_back(
                    std::string("sprt: ") + name + " \"" + e.GetAttribute(name) + "\" is not a number");
        };
        real("elo0", s.elo0);
        real("elo1", s.elo1);
        real("alpha", s.alpha);
        real("beta", s.beta);
        if (e.Attributes().Has("min_games")) {
            long long v = 0;
            if (ReadInt(e.GetAttribute("min_games"), 0, 1000000000, v))
                s.minGames = v;
            else
                m.problems.push_back(
                    "sprt: min_games \"" + e.GetAttribute("min_games") + "\" is not a number from 0");
        }
        const std::string model = dranbase::Trim(e.GetAttribute("model"));
        if (model.empty() || dranbase::EqualsNoCase(model, "logistic"))
            s.model = SprtModel::Logistic;
        else if (dranbase::EqualsNoCase(model, "normalized") || dranbase::EqualsNoCase(model, "normalised"))
            s.model = SprtModel::Normalized;
        else
            m.problems.push_back("sprt: model \"" + model + "\" is not logistic or normalized");
        if (m.problems.size() == before) {
            if (!(s.alpha > 0 && s.beta > 0 && s.alpha + s.beta < 1))
                m.problems.push_back("sprt: alpha and beta must be above 0 with a sum below 1");
            else if (!(s.elo1 > s.elo0))
                m.problems.push_back("sprt: elo1 must be above elo0");
        }
        m.hasSprt = m.problems.size() == before;
    }
} // namespace

clsMatchOptions ReadMatchOptions(const dranbase::clsXML& options)
{
    clsMatchOptions m;
    if (const dranbase::clsXML* e = options.FindChild("openings")) ReadOpeningsElement(*e, m);
    if (const dranbase::clsXML* e = options.FindChild("sprt")) ReadSprtElement(*e, m);
    return m;
}

} // namespace drnChess
