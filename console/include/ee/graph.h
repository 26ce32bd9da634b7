// The graphics library's calls on the main processor.
#pragma once

#include "ee/regs.h"
#include "ee/types.h"

// Waits for the next vertical blank (field boundary) and returns the field
// then being displayed: CSR.FIELD, alternating 0 and 1 in interlaced modes
// and always 0 in progressive ones.  `mode` is 0 (the only mode the game
// uses).
int sceGsSyncV(int mode);

// ---------------------------------------------------------------------------
// Display set-up.

// A display environment: the images of the shared display registers and of
// read circuit 2, in the order sceGsPutDispEnv writes them.
struct sceGsDispEnv
{
    tGS_PMODE pmode;
    tGS_SMODE2 smode2;
    tGS_DISPFB2 dispfb;
    tGS_DISPLAY2 display;
    tGS_BGCOLOR bgcolor;
};
static_assert(sizeof(sceGsDispEnv) == 40);

// Resets the graphics synthesizer's drawing side (registers, queues; local
// memory is kept), switches the display off (PMODE 0) and selects the video
// mode: `omode` 2 NTSC, 3 PAL, 0x50 progressive 480 lines; `inter` 1 for
// interlace, `ffmode` 1 for frame mode.  The new field rate starts at the next
// vertical blank.  `mode` is 0.  Returns 0, or -1 for an unknown video mode
// (nothing changed).
int sceGsResetGraph(short mode, short inter, short omode, short ffmode);

// Fills `disp` with a display of a `w` x `h` buffer of format `psm` at block
// 0, centred for the video mode of the last sceGsResetGraph and moved by
// (`dx`, `dy`) pixels: read circuit 2 on (PMODE EN2, fixed alpha), the full
// picture width spread over the mode's visible line.  Nothing is written to
// the hardware.
void sceGsSetDefDispEnv(sceGsDispEnv* disp, short psm, short w, short h, short dx, short dy);

// Writes PMODE, SMODE2, DISPFB2, DISPLAY2 and BGCOLOR from `disp`, in that
// order.
void sceGsPutDispEnv(const sceGsDispEnv* disp);

// Waits until the paths to the GS are idle: DMA channels 1 (VIF1) and 2
// (GIF), VIF1 (no stall, no code waiting for data) and every GIF path (no
// packet left open).  `mode` 0 waits and returns 0, or -1 with a diagnostic
// after one virtual second (for example a VIF1 stall whose interrupt is
// masked); `mode` 1 polls and returns 0 when idle, non-zero while busy.
// `timeout` is not used.
int sceGsSyncPath(int mode, u16 timeout);

// ---------------------------------------------------------------------------
// Read-back of GS local memory (local->host transfer).

// A read-back request: the transfer registers as A+D pairs (register value,
// then register address), written in this order by sceGsExecStoreImage.
struct alignas(16) sceGsStoreImage
{
    u64 bitbltbuf;
    u64 bitbltbufaddr;
    u64 trxpos;
    u64 trxposaddr;
    u64 trxreg;
    u64 trxregaddr;
    u64 trxdir;
    u64 trxdiraddr;
};
static_assert(sizeof(sceGsStoreImage) == 64);

// Fills `si` to read the `w` x `h` rectangle at (`x`, `y`) of the buffer at
// block `sbp`, `sbw` 64-pixel units wide, in format `spsm`.  Nothing is sent.
void sceGsSetDefStoreImage(sceGsStoreImage* si, short sbp, short sbw, short spsm, short x, short y, short w,
                           short h);

// Runs the read-back `si` describes and writes the rectangle to `dst` in the
// format's packed order (rows without gaps, 4-bit pixels two to a byte, low
// nibble first, 24-bit pixels three bytes each): exactly the rectangle's
// bytes, never more.  Waits for the VIF1 and GIF channels to be idle first.
// Leaves D1_CHCR.TTE cleared, as the read-back through the VIF1 path does;
// the caller sets it again before sending tagged chains.  Returns 0, or -1
// (with a diagnostic, nothing written) when `si` is not a read-back request.
int sceGsExecStoreImage(sceGsStoreImage* si, u_long128* dst);
