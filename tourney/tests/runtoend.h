#pragma once
// Runs a tournament of the tests to its end with short client pauses, its console output
// swallowed.

#include <chrono>

#include <gtest/gtest.h>

#include "tourney/clstourney.h"
#include "tourney/tests/fasttiming.h"
#include "tourney/tests/test_referee_support.h"

namespace drnChess {

// False when the tournament could not start or did not end within `limit`.
inline bool RunToEnd(clsTourney& tourney, std::chrono::seconds limit = std::chrono::seconds(300))
{
    tourney.Timing = FastTiming();
    testing::internal::CaptureStdout();
    if (!tourney.Start()) {
        testing::internal::GetCapturedStdout();
        return false;
    }
    const bool ended = testsupport::WaitFor([&] { return !tourney.IsRunning(); }, limit);
    tourney.Wait();
    testing::internal::GetCapturedStdout();
    return ended;
}

} // namespace drnChess
