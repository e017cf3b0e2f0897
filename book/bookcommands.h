#pragma once
// The workers behind the console's book commands: building books from a directory of PGN
// files, merging a directory of books into one, and the save/load round-trip check. They print
// their console lines through the printer and leave the engine's position as it was.

#include <string>
#include <string_view>

#include "book/clsbook.h"

namespace drnChess {

class clsChessCore;

// The directory whose books the conversion check reads, relative to the working directory.
inline constexpr const char* CvBooksDirectory = "books";

// The build type that also writes the polyglot book NAME.bin beside NAME.cbk ("bin" on the
// console).
inline constexpr int BuildTypePolyglot = 2;

// Builds one book per ".pgn" file of the directory, from at most `moves` plies of each game
// (0: all), saved beside the PGN file with the extension "cbk". type 1 also writes the FEN
// file of each PGN file. Returns the total number of games read. The games are replayed on a
// core of their own: the core passed (the engine) is left untouched. A missing folder is
// reported ("# error: folder '<dir>' not found") and nothing is written.
int BuildBooks(
    const std::string& directory, int moves, int type, clsChessCore& core, const BookPrinter& printer);
// The console form: "PGN_DIR MOVES [TYPE]", the directory optionally in double quotes, MOVES
// 50 and TYPE 0 when missing. An empty text prints the four usage lines. Returns the games read.
int BuildBooksCommand(std::string_view rest, clsChessCore& core, const BookPrinter& printer);

// Merges every ".cbk" book of the directory except the target itself into one book with one
// entry per key, and saves it as newBook. A book that does not load completely is reported
// and left out. Returns true when the merged book was saved. A missing folder is reported
// and nothing is written.
bool MergeBooks(const std::string& directory, const std::string& newBook, const BookPrinter& printer);
// The console form: "BOOKS_DIR NEW_BOOK [LIMIT]" (the limit is read and not used); prints the
// two usage lines when either name is missing.
bool MergeBooksCommand(std::string_view rest, const BookPrinter& printer);

// For every ".cbk" book of the directory: load, save as ".cb2", load that into a fresh book,
// save it as ".cb3", and compare the two files byte for byte ("# ok" / "# bad saved book!").
// Returns true when every book came through unchanged. A book that does not load whole is
// reported ("# error loading <file>") and no copies of it are written; a missing folder and
// a folder without books are said.
bool CvBooks(const BookPrinter& printer, const std::string& directory = CvBooksDirectory);

} // namespace drnChess
