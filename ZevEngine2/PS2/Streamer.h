// The disc streamer, main-processor side: the only way the game reads files.
//
// Every call becomes one remote call to the streaming module on the I/O
// processor (server 0x1776).  The client mirrors the module's channels in 64
// virtual file descriptors, so that a stream's position, length and the bytes
// still on their way are answered without a round trip.  There is one call
// record and one reply word, so at most one call is in flight: every call first
// waits for the previous one to complete.
#pragma once

#include "ZevEngine2/Zev.h"

// Marker flags of a transfer into sound RAM (the module's sndmarkerflags).
enum {
    STREAMER_SNDMARKER_NORMAL = 0,
    STREAMER_SNDMARKER_START = 1,
    STREAMER_SNDMARKER_END = 2,
    STREAMER_SNDMARKER_STOPATEOF = 4,
    STREAMER_SNDMARKER_NOSTART = 8,
    STREAMER_SNDMARKER_NOEND = 16,
};

// Seek modes.
enum {
    STREAMER_SEEK_SET = 0,   // from the start of the file
    STREAMER_SEEK_CUR = 1,   // from the position after the reads already requested
    STREAMER_SEEK_END = 2,   // from the end of the file
};

constexpr int STREAMER_MAX_FILES = 64;

// One descriptor of the client's table.  Read and written only through the
// uncached view, and volatile: the end functions of asynchronous calls write
// it from interrupt context.
struct VirtualFileDescriptor {
    int iopfd;              // module channel; -2 while an asynchronous open is in flight, -1 closed or failed
    u32 fp;                 // file position after the reads already requested
    u32 len;                // file length
    int pending;            // bytes still to arrive, as last reported or as added since
    int needstatus;         // a status request is wanted but was put off
    u32 statusrequesttime;  // Platform::Count() of the last status request or deferral
};
static_assert(sizeof(VirtualFileDescriptor) == 24, "descriptor layout");

// Loads the streaming module, binds its server and initialises it (once per
// run; later calls return true at once).  False when the module cannot be
// loaded, bound or initialised.
int StreamerInit();

// Opens a file of the disc archive by path, the position set to offset.
// StreamerOpen waits for the answer and returns the descriptor or -1;
// StreamerCreate returns the descriptor at once (-1 when all 64 are in use) and
// the open completes in the background: a failed one leaves the descriptor
// allocated, answering -1, until it is closed.
int StreamerOpen(const char* filename, int offset);
int StreamerCreate(const char* filename, int offset);

// Asks for the next size bytes (clipped at the end of the file) to be
// delivered to main memory at addr, or to sound RAM at addr with marker flags.
// Returns at once with the number of bytes asked for, or -1 when the
// descriptor is not open.
int StreamerTransfer(int streamnum, void* addr, int size);
int StreamerTransferSound(int streamnum, u32 addr, int size, int flags);

// The file's length, or -1 when the descriptor is not open.
int StreamerTotalLength(int streamnum);

// Moves the position (a mode above); waits for the answer and returns the new
// position, or -1 when the descriptor is not open.
int StreamerSeek(int streamnum, int offset, int seekmode);

// Bytes still to arrive on the stream; 0 or less when nothing is on its way
// (-1 at the end of the file, or when the descriptor is not open).  With sync
// the call waits until the module has delivered everything.  Without it the
// cached count is returned and a status request is sent now or later, rate
// limited; every call first tests for a call in flight, so a polling loop
// always reaches a safe point.
int StreamerBytesPending(int streamnum, bool sync);

// True once an open was refused because the disc's archive is damaged (the
// module has said how, once, and refuses every open from then on).
bool StreamerArchiveDamaged();

// Drops the stream's queued reads (asynchronous).  -1 when not open, else 0.
int StreamerStop(int streamnum);

// Closes the stream (waiting until the module has finished with it) and frees
// the descriptor.  Closing a free descriptor changes nothing.
int StreamerClose(int streamnum);

// True while a call is in flight.
bool StreamerIsBusy();

// When no call is in flight, sends the status request that a descriptor has
// put off, looking at descriptor numbers below the count of descriptors in
// use, lowest first; true when one was sent.
bool DispatchWaitingStatusRPCCalls();

// The descriptor table and its free stack: the first numvfdsallocated entries
// of vfdsallocated are the descriptors in use.
extern volatile VirtualFileDescriptor cached_vfds[STREAMER_MAX_FILES];
extern int vfdsallocated[STREAMER_MAX_FILES];
extern int numvfdsallocated;

// Start-up state: the module is loaded and bound, and its Init succeeded.
// Both hold for the rest of the run (tests that reboot the I/O processor
// clear them).
extern int irxloaded;
extern int initialized;
