// The sound device library as the I/O processor's modules see it: transfers
// between IOP memory and the 2 MiB sound RAM.  Needs the "libsd" module.
#pragma once

#include "ee/types.h"

#define SD_TRANS_MODE_WRITE 0  // IOP memory -> sound RAM
#define SD_TRANS_MODE_READ 1   // sound RAM -> IOP memory

#define SD_TRANS_STATUS_CHECK 0
#define SD_TRANS_STATUS_WAIT 1

// Starts a transfer of `size` bytes on DMA channel 0 or 1 between IOP memory
// at `iop_addr` and sound RAM at byte address `spu_addr`.  It completes after
// size / --spu-xfer-mbps.  Returns `size`, or a negative value when the
// channel is busy or the arguments are bad.
int sceSdVoiceTrans(s16 channel, u16 mode, u8* iop_addr, u32 spu_addr, u32 size);

// SD_TRANS_STATUS_CHECK: 0 while the channel's transfer runs, 1 when it is
// done (or none was started).  SD_TRANS_STATUS_WAIT: waits for it and returns
// 1; the library polls the DMA, so the calling thread keeps the processor.
u32 sceSdVoiceTransStatus(s16 channel, s16 flag);
