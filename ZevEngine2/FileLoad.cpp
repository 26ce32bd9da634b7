// Whole-file loading through the disc streamer, and the loading callbacks
// that keep the screen alive meanwhile.
#include "ZevEngine2/EntTypes.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/PS2/Streamer.h"
#include "ZevEngine2/Utilities.h"

void LoadingCallback::Wait(int fd)
{
    LoadingCallback::fd = fd;
    // Each poll is a call into the streamer, so the transfer's events are
    // delivered between rounds even when no callback is registered.
    while ((bytes = StreamerBytesPending(fd, false)) > 0)
        cbs.DoCallbacks(nullptr);
}

namespace {

// Reads the open stream's len bytes into buffer and closes the stream.  The
// data cache is written back before the transfer and after it, since the
// transfer writes memory behind the cache.
void ReadWhole(int handle, void* buffer, int len)
{
    FlushCache(0);
    StreamerTransfer(handle, buffer, len);
    LoadingCallback::Wait(handle);
    StreamerClose(handle);
    FlushCache(0);
}

}  // namespace

void* FileLoad(const char* filename, unsigned* filelength)
{
    int handle = StreamerOpen(filename, 0);
    if (handle < 0)
        return nullptr;
    int len = StreamerTotalLength(handle);
    if (filelength)
        *filelength = unsigned(len);
    // Whole 64-byte lines plus one: a read rounded up to quadwords never
    // writes past the buffer.
    void* buffer = malloc_align(size_t((len + 63) | 63), 64);
    if (!buffer) {
        unsigned biggest = 0;
        unsigned total = TotalFree(&biggest);
        printf("FileLoad: no memory for %s (%d bytes): %u bytes free, largest block %u\n", filename, len, total,
               biggest);
        StreamerClose(handle);
        return nullptr;
    }
    ReadWhole(handle, buffer, len);
    return buffer;
}

void* FileLoadAt(const char* filename, void* buffer)
{
    int handle = StreamerOpen(filename, 0);
    if (handle < 0)
        return nullptr;
    if (!buffer) {
        StreamerClose(handle);
        return nullptr;
    }
    ReadWhole(handle, buffer, StreamerTotalLength(handle));
    return buffer;
}
