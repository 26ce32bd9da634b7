// The streaming module "ZevStreamer" (export library "stmman"): the disc
// archive's record layout, the remote-call protocol of server 0x1776 and the
// command entry other I/O-processor modules call.
//
// This header holds types only, so that the main processor's streamer client
// and the archive builder in tools/ share the module's records.
#pragma once

#include <ee/types.h>

// The disc archive "KORVALIS.PAK" begins with its directory block, read as one
// piece; the root DIRECTORY lies at offset 0.  All words are little-endian.
// Files start on 2048-byte sectors, counted from the archive's first sector.
constexpr u32 PAK_SECTOR_SIZE = 2048;

// One file of a directory.
struct DIRENTRY {
    char name[12];   // +0  "BASE.EXT" upper case, padded with blanks; base at most 8
    u32 start;       // +12 first sector (relative to the archive; absolute once loaded)
    u32 length;      // +16 bytes
};
static_assert(sizeof(DIRENTRY) == 20, "archive file record");

// One directory, followed by its file records.  child and sibling are byte
// offsets from the start of the directory block as stored; once the block is
// loaded they are turned into pointers in place (pointers are 32 bits).
struct DIRECTORY {
    char name[8];          // +0  upper case, padded with blanks
    union {
        u32 child;         // +8  offset of the first subdirectory, 0 = none
        DIRECTORY* childptr;
    };
    union {
        u32 sibling;       // +12 offset of the next directory of the same level, 0 = none;
        DIRECTORY* siblingptr;  //  in the root record: the byte size of the directory block
    };
    s32 entries;           // +16 number of DIRENTRY records that follow
    DIRENTRY entry[];      // +20
};
static_assert(sizeof(DIRECTORY) == 20, "archive directory record");
static_assert(sizeof(DIRECTORY*) == 4, "directory links are stored in place as 32-bit pointers");

// Checks the archive's directory block (blocksize bytes, as read from the
// front of an archivesize-byte archive starting at disc sector firstsector)
// and, when it is sound, turns its links into pointers and its file sectors
// into absolute ones.  False, with a "STREAM: Bad archive" line saying what
// is wrong and where, and the block unchanged, otherwise.  The module runs it
// on its first look-up.
bool LoadPakDirectory(u8* block, u32 blocksize, u32 archivesize, u32 firstsector);

// The archive on the disc, found by the module on its first look-up.
#define PAK_DISC_PATH "\\KORVALIS\\KORVALIS.PAK;1"

// The remote-call server and its commands (function number = command).
constexpr u32 STREAM_RPC_SERVER = 0x1776;
enum {
    STREAMCMD_INIT = 1,         // {u32 bufmemsize, u32 nstreams} -> 1 / 0
    STREAMCMD_OPEN = 2,         // {u32 offset, char filename[]} -> {channel or -1, position, totalsize};
                                // refused for a damaged archive: {-1, -1, 0}
    STREAMCMD_CLOSE = 3,        // {int channel} -> 0
    STREAMCMD_STATUS = 4,       // {int channel, u32 wait} -> pending count
    STREAMCMD_TOTALSIZE = 5,    // {int channel} -> totalsize
    STREAMCMD_READ_EE = 6,      // {int channel, u32 eeaddr, u32 size} -> pending count
    STREAMCMD_READ_SPU = 7,     // {int channel, u32 spuaddr, u32 size, u32 markerflags} -> pending count
    STREAMCMD_READ_IOP = 8,     // {int channel, u32 iopaddr, u32 size} -> -1, clipped size, or 0
    STREAMCMD_SEEK = 9,         // {int channel, int offset, int seekmode} -> new position
    STREAMCMD_STOP = 10,        // {int channel} -> 0
    STREAMCMD_BADBLOCK = 11,    // {int channel} -> the file offset of the first block a checked sound-RAM
                                // transfer found not to be sound data, or -1
};

// Size of the module's request buffer: the longest request it accepts.
constexpr int STREAM_ARGBUF_SIZE = 512;

// Where a queued transfer goes.
enum xferdest : u8 {
    DEST_NONE = 0,
    DEST_SIF = 1,   // main memory, by SIF DMA
    DEST_SPU = 2,   // sound RAM, by the sound library's voice transfer
    DEST_IOP = 3,   // I/O-processor memory, by a copy
    DEST_SEEK = 4,  // not a transfer: a new position
};

enum xfersrc : u8 {
    SRC_CD = 0,
};

// Loop flags written into the ADPCM blocks of a sound-RAM transfer.
enum sndmarkerflags : u8 {
    SNDMARKER_NORMAL = 0,
    SNDMARKER_START = 1,
    SNDMARKER_END = 2,
    SNDMARKER_STOPATEOF = 4,
    SNDMARKER_NOSTART = 8,
    SNDMARKER_NOEND = 16,
    SNDMARKER_SPUFLAGS = 31,
    // Not a loop flag: every 16-byte block of the transfer is checked to be
    // sound data (a shift of at most 12, a filter of at most 4, flags of at
    // most 7, as the sound processor decodes and as our writers encode); the
    // first block that is not is kept for STREAMCMD_BADBLOCK.
    SNDMARKER_CHECKBLOCKS = 32,
};

// The command table as a direct call from another I/O-processor module
// (library "stmman", its first own entry).  data holds the request words;
// the reply is returned, for an open only the channel number.
int RunStreamCommand(int fno, void* data, int size);
