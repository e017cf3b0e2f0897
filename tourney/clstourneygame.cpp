#include "tourney/clstourneygame.h"

#include "dranbase/clsfile.h"
#include "dranbase/console.h"
#include "engine/clsengine.h"
#include "tourney/clsembeddedengine.h"
#include "tourney/clsexternalengine.h"

namespace drnChess {

using dranbase::EqualsNoCase;

// --- clsPlayer -------------------------------------------------------------------------------------

int clsPlayer::AddScore(int halfPoints)
{
    std::lock_guard lock(scoreMutex_);
    score_ += halfPoints;
    return score_;
}

int clsPlayer::Score() const
{
    std::lock_guard lock(scoreMutex_);
    return score_;
}

void clsPlayer::ResetScore()
{
    std::lock_guard lock(scoreMutex_);
    score_ = 0;
}

bool clsPlayer::KeepsEngine() const
{
    // The program's own engine carries the last game's positions in its table: never kept.
    return KeepEngine && !EqualsNoCase(Protocol, "embedded");
}

// --- clsTourneyGame --------------------------------------------------------------------------------

clsTourneyGame::clsTourneyGame()
    : dranbase::clsThread("game")
{
}

clsTourneyGame::~clsTourneyGame()
{
    abort_ = true;
    Cancel(); // the body runs on this object: it ends before anything is released
}

void clsTourneyGame::Clear(bool keepTags)
{
    clsGame::Clear(keepTags);
    {
        std::lock_guard lock(logMutex_);
        gameLog_.clear();
        logBytes_[0] = logBytes_[1] = 0;
        logCut_[0] = logCut_[1] = false;
    }
    played_.clear();
    finished_.store(false, std::memory_order_release);
}

void clsTourneyGame::GameLog(int mark, const std::string& text)
{
    static constexpr const char* Marks[] = { "W", "B", "-" };
    const std::string line = std::string(Marks[mark >= 0 && mark <= 2 ? mark : 2]) + "\t" + text;
    {
        std::lock_guard lock(logMutex_);
        if (mark == 0 || mark == 1) {
            if (logBytes_[mark] + line.size() > MaxPlayerLogBytes) {
                if (!logCut_[mark])
                    gameLog_.push_back(
                        "-\tlog cut: " + std::string(Marks[mark]) + " sent more than the limit");
                logCut_[mark] = true;
                return;
            }
            logBytes_[mark] += line.size();
        }
        gameLog_.push_back(line);
    }
    if (Verbose || line.find("forfeit") != std::string::npos)
        dranbase::Output().Write("#\tG" + std::to_string(GameNumber) + "\t" + line, true);
}

std::vector<std::string> clsTourneyGame::LogLines() const
{
    std::lock_guard lock(logMutex_);
    return gameLog_;
}

bool clsTourneyGame::InitEngine(clsEngineInterface& engine, int colour)
{
    engine.Owner = this;
    return Handshake(engine, colour, BaseTimeMs, IncrementMs);
}

bool clsTourneyGame::SaveGameFiles()
{
    if (FileBase.empty()) return true;
    std::string log;
    for (const std::string& line : LogLines())
        log += line + "\r\n";
    bool ok = true;
    for (auto [extension, text] :
        { std::pair<const char*, std::string> { "log", log }, { "pgn", PgnText() } }) {
        const std::string path = dranbase::ReplaceExtension(FileBase, extension);
        if (!dranbase::WriteFileAtomic(path, text)) {
            dranbase::Output().Write("# cannot write " + path, true);
            ok = false;
        }
    }
    return ok;
}

void clsTourneyGame::MarkAborted()
{
    if (IsRunning() || IsFinished()) return;
    SetResult(GameResult::Aborted);
    finished_.store(true, std::memory_order_release);
}

std::unique_ptr<clsEngineInterface> MakeClient(const clsPlayer& player, const clsClientTiming& timing)
{
    std::unique_ptr<clsEngineInterface> engine;
    clsClientTiming own = timing;
    if (EqualsNoCase(player.Protocol, "embedded")) {
        engine = std::make_unique<clsEmbeddedEngine>(player.Name, player.Parameters);
        own.StartDelayMs = 0; // nothing to wait for
        own.SendDelayMs = 0; // commands are carried out at once, without a pause
    } else {
        const int protocol = EqualsNoCase(player.Protocol, "uci") ? ProtocolUci : ProtocolXboard;
        auto external
            = std::make_unique<clsExternalEngine>(player.FileName, player.Parameters, protocol, player.Name);
        external->SetWorkingDirectory(player.WorkingDirectory);
        external->SetErrorFile(player.ErrorFile);
        external->EngineOptions = player.EngineOptions;
        engine = std::move(external);
    }
    engine->Limits = player.Limits;
    engine->SetTiming(own);
    return engine;
}

clsTourneyGame::PendingPlayer clsTourneyGame::BeginInterface(
    clsPlayer& player, int colour, const std::string& opening, bool takeKept)
{
    PendingPlayer pending;
    const bool keeps = Slot && player.KeepsEngine();
    if (keeps && takeKept) pending.engine = Slot->Take(&player);
    pending.kept = pending.engine != nullptr;
    if (!pending.engine) pending.engine = MakeClient(player, Timing);
    clsEngineInterface& engine = *pending.engine;
    engine.Owner = this;
    engine.StartFEN = StartFEN;
    engine.OpeningMoves = opening;
    if (pending.kept) {
        pending.begun = BeginRenewal(engine, colour, BaseTimeMs, IncrementMs);
        return pending;
    }
    // An engine the slot may keep is started on the slot's thread: it outlives this game's.
    if (keeps) Slot->StartEngine(engine);
    pending.begun = BeginHandshake(engine, colour, BaseTimeMs, IncrementMs);
    return pending;
}

std::unique_ptr<clsEngineInterface> clsTourneyGame::FinishInterface(
    clsPlayer& player, int colour, const std::string& opening, PendingPlayer pending)
{
    if (pending.kept) {
        if (pending.begun && FinishRenewal(*pending.engine)) {
            GameLog(2, QuoteName(player.Name) + " kept from the slot's last game");
            return std::move(pending.engine);
        }
        GameLog(colour, player.Name + " did not answer between games: started anew");
        pending.engine->Stop();
        return FinishInterface(player, colour, opening, BeginInterface(player, colour, opening, false));
    }
    const bool ready = pending.begun && FinishHandshake(*pending.engine);

    // A program that could not be started at all is no player: the game cannot be played.
    if (const std::string error = pending.engine->StartError(); !error.empty()) {
        GameLog(2, "cannot start " + QuoteName(player.FileName) + ": " + error);
        pending.engine->Stop();
        return nullptr;
    }
    if (!ready) GameLog(colour, player.Name + " is not ready");
    return std::move(pending.engine);
}

void clsTourneyGame::ReturnInterfaces(std::unique_ptr<clsEngineInterface> (&interfaces)[2])
{
    const bool aborted = (ResultCode & (GameResult::Unfinished | GameResult::Aborted)) != 0 || StopAsked();
    const int faulted = FaultedSide(ResultCode, !Tag("Fault").empty());
    clsPlayer* players[2] = { White, Black };
    for (int side : { 0, 1 }) {
        std::unique_ptr<clsEngineInterface>& engine = interfaces[side];
        if (!engine) continue;
        const bool keep = Slot && players[side]->KeepsEngine() && !aborted && side != faulted
            && !engine->Ended && !engine->Flooded();
        if (keep)
            Slot->Keep(players[side], std::move(engine));
        else
            engine->Stop();
    }
    for (auto& engine : interfaces)
        engine.reset();
}

bool clsTourneyGame::SetUpStart(std::string& openingCoordinates)
{
    const std::string fen = StartFEN.empty() ? std::string(StartPosition) : StartFEN;
    if (!referee_->SetStart(fen)) {
        GameLog(2, "game aborted: the start position " + QuoteName(fen) + " is refused");
        return false;
    }
    if (!StartFEN.empty()) {
        SetTag("SetUp", "1");
        SetTag("FEN", referee_->StartTag());
    }
    // The opening's moves are judged like any other, but its end by the rules is not asked.
    for (const std::string& text : dranbase::SplitFields(OpeningMoves)) {
        const clsMoveVerdict move = referee_->Play(text);
        if (!move.legal) {
            GameLog(2, "game aborted: the opening move " + QuoteName(text) + " is refused");
            return false;
        }
        openingCoordinates += move.coordinate + " ";
        referee_->Comment("book"); // not the players' choice
    }
    MoveText = referee_->MoveText();
    return true;
}

void clsTourneyGame::ScoreGame()
{
    const clsHalfPoints points = HalfPoints(ResultCode);
    const std::pair<clsPlayer*, int> sides[] = { { White, points.white }, { Black, points.black } };
    for (auto [player, halfPoints] : sides) {
        const int total = player->AddScore(halfPoints);
        GameLog(2,
            QuoteName(player->Name) + " result " + std::to_string(halfPoints) + " score "
                + std::to_string(total));
    }
}

bool clsTourneyGame::Run()
{
    // 1. A fresh record (the tags stay) and the referee at the start position.
    Clear(true);
    // The referee engine lives while the game is played (a tournament may hold many games).
    referee_ = std::make_unique<clsReferee>();
    referee_->SetStart(StartPosition);
    if (!White || !Black) {
        SetResult(GameResult::Aborted);
        finished_.store(true, std::memory_order_release);
        if (Ended) Ended();
        return false;
    }

    // 2.-4. The start and opening, the players, then the moves.
    GameLog(2, "new match: " + QuoteName(White->Name) + " vs " + QuoteName(Black->Name));
    std::unique_ptr<clsEngineInterface> interfaces[2];
    std::string opening;
    const bool startOk = SetUpStart(opening);
    try {
        // Engines the slot kept for other players are of no use to this game.
        if (Slot) Slot->ReleaseOthers(White, Black);
        // Both players come up at once: each is started (or, kept, told of the new game), then
        // both are waited for.
        if (startOk) {
            PendingPlayer white = BeginInterface(*White, 0, opening, true);
            PendingPlayer black = BeginInterface(*Black, 1, opening, true);
            interfaces[0] = FinishInterface(*White, 0, opening, std::move(white));
            interfaces[1] = FinishInterface(*Black, 1, opening, std::move(black));
        }
        if (interfaces[0] && interfaces[1]) {
            clsEngineInterface* players[2] = { interfaces[0].get(), interfaces[1].get() };
            clsGameLoopSettings settings;
            settings.baseTimeMs = BaseTimeMs;
            settings.incrementMs = IncrementMs;
            settings.adjudication = Adjudication;
            settings.moveComments = true;
            settings.names[0] = White->Name;
            settings.names[1] = Black->Name;
            settings.books[0] = { White->Book.get(), White->BookDepth };
            settings.books[1] = { Black->Book.get(), Black->BookDepth };
            settings.bookSeed = static_cast<std::uint64_t>(GameNumber);
            clsGameLoop(*referee_, *this, *this, settings).Play(players);
        }
    } catch (...) {
        GameLog(2, "game aborted do to software exception!");
        SetResult(GameResult::Aborted);
    }
    if (ResultCode == GameResult::Unfinished) {
        // No interface, or the game was told to stop.
        if (startOk && (!interfaces[0] || !interfaces[1]))
            GameLog(2, "game aborted: a player could not be started");
        RecordResult(*this, *this, GameResult::Aborted);
    }

    // 5. Scores, the players' end, the files.
    ScoreGame();
    ReturnInterfaces(interfaces);
    MoveText = referee_->MoveText(ResultText());
    played_ = referee_->Played();
    finalPosition_ = referee_->Board().GetFEN();
    // How the game ended as PGN readers know it (a fault or an adjudication has said so already).
    if (Tag("Termination").empty()) SetTag("Termination", TerminationTag(ResultCode));
    SetTag("PlyCount", std::to_string(referee_->Plies()));
    filesWritten_ = SaveGameFiles();
    if (FilesDone) FilesDone(*this, filesWritten_);
    referee_.reset();
    const bool known = (ResultCode & (GameResult::Unfinished | GameResult::Aborted)) == 0;
    finished_.store(true, std::memory_order_release);
    if (Ended) Ended();
    return known;
}

} // namespace drnChess
