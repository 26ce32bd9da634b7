// The I/O processor's kernel as its modules see it: threads, semaphores,
// delays, critical sections, the system clock and memory.  Modules include
// <iop/prelude.h> first, which includes this header.
//
// Threads run one at a time under the stand-in's scheduler and switch only
// inside these calls: a call that readies a thread of higher priority (lower
// number) hands over to it before returning, and nothing preempts a thread
// between calls.  Each call costs a little IOP time (--iop-call-us).
#pragma once

#include "ee/types.h"

// Results: 0, or a positive id, on success; a negative KE_ code on failure.
enum {
    KE_OK = 0,
    KE_ERROR = -1,
    KE_ILLEGAL_CONTEXT = -100,  // a blocking call outside an IOP thread
    KE_CPUDI = -102,            // CpuSuspendIntr while already suspended
    KE_NO_MEMORY = -400,
    KE_ILLEGAL_ENTRY = -402,
    KE_ILLEGAL_PRIORITY = -403,
    KE_ILLEGAL_THID = -406,
    KE_UNKNOWN_THID = -407,
    KE_UNKNOWN_SEMID = -408,
    KE_DORMANT = -413,
    KE_NOT_DORMANT = -414,
    KE_SEMA_ZERO = -419,
    KE_SEMA_OVF = -420,
    KE_ILLEGAL_SEMA = -422,
    KE_WAIT_DELETE = -425,
};

// Thread attributes (accepted, not interpreted).
#define TH_C 0x02000000

// Priorities run from 1 (highest) to 126 (lowest).
#define IOP_HIGHEST_PRIORITY 1
#define IOP_LOWEST_PRIORITY 126

// ReferThreadStatus: thread states.
#define THS_RUN 0x01
#define THS_READY 0x02
#define THS_WAIT 0x04
#define THS_DORMANT 0x10

// ReferThreadStatus: what a waiting thread waits for.  RPC, CD and SIF waits
// are the stand-in's own names for the system libraries' waits.
#define TSW_SLEEP 1
#define TSW_DELAY 2
#define TSW_SEMA 3
#define TSW_RPC 8   // sceSifRpcLoop waiting for a request
#define TSW_CDVD 9  // sceCdSync(0) waiting for the drive
#define TSW_SIF 10  // sceSifGetOtherData waiting for its transfer

// Thread id 0 means the calling thread where an id is taken.
#define TH_SELF 0

struct iop_thread_t
{
    u32 attr;
    u32 option;
    void (*thread)(void* arg);  // entry; returning from it ends the thread
    u32 stacksize;              // host stacks are at least 256 KiB whatever is asked
    u32 priority;
};

struct iop_thread_info_t
{
    u32 attr;
    u32 option;
    int status;  // THS_*
    void (*entry)(void* arg);
    u32 stackSize;
    int initPriority;
    int currentPriority;
    int waitType;  // TSW_* while status is THS_WAIT, else 0
    int waitId;    // the semaphore id for TSW_SEMA
    int wakeupCount;
};

struct iop_sema_t
{
    u32 attr;
    u32 option;
    int initial;
    int max;
};

// IOP system clock: a 64-bit count of IOP cycles (36.864 MHz).
struct iop_sys_clock_t
{
    u32 lo;
    u32 hi;
};

// Threads.  CreateThread returns a thread id (dormant until started).
// StartThread readies a dormant thread with `arg` for its entry.  ExitThread
// ends the calling thread (dormant, restartable); ExitDeleteThread also
// removes it.  DeleteThread removes a dormant thread.
int CreateThread(iop_thread_t* param);
int StartThread(int thid, void* arg);
[[noreturn]] void ExitThread();
[[noreturn]] void ExitDeleteThread();
int DeleteThread(int thid);
int GetThreadId();
int ReferThreadStatus(int thid, iop_thread_info_t* info);

// Sleeping: WakeupThread on a thread that is not sleeping counts a wake-up
// that its next SleepThread consumes at once.
int SleepThread();
int WakeupThread(int thid);
int iWakeupThread(int thid);

// Blocks the calling thread for `usec` microseconds of IOP time exactly.
int DelayThread(int usec);

// Counting semaphores; waiters are served first come, first served.  The i-
// form does not hand over: the readied thread runs when the caller next
// blocks, leaves its critical section or makes another kernel call.
int CreateSema(iop_sema_t* param);
int DeleteSema(int semid);  // waiters return KE_WAIT_DELETE
int SignalSema(int semid);
int iSignalSema(int semid);
int WaitSema(int semid);
int PollSema(int semid);  // KE_SEMA_ZERO instead of waiting

// Critical sections.  Threads never switch between kernel calls, so a
// section is atomic by construction; blocking inside one is reported as an
// error.  `state` receives what CpuResumeIntr restores.
int CpuSuspendIntr(int* state);
int CpuResumeIntr(int state);

// The system clock.
void GetSystemTime(iop_sys_clock_t* clock);
void SysClock2USec(iop_sys_clock_t* clock, u32* sec, u32* usec);
void USec2SysClock(u32 usec, iop_sys_clock_t* clock);

// IOP memory (2 MiB at 0x24000000, of which --iop-free-kib is free after a
// reboot): 64-byte aligned blocks.
#define ALLOC_FIRST 0    // lowest free block that fits
#define ALLOC_LAST 1     // highest free block that fits, taken from its top
#define ALLOC_ADDRESS 2  // exactly at `ptr`
void* AllocSysMemory(int mode, int size, void* ptr);
int FreeSysMemory(void* ptr);
int QueryMaxFreeMemSize();
int QueryTotalFreeMemSize();

// A busy wait of N empty loop iterations (two IOP cycles each by default).
void iop_spin(u32 n);

// The IOP's console output, tagged "IOP: " at the start of each line.
// <iop/prelude.h> maps printf onto it.
int iop_printf(const char* fmt, ...) __attribute__((format(__printf__, 1, 2)));
