// The DMA library: channel register blocks and the calls that start and wait
// for transfers.  Tags and data are addressed by host pointers (EE_PHYS is the
// identity); every address a transfer touches must lie in the program image,
// the game's heap arena or the scratchpad, or the transfer stops with a
// diagnostic.
#pragma once

#include "ee/regs.h"
#include "ee/types.h"

// Channel ids.
enum
{
    SCE_DMA_VIF0 = 0,
    SCE_DMA_VIF1 = 1,     // source chain to VIF1 (tag transfer honoured)
    SCE_DMA_GIF = 2,      // source chain to the GIF, PATH3 (tag transfer ignored)
    SCE_DMA_fromIPU = 3,  // decoded macroblocks into memory
    SCE_DMA_toIPU = 4,    // bitstream to the IPU input
    SCE_DMA_fromSIF0 = 5,
    SCE_DMA_toSIF1 = 6,
    SCE_DMA_SIF2 = 7,
    SCE_DMA_fromSPR = 8,  // scratchpad to memory, completes at once
    SCE_DMA_toSPR = 9,
};

// A channel's register block, laid out as the hardware's (one register per
// 16 bytes).  The structure is the channel's state: plain writes to it are
// seen when a transfer starts, and CHCR.STR reads 1 while a transfer runs.
struct sceDmaChan
{
    tD_CHCR chcr;
    u32 p0[3];
    void* madr;  // normal mode: memory address; advances as data moves
    u32 p1[3];
    u32 qwc;     // quadwords left of the current block
    u32 p2[3];
    void* tadr;  // source chain: address of the next tag
    u32 p3[3];
    void* asr0;  // source chain: return addresses of CALL tags
    u32 p4[3];
    void* asr1;
    u32 p5[3];
    u32 p6[8];
    void* sadr;  // from-scratchpad channel: scratchpad offset (bits 4 to 13)
    u32 p7[3];
};
static_assert(sizeof(sceDmaChan) == 0x90, "channel block layout (32-bit pointers)");

// Source-chain tag: the 16-byte header of each block of a chain.
struct alignas(16) sceDmaTag
{
    u16 qwc;   // quadwords of data after the tag or at `next`
    u8 mark;
    u8 id;     // bits 4 to 6 the tag id (SCE_DMA_TAG_*), bit 7 the interrupt request
    u32 next;  // address of the data (REF, REFE, REFS) or the next tag (NEXT, CALL)
    u32 p[2];  // with tag transfer on channel 1: two VIF codes run before the data
};
static_assert(sizeof(sceDmaTag) == 16);

// Tag ids as written into the `id` byte.
enum : u8
{
    SCE_DMA_TAG_REFE = 0x00,  // data at next, then end
    SCE_DMA_TAG_CNT = 0x10,   // data after the tag, next tag after the data
    SCE_DMA_TAG_NEXT = 0x20,  // data after the tag, next tag at next
    SCE_DMA_TAG_REF = 0x30,   // data at next, next tag after this tag
    SCE_DMA_TAG_REFS = 0x40,  // as REF (no stall control here)
    SCE_DMA_TAG_CALL = 0x50,  // data after the tag, push the address after it, next tag at next
    SCE_DMA_TAG_RET = 0x60,   // data after the tag, next tag popped; an empty stack ends
    SCE_DMA_TAG_END = 0x70,   // data after the tag, then end
    SCE_DMA_TAG_IRQ = 0x80,   // with CHCR.TIE: end after this tag's data
};

// The register block of channel `id` (0 to 9); null with a diagnostic for any
// other id.
sceDmaChan* sceDmaGetChan(int id);

// Starts a source-chain transfer at `tag` (CHCR's TTE and TIE as the block
// holds them).  From the main context a busy channel is waited for first (with
// a warning); from an interrupt handler it is an error.  From the main context
// the transfer runs before the call returns, up to its first stall; from a
// handler it runs when the handler chain returns.
void sceDmaSend(sceDmaChan* chan, void* tag);

// Starts a normal-mode transfer of `qwc` quadwords (at most 0xFFFF) from
// memory at `addr` to the channel's peripheral.
void sceDmaSendN(sceDmaChan* chan, void* addr, int qwc);

// Starts a normal-mode transfer of `qwc` quadwords (at most 0xFFFF) from the
// channel's peripheral (or the scratchpad, channel 8) into memory at `addr`.
void sceDmaRecvN(sceDmaChan* chan, void* addr, int qwc);

// Mode 0: waits until the channel is idle, running the machine, and returns 0
// (-1 when the wait can never end; a deadlock diagnostic names the channel).
// Mode 1: a polling call (150 bus cycles) that returns non-zero while the
// channel is busy.  `timeout` is not used.
int sceDmaSync(sceDmaChan* chan, int mode, int timeout);
