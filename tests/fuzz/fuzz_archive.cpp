// The disc archive's directory block, as the streaming module reads it from
// the front of the archive: checked, fixed up, then every directory and file
// record walked through the links the fix-up made; and the archive as the
// archive tool lists it.
#include "fuzz_target.h"

#include <span>
#include <string>
#include <vector>

#include "ee/console_out.h"
#include "tools/lib/pak.h"

#include <iop/prelude.h>

#include "ZevEngine2/PS2/iop/IOPStream.h"

FUZZ_TARGET(archive)
{
    // The archive tool's listing reads the same directory, on its own.
    {
        std::string root, error;
        std::vector<tools::PakEntry> entries;
        if (!tools::ReadPak(std::span<const u8>(data, size), "fuzz.pak", root, entries, error))
            console::ConsoleWrite("pakbuild: " + error + "\n");
    }
    // The module reads the block size from the root record and refuses a
    // block beyond the archive before looking further.
    if (size < sizeof(DIRECTORY))
        return false;
    u32 blocksize;
    std::memcpy(&blocksize, data + 12, 4);
    if (blocksize < sizeof(DIRECTORY) || blocksize > size) {
        printf("STREAM: Bad archive: directory size 0x%x outside the 0x%x-byte archive.\n", (unsigned)blocksize,
               (unsigned)size);
        return false;
    }
    fuzz::Copy block(data, blocksize, 16);
    if (!LoadPakDirectory(block.Bytes(), blocksize, u32(size), 1000))
        return false;

    // Depth first through the pointers; links only lead forward, so the walk
    // ends.  Every record read must lie inside the block.
    DIRECTORY* stack[64];
    int sp = 0;
    stack[sp++] = reinterpret_cast<DIRECTORY*>(block.Bytes());
    u32 sum = 0;
    while (sp > 0) {
        DIRECTORY* d = stack[--sp];
        for (; d != nullptr; d = d->siblingptr) {
            sum += u8(d->name[0]);
            for (s32 i = 0; i < d->entries; i++)
                sum += d->entry[i].start + d->entry[i].length;
            if (d->childptr != nullptr && sp < 64)
                stack[sp++] = d->childptr;
        }
    }
    static volatile u32 sink;
    sink = sink + sum;
    return true;
}
