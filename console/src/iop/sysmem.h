// IOP memory management: the 2 MiB of IOP RAM at 0x24000000, of which the
// top --iop-free-kib (default 1,664 KiB, 0x1A0000 bytes) is free after a
// reboot; the rest stands for the kernel and the boot modules.  Blocks are
// 64-byte aligned and taken first fit.  The IOP's AllocSysMemory family and
// the EE's sceSif*IopHeap calls share this one heap.
#pragma once

#include <cstdint>

namespace console::iop {

// mode: ALLOC_FIRST, ALLOC_LAST or ALLOC_ADDRESS (<iop/kernel.h>).  Null when
// nothing fits or the request is malformed.
void* AllocIopMemory(int mode, uint32_t size, void* at);

// 0, or -1 when `p` is not the start of an allocated block.
int FreeIopMemory(void* p);

uint32_t MaxFreeIopMemory();
uint32_t TotalFreeIopMemory();

// Bytes allocated now (tests, reports).
uint32_t UsedIopMemory();

// The lowest address of the free area after a reboot.
uintptr_t IopHeapBase();

}  // namespace console::iop
