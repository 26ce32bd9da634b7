#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>

#include <ee/memmap.h>
#include <ee/sif.h>
#include <iop/kernel.h>
#include <iop/sd.h>

#include "console/sif/iop_test_util.h"
#include "core/scheduler.h"
#include "spu2/spu2.h"
#include "spu2/spu_ram.h"

namespace {

using console::Cycles;
using console::kSpuSample;
using console::spu2::SoundRam;

constexpr u32 kStart = 0x5010;

// Writes blocks straight into sound RAM: each block's filter/shift byte, its
// flags and one nibble value repeated over its 28 samples.
struct BlockSpec {
    uint8_t header;
    uint8_t flags;
    uint8_t nibble;
};

void WriteBlocks(u32 at, std::initializer_list<BlockSpec> blocks)
{
    for (const BlockSpec& b : blocks) {
        uint8_t* p = SoundRam() + at;
        p[0] = b.header;
        p[1] = b.flags;
        std::memset(p + 2, b.nibble * 0x11, 14);
        at += 16;
    }
}

class SpuVoice : public iop_test::IopTest {
protected:
    void SetUp() override
    {
        IopTest::SetUp();
        ASSERT_GT(iop_test::LoadIrx(libsd, 28573), 0);
        ASSERT_EQ(sceSdInit(0), 0);
    }

    // Moves the clock so that exactly `n` more output samples are made, and
    // lets the mixer make them.
    static void RunSamples(uint64_t n)
    {
        const Cycles target = (console::spu2::SamplesMixed() + n) * kSpuSample;
        ee_spin(static_cast<u32>(target - console::Now()));
        console::spu2::CatchUp();
        ASSERT_EQ(console::Now(), target);
    }

    // Starts voice `v` of core 0 at `addr` with `pitch`, keyed on right after
    // an output sample, so the key-on counts from the next one.
    static void Play(int v, u32 addr, u16 pitch = 0x1000, int core = SD_CORE_0)
    {
        RunSamples(1);
        sceSdSetParam(SD_VOICE(core, v) | SD_VP_PITCH, pitch);
        sceSdSetAddr(SD_VOICE(core, v) | SD_VA_SSA, addr);
        sceSdSetSwitch(SD_S_KON | core, 1u << v);
    }

    static u32 Nax(int v, int core = SD_CORE_0) { return sceSdGetAddr(SD_VOICE(core, v) | SD_VA_NAX); }
    static u16 Envx(int v, int core = SD_CORE_0) { return sceSdGetParam(SD_VOICE(core, v) | SD_VP_ENVX); }
    static bool Ended(int v, int core = SD_CORE_0) { return (sceSdGetSwitch(SD_S_ENDX | core) >> v) & 1; }
};

TEST_F(SpuVoice, KeyOnSoundsAtTheNextSampleWithin21Microseconds)
{
    WriteBlocks(kStart, {{0x0C, 0, 1}, {0x0C, 0, 1}});
    ee_spin(1000);  // somewhere between two output samples
    const Cycles next_sample = (console::Now() / kSpuSample + 1) * kSpuSample;
    sceSdSetAddr(SD_VOICE(0, 3) | SD_VA_SSA, kStart);
    sceSdSetParam(SD_VOICE(0, 3) | SD_VP_PITCH, 0x1000);
    sceSdSetSwitch(SD_S_KON, 1u << 3);
    EXPECT_EQ(Envx(3), 0);
    ee_spin(static_cast<u32>(next_sample - 1 - console::Now()));
    EXPECT_EQ(Envx(3), 0);  // no output sample yet
    ee_spin(1);
    EXPECT_GT(Envx(3), 0);
    // IOPSound's spacing of voice writes: 21 us after a key-on the envelope
    // already shows, wherever between samples the key-on fell.
    for (Cycles offset : {Cycles{0}, Cycles{1}, Cycles{1500}, kSpuSample - 1}) {
        sceSdSetSwitch(SD_S_KOFF, 1u << 3);
        RunSamples(4);
        ASSERT_EQ(Envx(3), 0);
        ee_spin(static_cast<u32>(offset));
        sceSdSetSwitch(SD_S_KON, 1u << 3);
        ee_spin(static_cast<u32>(console::MicrosecondsToCycles(21)));
        EXPECT_GT(Envx(3), 0) << "key-on " << offset << " cycles after a sample";
    }
}

TEST_F(SpuVoice, TheAddressAdvances16BytesPer28SamplesAtPitch0x1000)
{
    WriteBlocks(kStart, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0},
                         {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    Play(5, kStart);
    RunSamples(27);
    EXPECT_EQ(Nax(5), kStart);
    RunSamples(1);
    EXPECT_EQ(Nax(5), kStart + 16);
    RunSamples(28 * 9);
    EXPECT_EQ(Nax(5), kStart + 160);
    // Pitch 0x2000 takes two source samples per output sample.
    sceSdSetParam(SD_VOICE(0, 5) | SD_VP_PITCH, 0x2000);
    RunSamples(14);
    EXPECT_EQ(Nax(5), kStart + 176);
}

TEST_F(SpuVoice, PitchZeroFreezesTheAddress)
{
    WriteBlocks(kStart, {{0x0C, 0, 1}, {0x0C, 0, 1}, {0x0C, 0, 1}});
    Play(0, kStart, 0);
    RunSamples(2000);
    EXPECT_EQ(Nax(0), kStart);
    EXPECT_EQ(Envx(0), 0x7FFF);
    // The pause of the sound module: pitch 0, later the old pitch again.
    sceSdSetParam(SD_VOICE(0, 0) | SD_VP_PITCH, 0x1000);
    RunSamples(28);
    EXPECT_EQ(Nax(0), kStart + 16);
    sceSdSetParam(SD_VOICE(0, 0) | SD_VP_PITCH, 0);
    RunSamples(500);
    EXPECT_EQ(Nax(0), kStart + 16);
}

TEST_F(SpuVoice, StartFlag6AndEndFlag3LoopAndSetTheEndFlag)
{
    WriteBlocks(kStart, {{0x0C, 6, 1}, {0x0C, 0, 1}, {0x0C, 3, 1}});
    Play(7, kStart);
    RunSamples(83);
    EXPECT_EQ(Nax(7), kStart + 32);
    EXPECT_FALSE(Ended(7));
    RunSamples(1);
    EXPECT_EQ(Nax(7), kStart);
    EXPECT_TRUE(Ended(7));
    EXPECT_EQ(Envx(7), 0x7FFF);
    RunSamples(28 * 3 * 10);
    EXPECT_EQ(Nax(7), kStart);  // still going round
    EXPECT_EQ(Envx(7), 0x7FFF);
    // The end flag stays set until the next key-on.
    EXPECT_TRUE(Ended(7));
    sceSdSetSwitch(SD_S_KON, 1u << 7);
    EXPECT_FALSE(Ended(7));
}

TEST_F(SpuVoice, TheEndJumpsToTheLastLoopStartMet)
{
    // The streaming module's ring buffer: start marker on its first block.
    WriteBlocks(kStart, {{0x0C, 0, 1}, {0x0C, 6, 1}, {0x0C, 0, 1}, {0x0C, 3, 1}});
    Play(2, kStart);
    RunSamples(28 * 4);
    EXPECT_EQ(Nax(2), kStart + 16);
    RunSamples(28 * 3);
    EXPECT_EQ(Nax(2), kStart + 16);
}

TEST_F(SpuVoice, Flag1StopsTheVoiceWithEnvelopeZero)
{
    WriteBlocks(kStart, {{0x0C, 0, 1}, {0x0C, 1, 1}, {0x0C, 0, 1}});
    Play(9, kStart);
    RunSamples(55);
    EXPECT_EQ(Envx(9), 0x7FFF);
    EXPECT_FALSE(Ended(9));
    RunSamples(1);
    EXPECT_EQ(Envx(9), 0);
    EXPECT_TRUE(Ended(9));
    const u32 rest = Nax(9);
    RunSamples(1000);
    EXPECT_EQ(Nax(9), rest);
    EXPECT_EQ(Envx(9), 0);
}

TEST_F(SpuVoice, KeyOffReleasesAndVoicesOfCore1HaveTheirOwnIds)
{
    WriteBlocks(kStart, {{0x0C, 6, 1}, {0x0C, 3, 1}});
    Play(6, kStart, 0x1000, SD_CORE_1);  // voice 30
    RunSamples(56);
    EXPECT_EQ(Envx(6, SD_CORE_1), 0x7FFF);
    EXPECT_TRUE(Ended(6, SD_CORE_1));
    EXPECT_EQ(Envx(6, SD_CORE_0), 0);
    EXPECT_FALSE(Ended(6, SD_CORE_0));
    EXPECT_EQ(sceSdGetSwitch(SD_S_KON | SD_CORE_1), 1u << 6);
    sceSdSetSwitch(SD_S_KOFF | SD_CORE_1, 1u << 6);
    RunSamples(1);
    EXPECT_EQ(Envx(6, SD_CORE_1), 0x7FFF - 16384);
    RunSamples(1);
    EXPECT_EQ(Envx(6, SD_CORE_1), 0);
}

TEST_F(SpuVoice, ParametersReadBackAndInitRestoresTheDefaults)
{
    const u16 v = SD_VOICE(1, 23);
    sceSdSetParam(v | SD_VP_VOLL, 0x3FFF);
    sceSdSetParam(v | SD_VP_VOLR, 0x1234);
    sceSdSetParam(v | SD_VP_ADSR1, 0x80FF);
    sceSdSetParam(v | SD_VP_ADSR2, 0x5F21);
    sceSdSetParam(SD_P_MMIX | SD_CORE_1, 0xFFCF);
    sceSdSetParam(SD_P_MVOLL | SD_CORE_1, 0x3FFF);
    sceSdSetSwitch(SD_S_VMIXL | SD_CORE_1, 0xFFFFFF);
    sceSdSetAddr(v | SD_VA_SSA, 0x12340);
    EXPECT_EQ(sceSdGetParam(v | SD_VP_VOLL), 0x3FFF);
    EXPECT_EQ(sceSdGetParam(v | SD_VP_VOLR), 0x1234);
    EXPECT_EQ(sceSdGetParam(v | SD_VP_ADSR1), 0x80FF);
    EXPECT_EQ(sceSdGetParam(v | SD_VP_ADSR2), 0x5F21);
    EXPECT_EQ(sceSdGetParam(SD_P_MMIX | SD_CORE_1), 0xFFCF);
    EXPECT_EQ(sceSdGetParam(SD_P_MVOLL | SD_CORE_1), 0x3FFF);
    EXPECT_EQ(sceSdGetSwitch(SD_S_VMIXL | SD_CORE_1), 0xFFFFFFu);
    EXPECT_EQ(sceSdGetAddr(v | SD_VA_SSA), 0x12340u);
    EXPECT_EQ(sceSdGetParam(SD_P_MMIX | SD_CORE_0), 0);  // the other core is apart
    SoundRam()[0x12340] = 0x5A;
    sceSdInit(0);
    EXPECT_EQ(sceSdGetParam(v | SD_VP_VOLL), 0);
    EXPECT_EQ(sceSdGetParam(v | SD_VP_ADSR1), 0x000F);
    EXPECT_EQ(sceSdGetParam(v | SD_VP_ADSR2), 0x1FC0);
    EXPECT_EQ(sceSdGetParam(SD_P_MMIX | SD_CORE_1), 0);
    EXPECT_EQ(sceSdGetSwitch(SD_S_VMIXL | SD_CORE_1), 0u);
    EXPECT_EQ(SoundRam()[0x12340], 0x5A);  // sound RAM is kept
}

TEST_F(SpuVoice, ARebootSilencesEveryVoice)
{
    WriteBlocks(kStart, {{0x0C, 6, 1}, {0x0C, 3, 1}});
    Play(1, kStart);
    RunSamples(10);
    ASSERT_EQ(console::spu2::GetCore(0).voices[1].EnvelopeLevel(), 0x7FFF);
    ASSERT_NE(sceSifRebootIop("cdrom0:\\IOPRP.IMG;1"), 0);
    EXPECT_FALSE(console::spu2::GetCore(0).voices[1].Sounding());
}

// One voice on core `core` whose decoded samples are all 4096, at full
// volumes, mixed as the sound module sets the mixer up.
class SpuMix : public SpuVoice {
protected:
    void SetUp() override
    {
        SpuVoice::SetUp();
        WriteBlocks(kStart, {{0x00, 6, 1}, {0x00, 3, 1}});
        for (int core = 0; core < 2; ++core) {
            sceSdSetParam(SD_P_MMIX | core, 0xFFCF);
            sceSdSetParam(SD_P_MVOLL | core, 0x3FFF);
            sceSdSetParam(SD_P_MVOLR | core, 0x3FFF);
            sceSdSetSwitch(SD_S_VMIXL | core, 0xFFFFFF);
            sceSdSetSwitch(SD_S_VMIXR | core, 0xFFFFFF);
        }
    }

    static void Start(int core, u16 left, u16 right)
    {
        sceSdSetParam(SD_VOICE(core, 0) | SD_VP_VOLL, left);
        sceSdSetParam(SD_VOICE(core, 0) | SD_VP_VOLR, right);
        Play(0, kStart, 0x1000, core);
    }

    // The next output sample, once the envelope is full and the voice past
    // its first (interpolated) sample.
    static std::array<int16_t, 2> Steady()
    {
        int16_t out[2];
        for (int i = 0; i < 4; ++i)
            console::spu2::MixOneSample(out);
        return {out[0], out[1]};
    }

    // Full volume (0x3FFF) is 0x7FFE / 0x8000.
    static int32_t Full(int32_t v) { return (v * 0x7FFE) >> 15; }
    // Sample 4096 times the full envelope, then the voice volume.
    static int32_t Voice(int32_t volume) { return (((4096 * 0x7FFF) >> 15) * volume) >> 15; }
};

TEST_F(SpuMix, Core0ReachesTheOutputThroughCore1)
{
    Start(SD_CORE_0, 0x3FFF, 0x2000);
    const std::array<int16_t, 2> out = Steady();
    EXPECT_EQ(out[0], Full(Full(Voice(0x7FFE))));
    EXPECT_EQ(out[1], Full(Full(Voice(0x4000))));
    // Core 1's mixer without the external input (bits 3, 2) drops core 0.
    sceSdSetParam(SD_P_MMIX | SD_CORE_1, 0xFFC3);
    EXPECT_EQ(Steady(), (std::array<int16_t, 2>{0, 0}));
}

TEST_F(SpuMix, Core1VoicesPassOnlyItsOwnMasterVolume)
{
    Start(SD_CORE_1, 0x3FFF, 0x7FFF);  // 0x7FFF: half of the level -2, a negative volume
    const std::array<int16_t, 2> out = Steady();
    EXPECT_EQ(out[0], Full(Voice(0x7FFE)));
    EXPECT_EQ(out[1], Full(Voice(-2)));
}

TEST_F(SpuMix, DryMixSwitchesAndMixerBitsGateTheVoices)
{
    Start(SD_CORE_0, 0x3FFF, 0x3FFF);
    sceSdSetSwitch(SD_S_VMIXL | SD_CORE_0, 0xFFFFFE);
    std::array<int16_t, 2> out = Steady();
    EXPECT_EQ(out[0], 0);
    EXPECT_NE(out[1], 0);
    sceSdSetParam(SD_P_MMIX | SD_CORE_0, 0xFBCF);  // voices' dry right off
    out = Steady();
    EXPECT_EQ(out[1], 0);
}

TEST_F(SpuVoice, MisusesAreReported)
{
    console::ScopedDiagCapture capture;
    sceSdSetParam(SD_VOICE(0, 24) | SD_VP_PITCH, 0x1000);
    EXPECT_TRUE(LogHas("no voice 24 on core 0"));
    sceSdSetParam(SD_VOICE(0, 1) | SD_VP_ENVX, 0);
    EXPECT_TRUE(LogHas("unknown or read-only register id 0x0502"));
    sceSdSetAddr(SD_VOICE(0, 1) | SD_VA_NAX, 0);
    EXPECT_TRUE(LogHas("unknown or read-only register id 0x2242"));
    sceSdGetSwitch(0x1300);
    EXPECT_TRUE(LogHas("unknown or read-only register id 0x1300"));
    sceSdSetAddr(SD_VOICE(0, 1) | SD_VA_SSA, 0x200000);
    EXPECT_TRUE(LogHas("beyond the 2 MiB sound RAM"));
    EXPECT_EQ(sceSdGetAddr(SD_VOICE(0, 1) | SD_VA_SSA), 0u);
    // Warnings: the value is adjusted or kept.
    sceSdSetAddr(SD_VOICE(0, 1) | SD_VA_SSA, 0x5014);
    EXPECT_EQ(sceSdGetAddr(SD_VOICE(0, 1) | SD_VA_SSA), 0x5010u);
    sceSdSetParam(SD_VOICE(0, 1) | SD_VP_VOLL, 0x3000);
    sceSdSetParam(SD_VOICE(0, 1) | SD_VP_VOLL, 0x8012);
    EXPECT_TRUE(LogHas("sweep volumes are not modelled"));
    EXPECT_EQ(sceSdGetParam(SD_VOICE(0, 1) | SD_VP_VOLL), 0x3000);
    sceSdSetParam(SD_VOICE(0, 1) | SD_VP_PITCH, 0x4000);
    EXPECT_EQ(sceSdGetParam(SD_VOICE(0, 1) | SD_VP_PITCH), 0x3FFF);
    // Without the module nothing works.
    ASSERT_NE(sceSifRebootIop("cdrom0:\\IOPRP.IMG;1"), 0);
    EXPECT_EQ(sceSdInit(0), -1);
    EXPECT_TRUE(LogHas("sceSdInit before the sound library module (libsd) is loaded"));
}

}  // namespace
