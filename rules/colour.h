#pragma once
// The two colours, as both boards number them.

namespace drnChess {

enum Colour : int { White = 0, Black = 1 };

} // namespace drnChess
