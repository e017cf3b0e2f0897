// Console commands that play games: in-process matches, tournaments and soul learning.

#include "app/clscorvala.h"
#include "tourney/clstourney.h"
#include "tourney/learning.h"
#include "tourney/playgame.h"

namespace drnChess {

int clsCorvala::CmdPlay(const std::string& rest)
{
    PlayCommand(&share_, rest, *this, this);
    return 0;
}

int clsCorvala::CmdTourney(const std::string& rest)
{
    Print("# starting tourney...");
    std::string file = dranbase::Trim(rest);
    if (file.empty()) file = "tourney.xml";
    tourneys_.push_back(std::make_unique<clsTourney>(static_cast<int>(tourneys_.size()) + 1, file));
    tourneys_.back()->Start();
    Print("wait please...");
    return 0;
}

int clsCorvala::CmdLearn(const std::string& rest)
{
    LearnCommand(rest, &share_, options_, *this, this);
    return 0;
}

int clsCorvala::CmdLearnt(const std::string&)
{
    LearntCommand(*engine_, *this, this);
    return 0;
}

} // namespace drnChess
