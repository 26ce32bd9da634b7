#include <gtest/gtest.h>

#include <cstring>

#include <ee/memmap.h>
#include <ee/sif.h>
#include <iop/kernel.h>
#include <iop/sd.h>

#include "console/sif/iop_test_util.h"
#include "core/config.h"
#include "core/scheduler.h"
#include "iop/threadman.h"
#include "spu2/spu_ram.h"

namespace {

using console::Cycles;
using console::spu2::SoundRam;

class VoiceTransfer : public iop_test::IopTest {
protected:
    void SetUp() override
    {
        IopTest::SetUp();
        ASSERT_GT(iop_test::LoadIrx(libsd, 28573), 0);
        block_ = static_cast<u8*>(AllocSysMemory(ALLOC_FIRST, kSize, nullptr));
        ASSERT_NE(block_, nullptr);
        for (uint32_t i = 0; i < kSize; ++i)
            block_[i] = static_cast<u8>(i * 13 + 5);
    }
    void TearDown() override
    {
        console::SetOption("spu-xfer-mbps", "10");
        IopTest::TearDown();
    }

    static constexpr uint32_t kSize = 65536;
    static constexpr uint32_t kBank = 0x5010;
    u8* block_ = nullptr;
};

TEST_F(VoiceTransfer, CompletesAfterSizeOverRate)
{
    Cycles start = console::Now();
    ASSERT_EQ(sceSdVoiceTrans(0, SD_TRANS_MODE_WRITE, block_, kBank, kSize), static_cast<int>(kSize));
    // 65,536 bytes at 10 MB/s: 6.5536 ms of the bus clock.
    Cycles expect = kSize * (console::kBusHz / 1000) / 10'000;
    while (sceSdVoiceTransStatus(0, SD_TRANS_STATUS_CHECK) == 0) {
        ASSERT_LT(console::Now() - start, expect);
        EXPECT_EQ(SoundRam()[kBank], 0);  // the bytes land at the end
        ee_spin(2000);
    }
    Cycles done = console::Now() - start;
    EXPECT_GE(done, expect);
    EXPECT_LT(done, expect + 2500);
    EXPECT_EQ(std::memcmp(SoundRam() + kBank, block_, kSize), 0);
    EXPECT_EQ(SoundRam()[kBank - 1], 0);
    EXPECT_EQ(SoundRam()[kBank + kSize], 0);
}

TEST_F(VoiceTransfer, TheRateIsConfigurable)
{
    console::SetOption("spu-xfer-mbps", "20");
    console::ResetScheduler();
    SetUp();
    Cycles start = console::Now();
    sceSdVoiceTrans(0, SD_TRANS_MODE_WRITE, block_, kBank, kSize);
    EXPECT_EQ(sceSdVoiceTransStatus(0, SD_TRANS_STATUS_WAIT), 1u);
    EXPECT_EQ(console::Now() - start, console::TransferCycles(kSize, 20));
}

Cycles g_waited = 0;
u8* g_block = nullptr;

void WaitingThread(void*)
{
    sceSdVoiceTrans(1, SD_TRANS_MODE_WRITE, g_block, 0x10000, 4096);
    Cycles before = console::Now();
    sceSdVoiceTransStatus(1, SD_TRANS_STATUS_WAIT);
    g_waited = console::Now() - before;
}

TEST_F(VoiceTransfer, WaitingKeepsTheThreadUntilTheEnd)
{
    g_block = block_;
    g_waited = 0;
    iop_thread_t param{TH_C, 0, WaitingThread, 0x800, 30};
    StartThread(CreateThread(&param), nullptr);
    console::SafePoint(0);
    // The thread keeps the processor until exactly the end of the transfer.
    EXPECT_EQ(g_waited, console::TransferCycles(4096, 10));
    EXPECT_EQ(std::memcmp(SoundRam() + 0x10000, block_, 4096), 0);
}

TEST_F(VoiceTransfer, ReadModeCopiesSoundRamBack)
{
    std::memset(SoundRam() + 0x20000, 0xAB, 256);
    ASSERT_EQ(sceSdVoiceTrans(0, SD_TRANS_MODE_READ, block_, 0x20000, 256), 256);
    EXPECT_EQ(block_[0], 13 * 0 + 5);
    sceSdVoiceTransStatus(0, SD_TRANS_STATUS_WAIT);
    EXPECT_EQ(block_[0], 0xAB);
    EXPECT_EQ(block_[255], 0xAB);
}

TEST_F(VoiceTransfer, MisusesAreReported)
{
    console::ScopedDiagCapture capture;
    EXPECT_LT(sceSdVoiceTrans(0, SD_TRANS_MODE_WRITE, block_, 0x1FFFF0, 64), 0);
    EXPECT_TRUE(LogHas("overflows the 2 MiB sound RAM"));
    ASSERT_GT(sceSdVoiceTrans(0, SD_TRANS_MODE_WRITE, block_, 0, 64), 0);
    EXPECT_LT(sceSdVoiceTrans(0, SD_TRANS_MODE_WRITE, block_, 64, 64), 0);
    EXPECT_TRUE(LogHas("while its previous transfer runs"));
    EXPECT_GT(sceSdVoiceTrans(1, SD_TRANS_MODE_WRITE, block_, 64, 64), 0);  // the other channel is free
    static u8 main_memory[64];
    sceSdVoiceTransStatus(1, SD_TRANS_STATUS_WAIT);
    EXPECT_LT(sceSdVoiceTrans(1, SD_TRANS_MODE_WRITE, main_memory, 64, 64), 0);
    EXPECT_TRUE(LogHas("not a block of IOP memory"));
}

TEST_F(VoiceTransfer, NeedsTheSoundLibraryModuleAndARebootClearsSoundRam)
{
    sceSdVoiceTrans(0, SD_TRANS_MODE_WRITE, block_, kBank, 64);
    sceSdVoiceTransStatus(0, SD_TRANS_STATUS_WAIT);
    ASSERT_NE(SoundRam()[kBank], 0);
    ASSERT_NE(sceSifRebootIop("cdrom0:\\IOPRP.IMG;1"), 0);
    EXPECT_EQ(SoundRam()[kBank], 0);
    console::ScopedDiagCapture capture;
    EXPECT_LT(sceSdVoiceTrans(0, SD_TRANS_MODE_WRITE, block_, kBank, 64), 0);
    EXPECT_TRUE(LogHas("before the sound library module (libsd) is loaded"));
}

}  // namespace
