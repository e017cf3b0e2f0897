#include "tourney/playgame.h"

#include <ctime>
#include <memory>

#include "book/clsgame.h"
#include "dranbase/clsfile.h"
#include "dranbase/clsstring.h"
#include "engine/clsengine.h"
#include "tourney/clsfixedtimeplayer.h"
#include "tourney/gameloop.h"
#include "tourney/gamerules.h"
#include "tourney/referee.h"

namespace drnChess {

namespace {

    void PrintBoardTo(dranbase::clsOutBuffer& out, clsEngine& engine)
    {
        out.Print("#");
        out.Print(engine.BoardDiagram());
        out.Print(engine.BoardReportLine());
    }

    // The in-process game has no clock: the players think a fixed time per move.
    constexpr std::int64_t NoClockMs = std::int64_t { 1 } << 50;

    // Appends the game to the PGN file, rewriting the file whole under a temporary name so that a
    // failure never leaves it cut short. Earlier games in the file are kept.
    bool AppendPgn(const std::string& path, const std::string& gameText, std::string* error)
    {
        dranbase::clsString existing;
        existing.LoadFromFile(path);
        std::string text = existing;
        if (!text.empty()) {
            if (text.back() != '\n') text += "\r\n";
            if (text.size() < 4 || text.compare(text.size() - 4, 4, "\r\n\r\n") != 0) text += "\r\n";
        }
        text += gameText;
        if (dranbase::WriteFileAtomic(path, text)) return true;
        *error = "cannot write " + path;
        return false;
    }

} // namespace

clsPlayResult PlayEngineGame(clsEngine& a, clsEngine& b, const clsPlaySettings& settings,
    dranbase::clsOutBuffer& out, dranbase::clsThread* owner)
{
    clsPlayResult r;
    const std::string fen = settings.startFEN.empty() ? std::string(StartFEN) : settings.startFEN;

    // The referee judges every move on a board of its own; it never thinks.
    clsReferee referee;
    a.StopRequest();
    b.StopRequest();
    if (!settings.searchA.empty()) a.options.Set("-search", settings.searchA);
    if (!settings.searchB.empty()) b.options.Set("-search", settings.searchB);
    a.SetFromFEN(fen);
    b.SetFromFEN(fen);
    referee.SetStart(fen);
    PrintBoardTo(out, referee.Board());

    const int colourA = referee.SideToMove();
    clsGame record;
    record.SetTag("Event", settings.event);
    record.SetTag("Site", "?");
    record.SetTag("Date", PgnDate(std::time(nullptr)));
    record.SetTag("Round", "1");
    const std::string nameA = settings.nameA.empty() ? "Corvala " + a.SoulName() : settings.nameA;
    const std::string nameB = settings.nameB.empty() ? "Corvala " + b.SoulName() : settings.nameB;
    record.SetTag("White", colourA == White ? nameA : nameB);
    record.SetTag("Black", colourA == White ? nameB : nameA);
    record.SetTag("Result", "*");
    // Each side's search, when the game names them (a match of the two searches).
    const auto searchOf = [](const clsEngine& e) {
        return e.options.Value("-search").empty() ? std::string("classic") : e.options.Value("-search");
    };
    if (!settings.searchA.empty() || !settings.searchB.empty()) {
        record.SetTag("WhiteSearch", searchOf(colourA == White ? a : b));
        record.SetTag("BlackSearch", searchOf(colourA == White ? b : a));
    }
    if (fen != StartFEN) {
        record.SetTag("SetUp", "1");
        record.SetTag("FEN", referee.StartTag());
    }

    // Both engines play through the one game loop, each as a player that thinks the time per
    // move; the console shows each move as it comes and the ending after the last.
    struct Host : clsGameHost {
        Host(dranbase::clsOutBuffer& o, dranbase::clsThread* t, std::string& m)
            : out(o)
            , owner(t)
            , moves(m)
        {
        }
        void GameLog(int, const std::string&) override { } // nobody reads the in-process log
        bool StopAsked() override { return owner && owner->Cancelled(); }
        void MoveRead(int, const std::string& text) override
        {
            const std::string shown = (text.empty() ? std::string("(none)") : text) + " ";
            moves += shown;
            out.Print(shown, false);
        }
        dranbase::clsOutBuffer& out;
        dranbase::clsThread* owner;
        std::string& moves;
    } host(out, owner, r.moves);
    clsFixedTimePlayer playerA(a, nameA, settings.msPerMove);
    clsFixedTimePlayer playerB(b, nameB, settings.msPerMove);
    clsEngineInterface* players[2] = { &playerA, &playerB };
    if (colourA != White) std::swap(players[0], players[1]);
    clsGameLoopSettings loopSettings;
    loopSettings.baseTimeMs = NoClockMs;
    loopSettings.maxPlies = settings.maxPlies;
    for (int side : { White, Black }) {
        players[side]->Owner = &host;
        players[side]->Colour = side;
        players[side]->Start();
        loopSettings.names[side] = players[side]->PlayerName;
    }
    if (settings.maxPlies > 0) clsGameLoop(referee, record, host, loopSettings).Play(players);
    playerA.Stop();
    playerB.Stop();

    // The ending on the move line: the winner from White's side, a drawn position, a fourth
    // occurrence, or nothing (the ply limit, a stop); the board after a position that ended it.
    std::uint32_t code = record.ResultCode;
    if (code == GameResult::Unfinished) code = host.StopAsked() ? GameResult::Aborted : code;
    std::string ending;
    bool showBoard = false;
    if (code == GameResult::Unfinished) {
        code = GameResult::Draw | GameResult::Adjudication; // the ply limit: scored as a draw
    } else if (code == (GameResult::Draw | GameResult::Repetition)) {
        r.repetition = true;
        ending = "REPT ";
    } else if ((code & GameResult::Decided) != 0) {
        ending = (code & GameResult::BlackWins) ? " win -1" : " win 1";
        showBoard = (code & GameResult::Mate) != 0;
    } else if ((code & GameResult::Draw) != 0 && (code & GameResult::Adjudication) == 0) {
        ending = " win 0";
        showBoard = true;
    }
    r.moves += ending;
    out.Print(ending, true);
    if (showBoard) PrintBoardTo(out, referee.Board());
    r.plies = referee.Plies();

    const bool decided = (code & GameResult::Decided) != 0;
    const int winner = (code & GameResult::BlackWins) ? Black : White;
    r.result = decided ? (winner == colourA ? 1 : -1) : 0;
    r.code = code;
    out.Print(std::to_string(r.result));

    if (!settings.pgnFile.empty()) {
        if (record.ResultCode != code) record.SetResult(code);
        record.MoveText = referee.MoveText(record.ResultText());
        r.pgnWritten = AppendPgn(settings.pgnFile, record.PgnText() + "\r\n", &r.pgnError);
        if (!r.pgnWritten) out.Print("# " + r.pgnError);
    }
    return r;
}

clsPlayResult PlayMatch(clsEngineShare* share, const std::string& soulA, const std::string& soulB,
    const clsPlaySettings& settings, dranbase::clsOutBuffer& out, dranbase::clsThread* owner)
{
    dranbase::clsStrings noOptions;
    auto a = std::make_unique<clsEngine>(noOptions, share);
    auto b = std::make_unique<clsEngine>(noOptions, share);
    a->SetKeepLines(false);
    b->SetKeepLines(false);
    if (!soulA.empty()) a->SelectSoul(soulA);
    if (!soulB.empty()) b->SelectSoul(soulB);
    return PlayEngineGame(*a, *b, settings, out, owner);
}

int PlayCommand(
    clsEngineShare* share, const std::string& rest, dranbase::clsOutBuffer& out, dranbase::clsThread* owner)
{
    const std::vector<std::string> fields = dranbase::SplitFields(rest);
    auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::string(); };
    clsPlaySettings settings;
    settings.msPerMove = fields.size() > 0 ? dranbase::ToInt(fields[0]) : 3000;
    settings.maxPlies = fields.size() > 1 ? static_cast<int>(dranbase::ToInt(fields[1])) : 0;
    if (settings.msPerMove < 1 || settings.maxPlies < 1) {
        out.Print("# \\play ms_per_move max_moves file.pgn [soulA soulB [searchA searchB]]");
        return 0;
    }
    settings.pgnFile = field(2);
    settings.searchA = dranbase::ToLower(field(5));
    settings.searchB = dranbase::ToLower(field(6));
    for (const std::string& search : { settings.searchA, settings.searchB })
        if (!search.empty() && search != "classic" && search != "strong") {
            out.Print("# \\play: unknown search '" + search + "' (classic or strong)");
            return 0;
        }
    return PlayMatch(share, field(3), field(4), settings, out, owner).result;
}

} // namespace drnChess
