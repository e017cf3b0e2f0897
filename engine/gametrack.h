#pragma once
// The game as the strong search sees it: the fast position of the game, walked forward by each
// game move and back by each move taken back, with the keys of the positions before it for
// repetitions. A think starts from a copy of it; nothing is rebuilt from a FEN.

#include <cstdint>
#include <vector>

#include "engine/fastnames.h"
#include "rules/clsboard.h"
#include "rules/clsmove.h"

namespace drnChess::strong {

// The classic record of a fast move: its squares and promotion (no other flags).
clsMove ClassicMove(Move m);
// The legal move of the position with the classic record's squares and promotion; NoMove when
// there is none.
Move FastMoveOf(FastPosition& position, const clsMove& move);

class GameTrack {
public:
    // Forgets the game: the next move or think starts from the position it is given.
    void Forget() { classicKeys_.clear(); }
    // Records a game move made from the position with the classic key `before` (the track's
    // own, or one it passed: moves taken back) to the one with `after`. A position the track
    // never passed is loaded from `beforeBoard` with its halfmove clock, without history.
    void Play(const clsBoard& beforeBoard, int halfmoveClock, const clsMove& move, u64 before, u64 after);
    // Takes moves back to the position with this classic key. False, with nothing changed,
    // when the track has not passed it.
    bool Reach(u64 classicKey);
    // Loads the position alone (no game before it); false when the fast position refuses it.
    bool Reset(const clsBoard& board, int halfmoveClock, u64 classicKey);
    const FastPosition& Position() const { return position_; }
    int Plies() const { return classicKeys_.empty() ? 0 : static_cast<int>(classicKeys_.size()) - 1; }

private:
    // Game plies kept in the history: room is left for the search's own plies.
    static constexpr int MaxGamePlies = 512;

    FastPosition position_;
    std::vector<u64> classicKeys_; // the loaded position's classic key, then one per move
};

} // namespace drnChess::strong
