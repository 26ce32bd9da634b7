// The main processor's memory as the game sees it.  The game's heap arena, the
// I/O processor's RAM and the 16 KiB scratchpad are real mappings at fixed
// addresses, made before any static initialiser runs, so the game's literal
// scratchpad addresses work unchanged and pointers repeat from run to run.
#pragma once

#include "ee/types.h"

// Physical and uncached views are the same memory on this host: both are the
// identity, kept so the game's code states which view it means.
#define EE_PHYS(p) (p)
#define EE_UNCACHED(p) (p)

constexpr u32 EE_SPR_BASE = 0x70000000u;
constexpr u32 EE_SPR_SIZE = 16 * 1024;
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's 32-bit shadow occupies 0x20000000..0x3fffffff, so a
// sanitised build maps the arena and the IOP RAM in the application memory
// above it instead.
constexpr u32 EE_ARENA_BASE = 0x50000000u;
constexpr u32 IOP_RAM_BASE = 0x54000000u;
#else
constexpr u32 EE_ARENA_BASE = 0x20000000u;
constexpr u32 IOP_RAM_BASE = 0x24000000u;
#endif
constexpr u32 IOP_RAM_SIZE = 2 * 1024 * 1024;

// Bounds of the arena the game's own heap manages (32 MiB unless configured
// with --ee-heap-mib or CONSOLE_EE_HEAP_MIB).  Valid from before main.
void* ee_heap_arena_begin();
void* ee_heap_arena_end();

// A busy wait of N empty loop iterations: a safe point that advances the
// virtual clock by N bus cycles.
void ee_spin(u32 n);
