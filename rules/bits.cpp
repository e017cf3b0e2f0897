#include "rules/bits.h"

namespace drnChess {

std::string SquareToText(u64 square)
{
    // The top byte of the product is the byte of the rank that holds the bit.
    const unsigned top = static_cast<unsigned>((square * 0x0101010101010101ULL) >> 56);
    int rank = 0;
    if (square & 0xFFFFFFFF00000000ULL) rank |= 4;
    if (square & 0xFFFF0000FFFF0000ULL) rank |= 2;
    if (square & 0xFF00FF00FF00FF00ULL) rank |= 1;
    std::string s(2, ' ');
    s[0] = static_cast<char>('i' - BitLength[top & 0xFF]);
    s[1] = static_cast<char>('8' - (7 - rank));
    return s;
}

u64 TextToSquare(std::string_view text)
{
    if (text.size() < 2) return 0;
    const char f = text[0], r = text[1];
    if (f < 'a' || f > 'h' || r < '1' || r > '8') return 0;
    return SquareBit[8 * (r - '1') + (7 - (f - 'a'))];
}

} // namespace drnChess
