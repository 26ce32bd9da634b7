#include "host/headless/wav.h"

#include <bit>
#include <cerrno>
#include <cstring>

#include "core/diag.h"

namespace console::host::headless {
namespace {

static_assert(std::endian::native == std::endian::little, "WAVE fields and samples are written as they lie in memory");

// The most frames whose bytes still fit the header's 32-bit sizes.
constexpr uint32_t kMaxFrames = (0xFFFFFFFFu - 36) / kWavFrameBytes;

}  // namespace

WavHeader MakeWavHeader(uint32_t frames)
{
    WavHeader h;
    std::memcpy(h.riff, "RIFF", 4);
    std::memcpy(h.wave, "WAVE", 4);
    std::memcpy(h.fmt, "fmt ", 4);
    std::memcpy(h.data, "data", 4);
    h.fmt_size = 16;
    h.format = 1;
    h.channels = kWavChannels;
    h.rate = kWavRate;
    h.block_align = kWavFrameBytes;
    h.byte_rate = kWavRate * kWavFrameBytes;
    h.bits = 16;
    h.data_size = frames * kWavFrameBytes;
    h.riff_size = 36 + h.data_size;
    return h;
}

WavWriter::~WavWriter()
{
    if (file_)
        std::fclose(file_);
}

bool WavWriter::Open(const std::string& path, std::string* error)
{
    Close();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        *error = "cannot write the sound output " + path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    frames_ = 0;
    full_ = false;
    const WavHeader header = MakeWavHeader(0);
    if (std::fwrite(&header, sizeof header, 1, file_) != 1) {
        *error = "cannot write the sound output " + path + ": " + std::strerror(errno);
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    return true;
}

void WavWriter::Write(const int16_t* stereo, size_t frames)
{
    if (!file_ || full_ || frames == 0)
        return;
    size_t take = frames;
    if (take > kMaxFrames - frames_) {
        take = kMaxFrames - frames_;
        full_ = true;
        Diag(Level::kWarning, "audio", "the sound output %s is full (4 GiB); later sound is not written",
             path_.c_str());
    }
    if (std::fwrite(stereo, kWavFrameBytes, take, file_) != take) {
        std::fclose(file_);
        file_ = nullptr;
        Diag(Level::kError, "audio", "writing the sound output %s failed: %s", path_.c_str(), std::strerror(errno));
        return;
    }
    frames_ += static_cast<uint32_t>(take);
}

void WavWriter::Close()
{
    if (!file_)
        return;
    const WavHeader header = MakeWavHeader(frames_);
    bool ok = std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(&header, sizeof header, 1, file_) == 1;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    std::fprintf(stderr, "console: sound output %s: %u samples (%u.%03u s)%s\n", path_.c_str(), frames_,
                 frames_ / kWavRate, frames_ % kWavRate / 48, ok ? "" : " (writing it failed)");
    std::fflush(stderr);
}

}  // namespace console::host::headless
