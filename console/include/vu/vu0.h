// Vector unit 0's memories.  VU0 is not a machine here: its routines are the
// game's C++ functions, called directly.  The memories stay, as plain arrays,
// because the game lays data out in them (the occlusion test's edge list) and
// uploads placeholder program images into micro memory (slot format as in
// <vu/vu1.h>, the library image under program id 0x10, custom code from byte
// 0x778).
#pragma once

#include "ee/types.h"

constexpr u32 VU0_MICRO_INSTRUCTIONS = 512;  // 4 KiB of 64-bit slots
constexpr u32 VU0_DATA_QUADWORDS = 256;      // 4 KiB

// Micro memory: slot i is byte address 8 * i.
extern u64 vu0_micro[VU0_MICRO_INSTRUCTIONS];
// Data memory: quadword i is byte address 16 * i.
extern u128 vu0_data[VU0_DATA_QUADWORDS];
