#include "tourney/tourneystate.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "dranbase/clsfile.h"
#include "dranbase/clsstring.h"
#include "dranbase/clsxml.h"

namespace drnChess {

namespace {
    constexpr const char* Header = "corvala tournament state 1";

    std::uint64_t Fnv1a(std::string_view text)
    {
        std::uint64_t h = 1469598103934665603ULL;
        for (unsigned char c : text) {
            h ^= c;
            h *= 1099511628211ULL;
        }
        return h;
    }

    std::string Hex(std::uint64_t v)
    {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
        return buf;
    }

    // Tabs, line ends and '%' as %XX, so that a name stays inside its field and line.
    std::string Escape(std::string_view s)
    {
        std::string out;
        for (char c : s) {
            if (c == '\t' || c == '\n' || c == '\r' || c == '%') {
                char buf[4];
                std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
                out += buf;
            } else {
                out += c;
            }
        }
        return out;
    }

    bool Unescape(std::string_view s, std::string& out)
    {
        out.clear();
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] != '%') {
                out += s[i];
                continue;
            }
            if (i + 2 >= s.size()) return false;
            const std::string hex(s.substr(i + 1, 2));
            if (hex.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) return false;
            out += static_cast<char>(std::stoi(hex, nullptr, 16));
            i += 2;
        }
        return true;
    }

    // A decimal number of at most `digits` digits, or false.
    bool ReadNumber(std::string_view s, int digits, std::uint64_t& value)
    {
        if (s.empty() || s.size() > static_cast<std::size_t>(digits)) return false;
        value = 0;
        for (char c : s) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
        }
        return true;
    }

    clsStateRead Damaged(const std::string& where, const std::string& why)
    {
        clsStateRead r;
        r.status = StateStatus::Damaged;
        r.message = "the tournament state " + where + " is damaged (" + why
            + "); delete it to start the tournament afresh";
        return r;
    }
} // namespace

void clsTourneyState::MarkFinished(int index, std::uint32_t resultCode, std::string pgnFile)
{
    auto at = std::lower_bound(
        games.begin(), games.end(), index, [](const clsFinishedGame& g, int i) { return g.index < i; });
    if (at != games.end() && at->index == index) {
        at->resultCode = resultCode;
        at->pgnFile = std::move(pgnFile);
    } else {
        games.insert(at, { index, resultCode, std::move(pgnFile) });
    }
}

const clsFinishedGame* clsTourneyState::Find(int index) const
{
    auto at = std::lower_bound(
        games.begin(), games.end(), index, [](const clsFinishedGame& g, int i) { return g.index < i; });
    return at != games.end() && at->index == index ? &*at : nullptr;
}

std::string TourneyFingerprint(const dranbase::clsXML& document)
{
    std::string text;
    if (const dranbase::clsXML* tourney = document.FindPath("tourney")) {
        text += "name=" + tourney->GetAttribute("name")
            + "\ntype=" + dranbase::ToLower(tourney->GetAttribute("type")) + "\n";
        if (const dranbase::clsXML* engines = tourney->FindChild("engines")) text += engines->ToText();
        if (const dranbase::clsXML* options = tourney->FindChild("options")) {
            for (int i = 0; i < options->ChildCount(); ++i) {
                const dranbase::clsXML* c = options->Child(i);
                if (c->NodeKind() == dranbase::clsXML::Comment) continue;
                const std::string name = dranbase::ToLower(c->Name());
                if (name == "threads" || name == "verbose" || name == "logfolder") continue;
                text += c->ToText();
            }
        }
    }
    return Hex(Fnv1a(text));
}

std::string StateFileName(const std::string& logFile)
{
    return dranbase::ReplaceExtension(logFile, "state");
}

std::string StateText(const clsTourneyState& state)
{
    std::string text = std::string(Header) + "\nfingerprint\t" + Escape(state.fingerprint) + "\n";
    for (const clsFinishedGame& g : state.games)
        text += "game\t" + std::to_string(g.index) + "\t" + std::to_string(g.resultCode) + "\t"
            + Escape(g.pgnFile) + "\n";
    // The count and checksum of everything above close the file: a cut or edit breaks them.
    return text + "end\t" + std::to_string(state.games.size()) + "\t" + Hex(Fnv1a(text)) + "\n";
}

clsStateRead ParseStateText(std::string_view text, const std::string& fingerprint, const std::string& where)
{
    const std::size_t endAt = text.rfind("end\t");
    if (endAt == std::string_view::npos || (endAt > 0 && text[endAt - 1] != '\n'))
        return Damaged(where, "it has no end line");
    const std::string_view body = text.substr(0, endAt);
    const std::vector<std::string> end = dranbase::SplitAll(dranbase::Trim(text.substr(endAt)), '\t');
    if (end.size() != 3 || text.back() != '\n') return Damaged(where, "its end line is cut");
    if (end[2] != Hex(Fnv1a(body))) return Damaged(where, "its checksum does not match");

    clsStateRead r;
    int lineNumber = 0;
    std::size_t pos = 0;
    bool haveFingerprint = false;
    while (pos < body.size()) {
        const std::size_t eol = body.find('\n', pos);
        const std::string_view line = body.substr(pos, eol - pos);
        pos = eol + 1;
        const std::string at = "line " + std::to_string(++lineNumber);
        if (lineNumber == 1) {
            if (line != Header) return Damaged(where, at + " is not the header");
            continue;
        }
        const std::vector<std::string> f = dranbase::SplitAll(line, '\t');
        if (f.size() == 2 && f[0] == "fingerprint" && !haveFingerprint) {
            if (!Unescape(f[1], r.state.fingerprint)) return Damaged(where, at + " is unreadable");
            haveFingerprint = true;
            continue;
        }
        std::uint64_t index = 0, code = 0;
        std::string pgn;
        if (f.size() != 4 || f[0] != "game" || !ReadNumber(f[1], 9, index) || !ReadNumber(f[2], 10, code)
            || code > 0xFFFFFFFFULL || !Unescape(f[3], pgn))
            return Damaged(where, at + " is unreadable");
        const int i = static_cast<int>(index);
        if (r.state.Find(i)) return Damaged(where, at + " repeats game " + f[1]);
        r.state.MarkFinished(i, static_cast<std::uint32_t>(code), std::move(pgn));
    }
    if (!haveFingerprint) return Damaged(where, "it has no fingerprint");
    if (end[1] != std::to_string(r.state.games.size()))
        return Damaged(where, "its game count does not match");
    if (r.state.fingerprint != fingerprint) {
        r.status = StateStatus::OtherTourney;
        r.state = {};
        r.message = "the tournament file's players or options changed since " + where
            + " was written; delete it to start the tournament afresh, or restore the file";
        return r;
    }
    r.status = StateStatus::Loaded;
    return r;
}

clsStateRead LoadTourneyState(const std::string& path, const std::string& fingerprint)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {};
    std::ifstream in(path, std::ios::binary);
    if (!in) return Damaged(path, "it cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    return ParseStateText(text.str(), fingerprint, path);
}

bool SaveTourneyState(const std::string& path, const clsTourneyState& state)
{
    return dranbase::WriteFileAtomic(path, StateText(state));
}

} // namespace drnChess
