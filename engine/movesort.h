#pragma once
// Stable in-place sorts of a move list (insertion sorts: no allocation, and lists are short).

#include "rules/clsmove.h"

namespace drnChess {

// Highest score (`order`) first; equal scores keep their order.
inline void SortByScore(clsMove* first, clsMove* end)
{
    for (clsMove* i = first + 1; i < end; ++i) {
        const clsMove m = *i;
        clsMove* j = i;
        for (; j > first && (j - 1)->order < m.order; --j)
            *j = *(j - 1);
        *j = m;
    }
}

// Most material won (`value`) first; equal values keep generation order.
inline void SortByValue(clsMove* first, clsMove* end)
{
    for (clsMove* i = first + 1; i < end; ++i) {
        const clsMove m = *i;
        clsMove* j = i;
        for (; j > first && (j - 1)->value < m.value; --j)
            *j = *(j - 1);
        *j = m;
    }
}

} // namespace drnChess
