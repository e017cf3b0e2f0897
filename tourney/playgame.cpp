#include "tourney/playgame.h"

#include <ctime>
#include <memory>

#include "book/clsgame.h"
#include "dranbase/clsfile.h"
#include "dranbase/clsstring.h"
#include "engine/clsengine.h"
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

    bool Wait(dranbase::clsThread* owner, std::int64_t ms)
    {
        if (owner) return owner->Sleep(ms);
        dranbase::SleepMs(ms);
        return true;
    }

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
    if (fen != StartFEN) {
        record.SetTag("SetUp", "1");
        record.SetTag("FEN", referee.StartTag());
    }

    clsEngine* mover = &a;
    clsEngine* waiting = &b;
    std::uint32_t code = GameResult::Unfinished;
    auto finish = [&](std::uint32_t c, const std::string& ending) {
        code = c;
        r.moves += ending;
        out.Print(ending, true);
    };

    for (int ply = 0; ply < settings.maxPlies && code == GameResult::Unfinished; ++ply) {
        // 1. The mover thinks for the time per move.
        mover->StopRequest();
        mover->Start();
        const bool goOn = Wait(owner, settings.msPerMove);
        mover->StopRequest();
        const std::string move = mover->TakeMoveText(true);
        if (!goOn) {
            finish(GameResult::Aborted, "");
            break;
        }

        // 2. The move on one line; the referee judges it.
        const int side = referee.SideToMove();
        const std::string shown = (move.empty() ? std::string("(none)") : move) + " ";
        r.moves += shown;
        out.Print(shown, false);
        const clsMoveVerdict verdict = referee.Play(move);
        if (!verdict.legal) {
            // No move, or one the rules refuse: the mover loses.
            finish(IllegalMoveCode(side), std::string(" win ") + (side == White ? "-1" : "1"));
            break;
        }
        ++r.plies;

        // 3. The state of the game after it.
        const std::uint32_t outcome = verdict.code;
        if (outcome == (GameResult::Draw | GameResult::Repetition)) {
            r.repetition = true;
            finish(outcome, "REPT ");
            break;
        }
        if (outcome == GameState::WhiteMates || outcome == GameState::BlackMates) {
            finish(outcome, outcome == GameState::WhiteMates ? " win 1" : " win -1");
            PrintBoardTo(out, referee.Board());
            break;
        }
        if (outcome != GameState::Going) {
            finish(outcome, " win 0");
            PrintBoardTo(out, referee.Board());
            break;
        }

        // 4. Both players make it; the other side moves next.
        if (!mover->ApplyMoveText(move) || !waiting->ApplyMoveText(move)) {
            finish(GameResult::Aborted, "");
            break;
        }
        std::swap(mover, waiting);
    }
    if (code == GameResult::Unfinished) {
        // The ply limit: scored as a draw, recorded as one by adjudication.
        code = GameResult::Draw | GameResult::Adjudication;
        out.Print("", true);
    }

    const bool decided = (code & GameResult::Decided) != 0;
    const int winner = (code & GameResult::BlackWins) ? Black : White;
    r.result = decided ? (winner == colourA ? 1 : -1) : 0;
    r.code = code;
    out.Print(std::to_string(r.result));

    if (!settings.pgnFile.empty()) {
        record.SetResult(code);
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
        out.Print("# \\play ms_per_move max_moves file.pgn [soulA soulB]");
        return 0;
    }
    settings.pgnFile = field(2);
    settings.searchA = field(5);
    settings.searchB = field(6);
    return PlayMatch(share, field(3), field(4), settings, out, owner).result;
}

} // namespace drnChess
