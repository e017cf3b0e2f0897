#pragma once
// What carries a player's lines under its protocol dialogue: a child process over pipes
// (tourney/childtransport.h) or an engine of the program in the same process (the embedded
// and the fixed-time players). The client (tourney/clsengineinterface.h) logs, paces and
// parses; the transport only moves lines. Failures are values: nothing here prints.

#include <cstdint>
#include <string>
#include <string_view>

namespace drnChess {

class clsLineTransport {
public:
    virtual ~clsLineTransport() = default;
    // Hands one command line (without its line end) to the player. False when it could not
    // be delivered (the player is gone or does not read).
    virtual bool WriteLine(std::string_view text) = 0;
    // The next complete line the player sent, without its line end, and the tick of its
    // arrival. False when none waits (an empty line counts as none).
    virtual bool ReadLine(std::string& line, std::int64_t& arrival) = 0;
    // Blocks until a line may be there or timeoutMs has passed; never spins. True when one is.
    virtual bool WaitForLine(std::int64_t timeoutMs) = 0;
    // True once the player has sent more than the transport holds unread: a fault.
    virtual bool Flooded() const { return false; }
};

} // namespace drnChess
