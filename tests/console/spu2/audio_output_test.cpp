#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include <ee/memmap.h>
#include <ee/sif.h>
#include <iop/kernel.h>
#include <iop/sd.h>

#include "console/sif/iop_test_util.h"
#include "core/config.h"
#include "core/scheduler.h"
#include "ee/video.h"
#include "host/headless/headless.h"
#include "host/headless/wav.h"
#include "host/host.h"
#include "spu2/spu2.h"
#include "spu2/spu_ram.h"

namespace {

namespace headless = console::host::headless;

constexpr u32 kStart = 0x5010;
constexpr int kPeriod = 48;                 // 1 kHz at 48 kHz
constexpr int kLoopSamples = 7 * kPeriod;   // 336 = 12 blocks of 28

// A 1 kHz sine in 4-bit steps: filter 0, shift 0, nibble round(7 sin), 12
// blocks looped with the start and end markers.  It is built here, sent by a
// voice transfer and played on voice 4 of core 0 at pitch 0x1000, mixed as
// the sound module sets the mixer up.
void StartTone()
{
    u8* data = static_cast<u8*>(AllocSysMemory(ALLOC_FIRST, kLoopSamples / 28 * 16, nullptr));
    ASSERT_NE(data, nullptr);
    std::memset(data, 0, kLoopSamples / 28 * 16);
    for (int i = 0; i < kLoopSamples; ++i) {
        const int n = static_cast<int>(std::lround(7 * std::sin(2 * std::numbers::pi * i / kPeriod)));
        data[i / 28 * 16 + 2 + (i % 28) / 2] |= static_cast<u8>((n & 0x0F) << ((i % 28) % 2 * 4));
    }
    data[1] = 6;
    data[(kLoopSamples / 28 - 1) * 16 + 1] = 3;
    ASSERT_GT(sceSdVoiceTrans(0, SD_TRANS_MODE_WRITE, data, kStart, kLoopSamples / 28 * 16), 0);
    sceSdVoiceTransStatus(0, SD_TRANS_STATUS_WAIT);
    for (int core = 0; core < 2; ++core) {
        sceSdSetParam(SD_P_MMIX | core, 0xFFCF);
        sceSdSetParam(SD_P_MVOLL | core, 0x3FFF);
        sceSdSetParam(SD_P_MVOLR | core, 0x3FFF);
        sceSdSetSwitch(SD_S_VMIXL | core, 0xFFFFFF);
        sceSdSetSwitch(SD_S_VMIXR | core, 0xFFFFFF);
    }
    sceSdSetParam(SD_VOICE(0, 4) | SD_VP_VOLL, 0x3FFF);
    sceSdSetParam(SD_VOICE(0, 4) | SD_VP_VOLR, 0x1000);
    sceSdSetParam(SD_VOICE(0, 4) | SD_VP_PITCH, 0x1000);
    sceSdSetAddr(SD_VOICE(0, 4) | SD_VA_SSA, kStart);
    sceSdSetSwitch(SD_S_KON, 1u << 4);
}

void RunFields(uint64_t fields)
{
    console::StartVideoTiming();
    ASSERT_TRUE(console::WaitUntil("fields", [fields] { return console::FieldCount() >= fields; }));
}

class AudioOutput : public iop_test::IopTest {
protected:
    void SetUp() override
    {
        IopTest::SetUp();
        ASSERT_GT(iop_test::LoadIrx(libsd, 28573), 0);
        ASSERT_EQ(sceSdInit(0), 0);
        path_ = testing::TempDir() + "audio-" + std::to_string(getpid()) + ".wav";
    }
    void TearDown() override
    {
        headless::Uninstall();
        console::SetOption("wav", "");
        std::filesystem::remove(path_);
        IopTest::TearDown();
    }

    std::string path_;
};

// Magnitude of the DFT of `x` at bin k (the twiddle factor kept by rotation).
double Magnitude(const std::vector<double>& x, int k)
{
    const double w = -2 * std::numbers::pi * k / static_cast<double>(x.size());
    const std::complex<double> step(std::cos(w), std::sin(w));
    std::complex<double> twiddle(1, 0), sum(0, 0);
    for (double v : x) {
        sum += v * twiddle;
        twiddle *= step;
    }
    return std::abs(sum);
}

uint32_t Le32(const std::vector<unsigned char>& d, size_t at)
{
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

TEST_F(AudioOutput, AToneVoiceGivesAWavOfTheRunsLengthPeakingAt1kHz)
{
    console::SetOption("wav", path_);
    std::string error;
    ASSERT_TRUE(headless::Install(&error)) << error;
    StartTone();
    // The mixer has run since power-on; the samples before the field timing
    // starts count too.
    const uint64_t before = console::Now() / console::kSpuSample;
    RunFields(50);  // one second of PAL fields
    ASSERT_NE(console::host::GetBackend().shutdown, nullptr);
    console::host::GetBackend().shutdown(0);

    std::ifstream in(path_, std::ios::binary);
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(file.size(), 44u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(file, 4), file.size() - 8);
    EXPECT_EQ(Le32(file, 24), 48000u);  // rate
    const uint64_t frames = before + 48000;  // and one second of stereo 16-bit frames
    EXPECT_EQ(Le32(file, 40), frames * 4);
    ASSERT_EQ(file.size(), 44 + frames * 4);

    // 4,800 left samples from the middle: 10 Hz bins; bin 100 is 1 kHz.
    std::vector<double> left, right;
    for (size_t i = 24000; i < 28800; ++i) {
        left.push_back(static_cast<int16_t>(file[44 + i * 4] | file[45 + i * 4] << 8));
        right.push_back(static_cast<int16_t>(file[46 + i * 4] | file[47 + i * 4] << 8));
    }
    int best = 1;
    double best_magnitude = 0;
    for (int k = 1; k < 2400; ++k) {
        const double m = Magnitude(left, k);
        if (m > best_magnitude) {
            best_magnitude = m;
            best = k;
        }
    }
    EXPECT_EQ(best, 100);
    // The tone's amplitude: about 7 * 4096 at full volumes, a quarter on the
    // right (0x1000 of 0x4000).
    EXPECT_NEAR(best_magnitude / (left.size() / 2.0), 7 * 4096, 7 * 4096 * 0.05);
    EXPECT_NEAR(Magnitude(right, 100) / best_magnitude, 0.25, 0.01);
}

TEST_F(AudioOutput, TheWavEndsWhereTheRunEnds)
{
    console::SetOption("wav", path_);
    std::string error;
    ASSERT_TRUE(headless::Install(&error)) << error;
    RunFields(3);
    ee_spin(10 * console::kSpuSample + 5);  // past the last field boundary
    const uint64_t frames = console::Now() / console::kSpuSample;
    console::host::GetBackend().shutdown(0);
    EXPECT_EQ(std::filesystem::file_size(path_), 44 + frames * 4);
}

// Collects what the mixer hands over.
class CaptureSink final : public console::host::AudioSink {
public:
    void Write(const int16_t* stereo, size_t frames) override
    {
        writes.push_back(frames);
        samples.insert(samples.end(), stereo, stereo + 2 * frames);
    }
    std::vector<size_t> writes;
    std::vector<int16_t> samples;
};

TEST_F(AudioOutput, TheMixerHandsOverEachFieldsSamplesAtItsBoundary)
{
    CaptureSink sink;
    console::host::Backend backend;
    backend.audio = &sink;
    console::host::SetBackend(backend);
    StartTone();
    const size_t before = static_cast<size_t>(console::Now() / console::kSpuSample);
    RunFields(4);
    // PAL: 2,949,120 bus cycles a field, 960 samples; the first hand-over
    // also has the samples made before the field timing started.
    EXPECT_EQ(sink.writes, (std::vector<size_t>{before + 960, 960, 960, 960}));
    // Samples made by calls between boundaries wait for the next boundary.
    ee_spin(100 * console::kSpuSample);
    sceSdGetParam(SD_VOICE(0, 4) | SD_VP_ENVX);
    EXPECT_EQ(sink.writes.size(), 4u);
    EXPECT_EQ(console::spu2::SamplesMixed(), before + 4 * 960 + 100);
    RunFields(5);
    EXPECT_EQ(sink.writes.back(), 960u);
    EXPECT_EQ(sink.samples.size(), 2 * (before + 5 * 960));
    console::host::SetBackend(console::host::Backend{});
}

TEST_F(AudioOutput, TransferredBytesSoundFromTheMomentTheyLand)
{
    CaptureSink sink;
    console::host::Backend backend;
    backend.audio = &sink;
    console::host::SetBackend(backend);
    // A two-block loop of constant 4096 (filter 0, shift 0, nibbles 1),
    // overwritten by a transfer with constant 8192 (nibbles 2).
    u8* data = static_cast<u8*>(AllocSysMemory(ALLOC_FIRST, 32, nullptr));
    ASSERT_NE(data, nullptr);
    auto fill = [data](u8 nibbles) {
        std::memset(data, nibbles * 0x11, 32);
        data[0] = 0x00, data[1] = 6;
        data[16] = 0x00, data[17] = 3;
    };
    fill(1);
    sceSdVoiceTrans(0, SD_TRANS_MODE_WRITE, data, kStart, 32);
    sceSdVoiceTransStatus(0, SD_TRANS_STATUS_WAIT);
    for (int core = 0; core < 2; ++core) {
        sceSdSetParam(SD_P_MMIX | core, 0xFFCF);
        sceSdSetParam(SD_P_MVOLL | core, 0x3FFF);
        sceSdSetSwitch(SD_S_VMIXL | core, 0xFFFFFF);
    }
    sceSdSetParam(SD_VOICE(0, 0) | SD_VP_VOLL, 0x3FFF);
    sceSdSetParam(SD_VOICE(0, 0) | SD_VP_PITCH, 0x1000);
    sceSdSetAddr(SD_VOICE(0, 0) | SD_VA_SSA, kStart);
    sceSdSetSwitch(SD_S_KON, 1);
    ee_spin(50 * console::kSpuSample);
    fill(2);
    sceSdVoiceTrans(0, SD_TRANS_MODE_WRITE, data, kStart, 32);
    const console::Cycles lands = console::Now() + console::TransferCycles(32, console::GetCosts().spu_xfer_mbps);
    ee_spin(static_cast<u32>(lands - console::Now()) + 100 * console::kSpuSample);  // nothing mixes meanwhile
    console::spu2::FlushAudio();
    const size_t at = static_cast<size_t>(lands / console::kSpuSample);
    ASSERT_GT(sink.samples.size(), 2 * (at + 60));
    const int16_t before = sink.samples[2 * (at - 5)], after = sink.samples[2 * (at + 60)];
    EXPECT_GT(before, 3000);
    EXPECT_LT(before, 4200);
    EXPECT_NEAR(after, 2 * before, 4);
    console::host::SetBackend(console::host::Backend{});
}

// Voices on both cores that start, end and fade at different samples: a
// looped tone, a one-shot that falls silent after six blocks, a voice
// keyed off into a fast release and a pitch past the limit, with partial dry
// masks, core 0 reaching the output through core 1's input, and volumes of
// both signs.
void StartMixture()
{
    using namespace console::spu2;
    uint8_t* ram = SoundRam();
    for (int b = 0; b < 8; ++b) {
        uint8_t* p = ram + 0x6000 + 16 * b;
        p[0] = static_cast<uint8_t>((b % 3) << 4 | (b % 5));  // filter, shift
        p[1] = b == 0 ? kAdpcmLoopStart : (b == 7 ? kAdpcmLoopEnd | kAdpcmLoopRepeat : 0);
        for (int i = 2; i < 16; ++i)
            p[i] = static_cast<uint8_t>(0x1F * (b + 1) + 0x35 * i);
    }
    for (int b = 0; b < 6; ++b) {
        uint8_t* p = ram + 0x7000 + 16 * b;
        p[0] = 0x12;
        p[1] = b == 5 ? kAdpcmLoopEnd : 0;
        std::memset(p + 2, 0x70 + b, 14);
    }
    Core& c0 = GetCore(0);
    Core& c1 = GetCore(1);
    c0.mixer = kMixVoicesLeft | kMixVoicesRight;
    c1.mixer = kMixVoicesLeft | kMixVoicesRight | kMixInputLeft | kMixInputRight;
    c0.master_left = c1.master_left = 0x3FFF;
    c0.master_right = 0x2000;
    c1.master_right = 0x5000;  // negative
    c0.dry_left = 0x00F;
    c0.dry_right = 0x00A;
    c1.dry_left = c1.dry_right = 0xFFFFFF;
    struct Setup {
        int core, voice;
        uint32_t start;
        uint16_t pitch, left, right, adsr1, adsr2;
    };
    const Setup setups[] = {
        {0, 0, 0x6000, 0x1000, 0x3FFF, 0x1000, 0x00FF, 0x1FC0},
        {0, 1, 0x7000, 0x0C00, 0x2000, 0x3FFF, 0x000F, 0x1FC0},
        {0, 3, 0x6000, 0x3FFF + 0x800, 0x4800, 0x0800, 0x0A8F, 0x5FC3},
        {1, 5, 0x7000, 0x1800, 0x3000, 0x6000, 0x00FF, 0x1FC1},
        {1, 9, 0x6010, 0x0733, 0x1FFF, 0x1FFF, 0x7F0F, 0x9FC0},
    };
    for (const Setup& s : setups) {
        Voice& v = GetCore(s.core).voices[s.voice];
        v.start_address = s.start;
        v.pitch = s.pitch;
        v.volume_left = s.left;
        v.volume_right = s.right;
        v.adsr1 = s.adsr1;
        v.adsr2 = s.adsr2;
    }
    KeyOn(0, 0b1011);
    KeyOn(1, 1u << 5 | 1u << 9);
}

TEST_F(AudioOutput, MixingInBlocksMakesWhatMixingSampleBySampleMakes)
{
    constexpr int kSamples = 3 * 960 + 77;  // several blocks and a part of one
    constexpr int kKeyOff = 700;            // core 1's voice 5 released here
    console::spu2::CatchUp();

    // Sample by sample.
    StartMixture();
    std::vector<int16_t> expected;
    for (int i = 0; i < kSamples; ++i) {
        if (i == kKeyOff)
            console::spu2::KeyOff(1, 1u << 5);
        int16_t out[2];
        console::spu2::MixOneSample(out);
        expected.insert(expected.end(), out, out + 2);
    }

    // The same, made as the clock moves.
    CaptureSink sink;
    console::host::Backend backend;
    backend.audio = &sink;
    console::host::SetBackend(backend);
    console::spu2::FlushAudio();
    sink.samples.clear();
    console::spu2::ResetCores();
    StartMixture();
    ee_spin(kKeyOff * console::kSpuSample);
    console::spu2::CatchUp();
    console::spu2::KeyOff(1, 1u << 5);
    ee_spin((kSamples - kKeyOff) * console::kSpuSample);
    console::spu2::FlushAudio();
    console::host::SetBackend(console::host::Backend{});

    ASSERT_EQ(sink.samples.size(), expected.size());
    EXPECT_EQ(sink.samples, expected);
    // The mixture is not silence, and its one-shot and released voices ended.
    EXPECT_NE(std::count(expected.begin(), expected.end(), 0), static_cast<long>(expected.size()));
    EXPECT_FALSE(console::spu2::GetCore(0).voices[1].Sounding());
    EXPECT_FALSE(console::spu2::GetCore(1).voices[5].Sounding());
    EXPECT_TRUE(console::spu2::GetCore(0).voices[0].Sounding());
}

TEST(WavHeader, DescribesStereo16BitAt48kHz)
{
    const headless::WavHeader h = headless::MakeWavHeader(1000);
    unsigned char bytes[44];
    std::memcpy(bytes, &h, sizeof bytes);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 4), "RIFF");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes) + 8, 8), "WAVEfmt ");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes) + 36, 4), "data");
    const std::vector<unsigned char> v(bytes, bytes + 44);
    EXPECT_EQ(Le32(v, 4), 36u + 4000u);
    EXPECT_EQ(Le32(v, 16), 16u);
    EXPECT_EQ(v[20] | v[21] << 8, 1);   // PCM
    EXPECT_EQ(v[22] | v[23] << 8, 2);   // stereo
    EXPECT_EQ(Le32(v, 24), 48000u);
    EXPECT_EQ(Le32(v, 28), 192000u);    // bytes a second
    EXPECT_EQ(v[32] | v[33] << 8, 4);   // bytes a frame
    EXPECT_EQ(v[34] | v[35] << 8, 16);  // bits
    EXPECT_EQ(Le32(v, 40), 4000u);
}

}  // namespace
