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

// The "EI" a handler ends with: a compiler barrier only, since the dispatcher
// restores the interrupt state when the handler chain returns.
#define EE_EI_IN_HANDLER() __asm__ __volatile__("" ::: "memory")

// Interrupt causes 0 to 14 of the interrupt controller (2: vertical-blank
// start, 5: VIF1).  Handlers run as handler(cause) with interrupts disabled,
// never nested, in list order; a handler returning 0 ends its cause's chain.
//
// Adds a handler to a cause's list: next 0 puts it at the head, -1 at the
// tail.  Returns the handler's id, or -1 for a bad cause or position.
int AddIntcHandler(int cause, int (*handler)(int), int next);

// Removes a handler by the id AddIntcHandler returned.  Returns 0, or -1 when
// the cause has no such handler.
int RemoveIntcHandler(int cause, int handler_id);

// Unmasks or masks a cause.  A masked cause stays pending and is delivered
// once it is enabled.  Returns 1 if the mask changed, 0 if it was already so,
// -1 for a bad cause.
int EnableIntc(int cause);
int DisableIntc(int cause);

// Disables or enables interrupts on the main processor; both return the
// previous state (1 enabled, 0 disabled).  Interrupts that became pending
// while disabled are delivered inside EIntr before it returns.
int DIntr();
int EIntr();
