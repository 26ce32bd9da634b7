// The SIF between the main processor and the I/O processor: two ordered
// channels (toward the IOP and toward the EE) carrying remote-call requests,
// replies, module-load requests and SIF DMA.  Whatever is sent in one
// direction arrives in the order it was sent; a request takes
// --sif-latency-us, a DMA 2 us + size / 100 MB/s (--sif-dma-us,
// --sif-dma-mbps).
#pragma once

#include <cstdint>
#include <string>

#include <iop/sif_dma.h>

#include "core/scheduler.h"

namespace console::sif {

enum class Direction { kToIop, kToEe };

// When an item sent now in `dir` and taking `duration` arrives: now +
// duration, but never before an item sent earlier in the same direction.
Cycles DeliveryTime(Direction dir, Cycles duration);

// The request/reply latency in bus cycles.
Cycles Latency();

// Queues the `n` records of one SIF DMA transfer.  Returns its id, or 0 when
// `dir`'s queue is full.  Records with addresses outside the memory the DMA
// may touch are reported and skipped.  `end` receives the landing time.
uint32_t StartDma(Direction dir, const sceSifDmaData* records, int n, const char* caller, Cycles* end = nullptr);

// Lands every transfer whose time has come, then tells whether `id` is still
// in progress.  Status is a matter of time, so a thread polling it in a busy
// loop (whose kernel calls advance the clock) sees it end.
bool DmaInProgress(uint32_t id);
void LandDueDma();

// The state of transfers and calls in flight, for reports.
std::string ChannelReport();

}  // namespace console::sif
