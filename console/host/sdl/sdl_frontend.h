// The window front end: each field's picture in an SDL2 window (640 x 512 at
// --scale N, resizable, the picture's aspect kept), sound through SDL's audio
// queue, the keyboard and game controllers as the pads, the pads' motors as
// controller rumble.  F12 writes the next picture to a PNG file; Escape or
// closing the window ends the run through console::Terminate.  Runs on the
// real-time clock unless --clock says otherwise.
//
// It registers itself as the "window" front end (host/headless/registry.h),
// chosen when a display is there and --headless is not given.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <string>

#include "host/headless/pad_record.h"
#include "host/host.h"
#include "host/sdl/sdl_input.h"

namespace console::host::sdl {

// Sound queue limits at 48 kHz stereo, 16 bits (4 bytes a sample frame).
constexpr uint32_t kAudioRate = 48000;
constexpr uint32_t kAudioPrerollBytes = kAudioRate * 4 * 80 / 1000;   // 80 ms before playing starts
constexpr uint32_t kAudioMaxQueuedBytes = kAudioRate * 4 * 250 / 1000;  // beyond 250 ms the old sound goes

class Window final : public VideoSink, public AudioSink, public RumbleSink {
public:
    Window() = default;
    ~Window() override;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Reads the options, opens the window, the sound device (a run without
    // one goes on silent) and the pad input.  False with a message when the
    // window cannot be opened or an option is wrong.
    bool Open(std::string* error);
    // Closes everything; safe to call twice.
    void Close();

    // Handles pending window, key and controller events.
    void Pump();

    void Present(const RgbaImage& image, uint32_t field, uint64_t vtime) override;
    void Write(const int16_t* stereo, size_t frames) override;
    void Set(int port, bool small_on, uint8_t large_level) override;

    // What the Backend should use for input: the pad script when one was
    // given, else keyboard and controllers; recorded when --pad-record asks.
    InputSource* Input() { return input_; }
    bool HasAudio() const { return audio_ != 0; }

    SDL_Window* SdlWindow() const { return window_; }
    uint32_t QueuedAudioBytes() const;
    bool AudioPlaying() const { return audio_playing_; }
    // The file the last F12 wrote, empty before.
    const std::string& LastScreenshot() const { return last_screenshot_; }

private:
    // Pumps events before the pads are read, so input is at most a field old.
    class PumpingInput final : public InputSource {
    public:
        PumpingInput(Window& window, InputSource& source) : window_(window), source_(source) {}
        void Poll(uint32_t vblank, PadInput pads[2]) override;

    private:
        Window& window_;
        InputSource& source_;
    };

    void RefreshRumble(int port);
    void WriteScreenshot(const RgbaImage& image, uint32_t field);
    void UpdateTitle();

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    uint32_t texture_width_ = 0, texture_height_ = 0;
    SDL_AudioDeviceID audio_ = 0;
    bool audio_playing_ = false;
    uint64_t audio_dropped_bytes_ = 0;
    bool sdl_started_ = false;

    SdlInput keyboard_and_controllers_;
    std::unique_ptr<InputSource> script_;
    std::unique_ptr<PumpingInput> pumping_;
    std::unique_ptr<PadRecorder> recorder_;
    InputSource* input_ = nullptr;

    struct Motors {
        bool small_on = false;
        uint8_t large_level = 0;
        uint64_t sent_at_ms = 0;
    };
    Motors motors_[2];

    bool screenshot_pending_ = false;
    std::string last_screenshot_;
    uint64_t title_since_ms_ = 0;
    uint32_t title_fields_ = 0;
};

// Installs the window front end as the Backend (the registry's install
// function); false with a message when the window cannot open.
bool Install(std::string* error);
// The installed window (null before Install).
Window* InstalledWindow();
// Closes the window and clears the Backend (tests).
void Uninstall();

}  // namespace console::host::sdl
