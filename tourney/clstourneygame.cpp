#include "tourney/clstourneygame.h"

#include <algorithm>

#include "dranbase/clsfile.h"
#include "dranbase/console.h"
#include "engine/clsengine.h"
#include "tourney/clsembeddedengine.h"
#include "tourney/clsexternalengine.h"

namespace drnChess {

using dranbase::EqualsNoCase;

namespace {
    // The longest the referee waits for a line in one go: an abort or the other player's flood
    // is noticed within it.
    constexpr std::int64_t MaxReplyWaitMs = 20;
} // namespace

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
    claimNow_ = claimBefore_ = 0;
    played_.clear();
    side_ = 0;
    fullMove_ = 0;
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
        engine
            = std::make_unique<clsExternalEngine>(player.FileName, player.Parameters, protocol, player.Name);
    }
    engine->SetTiming(own);
    return engine;
}

std::unique_ptr<clsEngineInterface> clsTourneyGame::CreateInterface(
    clsPlayer& player, int colour, const std::string& opening)
{
    std::unique_ptr<clsEngineInterface> engine = MakeClient(player, Timing);
    engine->StartFEN = StartFEN;
    engine->OpeningMoves = opening;
    const bool ready = InitEngine(*engine, colour);

    // A program that could not be started at all is no player: the game cannot be played.
    if (const std::string error = engine->StartError(); !error.empty()) {
        GameLog(2, "cannot start " + QuoteName(player.FileName) + ": " + error);
        engine->Stop();
        return nullptr;
    }
    if (!ready) GameLog(colour, player.Name + " is not ready");
    return engine;
}

void clsTourneyGame::EndGame(std::uint32_t code)
{
    SetResult(code);
    GameLog(2, ResultText() + " " + ReasonText());
}

void clsTourneyGame::EndByFault(
    int side, std::uint32_t code, const std::string& logText, const std::string& reason)
{
    (void)side;
    GameLog(2, logText); // a referee line: kept even when the players' traffic was cut
    EndGame(code);
    SetTag("Termination", "rules infraction");
    SetTag("Fault", reason);
}

void clsTourneyGame::JudgeClaim(const std::string& claim, const std::string& name)
{
    const std::uint32_t code = ClaimCode(claim, side_);
    if (code == 0) return; // a claimed win goes unheard
    if (code != GameResult::Draw) {
        EndGame(code);
        return;
    }
    // A draw claim holds when the position it was made in supports it: the present one, or
    // the one after the claimant's own last move (its claim may arrive after its move).
    if (const std::uint32_t granted = claimNow_ ? claimNow_ : claimBefore_; granted != 0) {
        EndGame(granted);
        return;
    }
    EndByFault(side_, FalseClaimCode(side_), "false draw claim by " + QuoteName(name) + ": " + claim,
        "false draw claim: " + claim);
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
        if (referee_->SideToMove() == drnChess::Black) ++fullMove_;
        openingCoordinates += move.coordinate + " ";
    }
    MoveText = referee_->MoveText();
    return true;
}

void clsTourneyGame::PlayMoves(clsEngineInterface* players[2])
{
    clsPlayer* names[2] = { White, Black };
    clock_[0] = clock_[1] = BaseTimeMs;
    side_ = referee_->SideToMove();
    players[side_]->StartThinking();
    // Each clock runs from the moment the mover's last command was written to the moment its
    // move line arrived: the referee's pauses and reading delays are not the engine's time.
    std::int64_t start = players[side_]->LastSendTick;
    const std::int64_t wallStart = start;
    std::int64_t charged = 0; // the players' time, summed over the moves
    int moves = 0;

    while (!StopAsked() && ResultCode == GameResult::Unfinished) {
        clsEngineInterface& mover = *players[side_];
        const std::string& name = names[side_]->Name;

        // 0. A player that floods its output loses, whoever is to move.
        auto floods = [&](int c) { return players[c]->Flooded() || logCut_[c].load(); };
        if (const int flooder = floods(0) ? 0 : floods(1) ? 1 : -1; flooder >= 0) {
            EndByFault(
                flooder, FaultCode(flooder), names[flooder]->Name + " floods its output", "output flood");
            break;
        }

        // 1. The mover's next line. Every line that has come is taken at once, one after the
        // other (a burst of thinking output must not hold up the move behind it); only when
        // none is left does the referee wait, woken by the next line or by the fall of the
        // flag. The clock: up to the line's arrival when one has come; up to the look before
        // the read when none has (a line that comes later cannot have arrived earlier).
        const std::int64_t linesBefore = mover.LinesRead;
        const std::int64_t lookedAt = dranbase::Tick();
        const std::string response = mover.ReadResponse();
        const bool lineCame = mover.LinesRead != linesBefore;
        const std::int64_t elapsed = (lineCame ? mover.LastLineTick : lookedAt) - start;
        if (IsTimeForfeit(elapsed, clock_[side_])) {
            const std::string text = ForfeitText(elapsed, clock_[side_]);
            SetTag("Forfeit_ms", text);
            GameLog(side_, name + " forfeits on time (" + text + ")");
            EndGame(ForfeitCode(side_));
            break;
        }
        if (!lineCame) {
            // An empty read from a player that has ended is a crash.
            if (mover.Ended) {
                GameLog(side_, name + " has crashed!");
                EndGame(CrashCode(side_));
            } else {
                const std::int64_t flagFalls = start + clock_[side_] + ClockGraceMs + 1 - dranbase::Tick();
                mover.WaitForReply(std::clamp<std::int64_t>(flagFalls, 1, MaxReplyWaitMs));
            }
            continue;
        }
        if (response.empty()) continue; // thinking output, or a line that only changed state
        GameLog(side_, response);
        const clsResponse reply = SplitResponse(response);

        if (EqualsNoCase(reply.keyword, "move")) {
            // 3. A move: the clock, the rules, then either the end or the other side's turn.
            clock_[side_] = ClockAfterMove(clock_[side_], IncrementMs, elapsed);
            charged += elapsed;
            ++moves;
            const std::string text = MoveOfResponse(reply.rest);
            const clsMoveVerdict move = referee_->Play(text);
            if (!move.legal) {
                GameLog(2, "illegal move " + QuoteName(text) + " by " + QuoteName(name));
                EndGame(IllegalMoveCode(side_));
                break;
            }
            if (side_ == drnChess::White) ++fullMove_;
            MoveText = referee_->MoveText();

            claimBefore_ = claimNow_;
            claimNow_ = DrawClaimCode(referee_->Occurrences(), referee_->Board().halfmoveClock, move.status);
            if (move.code != GameResult::Unfinished) {
                EndGame(move.code);
                break;
            }
            const int moved = side_;
            mover.SendMove(move.coordinate, moved);
            side_ ^= 1;
            players[side_]->SetClocks(clock_[0], clock_[1], IncrementMs, IncrementMs);
            players[side_]->SendMove(move.coordinate, moved);
            // The new mover's clock runs from the moment its last command (the move, or "go")
            // was written.
            start = players[side_]->LastSendTick;
        } else if (EqualsNoCase(reply.keyword, "result")) {
            // 4. A claim: a draw (checked), or the mover's own loss; a claimed win goes unheard.
            JudgeClaim(reply.rest, name);
        }
    }
    // What the referee itself cost: the game's wall time less the players' charged time.
    if (moves > 0)
        GameLog(2,
            "clock: " + std::to_string(moves) + " moves, wall " + std::to_string(dranbase::Tick() - wallStart)
                + " ms, charged " + std::to_string(charged) + " ms");
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
        return false;
    }

    // 2.-4. The start and opening, the players, then the moves.
    GameLog(2, "new match: " + QuoteName(White->Name) + " vs " + QuoteName(Black->Name));
    std::unique_ptr<clsEngineInterface> interfaces[2];
    std::string opening;
    const bool startOk = SetUpStart(opening);
    try {
        if (startOk) interfaces[0] = CreateInterface(*White, 0, opening);
        if (interfaces[0] && !StopAsked()) interfaces[1] = CreateInterface(*Black, 1, opening);
        if (interfaces[0] && interfaces[1]) {
            clsEngineInterface* players[2] = { interfaces[0].get(), interfaces[1].get() };
            PlayMoves(players);
        }
    } catch (...) {
        GameLog(2, "game aborted do to software exception!");
        SetResult(GameResult::Aborted);
    }
    if (ResultCode == GameResult::Unfinished) {
        // No interface, or the game was told to stop.
        if (startOk && (!interfaces[0] || !interfaces[1]))
            GameLog(2, "game aborted: a player could not be started");
        EndGame(GameResult::Aborted);
    }

    // 5. Scores, the players' end, the files.
    ScoreGame();
    for (auto& engine : interfaces)
        if (engine) engine->Stop();
    for (auto& engine : interfaces)
        engine.reset();
    MoveText = referee_->MoveText(ResultText());
    played_ = referee_->Played();
    SaveGameFiles();
    referee_.reset();
    const bool known = (ResultCode & (GameResult::Unfinished | GameResult::Aborted)) == 0;
    finished_.store(true, std::memory_order_release);
    return known;
}

} // namespace drnChess
