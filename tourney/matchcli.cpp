#include "tourney/matchcli.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <utility>

#include "dranbase/clsfile.h"
#include "dranbase/clsstring.h"
#include "dranbase/console.h"
#include "tourney/matchreport.h"
#include "tourney/playerbook.h"

namespace drnChess {

namespace {

    using dranbase::EqualsNoCase;

    // One option and the words after it, up to the next word that starts with '-' and a letter
    // (so "-1" stays a value and is refused as one, not read as an option).
    struct Option {
        std::string name;
        std::vector<std::string> values;
    };

    bool StartsOption(const std::string& word)
    {
        return word.size() >= 2 && word[0] == '-'
            && (std::isalpha(static_cast<unsigned char>(word[1])) || word[1] == '-');
    }

    std::optional<long long> WholeNumber(const std::string& text)
    {
        long long value = 0;
        const char* end = text.data() + text.size();
        auto [ptr, ec] = std::from_chars(text.data(), end, value);
        if (text.empty() || ec != std::errc {} || ptr != end) return std::nullopt;
        return value;
    }

    std::optional<double> RealNumber(const std::string& text)
    {
        double value = 0;
        const char* end = text.data() + text.size();
        auto [ptr, ec] = std::from_chars(text.data(), end, value);
        if (text.empty() || ec != std::errc {} || ptr != end || !std::isfinite(value)) return std::nullopt;
        return value;
    }

    // The tournament file is read without entity decoding: these characters cannot be stored.
    bool StorableInXml(const std::string& text)
    {
        return text.find_first_of("<>&\"") == std::string::npos;
    }

    // The keys of one "-engine" (or "-each"), as given.
    struct EngineWords {
        std::map<std::string, std::string> keys; // name, cmd, proto, tc, ...
        std::vector<std::string> args; // arg= in order
        std::vector<std::pair<std::string, std::string>> options; // option.NAME=VALUE in order
    };

    const char* const EngineKeys[] = { "name", "cmd", "dir", "arg", "proto", "tc", "st", "nodes", "depth",
        "restart", "book", "bookdepth", "whitepov", "ponder", "timemargin", "stderr", "initstr" };

    std::string ReadEngineWords(const Option& option, EngineWords& out)
    {
        for (const std::string& word : option.values) {
            auto [key, value] = dranbase::SplitFirst(word, '=');
            if (word.find('=') == std::string::npos)
                return option.name + ": \"" + word + "\" is not key=value";
            if (key.starts_with("option.")) {
                if (key.size() == 7) return option.name + ": option. needs a name";
                out.options.emplace_back(key.substr(7), value);
                continue;
            }
            if (std::find(std::begin(EngineKeys), std::end(EngineKeys), key) == std::end(EngineKeys))
                return option.name + ": unknown key \"" + key + "\"";
            if (key == "arg")
                out.args.push_back(value);
            else
                out.keys[key] = value;
        }
        return {};
    }

    // Keys of "-each" fill what the engine does not say itself; an engine's own time (tc= or
    // st=) keeps either of -each's out.
    EngineWords WithEach(EngineWords engine, const EngineWords& each)
    {
        const bool ownTime = engine.keys.count("tc") || engine.keys.count("st");
        for (const auto& [key, value] : each.keys)
            if (!(ownTime && (key == "tc" || key == "st"))) engine.keys.emplace(key, value);
        engine.args.insert(engine.args.end(), each.args.begin(), each.args.end());
        for (const auto& option : each.options)
            if (std::none_of(engine.options.begin(), engine.options.end(),
                    [&](const auto& own) { return own.first == option.first; }))
                engine.options.push_back(option);
        return engine;
    }

    // st=, nodes=, depth= and tc= of a uci or xboard engine into its limits; the clock it
    // shares with the others goes to `tc` (empty when it plays without the game's clock).
    std::string ReadLimits(
        const EngineWords& words, const std::string& label, bool uci, clsMoveLimits& limits, std::string& tc)
    {
        auto key = [&](const char* k) {
            auto it = words.keys.find(k);
            return it == words.keys.end() ? std::optional<std::string>() : std::optional(it->second);
        };
        if (const auto st = key("st")) {
            const auto seconds = RealNumber(*st);
            if (!seconds || *seconds <= 0 || *seconds > 1e6 || std::round(*seconds * 1000) < 1)
                return label + ": st=" + *st + " is not a time in seconds above 0 (0.5, 2)";
            limits.moveMs = static_cast<std::int64_t>(std::round(*seconds * 1000));
        }
        if (const auto nodes = key("nodes")) {
            const auto number = WholeNumber(*nodes);
            if (!number || *number < 1) return label + ": nodes=" + *nodes + " is not a whole number from 1";
            if (!uci) return label + ": nodes= is for uci engines (xboard has no node limit)";
            limits.nodes = *number;
        }
        if (const auto depth = key("depth")) {
            const auto number = WholeNumber(*depth);
            if (!number || *number < 1 || *number > 1000)
                return label + ": depth=" + *depth + " is not a whole number from 1 to 1000";
            limits.depth = static_cast<int>(*number);
        }
        if (const auto margin = key("timemargin")) {
            const auto number = WholeNumber(*margin);
            if (!number || *number < 0 || *number > 3600000)
                return label + ": timemargin=" + *margin + " is not a whole number of milliseconds from 0";
            limits.marginMs = *number;
        }
        const bool bounded = limits.moveMs > 0 || limits.nodes > 0 || limits.depth > 0;
        tc = key("tc").value_or("");
        if (EqualsNoCase(tc, "inf")) {
            if (!bounded) return label + ": tc=inf needs st=, nodes= or depth= (nothing would end a move)";
            limits.clock = false;
            tc.clear();
        } else if (tc.empty()) {
            if (!bounded) return label + ": missing tc= (or st=, nodes=, depth=)";
            limits.clock = false; // a time per move, or no clock at all
        } else if (limits.moveMs > 0) {
            return label + ": tc= and st= cannot both be given";
        }
        return {};
    }

    // Turns one engine's words into a player; the time control it shares with the others goes
    // to `tc` for the caller to check (empty: it plays off the game's clock). An error names
    // the engine.
    std::string MakePlayer(const EngineWords& words, clsPlayerConfig& player, std::string& tc)
    {
        auto key = [&](const char* k) {
            auto it = words.keys.find(k);
            return it == words.keys.end() ? std::string() : it->second;
        };
        const std::string cmd = key("cmd");
        player.name = key("name");
        if (player.name.empty()) player.name = std::filesystem::path(cmd).filename().string();
        const std::string label = "-engine" + (player.name.empty() ? std::string() : " " + player.name);
        std::string proto = key("proto");
        if (proto.empty()) proto = "xboard";
        if (!EqualsNoCase(proto, "uci") && !EqualsNoCase(proto, "xboard") && !EqualsNoCase(proto, "embedded"))
            return label + ": proto=" + proto + " is not uci, xboard or embedded";
        player.protocol = dranbase::ToLower(proto);
        const bool embedded = player.protocol == "embedded";
        if (embedded) {
            if (player.name.empty()) return label + ": an embedded engine needs name=";
            if (!cmd.empty()) return label + ": cmd= is for uci and xboard engines";
            for (const char* processOnly : { "dir", "st", "nodes", "depth", "stderr", "timemargin" })
                if (words.keys.count(processOnly))
                    return label + ": " + processOnly + "= is for uci and xboard engines";
        } else if (cmd.empty()) {
            return label + ": missing cmd=";
        }
        player.fileName = cmd;

        // What the runner cannot carry out yet: said by name rather than ignored.
        for (const char* unsupported : { "whitepov", "ponder", "initstr" })
            if (words.keys.count(unsupported))
                return label + ": " + unsupported + "= is not supported by this runner";
        const std::string restart = key("restart");
        if (!restart.empty() && !EqualsNoCase(restart, "on") && !EqualsNoCase(restart, "off"))
            return label + ": restart=" + restart + " is not on or off";
        player.keepEngine = !EqualsNoCase(restart, "on"); // kept between games unless asked

        std::string parameters;
        auto add = [&](const std::string& field) { parameters += (parameters.empty() ? "" : " ") + field; };
        for (const std::string& arg : words.args)
            add(arg);
        if (embedded) {
            // The program's own engine takes its options as its parameters.
            for (const auto& [name, value] : words.options)
                add(name + "=" + value);
        } else {
            for (const auto& [name, value] : words.options) {
                if (!StorableInXml(name) || !StorableInXml(value))
                    return label + ": the characters < > & \" cannot be used in option." + name;
                if (name != dranbase::Trim(name) || value != dranbase::Trim(value))
                    return label + ": option." + name + ": leading or trailing blanks cannot be kept";
                player.options.emplace_back(name, value);
            }
        }
        player.parameters = parameters;
        for (const std::string* text : { &player.name, &player.fileName, &player.parameters })
            if (!StorableInXml(*text))
                return label + ": the characters < > & \" cannot be used in \"" + *text + "\"";
        if (player.parameters != dranbase::Trim(player.parameters)
            || player.fileName != dranbase::Trim(player.fileName))
            return label + ": leading or trailing blanks cannot be kept";

        // The folder and the error file are made absolute: a continued run may start elsewhere.
        for (auto [name, target] : { std::pair<const char*, std::string*> { "dir", &player.workDir },
                 { "stderr", &player.stderrFile } }) {
            if (!words.keys.count(name)) continue;
            const std::string value = key(name);
            if (value.empty()) return label + ": " + name + "= needs a " + (*name == 'd' ? "folder" : "file");
            if (!StorableInXml(value) || value != dranbase::Trim(value))
                return label + ": " + name + "=" + value + " cannot be kept (< > & \" or blanks at an end)";
            *target = std::filesystem::absolute(value).lexically_normal().string();
        }
        std::error_code ec;
        if (!player.workDir.empty() && !std::filesystem::is_directory(player.workDir, ec))
            return label + ": dir=" + key("dir") + " is not a folder";

        // The book is read now: one that cannot be used is refused before the match is written.
        if (words.keys.count("bookdepth")) {
            const std::string depth = key("bookdepth");
            const auto number = WholeNumber(depth);
            if (!number || *number < 1 || *number > 100000)
                return label + ": bookdepth=" + depth + " is not a whole number from 1";
            if (!words.keys.count("book")) return label + ": bookdepth= needs book=";
            player.bookDepth = static_cast<int>(*number);
        }
        if (words.keys.count("book")) {
            const std::string book = key("book");
            if (book.empty()) return label + ": book= needs a file";
            if (!StorableInXml(book)) return label + ": the characters < > & \" cannot be used in book=";
            std::string error;
            if (!clsPlayerBook().Load(book, &error)) return label + ": book=" + book + ": " + error;
            player.bookFile = std::filesystem::absolute(book).string();
        }

        if (embedded) {
            tc = key("tc");
            if (tc.empty()) return label + ": missing tc=";
            if (EqualsNoCase(tc, "inf")) return label + ": tc=inf is for uci and xboard engines";
            return {};
        }
        return ReadLimits(words, label, player.protocol == "uci", player.limits, tc);
    }

    // key=value words of an option into a map; an unknown key or a bare word is an error.
    std::string ReadKeys(const Option& option, std::initializer_list<const char*> known,
        std::map<std::string, std::string>& out)
    {
        for (const std::string& word : option.values) {
            auto [key, value] = dranbase::SplitFirst(word, '=');
            if (word.find('=') == std::string::npos)
                return option.name + ": \"" + word + "\" is not key=value";
            if (std::none_of(known.begin(), known.end(), [&](const char* k) { return key == k; }))
                return option.name + ": unknown key \"" + key + "\"";
            out[key] = value;
        }
        return {};
    }

    // A single whole number of at least `least` as the option's one value.
    std::string OneNumber(const Option& option, long long least, long long& value)
    {
        if (option.values.size() != 1) return option.name + ": needs one number";
        const auto number = WholeNumber(option.values[0]);
        if (!number || *number < least)
            return option.name + ": \"" + option.values[0] + "\" is not a whole number of at least "
                + std::to_string(least);
        value = *number;
        return {};
    }

    std::string OneText(const Option& option, std::string& value)
    {
        if (option.values.size() != 1) return option.name + ": needs one value";
        value = option.values[0];
        if (!StorableInXml(value)) return option.name + ": the characters < > & \" cannot be used";
        return {};
    }

    std::string ReadOpenings(const Option& option, clsMatchOptions& match)
    {
        std::map<std::string, std::string> keys;
        if (std::string e = ReadKeys(option, { "file", "format", "order", "plies", "start", "policy" }, keys);
            !e.empty())
            return e;
        clsOpeningSettings& s = match.openings;
        s.file = keys["file"];
        if (s.file.empty()) return option.name + ": missing file=";
        if (!StorableInXml(s.file)) return option.name + ": the characters < > & \" cannot be used in file=";
        std::error_code ec;
        if (!std::filesystem::is_regular_file(s.file, ec))
            return option.name + ": cannot read file=" + s.file;
        const std::string format = keys.count("format")           ? keys["format"]
            : std::filesystem::path(s.file).extension() == ".pgn" ? "pgn"
                                                                  : "epd";
        if (EqualsNoCase(format, "pgn"))
            s.format = OpeningFormat::Pgn;
        else if (EqualsNoCase(format, "epd"))
            s.format = OpeningFormat::Epd;
        else
            return option.name + ": format=" + format + " is not epd or pgn";
        const std::string order = keys.count("order") ? keys["order"] : "sequential";
        if (EqualsNoCase(order, "random"))
            s.order = OpeningOrder::Random;
        else if (EqualsNoCase(order, "sequential"))
            s.order = OpeningOrder::Sequential;
        else
            return option.name + ": order=" + order + " is not sequential or random";
        if (keys.count("policy") && !EqualsNoCase(keys["policy"], "round"))
            return option.name + ": policy=" + keys["policy"]
                + " is not supported (each opening is played by a pair of games with the colours swapped)";
        if (keys.count("plies")) {
            const auto plies = WholeNumber(keys["plies"]);
            if (!plies || *plies < 1 || *plies > 10000)
                return option.name + ": plies=" + keys["plies"] + " is not a whole number from 1";
            s.plies = static_cast<int>(*plies);
        }
        if (keys.count("start")) {
            const auto start = WholeNumber(keys["start"]);
            if (!start || *start < 1 || *start > 100000000)
                return option.name + ": start=" + keys["start"] + " is not a whole number from 1";
            s.start = static_cast<int>(*start);
        }
        match.hasOpenings = true;
        return {};
    }

    std::string ReadSprt(const Option& option, clsMatchOptions& match)
    {
        std::map<std::string, std::string> keys;
        if (std::string e = ReadKeys(option, { "elo0", "elo1", "alpha", "beta" }, keys); !e.empty()) return e;
        clsSprtSettings& s = match.sprt;
        for (auto [key, target] : { std::pair<const char*, double*> { "elo0", &s.elo0 }, { "elo1", &s.elo1 },
                 { "alpha", &s.alpha }, { "beta", &s.beta } }) {
            if (!keys.count(key)) return option.name + ": missing " + key + "=";
            const auto value = RealNumber(keys[key]);
            if (!value) return option.name + ": " + key + "=" + keys[key] + " is not a number";
            *target = *value;
        }
        if (!(s.elo0 < s.elo1)) return option.name + ": elo0 must be below elo1";
        for (auto [key, value] : { std::pair<const char*, double> { "alpha", s.alpha }, { "beta", s.beta } })
            if (!(value > 0 && value < 0.5)) return option.name + ": " + key + " must be between 0 and 0.5";
        match.hasSprt = true;
        return {};
    }

    // "-draw movenumber= movecount= score=" and "-resign movecount= score= twosided=".
    std::string ReadAdjudication(const Option& option, clsAdjudicationRules& rules)
    {
        const bool draw = option.name == "-draw";
        std::map<std::string, std::string> keys;
        if (std::string e = draw ? ReadKeys(option, { "movenumber", "movecount", "score" }, keys)
                                 : ReadKeys(option, { "movecount", "score", "twosided" }, keys);
            !e.empty())
            return e;
        auto number = [&](const char* key, long long least, int& target) -> std::string {
            if (!keys.count(key)) return option.name + ": missing " + key + "=";
            const auto value = WholeNumber(keys[key]);
            if (!value || *value < least || *value > 1000000)
                return option.name + ": " + key + "=" + keys[key] + " is not a whole number from "
                    + std::to_string(least);
            target = static_cast<int>(*value);
            return {};
        };
        std::string fail;
        if (draw) {
            for (auto [key, least, target] :
                { std::tuple<const char*, long long, int*> { "movenumber", 0, &rules.drawMoveNumber },
                    { "movecount", 1, &rules.drawMoveCount }, { "score", 0, &rules.drawScore } })
                if (fail.empty()) fail = number(key, least, *target);
            rules.draw = fail.empty();
            return fail;
        }
        for (auto [key, least, target] :
            { std::tuple<const char*, long long, int*> { "movecount", 1, &rules.resignMoveCount },
                { "score", 0, &rules.resignScore } })
            if (fail.empty()) fail = number(key, least, *target);
        if (!fail.empty()) return fail;
        const std::string twoSided = keys.count("twosided") ? keys["twosided"] : "false";
        if (EqualsNoCase(twoSided, "true"))
            rules.resignTwoSided = true;
        else if (!EqualsNoCase(twoSided, "false"))
            return option.name + ": twosided=" + twoSided + " is not true or false";
        rules.resign = true;
        return {};
    }

    std::string Attribute(const char* name, const std::string& value)
    {
        return std::string(" ") + name + "=\"" + value + "\"";
    }

    std::string Number(double value)
    {
        std::string text = std::to_string(value);
        while (text.find('.') != std::string::npos && (text.back() == '0' || text.back() == '.')) {
            const bool dot = text.back() == '.';
            text.pop_back();
            if (dot) break;
        }
        return text;
    }

    // The results at the end: each pairing's score and Elo, then the table of all players.
    std::vector<std::string> FinalLines(const clsTourney& tourney, long long stopped)
    {
        std::vector<std::string> lines;
        const int count = tourney.PlayerCount();
        std::vector<clsCrossEntry> entries;
        for (int p = 0; p < count; ++p)
            entries.push_back({ tourney.Player(p)->Name, tourney.Tally().Player(p),
                std::vector<clsWLD>(static_cast<std::size_t>(count)) });
        for (int a = 0; a < count; ++a)
            for (int b = a + 1; b < count; ++b) {
                const clsMatchTally* pair = tourney.Tally().Pair(a, b);
                if (!pair || pair->Games().Games() == 0) continue;
                const clsWLD& r = pair->Games();
                entries[static_cast<std::size_t>(a)].against[static_cast<std::size_t>(b)] = r;
                entries[static_cast<std::size_t>(b)].against[static_cast<std::size_t>(a)]
                    = clsWLD { r.losses, r.wins, r.draws };
                lines.push_back(ScoreOfLine(
                    entries[static_cast<std::size_t>(a)].name, entries[static_cast<std::size_t>(b)].name, r));
                lines.push_back(EloLine(r));
            }
        if (tourney.Verdict() != SprtVerdict::Continue)
            lines.push_back("SPRT: " + SprtVerdictText(tourney.Verdict())
                + (stopped > 0 ? "; " + std::to_string(stopped) + (stopped == 1 ? " game" : " games")
                            + " still running stopped, not counted"
                               : std::string()));
        for (const std::string& line : CrossTableLines(entries))
            lines.push_back(line);
        return lines;
    }

} // namespace

bool ReadTimeControl(const std::string& text, std::int64_t& moves, std::int64_t& gameMs, std::int64_t& incMs)
{
    std::string rest = text;
    std::int64_t m = 0;
    if (const auto slash = rest.find('/'); slash != std::string::npos) {
        const auto count = WholeNumber(rest.substr(0, slash));
        if (!count || *count < 1) return false;
        m = *count;
        rest = rest.substr(slash + 1);
    }
    std::string base = rest;
    std::string increment;
    if (const auto plus = rest.find('+'); plus != std::string::npos) {
        base = rest.substr(0, plus);
        increment = rest.substr(plus + 1);
        if (increment.empty()) return false;
    }
    double seconds = 0;
    if (const auto colon = base.find(':'); colon != std::string::npos) {
        const auto minutes = WholeNumber(base.substr(0, colon));
        const auto secs = RealNumber(base.substr(colon + 1));
        if (!minutes || *minutes < 0 || !secs || *secs < 0 || *secs >= 60) return false;
        seconds = static_cast<double>(*minutes) * 60 + *secs;
    } else {
        const auto secs = RealNumber(base);
        if (!secs) return false;
        seconds = *secs;
    }
    double inc = 0;
    if (!increment.empty()) {
        const auto value = RealNumber(increment);
        if (!value || *value < 0) return false;
        inc = *value;
    }
    const double ms = std::round(seconds * 1000);
    if (!(ms >= 1) || ms > 1e12 || inc * 1000 > 1e12) return false;
    moves = m;
    gameMs = static_cast<std::int64_t>(ms);
    incMs = static_cast<std::int64_t>(std::round(inc * 1000));
    return true;
}

clsMatchCommand ReadMatchCommand(const std::vector<std::string>& words)
{
    clsMatchCommand command;
    clsTourneyConfig& c = command.config;
    c.found = true;
    c.name = "match";
    c.logFolder = "match";
    c.pacingMs = 0; // no pause after a command unless -wait asks for one
    c.startDelayMs = 0; // the handshake is waited for, not a clock
    c.rounds = 1;
    c.threads = 1;
    command.ratingInterval = 10;

    std::vector<Option> options;
    for (const std::string& word : words) {
        if (StartsOption(word))
            options.push_back({ word, {} });
        else if (options.empty()) {
            command.error = "\"" + word + "\" is not an option";
            return command;
        } else
            options.back().values.push_back(word);
    }

    std::vector<EngineWords> engines;
    EngineWords each;
    long long games = 2;
    long long rounds = 1;
    std::string fail;
    for (const Option& option : options) {
        const std::string& n = option.name;
        long long number = 0;
        if (n == "--help" || n == "-help" || n == "-h") {
            command.help = true;
            return command;
        } else if (n == "-engine") {
            engines.emplace_back();
            fail = ReadEngineWords(option, engines.back());
        } else if (n == "-each") {
            fail = ReadEngineWords(option, each);
        } else if (n == "-tournament") {
            std::string kind;
            fail = OneText(option, kind);
            if (fail.empty()) {
                if (EqualsNoCase(kind, "round-robin"))
                    c.kind = TourneyKind::RoundRobin;
                else if (EqualsNoCase(kind, "gauntlet"))
                    c.kind = TourneyKind::Gauntlet;
                else
                    fail = n + ": \"" + kind + "\" is not round-robin or gauntlet";
            }
        } else if (n == "-games") {
            fail = OneNumber(option, 1, games);
            if (fail.empty() && games % 2 != 0)
                fail = n + ": " + option.values[0]
                    + " is odd (each pairing plays its games in pairs with the colours swapped)";
        } else if (n == "-rounds") {
            fail = OneNumber(option, 1, rounds);
        } else if (n == "-repeat") {
            // Each opening is always played twice with the colours swapped: the only repeat kept.
            if (!option.values.empty() && option.values != std::vector<std::string> { "2" })
                fail = n + ": only 2 (the pair with the colours swapped) is supported";
        } else if (n == "-recover") {
            // A crashed engine loses its game; the next game starts it again.
            if (!option.values.empty()) fail = n + ": takes no value";
        } else if (n == "-concurrency") {
            fail = OneNumber(option, 1, number);
            if (fail.empty() && number > 256) fail = n + ": at most 256";
            c.threads = static_cast<int>(std::min(number, 256LL));
        } else if (n == "-openings") {
            fail = ReadOpenings(option, command.match);
        } else if (n == "-srand") {
            fail = OneNumber(option, 0, number);
            command.match.openings.seed = static_cast<std::uint64_t>(number);
        } else if (n == "-sprt") {
            fail = ReadSprt(option, command.match);
        } else if (n == "-wait") {
            fail = OneNumber(option, 0, number);
            c.pacingMs = number;
        } else if (n == "-event") {
            fail = OneText(option, c.name);
        } else if (n == "-site") {
            std::string site;
            fail = OneText(option, site);
            c.extraTags.Set("Site", site);
        } else if (n == "-logfolder") {
            fail = OneText(option, c.logFolder);
        } else if (n == "-pgnout") {
            if (option.values.empty() || option.values.size() > 2
                || (option.values.size() == 2 && option.values[1] != "min"))
                fail = n + ": needs a file name, and min after it or nothing";
            else {
                command.pgnOut = option.values[0];
                command.pgnMinimal = option.values.size() == 2;
            }
        } else if (n == "-epdout") {
            fail = OneText(option, command.epdOut);
        } else if (n == "-draw" || n == "-resign") {
            fail = ReadAdjudication(option, c.adjudication);
        } else if (n == "-maxmoves") {
            fail = OneNumber(option, 1, number);
            if (fail.empty() && number > 1000000) fail = n + ": at most 1000000";
            c.adjudication.maxMoves = static_cast<int>(std::min(number, 1000000LL));
        } else if (n == "-ratinginterval") {
            fail = OneNumber(option, 0, number);
            command.ratingInterval = std::min(number, 1000000000LL);
        } else if (n == "-tb" || n == "-tbpieces" || n == "-tbignore50" || n == "-pgnin" || n == "-bookmode"
            || n == "-debug" || n == "-variant" || n == "-noswap" || n == "-reverse" || n == "-seeds"
            || n == "-outcomeinterval" || n == "-resultformat" || n == "-livepgnout" || n == "-pgnoutfull") {
            fail = n + ": not supported by this runner yet";
        } else {
            fail = "unknown option " + n;
        }
        if (!fail.empty()) {
            command.error = fail;
            return command;
        }
    }

    if (engines.size() < 2) {
        command.error = "-engine: at least two engines are needed";
        return command;
    }
    std::string sharedTc;
    for (const EngineWords& engineWords : engines) {
        clsPlayerConfig player;
        std::string tc;
        fail = MakePlayer(WithEach(engineWords, each), player, tc);
        if (fail.empty() && std::any_of(c.players.begin(), c.players.end(), [&](const clsPlayerConfig& p) {
                return p.name == player.name;
            }))
            fail = "-engine " + player.name + ": the name is used twice";
        if (fail.empty() && !tc.empty() && !ReadTimeControl(tc, c.movesPerControl, c.gameMs, c.incrementMs))
            fail = "-engine " + player.name + ": tc=" + tc
                + " is not a time control (40/60+0.6, 60+0.6, 0:30+0.1)";
        if (fail.empty() && !tc.empty() && !sharedTc.empty() && tc != sharedTc)
            fail = "-engine " + player.name + ": tc=" + tc + " differs from " + sharedTc
                + " (every engine on a clock plays on the same one)";
        if (!fail.empty()) {
            command.error = fail;
            return command;
        }
        if (!tc.empty()) sharedTc = tc;
        c.players.push_back(player);
    }
    // Each engine's standard error goes to a file of its own beside the log unless it names one.
    for (clsPlayerConfig& player : c.players)
        if (player.stderrFile.empty() && player.protocol != "embedded")
            player.stderrFile = std::filesystem::absolute(std::filesystem::path(c.logFolder)
                / (SafeFileName(c.name) + "." + SafeFileName(player.name) + ".stderr"))
                                    .lexically_normal()
                                    .string();
    if (command.match.hasSprt && c.players.size() != 2) {
        command.error = "-sprt: needs exactly two engines";
        return command;
    }
    const long long totalRounds = rounds * (games / 2);
    if (totalRounds > 1000000) {
        command.error = "-games: too many games";
        return command;
    }
    c.rounds = static_cast<int>(totalRounds);
    return command;
}

std::string MatchTourneyXml(const clsMatchCommand& command)
{
    const clsTourneyConfig& c = command.config;
    std::string x;
    x += "<?xml version=\"1.0\"?>\n";
    x += "<tourney" + Attribute("name", c.name)
        + Attribute("type", c.kind == TourneyKind::Gauntlet ? "gauntlet" : "roundrobin") + ">\n";
    x += "  <options>\n";
    x += "    <rounds>" + std::to_string(c.rounds) + "</rounds>\n";
    x += "    <threads>" + std::to_string(c.threads) + "</threads>\n";
    x += "    <logfolder>" + c.logFolder + "</logfolder>\n";
    x += "    <clock" + Attribute("moves_per_second", std::to_string(c.movesPerControl))
        + Attribute("game_ms", std::to_string(c.gameMs))
        + Attribute("increment_ms", std::to_string(c.incrementMs)) + "/>\n";
    x += "    <pacing_ms>" + std::to_string(std::max<std::int64_t>(c.pacingMs, 0)) + "</pacing_ms>\n";
    if (c.startDelayMs >= 0)
        x += "    <start_delay_ms>" + std::to_string(c.startDelayMs) + "</start_delay_ms>\n";
    if (command.match.hasOpenings) {
        const clsOpeningSettings& s = command.match.openings;
        x += "    <openings" + Attribute("file", std::filesystem::absolute(s.file).string())
            + Attribute("format", s.format == OpeningFormat::Pgn ? "pgn" : "epd")
            + Attribute("order", s.order == OpeningOrder::Random ? "random" : "sequential")
            + Attribute("plies", std::to_string(s.plies)) + Attribute("start", std::to_string(s.start))
            + Attribute("seed", std::to_string(s.seed)) + "/>\n";
    }
    if (c.adjudication.Any()) {
        const clsAdjudicationRules& a = c.adjudication;
        x += "    <adjudication>\n";
        if (a.draw)
            x += "      <draw" + Attribute("movenumber", std::to_string(a.drawMoveNumber))
                + Attribute("movecount", std::to_string(a.drawMoveCount))
                + Attribute("score", std::to_string(a.drawScore)) + "/>\n";
        if (a.resign)
            x += "      <resign" + Attribute("movecount", std::to_string(a.resignMoveCount))
                + Attribute("score", std::to_string(a.resignScore))
                + Attribute("twosided", a.resignTwoSided ? "true" : "false") + "/>\n";
        if (a.maxMoves > 0) x += "      <maxmoves>" + std::to_string(a.maxMoves) + "</maxmoves>\n";
        x += "    </adjudication>\n";
    }
    if (command.match.hasSprt) {
        const clsSprtSettings& s = command.match.sprt;
        x += "    <sprt" + Attribute("elo0", Number(s.elo0)) + Attribute("elo1", Number(s.elo1))
            + Attribute("alpha", Number(s.alpha)) + Attribute("beta", Number(s.beta)) + "/>\n";
    }
    x += "  </options>\n";
    x += "  <engines>\n";
    for (const clsPlayerConfig& p : c.players) {
        x += "    <engine active=\"true\"" + Attribute("name", p.name) + Attribute("protocol", p.protocol)
            + ">\n";
        if (!p.fileName.empty()) x += "      <filename>" + p.fileName + "</filename>\n";
        if (!p.parameters.empty()) x += "      <parameters>" + p.parameters + "</parameters>\n";
        if (!p.bookFile.empty())
            x += "      <book" + Attribute("file", p.bookFile)
                + (p.bookDepth > 0 ? Attribute("depth", std::to_string(p.bookDepth)) : std::string())
                + "/>\n";
        if (p.keepEngine) x += "      <restart>off</restart>\n";
        if (!p.workDir.empty()) x += "      <dir>" + p.workDir + "</dir>\n";
        for (const auto& [name, value] : p.options)
            x += "      <option" + Attribute("name", name) + Attribute("value", value) + "/>\n";
        if (p.limits != clsMoveLimits {}) {
            const clsMoveLimits& l = p.limits;
            x += "      <limits"
                + (l.moveMs > 0 ? Attribute("movetime_ms", std::to_string(l.moveMs)) : std::string())
                + (l.nodes > 0 ? Attribute("nodes", std::to_string(l.nodes)) : std::string())
                + (l.depth > 0 ? Attribute("depth", std::to_string(l.depth)) : std::string())
                + (l.clock ? std::string() : Attribute("clock", "off"))
                + (l.marginMs >= 0 ? Attribute("margin_ms", std::to_string(l.marginMs)) : std::string())
                + "/>\n";
        }
        if (!p.stderrFile.empty()) x += "      <stderr>" + p.stderrFile + "</stderr>\n";
        x += "    </engine>\n";
    }
    x += "  </engines>\n";
    if (!c.extraTags.Empty()) {
        x += "  <pgn><header>";
        for (const auto& tag : c.extraTags)
            x += "<" + tag.key + ">" + tag.value + "</" + tag.key + ">";
        x += "</header></pgn>\n";
    }
    x += "</tourney>\n";
    return x;
}

std::vector<std::string> MatchHelpLines()
{
    return {
        "usage: corvala -use=match OPTIONS...",
        "  -engine name=N cmd=PATH arg=A proto=uci|xboard|embedded option.NAME=VALUE tc=TC restart=off|on",
        "                 one player; arg= may repeat; TC is [moves/]seconds[+increment] or",
        "                 minutes:seconds[+increment], the same for every engine on a clock",
        "                 option.NAME=VALUE: uci \"setoption name NAME value VALUE\" and xboard",
        "                 \"option NAME=VALUE\" once after the handshake (sent to xboard engines",
        "                 whether they offered it or not); for proto=embedded its parameters",
        "                 dir=DIR: the folder the engine starts in (it must exist)",
        "                 st=SECONDS: a fixed time per move in place of tc= (fractions allowed; xboard",
        "                 gets whole seconds, the nearest, at least 1); the referee allows each move",
        "                 that time and 100 ms, and a move over it loses on time",
        "                 timemargin=MS: what a move may take past its time instead (st=), or past",
        "                 the clock on top of its 50 ms grace (tc=)",
        "                 depth=N: uci \"go ... depth N\", xboard \"sd N\"; nodes=N: uci \"go ... nodes N\"",
        "                 (refused for xboard engines); without tc= and st=, or with tc=inf, the",
        "                 engine plays without a clock (a move that takes 15 minutes counts as hung)",
        "                 tc=inf: no clock; needs st=, nodes= or depth=",
        "                 stderr=FILE: the engine's standard error is appended to FILE (default:",
        "                 LOGFOLDER/EVENT.NAME.stderr); it never reaches the runner's output",
        "                 book=FILE bookdepth=N: the runner plays the engine's first N moves (no limit",
        "                 without bookdepth) from a polyglot .bin or a .cbk book while it has one",
        "                 restart=off (default): each game slot starts the engine once and keeps it",
        "                 between games; restart=on: started for every game",
        "                 dir=, st=, nodes=, depth=, timemargin=, stderr= and tc=inf are for uci and",
        "                 xboard engines",
        "  -each KEY=VALUE ...      keys for every engine (an engine's own keys come first)",
        "  -tournament round-robin|gauntlet",
        "  -games N                 games per pairing and round (even: pairs with the colours swapped)",
        "  -rounds N                repeats of the whole schedule",
        "  -repeat                  each opening twice with the colours swapped (always done)",
        "  -concurrency N           games at once",
        "  -openings file=F format=epd|pgn order=sequential|random plies=N start=K",
        "  -srand N                 seed of the random opening order",
        "  -sprt elo0=E0 elo1=E1 alpha=A beta=B   two engines; once a bound is crossed no game",
        "                           starts and the games still running are stopped, not counted",
        "  -draw movenumber=N movecount=C score=S   a draw once both engines' scores stay within S",
        "                           centipawns for C moves each, from move N on",
        "  -resign movecount=C score=S [twosided=true]   a loss once a side's own score stays at or",
        "                           below -S for C of its moves (twosided: and the other's at or above S)",
        "  -maxmoves N              a draw once the game has N full moves",
        "  -ratinginterval N        the Elo line (and the SPRT standing) every N games",
        "                           (default 10; 0: only at the end)",
        "  -pgnout FILE [min]       every finished game's PGN gathered into FILE at the end; min:",
        "                           the seven standard tags, the moves and the result's comment",
        "  -epdout FILE             each game's last position appended to FILE as the game ends",
        "  -recover                 a crashed engine loses its game and plays the next (always done)",
        "  -wait MS                 pause after each command to an engine (default 0)",
        "  -event NAME              the Event tag and the tournament's file names (default match)",
        "  -site NAME               the Site tag",
        "  -logfolder DIR           where the tournament file, log, state and games go (default match)",
        "Prints \"Started game N of M (A vs B)\", \"Finished game N (A vs B): 1-0 {White mates}\",",
        "  \"Score of A vs B: W - L - D  [score] N\" after each game, and the tables at the end.",
        "Refused by name as not supported yet: whitepov= ponder= initstr=.",
        "The match is written as DIR/NAME.xml: \"corvala -use=tourney -ini=DIR/NAME.xml\" continues it,",
        "  \"-use=jobs -ini=DIR/NAME.xml\" lists its games.",
    };
}

int RunMatchCommand(const std::vector<std::string>& words)
{
    dranbase::Output().Release();
    // The lines people read go to standard output; the tournament's own lines to its log, and
    // comment lines (refusals, "# process terminated!") to standard error, while the match runs.
    struct CommentsToStderr {
        CommentsToStderr() { dranbase::Output().SetCommentsToStderr(true); }
        ~CommentsToStderr() { dranbase::Output().SetCommentsToStderr(false); }
        CommentsToStderr(const CommentsToStderr&) = delete;
        CommentsToStderr& operator=(const CommentsToStderr&) = delete;
    } commentsToStderr;
    const clsMatchCommand command = ReadMatchCommand(words);
    if (command.help) {
        for (const std::string& line : MatchHelpLines())
            dranbase::Output().Write(line, true);
        return 0;
    }
    if (!command.error.empty()) {
        dranbase::Output().Write("# match refused: " + command.error, true);
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(command.config.logFolder, ec);
    const std::string file
        = dranbase::JoinPath(command.config.logFolder, SafeFileName(command.config.name)) + ".xml";
    const std::string text = MatchTourneyXml(command);
    // The same command line continues its match; another one under the same name is refused by
    // the tournament (its file's fingerprint no longer fits the state) only when the file is
    // replaced: so a different match under the same name and folder is refused here.
    dranbase::clsString existing;
    if (existing.LoadFromFile(file) > 0 && existing != text) {
        dranbase::Output().Write("# match refused: " + file
                + " describes another match; give another -event or -logfolder, or delete it",
            true);
        return 1;
    }
    if (!dranbase::WriteFileAtomic(file, text)) {
        dranbase::Output().Write("# match refused: cannot write " + file, true);
        return 1;
    }
    // The last positions go to a file opened for appending before the first game.
    std::ofstream epd;
    std::mutex epdMutex;
    if (!command.epdOut.empty()) {
        epd.open(command.epdOut, std::ios::app);
        if (!epd) {
            dranbase::Output().Write("# match refused: cannot write " + command.epdOut, true);
            return 1;
        }
    }
    clsTourney tourney(1, file);
    tourney.QuietConsole = true;
    auto playerName = [&](int p) { return tourney.Player(p)->Name; };
    tourney.GameStarted = [&](const clsTourney::GameEvent& e) {
        dranbase::Output().Write(
            StartedGameLine(e.number, e.total, playerName(e.white), playerName(e.black)), true);
    };
    long long finished = 0;
    long long stopped = 0;
    tourney.GameFinished = [&](const clsTourney::GameEvent& e) {
        if (e.stoppedByVerdict) {
            ++stopped;
            dranbase::Output().Write(
                StoppedGameLine(e.number, playerName(e.white), playerName(e.black)), true);
            return;
        }
        if (epd.is_open() && !e.game->FinalPosition().empty()) {
            std::lock_guard lock(epdMutex);
            epd << e.game->FinalPosition() << '\n' << std::flush;
        }
        dranbase::Output().Write(
            FinishedGameLine(e.number, playerName(e.white), playerName(e.black), e.game->ResultCode), true);
        const int a = std::min(e.white, e.black), b = std::max(e.white, e.black);
        const clsMatchTally* pair = tourney.Tally().Pair(a, b);
        if (!pair) return;
        dranbase::Output().Write(ScoreOfLine(playerName(a), playerName(b), pair->Games()), true);
        if (command.ratingInterval > 0 && ++finished % command.ratingInterval == 0) {
            dranbase::Output().Write(EloLine(pair->Games()), true);
            if (const std::string sprt = tourney.SprtLine(); !sprt.empty())
                dranbase::Output().Write(sprt, true);
        }
    };
    tourney.Start();
    tourney.Wait();
    if (tourney.Failed()) return 1;
    for (const std::string& line : FinalLines(tourney, stopped))
        dranbase::Output().Write(line, true);

    if (!command.pgnOut.empty()) {
        // The finished games' own files, in game order; those stopped unfinished are left out.
        std::string all;
        for (const clsFinishedGame& game : tourney.FinishedGames()) {
            dranbase::clsString pgn;
            pgn.LoadFromFile(dranbase::ReplaceExtension(game.pgnFile, "pgn"));
            all += command.pgnMinimal ? MinimalPgn(pgn, game.resultCode) : std::string(pgn);
            if (!all.empty() && all.back() != '\n') all += "\n";
            all += "\n";
        }
        if (!dranbase::WriteFileAtomic(command.pgnOut, all)) {
            dranbase::Output().Write("# cannot write " + command.pgnOut, true);
            return 1;
        }
    }
    return 0;
}

} // namespace drnChess
