#include "spu2/spu2.h"

#include <algorithm>
#include <span>
#include <string>

#include "core/diag.h"
#include "core/png.h"
#include "ee/video.h"
#include "host/host.h"
#include "iop/threadman.h"
#include "spu2/spu_ram.h"

namespace console::spu2 {
namespace {

struct Mixer {
    Core cores[kCores];
    uint64_t samples = 0;           // output samples made since power-on
    std::vector<int16_t> pending;   // made, not yet handed to the sink (stereo pairs)
    bool mixing = false;
    // Per-second CRC of the output, traced under "spu" so runs can be compared.
    uint64_t delivered = 0;
    uint32_t second_crc = 0;
};

Mixer& M()
{
    static Mixer mixer;
    return mixer;
}

int32_t Saturate(int32_t v)
{
    return std::clamp(v, -32768, 32767);
}

void Deliver()
{
    Mixer& m = M();
    if (m.pending.empty())
        return;
    const size_t frames = m.pending.size() / 2;
    if (TraceOn("spu")) {
        size_t at = 0;
        while (at < frames) {
            const uint64_t into = m.delivered % kOutputRate;
            const size_t take = std::min<size_t>(frames - at, kOutputRate - into);
            const auto* bytes = reinterpret_cast<const uint8_t*>(m.pending.data() + at * 2);
            m.second_crc = Crc32(std::span<const uint8_t>(bytes, take * 2 * sizeof(int16_t)), m.second_crc);
            at += take;
            m.delivered += take;
            if (m.delivered % kOutputRate == 0) {
                Trace("spu", "audio second %llu crc32 %08x",
                      static_cast<unsigned long long>(m.delivered / kOutputRate), m.second_crc);
                m.second_crc = 0;
            }
        }
    } else {
        m.delivered += frames;
    }
    // The pending buffer is taken first: a sink may end the run (a failed
    // write in strict mode) and come back through FlushAudio.
    std::vector<int16_t> out;
    out.swap(m.pending);
    host::Audio().Write(out.data(), frames);
}

void OnField(uint64_t, Cycles boundary)
{
    MixUntil(boundary);
    Deliver();
}

// Output samples mixed at a time.
constexpr int kBlock = 256;

// Mixes `n` (at most kBlock) output samples of one core: its voices' dry mix
// plus, for core 1, core 0's output as the external input.  Writes the core's
// output after its master volume.  Nothing but the voices' own steps changes
// while a block is mixed, so each voice is stepped through the whole block in
// turn; its terms are added to the same per-sample integer sums the
// sample-by-sample mix makes, so the result is the same.
void MixCoreBlock(Core& core, const uint8_t* ram, int n, const int32_t (*input)[2], int32_t (*out)[2])
{
    int32_t left[kBlock], right[kBlock];
    std::fill_n(left, n, 0);
    std::fill_n(right, n, 0);
    for (int v = 0; v < kVoicesPerCore; ++v) {
        Voice& voice = core.voices[v];
        if (!voice.Sounding())
            continue;
        const bool dry_left = core.dry_left & (1u << v);
        const bool dry_right = core.dry_right & (1u << v);
        const int32_t volume_left = FixedVolume(voice.volume_left);
        const int32_t volume_right = FixedVolume(voice.volume_right);
        int32_t samples[kBlock];
        const int made = voice.Render(ram, samples, n);
        if (dry_left)
            for (int i = 0; i < made; ++i)
                left[i] += (samples[i] * volume_left) >> 15;
        if (dry_right)
            for (int i = 0; i < made; ++i)
                right[i] += (samples[i] * volume_right) >> 15;
    }
    const int32_t master_left = FixedVolume(core.master_left);
    const int32_t master_right = FixedVolume(core.master_right);
    for (int i = 0; i < n; ++i) {
        int32_t l = (core.mixer & kMixVoicesLeft) ? Saturate(left[i]) : 0;
        int32_t r = (core.mixer & kMixVoicesRight) ? Saturate(right[i]) : 0;
        if (core.mixer & kMixInputLeft)
            l = Saturate(l + input[i][0]);
        if (core.mixer & kMixInputRight)
            r = Saturate(r + input[i][1]);
        out[i][0] = (l * master_left) >> 15;
        out[i][1] = (r * master_right) >> 15;
    }
}

// Mixes `n` (at most kBlock) output samples as stereo pairs into out.
void MixBlock(int n, int16_t* out)
{
    Mixer& m = M();
    const uint8_t* ram = SoundRam();
    int32_t none[kBlock][2];
    int32_t core0[kBlock][2], core1[kBlock][2];
    std::fill_n(&none[0][0], 2 * n, 0);
    MixCoreBlock(m.cores[0], ram, n, none, core0);
    MixCoreBlock(m.cores[1], ram, n, core0, core1);
    for (int i = 0; i < n; ++i) {
        out[2 * i] = static_cast<int16_t>(Saturate(core1[i][0]));
        out[2 * i + 1] = static_cast<int16_t>(Saturate(core1[i][1]));
    }
}

std::string Report()
{
    const Mixer& m = M();
    std::string sounding;
    int count = 0;
    for (int c = 0; c < kCores; ++c)
        for (int v = 0; v < kVoicesPerCore; ++v)
            if (m.cores[c].voices[v].Sounding()) {
                ++count;
                if (count <= 8)
                    sounding += " " + std::to_string(c * kVoicesPerCore + v);
            }
    return std::to_string(m.samples) + " samples mixed, " + std::to_string(count) + " voices sounding" +
           (count ? ":" + sounding + (count > 8 ? " ..." : "") : "");
}

void PowerOn()
{
    Mixer& m = M();
    m.samples = 0;
    m.pending.clear();
    m.mixing = false;
    m.delivered = 0;
    m.second_crc = 0;
    ResetCores();
    SetMixerHook(OnField);
}

const bool g_registered = [] {
    RegisterResetHook("spu2", PowerOn);
    RegisterStateReporter("spu2", Report);
    // A reboot of the IOP resets the sound processor; the samples up to the
    // reboot are made first.
    iop::RegisterRebootHook("spu2", [] {
        CatchUp();
        ResetCores();
    });
    SetMixerHook(OnField);
    return true;
}();

}  // namespace

uint32_t Core::EndFlags() const
{
    uint32_t mask = 0;
    for (int v = 0; v < kVoicesPerCore; ++v)
        if (voices[v].EndFlag())
            mask |= 1u << v;
    return mask;
}

Core& GetCore(int core)
{
    (void)g_registered;
    return M().cores[core & 1];
}

void KeyOn(int core, uint32_t mask)
{
    Core& c = GetCore(core);
    c.key_on = mask & kVoiceMask;
    for (int v = 0; v < kVoicesPerCore; ++v)
        if (mask & (1u << v))
            c.voices[v].KeyOn(SoundRam());
}

void KeyOff(int core, uint32_t mask)
{
    Core& c = GetCore(core);
    c.key_off = mask & kVoiceMask;
    for (int v = 0; v < kVoicesPerCore; ++v)
        if (mask & (1u << v))
            c.voices[v].KeyOff();
}

void ResetCores()
{
    for (Core& core : M().cores)
        core = Core{};
}

void MixUntil(Cycles t)
{
    Mixer& m = M();
    if (m.mixing)
        return;
    const uint64_t target = t / kSpuSample;
    if (m.samples >= target)
        return;
    m.mixing = true;
    m.pending.reserve(m.pending.size() + 2 * (target - m.samples));
    while (m.samples < target) {
        const int n = static_cast<int>(std::min<uint64_t>(target - m.samples, kBlock));
        const size_t at = m.pending.size();
        m.pending.resize(at + 2 * static_cast<size_t>(n));
        MixBlock(n, m.pending.data() + at);
        m.samples += static_cast<uint64_t>(n);
    }
    m.mixing = false;
    // Without field boundaries (no video timing) nothing else hands the
    // samples over; keep the buffer to about a second.
    const Context context = CurrentContext();
    if (m.pending.size() >= 2 * kOutputRate && (context == Context::kMain || context == Context::kService))
        Deliver();
}

void CatchUp()
{
    MixUntil(Now());
}

uint64_t SamplesMixed()
{
    return M().samples;
}

void MixOneSample(int16_t out[2])
{
    MixBlock(1, out);
}

void FlushAudio()
{
    CatchUp();
    Deliver();
}

}  // namespace console::spu2
