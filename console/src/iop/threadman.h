// The I/O processor's thread manager: IOP threads as host threads under one
// baton.  Exactly one context runs at a time: the EE main thread (which also
// runs every scheduled event) or one IOP thread.  The service loop's IOP step
// hands the baton to the highest-priority ready thread (FIFO among equals);
// the thread runs until it blocks or is preempted inside a kernel call and
// then hands the baton back.  With no preemption between kernel calls, the
// IOP's critical sections are atomic and simulated state needs no locks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/scheduler.h"

namespace console::iop {

// True on an IOP thread holding the baton.
bool OnIopThread();

// The calling IOP thread's id, 0 elsewhere.
int CurrentThreadId();

// Advances the clock by the cost of one kernel call when called from an IOP
// thread (calls from the EE context, such as a test setting things up, and
// from scheduled events cost nothing).
void ChargeCall();

// Hands over to a ready thread of higher priority than the caller, unless the
// caller is inside a critical section or not an IOP thread.
void Reschedule();

// True while the calling context is inside CpuSuspendIntr.
bool InCriticalSection();

// Waiting for a stand-in event.  BeginWait marks the calling thread waiting
// (wait type TSW_*, id) and returns a token; the waker passes the token to
// Wake, which readies the thread only if it still waits that same wait.
// FinishWait hands the baton back until then and returns Wake's result.
// Waiting inside a critical section is reported as an error.
uint64_t BeginWait(int wait_type, int wait_id);
int FinishWait();
void Wake(int thread_id, uint64_t token, int result);

// Waits until virtual time `when`: on an IOP thread by blocking (`wait_type`),
// in the EE main context by running the machine.  Returns false when the wait
// could not be made (reported).
bool WaitForTime(Cycles when, int wait_type, const char* what);

// Blocks the EE main context until `done` holds, running the machine.  When
// no IOP thread is ready and no IOP-side event is pending while `done` is
// still false, nothing can end the wait: the deadlock is reported with the
// state of every IOP thread and false returned.
bool WaitForIop(const char* what, const std::function<bool()>& done);

// Schedules an event of the IOP side (SIF traffic, delays, drive and
// transfer completions).  Pending ones count as "something may still happen"
// for the deadlock check; an event scheduled before a reboot is dropped.
EventId ScheduleIop(Cycles when, const char* name, std::function<void()> fn);

// Creates and starts a kernel-owned thread (the module loader's); it is
// removed when its entry returns.  Returns its id or a negative KE_ code.
int SpawnThread(void (*entry)(void*), void* arg, int priority, const char* role);

// Resets the IOP: ends every thread (unwinding its host stack), removes
// threads and semaphores, then runs the reboot hooks (SIF servers, memory,
// modules, sound RAM).  EE main context only.
void Reboot();
void RegisterRebootHook(const char* name, std::function<void()> hook);

// Every thread and semaphore, for deadlock and watchdog reports.
std::string ThreadReport();

}  // namespace console::iop
