#include "book/bookcommands.h"
#include "book/polyglot.h"

#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "book/clspgnfile.h"
#include "dranbase/clsfile.h"
#include "dranbase/clsstring.h"
#include "rules/clschesscore.h"

namespace drnChess {

namespace {

    void Say(const BookPrinter& printer, const std::string& text, bool endLine = true)
    {
        if (printer) printer(text, endLine);
    }

    // The same file, however the two paths are written.
    bool SamePath(const std::string& a, const std::string& b)
    {
        std::error_code ea;
        std::error_code eb;
        auto ca = std::filesystem::weakly_canonical(a, ea);
        auto cb = std::filesystem::weakly_canonical(b, eb);
        if (!ea && !eb) return ca == cb;
        return std::filesystem::absolute(a, ea).lexically_normal()
            == std::filesystem::absolute(b, eb).lexically_normal();
    }

    bool SameBytes(const std::string& a, const std::string& b)
    {
        dranbase::clsString x;
        dranbase::clsString y;
        x.LoadFromFile(a);
        y.LoadFromFile(b);
        return !x.empty() && x == y;
    }

    // A missing folder is said, not taken for an empty one.
    bool FolderExists(const std::string& directory, const BookPrinter& printer)
    {
        std::error_code ec;
        if (std::filesystem::is_directory(directory, ec)) return true;
        Say(printer, "# error: folder '" + directory + "' not found");
        return false;
    }

} // namespace

int BuildBooks(
    const std::string& directory, int moves, int type, clsChessCore& /*core*/, const BookPrinter& printer)
{
    if (!FolderExists(directory, printer)) return 0;
    // The games are replayed on a core of their own: the engine's position, node stack and
    // table (where each game move would plant a repetition mark) stay as they were.
    const auto replay = std::make_unique<clsChessCore>();
    std::vector<std::string> files = dranbase::ListFiles(directory, "%.pgn");
    int total = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& file = files[i];
        Say(printer,
            "# reading file " + std::to_string(i + 1) + " of " + std::to_string(files.size()) + " : " + file);
        clsPGNFile pgn(printer);
        total += pgn.Build(file, *replay, moves, type == 1);
        std::string bookName = dranbase::ReplaceExtension(file, "cbk");
        Say(printer,
            "# saving book '" + bookName + "' with " + std::to_string(pgn.Book().Count()) + " positions");
        std::string error;
        if (!pgn.Book().Save(bookName, 0, &error)) Say(printer, error);
        if (type == BuildTypePolyglot) {
            const std::string binName = dranbase::ReplaceExtension(file, "bin");
            const std::vector<PolyglotEntry> entries = PolyglotFromBook(*replay, pgn.Book());
            Say(printer,
                "# saving book '" + binName + "' with " + std::to_string(entries.size()) + " entries");
            if (!SavePolyglot(binName, entries, &error)) Say(printer, error);
        }
    }
    Say(printer, "# " + std::to_string(total) + " games parsed!");
    return total;
}

int BuildBooksCommand(std::string_view rest, clsChessCore& core, const BookPrinter& printer)
{
    std::string text = dranbase::Trim(rest);
    if (text.empty()) {
        Say(printer, "# buildbooks path_of_pgn_files moves_count [type]");
        Say(printer, "# buildbooks d:\\games d:\\corvala\\corvala.cbk 10");
        Say(printer, "# type: 0=book, 1=extract FEN");
        Say(printer, "# NB: use \"path\" if you want to use path with embedded spaces");
        return 0;
    }
    std::string directory;
    std::string after;
    if (text[0] == '"') {
        std::size_t close = text.find('"', 1);
        if (close == std::string::npos) close = text.size();
        directory = text.substr(1, close - 1);
        after = close < text.size() ? text.substr(close + 1) : std::string();
    } else {
        auto [first, others] = dranbase::SplitFirst(text, ' ');
        directory = first;
        after = others;
    }
    std::vector<std::string> fields = dranbase::SplitFields(after);
    int moves = fields.size() > 0 ? static_cast<int>(dranbase::ToInt(fields[0])) : 50;
    int type = fields.size() <= 1                  ? 0
        : dranbase::EqualsNoCase(fields[1], "bin") ? BuildTypePolyglot
                                                   : static_cast<int>(dranbase::ToInt(fields[1]));
    return BuildBooks(directory, moves, type, core, printer);
}

bool MergeBooks(const std::string& directory, const std::string& newBook, const BookPrinter& printer)
{
    if (!FolderExists(directory, printer)) return false;
    clsBook merged;
    for (const std::string& file : dranbase::ListFiles(directory, "%.cbk")) {
        if (SamePath(file, newBook)) continue; // never merge the target into itself
        clsBook book;
        if (!book.Load(file, 0, printer)) {
            Say(printer, "# error loading " + file);
            continue;
        }
        Say(printer, "# merging " + std::to_string(book.Count()) + " positions from " + file);
        // A file is trusted to be sorted, but one that is not must not break the merge.
        book.SortAndCombine();
        merged.MergeFrom(book);
        Say(printer, "# total positions " + std::to_string(merged.Count()));
    }
    Say(printer, "# saving " + std::to_string(merged.Count()) + " positions in " + newBook);
    std::string error;
    bool saved = merged.Save(newBook, 0, &error);
    if (!saved) {
        Say(printer, error);
        Say(printer, "# can't save " + newBook);
    }
    Say(printer, "# done");
    return saved;
}

bool MergeBooksCommand(std::string_view rest, const BookPrinter& printer)
{
    std::vector<std::string> fields = dranbase::SplitFields(rest);
    if (fields.size() < 2) {
        Say(printer, "# mergebooks books_path new_book.cbk [limit]");
        Say(printer, "# merge .cbk book files into new_book.cbk file");
        return false;
    }
    return MergeBooks(fields[0], fields[1], printer);
}

bool CvBooks(const BookPrinter& printer, const std::string& directory)
{
    if (!FolderExists(directory, printer)) return false;
    std::vector<std::string> files = dranbase::ListFiles(directory, "%.cbk");
    if (files.empty()) Say(printer, "# no .cbk book in '" + directory + "'");
    bool allGood = true;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& file = files[i];
        Say(printer,
            "# reading book " + std::to_string(i + 1) + " of " + std::to_string(files.size()) + " : " + file);
        std::string second = dranbase::ReplaceExtension(file, "cb2");
        std::string third = dranbase::ReplaceExtension(file, "cb3");
        std::string error;
        clsBook book;
        if (!book.Load(file, 0, printer)) {
            // A book that does not load whole is reported; no copies are written of it.
            Say(printer, "# error loading " + file);
            allGood = false;
            continue;
        }
        bool ok = book.Save(second, 0, &error);
        if (ok) {
            Say(printer, "\n# test");
            clsBook again;
            ok = again.Load(second, 0, printer) && again.Save(third, 0, &error);
        }
        if (!ok && !error.empty()) Say(printer, error);
        ok = ok && SameBytes(second, third);
        Say(printer, ok ? "# ok" : "# bad saved book!");
        allGood = allGood && ok;
    }
    return allGood;
}

} // namespace drnChess
