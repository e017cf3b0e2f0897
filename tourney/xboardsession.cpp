// The xboard session: its word table, the dispatch, the game record and the commands that do
// not think (xboardthink.cpp has the thinks, pondering, analysis and hints).

#include "tourney/xboardsession.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "book/clsbook.h"
#include "engine/clsengine.h"
#include "engine/weightsfile.h"
#include "rules/fencheck.h"
#include "version.h"

namespace drnChess {

using dranbase::EqualsNoCase;
using dranbase::SplitFields;
using dranbase::SplitFirst;
using dranbase::ToInt;

namespace {

    // The feature text that "protover" loads, in the order of the reply; myname is the program's
    // version.
    const char* const FeatureText[][2] = {
        { "ping", "1" },
        { "setboard", "1" },
        { "usermove", "1" },
        { "time", "1" },
        { "draw", "1" },
        { "reuse", "1" },
        { "myname", nullptr },
        { "ics", "1" },
        { "name", "1" },
        { "debug", "1" },
        { "memory", "1" },
        { "smp", "1" },
        { "nps", "0" },
        { "san", "0" },
        { "sigint", "0" },
        { "sigterm", "0" },
        { "analyze", "1" },
        { "colors", "0" },
        { "option", "\"Search -combo classic /// strong\"" },
        { "option", "\"Weights -string handset\"" },
        { "option", "\"BookFile -file \"" },
        { "option", "\"BookBest -check 0\"" },
        { "done", "1" },
    };

    // A bare word is a move when its second character is a rank digit.
    bool LooksLikeMove(const std::string& word)
    {
        return word.size() >= 2 && word[1] >= '1' && word[1] <= '8';
    }

    // A word written as a move in SAN (e4, Nbd7, exd5, e8=Q+, O-O-O), legal or not.
    bool LooksLikeSan(std::string word)
    {
        while (!word.empty() && std::string_view("+#!?").find(word.back()) != std::string_view::npos)
            word.pop_back();
        for (const char* castling : { "O-O", "O-O-O", "0-0", "0-0-0" })
            if (word == castling) return true;
        if (word.size() >= 2
            && std::string_view("NBRQ").find(word[word.size() - 1]) != std::string_view::npos) {
            word.pop_back(); // a promotion piece, with or without "="
            if (!word.empty() && word.back() == '=') word.pop_back();
        }
        // What is left: [piece] [from file] [from rank] [x] to-square.
        std::size_t i = 0;
        if (i < word.size() && std::string_view("NBRQK").find(word[i]) != std::string_view::npos) ++i;
        if (word.size() < i + 2) return false;
        const std::size_t to = word.size() - 2;
        if (word[to] < 'a' || word[to] > 'h' || word[to + 1] < '1' || word[to + 1] > '8') return false;
        if (i < to && word[i] >= 'a' && word[i] <= 'h') ++i;
        if (i < to && word[i] >= '1' && word[i] <= '8') ++i;
        if (i < to && word[i] == 'x') ++i;
        return i == to;
    }

    // Words that may arrive while the engine thinks: they touch only the session's own fields,
    // or stop the think themselves before they change anything. Every other word (a move, or
    // one that reads or changes the engine's position, book or options) first stops the think.
    bool AllowedWhileThinking(const std::string& word)
    {
        static const char* const words[] = { "?", "ping", "time", "otim", "post", "nopost", "easy", "hard",
            "xboard", "protover", "accepted", "rejected", "name", "rating", "computer", "ics", "draw", "hint",
            "variant", "random", "level", "st", "sd", "memory", "option", "cores", "new", "quit", "force",
            "go", "white", "black", "result", "setboard", "undo", "remove", "analyze", "edit", "exit", "." };
        for (const char* w : words)
            if (EqualsNoCase(word, w)) return true;
        return false;
    }

    // Words that leave a think on the opponent's time running: they neither read nor change the
    // game. Any other first takes the expected reply back.
    bool KeepsPondering(const std::string& word)
    {
        static const char* const words[] = { "ping", "time", "otim", "post", "nopost", "hard", "name",
            "rating", "computer", "ics", "accepted", "rejected", "hint", "." };
        for (const char* w : words)
            if (EqualsNoCase(word, w)) return true;
        return false;
    }

} // namespace

std::int64_t ScaledTime(std::string_view number, std::int64_t msPerUnit)
{
    const long long value = ToInt(number);
    if (value > MaxTimeMs / msPerUnit) return MaxTimeMs;
    if (value < -MaxTimeMs / msPerUnit) return -MaxTimeMs;
    return value * msPerUnit;
}

// Seconds with an optional fraction ("0.5", "12"): increments and fixed times come this way.
std::int64_t SecondsToMs(std::string_view number)
{
    const std::string text = dranbase::Trim(number);
    double seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || !std::isfinite(seconds)) return 0;
    const double ms = std::round(seconds * 1000.0);
    return static_cast<std::int64_t>(
        std::clamp(ms, -static_cast<double>(MaxTimeMs), static_cast<double>(MaxTimeMs)));
}

std::int64_t MinutesToMs(const std::string& text)
{
    auto [minutes, seconds] = SplitFirst(text, ':');
    return std::clamp(ScaledTime(minutes, 60000) + ScaledTime(seconds, 1000), -MaxTimeMs, MaxTimeMs);
}

clsXboardSession::clsXboardSession(clsEngine& engine, Output output, Hooks hooks)
    : engine_(engine)
    , output_(std::move(output))
    , hooks_(std::move(hooks))
{
}

clsXboardSession::~clsXboardSession()
{
    // The listener writes through this session: it must not outlive it.
    engine_.StopRequest();
    engine_.SetIterationListener(nullptr);
}

const std::vector<clsXboardSession::Command>& clsXboardSession::Commands()
{
    using S = clsXboardSession;
    static const std::vector<Command> table = {
        { { "usermove", "MOVE: make the interface's move (coordinates, or SAN at the console)" },
            &S::CmdUserMove },
        { { "xboard", "enter xboard mode (an empty line)" }, &S::CmdXboard },
        { { "?", "move now" }, &S::CmdStop },
        { { "protover", "N: send the feature line" }, &S::CmdProtover },
        { { "accepted", "FEATURE: noted" }, &S::CmdNothing },
        { { "rejected", "FEATURE: noted" }, &S::CmdRejected },
        { { "ping", "N: answered with pong N, after the move of a running think" }, &S::CmdPing },
        { { "variant", "accepted, only standard chess is played" }, &S::CmdNothing },
        // xboard sends it; the engine plays no random moves on request.
        { { "random", "accepted, ignored" }, &S::CmdNothing },
        { { "new", "new game, engine plays Black" }, &S::CmdNew },
        { { "quit", "leave the program" }, &S::CmdQuit },
        { { "force", "stop thinking; moves are only made" }, &S::CmdForce },
        { { "go", "play the side to move and think" }, &S::CmdGo },
        { { "white", "engine plays Black, White to move" }, &S::CmdWhite },
        { { "black", "engine plays White, Black to move" }, &S::CmdBlack },
        { { "level", "MOVES MIN[:SS] INC: time control" }, &S::CmdLevel },
        { { "st", "SECONDS: fixed time per move" }, &S::CmdSt },
        { { "sd", "DEPTH: deepest iteration" }, &S::CmdSd },
        { { "time", "CS: the engine's clock" }, &S::CmdTime },
        { { "otim", "CS: the opponent's clock" }, &S::CmdOtim },
        { { "draw", "a draw offer: declined silently" }, &S::CmdNothing },
        { { "result", "RESULT {TEXT}: the game is over" }, &S::CmdResult },
        { { "setboard", "FEN: set the position" }, &S::CmdSetboard },
        { { "edit", "accepted, does nothing (use setboard)" }, &S::CmdNothing },
        { { "hint", "suggest a move for the side to move (Hint: MOVE)" }, &S::CmdHint },
        { { "ics", "HOST: noted" }, &S::CmdIcs },
        { { "bk", "show the best book move" }, &S::CmdBk },
        { { "undo", "take back one ply" }, &S::CmdUndo },
        { { "remove", "take back two plies" }, &S::CmdRemove },
        { { "easy", "pondering off" }, &S::CmdEasy },
        { { "hard", "pondering on" }, &S::CmdHard },
        { { "post", "show thinking" }, &S::CmdPost },
        { { "nopost", "hide thinking" }, &S::CmdNopost },
        { { "analyze", "analyse the position (and each new one) until exit" }, &S::CmdAnalyze },
        { { "exit", "leave analysis" }, &S::CmdExit },
        { { ".", "accepted while analysing; the thinking lines show the state" }, &S::CmdNothing },
        { { "name", "[NAME]: without a name, the program's name" }, &S::CmdName },
        { { "rating", "show the ratings" }, &S::CmdRating },
        { { "computer", "the opponent is a program" }, &S::CmdComputer },
        { { "memory", "MIB: transposition table size" }, &S::CmdMemory },
        { { "option", "NAME=VALUE: an engine option" }, &S::CmdOption },
        { { "cores", "N: noted (one thread searches)" }, &S::CmdCores },
    };
    return table;
}

const std::vector<clsXboardSession::Word>& clsXboardSession::Words()
{
    static const std::vector<Word> words = [] {
        std::vector<Word> list;
        for (const Command& c : Commands())
            list.push_back(c.word);
        return list;
    }();
    return words;
}

// --- dispatch --------------------------------------------------------------------------------------

XboardOutcome clsXboardSession::Execute(const std::string& word, const std::string& rest)
{
    const bool move = LooksLikeMove(word);
    const Command* command = nullptr;
    if (!move) {
        const auto& table = Commands();
        const auto found = std::find_if(
            table.begin(), table.end(), [&](const Command& c) { return EqualsNoCase(word, c.word.word); });
        if (found == table.end()) return XboardOutcome::NotMine;
        command = &*found;
    }
    const bool userMove = move || EqualsNoCase(word, "usermove");
    if (pondering_) {
        if (move || (userMove && !rest.empty())) {
            OnMoveWhilePondering(move ? word : dranbase::Trim(rest));
            return XboardOutcome::Done;
        }
        if (!KeepsPondering(word)) EndPondering();
    }
    if (engine_.IsRunning() && !AllowedWhileThinking(word)) {
        // The engine's board belongs to its thread until the think ends. A move during a game
        // think is refused; an analysis is stopped and goes on from the new position.
        if (!analyzing_ && userMove) {
            Print("Illegal move: " + (move ? word : rest));
            return XboardOutcome::Done;
        }
        YieldEngine(word, false);
    }
    if (move) {
        CmdUserMove(word);
        return XboardOutcome::Done;
    }
    (this->*command->handler)(rest);
    return EqualsNoCase(word, "quit") ? XboardOutcome::Quit : XboardOutcome::Done;
}

void clsXboardSession::YieldEngine(const std::string& word, bool allowedWhileThinking)
{
    if (pondering_ && !KeepsPondering(word)) EndPondering();
    if (!engine_.IsRunning() || allowedWhileThinking) return;
    StopThinking();
    if (state_ != State::NotPlaying) {
        state_ = State::NotPlaying;
        Print("# thinking stopped for " + word);
    }
}

void clsXboardSession::Unknown(const std::string& word, const std::string& rest)
{
    YieldEngine(word, false);
    // A word that is a legal move in SAN (Nf3, O-O, exd5) is a move typed at the console.
    if (rest.empty() && !engine_.SanToCoordinate(word).empty()) {
        CmdUserMove(word);
        return;
    }
    if (rest.empty() && LooksLikeSan(word)) {
        Print("Illegal move: " + word);
        return;
    }
    Print("Error (unknown command): " + word);
}

// --- the game --------------------------------------------------------------------------------------

std::string clsXboardSession::FullFEN() const
{
    return engine_.GetFEN() + " " + std::to_string(engine_.halfmoveClock) + " "
        + std::to_string(engine_.fullmoveNumber);
}

bool clsXboardSession::MakeGameMove(const std::string& text)
{
    const std::string before = FullFEN();
    const bool blackMoved = engine_.board.side == Black;
    // Coordinates as the protocol sends them; SAN as a person types it (e4, Nf3, O-O).
    if (!engine_.ApplyGameMove(text)) {
        const std::string coordinate = engine_.SanToCoordinate(text);
        if (coordinate.empty() || !engine_.ApplyGameMove(coordinate)) return false;
    }
    history_.push_back(before);
    if (blackMoved) ++engine_.fullmoveNumber;
    return true;
}

void clsXboardSession::StopThinking()
{
    engine_.StopRequest();
    engine_.TakeMove(); // a move for the abandoned position is never played
    thinkPending_ = false;
    backupDeadline_ = 0;
}

void clsXboardSession::TakeBack(int plies)
{
    StopThinking();
    for (int i = 0; i < plies && !history_.empty(); ++i) {
        const std::string fen = history_.back();
        history_.pop_back();
        SetPosition(fen);
    }
}

void clsXboardSession::SetPosition(const std::string& fen)
{
    engine_.SetFromFEN(fen);
}

void clsXboardSession::SendPongs()
{
    for (const std::string& ping : pendingPings_)
        Print("pong " + ping);
    pendingPings_.clear();
}

std::string clsXboardSession::FinishedGameResult()
{
    switch (engine_.MoveStatus()) {
    case GameState::WhiteMates:
        return "1-0 {White mates}";
    case GameState::BlackMates:
        return "0-1 {Black mates}";
    case GameState::Stalemate:
        return "1/2-1/2 {Stalemate}";
    default:
        return {};
    }
}

void clsXboardSession::ApplyPendingSettings()
{
    // The engine reads its options and limits when a think starts: they change only while
    // its thread is idle.
    if (engine_.IsRunning()) return;
    for (auto& o : pendingOptions_) {
        if (o.key.empty()) continue;
        if (o.replace)
            engine_.options.Set(o.key, o.value);
        else
            engine_.options.Add(o.key, o.value);
    }
    pendingOptions_.clear();
    engine_.SetDepthLimit(depthLimit_);
    if (maxPlyRequest_ > 0) engine_.SetMaxPly(maxPlyRequest_);
    maxPlyRequest_ = 0;
}

void clsXboardSession::Judge(std::int64_t ms)
{
    state_ = State::Judging;
    judgeMs_ = ms;
    StartThinking();
}

void clsXboardSession::EndJudging()
{
    if (state_ == State::Judging) state_ = State::NotPlaying;
}

// --- commands ----------------------------------------------------------------------------------------

void clsXboardSession::CmdUserMove(const std::string& rest)
{
    if (!MakeGameMove(rest)) {
        Print("Illegal move: " + rest);
        return;
    }
    if (state_ == State::NotPlaying && !analyzing_)
        Print("# I'm not thinking");
    else if (Playing())
        StartThinking();
}

void clsXboardSession::CmdXboard(const std::string&)
{
    Print("");
}

void clsXboardSession::CmdStop(const std::string&)
{
    engine_.StopRequest();
}

void clsXboardSession::CmdProtover(const std::string&)
{
    features_.Clear();
    for (const auto& f : FeatureText)
        features_.Add(f[0], f[1] ? std::string(f[1]) : "\"" + std::string(dranbase::ProgramVersion) + "\"");
    std::string line = "feature";
    for (const auto& f : features_)
        line += " " + f.key + "=" + f.value;
    Print(line);
}

void clsXboardSession::CmdNothing(const std::string&) { }

void clsXboardSession::CmdRejected(const std::string& rest)
{
    if (dranbase::ToLower(rest).find("name") != std::string::npos) return;
    const std::string name = dranbase::Trim(rest);
    features_.Set(name, std::to_string(1 - ToInt(features_.Value(name))));
}

void clsXboardSession::CmdPing(const std::string& rest)
{
    pendingPings_.push_back(rest);
    // A think that has just ended leaves its move for Poll: the pong follows that move.
    const bool movePending
        = thinkPending_ || (state_ != State::NotPlaying && !engine_.ResultMove().Has(MoveFlag::Illegal));
    // An analysis plays no move, nor does a think on the opponent's time: nothing to wait for.
    if (analyzing_ || pondering_ || (!engine_.IsRunning() && !movePending)) SendPongs();
}

void clsXboardSession::CmdNew(const std::string&)
{
    state_ = State::NotPlaying;
    StopThinking();
    SetPosition(StartFEN);
    engine_.halfmoveClock = 0;
    engine_.fullmoveNumber = 1;
    history_.clear();
    engine_.NewGame();
    depthLimit_ = 0; // "sd" holds until it is changed or a new game starts
    ApplyPendingSettings();
    // The time control ("level", "st") stays for the new game; both clocks start afresh.
    engineClock_ = opponentClock_ = levelSet_ ? baseTime_ : defaultBaseTime_;
    state_ = analyzing_ ? State::NotPlaying : State::PlaysBlack; // an analysis goes on from the new game
}

void clsXboardSession::CmdQuit(const std::string&)
{
    state_ = State::NotPlaying;
    StopThinking();
}

void clsXboardSession::CmdForce(const std::string&)
{
    state_ = State::NotPlaying;
    StopThinking();
}

void clsXboardSession::CmdGo(const std::string&)
{
    CmdExit({}); // playing ends an analysis
    engine_.StopRequest();
    state_ = engine_.board.side == White ? State::PlaysWhite : State::PlaysBlack;
    StartThinking();
}

void clsXboardSession::CmdWhite(const std::string&)
{
    state_ = State::NotPlaying;
    StopThinking();
    state_ = State::PlaysBlack;
}

void clsXboardSession::CmdBlack(const std::string&)
{
    state_ = State::NotPlaying;
    StopThinking();
    state_ = State::PlaysWhite;
}

void clsXboardSession::CmdLevel(const std::string& rest)
{
    auto f = SplitFields(rest);
    f.resize(3);
    // A period of more moves than any game has is a period of the whole game, like 0.
    const long long moves = ToInt(f[0]);
    movesPerControl_ = moves > 0 && moves <= 100000 ? moves : 0;
    baseTime_ = MinutesToMs(f[1]);
    increment_ = std::max<std::int64_t>(SecondsToMs(f[2]), 0);
    levelSet_ = true;
    fixedMoveTime_ = 0;
    engineClock_ = opponentClock_ = baseTime_;
}

void clsXboardSession::CmdSt(const std::string& rest)
{
    const std::int64_t ms = SecondsToMs(rest);
    fixedMoveTime_ = ms > 0 ? ms : 0;
}

void clsXboardSession::CmdSd(const std::string& rest)
{
    const long long d = dranbase::Trim(rest).empty() ? 2 : ToInt(rest);
    // The think reads its own limit (the maximum ply is also lowered by perft and probes);
    // it is handed over when the next think starts. Iterations go in steps of two from
    // depth 2, so depth 2 is the shallowest think.
    depthLimit_ = static_cast<int>(d < 2 ? 2 : d < 128 ? d : 128);
    maxPlyRequest_ = static_cast<int>(d < 128 ? d : 128);
}

void clsXboardSession::CmdTime(const std::string& rest)
{
    engineClock_ = ScaledTime(rest, 10);
    Print("# engine time set to " + std::to_string(engineClock_) + " ms");
}

void clsXboardSession::CmdOtim(const std::string& rest)
{
    opponentClock_ = ScaledTime(rest, 10);
    Print("# opponent time set to " + std::to_string(opponentClock_) + " ms");
}

void clsXboardSession::CmdResult(const std::string& rest)
{
    state_ = State::NotPlaying;
    StopThinking();
    Print("# result " + rest);
}

void clsXboardSession::CmdSetboard(const std::string& rest)
{
    StopThinking();
    // A position that is not one (no kings, a king that can be taken, text that is no FEN)
    // is refused and the game stays where it was.
    const std::string before = FullFEN();
    std::string fen;
    if (const std::string problem = LoadFenStrictly(engine_, rest, FenText::Position, &fen);
        !problem.empty()) {
        SetPosition(before);
        Print("tellusererror Illegal position: " + problem);
        return;
    }
    SetPosition(fen);
    history_.clear();
    engine_.ForgetGameMoves();
}

void clsXboardSession::CmdIcs(const std::string& rest)
{
    icsHost_ = rest;
}

void clsXboardSession::CmdBk(const std::string&)
{
    std::vector<clsBookEntryExt> list;
    CollectCandidates(engine_, engine_.book, list);
    // The best by the lower confidence bound of its score, as \listbook marks it.
    const int best = BestCandidateIndex(list);
    if (best >= 0)
        Print(" best book move: " + list[static_cast<std::size_t>(best)].move + "\n\n");
    else
        Print(" no book moves found\n\n");
}

void clsXboardSession::CmdUndo(const std::string&)
{
    state_ = State::NotPlaying;
    TakeBack(1);
}

void clsXboardSession::CmdRemove(const std::string&)
{
    // The user retracts their move and the engine's reply; the engine keeps its colour.
    TakeBack(2);
}

void clsXboardSession::CmdEasy(const std::string&)
{
    ponder_ = false;
    EndPondering();
}

void clsXboardSession::CmdHard(const std::string&)
{
    ponder_ = true;
}

void clsXboardSession::CmdPost(const std::string&)
{
    post_ = true;
}

void clsXboardSession::CmdNopost(const std::string&)
{
    post_ = false;
}

void clsXboardSession::CmdName(const std::string& rest)
{
    // "name X" is the interface telling the opponent's name: noted silently, as engines do.
    if (dranbase::Trim(rest).empty()) Print(dranbase::ProgramVersion);
}

void clsXboardSession::CmdRating(const std::string&)
{
    Print("1350 1350");
}

void clsXboardSession::CmdComputer(const std::string&)
{
    Print("# hello my peer!");
}

void clsXboardSession::CmdMemory(const std::string& rest)
{
    pendingOptions_.push_back({ "memory", rest, true });
    if (engine_.IsRunning()) return; // recorded; the table keeps its size
    ApplyPendingSettings();
    if (hooks_.resizeTable) hooks_.resizeTable(rest);
}

void clsXboardSession::CmdOption(const std::string& rest)
{
    auto [name, value] = SplitFirst(rest, '=');
    if (EqualsNoCase(dranbase::Trim(name), "Weights")) {
        // A file refused leaves the weights in use.
        std::vector<int> weights;
        std::string error;
        if (!strong::LoadStrongWeights(dranbase::Trim(value), weights, error)) {
            Print("tellusererror " + error + "; the weights in use stay");
            return;
        }
    }
    if (EqualsNoCase(name, "BookFile") || EqualsNoCase(name, "BookBest")) {
        if (engine_.IsRunning()) {
            Print("# option " + name + ": the engine is thinking; the book stays");
        } else if (EqualsNoCase(name, "BookBest")) {
            engine_.polyglotBest = value == "1";
        } else if (std::string error; !engine_.LoadBookFile(value, 0, &error)) {
            Print("# option BookFile: " + error + "; the book in force stays");
        }
        return;
    }
    pendingOptions_.push_back({ name, value, false });
    ApplyPendingSettings();
}

void clsXboardSession::CmdCores(const std::string& rest)
{
    pendingOptions_.push_back({ "cores", rest, true });
    ApplyPendingSettings();
}

} // namespace drnChess
