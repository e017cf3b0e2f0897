#pragma once
// The in-process game: two engines of the program take turns for a fixed time per move under
// the referee's one game loop (tourney/gameloop.h), each as a player on the client interface
// (tourney/clsfixedtimeplayer.h). It is the "\play" console command and the game of the
// genetic learning. The engines never think at the same time: the mover thinks the time per
// move, then it is stopped and its move taken.
//
// Console lines: the board at the start; the moves on one line ("e2e4 e7e5 ... "), ended by
// " win 1" (White won), " win -1" (Black won), " win 0" (drawn by the rules) or "REPT " (a
// position occurred for the fourth time), then the board after a decided or drawn game; last,
// the result from A's point of view on its own line.

#include <cstdint>
#include <string>

#include "dranbase/clsthread.h"
#include "dranbase/console.h"

namespace drnChess {

class clsEngine;
class clsEngineShare;

struct clsPlaySettings {
    std::int64_t msPerMove = 3000;
    int maxPlies = 0; // each side's move counts one; the game ends as a draw after it
    std::string startFEN; // empty: the standard start position
    std::string pgnFile; // the game is appended to it as PGN; empty: no record
    std::string nameA; // player names for the record; empty: "Corvala " + soul name
    std::string nameB;
    std::string event = "Corvala play";
    // Each side's search ("classic" or "strong"), set as its "-search" option for the game;
    // empty: the engine's own options decide.
    std::string searchA;
    std::string searchB;
};

struct clsPlayResult {
    int result = 0; // +1 A won, -1 A lost, 0 drawn, repeated, ply limit or stopped
    std::uint32_t code = 1; // the game record's result code (clsGame), 1 when unfinished
    std::string moves; // the console move line, as printed
    int plies = 0; // moves made
    bool repetition = false;
    bool pgnWritten = false; // the record was appended to the PGN file
    std::string pgnError; // why it was not, when a file was given
};

// Plays one game. A moves first (and so plays White when White is to move in the start
// position). Both engines are set to the start position; their souls and options stay. A mover
// that posts no move or a move the referee refuses loses the game. With an owner thread given,
// the waits sleep on it and a cancellation ends the game at once (result 0, code 0x8000).
// Console lines go through out.
clsPlayResult PlayEngineGame(clsEngine& a, clsEngine& b, const clsPlaySettings& settings,
    dranbase::clsOutBuffer& out, dranbase::clsThread* owner = nullptr);

// The "\play" match: two engines built with the share and an empty option table, souls A and B
// applied (an empty text keeps the default soul), one game as above. Returns its result.
clsPlayResult PlayMatch(clsEngineShare* share, const std::string& soulA, const std::string& soulB,
    const clsPlaySettings& settings, dranbase::clsOutBuffer& out, dranbase::clsThread* owner = nullptr);

// The "\play" console command with its rest of line "MS MAXMOVES PGNFILE [SOULA SOULB [SEARCHA
// SEARCHB]]" (the searches "classic" or "strong"):
// prints the usage line "# \play ms_per_move max_moves file.pgn [soulA soulB]" when MS or
// MAXMOVES is below 1 (MS defaults to 3000 and MAXMOVES to 0 when missing); otherwise plays the
// match and prints its result line. Returns the result (0 after the usage line).
int PlayCommand(clsEngineShare* share, const std::string& rest, dranbase::clsOutBuffer& out,
    dranbase::clsThread* owner = nullptr);

} // namespace drnChess
