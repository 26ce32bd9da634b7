// The disc: a host directory (--disc DIR) seen as an ISO 9660 volume.  Every
// regular file below the directory is a file of the disc; ISO paths
// ("\KORVALIS\KORVALIS.PAK;1", '/' also accepted, the ";version" ignored)
// match host names case-insensitively.  Files get consecutive, sector-aligned
// ranges of 2,048-byte sectors in the order of their upper-cased paths, so a
// file's sectors are the same from run to run.  The index is built when the
// disc is first used after start-up, a reboot of the scheduler or a change of
// --disc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace console::cdvd {

constexpr uint32_t kSectorSize = 2048;

// The first sector a file may occupy (below it would lie the volume's
// descriptors and directories).
constexpr uint32_t kFirstFileLsn = 32;

struct DiscFile {
    std::string iso_path;   // upper case, '\' separated, no leading '\' ("KORVALIS\KORVALIS.PAK")
    std::string host_path;  // where the bytes are
    uint32_t lsn = 0;       // first sector
    uint32_t sectors = 0;   // sectors reserved (at least 1)
    uint64_t size = 0;      // bytes
};

// True when --disc names a readable directory.
bool DiscPresent();

// The file an ISO path names, or null.
const DiscFile* FindFile(std::string_view iso_path);

// Reads `count` sectors from `lsn`: the bytes of whichever files own them,
// zeros past a file's end and where no file lies.
void ReadSectors(uint32_t lsn, uint32_t count, uint8_t* out);

// Forgets the index (the next use rebuilds it).
void ResetDisc();

}  // namespace console::cdvd
