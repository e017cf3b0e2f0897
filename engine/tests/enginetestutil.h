#pragma once
// Helpers shared by the engine tests.

#include <memory>
#include <string>
#include <vector>

#include "dranbase/clsstring.h"
#include "engine/clsengine.h"
#include "rules/bits.h"

namespace drnChess::testing {

inline dranbase::clsStrings Options(std::initializer_list<std::pair<const char*, const char*>> pairs = {})
{
    dranbase::clsStrings o;
    // No book file is looked up in the working directory unless a test asks for one.
    bool hasBook = false;
    for (const auto& [k, v] : pairs) {
        o.Add(k, v);
        hasBook = hasBook || std::string(k) == "book";
    }
    if (!hasBook) o.Add("book", "no-such-book-for-tests.cbk");
    return o;
}

// An engine that keeps its lines for the test and does not echo them.
inline std::unique_ptr<clsEngine> MakeEngine(
    clsEngineShare* share, const dranbase::clsStrings& options = Options())
{
    auto e = std::make_unique<clsEngine>(options, share);
    e->SetEcho(false);
    while (!e->TakeLine().empty()) { }
    return e;
}

// All lines the engine kept since the last call.
inline std::vector<std::string> TakeLines(clsEngine& e)
{
    std::vector<std::string> lines;
    for (std::string l = e.TakeLine(); !l.empty(); l = e.TakeLine())
        lines.push_back(l);
    return lines;
}

// One think on the engine thread, waited for.
inline void Think(clsEngine& e)
{
    e.Start();
    e.Wait();
}

constexpr u64 Sq(const char* name)
{
    return u64 { 1 } << (8 * (name[1] - '1') + (7 - (name[0] - 'a')));
}

// The root move with these squares (after a think the root list holds the searched moves).
inline const clsMove* FindRootMove(clsEngine& e, const char* from, const char* to)
{
    const clsSimpleNode* root = e.Root();
    for (const clsMove* m = root->firstMove; m != clsChessCore::Next(root)->firstMove; ++m)
        if (m->from == Sq(from) && m->to == Sq(to)) return m;
    return nullptr;
}

} // namespace drnChess::testing
