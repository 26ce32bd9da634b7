// The disc streamer's client on the main processor.
#include "ZevEngine2/PS2/Streamer.h"

#include <ee/sif.h>

#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/iop/IOPStream.h"
#include "ZevEngine2/Utilities.h"

// The streaming module's image, held in the program and sent to the I/O
// processor by LoadIRX.
CONSOLE_MODULE_IMAGE(stmman, "ZevStreamer", 62929);

namespace {

constexpr u32 STREAM_BUFMEM = 0x80000;  // the module's buffer memory
constexpr u32 STREAM_CHANNELS = 15;     // streams the module is asked for

constexpr int OPENING = -2;  // iopfd while an asynchronous open is in flight

// The one client record, argument buffer and replies shared by every call.
sceSifClientData cd;
alignas(64) u32 streamargs[STREAM_ARGBUF_SIZE / 4];
alignas(64) volatile int streamret;
alignas(64) volatile int streamopenret[4];

}  // namespace

int irxloaded;
int initialized;

// Every descriptor starts closed; the free stack holds descriptor i at place i.
volatile VirtualFileDescriptor cached_vfds[STREAMER_MAX_FILES] = {
#define CLOSED_VFD {-1, 0, 0, 0, 0, 0}
#define CLOSED_VFD8 CLOSED_VFD, CLOSED_VFD, CLOSED_VFD, CLOSED_VFD, CLOSED_VFD, CLOSED_VFD, CLOSED_VFD, CLOSED_VFD
    CLOSED_VFD8, CLOSED_VFD8, CLOSED_VFD8, CLOSED_VFD8, CLOSED_VFD8, CLOSED_VFD8, CLOSED_VFD8, CLOSED_VFD8,
#undef CLOSED_VFD8
#undef CLOSED_VFD
};
int vfdsallocated[STREAMER_MAX_FILES] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
    22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
    44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63,
};
int numvfdsallocated;

namespace {

void SmallDelay()
{
    ee_spin(1000);
}

// Every call first waits for the one before it: there is a single client
// record and a single reply word.
void WaitForCall()
{
    while (sceSifCheckStatRpc(&cd))
        SmallDelay();
}

// The descriptor, through the uncached view the end functions also write; null
// for a number outside the table.
volatile VirtualFileDescriptor* Vfd(int streamnum)
{
    if (streamnum < 0 || streamnum >= STREAMER_MAX_FILES)
        return nullptr;
    return EE_UNCACHED(&cached_vfds[streamnum]);
}

void* Arg(int streamnum)
{
    return reinterpret_cast<void*>(intptr_t(streamnum));
}

int StreamNum(void* arg)
{
    return int(reinterpret_cast<intptr_t>(arg));
}

u32* Args()
{
    return EE_UNCACHED(streamargs);
}

// An open was refused because the module found the archive damaged.
bool archiveDamaged = false;

// End function of an open: the module's channel, position and length.
void StreamerOpenCallback(void* arg)
{
    volatile VirtualFileDescriptor* v = Vfd(StreamNum(arg));
    volatile int* reply = EE_UNCACHED(streamopenret);
    if (reply[0] < 0 && reply[1] == -1)
        archiveDamaged = true;
    v->iopfd = reply[0];
    v->fp = u32(reply[1]);
    v->len = u32(reply[2]);
    v->pending = 0;
    v->needstatus = 0;
}

// End function of a read or status request: the module's pending count (-1
// at the end of the file).
void StatusUpdateCallback(void* arg)
{
    volatile VirtualFileDescriptor* v = Vfd(StreamNum(arg));
    v->pending = *EE_UNCACHED(&streamret);
    v->needstatus = 0;
}

// Sends an asynchronous status request; the caller has waited for the
// previous call.
void SendStatusRequest(int streamnum, volatile VirtualFileDescriptor* v)
{
    u32* args = Args();
    args[0] = u32(v->iopfd);
    args[1] = 0;
    sceSifCallRpc(&cd, STREAMCMD_STATUS, SIF_RPCM_NOWAIT, args, 8, const_cast<int*>(&streamret), 4,
                  StatusUpdateCallback, Arg(streamnum));
    v->needstatus = 0;
    v->statusrequesttime = u32(Platform::Count());
}

int Open(const char* filename, int offset, bool wait)
{
    if (!initialized || filename == nullptr)
        return -1;
    if (numvfdsallocated >= STREAMER_MAX_FILES)
        return -1;
    size_t namelen = strlen(filename);
    if (namelen + 5 > sizeof(streamargs)) {
        printf("Streamer: file name too long: %.40s...\n", filename);
        return -1;
    }
    WaitForCall();
    int streamnum = vfdsallocated[numvfdsallocated++];
    volatile VirtualFileDescriptor* v = Vfd(streamnum);
    v->iopfd = OPENING;
    v->fp = u32(offset);
    v->len = 0;
    v->pending = 0;
    v->needstatus = 0;
    v->statusrequesttime = 0;

    u32* args = Args();
    args[0] = u32(offset);
    memcpy(args + 1, filename, namelen + 1);
    int sent = int(namelen + 5);
    if (wait) {
        sceSifCallRpc(&cd, STREAMCMD_OPEN, 0, args, sent, const_cast<int*>(streamopenret), 12, nullptr, nullptr);
        StreamerOpenCallback(Arg(streamnum));
    } else {
        sceSifCallRpc(&cd, STREAMCMD_OPEN, SIF_RPCM_NOWAIT, args, sent, const_cast<int*>(streamopenret), 12,
                      StreamerOpenCallback, Arg(streamnum));
    }
    return streamnum;
}

int Transfer(int streamnum, u32 addr, int size, int flags, bool sound)
{
    volatile VirtualFileDescriptor* v = Vfd(streamnum);
    if (!v)
        return -1;
    WaitForCall();
    if (v->iopfd < 0)
        return -1;
    int n = int(v->len - v->fp);
    if (size < n)
        n = size;
    if (n < 0)
        n = 0;
    u32* args = Args();
    args[0] = u32(v->iopfd);
    args[1] = addr;
    args[2] = u32(n);
    args[3] = u32(flags);
    if (v->pending < 0)
        v->pending = 0;
    v->pending = v->pending + n;
    v->fp = v->fp + u32(n);
    sceSifCallRpc(&cd, sound ? STREAMCMD_READ_SPU : STREAMCMD_READ_EE, SIF_RPCM_NOWAIT, args, sound ? 16 : 12,
                  const_cast<int*>(&streamret), 4, StatusUpdateCallback, Arg(streamnum));
    return n;
}

}  // namespace

int StreamerInit()
{
    if (initialized)
        return 1;
    if (!irxloaded) {
        if (LoadIRX(stmman, int(sizeof(stmman)), nullptr) < 0) {
            printf("Can't load IOP streaming module\n");
            return 0;
        }
        // The module's RPC thread registers the server soon after it starts.
        for (;;) {
            if (sceSifBindRpc(&cd, STREAM_RPC_SERVER, 0) < 0) {
                printf("bind error\n");
                return 0;
            }
            if (cd.serve)
                break;
            SmallDelay();
        }
        irxloaded = 1;
    }
    numvfdsallocated = 0;
    archiveDamaged = false;
    for (int i = 0; i < STREAMER_MAX_FILES; i++) {
        vfdsallocated[i] = i;
        volatile VirtualFileDescriptor* v = Vfd(i);
        v->iopfd = -1;
        v->pending = 0;
        v->needstatus = 0;
    }
    u32* args = Args();
    args[0] = STREAM_BUFMEM;
    args[1] = STREAM_CHANNELS;
    sceSifCallRpc(&cd, STREAMCMD_INIT, 0, args, 8, const_cast<int*>(&streamret), 4, nullptr, nullptr);
    initialized = *EE_UNCACHED(&streamret) != 0;
    return initialized;
}

int StreamerOpen(const char* filename, int offset)
{
    int streamnum = Open(filename, offset, true);
    if (streamnum >= 0 && Vfd(streamnum)->iopfd < 0) {
        StreamerClose(streamnum);
        return -1;
    }
    return streamnum;
}

int StreamerCreate(const char* filename, int offset)
{
    return Open(filename, offset, false);
}

int StreamerTransfer(int streamnum, void* addr, int size)
{
    return Transfer(streamnum, u32(reinterpret_cast<uintptr_t>(EE_PHYS(addr))), size, 0, false);
}

int StreamerTransferSound(int streamnum, u32 addr, int size, int flags)
{
    return Transfer(streamnum, addr, size, flags, true);
}

int StreamerTotalLength(int streamnum)
{
    volatile VirtualFileDescriptor* v = Vfd(streamnum);
    if (!v)
        return -1;
    if (v->iopfd == OPENING)
        WaitForCall();
    return v->iopfd < 0 ? -1 : int(v->len);
}

int StreamerSeek(int streamnum, int offset, int seekmode)
{
    volatile VirtualFileDescriptor* v = Vfd(streamnum);
    if (!v)
        return -1;
    WaitForCall();
    if (v->iopfd < 0)
        return -1;
    u32* args = Args();
    args[0] = u32(v->iopfd);
    args[1] = u32(offset);
    args[2] = u32(seekmode);
    sceSifCallRpc(&cd, STREAMCMD_SEEK, 0, args, 12, const_cast<int*>(&streamret), 4, nullptr, nullptr);
    int position = *EE_UNCACHED(&streamret);
    v->fp = u32(position);
    return position;
}

bool StreamerArchiveDamaged()
{
    return archiveDamaged;
}

int StreamerBytesPending(int streamnum, bool sync)
{
    // Always a call into the SIF first: a loop polling this function reaches
    // a safe point on every round, so the replies it waits for can land.
    bool busy = sceSifCheckStatRpc(&cd) != 0;
    volatile VirtualFileDescriptor* v = Vfd(streamnum);
    if (!v)
        return -1;
    if (v->iopfd == OPENING) {
        WaitForCall();
        busy = false;
    }
    if (v->iopfd < 0)
        return -1;
    if (v->pending <= 0)
        return v->pending;

    if (sync) {
        WaitForCall();
        u32* args = Args();
        args[0] = u32(v->iopfd);
        args[1] = 1;
        sceSifCallRpc(&cd, STREAMCMD_STATUS, 0, args, 8, const_cast<int*>(&streamret), 4, nullptr, nullptr);
        int reply = *EE_UNCACHED(&streamret);
        v->pending = reply;
        v->needstatus = 0;
        v->statusrequesttime = u32(Platform::Count());
        return reply;
    }

    u32 now = u32(Platform::Count());
    u32 stamp = v->statusrequesttime;
    if (!busy && (stamp == 0 || now < stamp || now > stamp + 2)) {
        SendStatusRequest(streamnum, v);
        return v->pending;
    }
    if (!v->needstatus) {
        v->needstatus = 1;
        v->statusrequesttime = now;
        return v->pending;
    }
    // A deferred request waits 4 to 6 vertical blanks; the random part keeps
    // the requests of several streams apart.
    u32 spread = u32((s64(rand()) * 3) >> 31);
    if (now >= stamp && now <= stamp + 4 + spread)
        return v->pending;
    WaitForCall();
    SendStatusRequest(streamnum, v);
    return v->pending;
}

int StreamerStop(int streamnum)
{
    volatile VirtualFileDescriptor* v = Vfd(streamnum);
    if (!v)
        return -1;
    WaitForCall();
    if (v->iopfd < 0)
        return -1;
    v->pending = 0;
    v->needstatus = 0;
    u32* args = Args();
    args[0] = u32(v->iopfd);
    sceSifCallRpc(&cd, STREAMCMD_STOP, SIF_RPCM_NOWAIT, args, 4, nullptr, 0, nullptr, nullptr);
    return 0;
}

int StreamerClose(int streamnum)
{
    volatile VirtualFileDescriptor* v = Vfd(streamnum);
    if (!v)
        return -1;
    WaitForCall();
    if (v->iopfd >= 0) {
        u32* args = Args();
        args[0] = u32(v->iopfd);
        sceSifCallRpc(&cd, STREAMCMD_CLOSE, 0, args, 4, nullptr, 0, nullptr, nullptr);
    }
    v->iopfd = -1;
    v->needstatus = 0;
    v->pending = 0;
    for (int i = 0; i < numvfdsallocated; i++) {
        if (vfdsallocated[i] == streamnum) {
            vfdsallocated[i] = vfdsallocated[numvfdsallocated - 1];
            vfdsallocated[numvfdsallocated - 1] = streamnum;
            numvfdsallocated--;
            break;
        }
    }
    return 0;
}

bool StreamerIsBusy()
{
    return sceSifCheckStatRpc(&cd) != 0;
}

bool DispatchWaitingStatusRPCCalls()
{
    if (sceSifCheckStatRpc(&cd))
        return false;
    for (int i = 0; i < numvfdsallocated; i++) {
        volatile VirtualFileDescriptor* v = Vfd(i);
        if (v->needstatus && v->iopfd >= 0) {
            SendStatusRequest(i, v);
            return true;
        }
    }
    return false;
}
