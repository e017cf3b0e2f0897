#include "tourney/clstourney.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "dranbase/clsfile.h"
#include "dranbase/console.h"
#include "tourney/gamerules.h"

namespace drnChess {

using dranbase::EqualsNoCase;
using dranbase::Trim;

namespace {

    // The log line of a tournament that played to its end (a run that has it is not continued).
    constexpr std::string_view FinishedLine = "----------------- tournament has finished";

    std::string Unquoted(const std::string& text)
    {
        std::string s = Trim(text);
        if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
        return s;
    }

    // A whole number of the description, all of the text (spaces around it aside).
    bool ReadWhole(const std::string& text, std::int64_t& value)
    {
        const std::string t = Trim(text);
        const char* end = t.data() + t.size();
        const auto [stop, error] = std::from_chars(t.data(), end, value);
        return !t.empty() && error == std::errc {} && stop == end;
    }

    // A number of the description: the element or attribute when present, else the default.
    // A present value that is not a whole number from `low` is a problem naming `what`, and the
    // default stays.
    std::int64_t NumberOr(const std::string& text, bool present, std::int64_t fallback, std::int64_t low,
        const std::string& what, std::vector<std::string>& problems)
    {
        if (!present) return fallback;
        std::int64_t value = 0;
        if (ReadWhole(text, value) && value >= low) return value;
        problems.push_back(what + " \"" + Trim(text) + "\" is not a whole number"
            + (low > INT64_MIN ? " from " + std::to_string(low) : std::string()));
        return fallback;
    }

    int SmallNumber(std::int64_t value)
    {
        return static_cast<int>(std::min<std::int64_t>(value, INT32_MAX));
    }

    void ReadAdjudication(
        const dranbase::clsXML& element, clsAdjudicationRules& rules, std::vector<std::string>& problems)
    {
        auto attribute = [&](const dranbase::clsXML& e, const char* name, std::int64_t low) {
            const std::string what = "<adjudication> <" + e.Name() + "> " + name;
            if (!e.Attributes().Has(name)) {
                problems.push_back(what + " is missing");
                return std::int64_t { 0 };
            }
            return NumberOr(e.GetAttribute(name), true, 0, low, what, problems);
        };
        if (const dranbase::clsXML* draw = element.FindChild("draw")) {
            rules.draw = true;
            rules.drawMoveNumber = SmallNumber(attribute(*draw, "movenumber", 0));
            rules.drawMoveCount = SmallNumber(attribute(*draw, "movecount", 1));
            rules.drawScore = SmallNumber(attribute(*draw, "score", 0));
        }
        if (const dranbase::clsXML* resign = element.FindChild("resign")) {
            rules.resign = true;
            rules.resignMoveCount = SmallNumber(attribute(*resign, "movecount", 1));
            rules.resignScore = SmallNumber(attribute(*resign, "score", 0));
            const std::string twoSided = Trim(resign->GetAttribute("twosided"));
            if (EqualsNoCase(twoSided, "true"))
                rules.resignTwoSided = true;
            else if (!twoSided.empty() && !EqualsNoCase(twoSided, "false"))
                problems.push_back(
                    "<adjudication> <resign> twosided \"" + twoSided + "\" is not true or false");
        }
        if (const dranbase::clsXML* maxMoves = element.FindChild("maxmoves"))
            rules.maxMoves
                = SmallNumber(NumberOr(maxMoves->Text(), true, 0, 1, "<adjudication> <maxmoves>", problems));
    }

    // The optional keys of a uci or xboard engine: <dir>, <option>, <limits>, <stderr>.
    void ReadEngineKeys(const dranbase::clsXML& e, clsPlayerConfig& p, std::vector<std::string>& problems)
    {
        const std::string engine = "engine " + QuoteName(p.name);
        bool any = false;
        if (const dranbase::clsXML* dir = e.FindChild("dir")) {
            p.workDir = Unquoted(dir->Text());
            if (p.workDir.empty()) problems.push_back("<dir> of " + engine + " is empty");
            any = true;
        }
        if (const dranbase::clsXML* file = e.FindChild("stderr")) {
            p.stderrFile = Unquoted(file->Text());
            if (p.stderrFile.empty()) problems.push_back("<stderr> of " + engine + " is empty");
            any = true;
        }
        for (int i = 0; i < e.ChildCount(); ++i) {
            const dranbase::clsXML* option = e.Child(i);
            if (option->Name() != "option") continue;
            const std::string name = Trim(option->GetAttribute("name"));
            if (name.empty()) problems.push_back("<option> of " + engine + " has no name");
            p.options.emplace_back(name, option->GetAttribute("value"));
            any = true;
        }
        if (const dranbase::clsXML* limits = e.FindChild("limits")) {
            any = true;
            auto number = [&](const char* name) {
                return NumberOr(limits->GetAttribute(name), limits->Attributes().Has(name), 0, 1,
                    "<limits> of " + engine + " " + name, problems);
            };
            p.limits.moveMs = number("movetime_ms");
            p.limits.nodes = number("nodes");
            p.limits.depth = SmallNumber(number("depth"));
            p.limits.marginMs
                = NumberOr(limits->GetAttribute("margin_ms"), limits->Attributes().Has("margin_ms"), -1, 0,
                    "<limits> of " + engine + " margin_ms", problems);
            const std::string clock = Trim(limits->GetAttribute("clock"));
            if (EqualsNoCase(clock, "off"))
                p.limits.clock = false;
            else if (!clock.empty() && !EqualsNoCase(clock, "on"))
                problems.push_back("<limits> of " + engine + " clock \"" + clock + "\" is not on or off");
            if (!p.limits.clock && p.limits.moveMs == 0 && p.limits.nodes == 0 && p.limits.depth == 0)
                problems.push_back("<limits> of " + engine
                    + " has clock=\"off\" and no movetime_ms, nodes or depth: nothing would end a move");
            if (p.limits.nodes > 0 && !EqualsNoCase(p.protocol, "uci"))
                problems.push_back("<limits> of " + engine + " nodes: only uci engines take a node limit");
        }
        if (any && EqualsNoCase(p.protocol, "embedded"))
            problems.push_back(
                "<dir>, <option>, <limits> and <stderr> of " + engine + " are for uci and xboard engines");
    }

} // namespace

clsTourneyConfig ReadTourneyConfig(const dranbase::clsXML& document)
{
    clsTourneyConfig c;
    const dranbase::clsXML* tourney = document.FindPath("tourney");
    if (!tourney) return c;
    c.found = true;
    c.name = tourney->GetAttribute("name");
    const std::string type = tourney->GetAttribute("type");
    if (EqualsNoCase(type, "gauntlet"))
        c.kind = TourneyKind::Gauntlet;
    else if (EqualsNoCase(type, "learning"))
        c.kind = TourneyKind::Learning;

    if (const dranbase::clsXML* options = tourney->FindChild("options")) {
        const dranbase::clsXML* rounds = options->FindPath("rounds");
        c.rounds = static_cast<int>(std::min<std::int64_t>(INT32_MAX,
            NumberOr(rounds ? rounds->Text() : "", rounds != nullptr, 1, 1, "<rounds>", c.problems)));
        c.verbose = EqualsNoCase(Trim(options->GetChildText("verbose")), "true");
        c.logFolder = Unquoted(options->GetChildText("logfolder"));
        if (const dranbase::clsXML* clock = options->FindPath("clock")) {
            auto attribute = [&](const char* name, std::int64_t fallback, std::int64_t low) {
                return NumberOr(clock->GetAttribute(name), clock->Attributes().Has(name), fallback, low,
                    std::string("<clock> ") + name, c.problems);
            };
            c.movesPerControl = attribute("moves_per_second", 0, 0);
            c.gameMs = attribute("game_ms", 300000, 1);
            c.incrementMs = attribute("increment_ms", 0, 0);
        } else {
            c.gameMs = 300000;
        }
        if (const dranbase::clsXML* pacing = options->FindPath("pacing_ms"))
            c.pacingMs = NumberOr(pacing->Text(), true, -1, 0, "<pacing_ms>", c.problems);
        if (const dranbase::clsXML* delay = options->FindPath("start_delay_ms"))
            c.startDelayMs = NumberOr(delay->Text(), true, -1, 0, "<start_delay_ms>", c.problems);
        if (const dranbase::clsXML* adjudication = options->FindPath("adjudication"))
            ReadAdjudication(*adjudication, c.adjudication, c.problems);
        const dranbase::clsXML* threads = options->FindPath("threads");
        c.threads = static_cast<int>(
            std::clamp<std::int64_t>(NumberOr(threads ? threads->Text() : "", threads != nullptr, 1,
                                         INT64_MIN, "<threads>", c.problems),
                1, INT32_MAX));
    }

    if (const dranbase::clsXML* engines = tourney->FindPath("engines")) {
        c.enginesText = engines->ToText();
        dranbase::clsXMLCollection list;
        const_cast<dranbase::clsXML*>(engines)->CollectByName("engine", list);
        for (const dranbase::clsXML* e : list) {
            if (!EqualsNoCase(Trim(e->GetAttribute("active")), "true")) continue;
            clsPlayerConfig p;
            p.name = e->GetAttribute("name");
            p.protocol = e->GetAttribute("protocol");
            p.fileName = Unquoted(e->GetChildText("filename"));
            p.parameters = Trim(e->GetChildText("parameters"));
            if (const dranbase::clsXML* book = e->FindChild("book")) {
                const std::string what = "<book> of engine " + QuoteName(p.name);
                p.bookFile = Unquoted(book->GetAttribute("file"));
                if (p.bookFile.empty()) c.problems.push_back(what + " has no file");
                p.bookDepth = static_cast<int>(std::min<std::int64_t>(INT32_MAX,
                    NumberOr(book->GetAttribute("depth"), book->Attributes().Has("depth"), 0, 1,
                        what + " depth", c.problems)));
            }
            ReadEngineKeys(*e, p, c.problems);
            if (const dranbase::clsXML* restart = e->FindChild("restart")) {
                const std::string value = Trim(restart->Text());
                if (EqualsNoCase(value, "off"))
                    p.keepEngine = true;
                else if (!EqualsNoCase(value, "on"))
                    c.problems.push_back(
                        "<restart> of engine " + QuoteName(p.name) + " \"" + value + "\" is not on or off");
            }
            bool repeated = std::any_of(c.players.begin(), c.players.end(),
                [&](const clsPlayerConfig& q) { return q.name == p.name; });
            if (repeated)
                c.skippedPlayers.push_back(p.name);
            else
                c.players.push_back(std::move(p));
        }
    }

    if (const dranbase::clsXML* header = tourney->FindPath("pgn/header")) {
        for (int i = 0; i < header->ChildCount(); ++i) {
            const dranbase::clsXML* tag = header->Child(i);
            const int kind = tag->NodeKind();
            if (kind != dranbase::clsXML::Element && kind != dranbase::clsXML::ElementAlt
                && kind != dranbase::clsXML::TextElement)
                continue;
            if (tag->Name().find("Dran") != std::string::npos) continue;
            c.extraTags.Set(tag->Name(), Trim(tag->Text()));
        }
    }
    return c;
}

std::vector<std::pair<int, int>> MakePairings(int playerCount, int kind)
{
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i < playerCount; ++i)
        for (int j = 0; j < playerCount; ++j) {
            if (i == j) continue;
            if (kind != TourneyKind::RoundRobin && i != 0 && j != 0) continue;
            pairs.emplace_back(i, j);
        }
    return pairs;
}

std::string SafeFileName(const std::string& name)
{
    std::string safe = name;
    for (char& c : safe)
        if (c == '/' || c == '\\') c = '_';
    if (safe.empty() || safe == "." || safe == "..") safe = "tourney";
    return safe;
}

// --- clsTourney ------------------------------------------------------------------------------------

clsTourney::clsTourney(int number, const std::string& filePath)
    : dranbase::clsThread("tourney")
    , number_(number)
    , filePath_(filePath)
{
    fileRead_ = xml_.LoadFile(filePath);
}

clsTourney::~clsTourney()
{
    clsTourney::Cancel();
}

bool clsTourney::Cancel()
{
    if (IsRunning()) {
        cancelRequested_ = true;
        {
            std::lock_guard lock(gamesMutex_);
            for (int i = 0; i < games_.Count(); ++i)
                games_.Item(i)->RequestAbort();
            for (const auto& game : live_)
                game->RequestAbort();
        }
        TourneyLog(0, "cancel");
        WakeScheduler();
    }
    // The thread stops scheduling, waits for the aborted games to end, writes the log and
    // returns; joining it replaces a fixed grace time.
    return clsThread::Cancel();
}

void clsTourney::TourneyLog(int number, const std::string& text)
{
    const std::string line = std::to_string(number_) + "\t"
        + std::to_string(dranbase::Tick() - startTick_.load()) + "\t" + std::to_string(round_.load()) + "\t"
        + std::to_string(number) + "\t-\t" + text;
    // Games as separate commands: a list of commands, so anything else is a comment.
    if (!QuietConsole) dranbase::Output().Write(gameCommands_ ? "# " + line : line, true);
    if (logFileName_.empty()) return;
    std::lock_guard lock(logMutex_);
    log_.push_back(line);
}

bool clsTourney::SaveTourneyLog()
{
    if (logFileName_.empty()) return true;
    std::string text;
    for (const std::string& line : LogLines())
        text += line + "\r\n";
    if (dranbase::WriteFileAtomic(logFileName_, text)) return true;
    WriteFailed(logFileName_);
    return false;
}

std::vector<std::string> clsTourney::LogLines() const
{
    std::lock_guard lock(logMutex_);
    return log_;
}

std::vector<std::string> clsTourney::Standings() const
{
    std::vector<std::string> lines;
    for (int i = 0; i < players_.Count(); ++i)
        lines.push_back(players_.Item(i)->Name + ": " + std::to_string(players_.Item(i)->Score()));
    return lines;
}

bool clsTourney::Run()
{
    LoadTourney();
    return true;
}

void clsTourney::Refuse(const std::string& why)
{
    failed_ = true;
    dranbase::Output().Write("# tournament stopped: " + why, true);
    if (!logFileName_.empty()) TourneyLog(0, "tournament stopped: " + why);
}

bool clsTourney::PrepareLogFolder()
{
    // The run's name: the first of "name", "name-2", ... whose log file is not there yet, so a
    // run never replaces the files of an earlier one; unless the latest run left a state and no
    // end, which this run continues.
    const std::string name = SafeFileName(config_.name);
    runName_ = name;
    if (config_.logFolder.empty()) return true;
    std::error_code ec;
    std::filesystem::create_directories(config_.logFolder, ec); // the game files go there too
    std::string latest;
    for (int k = 2; std::filesystem::exists(dranbase::JoinPath(config_.logFolder, runName_) + ".log", ec);
         ++k) {
        latest = runName_;
        runName_ = name + "-" + std::to_string(k);
    }
    if (!latest.empty()) {
        const std::string logFile = dranbase::JoinPath(config_.logFolder, latest) + ".log";
        const std::string statePath = drnChess::StateFileName(logFile);
        dranbase::clsCStrings logLines;
        logLines.LoadFromFile(logFile);
        const bool ended = std::any_of(logLines.begin(), logLines.end(),
            [](const std::string& line) { return std::string_view(line).ends_with(FinishedLine); });
        if (std::filesystem::exists(statePath, ec) && !ended) {
            clsStateRead read = LoadTourneyState(statePath, TourneyFingerprint(xml_));
            if (read.status != StateStatus::Loaded && read.status != StateStatus::Missing) {
                Refuse(read.message);
                return false;
            }
            if (const std::string problem = StateProblem(read.state); !problem.empty()) {
                Refuse("the state file " + statePath + " " + problem
                    + "; delete it to start the tournament afresh");
                return false;
            }
            runName_ = latest;
            logFileName_ = logFile;
            statePath_ = statePath;
            state_ = std::move(read.state);
            state_.fingerprint = TourneyFingerprint(xml_);
            resumed_ = true;
            if (runName_ == name) MergeGameRecords();
            std::lock_guard lock(logMutex_);
            log_.assign(logLines.begin(), logLines.end());
            return true;
        }
    }
    const std::string logFile = dranbase::JoinPath(config_.logFolder, runName_) + ".log";
    // The log file is written now: it takes the name, and a folder we cannot write in fails
    // here, before any game.
    if (!dranbase::WriteFileAtomic(logFile, "")) {
        Refuse("cannot write in the log folder " + config_.logFolder);
        return false;
    }
    logFileName_ = logFile;
    statePath_ = drnChess::StateFileName(logFile);
    state_ = clsTourneyState {};
    state_.fingerprint = TourneyFingerprint(xml_);
    if (runName_ == name) MergeGameRecords(); // games played as separate commands
    return true;
}

std::vector<clsFinishedGame> clsTourney::FinishedGames() const
{
    std::vector<clsFinishedGame> games;
    {
        std::lock_guard lock(stateMutex_);
        games = state_.games;
    }
    std::sort(games.begin(), games.end(), [](const auto& a, const auto& b) { return a.index < b.index; });
    return games;
}

std::string clsTourney::StateProblem(const clsTourneyState& state) const
{
    const std::int64_t total
        = static_cast<std::int64_t>(
              MakePairings(static_cast<int>(config_.players.size()), config_.kind).size())
        * config_.rounds;
    for (const clsFinishedGame& game : state.games) {
        if (game.index < 0 || game.index >= total)
            return "names game " + std::to_string(game.index + 1) + ", but the tournament has "
                + std::to_string(total);
        const clsHalfPoints points = HalfPoints(game.resultCode);
        if (points.white + points.black != 2)
            return "gives game " + std::to_string(game.index + 1) + " the code "
                + std::to_string(game.resultCode) + ", which is no result";
    }
    return {};
}

void clsTourney::GameFilesDone(int index, clsTourneyGame& game, bool written)
{
    if (!written) {
        WriteFailed(game.FileBase);
        return;
    }
    const clsHalfPoints points = HalfPoints(game.ResultCode);
    if (statePath_.empty() || points.white + points.black != 2) return;
    std::lock_guard lock(stateMutex_);
    state_.MarkFinished(index, game.ResultCode, game.FileBase);
    if (!SaveTourneyState(statePath_, state_)) WriteFailed(statePath_);
}

void clsTourney::WriteFailed(const std::string& path)
{
    failed_ = true;
    if (writeFailed_.exchange(true)) return;
    dranbase::Output().Write("# tournament stopped: cannot write " + path, true);
}

std::string clsTourney::BadValue() const
{
    std::vector<std::string> problems = config_.problems;
    if (const dranbase::clsXML* options = xml_.FindPath("tourney/options")) {
        const clsMatchOptions match = ReadMatchOptions(*options);
        problems.insert(problems.end(), match.problems.begin(), match.problems.end());
    }
    if (problems.empty()) return {};
    std::string text = "bad value in " + filePath_ + ": " + problems.front();
    for (std::size_t i = 1; i < problems.size(); ++i)
        text += "; " + problems[i];
    return text;
}

bool clsTourney::PrepareMatch()
{
    const dranbase::clsXML* options = xml_.FindPath("tourney/options");
    match_ = options ? ReadMatchOptions(*options) : clsMatchOptions {}; // BadValue() refused problems
    suite_ = clsOpeningSuite {};
    if (match_.hasOpenings) {
        suite_ = LoadOpeningSuite(match_.openings);
        for (const clsOpeningProblem& problem : suite_.problems)
            TourneyLog(0,
                "opening skipped: " + match_.openings.file
                    + (problem.line > 0 ? " line " + std::to_string(problem.line) : std::string()) + ": "
                    + problem.text);
        if (suite_.openings.empty()) {
            Refuse("no opening can be read from " + match_.openings.file);
            return false;
        }
        TourneyLog(0, std::to_string(suite_.openings.size()) + " openings from " + match_.openings.file);
    }
    sprtOn_ = match_.hasSprt && players_.Count() == 2;
    if (match_.hasSprt && !sprtOn_) TourneyLog(0, "sprt ignored: it needs exactly two players");
    verdict_ = SprtVerdict::Continue;
    return true;
}

bool clsTourney::LoadBooks()
{
    for (const clsPlayerConfig& p : config_.players) {
        if (p.bookFile.empty()) continue;
        auto book = std::make_shared<clsPlayerBook>();
        std::string error;
        if (!book->Load(p.bookFile, &error)) {
            Refuse("engine " + QuoteName(p.name) + ": <book file=\"" + p.bookFile
                + "\"> cannot be used: " + error);
            return false;
        }
        clsPlayer* player = players_.Find(p.name);
        if (!player) continue;
        player->Book = std::move(book);
        player->BookDepth = p.bookDepth;
        TourneyLog(0,
            "book of " + QuoteName(p.name) + ": " + p.bookFile
                + (p.bookDepth > 0 ? ", up to " + std::to_string(p.bookDepth) + " moves" : std::string()));
    }
    return true;
}

bool clsTourney::CheckPlayers()
{
    // Each player is started and handshaken once, with no game log: one that cannot be made
    // ready would lose every game it plays, so the tournament does not start. All come up at
    // once; the first slot keeps those that stay between games for its first game.
    struct Silent : clsGameLogSink {
        void GameLog(int, const std::string&) override { }
    } silent;
    for (int i = 0; i < players_.Count(); ++i) {
        const clsPlayer& player = *players_.Item(i);
        std::error_code ec;
        if (!player.WorkingDirectory.empty() && !std::filesystem::is_directory(player.WorkingDirectory, ec)) {
            Refuse("engine " + QuoteName(player.Name) + ": <dir> " + player.WorkingDirectory
                + " is not a folder");
            return false;
        }
    }
    std::vector<std::unique_ptr<clsEngineInterface>> clients;
    std::vector<bool> begun;
    for (int i = 0; i < players_.Count() && !cancelRequested_; ++i) {
        const clsPlayer& player = *players_.Item(i);
        clients.push_back(MakeClient(player, GameTiming()));
        clients.back()->Owner = &silent;
        if (player.KeepsEngine()) SlotAt(0).StartEngine(*clients.back());
        begun.push_back(BeginHandshake(*clients.back(), 0, config_.gameMs, config_.incrementMs));
    }
    std::string refusal;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        const clsPlayer& player = *players_.Item(static_cast<int>(i));
        std::unique_ptr<clsEngineInterface>& client = clients[i];
        const bool ready = begun[i] && refusal.empty() && FinishHandshake(*client);
        const std::string error = client->StartError();
        if (ready && player.KeepsEngine()) {
            SlotAt(0).Keep(&player, std::move(client));
            continue;
        }
        client->Stop();
        if (ready || !refusal.empty()) continue;
        refusal = error.empty() ? "engine " + QuoteName(player.Name) + " did not finish its handshake"
                                : "engine " + QuoteName(player.Name) + " cannot start "
                + QuoteName(player.FileName) + ": " + error;
    }
    if (!refusal.empty()) {
        Refuse(refusal);
        return false;
    }
    return !cancelRequested_;
}

void clsTourney::LoadTourney()
{
    // 1. A fresh start.
    startTick_ = dranbase::Tick();
    {
        std::lock_guard lock(gamesMutex_);
        games_.Clear();
    }
    players_.Clear();
    round_ = 0;
    peakRunning_ = 0;
    failed_ = false;
    logFileName_.clear();
    statePath_.clear();
    state_ = clsTourneyState {};
    resumed_ = false;
    {
        std::lock_guard lock(logMutex_);
        log_.clear();
    }

    // 2.-3. The description.
    if (!fileRead_) {
        Refuse("cannot read the tournament file " + filePath_);
        return;
    }
    config_ = ReadTourneyConfig(xml_);
    if (!config_.found) {
        Refuse("no tourney element in " + filePath_);
        return;
    }
    if (!xml_.Problems().empty()) {
        Refuse("malformed file " + filePath_ + ": " + xml_.Problems().front());
        return;
    }
    if (const std::string bad = BadValue(); !bad.empty()) {
        Refuse(bad);
        return;
    }
    if (!PrepareLogFolder()) return;

    // 4. The players.
    TourneyLog(0, "loading engines from " + filePath_);
    if (!config_.enginesText.empty() && !QuietConsole) dranbase::Output().Write(config_.enginesText, true);
    MakePlayers();
    for (int i = 0; i < players_.Count(); ++i)
        TourneyLog(
            0, std::to_string(i + 1) + "\t" + players_.Item(i)->Name + "\t" + players_.Item(i)->FileName);
    for (const std::string& name : config_.skippedPlayers)
        TourneyLog(0, "engine " + QuoteName(name) + " skipped: the name is taken");
    const bool learning = config_.kind == TourneyKind::Learning;
    bool refused = false;
    if (players_.Count() < 2) {
        Refuse("a tournament needs two active engines or more; " + filePath_ + " has "
            + std::to_string(players_.Count()));
        refused = true;
    } else if (learning && !LearningHook) {
        Refuse("the tournament kind learning is not run from a tournament file; use \\learn");
        refused = true;
    } else if (!learning && (!LoadBooks() || !CheckPlayers() || !PrepareMatch())) {
        refused = true;
    }
    if (refused) {
        ReleaseSlots();
        TourneyLog(0, "");
        SaveTourneyLog();
        dranbase::Output().Write("# end", true);
        return;
    }

    // 5.-6. The games.
    baseName_ = dranbase::JoinPath(config_.logFolder, runName_) + ".T" + std::to_string(number_);
    TourneyLog(0, "creating games");
    CreateGames();
    TourneyLog(0, std::to_string(games_.Count()) + " games created");
    TourneyLog(0, "          -   _");
    TourneyLog(0, "        [(|) (|)]       \"IN MOTO L'OROLOGIO DEL BIANCO!\"");
    TourneyLog(0, "_________________________");

    // The state is there before the first game: a run killed in its first game is continued,
    // not restarted beside itself. (A run refused before this point leaves none.)
    if (!learning && !statePath_.empty() && !SaveTourneyState(statePath_, state_)) WriteFailed(statePath_);

    // 7. Learning, or the rounds and the standings.
    if (learning) {
        LearningHook(*this);
        dranbase::Output().Write("----------------- learning has finished", true);
    } else {
        PlayRounds();
        ReleaseSlots(); // every game has ended: no engine outlives the rounds
        if (!cancelRequested_ && !writeFailed_) {
            round_ = config_.rounds;
            for (const std::string& line : tally_.SummaryLines())
                TourneyLog(0, "stats\t" + line);
            if (sprtOn_)
                TourneyLog(
                    0, "sprt\t" + FormatSprtLine(match_.sprt, SprtNow()) + "\t" + SprtVerdictText(verdict_));
            TourneyLog(0, std::string(FinishedLine));
            for (const std::string& line : Standings())
                TourneyLog(0, line);
            TourneyLog(0, "-----------------");
        }
    }

    // 8. The end.
    TourneyLog(0, "");
    SaveTourneyLog();
    dranbase::Output().Write("# end", true);
    std::lock_guard lock(gamesMutex_);
    games_.Clear();
}

void clsTourney::CreateGames()
{
    pairings_ = MakePairings(players_.Count(), config_.kind);
    // Each pairing and its colour-reversed twin share one number.
    std::vector<std::pair<int, int>> unordered;
    pairOf_.clear();
    for (auto [white, black] : pairings_) {
        const std::pair<int, int> key { std::min(white, black), std::max(white, black) };
        auto it = std::find(unordered.begin(), unordered.end(), key);
        pairOf_.push_back(static_cast<int>(it - unordered.begin()));
        if (it == unordered.end()) unordered.push_back(key);
    }
    pairingCount_ = static_cast<int>(unordered.size());
    for (auto [white, black] : pairings_) {
        auto game = std::make_unique<clsTourneyGame>();
        game->White = players_.Item(white);
        game->Black = players_.Item(black);
        game->GameNumber = games_.Count() + 1;
        game->BaseTimeMs = config_.gameMs;
        game->IncrementMs = config_.incrementMs;
        game->MovesPerControl = config_.movesPerControl;
        game->Adjudication = config_.adjudication;
        game->Verbose = config_.verbose;
        game->Timing = GameTiming();
        game->Ended = [this] { WakeScheduler(); };
        std::lock_guard lock(gamesMutex_);
        games_.Add(std::to_string(white) + "-" + std::to_string(black), std::move(game));
    }
}

clsClientTiming clsTourney::GameTiming() const
{
    clsClientTiming timing = Timing;
    if (config_.pacingMs >= 0) timing.SendDelayMs = config_.pacingMs;
    if (config_.startDelayMs >= 0) timing.StartDelayMs = config_.startDelayMs;
    return timing;
}

void clsTourney::MakePlayers()
{
    players_.Clear();
    for (const clsPlayerConfig& p : config_.players) {
        auto player = std::make_unique<clsPlayer>(p.name, p.protocol, p.fileName, p.parameters);
        player->KeepEngine = p.keepEngine;
        player->WorkingDirectory = p.workDir;
        player->ErrorFile = p.stderrFile;
        player->Limits = p.limits;
        player->EngineOptions = p.options;
        players_.Add(p.name, std::move(player));
    }
}

clsEngineSlot& clsTourney::SlotAt(int i)
{
    while (static_cast<int>(slots_.size()) <= i)
        slots_.push_back(std::make_unique<clsEngineSlot>());
    return *slots_[static_cast<std::size_t>(i)];
}

int clsTourney::ChooseSlot(const std::vector<bool>& busy, const clsPlayer* white, const clsPlayer* black)
{
    int best = -1, bestHeld = -1;
    for (int i = 0; i < static_cast<int>(slots_.size()); ++i) {
        if (i < static_cast<int>(busy.size()) && busy[static_cast<std::size_t>(i)]) continue;
        const int held = slots_[static_cast<std::size_t>(i)]->Holds(white, black);
        if (held > bestHeld) {
            best = i;
            bestHeld = held;
        }
    }
    // A slot of its own rather than one whose engines another pairing may still want.
    if (bestHeld <= 0 && static_cast<int>(slots_.size()) < config_.threads) {
        best = static_cast<int>(slots_.size());
        SlotAt(best);
    }
    return best;
}

void clsTourney::ReleaseSlots()
{
    for (auto& slot : slots_)
        slot->ReleaseAll();
}

void clsTourney::WakeScheduler()
{
    {
        std::lock_guard lock(wakeMutex_);
        ++wakeups_;
    }
    wakeCv_.notify_all();
}

void clsTourney::SetGameTags(clsTourneyGame& game, int round, int index)
{
    const std::string roundText = std::to_string(round);
    game.SetTag("Event", config_.name);
    game.SetTag("Site", "");
    game.SetTag("Date", "");
    game.SetTag("Round", roundText);
    game.SetTag("DranRound", std::to_string(number_) + ":" + roundText + ":" + std::to_string(index + 1));
    game.SetTag("DranSoftware", Software);
    game.SetTag(
        "DranTimeControl", DranTimeControlTag(config_.movesPerControl, config_.gameMs, config_.incrementMs));
    // Each side's time control as PGN writes it: the game's clock, "1/N" for N seconds a move,
    // "-" without a clock; both sides' tags when they differ.
    auto timeControl = [&](const clsPlayer& p) {
        if (p.Limits.OnGameClock())
            return TimeControlTag(config_.movesPerControl, config_.gameMs, config_.incrementMs);
        if (p.Limits.moveMs == 0) return std::string("-");
        const bool uci = EqualsNoCase(p.Protocol, "uci");
        return "1/" + SecondsText(uci ? p.Limits.moveMs : XboardMoveSeconds(p.Limits.moveMs) * 1000);
    };
    const std::string white = timeControl(*game.White), black = timeControl(*game.Black);
    game.SetTag("TimeControl", white == black ? white : "?");
    if (white != black) {
        game.SetTag("WhiteTimeControl", white);
        game.SetTag("BlackTimeControl", black);
    }
    game.SetTag("White", game.White->Name);
    game.SetTag("Black", game.Black->Name);
    game.SetTag("Result", "*");
    for (const auto& tag : config_.extraTags)
        game.SetTag(tag.key, tag.value);
}

clsTourney::GameEvent clsTourney::EventOf(int round, int index, const clsTourneyGame* game) const
{
    const auto [white, black] = pairings_[static_cast<std::size_t>(index)];
    const int perRound = games_.Count();
    return { (round - 1) * perRound + index + 1, perRound * config_.rounds, white, black, game };
}

std::unique_ptr<clsTourneyGame> clsTourney::GameLike(const clsTourneyGame& pairing) const
{
    auto game = std::make_unique<clsTourneyGame>();
    game->White = pairing.White;
    game->Black = pairing.Black;
    game->GameNumber = pairing.GameNumber;
    game->BaseTimeMs = pairing.BaseTimeMs;
    game->IncrementMs = pairing.IncrementMs;
    game->MovesPerControl = pairing.MovesPerControl;
    game->Adjudication = pairing.Adjudication;
    game->Verbose = pairing.Verbose;
    game->Timing = pairing.Timing;
    game->Ended = pairing.Ended;
    return game;
}

std::int64_t clsTourney::PairNumber(int round, int index) const
{
    return static_cast<std::int64_t>(round - 1) * pairingCount_ + pairOf_[static_cast<std::size_t>(index)];
}

void clsTourney::SetOpening(clsTourneyGame& game, int round, int index)
{
    game.StartFEN.clear();
    game.OpeningMoves.clear();
    game.Tags.Remove("ECO");
    game.Tags.Remove("Opening");
    const clsOpening* opening = suite_.ForPair(PairNumber(round, index));
    if (!opening) return;
    // Which entry of the suite it is: counted from 1 among the entries read, in file order.
    game.SetTag("DranOpening", std::to_string(opening - suite_.openings.data() + 1));
    if (!opening->eco.empty()) game.SetTag("ECO", opening->eco);
    if (!opening->name.empty()) game.SetTag("Opening", opening->name);
    game.StartFEN = opening->fen;
    for (const std::string& move : opening->moves)
        game.OpeningMoves += (game.OpeningMoves.empty() ? "" : " ") + move;
}

clsSprtResult clsTourney::SprtNow() const
{
    const clsMatchTally* tally = tally_.Pair(0, 1);
    if (!tally) return SprtBounds(match_.sprt);
    return match_.hasOpenings ? ComputeSprt(tally->Pairs(), match_.sprt)
                              : ComputeSprt(tally->Games(), match_.sprt);
}

bool clsTourney::CountGame(int index, std::uint32_t code, std::int64_t pair, int number)
{
    const auto [white, black] = pairings_[static_cast<std::size_t>(index)];
    if (!tally_.AddGame(white, black, code, match_.hasOpenings ? pair : -1)) return false;
    for (const std::string& line : tally_.PairLines(white, black))
        TourneyLog(number, "stats\t" + line);
    for (int p : { white, black }) {
        const clsWLD& r = tally_.Player(p);
        TourneyLog(number,
            "player\t" + players_.Item(p)->Name + ": +" + std::to_string(r.wins) + " -"
                + std::to_string(r.losses) + " =" + std::to_string(r.draws));
    }
    CheckSprt();
    return true;
}

std::string clsTourney::SprtLine() const
{
    return sprtOn_ ? FormatSprtLine(match_.sprt, SprtNow()) : std::string();
}

void clsTourney::CheckSprt()
{
    if (!sprtOn_ || verdict_ != SprtVerdict::Continue) return;
    const clsSprtResult sprt = SprtNow();
    TourneyLog(0, "sprt\t" + FormatSprtLine(match_.sprt, sprt));
    if (sprt.verdict == SprtVerdict::Continue) return;
    verdict_ = sprt.verdict;
    TourneyLog(0, "sprt\t" + SprtVerdictText(sprt.verdict) + ": the match stops");
}

void clsTourney::RestoreFinished()
{
    if (!resumed_) return;
    TourneyLog(0,
        "continuing " + logFileName_ + ": " + std::to_string(state_.games.size()) + " games finished before");
    const int perRound = games_.Count();
    for (const clsFinishedGame& done : state_.games) {
        if (perRound == 0 || done.index < 0 || done.index >= perRound * config_.rounds) continue;
        const int round = done.index / perRound + 1;
        const int g = done.index % perRound;
        const auto [white, black] = pairings_[static_cast<std::size_t>(g)];
        const clsHalfPoints points = HalfPoints(done.resultCode);
        if (!tally_.AddGame(white, black, done.resultCode, match_.hasOpenings ? PairNumber(round, g) : -1))
            continue;
        players_.Item(white)->AddScore(points.white);
        players_.Item(black)->AddScore(points.black);
    }
    for (int a = 0; a < players_.Count(); ++a)
        for (int b = a + 1; b < players_.Count(); ++b)
            for (const std::string& line : tally_.PairLines(a, b))
                TourneyLog(0, "stats\t" + line);
    CheckSprt();
}

void clsTourney::PlayRounds()
{
    // 1. Nothing left over from an earlier run; scores from 0, then the games an earlier run
    // of this tournament finished.
    for (int g = 0; g < games_.Count(); ++g)
        games_.Item(g)->MarkAborted();
    for (int p = 0; p < players_.Count(); ++p)
        players_.Item(p)->ResetScore();
    std::vector<std::string> names;
    for (int p = 0; p < players_.Count(); ++p)
        names.push_back(players_.Item(p)->Name);
    tally_.Reset(std::move(names));
    RestoreFinished();

    // 2. The games in tournament order (index = (round - 1) * perRound + game), each started
    // as soon as a slot is free, on a game object of its own made like its pairing's.
    const int perRound = games_.Count();
    const std::int64_t total = static_cast<std::int64_t>(perRound) * config_.rounds;
    auto stopping = [&] { return cancelRequested_ || writeFailed_ || verdict_ != SprtVerdict::Continue; };
    auto finishedBefore = [&](std::int64_t index) {
        std::lock_guard lock(stateMutex_);
        return state_.Find(static_cast<int>(index)) != nullptr;
    };
    struct Running {
        std::int64_t index;
        int slot;
        clsTourneyGame* game;
        bool stopped = false; // asked to end at once by the SPRT's verdict
    };
    std::vector<Running> running; // started, not yet reported
    std::vector<bool> busy; // by slot
    std::int64_t next = 0; // every game before it has been started or was finished before
    std::string lastProgress;
    auto roundOf = [&](std::int64_t index) { return static_cast<int>(index / perRound) + 1; };
    auto gameOf = [&](std::int64_t index) { return static_cast<int>(index % perRound); };

    for (;;) {
        std::uint64_t seen;
        {
            std::lock_guard lock(wakeMutex_);
            seen = wakeups_;
        }
        bool changed = false;

        // 2a. The games that have ended are reported (so a game's end comes before the start
        // of the game that takes its slot); their slots are free again.
        for (auto it = running.begin(); it != running.end();) {
            const int g = gameOf(it->index);
            const int round = roundOf(it->index);
            clsTourneyGame& game = *it->game;
            if (!game.IsFinished()) {
                if (writeFailed_) game.RequestAbort(); // its records could not be kept either
                ++it;
                continue;
            }
            game.Wait(); // its thread has done its work; reap it
            round_ = round;
            TourneyLog(game.GameNumber,
                "result\t" + game.ResultText() + "\t" + game.ReasonText() + "\t" + game.White->Name + "\t"
                    + game.Black->Name + "\t" + game.FileBase);
            // The game's thread wrote the state once its files were whole (GameFilesDone).
            const bool counted = CountGame(g, game.ResultCode, PairNumber(round, g), game.GameNumber);
            GameEvent event = EventOf(round, g, &game);
            event.stoppedByVerdict = it->stopped && !counted;
            if (event.stoppedByVerdict)
                TourneyLog(game.GameNumber, "stopped by the sprt verdict: not counted");
            if (GameFinished) GameFinished(event);
            SaveTourneyLog();
            busy[static_cast<std::size_t>(it->slot)] = false;
            {
                std::lock_guard lock(gamesMutex_);
                std::erase_if(live_, [&](const auto& live) { return live.get() == &game; });
            }
            it = running.erase(it);
            changed = true;
        }

        // Once the SPRT has decided, the games still running end at once: their results
        // could no longer change the verdict.
        if (verdict_ != SprtVerdict::Continue)
            for (Running& r : running)
                if (!r.stopped) {
                    r.stopped = true;
                    r.game->RequestAbort();
                }

        // 2b. New games in the free slots, in order.
        while (!stopping() && next < total && static_cast<int>(running.size()) < config_.threads) {
            const std::int64_t i = next++;
            if (finishedBefore(i)) continue;
            const int g = gameOf(i);
            const int round = roundOf(i);
            std::unique_ptr<clsTourneyGame> made = GameLike(*games_.Item(g));
            clsTourneyGame& game = *made;
            {
                std::lock_guard lock(gamesMutex_);
                live_.push_back(std::move(made));
            }
            round_ = round;
            game.FilesDone = [this, i](clsTourneyGame& done, bool written) {
                GameFilesDone(static_cast<int>(i), done, written);
            };
            game.FileBase = GameFileName(baseName_, round, game.GameNumber);
            game.Clear(false);
            SetGameTags(game, round, g);
            SetOpening(game, round, g);
            game.SetTag("Date", PgnDate(std::time(nullptr)));
            const int slot = ChooseSlot(busy, game.White, game.Black);
            if (slot >= static_cast<int>(busy.size())) busy.resize(static_cast<std::size_t>(slot) + 1, false);
            busy[static_cast<std::size_t>(slot)] = true;
            game.Slot = &SlotAt(slot);
            if (cancelRequested_) game.RequestAbort(); // a cancel that came while it was made
            if (GameStarted) GameStarted(EventOf(round, g, &game));
            game.Start();
            running.push_back({ i, slot, &game });
            changed = true;
        }
        peakRunning_ = std::max(peakRunning_.load(), static_cast<int>(running.size()));

        if (running.empty() && (next >= total || stopping())) break;

        // The progress line once per change.
        std::string playing;
        for (const Running& r : running)
            playing += std::to_string(r.game->GameNumber) + " ";
        const std::string progress = "# ROUND " + std::to_string(round_.load()) + "/"
            + std::to_string(config_.rounds) + " - GAMES PLAYING " + std::to_string(running.size()) + "/"
            + std::to_string(total - next + static_cast<std::int64_t>(running.size())) + " " + playing;
        if (progress != lastProgress && !QuietConsole) dranbase::Output().Write(progress, true);
        lastProgress = progress;

        // 2c. Asleep until a game ends (or the run is cancelled); the limit only guards.
        if (!changed) {
            std::unique_lock lock(wakeMutex_);
            wakeCv_.wait_for(lock, std::chrono::seconds(1), [&] { return wakeups_ != seen; });
        }
    }
}

} // namespace drnChess
