#include <vu/vu0.h>

// Plain memory, zero at start-up like the hardware's after reset.  Nothing in
// the stand-in reads it; it exists so the game's layouts have a home.
alignas(16) u64 vu0_micro[VU0_MICRO_INSTRUCTIONS];
u128 vu0_data[VU0_DATA_QUADWORDS];
