// The main processor's kernel calls the game uses: console output, cache
// maintenance and the interrupt controller.
#pragma once

#include "ee/types.h"

// Writes formatted text to the console (standard output here, line-buffered,
// and kept in a capture that tests read).
int scePrintf(const char* fmt, ...) __attribute__((format(__printf__, 1, 2)));

// Host memory is coherent: flushing the data cache is a compiler barrier.
void FlushCache(int operation);

// Debugger stub start-up; nothing to do on this host.
void snDebugInit();

// A compiler barrier where the console code synchronises its pipeline.
#define EE_SYNC() __asm__ __volatile__("" ::: "memory")
