// Test support for streamed sound: tunes encoded as .VB files on a synthetic
// disc, the sound module and the streamer started as the game starts them,
// displayed frames run in the main loop's order, and the mixer's output
// captured for listening.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include <ee/sif.h>

#include "console/sif/iop_test_util.h"
#include "host/host.h"
#include "spu2/spu2.h"
#include "spu2/spu_ram.h"
#include "tools/lib/adpcm.h"
#include "ZevEngine2/PS2/sound_support.h"
#include "ZevEngine2/PS2/stream_disc.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Sound.h"

namespace streamsound {

constexpr double kOutRate = 48000;
constexpr u32 kPreMadeBankSize = 98304;
constexpr int kPreMadeBanks = 4;

// A tune of pieces: piece k is a sine of hz[k] lasting `samples` samples at
// `rate`.
inline std::vector<int16_t> Tune(const std::vector<double>& hz, size_t samples, double rate, double amp = 8000)
{
    std::vector<int16_t> v;
    for (double f : hz)
        for (size_t i = 0; i < samples; i++)
            v.push_back(int16_t(std::lround(amp * std::sin(2 * std::numbers::pi * f * double(i) / rate))));
    return v;
}

// A .VB file: headerless ADPCM.  Raw data has no flags at all; a one-shot
// or looping encoding carries the sound's own end (and loop) markers.
inline std::vector<u8> Vb(const std::vector<int16_t>& pcm, tools::AdpcmLoop loop = tools::AdpcmLoop::kRaw)
{
    return tools::EncodeAdpcm(pcm, loop);
}

inline size_t Blocks(size_t samples)
{
    return (samples + 27) / 28;
}

// Amplitude of the tone of hz in n samples of x from `from` (a sine of
// amplitude A that completes whole periods in the window gives A).
inline double ToneAt(const std::vector<double>& x, size_t from, size_t n, double hz)
{
    std::complex<double> sum(0, 0);
    const double w = -2 * std::numbers::pi * hz / kOutRate;
    for (size_t i = 0; i < n && from + i < x.size(); i++)
        sum += x[from + i] * std::complex<double>(std::cos(w * double(i)), std::sin(w * double(i)));
    return std::abs(sum) / (double(n) / 2);
}

// Of the candidate frequencies, the loudest in the window.
inline double Loudest(const std::vector<double>& x, size_t from, size_t n, const std::vector<double>& hz)
{
    double best = 0, bestamp = -1;
    for (double f : hz) {
        double a = ToneAt(x, from, n, f);
        if (a > bestamp) {
            bestamp = a;
            best = f;
        }
    }
    return best;
}

// Collects what the mixer hands over.
class CaptureSink final : public console::host::AudioSink {
public:
    void Write(const int16_t* stereo, size_t frames) override { samples.insert(samples.end(), stereo, stereo + 2 * frames); }
    std::vector<int16_t> samples;
};

class StreamSoundTest : public streamtest::StreamerTest {
protected:
    void SetUp() override
    {
        StreamerTest::SetUp();
        console::host::Backend backend;
        backend.audio = &sink_;
        console::host::SetBackend(backend);
        ASSERT_GT(iop_test::LoadIrx(libsd, 28573), 0);
        vbcallbacks.vsynccount = 1;
    }

    void TearDown() override
    {
        sound = SoundSystem(kPreMadeBankSize, kPreMadeBanks, true);
        vbcallbacks.vsynccount = 0;
        console::host::SetBackend(console::host::Backend{});
        StreamerTest::TearDown();
    }

    // The disc, the streamer and the sound system as the game starts them.
    void Start(const std::vector<tools::PakInputFile>& files)
    {
        StartWith(files);
        sound = SoundSystem(kPreMadeBankSize, kPreMadeBanks, true);
        ASSERT_EQ(SoundInit(), 1);
    }

    // One displayed frame in the main loop's order: the sound update, the
    // stream owners' updates, then a field of time in small steps (the
    // sound module answers soon after the update), then the vertical blank.
    void Frame(const std::function<void()>& updates)
    {
        sound.Update(1, Matrix(true));
        if (updates)
            updates();
        for (int i = 0; i < 20; i++)
            ee_spin(u32(console::kPalField / 20));
        vbcallbacks.vsynccount = vbcallbacks.vsynccount + 1;
    }

    static size_t NowSample() { return size_t(console::Now() / console::kSpuSample); }

    // The left channel of everything mixed so far.
    std::vector<double> Left()
    {
        console::spu2::FlushAudio();
        std::vector<double> out;
        for (size_t i = 0; 2 * i < sink_.samples.size(); i++)
            out.push_back(sink_.samples[2 * i]);
        return out;
    }

    // First non-zero sample at or after `from`; x.size() when none.
    static size_t Onset(const std::vector<double>& x, size_t from)
    {
        size_t i = from;
        while (i < x.size() && x[i] == 0)
            i++;
        return i;
    }

    // Last non-zero sample, 0 when none.
    static size_t LastSound(const std::vector<double>& x)
    {
        for (size_t i = x.size(); i > 0; i--)
            if (x[i - 1] != 0)
                return i - 1;
        return 0;
    }

    // The longest run of zero samples within [from, to).
    static size_t LongestSilence(const std::vector<double>& x, size_t from, size_t to)
    {
        size_t best = 0, run = 0;
        for (size_t i = from; i < to && i < x.size(); i++) {
            run = x[i] == 0 ? run + 1 : 0;
            best = std::max(best, run);
        }
        return best;
    }

    // The voice a channel plays on.
    static console::spu2::Voice& ChannelVoice(int chan)
    {
        return soundtest::VoiceAt(sound.GetChannel(chan)->curhwchannel);
    }

    static bool ConsoleHas(const std::string& line) { return console::ConsoleText().find(line) != std::string::npos; }

    CaptureSink sink_;
};

}  // namespace streamsound
