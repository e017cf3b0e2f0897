#include "rules/random.h"

#include <cstdlib>
#include <ctime>
#include <mutex>

namespace drnChess {

std::array<std::array<std::array<u64, 2>, 8>, 64> ZobristKeys {};
std::array<u64, 2> SideKeys {};

namespace {

    // Engines on several threads draw from the one generator (book choices, random moves), so
    // every step and every seeding takes this lock; nothing draws per search node.
    std::mutex generatorMutex;
    u64 s0 = 0;
    u64 s1 = 1;

    // Seeds from the clock before main() runs; a later SeedRandom() overrides it.
    const bool seededAtStart = (SeedRandomFromTime(), true);

    std::uint8_t NextKeyByte()
    {
        const auto r = static_cast<std::int32_t>(static_cast<std::uint32_t>(NextRandom()));
        // |r| computed without overflow: the most negative value gives 2^31, whose low byte is 0.
        const std::uint32_t magnitude
            = r < 0 ? 0u - static_cast<std::uint32_t>(r) : static_cast<std::uint32_t>(r);
        return static_cast<std::uint8_t>(magnitude & 0xFF);
    }

    u64 NextKey()
    {
        u64 key = 0;
        for (int byte = 0; byte < 8; ++byte)
            key |= static_cast<u64>(NextKeyByte()) << (8 * byte);
        return key;
    }

    bool FillKeys()
    {
        for (auto& square : ZobristKeys)
            for (auto& slot : square)
                for (auto& key : slot)
                    key = NextKey();
        for (auto& key : SideKeys)
            key = NextKey();
        return true;
    }

} // namespace

u64 NextRandom()
{
    std::lock_guard lock(generatorMutex);
    u64 x = s0;
    const u64 y = s1;
    s0 = y;
    x ^= x << 23;
    s1 = x ^ y ^ (x >> 17) ^ (y >> 26);
    return s1 + y;
}

void SeedRandom(u64 n)
{
    std::lock_guard lock(generatorMutex);
    s0 = n;
    s1 = n + 1;
}

void SeedRandomFromTime()
{
    std::lock_guard lock(generatorMutex);
    s0 = static_cast<std::uint32_t>(std::time(nullptr));
    s1 = s0 + static_cast<u64>(std::rand());
}

void InitKeysOnce()
{
    (void)seededAtStart;
    static const bool filled = FillKeys(); // a function-local static: filled exactly once
    (void)filled;
}

} // namespace drnChess
