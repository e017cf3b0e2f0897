// The command table: every word the program understands, matched ignoring case in this order,
// and the one place where the unknown-command reply comes from.

#include <cstdio>

#include "app/clscorvala.h"

namespace drnChess {

using dranbase::EqualsNoCase;

namespace {

// A bare word is a move when its second character is a rank digit.
bool LooksLikeMove(const std::string& word) { return word.size() >= 2 && word[1] >= '1' && word[1] <= '8'; }

// Commands that may arrive while the engine thinks: they touch only the driver's own fields,
// or stop the think themselves before they change anything. Every other command (one that
// reads or changes the engine's position, book, soul or options) first stops the think.
bool AllowedWhileThinking(const std::string& word)
{
    static const char* const words[] = { "?", "ping", "time", "otim", "post", "nopost", "easy", "hard", "xboard",
        "protover", "accepted", "rejected", "name", "rating", "computer", "ics", "draw", "hint", "variant", "random",
        "level", "st", "sd", "memory", "option", "cores", "new", "quit", "force", "go", "white", "black", "result",
        "setboard", "undo", "remove", "\\epd", "analyze", "edit" };
    for (const char* w : words)
        if (EqualsNoCase(word, w)) return true;
    return false;
}

} // namespace

const std::vector<clsCorvala::Command>& clsCorvala::Commands()
{
    static const std::vector<Command> table = {
        { "usermove", &clsCorvala::CmdUserMove },
        { "xboard", &clsCorvala::CmdXboard },
        { "?", &clsCorvala::CmdStop },
        { "protover", &clsCorvala::CmdProtover },
        { "accepted", &clsCorvala::CmdNothing },
        { "rejected", &clsCorvala::CmdRejected },
        { "ping", &clsCorvala::CmdPing },
        { "variant", &clsCorvala::CmdNothing },
        { "random", &clsCorvala::CmdNothing }, // xboard sends it; the engine plays no random moves on request
        { "new", &clsCorvala::CmdNew },
        { "quit", &clsCorvala::CmdQuit },
        { "force", &clsCorvala::CmdForce },
        { "go", &clsCorvala::CmdGo },
        { "white", &clsCorvala::CmdWhite },
        { "black", &clsCorvala::CmdBlack },
        { "level", &clsCorvala::CmdLevel },
        { "st", &clsCorvala::CmdSt },
        { "sd", &clsCorvala::CmdSd },
        { "time", &clsCorvala::CmdTime },
        { "otim", &clsCorvala::CmdOtim },
        { "draw", &clsCorvala::CmdNothing },
        { "result", &clsCorvala::CmdResult },
        { "setboard", &clsCorvala::CmdSetboard },
        { "edit", &clsCorvala::CmdNothing },
        { "hint", &clsCorvala::CmdNothing },
        { "ics", &clsCorvala::CmdIcs },
        { "bk", &clsCorvala::CmdBk },
        { "undo", &clsCorvala::CmdUndo },
        { "remove", &clsCorvala::CmdRemove },
        { "easy", &clsCorvala::CmdEasy },
        { "hard", &clsCorvala::CmdHard },
        { "post", &clsCorvala::CmdPost },
        { "nopost", &clsCorvala::CmdNopost },
        { "analyze", &clsCorvala::CmdNothing },
        { "name", &clsCorvala::CmdName },
        { "rating", &clsCorvala::CmdRating },
        { "computer", &clsCorvala::CmdComputer },
        { "memory", &clsCorvala::CmdMemory },
        { "option", &clsCorvala::CmdOption },
        { "cores", &clsCorvala::CmdCores },
        { "perft", &clsCorvala::CmdPerft },
        { "divide", &clsCorvala::CmdDivide },
        { "\\", &clsCorvala::CmdBoard },
        { "\\dbg", &clsCorvala::CmdDbg },
        { "\\loadsoul", &clsCorvala::CmdLoadSoul },
        { "\\epd", &clsCorvala::CmdEpd },
        { "\\moves", &clsCorvala::CmdMoves },
        { "\\tourney", &clsCorvala::CmdTourney },
        { "\\soul", &clsCorvala::CmdSoul },
        { "\\showsoul", &clsCorvala::CmdShowSoul },
        { "\\testsouls", &clsCorvala::CmdTestSouls },
        { "\\learnt", &clsCorvala::CmdLearnt },
        { "\\learn", &clsCorvala::CmdLearn },
        { "\\mergebooks", &clsCorvala::CmdMergeBooks },
        { "\\cvbooks", &clsCorvala::CmdCvBooks },
        { "\\play", &clsCorvala::CmdPlay },
        { "\\console", &clsCorvala::CmdConsole },
        { "\\buildbooks", &clsCorvala::CmdBuildBooks },
        { "\\loadbook", &clsCorvala::CmdLoadBook },
        { "\\savebook", &clsCorvala::CmdSaveBook },
        { "\\listbook", &clsCorvala::CmdListBook },
    };
    return table;
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
    if (engine_->IsRunning() && !AllowedWhileThinking(word)) {
        // The engine's board belongs to its thread until the think ends.
        if (LooksLikeMove(word) || EqualsNoCase(word, "usermove")) {
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
    Print("Error (unknown command): " + word);
    return 0;
}

} // namespace drnChess
