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

// Mixes one output sample of one core: its voices' dry mix plus, for core 1,
// core 0's output as the external input.  Returns the core's output after its
// master volume.
void MixCore(Core& core, const uint8_t* ram, const int32_t input[2], int32_t out[2])
{
    int32_t left = 0, right = 0;
    for (int v = 0; v < kVoicesPerCore; ++v) {
        Voice& voice = core.voices[v];
        if (!voice.Sounding())
            continue;
        const int32_t sample = voice.Step(ram);
        if (core.dry_left & (1u << v))
            left += (sample * FixedVolume(voice.volume_left)) >> 15;
        if (core.dry_right & (1u << v))
            right += (sample * FixedVolume(voice.volume_right)) >> 15;
    }
    left = (core.mixer & kMixVoicesLeft) ? Saturate(left) : 0;
    right = (core.mixer & kMixVoicesRight) ? Saturate(right) : 0;
    if (core.mixer & kMixInputLeft)
        left = Saturate(left + input[0]);
    if (core.mixer & kMixInputRight)
        right = Saturate(right + input[1]);
    out[0] = (left * FixedVolume(core.master_left)) >> 15;
    out[1] = (right * FixedVolume(core.master_right)) >> 15;
}

void MixInto(int16_t out[2])
{
    Mixer& m = M();
    const uint8_t* ram = SoundRam();
    const int32_t none[2] = {0, 0};
    int32_t core0[2], core1[2];
    MixCore(m.cores[0], ram, none, core0);
    MixCore(m.cores[1], ram, core0, core1);
    out[0] = static_cast<int16_t>(Saturate(core1[0]));
    out[1] = static_cast<int16_t>(Saturate(core1[1]));
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
        int16_t out[2];
        MixInto(out);
        m.pending.push_back(out[0]);
        m.pending.push_back(out[1]);
        ++m.samples;
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
    MixInto(out);
}

void FlushAudio()
{
    CatchUp();
    Deliver();
}

}  // namespace console::spu2
