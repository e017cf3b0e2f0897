#include "app/tune.h"
#include <cstdio>
namespace drnChess {
int RunTune(const dranbase::clsStrings&) { std::fprintf(stderr, "tune: not yet\n"); return 1; }
}
