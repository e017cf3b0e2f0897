// The command table: every word the program understands, matched ignoring case in this order,
// and the one place where the unknown-command reply comes from.

#include <cstdio>
#include <string_view>

#include "app/clscorvala.h"

namespace drnChess {

namespace {
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
} // namespace

using dranbase::EqualsNoCase;

namespace {

    // A bare word is a move when its second character is a rank digit.
    bool LooksLikeMove(const std::string& word)
    {
        return word.size() >= 2 && word[1] >= '1' && word[1] <= '8';
    }

    // Commands that may arrive while the engine thinks: they touch only the driver's own fields,
    // or stop the think themselves before they change anything. Every other command (one that
    // reads or changes the engine's position, book, soul or options) first stops the think.
    bool AllowedWhileThinking(const std::string& word)
    {
        static const char* const words[] = { "?", "ping", "time", "otim", "post", "nopost", "easy", "hard",
            "xboard", "protover", "accepted", "rejected", "name", "rating", "computer", "ics", "draw", "hint",
            "variant", "random", "level", "st", "sd", "memory", "option", "cores", "new", "quit", "force",
            "go", "white", "black", "result", "setboard", "undo", "remove", "\\epd", "analyze", "edit",
            "help", "exit", "." };
        for (const char* w : words)
            if (EqualsNoCase(word, w)) return true;
        return false;
    }

    // Commands that leave a think on the opponent's time running: they neither read nor change
    // the game. Any other first takes the expected reply back.
    bool KeepsPondering(const std::string& word)
    {
        static const char* const words[] = { "ping", "time", "otim", "post", "nopost", "hard", "name",
            "rating", "computer", "ics", "accepted", "rejected", "hint", "." };
        for (const char* w : words)
            if (EqualsNoCase(word, w)) return true;
        return false;
    }

} // namespace

const std::vector<clsCorvala::Command>& clsCorvala::Commands()
{
    static const std::vector<Command> table = {
        { "usermove", &clsCorvala::CmdUserMove,
            "MOVE: make the interface's move (coordinates, or SAN at the console)" },
        { "xboard", &clsCorvala::CmdXboard, "enter xboard mode (an empty line)" },
        { "?", &clsCorvala::CmdStop, "move now" },
        { "protover", &clsCorvala::CmdProtover, "N: send the feature line" },
        { "accepted", &clsCorvala::CmdNothing, "FEATURE: noted" },
        { "rejected", &clsCorvala::CmdRejected, "FEATURE: noted" },
        { "ping", &clsCorvala::CmdPing, "N: answered with pong N, after the move of a running think" },
        { "variant", &clsCorvala::CmdNothing, "accepted, only standard chess is played" },
        { "random", &clsCorvala::CmdNothing,
            "accepted, ignored" }, // xboard sends it; the engine plays no random moves on request
        { "new", &clsCorvala::CmdNew, "new game, engine plays Black" },
        { "quit", &clsCorvala::CmdQuit, "leave the program" },
        { "force", &clsCorvala::CmdForce, "stop thinking; moves are only made" },
        { "go", &clsCorvala::CmdGo, "play the side to move and think" },
        { "white", &clsCorvala::CmdWhite, "engine plays Black, White to move" },
        { "black", &clsCorvala::CmdBlack, "engine plays White, Black to move" },
        { "level", &clsCorvala::CmdLevel, "MOVES MIN[:SS] INC: time control" },
        { "st", &clsCorvala::CmdSt, "SECONDS: fixed time per move" },
        { "sd", &clsCorvala::CmdSd, "DEPTH: deepest iteration" },
        { "time", &clsCorvala::CmdTime, "CS: the engine's clock" },
        { "otim", &clsCorvala::CmdOtim, "CS: the opponent's clock" },
        { "draw", &clsCorvala::CmdNothing, "a draw offer: declined silently" },
        { "result", &clsCorvala::CmdResult, "RESULT {TEXT}: the game is over" },
        { "setboard", &clsCorvala::CmdSetboard, "FEN: set the position" },
        { "edit", &clsCorvala::CmdNothing, "accepted, does nothing (use setboard)" },
        { "hint", &clsCorvala::CmdHint, "suggest a move for the side to move (Hint: MOVE)" },
        { "ics", &clsCorvala::CmdIcs, "HOST: noted" },
        { "bk", &clsCorvala::CmdBk, "show the best book move" },
        { "undo", &clsCorvala::CmdUndo, "take back one ply" },
        { "remove", &clsCorvala::CmdRemove, "take back two plies" },
        { "easy", &clsCorvala::CmdEasy, "pondering off" },
        { "hard", &clsCorvala::CmdHard, "pondering on" },
        { "post", &clsCorvala::CmdPost, "show thinking" },
        { "nopost", &clsCorvala::CmdNopost, "hide thinking" },
        { "analyze", &clsCorvala::CmdAnalyze, "analyse the position (and each new one) until exit" },
        { "exit", &clsCorvala::CmdExit, "leave analysis" },
        { ".", &clsCorvala::CmdNothing, "accepted while analysing; the thinking lines show the state" },
        { "name", &clsCorvala::CmdName, "[NAME]: without a name, the program's name" },
        { "rating", &clsCorvala::CmdRating, "show the ratings" },
        { "computer", &clsCorvala::CmdComputer, "the opponent is a program" },
        { "memory", &clsCorvala::CmdMemory, "MIB: transposition table size" },
        { "option", &clsCorvala::CmdOption, "NAME=VALUE: an engine option" },
        { "cores", &clsCorvala::CmdCores, "N: noted (one thread searches)" },
        { "perft", &clsCorvala::CmdPerft, "DEPTH: count the leaf positions" },
        { "divide", &clsCorvala::CmdDivide, "DEPTH: perft per root move" },
        { "\\", &clsCorvala::CmdBoard,
            "[m]: toggle the board after moves and print it (m: and the legal moves)" },
        { "\\dbg", &clsCorvala::CmdDbg, "N: debug think (2 and more: no clock)" },
        { "\\loadsoul", &clsCorvala::CmdLoadSoul, "FILE: read and use a soul" },
        { "\\epd", &clsCorvala::CmdEpd, "TIME FILE: run an EPD test suite" },
        { "\\moves", &clsCorvala::CmdMoves, "M1 M2 ...: play moves and show the board" },
        { "\\tourney", &clsCorvala::CmdTourney, "[FILE]: start a tournament (tourney.xml)" },
        { "\\soul", &clsCorvala::CmdSoul, "[NAME|NAME=V0 ... V15]: select a soul" },
        { "\\showsoul", &clsCorvala::CmdShowSoul, "show the soul in force" },
        { "\\testsouls", &clsCorvala::CmdTestSouls, "accepted, does nothing" },
        { "\\learnt", &clsCorvala::CmdLearnt, "ten rounds of soul tuning by tournaments" },
        { "\\learn", &clsCorvala::CmdLearn, "FILE GENERATIONS ENGINES MS MAXPLIES [SOULS]: breed souls" },
        { "\\mergebooks", &clsCorvala::CmdMergeBooks, "DIR NEW.cbk: merge books" },
        { "\\cvbooks", &clsCorvala::CmdCvBooks, "re-save and check the books of books/" },
        { "\\play", &clsCorvala::CmdPlay,
            "MS MAXPLIES FILE [SOULA SOULB [SEARCHA SEARCHB]]: an in-process game (classic or strong)" },
        { "\\console", &clsCorvala::CmdConsole, "the calculator console" },
        { "\\buildbooks", &clsCorvala::CmdBuildBooks, "DIR MOVES [TYPE]: books from PGN files" },
        { "\\loadbook", &clsCorvala::CmdLoadBook, "[BOOK] [LIMIT]: load a book" },
        { "\\savebook", &clsCorvala::CmdSaveBook, "BOOK [LIMIT]: save the book" },
        { "\\listbook", &clsCorvala::CmdListBook, "list the book moves of the position" },
        { "help", &clsCorvala::CmdHelp, "this list" },
    };
    return table;
}

std::vector<std::string> clsCorvala::HelpLines()
{
    std::vector<std::string> lines { "# commands (a bare move is played as usermove):" };
    for (const auto& c : Commands())
        lines.push_back(std::string("#   ") + c.word + "  " + c.help);
    lines.push_back(
        "# command line: key=value ... (memory=MIB book=FILE -search=classic|strong -soul=TEXT -seed=N)");
    lines.push_back(
        "#   -use=tourney -ini=FILE: play a tournament; -use=jobs -ini=FILE: one command per game;");
    lines.push_back("#   -use=game -ini=FILE -game=N: play game N of a tournament");
    return lines;
}

int clsCorvala::CmdHelp(const std::string&)
{
    for (const auto& line : HelpLines())
        Print(line);
    return 0;
}

int clsCorvala::ExecuteLine(const std::string& line)
{
    std::size_t blank = line.find(' ');
    if (blank == std::string::npos) return ExecuteCommand(line, "");
    return ExecuteCommand(line.substr(0, blank), line.substr(blank + 1));
}

void clsCorvala::LogCommand(const std::string& word, const std::string& rest)
{
    if (commandLog_.empty()) return;
    if (std::FILE* f = std::fopen(commandLog_.c_str(), "ab")) {
        std::fprintf(f, "%s\t%s\r\n", word.c_str(), rest.c_str());
        std::fclose(f);
    }
}

int clsCorvala::ExecuteCommand(const std::string& word, const std::string& rest)
{
    LogCommand(word, rest);
    if (pondering_) {
        if (LooksLikeMove(word) || (EqualsNoCase(word, "usermove") && !rest.empty()))
            return OnMoveWhilePondering(LooksLikeMove(word) ? word : dranbase::Trim(rest));
        if (!KeepsPondering(word)) EndPondering();
    }
    if (engine_->IsRunning() && !AllowedWhileThinking(word)) {
        // The engine's board belongs to its thread until the think ends. A move during a game
        // think is refused; an analysis is stopped and goes on from the new position.
        if (!analyzing_ && (LooksLikeMove(word) || EqualsNoCase(word, "usermove"))) {
            Print("Illegal move: " + (LooksLikeMove(word) ? word : rest));
            return 0;
        }
        StopThinking();
        if (state_ != NotPlaying) {
            state_ = NotPlaying;
            Print("# thinking stopped for " + word);
        }
    }
    if (LooksLikeMove(word)) return CmdUserMove(word);
    for (const auto& c : Commands())
        if (EqualsNoCase(word, c.word)) return (this->*c.handler)(rest);
    // A word that is a legal move in SAN (Nf3, O-O, exd5) is a move typed at the console.
    if (rest.empty() && !engine_->IsRunning() && !engine_->SanToCoordinate(word).empty())
        return CmdUserMove(word);
    if (rest.empty() && LooksLikeSan(word)) {
        Print("Illegal move: " + word);
        return 0;
    }
    Print("Error (unknown command): " + word);
    return 0;
}

} // namespace drnChess
