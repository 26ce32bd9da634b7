// The platform facade: start-up of the console (graphics and vector-unit
// interfaces, the vertical-blank counter, the I/O processor and its modules),
// the display and its frame buffers, and the hand-over of finished frames to
// the graphics hardware.
//
// The game fills one of two command chains per frame while the hardware runs
// the other.  A frame draws into the 32-bit draw buffer; at a vertical blank,
// once its chain has finished drawing and at least `framelock` blanks have
// passed since the last flip, a short copy pass moves the draw buffer into
// the 16-bit display buffer (dithered) and the next waiting chain starts in
// the same DMA transfer.
//
// All platform state lives in the single global `platformps2`; `Platform`'s
// static members forward to it.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Callback.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Packet.h"

#include <ee/graph.h>

// The low byte is the video mode handed to the graphics reset (2 NTSC, 3 PAL,
// 0x50 progressive 480 lines); 0x100 asks for interlace, 0x200 for frame mode.
enum GRAPHICS_MODE {
    GM_NTSC = 258,
    GM_PAL = 259,
    GM_480P = 80,
    GM_INTERLACE = 256,
    GM_FRAME = 512,
};

// A point in the drawing of frames.  The frame chains send model call lists
// and vertex data by reference, and are read by DMA up to two frames after
// they were built (one chain drawing while the next is filled), so a block
// that a chain may reference is released only once the fence placed when the
// block was given up has passed.
struct DrawFence
{
    u32 drawn[2];   // how often each chain must have been drawn
};

class Platform
{
public:
    // A fence behind the chain being filled and the one waiting to be drawn.
    static DrawFence PlaceFence();
    // True once every chain that was being filled or waiting when the fence
    // was placed has been drawn.
    static bool FencePassed(const DrawFence& fence);
    // Start-up, once, before any other platform call.
    static void Init();
    // The first call opens the display at once; later calls (a mode change)
    // take effect at the next BeginScene, once both chains have drained.
    static void InitGraphics(GRAPHICS_MODE mode, int w, int h);
    // Waits until both chains have drawn, two more blanks, then empties the
    // texture manager's upload lists (level tear-down).
    static void Reset();
    // Opens a frame: waits for a free chain, clears the draw and Z buffers.
    static void BeginScene();
    // Closes the frame; it is shown at least `framelock` blanks after the
    // previous one.
    static void EndScene(int framelock);
    static GRAPHICS_MODE GetGraphicsMode();
    static int GetWidth();
    static int GetHeight();
    static Surface& GetDispBuffer();
    static Surface& GetDrawBuffer();
    static Surface& GetZBuffer();
    static void DisplayOn();
    static void DisplayOff();
    // Waits for the next vertical blank; returns the field then displayed.
    static int Sync();
    // Vertical blanks since start-up: the game's frame clock.
    static u32 Count();
    // Vertical-blank callbacks run in the interrupt, newest first.
    static void AddCallback(Callback* cb);
    static bool RemoveCallback(Callback* cb);
};

// The display registers of both read circuits: the platform's display
// environment (circuit 2) followed by circuit 1's DISPFB and DISPLAY.
struct DispEnvTwoCircuits : sceGsDispEnv
{
    tGS_DISPFB1 dispfb1;
    tGS_DISPLAY1 display1;

    void Init(const Surface& s, GRAPHICS_MODE mode);
    // Writes the registers; `both` shows the two circuits one line apart,
    // blended half and half (every caller shows circuit 1 alone).
    void Display(bool both);
};
static_assert(sizeof(DispEnvTwoCircuits) == 56, "register images written to the GS");

// The vertical-blank callback list and the frame counter.
class VBCallbacks : public Callbacks
{
public:
    volatile u32 vsynccount = 0;   // written by the interrupt, polled by Sync
    int vb_handlerid = -1;

    void On();
    void Off();
    int Sync();
    static int intHandler(int cause);
};

extern VBCallbacks vbcallbacks;

constexpr int VBFLIP_SWAP_QWC = 128;

// The frame flip, run as a vertical-blank callback.
class VBFlip : public Callback
{
public:
    u_long128 gs_swap[VBFLIP_SWAP_QWC];   // the copy pass (GIF data), built by Init
    DMAtag dmaRef __attribute__((aligned(16)));    // REF gs_swap, or REFE when nothing follows
    DMAtag dmaNext __attribute__((aligned(16)));   // NEXT to the chain started after the copy
    // Shared with the vertical-blank and VIF1 interrupts: read afresh on
    // every poll.
    volatile bool used[2] = {false, false};   // chain holds a frame not yet drawn to completion
    volatile bool bFlipEnabled = false;       // the chain last started has finished drawing
    volatile int iDispBuff = 1;               // toggled at each flip; 1 - iDispBuff starts next
    int iFillBuff = 0;                        // the chain the game is filling
    volatile u32 iVSyncFlipTarget = 0;        // earliest vsynccount of the next flip
    volatile int iLastFlipState = 0;          // 1 if the last flip started a chain
    volatile u32 drawnCount[2] = {0, 0};      // frames each chain has drawn to completion
    bool filling = false;                     // between BeginScene and EndScene
    int framelock = 0;                        // minimum blanks between flips

    void Init(Surface& disp, Surface& draw, Surface& z);
    // Sends the copy pass, then `chain` (null: the copy alone).
    void Chain(u_long128* chain);
    // The chain last started has finished drawing (VIF1 interrupt).
    void GSDone();
    void WaitToFill();
    void BeginScene();
    void EndScene(int framelock);
    int operator()(void* p) override;
};
static_assert(sizeof(DMAtag) == 16);

class PlatformPS2 : public Callback
{
public:
    DispEnvTwoCircuits disp;
    Surface dispbuffer, drawbuffer, zbuffer;
    VBFlip vbflip;
    GRAPHICS_MODE graphics_mode = GRAPHICS_MODE(0);   // 0 until the first InitGraphics
    int scrn_width = 0, scrn_height = 0;
    bool init_graphics = false;   // a re-initialisation waits for the next BeginScene

    void InitGraphics(GRAPHICS_MODE mode, int w, int h);
    // Resets the GS for graphics_mode, lays out the frame buffers and the
    // texture area in GS memory and opens the display.
    void _InitGraphics();
    // Reboots the I/O processor with the update image and loads the modules.
    static void InitIO();
    // The drawing-finished callback (VIF1 interrupt): the flip may go on.
    int operator()(void* p) override;
};

extern PlatformPS2 platformps2;

// Loads a module image held in main memory onto the I/O processor; returns
// the module id, negative on failure.  `args` may be null (no arguments).
int LoadIRX(void* image, int size, char* args);
