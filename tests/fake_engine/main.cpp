// A tiny chess engine for tests: it speaks xboard or UCI (whichever the first command asks
// for), plays moves from a list given on the command line, and misbehaves on request.
//
//   --moves=e2e4,g1f3,...   the moves it plays, in order (a new game starts the list again);
//                           when the list is used up it resigns (xboard) or answers
//                           "bestmove (none)" (UCI)
//   --name=NAME             its name in "feature myname" and "id name" (default FakeEngine)
//   --log=PATH              appends every line it receives to the file
//   --handshake-delay=MS    waits before answering "protover" or "uci"
//   --done0=MS              xboard: sends "feature done=0" first, the real features MS later
//   --ping                  xboard: announces ping=1 (pings are always answered)
//   --pong-delay=MS         waits before each "pong"
//   --no-features           xboard: announces nothing (an old engine)
//   --move-delay=MS         thinks this long before each move
//   --ponder                UCI: adds " ponder <next move of the list>"
//   --crash-after=N         exits (status 3) instead of playing move N+1
//   --stall-after=N         instead of move N+1 stops answering anything, quit included, and
//                           only leaves when its input is closed
//   --crash-at-go=N         exits (status 3) on the Nth "go" since it started, whichever game
//                           it plays (an engine kept between games crashes once)
//   --stall-at-go=N         on the Nth "go" since it started stops answering, as --stall-after
//   --stall-at-new=N        on the Nth "new" or "ucinewgame" since it started stops answering
//   --illegal-at=N          plays "z9z9" as move N
//   --result-at=N           instead of move N+1 prints the --result text and plays no more
//   --result=TEXT           the claim, e.g. "1-0 {White mates}", "0-1", "1/2-1/2", "resign"
//   --stderr=TEXT           writes the text to standard error at start-up
//   --ignore-term           ignores SIGTERM (only SIGKILL ends it)
//   --no-uciok              UCI: answers "uci" with its id but never with "uciok"
//   --ignore-quit           stays after "quit" (until its input is closed or it is killed)
//   --pid-file=PATH         writes its process id to the file at start-up
//   --flood-at=N            instead of move N+1 writes lines to its output without end
//   --long-line=BYTES       writes a line of this many 'x' before each move
//   --info-burst=N          writes N lines of thinking output right before each move, in one go
//   --scores=S1,S2,...      the score it reports with each move, in centipawns from its own
//                           view ("M3" mates in 3, "-M2" is mated in 2); the last one repeats
//                           (default 0)
//   --depth=N               the depth it reports with each move (default 1)

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    std::vector<std::string> moves;
    std::string name = "FakeEngine";
    std::string logPath;
    int handshakeDelay = 0;
    int done0Delay = -1;
    bool ping = false;
    int pongDelay = 0;
    bool noFeatures = false;
    int moveDelay = 0;
    bool ponder = false;
    int crashAfter = -1;
    int stallAfter = -1;
    int crashAtGo = -1;
    int stallAtGo = -1;
    int stallAtNew = -1;
    int illegalAt = -1;
    int resultAt = -1;
    std::string result = "resign";
    std::string stderrText;
    bool ignoreTerm = false;
    bool ignoreQuit = false;
    bool noUciok = false;
    std::string pidFile;
    int floodAt = -1;
    int longLine = 0;
    int infoBurst = 0;
    std::vector<std::string> scores;
    int depth = 1;
};

Options options;
std::FILE* logFile = nullptr;

void Say(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void Pause(int ms)
{
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::vector<std::string> SplitComma(const std::string& s)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        if (c == ',') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

bool ParseOptions(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string key = arg, value;
        if (auto eq = arg.find('='); eq != std::string::npos) {
            key = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        int number = std::atoi(value.c_str());
        if (key == "--moves")
            options.moves = SplitComma(value);
        else if (key == "--name")
            options.name = value;
        else if (key == "--log")
            options.logPath = value;
        else if (key == "--handshake-delay")
            options.handshakeDelay = number;
        else if (key == "--done0")
            options.done0Delay = number;
        else if (key == "--ping")
            options.ping = true;
        else if (key == "--pong-delay")
            options.pongDelay = number;
        else if (key == "--no-features")
            options.noFeatures = true;
        else if (key == "--move-delay")
            options.moveDelay = number;
        else if (key == "--ponder")
            options.ponder = true;
        else if (key == "--crash-after")
            options.crashAfter = number;
        else if (key == "--stall-after")
            options.stallAfter = number;
        else if (key == "--crash-at-go")
            options.crashAtGo = number;
        else if (key == "--stall-at-go")
            options.stallAtGo = number;
        else if (key == "--stall-at-new")
            options.stallAtNew = number;
        else if (key == "--illegal-at")
            options.illegalAt = number;
        else if (key == "--result-at")
            options.resultAt = number;
        else if (key == "--result")
            options.result = value;
        else if (key == "--stderr")
            options.stderrText = value;
        else if (key == "--no-uciok")
            options.noUciok = true;
        else if (key == "--ignore-quit")
            options.ignoreQuit = true;
        else if (key == "--pid-file")
            options.pidFile = value;
        else if (key == "--flood-at")
            options.floodAt = number;
        else if (key == "--long-line")
            options.longLine = number;
        else if (key == "--scores")
            options.scores = SplitComma(value);
        else if (key == "--depth")
            options.depth = number;
        else if (key == "--info-burst")
            options.infoBurst = number;
        else if (key == "--ignore-term")
            options.ignoreTerm = true;
        else {
            std::fprintf(stderr, "fake_engine: unknown option %s\n", arg.c_str());
            return false;
        }
    }
    return true;
}

bool IsMoveText(const std::string& s)
{
    return (s.size() == 4 || s.size() == 5) && s[0] >= 'a' && s[0] <= 'h' && s[1] >= '1' && s[1] <= '8'
        && s[2] >= 'a' && s[2] <= 'h' && s[3] >= '1' && s[3] <= '8';
}

enum class Protocol { Unknown, Xboard, Uci };

// The score reported with move `index` (from 0): "cp 35" / "mate -2" for UCI, centipawns or
// 100000 + N for a mate for xboard.
std::string ScoreText(std::size_t index, bool uci)
{
    const std::string text = options.scores.empty()
        ? std::string("0")
        : options.scores[std::min(index, options.scores.size() - 1)];
    const bool negative = !text.empty() && text[0] == '-';
    const std::string body = negative ? text.substr(1) : text;
    if (!body.empty() && body[0] == 'M') {
        const int distance = std::atoi(body.c_str() + 1);
        if (uci) return "mate " + std::string(negative ? "-" : "") + std::to_string(distance);
        return std::to_string(negative ? -100000 - distance : 100000 + distance);
    }
    return uci ? "cp " + text : text;
}

class FakeEngine {
public:
    // Handles one input line; false when the engine should leave.
    bool Handle(const std::string& line)
    {
        if (stalled_) return true;
        std::string word = line.substr(0, line.find(' '));
        std::string rest = line.size() > word.size() ? line.substr(word.size() + 1) : std::string();
        if (word == "quit") return options.ignoreQuit;
        if (word == "go" && ++goes_ == options.crashAtGo) {
            std::fflush(stdout);
            std::_Exit(3);
        }
        if (word == "go" && goes_ == options.stallAtGo) {
            stalled_ = true;
            return true;
        }
        if ((word == "new" || word == "ucinewgame") && ++newGames_ == options.stallAtNew) {
            stalled_ = true;
            return true;
        }
        if (protocol_ == Protocol::Unknown) {
            if (word == "uci")
                protocol_ = Protocol::Uci;
            else if (word == "xboard")
                protocol_ = Protocol::Xboard;
        }
        return protocol_ == Protocol::Uci ? Uci(word, rest) : Xboard(word, rest);
    }

private:
    bool Xboard(const std::string& word, const std::string& rest)
    {
        if (word == "protover") {
            Pause(options.handshakeDelay);
            if (options.noFeatures) return true;
            std::string features = "feature myname=\"" + options.name + "\" setboard=0 usermove=0 sigint=0";
            if (options.ping) features += " ping=1";
            if (options.done0Delay >= 0) {
                Say("feature done=0");
                Pause(options.done0Delay);
            }
            Say(features + " done=1");
        } else if (word == "new") {
            played_ = 0;
            finished_ = false;
            force_ = false;
        } else if (word == "force") {
            force_ = true;
        } else if (word == "go") {
            force_ = false;
            return Move();
        } else if (word == "ping") {
            Pause(options.pongDelay);
            Say("pong " + rest);
        } else if (word == "usermove" || IsMoveText(word)) {
            if (!force_) return Move();
        }
        return true;
    }

    bool Uci(const std::string& word, const std::string&)
    {
        if (word == "uci") {
            Pause(options.handshakeDelay);
            Say("id name " + options.name);
            Say("id author the Corvala tests");
            Say("option name Hash type spin default 1 min 1 max 1");
            if (!options.noUciok) Say("uciok");
        } else if (word == "isready") {
            Say("readyok");
        } else if (word == "ucinewgame") {
            played_ = 0;
            finished_ = false;
        } else if (word == "go") {
            return Move();
        }
        return true;
    }

    // Plays the next move of the list, or misbehaves as asked. False when the engine leaves.
    bool Move()
    {
        if (finished_) return true;
        if (played_ == options.crashAfter) {
            std::fflush(stdout);
            std::_Exit(3);
        }
        if (played_ == options.stallAfter) {
            stalled_ = true;
            return true;
        }
        if (played_ == options.resultAt) {
            Say(options.result);
            finished_ = true;
            return true;
        }
        if (played_ == options.floodAt) {
            const std::string junk(200, 'j');
            for (;;)
                Say("info string " + junk);
        }
        if (options.longLine > 0) Say(std::string(static_cast<std::size_t>(options.longLine), 'x'));
        Pause(options.moveDelay);
        std::size_t index = static_cast<std::size_t>(played_++);
        std::string move = index < options.moves.size() ? options.moves[index] : std::string();
        if (played_ == options.illegalAt) move = "z9z9";
        // The burst is flushed with the move: all of it arrives at once, the move last.
        for (int i = 1; i <= options.infoBurst; ++i) {
            const std::string n = std::to_string(i);
            const std::string line = protocol_ == Protocol::Uci
                ? "info depth " + n + " score cp 0 time 0 nodes " + n + " pv " + move
                : " " + n + " 0 0 " + n + " " + move;
            std::fputs((line + "\n").c_str(), stdout);
        }
        if (protocol_ == Protocol::Uci) {
            if (move.empty()) {
                Say("bestmove (none)");
                return true;
            }
            Say("info depth " + std::to_string(options.depth) + " score " + ScoreText(index, true)
                + " time 0 nodes 1 pv " + move);
            std::string line = "bestmove " + move;
            if (options.ponder && index + 1 < options.moves.size())
                line += " ponder " + options.moves[index + 1];
            Say(line);
        } else if (move.empty()) {
            Say("resign");
            finished_ = true;
        } else {
            Say(" " + std::to_string(options.depth) + " " + ScoreText(index, false) + " 0 1 " + move);
            Say("move " + move);
        }
        return true;
    }

    Protocol protocol_ = Protocol::Unknown;
    int played_ = 0;
    bool force_ = false;
    bool finished_ = false;
    bool stalled_ = false;
    int goes_ = 0; // "go" commands since the start, over every game
    int newGames_ = 0; // "new" and "ucinewgame" commands since the start
};

} // namespace

int main(int argc, char** argv)
{
    if (!ParseOptions(argc, argv)) return 2;
    if (options.ignoreTerm) std::signal(SIGTERM, SIG_IGN);
    if (!options.pidFile.empty()) {
        if (std::FILE* f = std::fopen(options.pidFile.c_str(), "wb")) {
            std::fprintf(f, "%d\n", static_cast<int>(::getpid()));
            std::fclose(f);
        }
    }
    if (!options.logPath.empty()) logFile = std::fopen(options.logPath.c_str(), "ab");
    if (!options.stderrText.empty()) {
        std::fputs((options.stderrText + "\n").c_str(), stderr);
        std::fflush(stderr);
    }

    FakeEngine engine;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (logFile) {
            std::fputs((line + "\n").c_str(), logFile);
            std::fflush(logFile);
        }
        if (!engine.Handle(line)) break;
    }
    if (logFile) std::fclose(logFile);
    return 0;
}
