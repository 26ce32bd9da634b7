// Quadwords of the microcode's command blocks for tests: a command word names
// its routine (address / 8) in the low 16 bits of w; the other words are
// integer or float operands.
#pragma once

#include <ee/types.h>

#include <cstring>

namespace mc2test {

inline u32 Bits(float f)
{
    u32 b;
    std::memcpy(&b, &f, 4);
    return b;
}

inline u128 Q4(u32 x, u32 y, u32 z, u32 w)
{
    u128 q;
    const u32 v[4] = {x, y, z, w};
    std::memcpy(&q, v, 16);
    return q;
}

inline u128 Cmd(u32 routine, u32 x = 0, u32 y = 0, u32 z = 0) { return Q4(x, y, z, routine / 8); }
inline u128 Vec(float x, float y, float z, float w = 0) { return Q4(Bits(x), Bits(y), Bits(z), Bits(w)); }
// A float quadword whose w carries the routine in its low 16 bits.
inline u128 CmdF(u32 routine, float x, float y, float z, float w)
{
    return Q4(Bits(x), Bits(y), Bits(z), (Bits(w) & 0xFFFF0000u) | routine / 8);
}

}  // namespace mc2test
