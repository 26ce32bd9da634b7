// The narrow interfaces between the console stand-in and a host front end.
// The stand-in's core calls them on the main thread, at safe points; the
// headless front end writes files, the window front end shows and plays.
// Until a front end installs itself every interface is a silent no-op, so
// test programs need none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace console::host {

// A displayed picture: width x height pixels, each RGBA8 with red in the
// lowest byte (the GS's own 32-bit layout), rows top to bottom.
struct RgbaImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;
    // For a picture that is refreshed in place: changes whenever its pixels
    // may have changed, so a sink may keep what it computed from the same
    // version (0: unknown, compute every time).
    uint64_t version = 0;
};

class VideoSink {
public:
    virtual ~VideoSink() = default;
    // Called once per field with the read-out of the field that just ended.
    virtual void Present(const RgbaImage& image, uint32_t field, uint64_t vtime) = 0;
};

class AudioSink {
public:
    virtual ~AudioSink() = default;
    // 48 kHz interleaved stereo samples, as the mixer advances.
    virtual void Write(const int16_t* stereo, size_t frames) = 0;
};

// One pad's input as latched at a vertical blank.  Buttons use the pad
// library's 16-bit layout with 1 = pressed; sticks are bytes with 0x80 the
// centre (right x, right y, left x, left y); pressures are 0..0xFF, in the
// pad data's order: right, left, up, down, triangle, circle, cross, square,
// L1, R1, L2, R2.
struct PadInput {
    bool connected = false;
    uint16_t buttons = 0;
    uint8_t sticks[4] = {0x80, 0x80, 0x80, 0x80};
    uint8_t pressure[12] = {};
};

class InputSource {
public:
    virtual ~InputSource() = default;
    virtual void Poll(uint32_t vblank, PadInput pads[2]) = 0;
};

class RumbleSink {
public:
    virtual ~RumbleSink() = default;
    virtual void Set(int port, bool small_on, uint8_t large_level) = 0;
};

// The front end in use.  Null members fall back to no-ops.
struct Backend {
    VideoSink* video = nullptr;
    AudioSink* audio = nullptr;
    InputSource* input = nullptr;
    RumbleSink* rumble = nullptr;
    // Flushes outputs (frame log, WAV), closes the window; called once, just
    // before the process exits with `status`.
    void (*shutdown)(int status) = nullptr;
};

void SetBackend(const Backend& backend);
const Backend& GetBackend();

// The interfaces to call: never null.
VideoSink& Video();
AudioSink& Audio();
InputSource& Input();
RumbleSink& Rumble();

}  // namespace console::host
