// The headless front end's sound output: --wav FILE gets the mixer's 48 kHz
// stereo 16-bit samples as a RIFF WAVE file.  The header is written at once
// with empty sizes and completed when the file is closed at the end of the
// run, so a run cut short leaves a file whose samples are all there.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "host/host.h"

namespace console::host::headless {

constexpr uint32_t kWavRate = 48'000;
constexpr uint32_t kWavChannels = 2;
constexpr uint32_t kWavFrameBytes = kWavChannels * sizeof(int16_t);

// The canonical 44-byte header of a PCM WAVE file, all fields little-endian.
struct WavHeader {
    char riff[4];              // "RIFF"
    uint32_t riff_size;        // 36 + data_size
    char wave[4];              // "WAVE"
    char fmt[4];               // "fmt "
    uint32_t fmt_size;         // 16
    uint16_t format;           // 1, PCM
    uint16_t channels;         // 2
    uint32_t rate;             // 48,000
    uint32_t byte_rate;        // rate * block_align
    uint16_t block_align;      // 4
    uint16_t bits;             // 16
    char data[4];              // "data"
    uint32_t data_size;        // frames * 4
};
static_assert(sizeof(WavHeader) == 44, "a WAVE header is 44 bytes");

// The header for `frames` stereo frames.
WavHeader MakeWavHeader(uint32_t frames);

class WavWriter final : public AudioSink {
public:
    WavWriter() = default;
    ~WavWriter() override;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates (truncates) the file and writes the header.
    bool Open(const std::string& path, std::string* error);
    // Appends samples.  A file that would pass 4 GiB stops growing (reported
    // once); a failed write is reported and ends the output.
    void Write(const int16_t* stereo, size_t frames) override;
    // Completes the header, closes the file and prints where the sound went.
    // Safe to call twice.
    void Close();

    bool IsOpen() const { return file_ != nullptr; }
    uint64_t Frames() const { return frames_; }

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    uint32_t frames_ = 0;
    bool full_ = false;
};

}  // namespace console::host::headless
