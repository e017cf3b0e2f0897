// The referee thread with real child processes: our scripted fake engine plays each way a game
// can end, all games at once; then the program's own engine as a player.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "book/clsgame.h"
#include "engine/clsengine.h"
#include "tourney/clstourneygame.h"
#include "tourney/tests/fasttiming.h"
#include "tourney/tests/test_referee_support.h"

using namespace drnChess;
using namespace std::chrono_literals;

namespace {

// A game to its end: who plays, and what the record must say afterwards.
struct Scenario {
    const char* name;
    const char* whiteProtocol;
    const char* whiteProgram; // empty: the fake engine
    const char* whiteParameters;
    const char* blackProtocol;
    const char* blackParameters;
    std::int64_t baseMs;
    std::uint32_t code;
    const char* result;
    const char* reason;
    int plies;
    int whitePoints, blackPoints;
};

// A game that ends in K+N vs K after 48 plies of mass exchanges.
constexpr const char* MaterialWhite
    = "--moves=h2h3,c2c4,b2b4,b4a5,d2d4,c1h6,h6g7,d1b1,b1b7,b7c7,f2f3,h1g1,g2g3,f1e2,"
      "g1f1,g3g4,f3g4,f1f7,f7e7,e2d1,e1f1,d1g4,g4e6,e6d5";
constexpr const char* MaterialBlack
    = "--moves=h7h5,g8h6,a7a5,a8a5,a5a2,a2a1,a1b1,f8g7,g7d4,d8c7,d4g1,c7c4,c4e2,e8d8,"
      "b8c6,h5g4,h8h3,h3h6,c6e7,d7d5,c8g4,h6e6,d8c7,e7d5";

const Scenario Scenarios[] = {
    { "fool's mate, Black over UCI", "xboard", "", "--moves=f2f3,g2g4", "uci", "--moves=e7e5,d8h4", 20000,
        0x1A, "0-1", "mate", 4, 0, 2 },
    { "stalemate", "xboard", "", "--moves=e2e3,d1h5,h5a5,h2h4,a5c7,c7d7,d7b7,b7b8,b8c8,c8e6", "xboard",
        "--moves=a7a5,a8a6,h7h5,a6h6,f7f6,e8f7,d8d3,d3h7,f7g6", 20000, 0x1200, "1/2-1/2", "stalemate", 19, 1,
        1 },
    { "insufficient material", "xboard", "", MaterialWhite, "xboard", MaterialBlack, 20000, 0x2200, "1/2-1/2",
        "insufficient material", 48, 1, 1 },
    { "repetition", "xboard", "", "--moves=g1f3,f3g1,g1f3,f3g1,g1f3,f3g1,g1f3,f3g1", "uci",
        "--moves=g8f6,f6g8,g8f6,f6g8,g8f6,f6g8,g8f6,f6g8", 20000, 0xA00, "1/2-1/2", "triple repetition", 14,
        1, 1 },
    { "illegal move", "xboard", "", "--moves=e2e4,d2d4,c2c4", "xboard", "--moves=e7e5,e5e3", 20000, 0x102,
        "1-0", "illegal move", 3, 2, 0 },
    { "nonsense move", "xboard", "", "--moves=e2e4 --illegal-at=1", "xboard", "--moves=e7e5", 20000, 0x10A,
        "0-1", "illegal move", 0, 0, 2 },
    { "crash", "xboard", "", "--moves=e2e4,d2d4 --crash-after=1", "xboard", "--moves=e7e5,d7d5", 20000,
        0x400A, "0-1", "engine crashed", 2, 0, 2 },
    { "stall", "xboard", "", "--moves=e2e4,d2d4", "xboard", "--moves=e7e5 --stall-after=0", 1500, 0x26, "1-0",
        "forfeit", 1, 2, 0 },
    { "White resigns with 0-1", "xboard", "", "--moves=e2e4 --result-at=1 --result=0-1", "xboard",
        "--moves=e7e5,d7d5", 20000, 0x4A, "0-1", "resign", 2, 0, 2 },
    { "Black resigns", "xboard", "", "--moves=e2e4,d2d4", "xboard", "--moves=", 20000, 0x42, "1-0", "resign",
        1, 2, 0 },
    { "false draw claim loses", "xboard", "", "--moves=e2e4,d2d4", "xboard",
        "--moves=e7e5 --result-at=1 --result=1/2-1/2", 20000, 0x86, "1-0", "adjudication", 3, 2, 0 },
    { "draw claimed at the third occurrence", "xboard", "", "--moves=g1f3,f3g1,g1f3,f3g1,g1f3,f3g1", "xboard",
        "--moves=g8f6,f6g8,g8f6,f6g8 --result-at=4 \"--result=1/2-1/2 {repetition}\"", 20000, 0xA00,
        "1/2-1/2", "triple repetition", 9, 1, 1 },
    { "flood loses", "xboard", "", "--moves=e2e4,d2d4", "xboard", "--moves=e7e5 --flood-at=1", 20000, 0x4006,
        "1-0", "engine crashed", 3, 2, 0 },
    // Each move of Black comes behind 3000 lines of thinking output, all at once; taken one line
    // per millisecond's poll they would cost it more than its clock.
    { "a burst of thinking output does not hold up the move", "xboard", "", "--moves=f2f3,g2g4", "uci",
        "--moves=e7e5,d8h4 --info-burst=3000", 4000, 0x1A, "0-1", "mate", 4, 0, 2 },
    // The claim does not end the game; the claimant, waiting, loses by it rather than by the clock.
    { "claimed win goes unheard", "xboard", "", "--moves=e2e4 --result-at=1 \"--result=1-0 {White claims}\"",
        "xboard", "--moves=e7e5,d7d5", 1500, 0x8A, "0-1", "adjudication", 2, 0, 2 },
    { "missing program", "xboard", "/nonexistent/corvala-test-engine", "", "xboard", "--moves=e7e5", 20000,
        0x8000, "*", "game aborted", 0, 0, 0 },
    { "embedded player", "embedded", "", "memory=1", "xboard", "--moves=", 20000, 0x42, "1-0", "resign", 1, 2,
        0 },
};

struct Running {
    const Scenario* scenario;
    std::unique_ptr<clsPlayer> white, black;
    std::unique_ptr<clsTourneyGame> game;
};

TEST(RefereeGames, EveryWayAGameEnds)
{
    testsupport::ScratchFolder folder("referee");
    std::vector<Running> games;
    testing::internal::CaptureStdout();
    for (const Scenario& s : Scenarios) {
        Running r { &s, nullptr, nullptr, std::make_unique<clsTourneyGame>() };
        r.white = std::make_unique<clsPlayer>(std::string("W ") + s.name, s.whiteProtocol,
            *s.whiteProgram ? s.whiteProgram : FAKE_ENGINE_PATH, s.whiteParameters);
        r.black = std::make_unique<clsPlayer>(
            std::string("B ") + s.name, s.blackProtocol, FAKE_ENGINE_PATH, s.blackParameters);
        r.game->White = r.white.get();
        r.game->Black = r.black.get();
        r.game->GameNumber = static_cast<int>(games.size()) + 1;
        r.game->BaseTimeMs = s.baseMs;
        r.game->IncrementMs = 0;
        r.game->Timing = FastTiming();
        r.game->FileBase = folder.File("game" + std::to_string(r.game->GameNumber) + ".pgn");
        r.game->SetTag("White", r.white->Name);
        r.game->SetTag("Black", r.black->Name);
        r.game->SetTag("Result", "*");
        games.push_back(std::move(r));
    }
    const bool allFinished = testsupport::PlayAllAtOnce(games, 90s);
    const std::string console = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(allFinished);

    for (Running& r : games) {
        const Scenario& s = *r.scenario;
        SCOPED_TRACE(s.name);
        clsTourneyGame& g = *r.game;
        EXPECT_EQ(g.ResultCode, s.code) << std::hex << g.ResultCode;
        EXPECT_EQ(g.ResultText(), s.result);
        EXPECT_EQ(g.ReasonText(), s.reason);
        EXPECT_EQ(r.white->Score(), s.whitePoints);
        EXPECT_EQ(r.black->Score(), s.blackPoints);

        // The files: the log line by line, the PGN readable back with every move.
        const std::string log
            = testsupport::ReadFile(folder.File("game" + std::to_string(g.GameNumber) + ".log"));
        EXPECT_NE(log.find("-\tnew match: " + QuoteName(r.white->Name) + " vs " + QuoteName(r.black->Name)
                      + "\r\n"),
            std::string::npos)
            << log;
        EXPECT_NE(log.find(QuoteName(r.white->Name) + " result " + std::to_string(s.whitePoints) + " score "),
            std::string::npos);
        const std::string pgn = testsupport::ReadFile(g.FileBase);
        EXPECT_NE(pgn.find(std::string("[Result \"") + s.result + "\"]"), std::string::npos) << pgn;
        EXPECT_NE(pgn.find(std::string("[Reason \"") + s.reason + "\"]"), std::string::npos) << pgn;
        clsGame readBack;
        std::string error;
        EXPECT_TRUE(testsupport::ReadBackGame(pgn, readBack, error)) << error << "\n" << pgn;
        EXPECT_EQ(static_cast<int>(readBack.Moves.size()), s.plies) << pgn;
        EXPECT_EQ(readBack.Tag("Result"), s.result);
    }

    // The time forfeits carry elapsed > own time, beyond the grace.
    for (Running& r : games) {
        const std::string forfeit = r.game->Tag("Forfeit_ms");
        if (r.game->ReasonText() != "forfeit") {
            EXPECT_TRUE(forfeit.empty());
            continue;
        }
        const std::size_t gt = forfeit.find('>');
        ASSERT_NE(gt, std::string::npos) << forfeit;
        const long long elapsed = std::stoll(forfeit.substr(0, gt)), own = std::stoll(forfeit.substr(gt + 1));
        EXPECT_LE(own, r.scenario->baseMs);
        EXPECT_GT(elapsed, own + 50) << forfeit;
    }

    // A claimed win is logged and play goes on.
    auto named = [&](const std::string& name) -> clsTourneyGame& {
        for (Running& r : games)
            if (name == r.scenario->name) return *r.game;
        throw std::runtime_error("no scenario " + name);
    };
    const std::vector<std::string> claimLog = named("claimed win goes unheard").LogLines();
    EXPECT_NE(std::find(claimLog.begin(), claimLog.end(), "W\tresult 1-0"), claimLog.end());
    EXPECT_EQ(named("claimed win goes unheard").Tag("Fault"), "false win claim: 1-0");

    // A fault is named in the PGN; a flood is cut short in the log, whatever the engine sent.
    EXPECT_EQ(named("false draw claim loses").Tag("Fault"), "false draw claim: 1/2-1/2");
    EXPECT_EQ(named("false draw claim loses").Tag("Termination"), "rules infraction");
    EXPECT_EQ(named("flood loses").Tag("Fault"), "output flood");
    EXPECT_LT(testsupport::ReadFile(
                  named("flood loses").FileBase.substr(0, named("flood loses").FileBase.size() - 3) + "log")
                  .size(),
        2 * clsTourneyGame::MaxPlayerLogBytes + 100000);
    EXPECT_TRUE(named("draw claimed at the third occurrence").Tag("Fault").empty());

    // How each game ended as PGN readers name it, and its length in plies.
    const std::pair<const char*, const char*> terminations[] = { { "stall", "time forfeit" },
        { "illegal move", "rules infraction" }, { "crash", "rules infraction" },
        { "Black resigns", "normal" }, { "draw claimed at the third occurrence", "normal" },
        { "missing program", "unterminated" }, { "false draw claim loses", "rules infraction" } };
    for (auto [name, termination] : terminations)
        EXPECT_EQ(named(name).Tag("Termination"), termination) << name;
    for (Running& r : games)
        EXPECT_EQ(r.game->Tag("PlyCount"), std::to_string(r.scenario->plies)) << r.scenario->name;

    // Verbose off: of the game log, only the forfeit lines reach the console.
    std::size_t gameLines = 0;
    std::istringstream lines(console);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("#\tG", 0) != 0) continue;
        ++gameLines;
        EXPECT_NE(line.find("forfeit"), std::string::npos) << line;
    }
    EXPECT_GE(gameLines, 2u);

    // Every engine has been ended and reaped.
    games.clear();
    EXPECT_TRUE(testsupport::ChildProcesses().empty());
}

TEST(RefereeGames, VerboseCopiesTheLogAndAbortStops)
{
    testsupport::ScratchFolder folder("referee_abort");
    clsPlayer white("Slow White", "xboard", FAKE_ENGINE_PATH, "--moves=e2e4,d2d4 --move-delay=100000");
    clsPlayer black("Black", "uci", FAKE_ENGINE_PATH, "--moves=e7e5");
    auto game = std::make_unique<clsTourneyGame>();
    game->White = &white;
    game->Black = &black;
    game->GameNumber = 7;
    game->Verbose = true;
    game->Timing = FastTiming();
    game->FileBase = folder.File("aborted.pgn");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(game->Start());
    ASSERT_TRUE(testsupport::WaitFor(
        [&] {
            for (const std::string& line : game->LogLines())
                if (line.find("--->\tgo") != std::string::npos) return true;
            return false;
        },
        10s));
    game->RequestAbort();
    ASSERT_TRUE(testsupport::WaitFor([&] { return game->IsFinished(); }, 10s));
    game->Wait();
    const std::string console = testing::internal::GetCapturedStdout();

    EXPECT_EQ(game->ResultCode, GameResult::Aborted);
    EXPECT_EQ(game->ResultText(), "*");
    EXPECT_EQ(white.Score(), 0);
    EXPECT_EQ(black.Score(), 0);
    EXPECT_NE(console.find("#\tG7\t-\tnew match: 'Slow White' vs 'Black'"), std::string::npos);
    EXPECT_NE(console.find("#\tG7\tW\t--->\tgo"), std::string::npos);
    EXPECT_NE(testsupport::ReadFile(folder.File("aborted.pgn")).find("[Result \"*\"]"), std::string::npos);
    game.reset();
    EXPECT_TRUE(testsupport::ChildProcesses().empty());
}

TEST(RefereeGames, StartPositionAndOpening)
{
    // From the position after 1.e4, the opening 1...e5 2.Nf3 (SAN and coordinates alike) is
    // part of the record; then the players: xboard White takes it in force mode, UCI Black
    // as a FEN position with moves.
    testsupport::ScratchFolder folder("referee_opening");
    const std::string fen = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
    struct Case {
        const char* opening;
        std::uint32_t code;
        const char* moveText; // the PGN's move text; empty: not checked
    };
    const Case cases[] = {
        // The opening's moves are marked as book; each player's move carries its score and depth
        // (the time it took is left out here: it varies).
        { "e5 g1f3", 0x4A, "1... e5 {book} 2. Nf3 {book} Nc6 {0.00/1} 3. Bc4 {0.00/1} Nf6 {0.00/1} 0-1" },
        { "e7e5 e2e5", GameResult::Aborted, "" },
    };
    int number = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.opening);
        clsPlayer white("W", "xboard", FAKE_ENGINE_PATH, "--moves=f1c4");
        clsPlayer black("B", "uci", FAKE_ENGINE_PATH, "--moves=b8c6,g8f6");
        auto game = std::make_unique<clsTourneyGame>();
        game->White = &white;
        game->Black = &black;
        game->GameNumber = number;
        game->Timing = FastTiming();
        game->StartFEN = fen;
        game->OpeningMoves = c.opening;
        game->FileBase = folder.File("g" + std::to_string(number++) + ".pgn");
        testing::internal::CaptureStdout();
        ASSERT_TRUE(game->Start());
        ASSERT_TRUE(testsupport::WaitFor([&] { return game->IsFinished(); }, 30s));
        game->Wait();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(game->ResultCode, c.code) << std::hex << game->ResultCode;
        const std::string pgn = testsupport::ReadFile(game->FileBase);
        EXPECT_NE(pgn.find("[SetUp \"1\"]"), std::string::npos) << pgn;
        EXPECT_NE(pgn.find("[FEN \"" + fen + "\"]"), std::string::npos) << pgn;
        const std::vector<std::string> log = game->LogLines();
        auto logged
            = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) != log.end(); };
        if (*c.moveText == 0) {
            EXPECT_TRUE(logged("-\tgame aborted: the opening move 'e2e5' is refused"));
            EXPECT_FALSE(logged("W\t--->\txboard")); // no player was started
            continue;
        }
        std::string moveText; // on one line, without the times
        for (char ch : pgn.substr(pgn.find("\r\n\r\n") + 4))
            if (ch != '\r') moveText += ch == '\n' ? ' ' : ch;
        for (std::size_t close = moveText.find('}'); close != std::string::npos;
             close = moveText.find('}', close + 1)) {
            const std::size_t blank = moveText.rfind(' ', close);
            const std::string time = moveText.substr(blank + 1, close - blank - 1); // "0.31s"
            if (blank != std::string::npos && time.size() > 1 && time.back() == 's'
                && time.find_first_not_of("0123456789.") == time.size() - 1) {
                moveText.erase(blank, close - blank);
                close = blank;
            }
        }
        EXPECT_NE(moveText.find(c.moveText), std::string::npos) << pgn;
        // The referee's account of the clocks: three moves were charged, within the wall time.
        const auto clockLine = std::find_if(log.begin(), log.end(),
            [](const std::string& l) { return l.rfind("-\tclock: 3 moves, wall ", 0) == 0; });
        ASSERT_NE(clockLine, log.end());
        long long wall = 0, charged = 0;
        ASSERT_EQ(std::sscanf(clockLine->c_str(), "-\tclock: 3 moves, wall %lld ms, charged %lld ms", &wall,
                      &charged),
            2);
        EXPECT_GE(charged, 0);
        EXPECT_LE(charged, wall);
        for (const char* line :
            // The fake engine announces setboard=0: the position goes in through edit mode, Black
            // to move reached by a first move.
            { "W\t--->\tforce", "W\t--->\ta2a3", "W\t--->\tedit", "W\t--->\t#", "W\t--->\tPe4",
                "W\t--->\tKe1", "W\t--->\tc", "W\t--->\tKe8", "W\t--->\t.", "W\t--->\te7e5", "W\t--->\tg1f3",
                "W\t--->\tb8c6", "W\t--->\tgo",
                "B\t--->\tposition fen rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1 moves "
                "e7e5 g1f3 " })
            EXPECT_TRUE(logged(line)) << line;
        clsGame readBack;
        std::string error;
        EXPECT_TRUE(testsupport::ReadBackGame(pgn, readBack, error)) << error << "\n" << pgn;
        EXPECT_EQ(readBack.Moves.size(), 5u);
    }
    EXPECT_TRUE(testsupport::ChildProcesses().empty());
}

} // namespace

// The referee pauses after every command it sends (100 ms by default); that is its time, not
// the engine's. Two instant movers on a 1.5 s clock must never lose on time, although the
// pauses of a 14-ply game add up to several seconds.
TEST(RefereeGames, TheRefereesPausesAreNotChargedToTheMover)
{
    testsupport::ScratchFolder folder("referee_pauses");
    clsPlayer white("W", "xboard", FAKE_ENGINE_PATH, "--moves=g1f3,f3g1,g1f3,f3g1,g1f3,f3g1,g1f3,f3g1");
    clsPlayer black("B", "uci", FAKE_ENGINE_PATH, "--moves=g8f6,f6g8,g8f6,f6g8,g8f6,f6g8,g8f6,f6g8");
    clsTourneyGame game;
    game.White = &white;
    game.Black = &black;
    game.GameNumber = 1;
    game.BaseTimeMs = 1500;
    game.IncrementMs = 0;
    clsClientTiming timing = FastTiming();
    timing.SendDelayMs = 100; // the default pause
    game.Timing = timing;
    game.FileBase = folder.File("pauses.pgn");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(game.Start());
    const bool finished = testsupport::WaitFor([&] { return game.IsFinished(); }, 60s);
    game.Wait();
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(finished);
    EXPECT_EQ(game.ReasonText(), "triple repetition") << game.Tag("Forfeit_ms");
}
