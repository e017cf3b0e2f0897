#include "tourney/gameloop.h"

#include <algorithm>
#include <utility>

#include "dranbase/clsthread.h"
#include "engine/clsengine.h"

namespace drnChess {

using dranbase::EqualsNoCase;

namespace {
    // The longest the loop waits for a line in one go: a stop or the other player's flood is
    // noticed within it.
    constexpr std::int64_t MaxReplyWaitMs = 20;
} // namespace

clsGameLoop::clsGameLoop(
    clsReferee& referee, clsGame& record, clsGameHost& host, clsGameLoopSettings settings)
    : referee_(referee)
    , record_(record)
    , host_(host)
    , settings_(std::move(settings))
{
    if (settings_.adjudication.Any()) adjudicator_.emplace(settings_.adjudication);
}

void RecordResult(clsGame& record, clsGameLogSink& log, std::uint32_t code)
{
    record.SetResult(code);
    log.GameLog(2, record.ResultText() + " " + record.ReasonText());
}

void clsGameLoop::EndByFault(std::uint32_t code, const std::string& logText, const std::string& reason)
{
    host_.GameLog(2, logText); // a referee line: kept even when the players' traffic was cut
    EndGame(code);
    record_.SetTag("Termination", "rules infraction");
    record_.SetTag("Fault", reason);
}

void clsGameLoop::JudgeClaim(const std::string& claim, const std::string& name)
{
    const std::uint32_t code = ClaimCode(claim, side_);
    if (code == 0) {
        // A claimed win goes unheard; kept so that the loss it leads to names it.
        const std::string_view word = std::string_view(claim).substr(0, claim.find(' '));
        if (word == (side_ == 0 ? "1-0" : "0-1")) winClaim_[side_] = claim;
        return;
    }
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
    EndByFault(FalseClaimCode(side_), "false draw claim by " + QuoteName(name) + ": " + claim,
        "false draw claim: " + claim);
}

std::string clsGameLoop::BookMove(int side)
{
    const clsLoopBook& own = settings_.books[side];
    if (!own.book || outOfBook_[side] || (own.depth > 0 && bookMoves_[side] >= own.depth)) return {};
    if (!bookCore_) bookCore_ = std::make_unique<clsChessCore>();
    std::string error;
    std::string move = own.book->Probe(*bookCore_, referee_.StartTag(), referee_.Played(),
        BookRandom(settings_.bookSeed, static_cast<std::uint64_t>(plies_)), &error);
    if (!error.empty()) host_.GameLog(2, error);
    if (move.empty()) outOfBook_[side] = true;
    return move;
}

bool clsGameLoop::TakeMove(
    clsEngineInterface* players[2], const std::string& text, std::int64_t elapsed, bool fromBook)
{
    clock_[side_] = ClockAfterMove(clock_[side_], settings_.incrementMs, elapsed);
    if (!fromBook) host_.MoveRead(side_, text);
    const clsMoveVerdict move = referee_.Play(text);
    if (!move.legal) {
        host_.GameLog(2, "illegal move " + QuoteName(text) + " by " + QuoteName(settings_.names[side_]));
        EndGame(IllegalMoveCode(side_));
        return false;
    }
    // The mover's own view of the move, read from its thinking output since its last move.
    const clsEngineScore score = players[side_]->LastScore;
    players[side_]->LastScore = {};
    if (settings_.moveComments) referee_.Comment(fromBook ? "book" : MoveCommentText(score, elapsed));
    record_.MoveText = referee_.MoveText();
    ++plies_;
    winClaim_[side_].clear(); // it played on after its claim
    if (fromBook) ++bookMoves_[side_];

    claimBefore_ = claimNow_;
    claimNow_ = DrawClaimCode(referee_.Occurrences(), referee_.Board().halfmoveClock, move.status);
    if (move.code != GameResult::Unfinished) {
        EndGame(move.code);
        return false;
    }
    if (settings_.maxPlies > 0 && plies_ >= settings_.maxPlies) {
        EndGame(GameResult::Draw | GameResult::Adjudication);
        return false;
    }
    if (adjudicator_) {
        const clsAdjudication verdict
            = adjudicator_->AfterMove(side_, score, referee_.LastMoveNumber(), referee_.Plies());
        if (verdict.code != 0) {
            host_.GameLog(2, "adjudication: " + verdict.reason);
            EndGame(verdict.code);
            record_.SetTag("Termination", "adjudication");
            record_.SetTag("Adjudication", verdict.reason);
            return false;
        }
    }
    const int moved = side_;
    if (fromBook)
        players[moved]->SendQuietMove(move.coordinate);
    else
        players[moved]->SendMove(move.coordinate, moved);
    side_ ^= 1;
    SetMoveAllowance(*players[side_]);
    nextBookMove_ = BookMove(side_);
    players[side_]->SetClocks(clock_[0], clock_[1], settings_.incrementMs, settings_.incrementMs);
    if (nextBookMove_.empty())
        players[side_]->SendMove(move.coordinate, moved);
    else
        players[side_]->SendQuietMove(move.coordinate);
    return true;
}

void clsGameLoop::SetMoveAllowance(const clsEngineInterface& mover)
{
    if (mover.Limits.OnGameClock()) return;
    const std::int64_t margin = mover.Limits.marginMs >= 0 ? mover.Limits.marginMs : MoveTimeMarginMs;
    clock_[side_] = mover.Limits.moveMs > 0 ? mover.MoveTimeMs() + margin : NoClockGuardMs;
}

void clsGameLoop::Play(clsEngineInterface* players[2])
{
    clock_[0] = clock_[1] = settings_.baseTimeMs;
    side_ = referee_.SideToMove();
    SetMoveAllowance(*players[side_]);
    nextBookMove_ = BookMove(side_);
    if (nextBookMove_.empty()) players[side_]->StartThinking();
    // Each clock runs from the moment the mover's last command was written to the moment its
    // move line arrived: the referee's pauses and reading delays are not the engine's time.
    std::int64_t start = players[side_]->LastSendTick;
    const std::int64_t wallStart = start;
    std::int64_t charged = 0; // the players' time, summed over the moves
    int moves = 0;

    while (!host_.StopAsked() && record_.ResultCode == GameResult::Unfinished) {
        clsEngineInterface& mover = *players[side_];
        const std::string& name = settings_.names[side_];

        // 0. A player that floods its output loses, whoever is to move.
        auto floods = [&](int c) { return players[c]->Flooded() || host_.LogCut(c); };
        if (const int flooder = floods(0) ? 0 : floods(1) ? 1 : -1; flooder >= 0) {
            EndByFault(FaultCode(flooder), settings_.names[flooder] + " floods its output", "output flood");
            break;
        }

        // A move from the mover's book is played at once; its engine is not asked.
        if (!nextBookMove_.empty()) {
            const std::string text = std::exchange(nextBookMove_, std::string());
            host_.GameLog(2, "book move " + text + " for " + QuoteName(name));
            if (!TakeMove(players, text, 0, true)) break;
            start = players[side_]->LastSendTick;
            continue;
        }

        // 1. The mover's next line. Every line that has come is taken at once, one after the
        // other (a burst of thinking output must not hold up the move behind it); only when
        // none is left does the loop wait, woken by the next line or by the fall of the flag.
        // The clock: up to the line's arrival when one has come; up to the look before the
        // read when none has (a line that comes later cannot have arrived earlier).
        const std::int64_t linesBefore = mover.LinesRead;
        const std::int64_t lookedAt = dranbase::Tick();
        const std::string response = mover.ReadResponse();
        const bool lineCame = mover.LinesRead != linesBefore;
        const std::int64_t elapsed = (lineCame ? mover.LastLineTick : lookedAt) - start;
        // On the game's clock a margin given for the player comes on top of the clock's grace.
        const std::int64_t allowed = clock_[side_]
            + (mover.Limits.OnGameClock() ? std::max<std::int64_t>(0, mover.Limits.marginMs) : 0);
        if (IsTimeForfeit(elapsed, allowed) && !winClaim_[side_].empty()) {
            // It claimed a win instead of moving: the claim, not the clock, lost the game.
            EndByFault(FalseClaimCode(side_),
                "false win claim by " + QuoteName(name) + ": " + winClaim_[side_],
                "false win claim: " + winClaim_[side_]);
            break;
        }
        if (IsTimeForfeit(elapsed, allowed)) {
            const std::string text = ForfeitText(elapsed, allowed);
            record_.SetTag("Forfeit_ms", text);
            host_.GameLog(side_, name + " forfeits on time (" + text + ")");
            EndGame(ForfeitCode(side_));
            break;
        }
        if (!lineCame) {
            // An empty read from a player that has ended is a crash.
            if (mover.Ended) {
                host_.GameLog(side_, name + " has crashed!");
                EndGame(CrashCode(side_));
            } else {
                const std::int64_t flagFalls = start + allowed + ClockGraceMs + 1 - dranbase::Tick();
                mover.WaitForReply(std::clamp<std::int64_t>(flagFalls, 1, MaxReplyWaitMs));
            }
            continue;
        }
        if (response.empty()) continue; // thinking output, or a line that only changed state
        host_.GameLog(side_, response);
        const clsResponse reply = SplitResponse(response);

        if (EqualsNoCase(reply.keyword, "move")) {
            charged += elapsed;
            ++moves;
            if (!TakeMove(players, MoveOfResponse(reply.rest), elapsed, false)) break;
            // The new mover's clock runs from the moment its last command (the move, or "go")
            // was written.
            start = players[side_]->LastSendTick;
        } else if (EqualsNoCase(reply.keyword, "result")) {
            // A claim: a draw (checked), or the mover's own loss; a claimed win goes unheard.
            JudgeClaim(reply.rest, name);
        }
    }
    // What the referee itself cost: the game's wall time less the players' charged time.
    if (moves > 0)
        host_.GameLog(2,
            "clock: " + std::to_string(moves) + " moves, wall " + std::to_string(dranbase::Tick() - wallStart)
                + " ms, charged " + std::to_string(charged) + " ms");
}

} // namespace drnChess
