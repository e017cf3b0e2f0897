// The command table: the program's own words, matched ignoring case in this order after the
// xboard session's (tourney/xboardsession.h), which also answers what neither knows.

#include <cstdio>

#include "app/clscorvala.h"

namespace drnChess {

using dranbase::EqualsNoCase;

const std::vector<clsCorvala::Command>& clsCorvala::Commands()
{
    static const std::vector<Command> table = {
        { "perft", &clsCorvala::CmdPerft, "DEPTH: count the leaf positions" },
        { "divide", &clsCorvala::CmdDivide, "DEPTH: perft per root move" },
        { "\\", &clsCorvala::CmdBoard,
            "[m]: toggle the board after moves and print it (m: and the legal moves)" },
        { "\\dbg", &clsCorvala::CmdDbg, "N: debug think (2 and more: no clock)" },
        { "\\loadsoul", &clsCorvala::CmdLoadSoul, "FILE: read and use a soul" },
        { "\\epd", &clsCorvala::CmdEpd, "TIME FILE: run an EPD test suite", true },
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
        { "help", &clsCorvala::CmdHelp, "this list", true },
    };
    return table;
}

std::vector<std::string> clsCorvala::HelpLines()
{
    std::vector<std::string> lines { "# commands (a bare move is played as usermove):" };
    for (const auto& w : clsXboardSession::Words())
        lines.push_back(std::string("#   ") + w.word + "  " + w.help);
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
    // The xboard words and moves first; then the program's own; what neither knows is the
    // session's to answer (a SAN move typed at the console, or an unknown command).
    switch (session_->Execute(word, rest)) {
    case XboardOutcome::Quit:
        return QuitCode;
    case XboardOutcome::Done:
        return 0;
    case XboardOutcome::NotMine:
        break;
    }
    for (const auto& c : Commands())
        if (EqualsNoCase(word, c.word)) {
            session_->YieldEngine(word, c.whileThinking);
            return (this->*c.handler)(rest);
        }
    session_->Unknown(word, rest);
    return 0;
}

} // namespace drnChess
