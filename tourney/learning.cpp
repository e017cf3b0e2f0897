#include "tourney/learning.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

#include "dranbase/clsfile.h"
#include "engine/clsengine.h"
#include "rules/random.h"
#include "tourney/clstourney.h"
#include "tourney/clstourneygame.h"
#include "tourney/playgame.h"

namespace drnChess {

using dranbase::SplitAll;
using dranbase::SplitFields;
using dranbase::ToInt;

namespace {

    // Start positions are taken only when a four-ply search finds them within a pawn; a file of
    // nothing but unbalanced positions must not hold the run forever.
    constexpr int MaxPositionTries = 200;

    struct Member {
        std::string name;
        int score = 0;
        bool isProtected = false;
        std::unique_ptr<clsEngine> engine;
    };

    void Say(dranbase::clsOutBuffer& out, const std::string& text)
    {
        out.Print(text, true);
    }

    SoulValues ValuesOf(const clsEngine& e)
    {
        return e.Soul();
    }

    void SetValues(clsEngine& e, const std::string& name, const SoulValues& v)
    {
        std::string text = name + "=";
        for (int i = 0; i < SoulWeight::Count; ++i)
            text += (i ? " " : "") + std::to_string(v[static_cast<std::size_t>(i)]);
        e.ApplySoulText(text);
    }

} // namespace

int RandomBelow(int n)
{
    if (n <= 0) return 0;
    std::int32_t r = static_cast<std::int32_t>(static_cast<std::uint32_t>(NextRandom()));
    long long a = r < 0 ? -static_cast<long long>(r) : r;
    return static_cast<int>(a % n);
}

std::string LearnRecordText(const clsLearnRecord& r)
{
    std::string s = std::to_string(r.generation) + "\t" + std::to_string(r.member) + "\t'" + r.name + "'\t"
        + std::to_string(r.score) + "\t";
    for (auto v : r.values)
        s += std::to_string(v) + "\t";
    return s;
}

bool ParseLearnRecord(const std::string& line, clsLearnRecord& r)
{
    std::string text = line;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    auto f = SplitAll(text, '\t');
    if (f.size() < 4) return false;
    r.generation = static_cast<int>(ToInt(f[0]));
    r.member = static_cast<int>(ToInt(f[1]));
    r.name = f[2];
    if (r.name.size() >= 2 && r.name.front() == '\'' && r.name.back() == '\'')
        r.name = r.name.substr(1, r.name.size() - 2);
    r.score = static_cast<int>(ToInt(f[3]));
    r.values.fill(0);
    for (std::size_t i = 0; i < r.values.size() && 4 + i < f.size(); ++i)
        r.values[i] = static_cast<std::int32_t>(ToInt(f[4 + i]));
    return true;
}

std::vector<clsLearnRecord> LastGeneration(const std::string& fileText)
{
    std::vector<clsLearnRecord> all;
    for (const auto& line : SplitAll(fileText, '\n')) {
        clsLearnRecord r;
        if (!dranbase::Trim(line).empty() && ParseLearnRecord(line, r)) all.push_back(r);
    }
    if (all.empty()) return {};
    int last = all.back().generation;
    std::vector<clsLearnRecord> out;
    for (const auto& r : all)
        if (r.generation == last) out.push_back(r);
    return out;
}

void Breed(std::vector<clsBreedMember>& ranked)
{
    const int n = static_cast<int>(ranked.size());
    for (int pick = 0; pick < n / 8 + 1; ++pick) {
        int a = RandomBelow(n - 1);
        int b = RandomBelow(n - 1);
        if (a == b) continue;
        auto& lo = ranked[static_cast<std::size_t>(std::min(a, b))];
        auto& hi = ranked[static_cast<std::size_t>(std::max(a, b))];
        if (!hi.isProtected) {
            for (std::size_t i = 0; i < hi.values.size(); ++i) {
                int r = RandomBelow(100);
                if (r < 2)
                    hi.values[i] = RandomBelow(105); // mutation
                else if (r < 10)
                    hi.values[i] = static_cast<std::int32_t>(
                        (static_cast<long long>(lo.values[i]) + hi.values[i]) / 2);
                else if (r < 70)
                    hi.values[i] = lo.values[i];
            }
        }
        hi.score = std::min(lo.score, hi.score);
    }
}

bool LearnCommand(const std::string& rest, clsEngineShare* share, const dranbase::clsStrings& options,
    dranbase::clsOutBuffer& out, dranbase::clsThread* owner)
{
    auto f = SplitFields(rest);
    f.resize(std::max<std::size_t>(f.size(), 5));
    clsLearnSettings s;
    s.file = f[0];
    s.generations = static_cast<int>(ToInt(f[1]));
    s.engines = static_cast<int>(ToInt(f[2]));
    s.msPerMove = ToInt(f[3]);
    s.maxPlies = static_cast<int>(ToInt(f[4]));
    // The souls file is the rest after the fifth field.
    std::size_t pos = 0;
    for (int field = 0; field < 5 && pos != std::string::npos; ++field) {
        pos = rest.find_first_not_of(' ', pos);
        if (pos != std::string::npos) pos = rest.find(' ', pos);
    }
    if (pos != std::string::npos) s.soulsFile = dranbase::Trim(rest.substr(pos));
    if (s.file.empty() || s.generations < 1 || s.engines < 1 || s.msPerMove < 1 || s.maxPlies < 1
        || s.engines < 2 || s.engines > SoulNameCount) {
        Say(out, "# learn file generations engines_count ms_per_move max_moves [souls file]");
        if (s.engines == 1 || s.engines > SoulNameCount)
            Say(out, "# engines_count must be 2 to " + std::to_string(SoulNameCount));
        return false;
    }
    return RunLearning(s, share, options, out, owner);
}

bool RunLearning(const clsLearnSettings& settings, clsEngineShare* share, const dranbase::clsStrings& options,
    dranbase::clsOutBuffer& out, dranbase::clsThread* owner)
{
    const int n = settings.engines;
    auto cancelled = [owner] { return owner && owner->Cancelled(); };

    // 1. Start positions.
    std::vector<std::string> positions;
    dranbase::clsCStrings lines;
    if (lines.LoadFromFile(settings.positionsFile)) {
        for (const auto& l : lines) {
            auto fields = SplitAll(l, '\t');
            if (fields.size() >= 4 && !dranbase::Trim(fields[3]).empty())
                positions.push_back(dranbase::Trim(fields[3]));
        }
        Say(out, "# using " + std::to_string(positions.size()) + " book lines");
    } else {
        Say(out,
            "# no start positions: " + settings.positionsFile
                + " cannot be read; games start from the start position");
    }

    // 2..4. Members.
    const std::string pgnFile = settings.file + ".pgn";
    std::vector<clsLearnRecord> previous;
    if (!settings.soulsFile.empty()) {
        dranbase::clsString text;
        if (text.LoadFromFile(settings.soulsFile) == 0)
            Say(out, "# souls file " + settings.soulsFile + " cannot be read; starting with fresh souls");
        previous = LastGeneration(text);
    }
    int generation = previous.empty() ? 0 : previous.front().generation + 1;
    if (generation >= settings.generations) {
        // A continued run asked for no more than is done: nothing would be played.
        Say(out,
            "# " + std::to_string(generation) + " generations are done in " + settings.soulsFile
                + "; ask for more than " + std::to_string(generation) + " to go on");
        return false;
    }
    std::vector<Member> members(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        Member& m = members[static_cast<std::size_t>(i)];
        m.engine = std::make_unique<clsEngine>(options, share);
        m.engine->SetKeepLines(false);
        m.name = SoulNames[i];
        m.isProtected = i == 0;
        if (i < static_cast<int>(previous.size())) {
            const auto& r = previous[static_cast<std::size_t>(i)];
            m.name = r.name;
            m.score = r.score;
            SetValues(*m.engine, m.name, r.values);
        } else if (previous.empty() && i % 2 == 1) {
            SoulValues v {};
            for (auto& x : v)
                x = RandomBelow(105);
            SetValues(*m.engine, m.name, v);
        }
        Say(out, std::to_string(i) + ":\t" + m.engine->SoulValuesText());
    }

    auto probe = std::make_unique<clsEngine>(options, share);
    probe->SetKeepLines(false);
    int pairNumber = 0;
    const int pairsPerGeneration = n * (n - 1) / 2;

    while (generation < settings.generations && !cancelled()) {
        Say(out, "#---------------------------- GENERATION " + std::to_string(generation));
        // 2. Every pair plays twice, each member moving first once.
        for (int i = 0; i < n && !cancelled(); ++i) {
            for (int j = i + 1; j < n && !cancelled(); ++j) {
                std::string fen;
                for (int tries = 0; !positions.empty() && tries < MaxPositionTries; ++tries) {
                    fen = positions[static_cast<std::size_t>(
                        RandomBelow(static_cast<int>(positions.size())))];
                    probe->SetFromFEN(fen);
                    std::uint64_t nodes = 0;
                    int score = probe->FourPlyProbe(&nodes);
                    if (score >= -105 && score <= 105) break;
                    fen.clear();
                }
                Say(out, "");
                Say(out, "Generation " + std::to_string(generation));
                Member& a = members[static_cast<std::size_t>(i)];
                Member& b = members[static_cast<std::size_t>(j)];
                for (int leg = 0; leg < 2 && !cancelled(); ++leg) {
                    Member& first = leg == 0 ? a : b;
                    Member& second = leg == 0 ? b : a;
                    clsPlaySettings ps;
                    ps.msPerMove = settings.msPerMove;
                    ps.maxPlies = settings.maxPlies;
                    ps.startFEN = fen;
                    ps.pgnFile = pgnFile;
                    ps.nameA = first.name;
                    ps.nameB = second.name;
                    ps.event = "Corvala learning, generation " + std::to_string(generation);
                    clsPlayResult r = PlayEngineGame(*first.engine, *second.engine, ps, out, owner);
                    first.score += r.result;
                    second.score -= r.result;
                }
                ++pairNumber;
                Say(out,
                    "# " + std::to_string(pairNumber) + "-" + std::to_string(pairsPerGeneration) + " '"
                        + a.name + "' " + std::to_string(a.score) + " vs '" + b.name + "' "
                        + std::to_string(b.score));
            }
        }
        if (cancelled()) break;

        // 3. Ranking, best first; equal scores keep their order.
        std::stable_sort(members.begin(), members.end(),
            [](const Member& x, const Member& y) { return x.score > y.score; });

        // 4. Report, and the generation's records appended in one piece.
        Say(out, "#----------------------------------");
        for (const auto& m : members)
            Say(out, "# '" + m.name + "' = " + std::to_string(m.score));
        Say(out, "#----------------------------------");
        std::string records;
        for (int k = 0; k < n; ++k) {
            const Member& m = members[static_cast<std::size_t>(k)];
            clsLearnRecord r { generation, k + 1, m.name, m.score, ValuesOf(*m.engine) };
            records += LearnRecordText(r) + "\r\n";
        }
        dranbase::clsString old;
        old.LoadFromFile(settings.file);
        if (!dranbase::WriteFileAtomic(settings.file, old + records))
            Say(out, "# cannot write the learning file " + settings.file);

        // 5. Breeding.
        std::vector<clsBreedMember> ranked;
        for (const auto& m : members)
            ranked.push_back({ ValuesOf(*m.engine), m.score, m.isProtected });
        Breed(ranked);
        for (std::size_t k = 0; k < members.size(); ++k) {
            if (ranked[k].values != ValuesOf(*members[k].engine))
                SetValues(*members[k].engine, members[k].name, ranked[k].values);
        }
        // 6. Next generation.
        for (auto& m : members)
            m.score = 0;
        ++generation;
        pairNumber = 0;
    }
    return true;
}

void LearntCommand(clsEngine& engine, dranbase::clsOutBuffer& out, dranbase::clsThread* owner)
{
    constexpr int Rounds = 10;
    engine.SelectSoul(DefaultSoulName);
    SoulValues best = engine.Soul();
    std::string bestName = DefaultSoulName; // no round played: the default soul stays
    int bestScore = INT_MIN;
    for (int round = 1; round <= Rounds && !(owner && owner->Cancelled()); ++round) {
        // A candidate: the best soul so far with some of its values drawn afresh or nudged.
        SoulValues candidate = best;
        if (round > 1) {
            for (auto& v : candidate) {
                int r = RandomBelow(100);
                if (r < 10)
                    v = RandomBelow(105);
                else if (r < 40)
                    v += RandomBelow(11) - 5;
            }
        }
        std::string name = "Learnt" + std::to_string(round);
        std::string text = name + "=";
        for (std::size_t i = 0; i < candidate.size(); ++i)
            text += (i ? " " : "") + std::to_string(candidate[i]);
        if (!dranbase::clsString(text).SaveToFile("soul.txt", true)) {
            out.Print("# cannot write soul.txt", true);
            return;
        }
        auto tourney = std::make_unique<clsTourney>(round, "tourney.xml");
        tourney->Start();
        while (tourney->IsRunning()) {
            if (owner) {
                if (!owner->Sleep(50)) {
                    tourney->Cancel();
                    break;
                }
            } else {
                dranbase::SleepMs(50);
            }
        }
        tourney->Wait();
        int score = tourney->PlayerCount() > 0 ? tourney->Player(0)->Score() : 0;
        out.Print(
            "#=================> round " + std::to_string(round) + " " + text + " = " + std::to_string(score),
            true);
        if (score > bestScore) {
            bestScore = score;
            best = candidate;
            bestName = name;
        }
    }
    // The best candidate under its own name, in soul.txt (not the last one tried) and in force.
    std::string text = bestName + "=";
    for (std::size_t i = 0; i < best.size(); ++i)
        text += (i ? " " : "") + std::to_string(best[i]);
    if (!dranbase::clsString(text).SaveToFile("soul.txt", true)) out.Print("# cannot write soul.txt", true);
    engine.ApplySoulText(text);
    out.Print("# best soul: " + text + " (score " + std::to_string(bestScore) + ")", true);
}

} // namespace drnChess
