#pragma once
// Short client pauses for tests against our scripted engine; the default pauses are exercised
// with the real peers.

#include "tourney/clsengineinterface.h"

namespace drnChess {

inline clsClientTiming FastTiming()
{
    clsClientTiming t;
    t.SendDelayMs = 2;
    t.StartDelayMs = 0;
    t.HandshakeMs = 5000;
    t.FeatureWaitMs = 300;
    t.QuitGraceMs = 200;
    return t;
}

} // namespace drnChess
