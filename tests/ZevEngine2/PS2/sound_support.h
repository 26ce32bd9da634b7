// Test support for the sound module and the sound system: tones, sound banks
// made by the bank builder, and a look at the sound processor's voices.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "spu2/spu2.h"
#include "tools/lib/adpcm.h"

namespace soundtest {

// n samples of a sine of `hz` and `amplitude` at `rate`.
inline std::vector<int16_t> Sine(double hz, double amplitude, size_t n, double rate = 48000)
{
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = int16_t(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / rate)));
    return v;
}

inline tools::BankInput Tone(const std::string& name, double hz, size_t samples, u32 rate = 48000,
                             tools::AdpcmLoop loop = tools::AdpcmLoop::kOneShot, u16 flags = 0)
{
    tools::BankInput in;
    in.name = name;
    in.sound.samples = Sine(hz, 8000, samples, rate);
    in.sound.rate = rate;
    in.loop = loop;
    in.flags = flags;
    return in;
}

inline std::vector<u8> Bank(const std::vector<tools::BankInput>& inputs,
                            tools::BankLayout layout = tools::BankLayout::kLayout1, u16 flags = 0)
{
    std::vector<u8> bank;
    std::string error;
    EXPECT_TRUE(tools::BuildSoundBank(inputs, layout, flags, bank, error)) << error;
    return bank;
}

inline u32 Round64(u32 n)
{
    return (n + 63) & ~63u;
}

// Voice v of 0..47 as the sound processor holds it.
inline console::spu2::Voice& VoiceAt(int v)
{
    return console::spu2::GetCore(v / 24).voices[v % 24];
}

// Magnitude of the DFT of x at bin k, as an amplitude (a sine of amplitude A
// whose frequency sits exactly on bin k gives A).
inline double Amplitude(const std::vector<double>& x, int k)
{
    const double w = -2 * std::numbers::pi * k / double(x.size());
    std::complex<double> sum(0, 0);
    for (size_t i = 0; i < x.size(); i++)
        sum += x[i] * std::complex<double>(std::cos(w * double(i)), std::sin(w * double(i)));
    return std::abs(sum) / (double(x.size()) / 2);
}

}  // namespace soundtest
