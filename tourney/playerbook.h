#pragma once
// The opening book the match runner plays for one engine: a polyglot ".bin" book or a ".cbk"
// book, read once before the first game. While an engine is in its book the runner makes its
// moves itself and the engine is not asked.
//
// Threads: after Load the book is only read; games on several threads probe it at once, each
// with a core of its own.

#include <cstdint>
#include <string>

#include "book/clsbook.h"
#include "book/polyglot.h"

namespace drnChess {

class clsChessCore;

class clsPlayerBook {
public:
    // Reads the file (".bin" as polyglot, any other name as ".cbk"). A file that is missing,
    // damaged or empty gives false with the reason in *error.
    bool Load(const std::string& path, std::string* error);
    // The book move of the position reached from `startFen` by `moves` (coordinates, blank-
    // separated), in coordinates; empty when the book has none. The moves are played, not the
    // position loaded: a ".cbk" key, like the games that built the book, depends on how castling
    // rights were lost. A polyglot book chooses by weight from `random`; a ".cbk" book chooses
    // uniformly among the moves that are not rare, as the engine does. A stored move that is not
    // legal gives empty and the reason in *error. `scratch` is a core the caller owns.
    std::string Probe(clsChessCore& scratch, const std::string& startFen, const std::string& moves,
        std::uint64_t random, std::string* error) const;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool polyglot_ = false;
    clsPolyglotBook polyglotBook_;
    clsBook cbkBook_;
};

// Mixes a seed and a number into a well-spread random value (the runner's book choices).
std::uint64_t BookRandom(std::uint64_t seed, std::uint64_t n);

} // namespace drnChess
