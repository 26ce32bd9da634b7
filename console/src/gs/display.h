// The graphics synthesizer's display side: the privileged registers PMODE,
// SMODE2, DISPFB1/2, DISPLAY1/2, BGCOLOR and CSR, and the read-out that turns
// them and local memory into the picture of each field.
//
// Read-out.  Each enabled read circuit shows the rectangle of its frame
// buffer (DISPFB: FBP in 2,048-word pages, FBW in 64-pixel units, PSM, origin
// DBX/DBY) that is (DW + 1) / (MAGH + 1) pixels wide and (DH + 1) / (MAGV + 1)
// lines high; columns past the buffer width show what lies beneath.  16-bit
// pixels widen each 5-bit channel c to c << 3 | c >> 2; the alpha bit reads
// as 0x80; CT24 pixels read alpha 0x80.  Circuit 1 lies over circuit 2 (or,
// with SLBG, over the background colour alone), blended per channel as
// (C1 x a + C2 x (255 - a) + 127) / 255 with a = ALP (MMOD 1) or circuit 1's
// pixel alpha (MMOD 0); where no circuit shows, the picture is BGCOLOR.
// Output pixels are opaque (AMOD chooses an alpha for a write-back path that
// is not modelled).  Field and interlace structure are not reproduced: the
// buffer is shown whole at every field.
//
// Picture geometry.  DISPLAY positions are in video clock units (DX, DW) and
// raster lines (DY, DH); MAGH + 1 clock units make one pixel of a circuit.
// The picture's pixel is the finest of the circuits shown (the smallest
// MAGH + 1 and MAGV + 1), its top-left corner the top-left-most circuit, and
// it extends to the right and bottom edge of the furthest circuit; a coarser
// circuit's pixels repeat.  So the game's 640 x 512 set-up (MAGH 3, DW 2,559,
// DH 511) gives a 640 x 512 picture, its two-circuit de-flicker set-up too
// (circuit 2 one line shorter), and the 480p values (MAGH 2, DW 1,494) give
// 498 x 512, as the registers say.  With no circuit on (PMODE 0) the picture
// is the background colour at the size of the last picture that had one
// (640 x 512 before any).
#pragma once

#include <cstdint>

#include "ee/video.h"
#include "host/host.h"

namespace console::gs {

// The privileged registers' images as the read-out uses them.
struct DisplayRegisters {
    uint64_t pmode = 0;
    uint64_t smode2 = 0;
    uint64_t dispfb1 = 0;
    uint64_t display1 = 0;
    uint64_t dispfb2 = 0;
    uint64_t display2 = 0;
    uint64_t bgcolor = 0;
};

// The values last written through the register accessors.
DisplayRegisters CurrentDisplayRegisters();

// The picture `regs` describe over the GS local memory, into `out` (resized).
// The display module's own state only supplies the size of a picture with no
// circuit on.
void ReadOut(const DisplayRegisters& regs, host::RgbaImage& out);

// What a picture was read out from (ReadOutIfChanged).
struct ReadOutMemo {
    bool valid = false;
    DisplayRegisters regs;
    uint64_t memory = 0, stamp = 0;
    uint32_t width = 0, height = 0;
};

// ReadOut into `out`, unless `memo` says `out` already holds the picture of
// `regs` read out from memory that nothing shown has been written in since
// (a game drawing a picture every other field shows each twice): then false,
// with nothing read and no drawing waited for.
bool ReadOutIfChanged(const DisplayRegisters& regs, host::RgbaImage& out, ReadOutMemo& memo);

// The read-out of the current registers (screenshots, tests).
void ReadOutCurrent(host::RgbaImage& out);

// The video mode the last sceGsResetGraph selected, which the default display
// environment is laid out for.
struct GraphMode {
    VideoMode mode = VideoMode::kPal;
    bool interlaced = true;
    bool frame_mode = false;
};
GraphMode CurrentGraphMode();
void SetGraphMode(const GraphMode& mode);

// Installs the per-field read-out as the video timing's present hook: at each
// field boundary the picture goes to host::Video().Present when a front end
// has a video sink, and the run ends (status 0, outputs flushed) once the
// field given by --exit-after-vblanks has been presented.  Done at start-up
// and by every scheduler reset; idempotent.
void InstallDisplay();

// Power-on state: display registers 0, PAL interlaced field mode, picture
// size 640 x 512.  Part of ResetScheduler.
void ResetDisplay();

}  // namespace console::gs
