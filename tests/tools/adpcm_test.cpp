#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "console/src/spu2/adpcm.h"
#include "tools/lib/adpcm.h"
#include "tools/lib/pak.h"

namespace {

using console::spu2::AdpcmHistory;
using console::spu2::DecodeAdpcm;
using console::spu2::DecodeAdpcmBlock;
using tools::AdpcmLoop;

std::vector<int16_t> Sine(double hz, double amplitude, size_t n, double rate = 48000)
{
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate)));
    return s;
}

std::vector<int16_t> Decode(const std::vector<u8>& data)
{
    std::vector<int16_t> out(data.size() / 16 * 28);
    DecodeAdpcm(data, out.data());
    return out;
}

double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded)
{
    double signal = 0, noise = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        signal += static_cast<double>(reference[i]) * reference[i];
        const double d = static_cast<double>(decoded[i]) - reference[i];
        noise += d * d;
    }
    return 10 * std::log10(signal / noise);
}

u16 Le16(const std::vector<u8>& d, size_t at)
{
    return static_cast<u16>(d[at] | d[at + 1] << 8);
}

u32 Le32(const std::vector<u8>& d, size_t at)
{
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<u32>(d[at + 3]) << 24;
}

TEST(AdpcmEncoder, SinesRoundTripAbove30dB)
{
    // Above about 6 kHz the predictors (all low-pass) help little and a
    // pure sine keeps some 25 dB with this encoder.
    for (double hz : {110.0, 440.0, 3000.0, 5000.0}) {
        const std::vector<int16_t> pcm = Sine(hz, 20000, 28 * 400);
        const std::vector<int16_t> back = Decode(tools::EncodeAdpcm(pcm, AdpcmLoop::kRaw));
        ASSERT_EQ(back.size(), pcm.size());
        EXPECT_GT(SnrDb(pcm, back), 30.0) << hz << " Hz";
    }
    // Quiet sounds keep their precision through the small shifts.
    const std::vector<int16_t> quiet = Sine(440, 300, 28 * 100);
    EXPECT_GT(SnrDb(quiet, Decode(tools::EncodeAdpcm(quiet, AdpcmLoop::kRaw))), 30.0);
}

TEST(AdpcmEncoder, SmallValuesAreCodedExactly)
{
    int16_t in[28];
    for (int i = 0; i < 28; ++i)
        in[i] = static_cast<int16_t>(i % 16 - 8);  // -8..7: shift 12 of filter 0 holds them
    AdpcmHistory enc, dec;
    u8 block[16];
    tools::EncodeAdpcmBlock(in, enc, block);
    int16_t out[28];
    DecodeAdpcmBlock(block, dec, out);
    EXPECT_EQ(std::memcmp(in, out, sizeof in), 0);
    EXPECT_EQ(enc.s1, dec.s1);
    EXPECT_EQ(enc.s2, dec.s2);
}

TEST(AdpcmEncoder, FlagsMarkTheEndsOfTheSound)
{
    const std::vector<int16_t> pcm = Sine(1000, 10000, 29);  // two blocks, the second padded
    std::vector<u8> d = tools::EncodeAdpcm(pcm, AdpcmLoop::kOneShot);
    ASSERT_EQ(d.size(), 32u);
    EXPECT_EQ(d[1], 0);
    EXPECT_EQ(d[17], 1);
    d = tools::EncodeAdpcm(pcm, AdpcmLoop::kWhole);
    EXPECT_EQ(d[1], 6);
    EXPECT_EQ(d[17], 3);
    d = tools::EncodeAdpcm(pcm, AdpcmLoop::kRaw);
    EXPECT_EQ(d[1], 0);
    EXPECT_EQ(d[17], 0);
    // One block that loops onto itself; no samples still make a block.
    EXPECT_EQ(tools::EncodeAdpcm(Sine(1000, 100, 28), AdpcmLoop::kWhole)[1], 7);
    EXPECT_EQ(tools::EncodeAdpcm({}, AdpcmLoop::kOneShot).size(), 16u);
}

TEST(AdpcmEncoder, ALoopsFirstBlockDecodesTheSameAfterEachJump)
{
    const std::vector<u8> d = tools::EncodeAdpcm(Sine(700, 15000, 28 * 6), AdpcmLoop::kWhole);
    EXPECT_EQ(d[0] >> 4, 0);  // filter 0: no prediction from the samples before
    AdpcmHistory from_key_on, from_loop{12345, -2345};
    int16_t a[28], b[28];
    DecodeAdpcmBlock(d.data(), from_key_on, a);
    DecodeAdpcmBlock(d.data(), from_loop, b);
    EXPECT_EQ(std::memcmp(a, b, sizeof a), 0);
}

TEST(AdpcmEncoder, PitchForRateRoundsAndRefusesTheUnplayable)
{
    u16 p = 0;
    ASSERT_TRUE(tools::PitchForRate(48000, p));
    EXPECT_EQ(p, 0x1000);
    ASSERT_TRUE(tools::PitchForRate(22050, p));
    EXPECT_EQ(p, 1882);  // 1881.6
    ASSERT_TRUE(tools::PitchForRate(11025, p));
    EXPECT_EQ(p, 941);  // 940.8
    ASSERT_TRUE(tools::PitchForRate(191988, p));
    EXPECT_EQ(p, 0x3FFF);
    EXPECT_FALSE(tools::PitchForRate(192000, p));
    EXPECT_FALSE(tools::PitchForRate(0, p));
    EXPECT_FALSE(tools::PitchForRate(5, p));
}

TEST(AdpcmWav, ReadsMonoAndMixesStereo)
{
    const std::vector<int16_t> pcm = {0, 100, -100, 32767, -32768};
    tools::PcmSound sound;
    std::string error;
    ASSERT_TRUE(tools::ReadWav(tools::MakeWav(pcm, 22050), "a.wav", sound, error)) << error;
    EXPECT_EQ(sound.samples, pcm);
    EXPECT_EQ(sound.rate, 22050u);

    // Stereo, with an odd-sized chunk before the data (padded to even).
    std::vector<u8> st = tools::MakeWav(std::vector<int16_t>{10, 20, -7, -8}, 44100);
    st[22] = 2;                               // channels
    st[28] = 0x10, st[29] = 0xB1, st[30] = 2;  // bytes a second: 176400
    st[32] = 4;                               // bytes a frame
    const u8 extra[] = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    st.insert(st.begin() + 36, std::begin(extra), std::end(extra));
    ASSERT_TRUE(tools::ReadWav(st, "s.wav", sound, error)) << error;
    EXPECT_EQ(sound.samples, (std::vector<int16_t>{15, -8}));  // (-7 + -8) >> 1
    EXPECT_EQ(sound.rate, 44100u);
}

TEST(AdpcmWav, BadFilesAreRefusedWithTheirOffset)
{
    std::vector<u8> good = tools::MakeWav(std::vector<int16_t>{1, 2, 3}, 48000);
    tools::PcmSound sound;
    std::string error;
    auto refused = [&](std::vector<u8> file, const std::string& text) {
        error.clear();
        EXPECT_FALSE(tools::ReadWav(file, "x.wav", sound, error));
        EXPECT_NE(error.find(text), std::string::npos) << error;
    };
    refused({'R', 'I', 'F', 'F'}, "x.wav: offset 0: not a RIFF WAVE file");
    std::vector<u8> f = good;
    f[34] = 8;
    refused(f, "offset 34: 8-bit samples");
    f = good;
    f[20] = 3;
    refused(f, "offset 20: format 3 is not PCM");
    f = good;
    f[22] = 6;
    refused(f, "offset 22: 6 channels");
    f = good;
    f[40] = 200;
    refused(f, "offset 40: chunk runs past the end");
    f = good;
    f.resize(36);
    refused(f, "offset 36: no data chunk");
}

class AdpcmBank : public testing::Test {
protected:
    static tools::BankInput Input(const std::string& name, size_t samples, u32 rate,
                                  AdpcmLoop loop = AdpcmLoop::kOneShot, u16 flags = 0)
    {
        tools::BankInput in;
        in.name = name;
        in.sound.samples = Sine(500, 8000, samples);
        in.sound.rate = rate;
        in.loop = loop;
        in.flags = flags;
        return in;
    }
};

TEST_F(AdpcmBank, Layout1CountsIn8ByteUnits)
{
    const std::vector<tools::BankInput> inputs = {Input("a", 28, 48000), Input("b", 100, 22050, AdpcmLoop::kWhole)};
    std::vector<u8> bank;
    std::string error;
    ASSERT_TRUE(tools::BuildSoundBank(inputs, tools::BankLayout::kLayout1, 0, bank, error)) << error;
    // Header 4 + 2 * 4 bytes padded to 64; data 16 + 64 bytes.
    ASSERT_EQ(bank.size(), 64u + 80u);
    EXPECT_EQ(Le16(bank, 0), 2);
    EXPECT_EQ(Le16(bank, 2), 80 / 8);
    EXPECT_EQ(Le16(bank, 4), 0);       // sample 0 starts at 0
    EXPECT_EQ(Le16(bank, 6), 0x1000);  // and plays at 48 kHz
    EXPECT_EQ(Le16(bank, 8), 16 / 8);
    EXPECT_EQ(Le16(bank, 10), 1882);
    EXPECT_EQ(bank[12], 0);  // padding
    // Each sample's data is its own encoding, flags included.
    const std::vector<u8> b = tools::EncodeAdpcm(inputs[1].sound.samples, AdpcmLoop::kWhole);
    EXPECT_EQ(std::memcmp(bank.data() + 64 + 16, b.data(), b.size()), 0);
    EXPECT_EQ(bank[64 + 1], 1);
    EXPECT_EQ(bank[64 + 16 + 1], 6);
}

TEST_F(AdpcmBank, Layout2CountsInBytesAndMarksItsFlags)
{
    const std::vector<tools::BankInput> inputs = {Input("a", 56, 24000, AdpcmLoop::kOneShot, 0x0003),
                                                  Input("b", 1, 48000)};
    std::vector<u8> bank;
    std::string error;
    ASSERT_TRUE(tools::BuildSoundBank(inputs, tools::BankLayout::kLayout2, 0x0012, bank, error)) << error;
    ASSERT_EQ(bank.size(), 64u + 48u);
    EXPECT_EQ(Le16(bank, 0), 0x8012);  // bit 15 tells the layouts apart
    EXPECT_EQ(Le16(bank, 2), 2);
    EXPECT_EQ(Le32(bank, 4), 48u);
    EXPECT_EQ(Le16(bank, 8), 3);  // sample flags
    EXPECT_EQ(Le16(bank, 10), 0x800);
    EXPECT_EQ(Le32(bank, 12), 0u);
    EXPECT_EQ(Le16(bank, 16), 0);
    EXPECT_EQ(Le32(bank, 20), 32u);
}

TEST_F(AdpcmBank, WhatTheFieldsCannotHoldIsRefused)
{
    std::vector<u8> bank;
    std::string error;
    tools::BankInput empty = Input("empty.wav", 0, 48000);
    EXPECT_FALSE(tools::BuildSoundBank({empty}, tools::BankLayout::kLayout2, 0, bank, error));
    EXPECT_NE(error.find("empty.wav: the sound is empty"), std::string::npos) << error;
    EXPECT_FALSE(tools::BuildSoundBank({Input("fast.wav", 28, 400000)}, tools::BankLayout::kLayout1, 0, bank, error));
    EXPECT_NE(error.find("fast.wav: no pitch plays 400000 Hz"), std::string::npos) << error;
    // 32,768 blocks are 524,288 bytes, past layout 1's 16-bit count of 8 bytes.
    EXPECT_FALSE(
        tools::BuildSoundBank({Input("long.wav", 28 * 32768, 48000)}, tools::BankLayout::kLayout1, 0, bank, error));
    EXPECT_NE(error.find("passes layout 1's 524,280 bytes"), std::string::npos) << error;
    // An empty bank is a header alone.
    ASSERT_TRUE(tools::BuildSoundBank({}, tools::BankLayout::kLayout1, 0, bank, error));
    EXPECT_EQ(bank, std::vector<u8>(64, 0));
}

class AdpcmCommand : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = testing::TempDir() + "adpcmenc-" + std::to_string(getpid());
        std::filesystem::create_directories(dir_);
        std::string error;
        ASSERT_TRUE(tools::WriteHostFile(Path("tone.wav"), tools::MakeWav(Sine(1000, 12000, 480), 48000), error));
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    static int Run(std::vector<std::string> args)
    {
        std::vector<const char*> argv;
        for (const std::string& a : args)
            argv.push_back(a.c_str());
        return tools::RunAdpcmEnc(argv);
    }

    std::string dir_;
};

TEST_F(AdpcmCommand, EncodesBuildsBanksAndDecodes)
{
    ASSERT_EQ(Run({"--loop", Path("tone.wav"), Path("TONE.VB")}), 0);
    std::vector<u8> vb, bank, wav;
    std::string error;
    ASSERT_TRUE(tools::ReadHostFile(Path("TONE.VB"), vb, error));
    ASSERT_EQ(vb.size(), (480 + 27) / 28 * 16u);
    EXPECT_EQ(vb[1], 6);

    ASSERT_EQ(Run({"--bank2", "--bank-flags", "1", Path("B.SND"), "--loop", "--flags", "0x20", Path("tone.wav"),
                   Path("tone.wav")}),
              0);
    ASSERT_TRUE(tools::ReadHostFile(Path("B.SND"), bank, error));
    EXPECT_EQ(Le16(bank, 0), 0x8001);
    EXPECT_EQ(Le16(bank, 2), 2);
    EXPECT_EQ(Le16(bank, 8), 0x20);  // --flags applies to the file after it only
    EXPECT_EQ(Le16(bank, 16), 0);
    EXPECT_EQ(std::memcmp(bank.data() + 64, vb.data(), vb.size()), 0);

    ASSERT_EQ(Run({"--decode", Path("TONE.VB"), "48000", Path("back.wav")}), 0);
    ASSERT_TRUE(tools::ReadHostFile(Path("back.wav"), wav, error));
    tools::PcmSound back;
    ASSERT_TRUE(tools::ReadWav(wav, "back.wav", back, error)) << error;
    EXPECT_EQ(back.samples.size(), vb.size() / 16 * 28);
    EXPECT_EQ(back.samples, Decode(vb));
}

TEST_F(AdpcmCommand, BadArgumentsAndInputsFail)
{
    EXPECT_EQ(Run({}), 2);
    EXPECT_EQ(Run({Path("tone.wav")}), 2);
    EXPECT_EQ(Run({"--frobnicate", Path("tone.wav"), Path("x.vb")}), 2);
    EXPECT_EQ(Run({"--bank1", Path("B.SND"), "--flags"}), 2);
    EXPECT_EQ(Run({"--decode", Path("tone.wav"), "0", Path("x.wav")}), 2);
    EXPECT_EQ(Run({Path("missing.wav"), Path("x.vb")}), 1);
    EXPECT_EQ(Run({"--bank1", Path("B.SND"), Path("missing.wav")}), 1);
    EXPECT_FALSE(std::filesystem::exists(Path("B.SND")));
}

}  // namespace
