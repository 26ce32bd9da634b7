// Files of the disc archive read one byte at a time through a double buffer.
#include "ZevEngine2/Utilities/StreamerFile.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/PS2/Streamer.h"

namespace {

constexpr int HALF = 1024;  // one half of the buffer: the unit of each request

}  // namespace

int StreamerFile::BUFSIZE = 2 * HALF;

StreamerFile::StreamerFile(const char* filename)
{
    streamnum = StreamerOpen(filename, 0);
    FlushCache(0);
    outptr = inptr = 0;
    endptr = 0;
    buffer = nullptr;
    if (streamnum < 0)
        return;  // GetC gives -1 at once: the length is 0
    endptr = StreamerTotalLength(streamnum);
    buffer = static_cast<char*>(malloc_align(size_t(BUFSIZE), 64));
    if (!buffer) {
        // Without a buffer the file cannot be read: it behaves as missing.
        StreamerClose(streamnum);
        streamnum = -1;
        endptr = 0;
        return;
    }
    StreamerTransfer(streamnum, buffer, HALF);
}

StreamerFile::~StreamerFile()
{
    // A read may still be on its way into the buffer: drop what is queued and
    // close, which waits until the module has finished with the stream, so
    // that nothing lands in the buffer once it is freed.
    if (streamnum >= 0) {
        StreamerStop(streamnum);
        StreamerClose(streamnum);
    }
    free(buffer);
}

int StreamerFile::GetC()
{
    if (outptr >= endptr)
        return -1;
    if (outptr == inptr) {
        // Everything requested so far is consumed: wait for the half being
        // read now, then ask for the half after it.
        StreamerBytesPending(streamnum, true);
        inptr += HALF;
        StreamerTransfer(streamnum, buffer + (inptr & HALF), HALF);
        FlushCache(0);
    }
    return static_cast<signed char>(buffer[outptr++ % BUFSIZE]);
}

int StreamerFile::Read(void* dest, int len)
{
    char* out = static_cast<char*>(dest);
    int n = 0;
    while (n < len) {
        int c = GetC();
        if (c == -1)
            break;
        out[n++] = char(c);
    }
    return n;
}
