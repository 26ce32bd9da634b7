// ZevStreamer: the I/O-processor module that owns the disc drive.
//
// It finds files inside the one disc archive, keeps up to 31 open read
// streams and moves their bytes from the disc through its own buffers to main
// memory (SIF DMA), sound RAM (voice transfer) or I/O-processor memory (copy).
// Two threads share the work: the RPC thread (priority 85) answers the main
// processor's calls and queues read requests; the transfer thread (priority
// 83, so it runs as soon as it is signalled) drains the 64-entry queue.  The
// queue, the channels' positions and their transfer states are touched only
// inside CpuSuspendIntr sections.
#include <iop/prelude.h>

#include "ZevEngine2/PS2/iop/IOPStream.h"

namespace {

constexpr int MAX_STREAMS = 31;
constexpr int MAX_QUEUED = 64;
constexpr u32 DEFAULT_BUFMEM = 0x80000;
constexpr int RPC_PRIORITY = 85;
constexpr int TRANSFER_PRIORITY = 83;
constexpr int POLL_USEC = 1000;

struct bufdata {
    u8* ptr;
    u32 pos;   // read index
    u32 size;  // end of valid data
};

struct streamdata {
    union {
        u32 cdsector;  // the next disc sector to read
        int fd;
    } streamsrc;
    u32 offset;       // bytes of the file delivered (or skipped by a seek)
    u32 readoffset;   // file position up to which the disc has been read
    u32 totalsize;
    bufdata transportbuf;
    int lastxferid;
    u8 lastxferdest;  // xferdest of a transfer that may still run, else DEST_NONE
    u8 source;        // xfersrc
    s32 badblock;     // file offset of the first block a checked transfer refused, -1 none
    bool sounded;     // a sound-RAM transfer has met a block that is not silence
    const DIRENTRY* file;  // the file streamed, for messages
};

struct streamtransfer {
    streamdata* stream;
    u32 transfersize;  // bytes still to deliver; for a seek, the target position
    u8* transferdest;  // advanced as pieces go
    u8 dest;           // xferdest
    u8 markerflags;    // sndmarkerflags
};

// Module state.  Everything is set again by the start function, since a
// reboot of the I/O processor reloads the module from scratch.
int maxstreams;
u8* streambufmem;
u32 streambufmemsize;
u32 streambufsize;
u8* streambufs[MAX_STREAMS + 1];
u8* sparebufptr;
streamdata streamchannels[MAX_STREAMS];
int streamchannelindices[MAX_STREAMS];
int numstreamchannels;
streamtransfer transferqueue[MAX_QUEUED];
int numqueuedtransfers;
int transferthreadid;
int transferthreadready;
int transfersema;
int intrstate;
sceCdRMode cdreadmode;
sceSifDmaData sifdma;
DIRECTORY* rootdir;
u8* dirblock;
// The archive was found and refused: said once, not read again.
bool pakrefused;
// Streamed files found holding blocks that are not sound data, so that each
// is said once however often it is played (music pieces loop by opening
// their file again).
constexpr int MAX_SILENCED = 16;
const DIRENTRY* silencedfiles[MAX_SILENCED];
int numsilencedfiles;
sceSifServeData streamserve;
sceSifQueueData streamqueue;
alignas(64) u32 argbuf[STREAM_ARGBUF_SIZE / 4];
int ret;
int inforet[4];

// ---------------------------------------------------------------------------
// The archive directory

// The head of every message about a damaged archive.
#define BAD_ARCHIVE "STREAM: Bad archive " PAK_DISC_PATH ": "

// Claims the words of one record (its head and file records) in `seen`, one
// bit per 4-byte word of the block.  A word claimed twice means two links
// reach the same record, or two records overlap: the fix-up would then change
// a link it has already made a pointer.
bool ClaimRecord(u8* seen, u32 offset, u32 bytes)
{
    for (u32 w = offset / 4; w < (offset + bytes + 3) / 4; w++) {
        if (seen[w / 8] & (1u << (w % 8))) {
            printf(BAD_ARCHIVE "directory record at 0x%x is reached twice or overlaps another.\n",
                   (unsigned)offset);
            return false;
        }
        seen[w / 8] |= u8(1u << (w % 8));
    }
    return true;
}

// Checks the directory block before any link in it is followed: every record
// and its file records lie inside the block, every link points forward (so
// no walk can loop), every record is reached once and shares no word with
// another, and every file lies inside the archive.  Prints what is wrong and
// where.
//
// Links only point forward, so one pass up the block meets every record
// after each record that links to it: `reached` marks (one bit per word) the
// records the pass has still to check, and afterwards the records there are.
// The pass takes no stack however deeply the directories nest.
bool CheckDirectory(const u8* block, u32 blocksize, u32 archivesize, u8* seen, u8* reached)
{
    auto reach = [reached](u32 offset) {
        const u32 w = offset / 4;
        if (reached[w / 8] & (1u << (w % 8))) {
            printf(BAD_ARCHIVE "directory record at 0x%x is reached twice or overlaps another.\n",
                   (unsigned)offset);
            return false;
        }
        reached[w / 8] |= u8(1u << (w % 8));
        return true;
    };
    reach(0);
    for (u32 offset = 0; offset < blocksize; offset += 4) {
        if (!(reached[offset / 32] & (1u << (offset / 4 % 8))))
            continue;
        if (u64(offset) + sizeof(DIRECTORY) > blocksize) {
            printf(BAD_ARCHIVE "directory record at 0x%x outside the 0x%x-byte directory.\n",
                   (unsigned)offset, (unsigned)blocksize);
            return false;
        }
        const DIRECTORY* d = reinterpret_cast<const DIRECTORY*>(block + offset);
        if (d->entries < 0 || u64(offset) + sizeof(DIRECTORY) + u64(d->entries) * sizeof(DIRENTRY) > blocksize) {
            printf(BAD_ARCHIVE "%d file records at 0x%x run past the directory.\n", (int)d->entries,
                   (unsigned)offset);
            return false;
        }
        if (!ClaimRecord(seen, offset, u32(sizeof(DIRECTORY) + u32(d->entries) * sizeof(DIRENTRY))))
            return false;
        for (s32 i = 0; i < d->entries; i++) {
            const DIRENTRY& e = d->entry[i];
            if (u64(e.start) * PAK_SECTOR_SIZE + e.length > archivesize) {
                printf(BAD_ARCHIVE "file record at 0x%x reaches past the end of the archive.\n",
                       (unsigned)(offset + sizeof(DIRECTORY) + i * sizeof(DIRENTRY)));
                return false;
            }
        }
        // A link to a word the block does not hold is refused when the pass
        // comes to it, as any record outside the block.
        const u32 links[2] = {d->child, offset == 0 ? 0u : d->sibling};
        for (int k = 0; k < 2; k++) {
            const u32 link = links[k];
            if (link == 0)
                continue;
            if (link <= offset) {
                printf(BAD_ARCHIVE "%s link at 0x%x points back.\n", k == 0 ? "subdirectory" : "sibling",
                       (unsigned)(offset + (k == 0 ? 8 : 12)));
                return false;
            }
            if ((link & 3) != 0 || link >= blocksize) {
                printf(BAD_ARCHIVE "directory record at 0x%x outside the 0x%x-byte directory.\n", (unsigned)link,
                       (unsigned)blocksize);
                return false;
            }
            if (!reach(link))
                return false;
        }
    }
    return true;
}

// Makes the stored offsets pointers and the file sectors absolute: every
// record the check marked in `reached`, the root's sibling word (the block
// size) made null.
void FixPak(u8* block, u32 blocksize, u32 firstsector, const u8* reached)
{
    for (u32 offset = 0; offset < blocksize; offset += 4) {
        if (!(reached[offset / 32] & (1u << (offset / 4 % 8))))
            continue;
        DIRECTORY* dir = reinterpret_cast<DIRECTORY*>(block + offset);
        for (s32 i = 0; i < dir->entries; i++)
            dir->entry[i].start += firstsector;
        if (offset == 0)
            dir->sibling = 0;
        dir->childptr = dir->child ? reinterpret_cast<DIRECTORY*>(block + dir->child) : nullptr;
        dir->siblingptr = dir->sibling ? reinterpret_cast<DIRECTORY*>(block + dir->sibling) : nullptr;
    }
}

}  // namespace

bool LoadPakDirectory(u8* block, u32 blocksize, u32 archivesize, u32 firstsector)
{
    // Two bitmaps of one bit per word: the words records take, and the
    // records links reach.
    const u32 bitmap = blocksize / 32 + 1;
    u8* seen = static_cast<u8*>(AllocSysMemory(ALLOC_FIRST, int(2 * bitmap), nullptr));
    if (!seen) {
        printf("STREAM: No memory for the archive directory.\n");
        return false;
    }
    memset(seen, 0, 2 * bitmap);
    u8* reached = seen + bitmap;
    const bool ok = CheckDirectory(block, blocksize, archivesize, seen, reached);
    if (ok)
        FixPak(block, blocksize, firstsector, reached);
    FreeSysMemory(seen);
    return ok;
}

namespace {

bool ReadSectors(u32 lsn, u32 sectors, void* buf)
{
    // The drive takes one command at a time; wait out any other.
    while (!sceCdRead(lsn, sectors, buf, &cdreadmode))
        sceCdSync(0);
    sceCdSync(0);
    return true;
}

// Reads the archive's directory block once and keeps it.
bool ReadPak()
{
    sceCdlFILE file;
    if (!sceCdSearchFile(&file, PAK_DISC_PATH))
        return false;
    if (file.size < sizeof(DIRECTORY)) {
        printf(BAD_ARCHIVE "%u bytes, shorter than its root record.\n", (unsigned)file.size);
        pakrefused = true;
        return false;
    }

    u8* block = static_cast<u8*>(AllocSysMemory(ALLOC_FIRST, PAK_SECTOR_SIZE, nullptr));
    if (!block) {
        printf("STREAM: No memory for the archive directory.\n");
        return false;
    }
    ReadSectors(file.lsn, 1, block);
    u32 size = reinterpret_cast<DIRECTORY*>(block)->sibling;
    if (size < sizeof(DIRECTORY) || size > file.size) {
        printf(BAD_ARCHIVE "directory size 0x%x outside the 0x%x-byte archive.\n", (unsigned)size,
               (unsigned)file.size);
        FreeSysMemory(block);
        pakrefused = true;
        return false;
    }
    if (size > PAK_SECTOR_SIZE) {
        FreeSysMemory(block);
        u32 sectors = (size + PAK_SECTOR_SIZE - 1) / PAK_SECTOR_SIZE;
        block = static_cast<u8*>(AllocSysMemory(ALLOC_FIRST, int(sectors * PAK_SECTOR_SIZE), nullptr));
        if (!block) {
            printf("STREAM: No memory for the archive directory.\n");
            return false;
        }
        ReadSectors(file.lsn, sectors, block);
    }
    // Every path the game asks for starts with the root's name, the folder
    // the archive lies in.
    const char* folder = PAK_DISC_PATH + 1;
    const size_t folderlen = size_t(strchr(folder, '\\') - folder);
    char want[8];
    memset(want, ' ', sizeof want);
    memcpy(want, folder, folderlen);
    if (memcmp(block, want, sizeof want) != 0) {
        printf(BAD_ARCHIVE "its root directory is not named %.*s.\n", (int)folderlen, folder);
        FreeSysMemory(block);
        pakrefused = true;
        return false;
    }
    if (!LoadPakDirectory(block, size, file.size, file.lsn)) {
        FreeSysMemory(block);
        pakrefused = true;
        return false;
    }
    dirblock = block;
    rootdir = reinterpret_cast<DIRECTORY*>(block);
    return true;
}

// Forms one path component as the archive stores names: bytes above 0x60
// lose 0x20 (upper case), a '.' at column 8 or later moves to column 8, at
// most 12 characters, blank padded.  Returns the byte that ended it.
char ReadComponent(const char*& path, char name[12])
{
    memset(name, ' ', 12);
    int col = 0;
    char c;
    while ((c = *path) != '\0' && c != '\\' && c != '/' && c != ';') {
        if (c > 0x60)
            c = char(c - 0x20);
        if (c == '.' && col >= 8)
            col = 8;
        if (col < 12)
            name[col++] = c;
        path++;
    }
    return c;
}

DIRENTRY* FindFile(const char* path)
{
    if (!rootdir)
        return nullptr;
    if (*path == '\\')
        path++;
    DIRECTORY* dir = rootdir;
    for (;;) {
        char name[12];
        char end = ReadComponent(path, name);
        if (end == '\\' || end == '/') {
            path++;
            if (dir == rootdir && memcmp(dir->name, name, 8) == 0)
                continue;
            DIRECTORY* sub = dir->childptr;
            while (sub && memcmp(sub->name, name, 8) != 0)
                sub = sub->siblingptr;
            if (!sub)
                return nullptr;
            dir = sub;
            continue;
        }
        for (s32 i = 0; i < dir->entries; i++) {
            if (memcmp(dir->entry[i].name, name, 12) == 0)
                return &dir->entry[i];
        }
        return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Channels and the queue

streamdata* Channel(int channel)
{
    for (int i = 0; i < numstreamchannels; i++) {
        if (streamchannelindices[i] == channel)
            return &streamchannels[channel];
    }
    return nullptr;
}

int ChannelNumber(const streamdata* s)
{
    return int(s - streamchannels);
}

// Waits until the transfer thread sleeps on its semaphore with nothing
// queued.  False (and a message) when it is not running at all, which is
// the case after its start-up failed: waiting would never end.
bool WaitTransferIdle()
{
    for (;;) {
        iop_thread_info_t info;
        if (transferthreadid <= 0 || ReferThreadStatus(transferthreadid, &info) < 0 ||
            info.status == THS_DORMANT) {
            printf("STREAM: Stream transfer thread not running.\n");
            return false;
        }
        if (transferthreadready && (info.status & THS_WAIT) && info.waitType == TSW_SEMA && numqueuedtransfers == 0)
            return true;
        DelayThread(POLL_USEC);
    }
}

void WaitQueueSpace()
{
    while (numqueuedtransfers >= MAX_QUEUED)
        DelayThread(POLL_USEC);
}

// The file position after everything already queued for the channel.
u32 CalcStreamPosition(const streamdata* s)
{
    u32 pos = s->offset;
    for (int i = 0; i < numqueuedtransfers; i++) {
        const streamtransfer& t = transferqueue[i];
        if (t.stream != s)
            continue;
        if (t.dest == DEST_SEEK)
            pos = t.transfersize;
        else
            pos += t.transfersize;
    }
    return pos;
}

int GetStreamStatus(streamdata* s, bool seekcountsone)
{
    int sum = 0;
    for (int i = 0; i < numqueuedtransfers; i++) {
        const streamtransfer& t = transferqueue[i];
        if (t.stream != s)
            continue;
        if (t.dest == DEST_SEEK && seekcountsone)
            sum += 1;
        else
            sum += t.transfersize ? int(t.transfersize) : 1;
    }
    if (s->lastxferdest == DEST_SIF) {
        if (sceSifDmaStat(u32(s->lastxferid)) >= 0)
            sum += 1;
        else
            s->lastxferdest = DEST_NONE;
    } else if (s->lastxferdest == DEST_SPU) {
        if (sceSdVoiceTransStatus(0, SD_TRANS_STATUS_CHECK) == 0)
            sum += 1;
        else
            s->lastxferdest = DEST_NONE;
    }
    if (sum == 0 && s->offset == s->totalsize)
        return -1;
    return sum;
}

void Enqueue(streamdata* s, u32 size, u8* dest, u8 kind, u8 flags)
{
    CpuSuspendIntr(&intrstate);
    streamtransfer& t = transferqueue[numqueuedtransfers++];
    t.stream = s;
    t.transfersize = size;
    t.transferdest = dest;
    t.dest = kind;
    t.markerflags = flags;
    CpuResumeIntr(intrstate);
    SignalSema(transfersema);
}

// ---------------------------------------------------------------------------
// Moving bytes

void WaitMemTransfer(streamdata* s)
{
    if (s->lastxferdest == DEST_SIF) {
        int state;
        CpuSuspendIntr(&state);
        while (sceSifDmaStat(u32(s->lastxferid)) >= 0) {
        }
        CpuResumeIntr(state);
    } else if (s->lastxferdest == DEST_SPU) {
        sceSdVoiceTransStatus(0, SD_TRANS_STATUS_WAIT);
    }
    s->lastxferdest = DEST_NONE;
}

void SetUpMemTransfer(streamdata* s, u8* dest, u8* src, u32 size, u8 kind)
{
    int state;
    CpuSuspendIntr(&state);
    int id = 0;
    if (kind == DEST_SIF) {
        sifdma.data = u32(reinterpret_cast<uintptr_t>(src));
        sifdma.addr = u32(reinterpret_cast<uintptr_t>(dest));
        sifdma.size = size;
        sifdma.mode = 0;
        // A full SIF DMA queue drains as time passes; let it.
        while ((id = int(sceSifSetDma(&sifdma, 1))) == 0) {
            CpuResumeIntr(state);
            DelayThread(10);
            CpuSuspendIntr(&state);
        }
    } else if (kind == DEST_SPU) {
        sceSdVoiceTransStatus(0, SD_TRANS_STATUS_WAIT);
        sceSdVoiceTrans(0, SD_TRANS_MODE_WRITE, src, u32(reinterpret_cast<uintptr_t>(dest)), size);
    } else {
        memmove(dest, src, size);
    }
    s->lastxferid = id;
    s->lastxferdest = kind;
    CpuResumeIntr(state);
}

// The first block of buf[from, to) that is not sound data, as an offset of
// the file (the buffer's first byte lying at file offset `at`), or -1.  The
// blocks lie on 16-byte file offsets: a sound-RAM transfer starts on one.
s32 FirstBadBlock(const u8* buf, u32 from, u32 to, u32 at)
{
    for (u32 i = from; i + 16 <= to; i += 16) {
        const u8 shift = buf[i] & 0x0F, filter = buf[i] >> 4, flags = buf[i + 1];
        if (shift > 12 || filter > 4 || flags > 7)
            return s32(at + i);
    }
    return -1;
}

// The archive record's name without its padding.
void RecordName(const DIRENTRY* e, char out[13])
{
    int n = 0;
    for (; n < 12 && e->name[n] != ' ' && e->name[n] != '\0'; n++)
        out[n] = e->name[n];
    out[n] = '\0';
}

// True the first time a damaged stream's file is met: each is said once.
bool FirstTold(const DIRENTRY* file)
{
    if (file == nullptr)
        return false;
    for (int i = 0; i < numsilencedfiles; i++)
        if (silencedfiles[i] == file)
            return false;
    if (numsilencedfiles < MAX_SILENCED)
        silencedfiles[numsilencedfiles++] = file;
    return true;
}

// Streamed sound is played as it arrives, so a block that is not sound data
// cannot refuse the file: it is played as silence instead (a zero shift and
// filter and zero samples; flags beyond the three marker bits cleared), and
// the file is said once.  Left as it was, it would play as noise and its
// flag bits could stop or loop the voice, which changes when the stream
// reads next.
void SilenceBadBlocks(streamdata* s, u8* buf, u32 from, u32 to, u32 at)
{
    s32 first = -1;
    for (u32 i = from; i + 16 <= to; i += 16) {
        if (FirstBadBlock(buf, i, i + 16, at) < 0)
            continue;
        if (first < 0)
            first = s32(at + i);
        const u8 flags = buf[i + 1] > 7 ? 0 : buf[i + 1];
        memset(buf + i, 0, 16);
        buf[i + 1] = flags;
    }
    if (first < 0 || !FirstTold(s->file))
        return;
    char name[13];
    RecordName(s->file, name);
    printf("STREAM: Bad sound stream %s: the block at 0x%x is not sound data; it plays as silence.\n", name,
           unsigned(first));
}

// A stream of sound is never zero from end to end: one that is (its file
// zeroed in place) still plays its length as silence, so nothing waiting on
// it changes, and the file is said once when its end goes to sound RAM.
void WatchForSound(streamdata* s, const u8* buf, u32 from, u32 to, bool atEnd)
{
    for (u32 i = from; i + 16 <= to && !s->sounded; i += 16) {
        s->sounded = buf[i] != 0;
        for (u32 k = 2; k < 16 && !s->sounded; k++)
            s->sounded = buf[i + k] != 0;
    }
    if (s->sounded || !atEnd || !FirstTold(s->file))
        return;
    char name[13];
    RecordName(s->file, name);
    printf("STREAM: Bad sound stream %s: every block of its %u bytes is zero; it holds no sound.\n", name,
           unsigned(s->totalsize));
}

// Sets the flag byte (byte 1 of a 16-byte ADPCM block) of the block at
// offset `at` of the buffer, when that block lies inside [lo, hi).
void SetBlockFlag(u8* buf, s64 at, u32 lo, u32 hi, u8 flag)
{
    if (at >= s64(lo) && at + 16 <= s64(hi))
        buf[at + 1] = flag;
}

// Delivers what the channel's buffer holds toward the head request.  True
// when the request is complete.
bool TransferFromBuffer(streamtransfer* t)
{
    streamdata* s = t->stream;
    bufdata& b = s->transportbuf;
    u32 available = b.size - b.pos;
    if (available == 0)
        return false;
    WaitMemTransfer(s);

    u8* buf = b.ptr;
    if (t->dest == DEST_SPU) {
        if (t->markerflags & SNDMARKER_START) {
            SetBlockFlag(buf, b.pos, b.pos, b.size, 6);
        } else if (t->markerflags & SNDMARKER_NOSTART) {
            SetBlockFlag(buf, b.pos, b.pos, b.size, 0);
            SetBlockFlag(buf, s64(b.pos) + 16, b.pos, b.size, 0);
        }
    }
    // The buffer's first byte lies at this file offset.
    const u32 bufferAt = s->readoffset - b.size;
    auto check = [&](u32 n) {
        if (t->dest != DEST_SPU)
            return;
        if (!(t->markerflags & SNDMARKER_CHECKBLOCKS)) {
            SilenceBadBlocks(s, buf, b.pos, b.pos + n, bufferAt);
            WatchForSound(s, buf, b.pos, b.pos + n, s->readoffset == s->totalsize && b.pos + n == b.size);
        } else if (s->badblock < 0) {
            s->badblock = FirstBadBlock(buf, b.pos, b.pos + n, bufferAt);
        }
    };
    if (available < t->transfersize) {
        check(available);
        SetUpMemTransfer(s, t->transferdest, buf + b.pos, available, t->dest);
        t->transferdest += available;
        t->transfersize -= available;
        b.pos = b.size;
        return false;
    }
    if (t->dest == DEST_SPU) {
        u32 end = b.pos + t->transfersize;
        if ((t->markerflags & SNDMARKER_STOPATEOF) && t->transfersize == available &&
            s->readoffset == s->totalsize) {
            SetBlockFlag(buf, s64(end) - 32, b.pos, end, 1);
            SetBlockFlag(buf, s64(end) - 16, b.pos, end, 7);
        } else if (t->markerflags & SNDMARKER_END) {
            SetBlockFlag(buf, s64(end) - 16, b.pos, end, 3);
        } else if (t->markerflags & SNDMARKER_NOEND) {
            SetBlockFlag(buf, s64(end) - 32, b.pos, end, 0);
            SetBlockFlag(buf, s64(end) - 16, b.pos, end, 0);
        }
    }
    check(t->transfersize);
    SetUpMemTransfer(s, t->transferdest, buf + b.pos, t->transfersize, t->dest);
    t->transferdest += t->transfersize;
    b.pos += t->transfersize;
    t->transfersize = 0;
    return true;
}

// Reads the channel's next buffer-full from the disc.  The channel takes the
// spare buffer, since the one it had may still feed a running transfer; the
// sector holding the read position is read again when partly used.
void FillBufferFromCD(streamdata* s)
{
    bufdata& b = s->transportbuf;
    b.pos = s->readoffset % PAK_SECTOR_SIZE;
    u8* spare = sparebufptr;
    sparebufptr = b.ptr;
    b.ptr = spare;
    u32 base = s->readoffset - b.pos;
    u32 left = s->totalsize > base ? s->totalsize - base : 0;
    b.size = left < streambufsize ? left : streambufsize;
    u32 sectors = (b.size + PAK_SECTOR_SIZE - 1) / PAK_SECTOR_SIZE;
    if (sectors == 0) {
        b.pos = b.size = 0;
        return;
    }
    ReadSectors(s->streamsrc.cdsector, sectors, b.ptr);
    s->readoffset += b.size - b.pos;
    s->streamsrc.cdsector += sectors - ((s->readoffset % PAK_SECTOR_SIZE) ? 1 : 0);
}

void ServeSeek(streamtransfer* t)
{
    streamdata* s = t->stream;
    u32 target = t->transfersize;
    u32 sector = target / PAK_SECTOR_SIZE;
    // The buffer about to be refilled may still feed the last transfer.
    WaitMemTransfer(s);
    s->streamsrc.cdsector = s->streamsrc.cdsector - s->readoffset / PAK_SECTOR_SIZE + sector;
    s->readoffset = sector * PAK_SECTOR_SIZE;
    sceCdSeek(s->streamsrc.cdsector);
    sceCdSync(0);
    if (s->readoffset < s->totalsize) {
        FillBufferFromCD(s);
        s->transportbuf.pos = target % PAK_SECTOR_SIZE;
    } else {
        s->transportbuf.pos = s->transportbuf.size = 0;
    }
}

void ServeTransfer(streamtransfer* t)
{
    streamdata* s = t->stream;
    u32 requested = t->transfersize;
    for (;;) {
        if (TransferFromBuffer(t) || t->transfersize == 0)
            return;
        if (t->transfersize != requested)
            t->markerflags &= u8(~(SNDMARKER_START | SNDMARKER_NOSTART));
        u32 before = s->readoffset;
        FillBufferFromCD(s);
        if (s->readoffset == before && s->transportbuf.size == s->transportbuf.pos) {
            // Nothing more to read: the request asks beyond the file.
            printf("STREAM: Stream %d ran out of data with 0x%x bytes undelivered.\n", ChannelNumber(s),
                   (unsigned)t->transfersize);
            t->transfersize = 0;
            return;
        }
    }
}

void TransferThread(void*)
{
    cdreadmode.trycount = 255;
    cdreadmode.spindlctrl = SCECdSpinNom;
    cdreadmode.datapattern = SCECdSecS2048;
    if (!sceCdInit(0)) {
        printf("STREAM: Cannot initialize CD system.\n");
        ExitThread();
    }
    if (!sceCdMmode(SCECdDVD)) {
        printf("STREAM: Cannot set CD media type.\n");
        ExitThread();
    }
    if (!sceCdDiskReady(0)) {
        printf("STREAM: Disk not ready.\n");
        ExitThread();
    }
    transferthreadready = 1;
    for (;;) {
        WaitSema(transfersema);
        while (numqueuedtransfers > 0) {
            streamtransfer* t = &transferqueue[0];
            if (t->dest == DEST_SEEK)
                ServeSeek(t);
            else
                ServeTransfer(t);
            streamdata* s = t->stream;
            CpuSuspendIntr(&intrstate);
            s->offset = s->readoffset - (s->transportbuf.size - s->transportbuf.pos);
            numqueuedtransfers--;
            memmove(&transferqueue[0], &transferqueue[1], sizeof(streamtransfer) * numqueuedtransfers);
            CpuResumeIntr(intrstate);
        }
    }
}

// ---------------------------------------------------------------------------
// Commands

int Init(u32 bufmemsize, u32 nstreams)
{
    iop_thread_info_t info;
    bool exists = transferthreadid > 0 && ReferThreadStatus(transferthreadid, &info) >= 0;
    if (!exists) {
        iop_sema_t sema = {0, 0, 1, MAX_QUEUED};
        transfersema = CreateSema(&sema);
        iop_thread_t thread = {TH_C, 0, TransferThread, 2048, TRANSFER_PRIORITY};
        transferthreadid = transfersema > 0 ? CreateThread(&thread) : -1;
    }
    if (exists || transferthreadid <= 0) {
        printf("STREAM: Couldn't start streaming transport thread.\n");
        return 0;
    }
    StartThread(transferthreadid, nullptr);

    if (bufmemsize == 0)
        bufmemsize = DEFAULT_BUFMEM;
    u8* mem = static_cast<u8*>(AllocSysMemory(ALLOC_FIRST, int(bufmemsize), nullptr));
    if (!mem) {
        printf("STREAM: No memory for 0x%x bytes of stream buffers.\n", (unsigned)bufmemsize);
        return 0;
    }
    streambufmem = mem;
    u32 skip = u32(-reinterpret_cast<uintptr_t>(mem)) & 63;
    streambufmemsize = bufmemsize > skip ? bufmemsize - skip : 0;
    int fit = int(streambufmemsize / PAK_SECTOR_SIZE) - 1;
    maxstreams = int(nstreams) < fit ? int(nstreams) : fit;
    if (maxstreams > MAX_STREAMS)
        maxstreams = MAX_STREAMS;
    if (maxstreams < 1) {
        maxstreams = 0;
        printf("STREAM: 0x%x bytes of stream buffers hold no stream.\n", (unsigned)bufmemsize);
        return 0;
    }
    streambufsize = (streambufmemsize / u32(maxstreams + 1)) & ~(PAK_SECTOR_SIZE - 1);
    for (int i = 0; i <= maxstreams; i++)
        streambufs[i] = mem + skip + u32(i) * streambufsize;
    sparebufptr = streambufs[maxstreams];
    for (int i = 0; i < maxstreams; i++) {
        streamchannels[i] = streamdata{};
        streamchannels[i].transportbuf.ptr = streambufs[i];
        streamchannelindices[i] = i;
    }
    numstreamchannels = 0;
    return 1;
}

int Open(u32 offset, const char* filename, int namebytes, u32* position, u32* totalsize)
{
    *position = *totalsize = 0;
    // The name must end inside the request.
    if (namebytes <= 0 || memchr(filename, '\0', size_t(namebytes)) == nullptr) {
        printf("STREAM: File name without its terminator.\n");
        return -1;
    }
    if (numstreamchannels >= maxstreams)
        return -1;
    int channel = streamchannelindices[numstreamchannels++];
    DIRENTRY* file = nullptr;
    if (rootdir || (!pakrefused && WaitTransferIdle() && ReadPak()))
        file = FindFile(filename);
    if (!file) {
        printf("STREAM: Failed to create stream for CD file %s.\n", filename);
        numstreamchannels--;
        if (pakrefused)
            *position = 0xFFFFFFFFu;
        return -1;
    }
    streamdata* s = &streamchannels[channel];
    // A start beyond the end would leave the remaining byte count negative.
    if (offset > file->length)
        offset = file->length;
    s->offset = s->readoffset = offset;
    s->totalsize = file->length;
    s->transportbuf.pos = s->transportbuf.size = 0;
    s->streamsrc.cdsector = file->start + offset / PAK_SECTOR_SIZE;
    s->lastxferid = 0;
    s->lastxferdest = DEST_NONE;
    s->source = SRC_CD;
    s->badblock = -1;
    s->sounded = false;
    s->file = file;
    *position = s->offset;
    *totalsize = s->totalsize;
    return channel;
}

int Close(int channel)
{
    streamdata* s = Channel(channel);
    if (!s)
        return -1;
    while (GetStreamStatus(s, true) > 0)
        DelayThread(POLL_USEC);
    for (int i = 0; i < numstreamchannels; i++) {
        if (streamchannelindices[i] == channel) {
            streamchannelindices[i] = streamchannelindices[numstreamchannels - 1];
            streamchannelindices[numstreamchannels - 1] = channel;
            numstreamchannels--;
            break;
        }
    }
    return 0;
}

int Status(int channel, u32 wait)
{
    streamdata* s = Channel(channel);
    if (!s)
        return -1;
    int pending = GetStreamStatus(s, false);
    while (wait && pending > 0) {
        DelayThread(POLL_USEC);
        pending = GetStreamStatus(s, false);
    }
    return pending;
}

// Queues a read of size bytes; returns the size queued, clipped at the end
// of the file (and rounded for main memory), or -1 for a bad channel.
int QueueRead(int channel, u32 addr, u32 size, u8 kind, u8 flags, bool* clipped)
{
    streamdata* s = Channel(channel);
    if (!s)
        return -1;
    u32 pos = CalcStreamPosition(s);
    u32 remaining = s->totalsize > pos ? s->totalsize - pos : 0;
    WaitQueueSpace();
    *clipped = size > remaining;
    if (*clipped)
        size = remaining;
    if (kind == DEST_SIF && (size & 15) != 0 && size != remaining) {
        // SIF DMA moves whole quadwords.  Rounding never reaches past the end
        // of the file: there the rest of the file is sent as it is.
        u32 rounded = (size + 15) & ~15u;
        if (rounded > remaining)
            rounded = remaining;
        printf("STREAM: Bad transfer size 0x%x (adjusting to 0x%x) from stream %d to destination 0x%x.\n",
               (unsigned)size, (unsigned)rounded, channel, (unsigned)addr);
        size = rounded;
    }
    Enqueue(s, size, reinterpret_cast<u8*>(uintptr_t(addr)), kind, flags);
    return int(size);
}

int Seek(int channel, int offset, int seekmode)
{
    streamdata* s = Channel(channel);
    if (!s)
        return -1;
    u32 base = CalcStreamPosition(s);
    u32 target;
    if (seekmode == 1)
        target = base + u32(offset);
    else if (seekmode == 2)
        target = s->totalsize + u32(offset);
    else
        target = u32(offset);
    WaitQueueSpace();
    if (target == base)
        return int(base);
    if (target > s->totalsize)
        target = s->totalsize;
    Enqueue(s, target, nullptr, DEST_SEEK, 0);
    return int(target);
}

int Stop(int channel)
{
    streamdata* s = Channel(channel);
    if (!s)
        return -1;
    int state;
    CpuSuspendIntr(&state);
    int kept = numqueuedtransfers > 0 ? 1 : 0;
    for (int i = 1; i < numqueuedtransfers; i++) {
        if (transferqueue[i].stream != s)
            transferqueue[kept++] = transferqueue[i];
    }
    numqueuedtransfers = kept;
    CpuResumeIntr(state);
    if (numqueuedtransfers > 0 && transferqueue[0].stream == s)
        WaitTransferIdle();
    return 0;
}

// The command table, shared by the RPC server and direct callers.  size is
// the request's byte count; a request too short for its command is refused.
int RunCommand(int fno, const u32* data, int size, bool fromrpc)
{
    auto need = [size](int words) { return size >= words * 4; };
    bool clipped = false;
    switch (fno) {
    case STREAMCMD_INIT:
        return need(2) ? Init(data[0], data[1]) : 0;
    case STREAMCMD_OPEN: {
        u32 position = 0, totalsize = 0;
        int channel = need(1) ? Open(data[0], reinterpret_cast<const char*>(data + 1), size - 4, &position,
                                     &totalsize)
                              : -1;
        if (fromrpc) {
            inforet[0] = channel;
            inforet[1] = int(position);
            inforet[2] = int(totalsize);
        }
        return channel;
    }
    case STREAMCMD_CLOSE:
        return need(1) ? Close(int(data[0])) : -1;
    case STREAMCMD_STATUS:
        return need(2) ? Status(int(data[0]), data[1]) : -1;
    case STREAMCMD_TOTALSIZE: {
        streamdata* s = need(1) ? Channel(int(data[0])) : nullptr;
        return s ? int(s->totalsize) : -1;
    }
    case STREAMCMD_READ_EE:
    case STREAMCMD_READ_SPU: {
        bool sound = fno == STREAMCMD_READ_SPU;
        if (!need(sound ? 4 : 3) || !Channel(int(data[0])))
            return -1;
        if (data[2] != 0 && QueueRead(int(data[0]), data[1], data[2], sound ? DEST_SPU : DEST_SIF,
                                      sound ? u8(data[3] & (SNDMARKER_SPUFLAGS | SNDMARKER_CHECKBLOCKS)) : 0,
                                      &clipped) < 0)
            return -1;
        return GetStreamStatus(Channel(int(data[0])), false);
    }
    case STREAMCMD_READ_IOP: {
        if (!need(3))
            return -1;
        if (data[2] == 0)
            return Channel(int(data[0])) ? 0 : -1;
        int queued = QueueRead(int(data[0]), data[1], data[2], DEST_IOP, 0, &clipped);
        if (queued < 0)
            return -1;
        return clipped ? queued : -1;
    }
    case STREAMCMD_SEEK:
        return need(3) ? Seek(int(data[0]), int(data[1]), int(data[2])) : -1;
    case STREAMCMD_STOP:
        return need(1) ? Stop(int(data[0])) : -1;
    case STREAMCMD_BADBLOCK: {
        streamdata* s = need(1) ? Channel(int(data[0])) : nullptr;
        return s ? s->badblock : -1;
    }
    default:
        return -1;
    }
}

void* StreamRpcServer(int fno, void* data, int size)
{
    ret = RunCommand(fno, static_cast<const u32*>(data), size, true);
    if (fno == STREAMCMD_OPEN)
        return inforet;
    return &ret;
}

void StreamRpcThread(void*)
{
    sceSifInitRpc(0);
    sceSifSetRpcQueue(&streamqueue, GetThreadId());
    sceSifRegisterRpc(&streamserve, STREAM_RPC_SERVER, StreamRpcServer, argbuf, nullptr, nullptr, &streamqueue);
    sceSifRpcLoop(&streamqueue);
}

int StreamModuleStart(int argc, char* argv[]);

void* const stmman_entries[] = {
    reinterpret_cast<void*>(StreamModuleStart),
    nullptr,
    nullptr,
    nullptr,
    reinterpret_cast<void*>(RunStreamCommand),
};

iop_library_t stmman_library = {"stmman", 0x0101, 5, stmman_entries};

int StreamModuleStart(int, char*[])
{
    // A fresh start after a reboot: nothing of an earlier run survives.
    maxstreams = 0;
    streambufmem = nullptr;
    streambufmemsize = streambufsize = 0;
    sparebufptr = nullptr;
    numstreamchannels = 0;
    numqueuedtransfers = 0;
    transferthreadid = 0;
    transferthreadready = 0;
    transfersema = 0;
    rootdir = nullptr;
    dirblock = nullptr;
    pakrefused = false;
    numsilencedfiles = 0;

    if (RegisterLibraryEntries(&stmman_library) != 0)
        return NO_RESIDENT_END;
    iop_thread_t thread = {TH_C, 0, StreamRpcThread, 2048, RPC_PRIORITY};
    int id = CreateThread(&thread);
    if (id <= 0)
        return NO_RESIDENT_END;
    StartThread(id, nullptr);
    return RESIDENT_END;
}

}  // namespace

int RunStreamCommand(int fno, void* data, int size)
{
    return RunCommand(fno, static_cast<const u32*>(data), size, false);
}

CONSOLE_IOP_MODULE("ZevStreamer", StreamModuleStart);
