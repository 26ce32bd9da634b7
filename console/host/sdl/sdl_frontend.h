// The window itself, in the window program (built for the host's own
// architecture with the host's SDL2): each field's picture in a window
// (640 x 512 at scale N, resizable, the picture's aspect kept, the title
// showing the fields a second), sound through SDL's audio queue, the keyboard
// and game controllers as the pads, the pads' motors as controller rumble.
// Escape and closing the window ask the game to end; F12 asks it for a
// screenshot.  The game decides what happens (window_main.cpp carries it).
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "host/host.h"
#include "host/sdl/sdl_input.h"

namespace console::host::sdl {

// Sound queue limits at 48 kHz stereo, 16 bits (4 bytes a sample frame).
constexpr uint32_t kAudioRate = 48000;
constexpr uint32_t kAudioPrerollBytes = kAudioRate * 4 * 80 / 1000;   // 80 ms before playing starts
constexpr uint32_t kAudioMaxQueuedBytes = kAudioRate * 4 * 250 / 1000;  // beyond 250 ms the old sound goes

class Window {
public:
    Window() = default;
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Opens the window at `scale` (1 to 8), the sound device when `sound`
    // asks (a window without one goes on silent) and the pad input.  False
    // with a message when the window cannot be opened.
    bool Open(uint32_t scale, bool sound, std::string* error);
    // Closes everything; safe to call twice.
    void Close();

    // Handles pending window, key and controller events and keeps running
    // motors running.
    void Pump();
    // Escape was pressed or the window was closed.
    bool QuitAsked() const { return quit_asked_; }
    // F12 presses since the last call.
    uint32_t TakeScreenshotRequests();

    // Counts a field for the title's rate.
    void CountField();
    // Shows width x height RGBA8 pixels (red in the lowest byte).
    void Present(const uint32_t* pixels, uint32_t width, uint32_t height);
    // Queues 48 kHz stereo samples.
    void Write(const int16_t* stereo, size_t frames);
    // The motors of pad `port`: the small one on or off, the large one's level.
    void Set(int port, bool small_on, uint8_t large_level);
    // The pads now, after handling pending events.
    void ReadPads(PadInput pads[2]);

    bool HasAudio() const { return audio_ != 0; }
    SDL_Window* SdlWindow() const { return window_; }
    uint32_t QueuedAudioBytes() const;
    bool AudioPlaying() const { return audio_playing_; }

private:
    void RefreshRumble(int port);
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

    struct Motors {
        bool small_on = false;
        uint8_t large_level = 0;
        uint64_t sent_at_ms = 0;
    };
    Motors motors_[2];

    bool quit_asked_ = false;
    uint32_t screenshot_requests_ = 0;
    uint64_t title_since_ms_ = 0;
    uint32_t title_fields_ = 0;
};

}  // namespace console::host::sdl
