#pragma once
// Helpers shared by the rules tests.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rules/clschesscore.h"

namespace drnChess::testing {

// The core is large (its move stack), so tests keep it on the heap.
inline std::unique_ptr<clsChessCore> CoreAt(std::string_view fen)
{
    auto core = std::make_unique<clsChessCore>();
    core->SetFromFEN(fen);
    return core;
}

// Texts of the current node's moves from currentMove to the end of the list.
inline std::vector<std::string> BatchTexts(const clsChessCore& core, bool longForm)
{
    std::vector<std::string> texts;
    for (const clsMove* m = core.current->currentMove; m < clsChessCore::Next(core.current)->firstMove; ++m)
        texts.push_back(MoveToText(*m, longForm));
    return texts;
}

// The whole list of the root, generated with the given stage (-1: everything).
inline std::vector<std::string> RootList(clsChessCore& core, bool longForm)
{
    core.current = core.Root();
    core.GenerateMoves(-1);
    return BatchTexts(core, longForm);
}

inline std::vector<std::string> Split(std::string_view text)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

} // namespace drnChess::testing
