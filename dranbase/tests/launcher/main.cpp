// For the child-process tests: starts the program given on the command line as our child,
// prints its process id, then waits until it is killed. The test kills this launcher with
// SIGKILL and checks that the child does not outlive it.

#include <cstdio>
#include <string>

#include "dranbase/clsredirectedchild.h"
#include "dranbase/clsthread.h"

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    dranbase::clsRedirectedChild child;
    child.ProgramPath = argv[1];
    for (int i = 2; i < argc; ++i)
        child.Parameters += std::string(i > 2 ? " " : "") + argv[i];
    if (!child.Start()) {
        std::printf("error %s\n", child.StartError().c_str());
        return 1;
    }
    std::printf("%d\n", static_cast<int>(child.ChildPid()));
    std::fflush(stdout);
    for (;;)
        dranbase::SleepMs(1000);
}
