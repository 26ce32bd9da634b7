// Generated effects and voice lines.
// Standard headers come before the game's, whose common header renames the
// C library's heap and printing functions for game code.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "tools/lib/adpcm.h"
#include "tools/lib/samplesound.h"

namespace tools {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kRate = kEffectRate;

// A small linear congruential generator: noise that depends on the seed only.
class Noise
{
public:
    explicit Noise(u32 seed) : x(seed * 2654435761u + 12345u) {}
    double Next()
    {
        x = x * 1664525u + 1013904223u;
        return double(int32_t(x)) / 2147483648.0;
    }

private:
    u32 x;
};

std::vector<int16_t> ToPcm(const std::vector<double>& in, double gain)
{
    std::vector<int16_t> out(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        out[i] = int16_t(std::lround(std::clamp(in[i] * gain, -32767.0, 32767.0)));
    return out;
}

// Attack over the first 5 ms, exponential decay with time constant `decay`.
double Envelope(double t, double decay)
{
    return std::min(1.0, t / 0.005) * std::exp(-t / decay);
}

std::vector<double> Tone(double seconds, double hz, double decay)
{
    std::vector<double> v(size_t(seconds * kRate));
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / kRate;
        v[i] = Envelope(t, decay) * (std::sin(2 * kPi * hz * t) + 0.3 * std::sin(4 * kPi * hz * t));
    }
    return v;
}

// Noise through a one-pole low-pass of cut-off `hz`.
std::vector<double> Burst(double seconds, double hz, double decay, u32 seed)
{
    std::vector<double> v(size_t(seconds * kRate));
    Noise n(seed);
    const double a = std::exp(-2 * kPi * hz / kRate);
    double y = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        y = a * y + (1 - a) * n.Next();
        v[i] = Envelope(double(i) / kRate, decay) * y * 3.0;
    }
    return v;
}

// A sine gliding exponentially from hz0 to hz1.
std::vector<double> Sweep(double seconds, double hz0, double hz1, double decay)
{
    std::vector<double> v(size_t(seconds * kRate));
    double phase = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / kRate;
        phase += 2 * kPi * hz0 * std::pow(hz1 / hz0, t / seconds) / kRate;
        v[i] = Envelope(t, decay) * std::sin(phase);
    }
    return v;
}

// Adds b into a (a grows to b's length when shorter).
void Mix(std::vector<double>& a, const std::vector<double>& b, double gain)
{
    if (a.size() < b.size())
        a.resize(b.size(), 0.0);
    for (size_t i = 0; i < b.size(); ++i)
        a[i] += gain * b[i];
}

// A struck piece of metal: partials that do not fall on harmonics, each
// dying away on its own.
std::vector<double> Clink(double seconds, double hz, double decay)
{
    std::vector<double> v(size_t(seconds * kRate));
    static constexpr double kPartials[3][2] = {{1.0, 1.0}, {1.51, 0.6}, {2.03, 0.35}};
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / kRate;
        for (const auto& p : kPartials)
            v[i] += p[1] * std::min(1.0, t / 0.001) * std::exp(-t * p[0] / decay) * std::sin(2 * kPi * hz * p[0] * t);
    }
    return v;
}

}  // namespace

std::vector<int16_t> SampleWhiz()
{
    // Falling as the bullet passes; loudest in the middle.
    constexpr double kSeconds = 0.35;
    std::vector<double> v = Sweep(kSeconds, 2400, 600, 10.0);
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / kRate / kSeconds;
        v[i] *= std::sin(kPi * t) * std::sin(kPi * t);
    }
    return ToPcm(v, 9000);
}

std::vector<int16_t> SampleGrapple()
{
    std::vector<double> thud = Tone(0.4, 80, 0.12);
    const std::vector<double> scrape = Burst(0.4, 2500, 0.2, 3);
    for (size_t i = 0; i < thud.size(); ++i)
        thud[i] += 0.5 * scrape[i];
    return ToPcm(thud, 9000);
}

std::vector<int16_t> SampleGunSound(int index)
{
    const int variant = index & 3;
    std::vector<double> v;
    if (index >= 0 && index <= 3) {
        // Ricochet: a crack, then the bullet's whine falling away.
        v = Burst(0.02, 5000, 0.006, u32(100 + index));
        Mix(v, Sweep(0.3 + 0.03 * variant, 3600 - 300 * variant, 900 + 100 * variant, 0.12), 0.8);
        return ToPcm(v, 9000);
    }
    switch (index) {
    case 4:
        // Into flesh, a car's panel, anything soft: a dull low thud.
        v = Tone(0.12, 90, 0.04);
        Mix(v, Burst(0.12, 400, 0.03, 104), 0.6);
        return ToPcm(v, 12000);
    case 5:
        // Into stone or a wall: a bright crack of grit.
        return ToPcm(Burst(0.1, 6000, 0.02, 105), 12000);
    case 6:
    case 7:
    case 8:
    case 9:
    case 12:
    case 13:
    case 14:
    case 15:
    case 16:
    case 17: {
        // A shot: the muzzle's crack over the boom of the charge.  Pistols
        // ring on longest, automatics are clipped short to repeat, and the
        // shotguns (16, 17) are lower and heavier.
        const bool shotgun = index >= 16;
        const bool automatic = index >= 12 && !shotgun;
        const double seconds = automatic ? 0.12 : shotgun ? 0.4 : 0.28;
        v = Burst(seconds, shotgun ? 1800 : 3500 + 250 * variant, automatic ? 0.025 : 0.05, u32(index));
        Mix(v, Tone(seconds, (shotgun ? 55 : 110) + 8 * variant, automatic ? 0.03 : 0.08), 0.9);
        return ToPcm(v, 14000);
    }
    case 19:
        // A shell case landing: a small high clink.
        return ToPcm(Clink(0.15, 3100, 0.03), 6000);
    case 20:
        return SampleWhiz();
    case 21:
        // The grenade launcher: a hollow thump.
        v = Tone(0.3, 60, 0.1);
        Mix(v, Burst(0.3, 700, 0.05, 121), 0.7);
        return ToPcm(v, 12000);
    case 22:
        // A grenade (or its case) striking the ground: a heavy clank.
        v = Clink(0.2, 900, 0.06);
        Mix(v, Burst(0.05, 2000, 0.01, 122), 0.5);
        return ToPcm(v, 8000);
    default:
        return {};
    }
}

namespace {

// The effects of the banks without sounds of their own.
std::vector<int16_t> GenericEffect(int bank, int index)
{
    const int k = bank * 64 + index;
    const double seconds = 0.06 + 0.03 * (k % 4);
    switch (k % 3) {
    case 0:
        return ToPcm(Tone(seconds, 220.0 * std::pow(2.0, (k % 24) / 12.0), seconds / 3), 8000);
    case 1:
        return ToPcm(Burst(seconds, 500.0 + 300.0 * (k % 11), seconds / 3, u32(k)), 8000);
    default:
        return ToPcm(Sweep(seconds, 300.0 + 40.0 * (k % 13), 900.0 + 60.0 * (k % 7), seconds / 2), 8000);
    }
}

}  // namespace

std::vector<int16_t> SampleEffect(int bank, int index)
{
    if (bank == kGunBank) {
        std::vector<int16_t> gun = SampleGunSound(index);
        if (!gun.empty())
            return gun;
    }
    if (bank == kCarBank) {
        std::vector<int16_t> car = SampleCarSound(index);
        if (!car.empty())
            return car;
    }
    if (bank == 0 && index == 3)
        return SampleGrapple();
    return GenericEffect(bank, index);
}

namespace {

// A looping sound's length: whole ADPCM blocks of 28 samples, about half a
// second.
constexpr size_t kLoopBlocks = 394;
constexpr size_t kLoopSamples = kLoopBlocks * 28;

// Partials of k whole waves in n samples: the sound ends where it began.
void AddWaves(std::vector<double>& v, size_t from, size_t n, int k, double gain)
{
    for (size_t i = 0; i < n; ++i)
        v[from + i] += gain * std::sin(2 * kPi * k * double(i) / double(n));
}

}  // namespace

std::vector<int16_t> SampleCarSound(int index)
{
    std::vector<double> v;
    switch (index) {
    case 19:
        // Gears taking hold: a clunk over a low knock.
        v = Clink(0.25, 330, 0.07);
        Mix(v, Tone(0.25, 70, 0.06), 0.8);
        return ToPcm(v, 8000);
    case 20:
        // The motor: a hum of about 100 Hz and its overtones, steady.
        v.assign(kLoopSamples, 0.0);
        AddWaves(v, 0, kLoopSamples, 50, 1.0);
        AddWaves(v, 0, kLoopSamples, 100, 0.5);
        AddWaves(v, 0, kLoopSamples, 150, 0.35);
        AddWaves(v, 0, kLoopSamples, 200, 0.2);
        return ToPcm(v, 3500);
    case 21:
        // The stop at the top: a heavy clank.
        v = Clink(0.35, 180, 0.1);
        Mix(v, Burst(0.08, 1500, 0.02, 21), 0.6);
        return ToPcm(v, 9000);
    case 22:
        // The catch letting go: a clack and a short hiss.
        v = Burst(0.05, 5000, 0.01, 22);
        Mix(v, Burst(0.3, 3000, 0.12, 122), 0.4);
        return ToPcm(v, 9000);
    case 23:
        // The platform hitting bottom: a deep thud with a rattle.
        v = Tone(0.5, 45, 0.15);
        Mix(v, Burst(0.5, 250, 0.12, 23), 0.8);
        Mix(v, Clink(0.3, 600, 0.05), 0.3);
        return ToPcm(v, 10000);
    case 27: {
        // The siren: high, then low, each for half the loop.
        v.assign(kLoopSamples, 0.0);
        const size_t half = kLoopSamples / 2;
        AddWaves(v, 0, half, 240, 1.0);
        AddWaves(v, half, half, 193, 1.0);
        return ToPcm(v, 6000);
    }
    default:
        return {};
    }
}

bool BuildEffectBank(int bank, std::vector<u8>& out, std::string& error)
{
    const EffectBank& b = kEffectBanks[bank];
    std::vector<BankInput> sounds;
    for (int i = 0; i < b.samples; i++) {
        BankInput in;
        in.name = std::string(b.file) + " sample " + std::to_string(i);
        in.sound.samples = SampleEffect(bank, i);
        in.sound.rate = kEffectRate;
        if (bank == kCarBank && CarSampleLoops(i))
            in.loop = AdpcmLoop::kWhole;
        sounds.push_back(std::move(in));
    }
    if (!BuildSoundBank(sounds, BankLayout::kLayout1, 0, out, error)) {
        error = std::string("DemoData/Vags/") + b.file + ": " + error;
        return false;
    }
    return true;
}

std::vector<int16_t> SampleInterface(int index)
{
    switch (index) {
    case 1: return ToPcm(Tone(0.05, 1760, 0.015), 7000);
    case 2: {
        std::vector<double> v = Tone(0.24, 880, 0.05);
        const std::vector<double> low = Tone(0.12, 587.33, 0.04);
        for (size_t i = 0; i < low.size(); ++i)
            v[v.size() - low.size() + i] += low[i];
        return ToPcm(v, 6000);
    }
    case 3: return ToPcm(Tone(0.5, 130.81, 0.15), 9000);
    case 7: {
        // The motor: a low buzz under filtered noise.
        std::vector<double> v = Burst(0.4, 600, 0.2, 7);
        const std::vector<double> hum = Tone(0.4, 50, 0.3);
        for (size_t i = 0; i < v.size(); ++i)
            v[i] += 0.6 * hum[i];
        return ToPcm(v, 8000);
    }
    case 8: return ToPcm(Burst(0.08, 3000, 0.02, 8), 9000);
    case 9: {
        // A rattle: four clicks in quick succession.
        std::vector<double> v(size_t(0.3 * kRate), 0.0);
        for (int k = 0; k < 4; ++k) {
            const std::vector<double> click = Burst(0.04, 2500, 0.01, u32(90 + k));
            const size_t at = size_t(k * 0.07 * kRate);
            for (size_t i = 0; i < click.size() && at + i < v.size(); ++i)
                v[at + i] += click[i];
        }
        return ToPcm(v, 9000);
    }
    case 10: return ToPcm(Burst(0.03, 5000, 0.008, 10), 8000);
    default: return ToPcm(Tone(0.04, 440.0 * (1 + index % 3), 0.01), 3000);
    }
}

std::vector<int16_t> SampleVoiceLine(int seed, int syllables)
{
    // Vowel formants (Hz): a, e, i, o, u.
    static constexpr double kFormants[5][2] = {{730, 1090}, {530, 1840}, {270, 2290}, {570, 840}, {300, 870}};
    constexpr double kSyllable = 0.13;
    const double f0 = 100.0 + 7.0 * (seed % 13);
    std::vector<double> v(size_t(syllables * kSyllable * kRate), 0.0);
    for (int s = 0; s < syllables; ++s) {
        const double* f = kFormants[(seed + 2 * s) % 5];
        const size_t start = size_t(s * kSyllable * kRate), n = size_t(kSyllable * kRate);
        // Harmonics of the voice weighted by how near they lie to a formant.
        for (int h = 1; h * f0 < 3000; ++h) {
            const double hz = h * f0 * (1.0 + 0.03 * s);
            const double w = std::exp(-std::pow((hz - f[0]) / 150, 2)) + 0.6 * std::exp(-std::pow((hz - f[1]) / 200, 2));
            if (w < 0.01)
                continue;
            for (size_t i = 0; i < n; ++i)
                v[start + i] += w * std::sin(kPi * double(i) / double(n)) * std::sin(2 * kPi * hz * double(i) / kRate);
        }
    }
    return ToPcm(v, 5000);
}

std::vector<int16_t> SampleRadioLeadIn(int n)
{
    std::vector<double> v = Burst(0.2, 3000.0 + 500.0 * n, 0.08, u32(100 + n));
    for (size_t i = 0; i < std::min<size_t>(v.size(), 40); ++i)
        v[i] += 1.0;   // the key click
    return ToPcm(v, 7000);
}

std::vector<int16_t> SampleRadioTail(int n)
{
    std::vector<double> v = Burst(0.25, 4000.0 + 400.0 * n, 0.1, u32(200 + n));
    const std::vector<double> beep = Tone(0.25, 1200.0 + 100.0 * n, 0.05);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] += 0.5 * beep[i];
    return ToPcm(v, 7000);
}

bool CarSampleLoops(int index)
{
    return index == 0 || index == 1 || index == 2 || index == 17 || index == 18 || index == 20 ||
           (index >= 24 && index <= 30);
}

}  // namespace tools
