// The sound device library as the I/O processor's modules see it: the SPU2's
// 48 voices (two cores of 24), its mixer and transfers between IOP memory
// and the 2 MiB sound RAM.  Needs the "libsd" module.
//
// Every entry names a register with an id: a voice register's id is
// (voice in core << 1) | core | register, a core register's or switch's id
// is register | core.  Voice v of 0..47 is core v / 24, voice v % 24.
// Switches take a 24-bit mask of a core's voices (bit i = voice i).
// Addresses are byte addresses in sound RAM.
#pragma once

#include "ee/types.h"

#define SD_CORE_0 0
#define SD_CORE_1 1
// The id bits of voice `v` (0..23) of core `core`.
#define SD_VOICE(core, v) ((((v) & 0x1F) << 1) | ((core) & 1))

// Voice parameters (sceSdSetParam / sceSdGetParam), 16 bits each.
#define SD_VP_VOLL 0x0000   // left volume: bit 15 clear, bits 14-0 half the signed level (0x3FFF full)
#define SD_VP_VOLR 0x0100   // right volume, likewise
#define SD_VP_PITCH 0x0200  // 0x1000 plays the sample at 48 kHz; 0..0x3FFF
#define SD_VP_ADSR1 0x0300  // attack mode, shift, step; decay shift; sustain level
#define SD_VP_ADSR2 0x0400  // sustain mode, direction, shift, step; release mode, shift
#define SD_VP_ENVX 0x0500   // the envelope's current level, 0..0x7FFF (read only)

// Core parameters (sceSdSetParam / sceSdGetParam).
#define SD_P_MMIX 0x0800   // mixer setting: bits 11/10 voices' dry mix left/right, 3/2 external input
#define SD_P_MVOLL 0x0980  // master volume left, fixed mode like the voice volumes
#define SD_P_MVOLR 0x0A80  // master volume right

// Switches (sceSdSetSwitch / sceSdGetSwitch), a 24-bit voice mask per core.
#define SD_S_KON 0x1500    // key on: the voices start from their start address
#define SD_S_KOFF 0x1600   // key off: the voices' envelopes enter their release
#define SD_S_ENDX 0x1700   // end flags: set when a voice leaves a block flagged loop end (read only)
#define SD_S_VMIXL 0x1900  // voices in the dry mix, left
#define SD_S_VMIXR 0x1B00  // voices in the dry mix, right

// Voice addresses (sceSdSetAddr / sceSdGetAddr), byte addresses.
#define SD_VA_SSA 0x2040   // start address, read at key-on (8-byte aligned)
#define SD_VA_NAX 0x2240   // current address: the block being played (read only)

#define SD_TRANS_MODE_WRITE 0  // IOP memory -> sound RAM
#define SD_TRANS_MODE_READ 1   // sound RAM -> IOP memory

#define SD_TRANS_STATUS_CHECK 0
#define SD_TRANS_STATUS_WAIT 1

// Resets both cores: voices off, volumes, mixer settings and switches 0,
// every voice's envelope registers set to ADSR1 0x000F, ADSR2 0x1FC0 (an
// instant attack to full level held until key-off, then the fastest
// release).  Sound RAM is kept.  Returns 0.
int sceSdInit(int flag);

// Voice and core parameters.  A key-on or any other change takes effect at
// the next 48 kHz output sample.  Unknown ids, voices above 23 and writes to
// read-only registers are reported and ignored (reads give 0).
void sceSdSetParam(u16 entry, u16 value);
u16 sceSdGetParam(u16 entry);

// Switches.  Reading SD_S_KON or SD_S_KOFF gives the mask last written.
void sceSdSetSwitch(u16 entry, u32 value);
u32 sceSdGetSwitch(u16 entry);

// Voice addresses.
void sceSdSetAddr(u16 entry, u32 value);
u32 sceSdGetAddr(u16 entry);

// Starts a transfer of `size` bytes on DMA channel 0 or 1 between IOP memory
// at `iop_addr` and sound RAM at byte address `spu_addr`.  It completes after
// size / --spu-xfer-mbps.  Returns `size`, or a negative value when the
// channel is busy or the arguments are bad.
int sceSdVoiceTrans(s16 channel, u16 mode, u8* iop_addr, u32 spu_addr, u32 size);

// SD_TRANS_STATUS_CHECK: 0 while the channel's transfer runs, 1 when it is
// done (or none was started).  SD_TRANS_STATUS_WAIT: waits for it and returns
// 1; the library polls the DMA, so the calling thread keeps the processor.
u32 sceSdVoiceTransStatus(s16 channel, s16 flag);
