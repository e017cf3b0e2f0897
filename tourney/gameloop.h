#pragma once
// The one game loop of every game the program referees: tournament games, "\play" and the
// learning games. Two players on the client interface take turns; the loop reads every line
// the mover sends as soon as it comes, keeps both clocks (each charged from its last command
// to its move line's arrival; a player with a time per move, or without a clock, has that time
// or the hang guard for each move instead), has each move judged by the referee (tourney/referee.h), passes
// it on, and ends the game by the rules, by a player's fault (time, an illegal or empty move, a
// crash, a flood) or claim (a draw, its own loss), or at the ply limit. The result goes into
// the game record and every step into the game's log.
//
// The players are started, through their handshake and at the start position before the loop
// runs; the loop neither starts nor stops them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "book/clsgame.h"
#include "rules/clschesscore.h"
#include "tourney/adjudication.h"
#include "tourney/clsengineinterface.h"
#include "tourney/playerbook.h"
#include "tourney/referee.h"

namespace drnChess {

// What the loop asks of the game it runs in.
class clsGameHost : public clsGameLogSink {
public:
    // True when the game must stop now (its thread is cancelled or the game aborted).
    virtual bool StopAsked() = 0;
    // True when the side's traffic went past what the game's log keeps: a flood.
    virtual bool LogCut(int side) const
    {
        (void)side;
        return false;
    }
    // A mover's move text as it came ("" when the move line named none), before it is judged.
    virtual void MoveRead(int side, const std::string& text)
    {
        (void)side;
        (void)text;
    }
};

// Sets the record's result and logs a game line of its text and reason ("1-0 mate").
void RecordResult(clsGame& record, clsGameLogSink& log, std::uint32_t code);

// A side's book, played by the loop itself: the side's moves come from it, without asking the
// engine, while it has a move for the position and fewer than `depth` have been played (0: no
// limit). From its first miss on the engine plays.
struct clsLoopBook {
    const clsPlayerBook* book = nullptr;
    int depth = 0;
};

struct clsGameLoopSettings {
    std::int64_t baseTimeMs = 60000;
    std::int64_t incrementMs = 0;
    int maxPlies = 0; // the game ends as a draw by adjudication after this many moves; 0: no limit
    std::string names[2]; // the players' names in log lines
    // Draw, resign and move-limit judgement from the players' own scores (none by default).
    // A game it ends gets the tags Termination "adjudication" and Adjudication (what ended it).
    clsAdjudicationRules adjudication;
    // Each move of a player gets a comment with its score, depth and time ("+0.35/17 0.31s").
    bool moveComments = false;
    clsLoopBook books[2]; // White's and Black's books (none by default)
    std::uint64_t bookSeed = 0; // the books' choices among weighted moves follow it
};

class clsGameLoop {
public:
    clsGameLoop(clsReferee& referee, clsGame& record, clsGameHost& host, clsGameLoopSettings settings);

    // Plays from the referee's position until the game ends or the host asks it to stop (the
    // record then stays unfinished). players[0] plays White.
    void Play(clsEngineInterface* players[2]);

private:
    void EndGame(std::uint32_t code) { RecordResult(record_, host_, code); }
    // A player's fault ends the game: the log line, the code, and the PGN tags Termination
    // ("rules infraction") and Fault (what happened).
    void EndByFault(std::uint32_t code, const std::string& logText, const std::string& reason);
    // A claim "result ..." of the mover; a draw claim is checked against the position.
    void JudgeClaim(const std::string& claim, const std::string& name);
    // A move (the engine's, or its book's): the clock, the referee's verdict, then the end or
    // the other side's turn: it is passed on, and the other side starts thinking unless its own
    // move comes from its book. False when the game has ended.
    bool TakeMove(
        clsEngineInterface* players[2], const std::string& text, std::int64_t elapsed, bool fromBook);
    // The side's book move in the present position; empty when it has none (no book, its depth
    // played, or out of its book), and from the first miss on for the rest of the game.
    std::string BookMove(int side);
    // A mover off the game's clock gets its whole allowance for the move it is about to
    // make: its time per move and the margin, or without a clock the hang guard.
    void SetMoveAllowance(const clsEngineInterface& mover);

    clsReferee& referee_;
    clsGame& record_;
    clsGameHost& host_;
    const clsGameLoopSettings settings_;
    int side_ = 0;
    int plies_ = 0;
    std::int64_t clock_[2] = { 0, 0 };
    // The draw a claim made now, or made by the player who moved last, would be granted
    // (0: none): the positions after the last two moves.
    std::uint32_t claimNow_ = 0;
    std::uint32_t claimBefore_ = 0;
    // A win each side claimed since its last move (empty: none). The game goes on; a player that
    // then runs out of time loses by its false claim.
    std::string winClaim_[2];
    std::optional<clsAdjudicator> adjudicator_;
    // The books: each side's book moves so far, whether it has left its book, the move it plays
    // next from it (empty: its engine is asked), and a core for the probes.
    int bookMoves_[2] = { 0, 0 };
    bool outOfBook_[2] = { false, false };
    std::string nextBookMove_;
    std::unique_ptr<clsChessCore> bookCore_;
};

} // namespace drnChess
