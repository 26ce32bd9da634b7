#include "tools/lib/adpcm.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "tools/lib/pak.h"

namespace tools {
namespace {

using console::spu2::AdpcmHistory;
using console::spu2::kAdpcmBlockBytes;
using console::spu2::kAdpcmBlockSamples;
using console::spu2::kAdpcmFilterCount;
using console::spu2::kAdpcmFilterFirst;
using console::spu2::kAdpcmFilterSecond;

constexpr u32 kOutputRate = 48'000;

// Encodes one block with one filter and shift; returns the squared error,
// or, once it reaches `limit`, a value no smaller (a trial that can no
// longer win stops there).
uint64_t TryBlock(const int16_t* in, int filter, int shift, AdpcmHistory& history, u8 nibbles[kAdpcmBlockSamples],
                  uint64_t limit = std::numeric_limits<uint64_t>::max())
{
    const int32_t step = 1 << (12 - shift);
    int32_t s1 = history.s1, s2 = history.s2;
    uint64_t error = 0;
    for (u32 i = 0; i < kAdpcmBlockSamples; ++i) {
        const int32_t predicted = (s1 * kAdpcmFilterFirst[filter] + s2 * kAdpcmFilterSecond[filter] + 32) >> 6;
        const int32_t residual = in[i] - predicted;
        // Nearest multiple of the step, halves rounded up: floor(r / step + 1/2).
        const int32_t twice = 2 * residual + step, unit = 2 * step;
        int32_t n = twice >= 0 ? twice / unit : -((-twice + unit - 1) / unit);
        n = std::clamp(n, -8, 7);
        const int32_t decoded = std::clamp(n * step + predicted, -32768, 32767);
        const int64_t diff = decoded - in[i];
        error += static_cast<uint64_t>(diff * diff);
        if (error >= limit)
            return error;
        nibbles[i] = static_cast<u8>(n & 0x0F);
        s2 = s1;
        s1 = decoded;
    }
    history.s1 = s1;
    history.s2 = s2;
    return error;
}

template <typename T>
void Put(std::vector<u8>& out, size_t at, const T& value)
{
    std::memcpy(out.data() + at, &value, sizeof value);
}

u16 Le16(std::span<const u8> d, size_t at)
{
    return static_cast<u16>(d[at] | d[at + 1] << 8);
}

u32 Le32(std::span<const u8> d, size_t at)
{
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<u32>(d[at + 3]) << 24;
}

size_t RoundUp(size_t n, size_t to)
{
    return (n + to - 1) / to * to;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: adpcmenc [--loop | --raw] IN.wav OUT.VB\n"
                 "       adpcmenc --bank1 | --bank2 [--bank-flags N] OUT.SND [--loop] [--flags N] IN.wav ...\n"
                 "       adpcmenc --decode IN.VB RATE OUT.wav\n");
    return 2;
}

bool ParseNumber(const char* text, u32 max, u32& value)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text, &end, 0);
    if (!*text || *end || errno || v > max)
        return false;
    value = static_cast<u32>(v);
    return true;
}

bool LoadWav(const std::string& path, PcmSound& sound, std::string& error)
{
    std::vector<u8> file;
    return ReadHostFile(path, file, error) && ReadWav(file, path, sound, error);
}

int Fail(const std::string& error)
{
    std::fprintf(stderr, "adpcmenc: %s\n", error.c_str());
    return 1;
}

int RunSingle(std::span<const char* const> args)
{
    AdpcmLoop loop = AdpcmLoop::kOneShot;
    std::vector<const char*> files;
    for (const char* arg : args) {
        if (!std::strcmp(arg, "--loop"))
            loop = AdpcmLoop::kWhole;
        else if (!std::strcmp(arg, "--raw"))
            loop = AdpcmLoop::kRaw;
        else if (arg[0] == '-' && arg[1])
            return Usage();
        else
            files.push_back(arg);
    }
    if (files.size() != 2)
        return Usage();
    PcmSound sound;
    std::string error;
    if (!LoadWav(files[0], sound, error))
        return Fail(error);
    const std::vector<u8> data = EncodeAdpcm(sound.samples, loop);
    if (!WriteHostFile(files[1], data, error))
        return Fail(error);
    u16 pitch = 0;
    if (PitchForRate(sound.rate, pitch))
        std::printf("%s: %zu samples at %u Hz -> %zu bytes, pitch 0x%04x\n", files[1], sound.samples.size(),
                    sound.rate, data.size(), pitch);
    else
        std::printf("%s: %zu samples at %u Hz -> %zu bytes (no pitch plays that rate)\n", files[1],
                    sound.samples.size(), sound.rate, data.size());
    return 0;
}

int RunBank(std::span<const char* const> args, BankLayout layout)
{
    u32 bank_flags = 0;
    const char* out = nullptr;
    std::vector<BankInput> inputs;
    AdpcmLoop next_loop = AdpcmLoop::kOneShot;
    u32 next_flags = 0;
    std::string error;
    for (size_t i = 0; i < args.size(); ++i) {
        const char* arg = args[i];
        if (!std::strcmp(arg, "--bank-flags") || !std::strcmp(arg, "--flags")) {
            const bool bank = arg[2] == 'b';
            if (i + 1 >= args.size() || !ParseNumber(args[i + 1], 0xFFFF, bank ? bank_flags : next_flags))
                return Usage();
            ++i;
        } else if (!std::strcmp(arg, "--loop")) {
            next_loop = AdpcmLoop::kWhole;
        } else if (arg[0] == '-' && arg[1]) {
            return Usage();
        } else if (!out) {
            out = arg;
        } else {
            BankInput input;
            input.name = arg;
            input.loop = next_loop;
            input.flags = static_cast<u16>(next_flags);
            if (!LoadWav(arg, input.sound, error))
                return Fail(error);
            inputs.push_back(std::move(input));
            next_loop = AdpcmLoop::kOneShot;
            next_flags = 0;
        }
    }
    if (!out)
        return Usage();
    std::vector<u8> bank;
    if (!BuildSoundBank(inputs, layout, static_cast<u16>(bank_flags), bank, error) ||
        !WriteHostFile(out, bank, error))
        return Fail(error);
    std::printf("%s: %zu samples, %zu bytes\n", out, inputs.size(), bank.size());
    return 0;
}

int RunDecode(std::span<const char* const> args)
{
    u32 rate = 0;
    if (args.size() != 3 || !ParseNumber(args[1], 1'000'000, rate) || rate == 0)
        return Usage();
    std::vector<u8> data;
    std::string error;
    if (!ReadHostFile(args[0], data, error))
        return Fail(error);
    if (data.size() % kAdpcmBlockBytes)
        std::fprintf(stderr, "adpcmenc: %s: %zu bytes after the last whole block ignored\n", args[0],
                     data.size() % kAdpcmBlockBytes);
    std::vector<int16_t> pcm(data.size() / kAdpcmBlockBytes * kAdpcmBlockSamples);
    console::spu2::DecodeAdpcm(data, pcm.data());
    if (!WriteHostFile(args[2], MakeWav(pcm, rate), error))
        return Fail(error);
    return 0;
}

}  // namespace

void EncodeAdpcmBlock(const int16_t in[kAdpcmBlockSamples], AdpcmHistory& history, u8 out[kAdpcmBlockBytes],
                      int max_filter)
{
    max_filter = std::clamp(max_filter, 0, kAdpcmFilterCount - 1);
    uint64_t best = std::numeric_limits<uint64_t>::max();
    int best_filter = 0, best_shift = 0;
    for (int filter = 0; filter <= max_filter; ++filter)
        for (int shift = 0; shift <= 12; ++shift) {
            AdpcmHistory h = history;
            u8 nibbles[kAdpcmBlockSamples];
            const uint64_t error = TryBlock(in, filter, shift, h, nibbles, best);
            if (error < best) {
                best = error;
                best_filter = filter;
                best_shift = shift;
            }
        }
    u8 nibbles[kAdpcmBlockSamples];
    TryBlock(in, best_filter, best_shift, history, nibbles);
    out[0] = static_cast<u8>(best_filter << 4 | best_shift);
    out[1] = 0;
    for (u32 i = 0; i < kAdpcmBlockSamples; i += 2)
        out[2 + i / 2] = static_cast<u8>(nibbles[i] | nibbles[i + 1] << 4);
}

std::vector<u8> EncodeAdpcm(std::span<const int16_t> pcm, AdpcmLoop loop)
{
    const size_t blocks = std::max<size_t>(1, RoundUp(pcm.size(), kAdpcmBlockSamples) / kAdpcmBlockSamples);
    std::vector<u8> out(blocks * kAdpcmBlockBytes);
    AdpcmHistory history;
    for (size_t b = 0; b < blocks; ++b) {
        int16_t in[kAdpcmBlockSamples] = {};
        const size_t first = b * kAdpcmBlockSamples;
        if (first < pcm.size())
            std::copy_n(pcm.begin() + static_cast<std::ptrdiff_t>(first),
                        std::min<size_t>(kAdpcmBlockSamples, pcm.size() - first), in);
        const int max_filter = (b == 0 && loop == AdpcmLoop::kWhole) ? 0 : kAdpcmFilterCount - 1;
        EncodeAdpcmBlock(in, history, out.data() + b * kAdpcmBlockBytes, max_filter);
    }
    u8& first_flags = out[1];
    u8& last_flags = out[(blocks - 1) * kAdpcmBlockBytes + 1];
    switch (loop) {
    case AdpcmLoop::kOneShot:
        last_flags = console::spu2::kAdpcmLoopEnd;
        break;
    case AdpcmLoop::kWhole:
        first_flags = console::spu2::kAdpcmLoopStart | console::spu2::kAdpcmLoopRepeat;
        last_flags |= console::spu2::kAdpcmLoopEnd | console::spu2::kAdpcmLoopRepeat;
        break;
    case AdpcmLoop::kRaw:
        break;
    }
    return out;
}

bool ReadWav(std::span<const u8> file, const std::string& name, PcmSound& sound, std::string& error)
{
    auto bad = [&](size_t at, const std::string& what) {
        error = name + ": offset " + std::to_string(at) + ": " + what;
        return false;
    };
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) || std::memcmp(file.data() + 8, "WAVE", 4))
        return bad(0, "not a RIFF WAVE file");
    u16 channels = 0, bits = 0;
    u32 rate = 0;
    bool have_format = false;
    size_t at = 12;
    while (at + 8 <= file.size()) {
        const u32 size = Le32(file, at + 4);
        const size_t body = at + 8;
        if (size > file.size() - body)
            return bad(at + 4, "chunk runs past the end of the file");
        if (!std::memcmp(file.data() + at, "fmt ", 4)) {
            if (size < 16)
                return bad(at + 4, "format chunk shorter than 16 bytes");
            const u16 format = Le16(file, body);
            channels = Le16(file, body + 2);
            rate = Le32(file, body + 4);
            bits = Le16(file, body + 14);
            if (format != 1)
                return bad(body, "format " + std::to_string(format) + " is not PCM (1)");
            if (channels != 1 && channels != 2)
                return bad(body + 2, std::to_string(channels) + " channels (1 or 2)");
            if (bits != 16)
                return bad(body + 14, std::to_string(bits) + "-bit samples (16)");
            if (rate == 0)
                return bad(body + 4, "sample rate 0");
            have_format = true;
        } else if (!std::memcmp(file.data() + at, "data", 4)) {
            if (!have_format)
                return bad(at, "data chunk before the format chunk");
            const size_t frames = size / (2u * channels);
            sound.samples.resize(frames);
            for (size_t i = 0; i < frames; ++i) {
                const size_t p = body + i * 2 * channels;
                int32_t v = static_cast<int16_t>(Le16(file, p));
                if (channels == 2)
                    v = (v + static_cast<int16_t>(Le16(file, p + 2))) >> 1;
                sound.samples[i] = static_cast<int16_t>(v);
            }
            sound.rate = rate;
            return true;
        }
        at = body + size + (size & 1);
    }
    return bad(at, have_format ? "no data chunk" : "no format chunk");
}

std::vector<u8> MakeWav(std::span<const int16_t> samples, u32 rate)
{
    const u32 data = static_cast<u32>(samples.size() * 2);
    std::vector<u8> out(44 + data);
    std::memcpy(out.data(), "RIFF", 4);
    Put(out, 4, static_cast<u32>(36 + data));
    std::memcpy(out.data() + 8, "WAVEfmt ", 8);
    Put(out, 16, u32{16});
    Put(out, 20, u16{1});
    Put(out, 22, u16{1});
    Put(out, 24, rate);
    Put(out, 28, rate * 2);
    Put(out, 32, u16{2});
    Put(out, 34, u16{16});
    std::memcpy(out.data() + 36, "data", 4);
    Put(out, 40, data);
    for (size_t i = 0; i < samples.size(); ++i)
        Put(out, 44 + i * 2, samples[i]);
    return out;
}

bool PitchForRate(u32 rate, u16& pitch)
{
    const uint64_t p = (uint64_t{rate} * 4096 + kOutputRate / 2) / kOutputRate;
    if (rate == 0 || p == 0 || p > 0x3FFF)
        return false;
    pitch = static_cast<u16>(p);
    return true;
}

bool BuildSoundBank(const std::vector<BankInput>& inputs, BankLayout layout, u16 bank_flags, std::vector<u8>& bank,
                    std::string& error)
{
    const size_t n = inputs.size();
    if (n > 0x7FFF) {
        error = "a bank holds at most 32,767 samples, not " + std::to_string(n);
        return false;
    }
    const bool one = layout == BankLayout::kLayout1;
    size_t data_size = 0;
    for (const BankInput& input : inputs)
        data_size += std::max<size_t>(1, RoundUp(input.sound.samples.size(), kAdpcmBlockSamples) /
                                             kAdpcmBlockSamples) * kAdpcmBlockBytes;
    if (one && data_size > 0xFFFFu * 8) {
        error = "the sample data (" + std::to_string(data_size) + " bytes) passes layout 1's 524,280 bytes";
        return false;
    }
    std::vector<std::vector<u8>> encoded;
    std::vector<u16> freqs;
    for (const BankInput& input : inputs) {
        if (input.sound.samples.empty()) {
            error = input.name + ": the sound is empty";
            return false;
        }
        u16 pitch = 0;
        if (!PitchForRate(input.sound.rate, pitch)) {
            error = input.name + ": no pitch plays " + std::to_string(input.sound.rate) + " Hz (at most 191,988 Hz)";
            return false;
        }
        freqs.push_back(pitch);
        encoded.push_back(EncodeAdpcm(input.sound.samples, input.loop));
    }
    const size_t header = one ? sizeof(SOUNDFILE) + n * sizeof(SOUNDSAMPLE) : sizeof(SOUNDFILE2) + n * sizeof(SOUNDSAMPLE2);
    const size_t data_at = RoundUp(header, SOUNDFILE_HEADER_ALIGN);
    bank.assign(data_at + data_size, 0);
    if (one) {
        SOUNDFILE h{static_cast<u16>(n), static_cast<u16>(data_size / 8)};
        Put(bank, 0, h);
    } else {
        SOUNDFILE2 h{static_cast<u16>(bank_flags | SOUNDFILE2_FLAG), static_cast<u16>(n), static_cast<u32>(data_size)};
        Put(bank, 0, h);
    }
    size_t offset = 0;
    for (size_t i = 0; i < n; ++i) {
        const s16 freq = static_cast<s16>(freqs[i]);
        if (one)
            Put(bank, sizeof(SOUNDFILE) + i * sizeof(SOUNDSAMPLE), SOUNDSAMPLE{static_cast<u16>(offset / 8), freq});
        else
            Put(bank, sizeof(SOUNDFILE2) + i * sizeof(SOUNDSAMPLE2),
                SOUNDSAMPLE2{inputs[i].flags, freq, static_cast<u32>(offset)});
        std::copy(encoded[i].begin(), encoded[i].end(), bank.begin() + static_cast<std::ptrdiff_t>(data_at + offset));
        offset += encoded[i].size();
    }
    return true;
}

int RunAdpcmEnc(std::span<const char* const> args)
{
    if (args.empty())
        return Usage();
    const std::string mode = args[0];
    if (mode == "--bank1" || mode == "--bank2")
        return RunBank(args.subspan(1), mode == "--bank1" ? BankLayout::kLayout1 : BankLayout::kLayout2);
    if (mode == "--decode")
        return RunDecode(args.subspan(1));
    return RunSingle(args);
}

}  // namespace tools
