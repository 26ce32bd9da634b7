// The image decoder (IPU) as the game reaches it: its registers IPU_CMD and
// IPU_CTRL (DPUT_/DGET_ in <ee/regs.h>), DMA channels 3 (decoded macroblocks
// into memory) and 4 (bitstream in) of <ee/dma.h>, and the wait below.
#pragma once

#include "ee/types.h"

// One decoded macroblock: 16 x 16 pixels in raster order.
// RGB32: bytes R, G, B, A per pixel (A is 0x80).
struct sceIpuRGB32
{
    u8 c[16][16][4];
};
static_assert(sizeof(sceIpuRGB32) == 1024);

// RGB16: R in bits 0-4, G 5-9, B 10-14, A in bit 15 (set).
struct sceIpuRGB16
{
    u16 c[16][16];
};
static_assert(sizeof(sceIpuRGB16) == 512);

// Mode 0: waits until the IPU's command has finished, running the machine,
// and returns 0 (-1 when it can never finish: a deadlock diagnostic names
// the IPU's state).  Mode 1: a polling call that returns non-zero while a
// command runs.  `timeout` is not used.
int sceIpuSync(int mode, u16 timeout = 0);
