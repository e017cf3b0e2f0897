// The games of a tournament as separate commands: one game played alone with everything the
// tournament would give it, its result kept in a record file of its own (jobs running at once
// never write the same file), the list of games still to play, and the merge of the records
// into a tournament run.

#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

#include "dranbase/clsfile.h"
#include "dranbase/console.h"
#include "tourney/clstourney.h"

namespace drnChess {

namespace {
    constexpr const char* RecordInfix = ".game-";

    void Say(const std::string& line)
    {
        dranbase::Output().Write("# " + line, true);
    }

    // An exclusive lock on a file (created when missing), held until destruction; the system
    // releases it when the process ends, however it ends.
    class GameLock {
    public:
        explicit GameLock(const std::string& path)
            : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
        {
            if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
                ::close(fd_);
                fd_ = -1;
            }
        }
        ~GameLock()
        {
            if (fd_ >= 0) ::close(fd_);
        }
        GameLock(const GameLock&) = delete;
        GameLock& operator=(const GameLock&) = delete;
        bool Held() const { return fd_ >= 0; }

    private:
        int fd_;
    };
} // namespace

bool clsTourney::PrepareJobs()
{
    gameCommands_ = true;
    if (!fileRead_) {
        Say("cannot read the tournament file " + filePath_);
        return false;
    }
    config_ = ReadTourneyConfig(xml_);
    if (!config_.found) {
        Say("no tourney element in " + filePath_);
        return false;
    }
    if (!xml_.Problems().empty()) {
        Say("malformed file " + filePath_ + ": " + xml_.Problems().front());
        return false;
    }
    if (const std::string bad = BadValue(); !bad.empty()) {
        Say(bad);
        return false;
    }
    if (config_.kind == TourneyKind::Learning || config_.logFolder.empty()) {
        Say("games as separate commands need a round robin or gauntlet with a log folder");
        return false;
    }
    MakePlayers();
    if (players_.Count() < 2) {
        Say("a tournament needs two active engines or more");
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(config_.logFolder, ec);
    runName_ = SafeFileName(config_.name);
    baseName_ = dranbase::JoinPath(config_.logFolder, runName_) + ".T" + std::to_string(number_);
    if (!LoadBooks() || !PrepareMatch()) return false;
    {
        std::lock_guard lock(gamesMutex_);
        games_.Clear();
    }
    CreateGames();
    return true;
}

void clsTourney::MergeGameRecords()
{
    const std::string prefix = SafeFileName(config_.name) + RecordInfix;
    const std::string fingerprint = TourneyFingerprint(xml_);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(config_.logFolder, ec)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind(prefix, 0) != 0 || entry.path().extension() != ".state") continue;
        const clsStateRead read = LoadTourneyState(entry.path().string(), fingerprint);
        if (read.status != StateStatus::Loaded) {
            Say("game record skipped: " + read.message);
            continue;
        }
        if (const std::string problem = StateProblem(read.state); !problem.empty()) {
            Say("game record skipped: " + entry.path().string() + " " + problem);
            continue;
        }
        for (const clsFinishedGame& game : read.state.games)
            if (!state_.Find(game.index)) state_.MarkFinished(game.index, game.resultCode, game.pgnFile);
    }
    resumed_ = resumed_ || !state_.games.empty();
}

bool clsTourney::PlayOneGame(int n)
{
    startTick_ = dranbase::Tick();
    if (!PrepareJobs()) return false;
    const int perRound = games_.Count();
    if (n < 1 || n > perRound * config_.rounds) {
        Say("no game " + std::to_string(n) + ": the tournament has "
            + std::to_string(perRound * config_.rounds));
        return false;
    }
    // One command at a time plays a game: the lock is the process's while it runs.
    const std::string base
        = dranbase::JoinPath(config_.logFolder, runName_) + RecordInfix + std::to_string(n);
    const GameLock lock(base + ".lock");
    if (!lock.Held()) {
        Say("game " + std::to_string(n) + " is being played by another command (" + base + ".lock)");
        return false;
    }
    if (LoadTourneyState(base + ".state", TourneyFingerprint(xml_)).status == StateStatus::Loaded) {
        Say("game " + std::to_string(n) + " has finished already (" + base + ".state)");
        return true;
    }
    const int round = (n - 1) / perRound + 1;
    const int g = (n - 1) % perRound;
    round_ = round;
    clsTourneyGame& game = *games_.Item(g);
    game.Timing = GameTiming();
    game.FileBase = GameFileName(baseName_, round, game.GameNumber);
    game.Clear(false);
    SetGameTags(game, round, g);
    SetOpening(game, round, g);
    game.SetTag("Date", PgnDate(std::time(nullptr)));
    if (!game.Start()) return false;
    game.Wait();
    Say("game " + std::to_string(n) + " result " + game.ResultText() + " " + game.ReasonText() + " "
        + game.White->Name + " - " + game.Black->Name + " " + game.FileBase);
    if (!game.FilesWritten()) {
        Say("cannot write the files of game " + std::to_string(n) + " (" + game.FileBase + ")");
        return false;
    }
    if (game.ResultCode & (GameResult::Unfinished | GameResult::Aborted)) return false;
    clsTourneyState record;
    record.fingerprint = TourneyFingerprint(xml_);
    record.MarkFinished(n - 1, game.ResultCode, game.FileBase);
    const std::string path = base + ".state";
    if (SaveTourneyState(path, record)) return true;
    Say("cannot write " + path);
    return false;
}

std::vector<int> clsTourney::PendingGames()
{
    std::vector<int> pending;
    if (!PrepareJobs()) {
        failed_ = true;
        return pending;
    }
    state_ = clsTourneyState {};
    const std::string log = dranbase::JoinPath(config_.logFolder, runName_) + ".log";
    const clsStateRead read = LoadTourneyState(drnChess::StateFileName(log), TourneyFingerprint(xml_));
    if (read.status == StateStatus::Damaged || read.status == StateStatus::OtherTourney) {
        Say(read.message);
        failed_ = true;
        return pending;
    }
    if (const std::string problem = StateProblem(read.state); !problem.empty()) {
        Say("the state file " + drnChess::StateFileName(log) + " " + problem
            + "; delete it to start the tournament afresh");
        failed_ = true;
        return pending;
    }
    state_ = read.state;
    MergeGameRecords();
    const int total = games_.Count() * config_.rounds;
    for (int n = 1; n <= total; ++n)
        if (!state_.Find(n - 1)) pending.push_back(n);
    return pending;
}

} // namespace drnChess

namespace drnChess {

namespace {
    // The text as one shell word.
    std::string ShellWord(const std::string& text)
    {
        if (!text.empty()
            && text.find_first_not_of(
                   "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-=+:,")
                == std::string::npos)
            return text;
        std::string word = "'";
        for (char c : text)
            word += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return word + "'";
    }
} // namespace

int RunGameCommand(const std::string& iniFile, const std::string& gameNumber)
{
    clsTourney tourney(1, iniFile);
    const int n = static_cast<int>(dranbase::ToInt(gameNumber));
    return tourney.PlayOneGame(n) ? 0 : 1;
}

int RunJobsCommand(const std::string& iniFile, const std::string& program)
{
    clsTourney tourney(1, iniFile);
    std::error_code ec;
    const std::string ini = std::filesystem::absolute(iniFile, ec).string();
    const std::string prefix = ShellWord(program) + " -use=game -ini=" + ShellWord(ini) + " -game=";
    const std::vector<int> pending = tourney.PendingGames();
    for (int n : pending)
        dranbase::Output().Write(prefix + std::to_string(n), true);
    return tourney.Failed() ? 1 : 0;
}

} // namespace drnChess
