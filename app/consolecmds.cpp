// Backslash console commands: board display, souls, positions, books.

#include "app/clscorvala.h"
#include "app/clsparser.h"
#include "book/bookcommands.h"
#include "book/clsbook.h"
#include "book/polyglot.h"

#include <memory>

namespace drnChess {

using dranbase::SplitFields;
using dranbase::ToInt;

namespace {
    // Field i of the rest, empty when missing.
    std::string Field(const std::string& rest, std::size_t i)
    {
        auto f = SplitFields(rest);
        return i < f.size() ? f[i] : std::string();
    }
} // namespace

int clsCorvala::CmdBoard(const std::string& rest)
{
    showBoard_ = !showBoard_;
    engine_->PrintBoard();
    if (!rest.empty() && (rest[0] == 'm' || rest[0] == 'M')) {
        // The position's legal moves, whatever ran before (the list used to be perft's last).
        engine_->ResetNodeStack();
        engine_->GenerateMoves(-1);
        engine_->FilterLegalMoves();
        Print(engine_->MoveListDetail());
    }
    return 0;
}

int clsCorvala::CmdDbg(const std::string& rest)
{
    engine_->modeWord = static_cast<int>(ToInt(rest));
    ExecuteCommand("level", "0 30 0");
    ExecuteCommand("post", "");
    ExecuteCommand("go", "");
    return 0;
}

int clsCorvala::CmdLoadSoul(const std::string& rest)
{
    dranbase::clsString text;
    const std::string file = dranbase::Trim(rest);
    if (text.LoadFromFile(file) == 0) {
        // Nothing to apply: the soul in force stays.
        Print("# cannot read the soul file '" + file + "'");
        return 0;
    }
    Print("# new soul: " + text);
    engine_->SelectSoul(dranbase::Trim(text));
    return 0;
}

int clsCorvala::CmdMoves(const std::string& rest)
{
    std::string moves;
    for (char c : rest)
        if (c != ':') moves += c;
    for (const auto& m : SplitFields(moves))
        engine_->ApplyGameMove(m);
    engine_->PrintBoard();
    return 0;
}

int clsCorvala::CmdSoul(const std::string& rest)
{
    // A bare name must be a built-in soul: renaming the soul in force would pass it off as
    // another. Without a name the options' soul or the default is selected.
    const std::string name = dranbase::Trim(rest);
    if (!name.empty() && name.find('=') == std::string::npos && BuiltInSoulText(name).empty()) {
        std::string known;
        for (const char* soul : BuiltInSouls)
            known += " " + std::string(soul).substr(0, std::string(soul).find('='));
        Print("# unknown soul " + name + "; the soul " + engine_->SoulName() + " stays (built in:" + known
            + ")");
        return 0;
    }
    engine_->SelectSoul(name);
    return 0;
}

int clsCorvala::CmdShowSoul(const std::string&)
{
    Print("# soul " + engine_->SoulText());
    return 0;
}

int clsCorvala::CmdTestSouls(const std::string&)
{
    return 0;
}

int clsCorvala::CmdConsole(const std::string&)
{
    clsParser parser([this](const std::string& line) { Print(line); });
    parser.PrintHelp();
    for (;;) {
        std::string line = dranbase::ReadConsoleLine(true);
        if (dranbase::EqualsNoCase(dranbase::Trim(line), "exit")) break;
        // "quit" (typed, or queued at the end of input) leaves the calculator and the program.
        if (dranbase::EqualsNoCase(dranbase::Trim(line), "quit")) return ExecuteCommand("quit", "");
        Print(parser.Evaluate(line));
    }
    return 0;
}

int clsCorvala::CmdBuildBooks(const std::string& rest)
{
    BuildBooksCommand(
        rest, *engine_, [this](const std::string& text, bool endLine) { Print(text, endLine); });
    return 0;
}

int clsCorvala::CmdMergeBooks(const std::string& rest)
{
    MergeBooksCommand(rest, [this](const std::string& text, bool endLine) { Print(text, endLine); });
    return 0;
}

int clsCorvala::CmdCvBooks(const std::string&)
{
    CvBooks([this](const std::string& text, bool endLine) { Print(text, endLine); });
    return 0;
}

int clsCorvala::CmdLoadBook(const std::string& rest)
{
    std::string name = Field(rest, 0);
    if (name.empty()) name = "corvala.cbk";
    int limit = static_cast<int>(ToInt(Field(rest, 1)));
    Print("# wait...\r", false);
    std::string error;
    bool ok = engine_->LoadBookFile(
        name, limit, &error, [this](const std::string& text, bool endLine) { Print(text, endLine); });
    if (ok && IsPolyglotName(name))
        Print(
            "# book " + name + " loaded with " + std::to_string(engine_->polyglotBook.Count()) + " entries");
    else if (ok)
        Print("# book " + name + " loaded with " + std::to_string(engine_->book.Count()) + " positions");
    else {
        if (IsPolyglotName(name)) Print("# " + error);
        Print("# error loading " + name);
    }
    return 0;
}

int clsCorvala::CmdSaveBook(const std::string& rest)
{
    std::string name = Field(rest, 0);
    if (name.empty()) {
        Print("# savebook book [limit]");
        Print("# book: filename.cbk");
        Print("# limit: save only positions played more than 'limit' times");
        return 0;
    }
    Print("# wait...\r", false);
    std::string error;
    const int limit = static_cast<int>(ToInt(Field(rest, 1)));
    if (IsPolyglotName(name)) {
        // The polyglot book in use as it is, else the .cbk book walked from the start.
        std::vector<PolyglotEntry> entries = engine_->polyglotBook.Entries();
        if (entries.empty()) {
            auto walker = std::make_unique<clsChessCore>();
            entries = PolyglotFromBook(*walker, engine_->book, limit);
        }
        if (SavePolyglot(name, entries, &error)) {
            Print("# book " + name + " saved with " + std::to_string(entries.size()) + " entries");
        } else {
            Print(error);
            Print("# error saving " + name);
        }
        return 0;
    }
    if (engine_->book.Save(name, limit, &error)) {
        Print("# book " + name + " saved");
    } else {
        if (!error.empty()) Print(error);
        Print("# error saving " + name);
    }
    return 0;
}

int clsCorvala::CmdListBook(const std::string&)
{
    if (!engine_->polyglotBook.Empty()) {
        for (const auto& line : PolyglotListing(*engine_, engine_->polyglotBook))
            Print(line);
        return 0;
    }
    for (const auto& line : BookListing(*engine_, engine_->book))
        Print(line);
    return 0;
}

} // namespace drnChess
