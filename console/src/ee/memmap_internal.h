// The stand-in's view of the main processor's memory map: fixed mappings and
// the classification of addresses that DMA may touch.
#pragma once

#include <cstddef>
#include <cstdint>

namespace console {

enum class Region {
    kInvalid,     // stack, shared libraries, unmapped: never a DMA address
    kProgram,     // the program image (code, data, bss)
    kHostHeap,    // the host's heap below the current break
    kEeArena,     // the game's heap arena
    kScratchpad,  // the 16 KiB scratchpad at 0x70000000
    kIopRam,      // the I/O processor's 2 MiB
};

// Maps `size` bytes of zeroed memory at exactly `address`, refusing to replace
// an existing mapping.  A failure stops start-up with a message naming `what`.
void MapFixed(uintptr_t address, size_t size, const char* what);

// The region `size` bytes starting at `p` lie in, or kInvalid when they are not
// wholly inside one known region.
Region ClassifyAddress(const void* p, size_t size = 1);
const char* RegionName(Region region);

// Host pointers of the fixed regions.
uint8_t* ScratchpadBase();
uint8_t* IopRamBase();
size_t EeArenaSize();

}  // namespace console
