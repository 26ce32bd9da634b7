#include <gtest/gtest.h>

#include <string>

#include <ee/dma.h>
#include <ee/sif.h>
#include <iop/module.h>

#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/platform_support.h"
#include "iop/modules.h"
#include "pad/pad.h"

using namespace platform_test;

// The same optional start-ups the platform calls: null when left out of the
// build.

namespace {

class PlatformTest : public ::testing::Test
{
protected:
    void SetUp() override { PowerOff(); }
    void TearDown() override
    {
        console::SetOption("iop-reboot-failures", "0");
        console::SetOption("iop-sync-polls", "2");
        PowerOff();
    }

    static void Start()
    {
        Platform::Init();
        Platform::InitGraphics(GM_PAL, 640, 512);
        Platform::DisplayOn();
    }

    static void Frame()
    {
        Platform::BeginScene();
        Platform::EndScene(2);
    }

    // Runs frames until a flip waits with a finished chain queued behind the
    // one being shown.
    static void FramesUntilAChainWaits()
    {
        for (int i = 0; i < 20; i++) {
            Frame();
            if (platformps2.vbflip.used[0] || platformps2.vbflip.used[1])
                return;
        }
        FAIL() << "no frame was ever left waiting for its flip";
    }

    static size_t Pos(const std::string& text, const char* line)
    {
        size_t p = text.find(line);
        EXPECT_NE(p, std::string::npos) << "missing: " << line;
        return p;
    }
};

// A module that records the arguments it was started with.
int g_probe_argc = 0;
std::string g_probe_args;

int StartProbe(int argc, char* argv[])
{
    g_probe_argc = argc;
    g_probe_args.clear();
    for (int i = 1; i < argc; i++)
        g_probe_args += std::string(argv[i]) + "|";
    return RESIDENT_END;
}

CONSOLE_IOP_MODULE("PlatformProbe", StartProbe);
CONSOLE_MODULE_IMAGE(probe_image, "PlatformProbe", 256);

}  // namespace

// ------------------------------------------------------------------ start-up

TEST_F(PlatformTest, StartUpPrintsItsStepsInOrderAndLoadsThePlatformModules)
{
    Start();
    const std::string text = console::ConsoleText();
    const size_t replace = Pos(text, "Replace IOP\n");
    const size_t load = Pos(text, "Load IRX's\n");
    const size_t graphics = Pos(text, "_InitGraphics()\n");
    EXPECT_LT(replace, load);
    EXPECT_LT(load, graphics);
    EXPECT_TRUE(console::iop::ModuleResident("sio2man"));
    EXPECT_TRUE(console::iop::ModuleResident("padman"));
    EXPECT_TRUE(console::iop::ModuleResident("libsd"));
    EXPECT_TRUE(console::pad::ManagerLoaded());
    EXPECT_EQ(console::DiagErrorCount(), 0);
    // The frame counter runs from the handler's installation.
    EXPECT_GE(Platform::Count(), 1u);
    // Timer 0 counts bus clock / 256 from start-up.
    const u32 t0 = DGET_T0_COUNT();
    Platform::Sync();
    EXPECT_NE(DGET_T0_COUNT(), t0);
}

TEST_F(PlatformTest, RebootRefusedAFewTimesIsRetriedUntilAccepted)
{
    console::SetOption("iop-reboot-failures", "3");
    console::ResetScheduler();
    Platform::Init();
    const std::string text = console::ConsoleText();
    EXPECT_EQ(text.find("IOP reboot"), std::string::npos);
    EXPECT_TRUE(console::iop::ModuleResident("padman"));
}

TEST_F(PlatformTest, IopThatNeverComesBackDoesNotHangStartUp)
{
    // The update image cannot be read: every reboot is refused.
    console::SetOption("iop-reboot-failures", "100000000");
    console::ResetScheduler();
    Platform::Init();
    std::string text = console::ConsoleText();
    EXPECT_LT(Pos(text, "IOP reboot refused"), Pos(text, "Load IRX's\n"));
    console::SetOption("iop-reboot-failures", "0");
    PowerOff();

    // The reboot is accepted but never reports that it has finished.
    console::SetOption("iop-sync-polls", "1000000000");
    console::ResetScheduler();
    Platform::Init();
    text = console::ConsoleText();
    EXPECT_LT(Pos(text, "IOP reboot did not finish"), Pos(text, "Load IRX's\n"));
}

TEST_F(PlatformTest, LoadIRXPassesNoArgumentBlockWithoutArguments)
{
    sceSifInitRpc(0);
    EXPECT_GE(LoadIRX(probe_image, sizeof probe_image, nullptr), 0);
    EXPECT_EQ(g_probe_argc, 1);   // the module name alone
    char args[] = "fast";
    EXPECT_GE(LoadIRX(probe_image, sizeof probe_image, args), 0);
    EXPECT_EQ(g_probe_argc, 2);
    EXPECT_EQ(g_probe_args, "fast|");
}

// ------------------------------------------------------------------- display

TEST_F(PlatformTest, GraphicsMemoryHoldsTheThreeBuffersThenTextures)
{
    Start();
    // 640 x 512: 2,560 blocks at 16 bits, 5,120 at 32, the rest of the
    // 16,384 blocks for textures.
    EXPECT_EQ(Platform::GetDispBuffer().GetVRAM(), 0);
    EXPECT_EQ(Platform::GetDrawBuffer().GetVRAM(), 2560);
    EXPECT_EQ(Platform::GetZBuffer().GetVRAM(), 7680);
    EXPECT_EQ(texman.blockstart, 12800);
    EXPECT_EQ(texman.blockcount, 3584);
    EXPECT_EQ(Platform::GetWidth(), 640);
    EXPECT_EQ(Platform::GetHeight(), 512);
    EXPECT_EQ(Platform::GetGraphicsMode(), GM_PAL);
}

TEST_F(PlatformTest, DisplayShowsCircuitOneAloneWithCircuitTwoALineLower)
{
    Start();
    const auto regs = console::gs::CurrentDisplayRegisters();
    tGS_PMODE pmode;
    tGS_DISPFB1 fb1, fb2;
    tGS_DISPLAY1 d1, d2;
    std::memcpy(&pmode, &regs.pmode, 8);
    std::memcpy(&fb1, &regs.dispfb1, 8);
    std::memcpy(&fb2, &regs.dispfb2, 8);
    std::memcpy(&d1, &regs.display1, 8);
    std::memcpy(&d2, &regs.display2, 8);
    EXPECT_EQ(pmode.EN1, 1u);
    EXPECT_EQ(pmode.EN2, 0u);
    EXPECT_EQ(pmode.ALP, 0xFFu);
    EXPECT_EQ(fb1.PSM, u64(PSMCT16S));
    EXPECT_EQ(fb1.FBP, 0u);
    EXPECT_EQ(fb1.DBY, 0u);
    EXPECT_EQ(fb2.DBY, 1u);
    EXPECT_EQ(d2.DH + 1, d1.DH);

    Platform::DisplayOff();
    EXPECT_EQ(console::gs::CurrentDisplayRegisters().pmode, 0u);
}

TEST_F(PlatformTest, SyncReturnsTheFieldShownAfterTheCounterMoves)
{
    Start();
    const u32 c0 = Platform::Count();
    const int f1 = Platform::Sync();
    EXPECT_EQ(Platform::Count(), c0 + 1);
    EXPECT_EQ(u32(f1), console::CsrField());
    const int f2 = Platform::Sync();
    EXPECT_EQ(Platform::Count(), c0 + 2);
    EXPECT_EQ(u32(f2), console::CsrField());
    EXPECT_NE(f1, f2);   // PAL is interlaced: the fields alternate
}

// --------------------------------------------------------------------- flip

TEST_F(PlatformTest, FrameEndedWhileHardwareIdleStartsAtOnce)
{
    Start();
    const u32 before = Platform::Count();
    Frame();
    // No vertical blank passed, yet the chain ran to its end: it was started
    // by EndScene, not by a flip.
    EXPECT_EQ(Platform::Count(), before);
    EXPECT_FALSE(platformps2.vbflip.used[0]);
    EXPECT_FALSE(platformps2.vbflip.used[1]);
    EXPECT_TRUE(platformps2.vbflip.bFlipEnabled);
}

TEST_F(PlatformTest, FlipWithNoFinishedChainSendsTheCopyAlone)
{
    Start();
    Frame();
    ASSERT_TRUE(platformps2.vbflip.bFlipEnabled);
    const int shown = platformps2.vbflip.iDispBuff;
    Platform::Sync();
    Platform::Sync();
    EXPECT_NE(platformps2.vbflip.iDispBuff, shown);   // flipped
    EXPECT_EQ(platformps2.vbflip.iLastFlipState, 0);
    EXPECT_EQ(platformps2.vbflip.dmaRef.id, u8(DMA_REFE));
    EXPECT_FALSE(platformps2.vbflip.bFlipEnabled);

    // The copy pass put the cleared frame on screen, dithered to 16 bits.
    console::host::RgbaImage img;
    console::gs::ReadOutCurrent(img);
    EXPECT_EQ(PictureDifferences(img, ExpectedClearPicture(640, 512)), 0);
}

TEST_F(PlatformTest, FramesAreFlippedAtLeastFramelockBlanksApart)
{
    Start();
    BlankWatcher w;
    Platform::AddCallback(&w);
    const u32 start = Platform::Count();
    bool chained = false;
    while (Platform::Count() < start + 100) {
        Frame();
        chained |= platformps2.vbflip.iLastFlipState == 1;
    }
    Platform::RemoveCallback(&w);
    const std::vector<u32> flips = w.FlipBlanks();
    EXPECT_LE(flips.size(), 50u);
    EXPECT_GE(flips.size(), 40u);   // the game is never late here
    for (size_t i = 1; i < flips.size(); i++)
        EXPECT_GE(flips[i] - flips[i - 1], 2u) << "flips at " << flips[i - 1] << " and " << flips[i];
    // Finished frames queue behind the one shown and start with a flip.
    EXPECT_TRUE(chained);
    EXPECT_EQ(console::DiagErrorCount(), 0);
}

TEST_F(PlatformTest, ModeChangeWaitsForDrainedChainsAndThreeBlanks)
{
    Start();
    BlankWatcher w;
    Platform::AddCallback(&w);
    FramesUntilAChainWaits();
    ASSERT_TRUE(platformps2.vbflip.used[0] || platformps2.vbflip.used[1]);

    Platform::InitGraphics(GM_480P, 640, 512);
    EXPECT_EQ(Platform::GetGraphicsMode(), GM_480P);
    // Nothing changes before the next BeginScene.
    Platform::Sync();
    EXPECT_EQ(console::gs::CurrentGraphMode().mode, console::VideoMode::kPal);

    console::ClearConsoleText();
    Platform::BeginScene();
    const u32 switched = Platform::Count();
    EXPECT_EQ(console::gs::CurrentGraphMode().mode, console::VideoMode::k480p);
    EXPECT_NE(console::ConsoleText().find("_InitGraphics()\n"), std::string::npos);
    EXPECT_FALSE(platformps2.init_graphics);
    // Every blank that saw a chain busy still ran in PAL, and three blanks
    // passed after the last of them.
    for (const BlankRecord& r : w.records) {
        if (r.anyUsed) {
            EXPECT_EQ(r.mode, console::VideoMode::kPal) << "blank " << r.count;
        }
    }
    ASSERT_GT(w.LastBusyBlank(), 0u);
    EXPECT_GE(switched, w.LastBusyBlank() + 3);
    Platform::EndScene(2);

    // Drawing goes on in the new mode.
    const u32 t = Platform::Count();
    while (Platform::Count() < t + 10)
        Frame();
    Platform::RemoveCallback(&w);
    EXPECT_EQ(console::CurrentVideoMode(), console::VideoMode::k480p);
    EXPECT_EQ(console::DiagErrorCount(), 0);
}

// A fence placed while a frame is built, with another waiting to be drawn,
// passes only once both have been drawn: what either chain sends by
// reference stays in use until then.
TEST_F(PlatformTest, AFencePassesOnceTheFrameBeingBuiltAndTheOneWaitingHaveDrawn)
{
    Start();
    // Nothing built, nothing waiting: passed at once.
    EXPECT_TRUE(Platform::FencePassed(Platform::PlaceFence()));
    FramesUntilAChainWaits();
    ASSERT_TRUE(platformps2.vbflip.used[0] || platformps2.vbflip.used[1]);
    Platform::BeginScene();
    const DrawFence fence = Platform::PlaceFence();
    EXPECT_FALSE(Platform::FencePassed(fence));
    // The waiting frame is drawn; the one being built is not closed yet.
    for (int i = 0; i < 8 && (platformps2.vbflip.used[0] || platformps2.vbflip.used[1]); i++)
        Platform::Sync();
    ASSERT_FALSE(platformps2.vbflip.used[0] || platformps2.vbflip.used[1]);
    EXPECT_FALSE(Platform::FencePassed(fence));
    Platform::EndScene(2);
    for (int i = 0; i < 8 && !Platform::FencePassed(fence); i++)
        Platform::Sync();
    EXPECT_TRUE(Platform::FencePassed(fence));
    EXPECT_FALSE(platformps2.vbflip.used[0] || platformps2.vbflip.used[1]);
    EXPECT_EQ(console::DiagErrorCount(), 0);
}

TEST_F(PlatformTest, ResetWaitsForDrawnChainsAndEmptiesTheUploadLists)
{
    Start();
    BlankWatcher w;
    Platform::AddCallback(&w);
    FramesUntilAChainWaits();
    iGIF3Fill = 1;
    iGIF3Draw = 1;
    Platform::Reset();
    EXPECT_FALSE(platformps2.vbflip.used[0]);
    EXPECT_FALSE(platformps2.vbflip.used[1]);
    EXPECT_EQ(iGIF3Fill, 0);
    EXPECT_EQ(iGIF3Draw, 0);
    ASSERT_GT(w.LastBusyBlank(), 0u);
    EXPECT_GE(Platform::Count(), w.LastBusyBlank() + 2);
    Platform::RemoveCallback(&w);
}
