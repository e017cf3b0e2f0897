#pragma once
// The referee's judgement of a game, shared by every game the program plays (tournament
// games, "\play" and the learning games): a board of its own that takes each move as its
// mover wrote it, refuses what the rules refuse, keeps the game record's move text and the
// coordinate moves, and ends the game by the one set of rules: a position's fourth occurrence
// (the repetition key ignores castling and en-passant rights), then mate, stalemate and
// insufficient material, then the fifty-move rule (a hundred plies without a capture or a pawn
// move, counted from the start position's half-move clock); no claim is waited for. It never thinks and
// starts no thread.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tourney/gamerules.h"

namespace drnChess {

class clsEngine;

// What one move did to the game.
struct clsMoveVerdict {
    bool legal = false; // false: the text names no legal move; nothing changed
    std::string coordinate; // the move in coordinates ("e7e8q", "e1g1") when legal
    // The game's result code after it: GameResult::Unfinished while the game goes on, else
    // Draw|Repetition for a fourth occurrence, or the position's status (mate, stalemate,
    // insufficient material), or Draw|FiftyMoves once the half-move clock reaches 100.
    std::uint32_t code = 0;
    // The position's own status after it (GameState: going, mate, stalemate, insufficient
    // material), which a draw claim is judged against.
    std::uint32_t status = 0;
};

class clsReferee {
public:
    clsReferee();
    ~clsReferee();
    clsReferee(const clsReferee&) = delete;
    clsReferee& operator=(const clsReferee&) = delete;

    // Starts a game at the position (FEN); the history and records start afresh. False when
    // the rules refuse the position.
    bool SetStart(const std::string& fen);
    // Judges and, when legal, makes a move of the side to move, written in coordinates (with or
    // without '=') or SAN.
    clsMoveVerdict Play(std::string_view text);

    // The board as it stands (for diagrams, FEN and the clocks' move numbers).
    clsEngine& Board() { return *board_; }
    int SideToMove() const;
    // How often the present position has occurred (1 when new; 0 before the first move).
    int Occurrences() const { return history_.Occurrences(); }
    // The record's move text so far, ended by the result token when one is given.
    std::string MoveText(const std::string& resultToken = {}) const { return moveText_.Text(resultToken); }
    // The coordinate moves played, each followed by a blank.
    const std::string& Played() const { return played_; }
    int Plies() const { return moveText_.Plies(); }
    // The full-move number of the last move played; 0 before any.
    int LastMoveNumber() const { return moveText_.LastMoveNumber(); }
    // A comment in the record's move text after the last move ("book", "+0.35/17 0.31s").
    void Comment(const std::string& text) { moveText_.Comment(text); }
    // The "FEN" tag of the start: the position with its half-move clock and move number.
    const std::string& StartTag() const { return startTag_; }

private:
    std::unique_ptr<clsEngine> board_;
    clsRepetitionHistory history_;
    clsMoveTextWriter moveText_;
    std::string played_;
    std::string startTag_;
};

} // namespace drnChess
