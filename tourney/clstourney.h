#pragma once
// A tournament: its XML description, the players, one game per pairing, and the rounds.
//
// clsTourney is a thread: its body (LoadTourney) reads the file, creates players and games,
// then plays the rounds with at most "threads" games at once, reporting each result in the
// tournament log and the standings at the end; the learning kind hands its players to the
// learning hook instead. The console stays free meanwhile.
//
// The description (element and attribute names as read; every name of a kind or flag value is
// compared ignoring case):
//   <tourney name="N" type="roundrobin|gauntlet|learning">
//     <options>
//       <rounds>1</rounds> <threads>1</threads> <logfolder>dir</logfolder>
//       <clock moves_per_second="0" game_ms="300000" increment_ms="0"/>
//       <verbose>true</verbose>            every game log line also on the console
//       <pacing_ms>100</pacing_ms>         pause after each command to a player; 0: none
//       <start_delay_ms>1500</start_delay_ms>  pause after starting a program, before its
//                                          handshake; 0: the handshake alone is waited for
//       <openings file="F" format="epd|pgn" order="sequential|random" plies="N" start="K"/>
//       <sprt elo0="0" elo1="5" alpha="0.05" beta="0.05"/>   two players only
//       <adjudication>                     optional; without it no game is adjudicated
//         <draw movenumber="40" movecount="8" score="10"/>
//         <resign movecount="3" score="500" twosided="false"/>
//         <maxmoves>200</maxmoves>
//       </adjudication>
//     </options>
//     <engines>
//       <engine active="true" name="X" protocol="xboard|uci|embedded">
//         <filename>"/usr/games/fairymax"</filename> <parameters>...</parameters>
//         <book file="book.bin" depth="8"/>   optional: the runner plays the engine's first
//                                             moves (at most depth, no limit without it) from
//                                             a polyglot ".bin" or a ".cbk" book
//         <restart>off</restart>           optional: a game slot keeps the engine running for
//                                          its next game; "on" (the default): started per game
//         The rest are optional, for uci and xboard engines only:
//         <dir>/engines/x</dir>            the folder it starts in (default: its program's)
//         <option name="Hash" value="64"/> given once after the handshake, in file order (UCI
//                                          "setoption", xboard "option NAME=VALUE")
//         <limits movetime_ms="500" nodes="100000" depth="12" clock="off" margin_ms="200"/>
//                                          each attribute optional: a fixed time per move in
//                                          place of the clock (xboard: whole seconds, the
//                                          nearest), a node limit (UCI only), a depth limit;
//                                          clock="off": no clock, only a hang guard (needs one
//                                          of the others); margin_ms: what a move may take past
//                                          its time (default 100 with a time per move, 0 on
//                                          the clock, where the clock's grace still applies)
//         <stderr>file</stderr>            its standard error is appended there (default: it
//                                          comes with its output, into the game's log)
//       </engine>
//     </engines>
//     <pgn><header><Site>Home</Site></header></pgn>   extra PGN tags (no names with "Dran")
//   </tourney>
//
// Openings: the two games of each pairing in a round form a pair that starts from one opening
// with the colours swapped. Statistics: after each game the log has the pairing's W-L-D, score,
// Elo with its 95 % error, LOS and draw ratio (and the pentanomial over complete pairs when
// openings are used); the standings table and every pairing's lines come before the end. SPRT:
// after each game the LLR and its bounds; once a bound is crossed no new game starts and the
// games still running are stopped: they end at once without a result (their engines told to
// quit and reaped), so they are neither counted nor kept in the state as finished.
//
// Resume: with a log folder, the state (games done, their results, a fingerprint of the file)
// is written atomically beside the log when the run starts and as soon as each game's files are
// written. Starting a tournament whose
// latest run has a state but no end continues that run: finished games are counted, not
// replayed. A state of another file, a damaged one or one that names games or results this
// tournament cannot have is refused with a message saying how to start afresh (delete the
// state file). A PGN, log or state file that cannot be written stops the run (Failed()).
//
// Game slots: at most "threads" games run at once, each in a slot of its own. A slot keeps the
// engines of players with <restart>off</restart> for its next game (tourney/engineslot.h); the
// others are started for every game. Every kept engine is ended when the rounds end, however
// they end.
//
// Threads: the tournament thread alone creates, schedules and destroys the games; it starts a
// game's thread and then only reads IsFinished(), woken by each game's end. Cancel() may come
// from another thread; the tournament log has its own mutex.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "dranbase/clsstring.h"
#include "dranbase/clsthread.h"
#include "dranbase/clsxml.h"
#include "tourney/clstourneygame.h"
#include "tourney/engineslot.h"
#include "tourney/openings.h"
#include "tourney/tourneystate.h"
#include "tourney/tourneytally.h"
#include "version.h"

namespace drnChess {

// Kinds of tournament.
namespace TourneyKind {
    inline constexpr int RoundRobin = 0;
    inline constexpr int Gauntlet = 1;
    inline constexpr int Learning = 2;
} // namespace TourneyKind

// One active engine of the description.
struct clsPlayerConfig {
    std::string name;
    std::string protocol;
    std::string fileName; // without surrounding double quotes
    std::string parameters;
    std::string bookFile; // <book file=...>; empty: no book
    int bookDepth = 0; // <book depth=...>; 0: no limit
    bool keepEngine = false; // <restart>off</restart>: kept between games
    std::string workDir; // <dir>; empty: the program's own folder
    std::vector<std::pair<std::string, std::string>> options; // <option name value>, in order
    clsMoveLimits limits; // <limits>; the game's clock alone without it
    std::string stderrFile; // <stderr>; empty: standard error comes with the output
};

// The description as read, with its defaults.
struct clsTourneyConfig {
    bool found = false; // the file has a "tourney" element
    std::string name;
    int kind = TourneyKind::RoundRobin;
    int rounds = 1;
    std::string logFolder;
    std::int64_t movesPerControl = 0;
    std::int64_t gameMs = 60000;
    std::int64_t incrementMs = 0;
    int threads = 1;
    bool verbose = false;
    // The pause after each command sent to a player, from <pacing_ms>; -1 when the file does
    // not say (the clients' own default, 100 ms, stays). 0: no pause.
    std::int64_t pacingMs = -1;
    // The pause after starting a program, from <start_delay_ms>; -1 when the file does not
    // say (the clients' own default, 1500 ms, stays).
    std::int64_t startDelayMs = -1;
    std::vector<clsPlayerConfig> players; // active ones, in file order, first of a name kept
    std::vector<std::string> skippedPlayers; // active engines dropped for a repeated name
    clsAdjudicationRules adjudication; // from <adjudication>; none when it is absent
    dranbase::clsStrings extraTags; // "pgn/header" children in document order
    std::string enginesText; // the engines element as XML text (empty if none)
    // Values that cannot be used, each naming its element; a run with any is refused.
    std::vector<std::string> problems;
};

// Reads the description from a parsed document. Missing elements keep the defaults; without
// "options" the clock is 60000 ms, increment 0, moves per control 0, threads 1, rounds 1; with
// "options", a missing clock attribute reads as 300000 ms for "game_ms", 0 for the others.
// Fewer than one thread counts as one (a tournament that may run no game would never end).
// A value that is present but cannot be used is a problem naming its element: rounds that are
// not a whole number from 1; game_ms not a whole number from 1; increment_ms or
// moves_per_second not a whole number from 0; threads, pacing_ms or start_delay_ms not a
// whole number; an engine's restart not on or off; an
// adjudication's movecount or maxmoves not from 1, movenumber or score not from 0, twosided
// not true or false; a <book>
// without a file or with a depth that is not a whole number from 1; an <option> without a name;
// <limits> whose numbers are not whole numbers from 1 (margin_ms from 0), whose clock is not on or off, with
// clock="off" and nothing else to end a move, or with nodes for an xboard engine; <dir>,
// <option>, <limits> or <stderr> for an embedded engine.
clsTourneyConfig ReadTourneyConfig(const dranbase::clsXML& document);

// The pairings (white index, black index) in creation order: every ordered pair for a round
// robin; for the gauntlet and learning kinds only the pairs with player 0.
std::vector<std::pair<int, int>> MakePairings(int playerCount, int kind);

// A tournament name as a plain file name: every '/' and '\\' becomes '_'; an empty name, "."
// and ".." become "tourney". The files it names stay inside the log folder.
std::string SafeFileName(const std::string& name);

class clsTourney : public dranbase::clsThread {
public:
    static constexpr const char* Software = dranbase::ProgramVersion;

    // Reads the file now ("# file not found: <path>" when it cannot be read); the games are made
    // when the thread runs.
    //
    // Before the first game the run refuses, with a console line and the tournament log saying
    // why, and Failed() set: a file that is missing, malformed or has no tourney element; a
    // value that cannot be used (see ReadTourneyConfig, and <openings> and <sprt>);
    // fewer than two players; a log folder it cannot write in; a player's book that cannot be read; a player
    // that cannot start or does not finish its handshake (each is started, handshaken and quit once); the
    // learning kind without a learning hook. Its files never leave the log folder (the name is made a plain
    // file name) and never replace an earlier run's (a name in use gets "-2", "-3", ...).
    clsTourney(int number, const std::string& filePath);
    ~clsTourney() override;

    // When the tournament is running: asks every unfinished game to end as aborted and writes
    // "cancel" to the tournament log. Then stops the thread and waits for it, which waits for
    // the running games to wind down (their engines quit and are ended), so nothing of the
    // tournament outlives the call. The rounds' end lines and standings are not written.
    bool Cancel() override;

    // Builds the line number "\t" ms since start "\t" round "\t" game "\t-\t" text, prints it and,
    // when there is a log file, keeps it for the file.
    void TourneyLog(int number, const std::string& text);
    // Rewrites the log file (every line followed by CR LF) under a temporary name renamed into
    // place. True when there is no log file or it was written.
    bool SaveTourneyLog();

    // --- one game as one command (tourneyjobs.cpp) ---------------------------------------------
    // Games are numbered from 1 in the tournament's order (round by round, pairings in order).
    // Plays game n alone on the calling thread with the pairing, colours, opening and clock the
    // tournament would give it, writes its PGN and log, and its result record
    // "<log folder>/<name>.game-<n>.state", which a later run of the tournament counts as
    // finished. Needs a log folder. True when the game ended with a known result; console lines
    // say what went wrong otherwise.
    bool PlayOneGame(int n);
    // The numbers of the games that neither the latest unfinished run's state nor a game record
    // counts as finished; empty (with a console line) when the file cannot be used.
    std::vector<int> PendingGames();

    // A game of the rounds as a runner that prints its own lines sees it: its number among all
    // the tournament's games (from 1), their count, the players' indexes and the game itself.
    struct GameEvent {
        int number = 0;
        int total = 0;
        int white = 0;
        int black = 0;
        const clsTourneyGame* game = nullptr;
        // The game was still running when the SPRT decided and was stopped without a result:
        // it is not counted, not in the state and not a finished game.
        bool stoppedByVerdict = false;
    };
    // Called on the tournament thread as a game starts, and once its result is counted (the
    // tally has it then). Games an earlier run finished are not reported.
    std::function<void(const GameEvent&)> GameStarted;
    std::function<void(const GameEvent&)> GameFinished;
    // The log's lines, the engines' list and the progress line go to the log file only, not
    // to the console (a runner that prints its own lines); lines starting with '#' still do.
    bool QuietConsole = false;

    // Called for the learning kind instead of the rounds, on the tournament thread.
    std::function<void(clsTourney&)> LearningHook;
    // The clients' pauses for every game (tests shorten them).
    clsClientTiming Timing;

    // --- read after the thread has ended (or from the hook) --------------------------------------
    const clsTourneyConfig& Config() const { return config_; }
    int Number() const { return number_; }
    const std::string& LogFileName() const { return logFileName_; }
    const std::string& BaseName() const { return baseName_; }
    std::vector<std::string> LogLines() const;
    int PlayerCount() const { return players_.Count(); }
    clsPlayer* Player(int i) const { return players_.Item(i); }
    // "name: score" in player order, as the standings print them.
    std::vector<std::string> Standings() const;
    // The most games seen running at once.
    int PeakRunning() const { return peakRunning_.load(); }
    // True when the run was refused before its first game (see above).
    bool Failed() const { return failed_.load(); }
    // The results counted so far (games of an earlier run included when resumed).
    const clsTourneyTally& Tally() const { return tally_; }
    // The SPRT's verdict; Continue without SPRT or while it runs.
    SprtVerdict Verdict() const { return verdict_; }
    // The SPRT's standing as one line ("SPRT elo0 ... : LLR 1.23 [-2.94, 2.94] continue"); empty
    // without SPRT.
    std::string SprtLine() const;
    // The state file of the run; empty without a log folder.
    const std::string& StateFileName() const { return statePath_; }
    // The finished games as the state has them (an earlier run's and the jobs' included), by
    // number; empty without a log folder.
    std::vector<clsFinishedGame> FinishedGames() const;

protected:
    bool Run() override;

private:
    void LoadTourney();
    // Refuses the run: the console line "# tournament stopped: <why>" and Failed().
    void Refuse(const std::string& why);
    // Every value of the description that cannot be used, named by its element, as one refusal
    // text; empty when all can be used.
    std::string BadValue() const;
    // The log folder exists and takes a file; the run's name is free there. False (refused)
    // otherwise.
    bool PrepareLogFolder();
    // Every player starts and finishes its handshake. False (refused) otherwise.
    bool CheckPlayers();
    void CreateGames();
    void PlayRounds();
    void SetGameTags(clsTourneyGame& game, int round, int index);
    // Openings and SPRT from the options; false (refused) when the openings cannot be used.
    bool PrepareMatch();
    GameEvent EventOf(int round, int index, const clsTourneyGame* game) const;
    // A game object for one game of the pairing's: its players, clock, rules and timing.
    std::unique_ptr<clsTourneyGame> GameLike(const clsTourneyGame& pairing) const;
    // Reads every player's book; false (refused, naming the engine's <book>) when one cannot be.
    bool LoadBooks();
    // The number of the colour-reversed pair of game `index` of the round (from 0).
    std::int64_t PairNumber(int round, int index) const;
    void SetOpening(clsTourneyGame& game, int round, int index);
    // Counts a game with its result code and logs the statistics; true when it counted.
    bool CountGame(int index, std::uint32_t code, std::int64_t pair, int number);
    // Counts the finished games of an earlier run (scores, statistics).
    void RestoreFinished();
    void CheckSprt();
    // The clients' pauses with the file's pacing and start delay.
    clsClientTiming GameTiming() const;
    // The players as the description makes them (in file order).
    void MakePlayers();
    // The slot numbered i (from 0), made when first asked for.
    clsEngineSlot& SlotAt(int i);
    // The free slot for a game of the two players: one that keeps both engines, else one of
    // them, else the first free one. -1 when every slot is busy.
    int ChooseSlot(const std::vector<bool>& busy, const clsPlayer* white, const clsPlayer* black);
    // Every slot ends the engines it keeps.
    void ReleaseSlots();
    // A game's end wakes the scheduler (on the game's thread); so does Cancel().
    void WakeScheduler();
    // Reads the description and makes the players for the game commands; false (printed) when
    // the file cannot be used for them.
    bool PrepareJobs();
    // Adds the game records of the jobs ("<name>.game-<n>.state") of this file to the state.
    void MergeGameRecords();
    // What in a state read from a file makes no sense for this tournament (a game number outside
    // it, a result code that is no result); empty when nothing.
    std::string StateProblem(const clsTourneyState& state) const;
    // On a game's thread once its files are written: a game with a result goes into the state
    // file at once; a file that could not be written stops the tournament.
    void GameFilesDone(int index, clsTourneyGame& game, bool written);
    // The first failed write stops the tournament: no game starts after it, the running ones
    // are aborted, the run ends as failed and is not marked finished (it can be continued).
    void WriteFailed(const std::string& path);
    clsSprtResult SprtNow() const;

    int number_;
    std::atomic<int> round_ { 0 };
    std::string filePath_;
    bool fileRead_ = false; // the tournament file could be read (it may still be malformed)
    dranbase::clsXML xml_;
    clsTourneyConfig config_;
    std::atomic<std::int64_t> startTick_ { 0 };
    mutable std::mutex logMutex_;
    std::vector<std::string> log_;
    std::string logFileName_;
    std::string baseName_;
    dranbase::clsCollection<clsPlayer> players_;
    dranbase::clsCollection<clsTourneyGame> games_; // one per pairing, as each game of it is made
    std::vector<std::unique_ptr<clsTourneyGame>> live_; // the games being played (gamesMutex_)
    std::vector<std::unique_ptr<clsEngineSlot>> slots_; // at most "threads"; made as needed
    std::mutex wakeMutex_; // with wakeCv_: the scheduler sleeps until a game ends
    std::condition_variable wakeCv_;
    std::uint64_t wakeups_ = 0; // counts the wake-ups, so that none is missed
    std::atomic<int> peakRunning_ { 0 };
    std::atomic<bool> cancelRequested_ { false };
    std::atomic<bool> failed_ { false };
    std::atomic<bool> writeFailed_ { false };
    mutable std::mutex stateMutex_; // guards state_ against the games' threads
    bool gameCommands_ = false; // games as separate commands: console lines are comments
    std::string runName_; // the file name of the run: the tournament's name made safe and free
    std::mutex gamesMutex_; // guards the game lists against Cancel() from another thread
    clsMatchOptions match_;
    clsOpeningSuite suite_;
    bool sprtOn_ = false;
    SprtVerdict verdict_ = SprtVerdict::Continue;
    std::vector<std::pair<int, int>> pairings_; // (white, black) of each game of a round
    std::vector<int> pairOf_; // each game's pairing without colours, from 0
    int pairingCount_ = 0;
    clsTourneyTally tally_;
    clsTourneyState state_;
    std::string statePath_;
    bool resumed_ = false;
};

// The command-line uses "-use=game -ini=FILE -game=N" (plays game N, status 0 when it finished)
// and "-use=jobs -ini=FILE" (prints the command of each game still to play, with `program` as
// the program to run). They return the process's exit status.
int RunGameCommand(const std::string& iniFile, const std::string& gameNumber);
int RunJobsCommand(const std::string& iniFile, const std::string& program);

} // namespace drnChess
