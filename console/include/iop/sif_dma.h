// The SIF DMA transfer record, the same on both processors.
#pragma once

#include "ee/types.h"

// One transfer: `size` bytes from `data` on the sending processor to `addr`
// on the other.  Addresses are host pointers stored as 32-bit words.
struct sceSifDmaData
{
    u32 data;  // source address
    u32 addr;  // destination address
    u32 size;  // bytes
    u32 mode;  // attributes (none are modelled)
};
static_assert(sizeof(sceSifDmaData) == 16);
