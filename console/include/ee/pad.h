// The pad library: the two controller ports as the game reads them.  A pad's
// data is latched at each vertical blank; set-up commands take a few fields
// to complete, during which the pad reports that a command is executing.
// Ports 0 and 1 exist, each with slot 0 only (no multitap).
#pragma once

#include <ee/types.h>

// What scePadGetState reports.
enum {
    PAD_STATE_DISCONNECTED = 0,  // no pad in the port
    PAD_STATE_FINDING = 1,       // a pad was plugged in and is being identified
    PAD_STATE_FOUND = 2,         // identified, digital mode, ready for commands and reads
    PAD_STATE_EXECUTING = 5,     // a set-up command is running; wait before the next one
    PAD_STATE_STABLE = 6,        // a command finished; ready for commands and reads
};

// Terms of scePadInfoMode.
enum {
    PAD_INFO_CURRENT_ID = 1,   // id of the current mode: 4 digital, 7 analogue
    PAD_INFO_CURRENT_EXID = 2, // extended id of the current mode: 0
    PAD_INFO_CURRENT_OFFS = 3, // index of the current mode in the id table
    PAD_INFO_ID_TABLE = 4,     // offs -1: number of modes; offs i: id of mode i
};

// Starts the library; 1 on success, 0 when the pad manager module is not
// resident on the I/O processor.  `mode` must be 0.
int scePadInit(int mode);

// Opens a port for reading; 1 on success.  `dma_buf` is the caller's 256-byte,
// 64-byte aligned area for the port; it must stay valid until the port is
// closed and is never written here.
int scePadPortOpen(int port, int slot, u_long128* dma_buf);

// Closes an open port (its motors stop); 1 on success.
int scePadPortClose(int port, int slot);

// One of the PAD_STATE_ values for an open port.
int scePadGetState(int port, int slot);

// Copies the data latched at the last vertical blank into `rdata` (32 bytes
// available) and returns how many bytes are valid: 4 in digital mode, 8 in
// analogue mode, 20 with pressure; 0 while no pad is ready.  Bytes: [0] 0,
// [1] mode id << 4 | data half-words, [2..3] buttons with 0 = pressed,
// [4..7] sticks right x, right y, left x, left y (0x80 = centre),
// [8..19] pressures right, left, up, down, triangle, circle, cross, square,
// L1, R1, L2, R2.  Bytes beyond the returned count are left as they were.
int scePadRead(int port, int slot, unsigned char* rdata);

// Mode information (PAD_INFO_ terms); 0 while no pad is ready.
int scePadInfoMode(int port, int slot, int term, int offs);

// Starts switching to digital (offs 0) or analogue (offs 1) mode; `lock` 3
// keeps the pad's own mode button from changing it.  1 when the command was
// accepted (the pad was ready), 0 otherwise.
int scePadSetMainMode(int port, int slot, int offs, int lock);

// 1 when the pad offers pressure-sensitive buttons (it is ready), else 0.
int scePadInfoPressMode(int port, int slot);

// Start switching the pressure-sensitive mode on or off (analogue mode only
// reports pressures).  1 when accepted, 0 when the pad was not ready.
int scePadEnterPressMode(int port, int slot);
int scePadExitPressMode(int port, int slot);

// Actuator information: with actno -1 the number of motors (2: motor 0 on/off,
// motor 1 level 0..255) of an open port; with actno 0 or 1, 1 for a motor
// that exists; else 0.
int scePadInfoAct(int port, int slot, int actno, int term);

// Sets which of the six bytes of scePadSetActDirect drives which motor
// (align[i] = motor number, 0xFF = none).  The setting is kept across
// unplugging; while a pad is ready it runs as a short command.  1 on success.
int scePadSetActAlign(int port, int slot, const unsigned char* align);

// Drives the motors at once from six bytes laid out by the alignment; 1 when
// a pad is connected, else 0.
int scePadSetActDirect(int port, int slot, const unsigned char* data);
