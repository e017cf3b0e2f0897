#pragma once
// corvala -use=tune: fits the strong evaluation's weights to game results.

#include "dranbase/clsstring.h"

namespace drnChess {

// Reads the data, tunes, writes the weights (and the plot); returns the exit code.
int RunTune(const dranbase::clsStrings& options);

} // namespace drnChess
