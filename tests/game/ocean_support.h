// The ocean as a program finds it before its first draw: every wave and
// wave time 0 and the vertex arrays clear, so a test drawing the sea sees
// the first frame's waves whatever drew the sea before it in the process.
#pragma once

#include <cstring>

#include "game/Water.h"

namespace oceantest {

inline void FreshOcean()
{
    std::memset(static_cast<void*>(&waves), 0, sizeof waves);
    std::memset(static_cast<void*>(MC2Water_Pos), 0, sizeof MC2Water_Pos);
    std::memset(MC2Water_Normal, 0, sizeof MC2Water_Normal);
    std::memset(MC2Water_Col, 0, sizeof MC2Water_Col);
    std::memset(MC2Water_ST, 0, sizeof MC2Water_ST);
}

}  // namespace oceantest
