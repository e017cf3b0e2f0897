#include "tourney/childtransport.h"

namespace drnChess {

clsChildTransport::clsChildTransport(std::string programPath, std::string parameters)
    : programPath_(std::move(programPath))
    , child_(*this)
{
    child_.ProgramPath = programPath_;
    child_.Parameters = std::move(parameters);
}

clsChildTransport::~clsChildTransport()
{
    Close();
}

bool clsChildTransport::Start()
{
    return child_.Start();
}

void clsChildTransport::Close()
{
    child_.Kill();
    child_.Cancel(); // joins the reader thread
}

bool clsChildTransport::WriteLine(std::string_view text)
{
    if (!child_.ChildRunning()) return false;
    std::string line(text);
    line += '\n';
    return child_.WriteToChild(line);
}

bool clsChildTransport::ReadLine(std::string& line, std::int64_t& arrival)
{
    line = child_.GetLine(arrival);
    return !line.empty();
}

} // namespace drnChess
