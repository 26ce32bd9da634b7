// The main processor's side of the SIF: remote calls to the I/O processor,
// SIF DMA, the IOP heap, IOP reboot and module loading, and the EE-side disc
// library start-up calls.  Requests and replies each take --sif-latency-us
// (20 us) to cross; SIF DMA takes 2 us + size / 100 MB/s.  Everything sent
// toward the IOP arrives in the order it was sent.
#pragma once

#include "ee/types.h"
#include "iop/module_image.h"
#include "iop/sif_dma.h"

// sceSifCallRpc / sceSifBindRpc mode bit: return at once; the reply lands
// later and the end function runs in interrupt context.
#define SIF_RPCM_NOWAIT 0x01

typedef void (*sceSifEndFunc)(void* param);

struct sceSifServeData;

// A client record.  Zero it before the first bind.
struct sceSifClientData
{
    u32 server_id;
    sceSifServeData* serve;  // non-null once a bind found the server registered
    volatile u32 busy;       // a call (or bind) is in flight
    u32 console_call;        // the stand-in's id of the call in flight
};

// Readies the client side.  Call before binding (again after a reboot).
void sceSifInitRpc(unsigned int mode);

// Resets the I/O processor with the update image `image` (for example
// "cdrom0:\\DIR\\IOPRP.IMG;1"): module threads end, servers, the IOP heap,
// loaded modules and sound RAM are cleared.  A missing image only gives a
// warning.  Returns non-zero when the reboot was accepted.
int sceSifRebootIop(const char* image);

// 0 while the reboot is still in progress (--iop-sync-polls polls), then 1.
int sceSifSyncIop();

// The IOP heap seen from the main processor: 64-byte aligned blocks of IOP
// memory.  Alloc returns null when nothing fits; Free returns 0 or -1.
int sceSifInitIopHeap();
void* sceSifAllocIopHeap(unsigned int size);
int sceSifFreeIopHeap(void* p);

// Loads the module whose placeholder image lies in IOP memory at `iop_addr`
// (put there by SIF DMA) and runs its start function in a new IOP thread
// (priority 8); waits for the start function.  `arglen` bytes of `args` are
// its NUL-separated arguments.  Returns the module id, or a negative value
// for an unknown image or a module that does not stay resident.
int sceSifLoadModuleBuffer(const void* iop_addr, int arglen, const char* args);

// SIF DMA from main memory to IOP memory: queues `len` records and returns a
// transfer id, or 0 when the queue is full.  The data lands in submission
// order, before any request sent after it.
unsigned int sceSifSetDma(sceSifDmaData* sdd, int len);

// >= 0 while transfer `id` is in progress, < 0 once it has landed.
int sceSifDmaStat(unsigned int id);

// Asks for server `id`.  cd->serve is non-null afterwards when the server
// was registered when the request reached the IOP; callers retry until it
// is.  Negative only for a null record or a bind while a call is in flight.
int sceSifBindRpc(sceSifClientData* cd, unsigned int id, unsigned int mode);

// Calls function `fno` of the bound server.  `ssize` bytes of `send` are
// copied at the call; `rsize` bytes of the server's reply land in `recv`.
// Without SIF_RPCM_NOWAIT the call waits for the reply.  With it, the call
// returns at once and stays in flight (sceSifCheckStatRpc) until the reply
// has landed and `end(end_param)` has run in interrupt context, at a later
// safe point with interrupts enabled.  Returns 0, or negative on misuse.
int sceSifCallRpc(sceSifClientData* cd, unsigned int fno, unsigned int mode, void* send, int ssize, void* recv,
                  int rsize, sceSifEndFunc end, void* end_param);

// 1 while a call (or bind) of `cd` is in flight, else 0.
int sceSifCheckStatRpc(sceSifClientData* cd);

// Host file system reset after a reboot: nothing to do here.
int sceFsReset();

// EE-side disc library start-up: both return 1.
#define SCECdINIT 0x00
#define SCECdCD 1
#define SCECdDVD 2
int sceCdInit(int mode);
int sceCdMmode(int media);

// The platform's module images (serial bus manager, pad manager, sound
// device library), held in the program's data: at least the 6,553, 44,917
// and 28,573 bytes the start-up passes, rounded up to whole quadwords.
extern unsigned char sio2man[6560];
extern unsigned char padman[44928];
extern unsigned char libsd[28576];
