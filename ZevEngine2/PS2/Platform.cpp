#include "ZevEngine2/PS2/Platform.h"

#include <ee/dma.h>
#include <ee/regs.h>
#include <ee/sif.h>

#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/Streamer.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/Vector.h"
#include "ZevEngine2/Utilities.h"

PlatformPS2 platformps2;
VBCallbacks vbcallbacks;

namespace {

// GS memory counted in 256-byte blocks.
constexpr int kGsBlocks = 16384;

// Copy-pass dither matrix: rows {-4, 2, -3, 3}, {0, -2, 1, -1},
// {-3, 3, -4, 2}, {1, -1, 0, -2}, three-bit fields four bits apart.
constexpr u64 kSwapDimx = 0x6071243571603524ull;

// The reboot is accepted and finishes within a few polls; a reboot that is
// never accepted (the update image cannot be read) must not hang start-up.
constexpr int kRebootTries = 1000;
constexpr int kSyncPolls = 100000;

// Busy-wait iterations between polls of a variable an interrupt writes.
constexpr u32 kPollSpin = 1000;

const char kUpdateImage[] = "cdrom0:\\KORVALIS\\IOPRP250.IMG;1";

template <class T>
u64 RegImage(const T& reg)
{
    static_assert(sizeof(T) == 8);
    u64 v;
    std::memcpy(&v, &reg, 8);
    return v;
}

// The tag's id byte (the top byte of its first word).
void SetTagId(DMAtag* tag, u8 id)
{
    volatile u8* p = &EE_UNCACHED(tag)->id;
    *p = id;
}

void SetTTE()
{
    sceDmaGetChan(SCE_DMA_VIF1)->chcr.TTE = 1;
}

u_long128* ChainBuffer(int i)
{
    return dmabuff[i & 1];
}

// Waits one vertical blank at a time until neither chain holds a frame.
void WaitChainsDrained()
{
    while (platformps2.vbflip.used[0] || platformps2.vbflip.used[1])
        vbcallbacks.Sync();
}

}  // namespace

// ----------------------------------------------------------------- start-up

int LoadIRX(void* image, int size, char* args)
{
    void* iop = sceSifAllocIopHeap(u32(size));
    if (!iop)
        return -1;
    sceSifDmaData record{u32(uintptr_t(image)), u32(uintptr_t(iop)), u32(size), 0};
    // The transfer is queued ahead of the load request, so the image has
    // landed by the time the I/O processor reads it.
    sceSifSetDma(&record, 1);
    const int arglen = args ? int(strlen(args)) + 1 : 0;
    const int id = sceSifLoadModuleBuffer(iop, arglen, args);
    sceSifFreeIopHeap(iop);
    return id;
}

void Platform::Init()
{
    DPUT_GS_BGCOLOR(0);
    DPUT_VIF1_FBRST(1);   // reset
    DPUT_VIF1_ERR(2);     // DMA-tag mismatch errors masked: tags carry VIF codes
    DPUT_GIF_CTRL(1);     // reset
    EE_SYNC();

    VU0::Init();

    vbcallbacks.first = nullptr;
    vbcallbacks.On();

    PlatformPS2::InitIO();
}

void PlatformPS2::InitIO()
{
    snDebugInit();
    sceSifInitRpc(0);

    printf("Replace IOP\n");
    sceCdInit(SCECdINIT);
    sceCdMmode(SCECdCD);

    int tries = 0;
    while (!sceSifRebootIop(kUpdateImage)) {
        if (++tries == kRebootTries)
            break;
    }
    if (tries == kRebootTries) {
        printf("IOP reboot refused; going on with the modules already loaded\n");
    } else {
        int polls = 0;
        while (!sceSifSyncIop()) {
            if (++polls == kSyncPolls) {
                printf("IOP reboot did not finish\n");
                break;
            }
        }
    }

    // A reboot forgets every EE-side service: set each up again.
    sceSifInitRpc(0);
    sceCdInit(SCECdINIT);
    sceCdMmode(SCECdCD);
    sceFsReset();
    sceSifInitIopHeap();

    printf("Load IRX's\n");
    LoadIRX(sio2man, 6553, nullptr);
    LoadIRX(padman, 44917, nullptr);
    LoadIRX(libsd, 28573, nullptr);

    // The sound module calls the streaming module, so streaming starts first.
    if (!StreamerInit())
        printf("Streaming initialization failed.\n");
    if (!SoundInit())
        printf("Sound initialization failed.\n");

    ee_spin(1000);

    DPUT_T0_MODE(0x82);   // bus clock / 256, counting
    DPUT_T0_COUNT(0);
}

// ------------------------------------------------------------ vertical blank

void VBCallbacks::On()
{
    vb_handlerid = AddIntcHandler(2, intHandler, 0);
    sceGsSyncV(0);
    EnableIntc(2);
}

void VBCallbacks::Off()
{
    RemoveIntcHandler(2, vb_handlerid);
    DisableIntc(2);
    vb_handlerid = -1;
}

int VBCallbacks::Sync()
{
    const u32 count = vsynccount;
    while (vsynccount == count)
        ee_spin(kPollSpin);
    return int((DGET_GS_CSR() >> 13) & 1);
}

int VBCallbacks::intHandler(int)
{
    vbcallbacks.vsynccount = vbcallbacks.vsynccount + 1;
    vbcallbacks.DoCallbacks(&vbcallbacks);
    EE_SYNC();
    EE_EI_IN_HANDLER();
    return -1;
}

// ------------------------------------------------------------------ display

void DispEnvTwoCircuits::Init(const Surface& s, GRAPHICS_MODE mode)
{
    sceGsSetDefDispEnv(this, short(s.format & 0x3F), short(s.width), short(s.height), 0, 0);
    dispfb.FBP = u64((s.GetVRAM() & 0x3FFF) >> 5);
    if (mode == GM_480P && s.height == 512) {
        display.DX = 176;
        display.DY = 56;
        display.MAGH = 2;
        display.DW = 1494;
    }
    pmode.ALP = 0x80;
    dispfb1 = dispfb;
    display1 = display;
    // Circuit 2 shows the buffer one line lower, so that showing both blends
    // neighbouring lines (a de-flicker filter).
    dispfb.DBY = 1;
    display.DH = display1.DH - 1;
    pmode.EN1 = 1;
    pmode.EN2 = 0;
}

void DispEnvTwoCircuits::Display(bool both)
{
    pmode.EN1 = 1;
    pmode.EN2 = both;
    pmode.ALP = both ? 0x80 : 0xFF;
    DPUT_GS_PMODE(RegImage(pmode));
    DPUT_GS_SMODE2(RegImage(smode2));
    DPUT_GS_DISPFB2(RegImage(dispfb));
    DPUT_GS_DISPLAY2(RegImage(display));
    DPUT_GS_DISPLAY1(RegImage(display1));
    DPUT_GS_DISPFB1(RegImage(dispfb1));
}

// --------------------------------------------------------------------- flip

void VBFlip::Init(Surface& disp, Surface& draw, Surface& z)
{
    std::memset(gs_swap, 0, sizeof gs_swap);
    u64* q = reinterpret_cast<u64*>(gs_swap);
    const sceGifTag t = MakeGifTag(3, true, 0, 1, GS_AD);
    std::memcpy(q, &t, 16);
    q += 2;
    const u64 head[3][2] = {{kSwapDimx, GS_DIMX}, {1, GS_DTHE}, {1, GS_COLCLAMP}};
    for (const auto& ad : head) {
        *q++ = ad[0];
        *q++ = ad[1];
    }

    // One sprite in context 2 samples the 32-bit draw buffer into the 16-bit
    // display buffer; the dither matrix above spreads the lost bits.  UV are
    // in 1/16 texel; the Z buffer is set but not written.
    Render2D_raw r;
    r.InitState(q, reinterpret_cast<u64*>(gs_swap + VBFLIP_SWAP_QWC));
    r.SetZBuffer(z, true, false);
    r.SetTexture(&draw, TEXMODE_DECAL);
    r.DrawSprite2(disp, PixelX(0.0f).v, PixelY(0.0f).v, PixelX(float(disp.width)).v, PixelY(float(disp.height)).v,
                  16, 16, 16 * draw.width + 16, 16 * draw.height + 16, 0xFFFFFF);
    const u32 qwc = u32(reinterpret_cast<u_long128*>(r.p) - gs_swap);

    dmaRef = DMAtag{u16(qwc), 0, DMA_REF, u32(uintptr_t(EE_PHYS(gs_swap))), {VIF_NOP, VIF_DIRECTQW(qwc)}};
    dmaNext = DMAtag{0, 0, DMA_NEXT, 0, {VIF_NOP, VIF_NOP}};
    FlushCache(0);
}

void VBFlip::Chain(u_long128* chain)
{
    SetTTE();
    volatile DMAtag* next = EE_UNCACHED(&dmaNext);
    next->next = u32(uintptr_t(chain));
    SetTagId(&dmaRef, chain ? DMA_REF : DMA_REFE);
    sceDmaSend(sceDmaGetChan(SCE_DMA_VIF1), EE_PHYS(&dmaRef));
}

int VBFlip::operator()(void*)
{
    if (!bFlipEnabled || vbcallbacks.vsynccount < iVSyncFlipTarget)
        return 0;
    bFlipEnabled = false;
    iVSyncFlipTarget = vbcallbacks.vsynccount + u32(framelock);
    iLastFlipState = 0;
    iDispBuff = !iDispBuff;

    u_long128* chain = nullptr;
    const int next = 1 - iDispBuff;
    if (used[next]) {
        TexManDrawScene(therenderer);
        SetTTE();
        chain = EE_PHYS(ChainBuffer(next));
        iLastFlipState = 1;
    }
    Chain(chain);
    return 0;
}

void VBFlip::GSDone()
{
    bFlipEnabled = true;
    const int drawn = 1 - iDispBuff;
    if (used[drawn])
        drawnCount[drawn] = drawnCount[drawn] + 1;
    used[drawn] = false;
}

void VBFlip::WaitToFill()
{
    while (used[iFillBuff])
        ee_spin(kPollSpin);
}

void VBFlip::BeginScene()
{
    filling = true;
    therenderer.BeginScene(ChainBuffer(iFillBuff), gifbuff[iFillBuff & 1], false);
}

void VBFlip::EndScene(int _framelock)
{
    framelock = _framelock;
    therenderer.EndScene();
    // The previous chain's transfer must be over before it can be restarted.
    while (sceGsSyncPath(0, 0) != 0) {
    }

    DIntr();
    filling = false;
    used[iFillBuff] = true;
    iFillBuff = !iFillBuff;
    if (used[iFillBuff] && bFlipEnabled) {
        // The next vertical blank flips and starts the chain.
    } else if (iDispBuff == iFillBuff) {
        // The hardware is idle and the other chain drained: start the frame
        // at once, without a copy pass.
        TexManDrawScene(therenderer);
        EIntr();
        SetTTE();
        sceDmaSend(sceDmaGetChan(SCE_DMA_VIF1), EE_PHYS(ChainBuffer(1 - iDispBuff)));
    }
    EIntr();
}

// --------------------------------------------------------------- PlatformPS2

int PlatformPS2::operator()(void*)
{
    vbflip.GSDone();
    return 0;
}

void PlatformPS2::InitGraphics(GRAPHICS_MODE mode, int w, int h)
{
    const GRAPHICS_MODE previous = graphics_mode;
    scrn_width = w;
    scrn_height = h;
    graphics_mode = mode;
    if (previous != 0) {
        init_graphics = true;
        return;
    }
    _InitGraphics();
    SetGSyncCallback(this);
    vbcallbacks.Add(&vbflip);
    TexManOn();
}

void PlatformPS2::_InitGraphics()
{
    printf("_InitGraphics()\n");
    const int mode = graphics_mode;
    sceGsResetGraph(0, (mode & GM_INTERLACE) ? 1 : 0, short(mode & 0xFF), (mode & GM_FRAME) ? 1 : 0);

    dispbuffer.Set(PSMCT16S, scrn_width, scrn_height);
    drawbuffer.Set(PSMCT32, scrn_width, scrn_height);
    zbuffer.Set(PSMZ24 | TEXF_POINT, scrn_width, scrn_height);
    dispbuffer.SetVRAM(0);
    drawbuffer.SetVRAM(dispbuffer.nblocks);
    zbuffer.SetVRAM(dispbuffer.nblocks + drawbuffer.nblocks);
    const int firstfree = dispbuffer.nblocks + drawbuffer.nblocks + zbuffer.nblocks;
    TexManInit(firstfree, kGsBlocks - firstfree);

    disp.Init(dispbuffer, graphics_mode);
    disp.Display(false);
    vbflip.Init(dispbuffer, drawbuffer, zbuffer);
}

// ----------------------------------------------------------------- Platform

void Platform::InitGraphics(GRAPHICS_MODE mode, int w, int h)
{
    platformps2.InitGraphics(mode, w, h);
}

void Platform::BeginScene()
{
    PlatformPS2& ps = platformps2;
    ps.vbflip.WaitToFill();
    if (ps.init_graphics) {
        // The GS is reset under nothing: both chains drawn, and three blanks
        // for the last copy pass to have been shown.
        WaitChainsDrained();
        for (int i = 0; i < 3; i++)
            vbcallbacks.Sync();
        ps._InitGraphics();
        ps.init_graphics = false;
    }
    ps.vbflip.BeginScene();

    // Both contexts draw into the frame buffers; one sprite clears colour
    // and depth.
    Renderer& vif = therenderer;
    Render2D r2d;
    r2d.Open(vif);
    r2d.SetDrawEnvironment(ps.drawbuffer, ps.zbuffer, true);
    r2d.SetDrawEnvironment(ps.drawbuffer, ps.zbuffer, false);
    r2d.SetZTest(ZTEST_ALWAYS);
    r2d.DrawRect(ps.drawbuffer.WholeRect(), Colour(64, 64, 64, 128), 1);
    r2d.Close(vif);

    // The frame's default register state.
    static const u64 regs[9][2] = {
        {0, GS_DIMX},
        {0, GS_PABE},
        {0, GS_FBA_1},
        {0x8000000002Aull, GS_ALPHA_1},   // Cs passes unchanged (FIX 0x80)
        {0x30000, GS_TEST_1},             // Z test on, always passing
        {1, GS_PRMODECONT},
        {1, GS_COLCLAMP},
        {1, GS_DTHE},
        {0x8000000000ull, GS_TEXA},       // TA0 0, TA1 0x80
    };
    if (vif.AllowFor(1 + 1 + 9))
        vif.AddGifRegs(&regs[0][0], 9);
}

void Platform::EndScene(int framelock)
{
    platformps2.disp.Display(false);
    platformps2.vbflip.EndScene(framelock);
}

void Platform::Reset()
{
    WaitChainsDrained();
    for (int i = 0; i < 2; i++)
        vbcallbacks.Sync();
    iGIF3Draw = 0;
    iGIF3Fill = 0;
}

GRAPHICS_MODE Platform::GetGraphicsMode()
{
    return platformps2.graphics_mode;
}

int Platform::GetWidth()
{
    return platformps2.drawbuffer.width;
}

int Platform::GetHeight()
{
    return platformps2.drawbuffer.height;
}

Surface& Platform::GetDispBuffer()
{
    return platformps2.dispbuffer;
}

Surface& Platform::GetDrawBuffer()
{
    return platformps2.drawbuffer;
}

Surface& Platform::GetZBuffer()
{
    return platformps2.zbuffer;
}

void Platform::DisplayOn()
{
    platformps2.disp.Display(false);
}

void Platform::DisplayOff()
{
    DPUT_GS_PMODE(0);
}

int Platform::Sync()
{
    return vbcallbacks.Sync();
}

u32 Platform::Count()
{
    return vbcallbacks.vsynccount;
}

DrawFence Platform::PlaceFence()
{
    const VBFlip& f = platformps2.vbflip;
    DrawFence fence;
    DIntr();
    for (int b = 0; b < 2; b++) {
        const bool pending = f.used[b] || (f.filling && b == f.iFillBuff);
        fence.drawn[b] = f.drawnCount[b] + (pending ? 1 : 0);
    }
    EIntr();
    return fence;
}

bool Platform::FencePassed(const DrawFence& fence)
{
    const VBFlip& f = platformps2.vbflip;
    for (int b = 0; b < 2; b++)
        if (s32(f.drawnCount[b] - fence.drawn[b]) < 0)
            return false;
    return true;
}

void Platform::AddCallback(Callback* cb)
{
    vbcallbacks.Add(cb);
}

bool Platform::RemoveCallback(Callback* cb)
{
    return vbcallbacks.Remove(cb);
}
