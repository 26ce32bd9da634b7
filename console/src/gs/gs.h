// The graphics synthesizer as the rest of the stand-in reaches it: its local
// memory, the general-register file written by the GIF, host<->local image
// transfers, and reset.  Privileged registers (display) are reached through
// the register accessors instead (ee/regs_internal.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include <ee/types.h>

#include "gs/gsmem.h"

namespace console::gs {

// The 4 MiB local memory.
LocalMemory& Vram();

// Writes a general register (address 0x00..0x7F as in an A+D pair).  Vertex
// registers (XYZ2, XYZF2, XYZ3, XYZF3) queue a vertex and may draw.  The GIF
// has already turned PACKED data into register values.
void WriteRegister(u32 address, u64 value);

// The last value written to a general register (tests, store image).
u64 ReadRegister(u32 address);

// IMAGE-mode data of a host->local transfer.  Returns how many quadwords were
// taken: all of them while a transfer is active, else 0 (with a diagnostic).
size_t WriteImageData(const u128* data, size_t qwc);

// True while a host->local transfer still expects data.
bool ImageTransferActive();

// Local->host: fills `out` with the next `qwc` quadwords of an active
// local->host transfer (TRXDIR 1).  Returns the quadwords produced.
size_t ReadImageData(u128* out, size_t qwc);

// The fields whose pictures a front end keeps (dumps).  With
// --gs-pixels-for-kept the GS draws pixels only in the few fields leading up
// to each of them (a picture shows some fields after it is drawn); an empty
// function keeps none.
void SetKeptFields(std::function<bool(uint64_t field)> kept);

// Power-on state of the drawing side: registers cleared, queue empty.  Local
// memory keeps its contents unless `clear_memory`.
void ResetGs(bool clear_memory = false);

}  // namespace console::gs
