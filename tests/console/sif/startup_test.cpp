#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <ee/kernel.h>
#include <ee/memmap.h>
#include <ee/sif.h>
#include <iop/kernel.h>
#include <iop/module.h>

#include "console/sif/iop_test_util.h"
#include "core/config.h"
#include "core/scheduler.h"
#include "ee/console_out.h"
#include "iop/modules.h"
#include "iop/sysmem.h"
#include "pad/pad.h"

namespace {

using iop_test::LoadIrx;

// A module that records how it was started and answers as told.
int g_start_argc = 0;
std::string g_start_args;
int g_start_result = RESIDENT_END;

int StartRecorder(int argc, char* argv[])
{
    g_start_argc = argc;
    g_start_args.clear();
    for (int i = 0; i < argc; ++i)
        g_start_args += std::string(argv[i]) + "|";
    return g_start_result;
}

CONSOLE_IOP_MODULE("TestRecorder", StartRecorder);
CONSOLE_MODULE_IMAGE(recorder_image, "TestRecorder", 200);
CONSOLE_MODULE_IMAGE(stranger_image, "NoSuchModule", 64);
unsigned char g_not_an_image[64] = "just some bytes";

class IopStartup : public iop_test::IopTest {
protected:
    void SetUp() override
    {
        IopTest::SetUp();
        g_start_argc = 0;
        g_start_args.clear();
        g_start_result = RESIDENT_END;
    }
    void TearDown() override
    {
        console::SetOption("iop-reboot-failures", "0");
        console::SetOption("iop-sync-polls", "2");
        console::SetOption("iop-free-kib", "1664");
        IopTest::TearDown();
    }
};

// The platform start-up sequence: reboot with the update image (repeated
// until accepted), synchronise (repeated until done), set the EE side up
// again, then load the three platform modules by buffer.
struct StartupResult {
    int reboots = 0;
    int syncs = 0;
    int ids[3] = {0, 0, 0};
};

StartupResult RunPlatformStartup()
{
    StartupResult r;
    snDebugInit();
    sceSifInitRpc(0);
    scePrintf("Replace IOP\n");
    sceCdInit(SCECdINIT);
    sceCdMmode(SCECdCD);
    do
        ++r.reboots;
    while (!sceSifRebootIop("cdrom0:\\KORVALIS\\IOPRP250.IMG;1"));
    do
        ++r.syncs;
    while (!sceSifSyncIop());
    sceSifInitRpc(0);
    sceCdInit(SCECdINIT);
    sceCdMmode(SCECdCD);
    sceFsReset();
    sceSifInitIopHeap();
    scePrintf("Load IRX's\n");
    r.ids[0] = LoadIrx(sio2man, 6553);
    r.ids[1] = LoadIrx(padman, 44917);
    r.ids[2] = LoadIrx(libsd, 28573);
    return r;
}

TEST_F(IopStartup, PlatformSequenceLoadsTheThreeModules)
{
    console::SetOption("iop-reboot-failures", "2");
    console::ResetScheduler();
    console::ClearConsoleText();
    StartupResult r = RunPlatformStartup();
    EXPECT_EQ(r.reboots, 3);  // two refusals configured, then accepted
    EXPECT_EQ(r.syncs, 3);    // two polls report the reboot in progress
    EXPECT_EQ(r.ids[0], 1);
    EXPECT_EQ(r.ids[1], 2);
    EXPECT_EQ(r.ids[2], 3);
    EXPECT_EQ(console::ConsoleText(), "Replace IOP\nLoad IRX's\n");
    EXPECT_TRUE(console::iop::ModuleResident("sio2man"));
    EXPECT_TRUE(console::iop::ModuleResident("padman"));
    EXPECT_TRUE(console::iop::ModuleResident("libsd"));
    EXPECT_TRUE(console::pad::ManagerLoaded());
    // The loader freed each block after loading: the heap is empty again.
    EXPECT_EQ(console::iop::UsedIopMemory(), 0u);
    // Without a disc the update image cannot be found: a warning, no error.
    EXPECT_EQ(console::DiagErrorCount(), 0);
    EXPECT_TRUE(LogHas("without its update image"));
}

TEST_F(IopStartup, PlatformImagesAreAtLeastTheSizesTheGamePasses)
{
    EXPECT_GE(sizeof sio2man, 6553u);
    EXPECT_GE(sizeof padman, 44917u);
    EXPECT_GE(sizeof libsd, 28573u);
    EXPECT_EQ(std::memcmp(sio2man, "CSIRX\0\0\0", 8), 0);
    EXPECT_EQ(sio2man[8], 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(padman + 12), "padman");
    EXPECT_EQ(libsd[12 + 5], 0);
    EXPECT_EQ(libsd[sizeof libsd - 1], 0);
}

TEST_F(IopStartup, UnknownOrMalformedImagesGetANegativeId)
{
    sceSifInitRpc(0);
    EXPECT_LT(LoadIrx(stranger_image, sizeof stranger_image), 0);
    EXPECT_LT(LoadIrx(g_not_an_image, sizeof g_not_an_image), 0);
    EXPECT_TRUE(LogHas("no module called \"NoSuchModule\""));
    EXPECT_FALSE(console::iop::ModuleResident("NoSuchModule"));
}

TEST_F(IopStartup, StartFunctionGetsTheModuleNameAndArguments)
{
    static const char args[] = "alpha\0beta";
    void* iop = sceSifAllocIopHeap(sizeof recorder_image);
    sceSifDmaData record{static_cast<u32>(reinterpret_cast<uintptr_t>(recorder_image)),
                         static_cast<u32>(reinterpret_cast<uintptr_t>(iop)), sizeof recorder_image, 0};
    ASSERT_NE(sceSifSetDma(&record, 1), 0u);
    int id = sceSifLoadModuleBuffer(iop, sizeof args, args);
    EXPECT_GT(id, 0);
    EXPECT_EQ(g_start_argc, 3);
    EXPECT_EQ(g_start_args, "TestRecorder|alpha|beta|");
    // Without arguments: length 0 and a null pointer, as the start-up passes.
    EXPECT_GT(LoadIrx(recorder_image, sizeof recorder_image), id);
    EXPECT_EQ(g_start_args, "TestRecorder|");
}

TEST_F(IopStartup, ModuleThatDoesNotStayResidentGetsANegativeId)
{
    g_start_result = NO_RESIDENT_END;
    EXPECT_LT(LoadIrx(recorder_image, sizeof recorder_image), 0);
    EXPECT_EQ(g_start_argc, 1);
    EXPECT_FALSE(console::iop::ModuleResident("TestRecorder"));
}

TEST_F(IopStartup, RebootEmptiesTheIopHeapAndUnloadsModules)
{
    uint32_t full = console::iop::MaxFreeIopMemory();
    EXPECT_EQ(full, 0x1A0000u);
    ASSERT_GT(LoadIrx(sio2man, 6553), 0);
    void* a = sceSifAllocIopHeap(1000);
    void* b = sceSifAllocIopHeap(50'000);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_GT(console::iop::UsedIopMemory(), 0u);
    ASSERT_NE(sceSifRebootIop("cdrom0:\\KORVALIS\\IOPRP250.IMG;1"), 0);
    EXPECT_EQ(console::iop::UsedIopMemory(), 0u);
    EXPECT_EQ(console::iop::MaxFreeIopMemory(), full);
    EXPECT_FALSE(console::iop::ModuleResident("sio2man"));
    EXPECT_FALSE(console::pad::ManagerLoaded());
    // The old blocks are gone: freeing one is refused.
    EXPECT_EQ(sceSifFreeIopHeap(b), -1);
}

TEST_F(IopStartup, PadManagerNeedsTheSerialBusManager)
{
    EXPECT_LT(LoadIrx(padman, 44917), 0);
    EXPECT_NE(console::ConsoleText().find("IOP: padman: sio2man is not loaded"), std::string::npos);
    EXPECT_FALSE(console::pad::ManagerLoaded());
}

TEST_F(IopStartup, ALoadRequestFindsTheImageItsDmaCarried)
{
    // A large image: its DMA takes longer than the request's latency, yet the
    // request, sent after it over the same channel, arrives after it.
    alignas(64) static unsigned char big[200'000];
    std::memcpy(big, recorder_image, 44);
    console::SetOption("sif-latency-us", "1");
    console::ResetScheduler();
    console::Cycles start = console::Now();
    EXPECT_GT(LoadIrx(big, sizeof big), 0);
    // 2 us + 200,000 bytes at 100 MB/s = 2,002 us before the request lands.
    EXPECT_GE(console::Now() - start, console::MicrosecondsToCycles(2002));
    console::SetOption("sif-latency-us", "20");
}

}  // namespace
