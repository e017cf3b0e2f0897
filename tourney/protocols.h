#pragma once
// The two engine protocols as dialogues: what each step of the referee becomes on the wire
// (xboard or UCI) and what the engine's lines mean. A client holds one of them; the transport
// under it (a child process, or the program's own engine) only carries lines.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace drnChess {

class clsEngineInterface;
struct clsIterationReport;

// An iteration as xboard's thinking line: "depth score centiseconds nodes pv...", the score in
// centipawns, a mate as 100000 + moves (or its negative when mated). The xboard driver and the
// embedded player both write it so.
std::string XboardThinkingLine(const clsIterationReport& r);

// A time per move as xboard's "st" takes it: whole seconds, the nearest, at least one.
std::int64_t XboardMoveSeconds(std::int64_t moveMs);

class clsProtocolDialogue {
public:
    virtual ~clsProtocolDialogue() = default;
    // Handshake: asks for the protocol ("xboard" + "protover 2", or "uci") and sets the
    // readiness state it starts from.
    virtual void AskProtocol(clsEngineInterface& e) const = 0;
    // Handshake: whether a ready engine has said all it will say after the time waited.
    virtual bool HandshakeSettled(const clsEngineInterface& e, std::int64_t waitedMs) const = 0;
    virtual void Ping(clsEngineInterface& e) const = 0;
    // After the handshake, once: the player's options.
    virtual void Configure(clsEngineInterface& e) const = 0;
    // The time per move the engine is told (its Limits.moveMs as the protocol can say it).
    virtual std::int64_t MoveTimeMs(const clsEngineInterface& e) const = 0;
    // A new game from the client's start position, then its opening moves.
    virtual void NewGame(clsEngineInterface& e) const = 0;
    virtual void StartThinking(clsEngineInterface& e) const = 0;
    // The opponent's move (already recorded in MovesPlayed) is passed on.
    virtual void PassMove(clsEngineInterface& e, const std::string& move) const = 0;
    // A move (already recorded) that the engine must take without answering it: one the runner
    // played from a book, for either side, while the engine's own next move also comes from it.
    virtual void PassQuietMove(clsEngineInterface& e, const std::string& move) const = 0;
    // One line of the engine, split at its first blank (see clsEngineInterface::ParseResponse).
    virtual std::string Parse(clsEngineInterface& e, std::string_view word, std::string_view rest) const = 0;
};

class clsXboardDialogue : public clsProtocolDialogue {
public:
    void AskProtocol(clsEngineInterface& e) const override;
    bool HandshakeSettled(const clsEngineInterface& e, std::int64_t waitedMs) const override;
    void Ping(clsEngineInterface& e) const override;
    void Configure(clsEngineInterface& e) const override;
    std::int64_t MoveTimeMs(const clsEngineInterface& e) const override;
    void NewGame(clsEngineInterface& e) const override;
    void StartThinking(clsEngineInterface& e) const override;
    void PassMove(clsEngineInterface& e, const std::string& move) const override;
    void PassQuietMove(clsEngineInterface& e, const std::string& move) const override;
    std::string Parse(clsEngineInterface& e, std::string_view word, std::string_view rest) const override;
};

class clsUciDialogue : public clsProtocolDialogue {
public:
    void AskProtocol(clsEngineInterface& e) const override;
    bool HandshakeSettled(const clsEngineInterface& e, std::int64_t waitedMs) const override;
    void Ping(clsEngineInterface& e) const override;
    void Configure(clsEngineInterface& e) const override;
    std::int64_t MoveTimeMs(const clsEngineInterface& e) const override;
    void NewGame(clsEngineInterface& e) const override;
    void StartThinking(clsEngineInterface& e) const override;
    void PassMove(clsEngineInterface& e, const std::string& move) const override;
    void PassQuietMove(clsEngineInterface& e, const std::string& move) const override;
    std::string Parse(clsEngineInterface& e, std::string_view word, std::string_view rest) const override;
};

// The dialogue of a protocol number (ProtocolXboard, ProtocolUci).
std::unique_ptr<clsProtocolDialogue> MakeDialogue(int protocol);

} // namespace drnChess
