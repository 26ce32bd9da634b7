// The disc drive as the I/O processor's modules see it.  The disc is a host
// directory (--disc DIR): ISO 9660 paths ("\DIR\FILE.EXT;1") name the files
// below it case-insensitively, and each file occupies a stable range of
// 2,048-byte sectors.  Commands complete after the time of --cd-model.
#pragma once

#include "ee/types.h"

#define SCECdSecS2048 0  // 2,048-byte data sectors
#define SCECdSpinMax 0
#define SCECdSpinNom 1
#define SCECdCD 1
#define SCECdDVD 2
#define SCECdComplete 0x02  // sceCdDiskReady: a disc is in and ready

// A file found by sceCdSearchFile.
struct sceCdlFILE
{
    u32 lsn;        // first sector
    u32 size;       // bytes
    char name[16];  // "NAME.EXT;1"
    u8 date[8];
};
static_assert(sizeof(sceCdlFILE) == 32);

// Read mode: stored, not interpreted (no error modes are modelled).
struct sceCdRMode
{
    u8 trycount;
    u8 spindlctrl;
    u8 datapattern;
    u8 pad;
};
static_assert(sizeof(sceCdRMode) == 4);

// Start-up calls; both return 1.
int iop_sceCdInit(int mode);
int iop_sceCdMmode(int media);

// SCECdComplete when a disc is configured, 0 without one.
int sceCdDiskReady(int mode);

// Finds `name` on the disc: fills `file` and returns 1, or returns 0.
int sceCdSearchFile(sceCdlFILE* file, const char* name);

// Starts reading `sectors` sectors from `lsn` into IOP memory at `buf`.
// Returns 1 when the command is accepted, 0 when the drive is busy or the
// arguments are bad.  The data lands when the command completes; sectors
// past the end of a file read as zeros.
int sceCdRead(u32 lsn, u32 sectors, void* buf, sceCdRMode* mode);

// Moves the head to `lsn` (a later read from there is sequential).
int sceCdSeek(u32 lsn);

// Mode 0 waits for the current command (TSW_CDVD) and returns 0; mode 1
// returns 1 while it runs and 0 once it has completed.
int sceCdSync(int mode);

// 0: no error modes are modelled.
int sceCdGetError();

// Spin the disc up or down; both return 1.  After a stop the next read pays
// the seek time.
int sceCdStandby();
int sceCdStop();
