#pragma once
// corvala -use=datagen: self-play data for tuning the strong evaluation.

#include "dranbase/clsstring.h"

namespace drnChess {

// Plays games until the file holds -games of them; returns the exit code.
int RunDatagen(const dranbase::clsStrings& options);

} // namespace drnChess
