// The SIF as the I/O processor's modules see it: the remote-call server and
// SIF DMA toward the main processor.  The calls that also exist on the main
// processor have their own link names here (iop_...); <iop/prelude.h> maps
// the console's names onto them.
#pragma once

#include "ee/types.h"
#include "iop/sif_dma.h"

// A server function: gets the function number and the request data (copied
// into the server's receive buffer) and returns the buffer the reply is taken
// from.
typedef void* (*sceSifRpcFunc)(int fno, void* data, int size);

struct sceSifQueueData;

// One registered server.  Filled in by sceSifRegisterRpc.
struct sceSifServeData
{
    u32 id;
    sceSifRpcFunc func;
    void* buff;
    sceSifRpcFunc cfunc;
    void* cbuff;
    sceSifQueueData* base;
    sceSifServeData* next;  // the next server on the same queue
};

// A queue of requests served by one thread.  Filled in by sceSifSetRpcQueue.
struct sceSifQueueData
{
    int thread_id;
    sceSifServeData* link;  // the first server registered on this queue
    u32 console_slot;       // the stand-in's bookkeeping
};

// sceSifGetOtherData's record (nothing of it is used here).
struct sceSifReceiveData
{
    u32 reserved[4];
};

// Readies the server side (bookkeeping only).
void iop_sceSifInitRpc(int mode);

// Makes `q` the request queue of thread `thread_id` (normally the caller).
void sceSifSetRpcQueue(sceSifQueueData* q, int thread_id);

// Registers server `id` on queue `q`; from now on binds to `id` succeed.
// Requests are copied into `buff` before `func` runs, so `buff` must hold the
// largest request the clients send.
void sceSifRegisterRpc(sceSifServeData* sd, u32 id, sceSifRpcFunc func, void* buff, sceSifRpcFunc cfunc,
                       void* cbuff, sceSifQueueData* q);

// Serves the queue's requests forever, in order of arrival; waits (TSW_RPC)
// while none is pending.  Each reply travels back after --sif-latency-us.
[[noreturn]] void sceSifRpcLoop(sceSifQueueData* q);

// Copies `size` bytes of main memory at `src` to IOP memory at `dest` by SIF
// DMA.  Mode 0 waits for the transfer (TSW_SIF); other modes return at once.
// Returns 0, or a negative value for bad arguments.
int sceSifGetOtherData(sceSifReceiveData* rd, void* src, void* dest, int size, int mode);

// SIF DMA from IOP memory to main memory: queues `len` records and returns a
// transfer id, or 0 when the queue is full (try again later).  The data lands
// after 2 us + size / 100 MB/s (configurable), in submission order.
u32 iop_sceSifSetDma(sceSifDmaData* sdd, int len);

// >= 0 while transfer `id` is in progress, < 0 once it has landed.
int iop_sceSifDmaStat(u32 id);
