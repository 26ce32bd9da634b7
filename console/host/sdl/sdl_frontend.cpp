#include "host/sdl/sdl_frontend.h"

#include <cinttypes>
#include <cstdio>

namespace console::host::sdl {
namespace {

constexpr int kWidth = 640, kHeight = 512;
// SDL caps one rumble request at about a minute; running motors are asked
// again well before that.
constexpr Uint32 kRumbleMs = 60'000;
constexpr uint64_t kRumbleRefreshMs = 30'000;

}  // namespace

Window::~Window()
{
    Close();
}

bool Window::Open(uint32_t scale, bool sound, std::string* error)
{
    if (scale < 1 || scale > 8) {
        *error = "the window's scale must be 1 to 8, not " + std::to_string(scale);
        return false;
    }
    quit_asked_ = false;
    screenshot_requests_ = 0;
    // Ctrl-C ends the program as any other; the game sees its socket close.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_GAMECONTROLLER) != 0) {
        *error = std::string("SDL could not start: ") + SDL_GetError();
        return false;
    }
    sdl_started_ = true;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    window_ = SDL_CreateWindow("korvalis", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               kWidth * static_cast<int>(scale), kHeight * static_cast<int>(scale),
                               SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window_)
        renderer_ = SDL_CreateRenderer(window_, -1, 0);  // no vsync: the game's clock paces the fields
    if (!window_ || !renderer_) {
        *error = std::string("cannot open the window: ") + SDL_GetError();
        Close();
        return false;
    }
    SDL_RenderSetLogicalSize(renderer_, kWidth, kHeight);
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderPresent(renderer_);

    // Sound is welcome but not required.
    if (sound && SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        SDL_AudioSpec want{}, have{};
        want.freq = kAudioRate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        audio_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (audio_)
            std::fprintf(stderr, "korvalis-window: sound through SDL's %s driver\n", SDL_GetCurrentAudioDriver());
    }
    if (sound && !audio_)
        std::fprintf(stderr, "korvalis-window: no sound device (%s)\n", SDL_GetError());

    keyboard_and_controllers_.OpenControllers();
    title_since_ms_ = SDL_GetTicks64();
    return true;
}

void Window::Close()
{
    keyboard_and_controllers_.CloseControllers();
    if (audio_) {
        SDL_CloseAudioDevice(audio_);
        if (audio_dropped_bytes_)
            std::fprintf(stderr, "korvalis-window: %" PRIu64 " ms of sound dropped to keep up\n",
                         audio_dropped_bytes_ * 1000 / (kAudioRate * 4));
    }
    audio_ = 0;
    audio_playing_ = false;
    if (texture_)
        SDL_DestroyTexture(texture_);
    texture_ = nullptr;
    texture_width_ = texture_height_ = 0;
    if (renderer_)
        SDL_DestroyRenderer(renderer_);
    renderer_ = nullptr;
    if (window_)
        SDL_DestroyWindow(window_);
    window_ = nullptr;
    if (sdl_started_)
        SDL_Quit();
    sdl_started_ = false;
}

void Window::Pump()
{
    if (!window_)
        return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
        case SDL_QUIT: quit_asked_ = true; break;
        case SDL_KEYDOWN:
            if (event.key.keysym.scancode == SDL_SCANCODE_ESCAPE)
                quit_asked_ = true;
            if (event.key.keysym.scancode == SDL_SCANCODE_F12 && !event.key.repeat)
                ++screenshot_requests_;
            break;
        case SDL_CONTROLLERDEVICEADDED:
            keyboard_and_controllers_.HandleEvent(event);
            // A controller plugged in while its pad's motors run joins in.
            for (int port = 0; port < 2; ++port)
                motors_[port].sent_at_ms = 0;
            continue;
        default: break;
        }
        keyboard_and_controllers_.HandleEvent(event);
    }
    for (int port = 0; port < 2; ++port)
        RefreshRumble(port);
}

uint32_t Window::TakeScreenshotRequests()
{
    const uint32_t n = screenshot_requests_;
    screenshot_requests_ = 0;
    return n;
}

void Window::ReadPads(PadInput pads[2])
{
    Pump();
    keyboard_and_controllers_.Poll(0, pads);
}

void Window::CountField()
{
    ++title_fields_;
    UpdateTitle();
}

void Window::Present(const uint32_t* pixels, uint32_t width, uint32_t height)
{
    if (!renderer_ || width == 0 || height == 0)
        return;
    if (!texture_ || texture_width_ != width || texture_height_ != height) {
        if (texture_)
            SDL_DestroyTexture(texture_);
        // RGBA32 is the byte order R, G, B, A whatever the host: the picture's
        // layout.
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STREAMING,
                                     static_cast<int>(width), static_cast<int>(height));
        if (!texture_) {
            std::fprintf(stderr, "korvalis-window: cannot make a %ux%u texture: %s\n", width, height,
                         SDL_GetError());
            texture_width_ = texture_height_ = 0;
            return;
        }
        texture_width_ = width;
        texture_height_ = height;
        SDL_RenderSetLogicalSize(renderer_, static_cast<int>(width), static_cast<int>(height));
    }
    SDL_UpdateTexture(texture_, nullptr, pixels, static_cast<int>(width * 4));
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
}

void Window::UpdateTitle()
{
    const uint64_t now = SDL_GetTicks64();
    if (!window_ || now - title_since_ms_ < 1000)
        return;
    char title[64];
    std::snprintf(title, sizeof title, "korvalis - %.1f fields/s",
                  title_fields_ * 1000.0 / static_cast<double>(now - title_since_ms_));
    SDL_SetWindowTitle(window_, title);
    title_since_ms_ = now;
    title_fields_ = 0;
}

uint32_t Window::QueuedAudioBytes() const
{
    return audio_ ? SDL_GetQueuedAudioSize(audio_) : 0;
}

void Window::Write(const int16_t* stereo, size_t frames)
{
    if (!audio_ || frames == 0)
        return;
    const uint32_t bytes = static_cast<uint32_t>(frames * 4);
    // When the queue runs too far ahead of the speakers (the game outran real
    // time, or the device stalled) the old sound goes, and playing waits
    // for a new pre-roll so that it does not stutter.
    const uint32_t queued = SDL_GetQueuedAudioSize(audio_);
    if (queued + bytes > kAudioMaxQueuedBytes) {
        SDL_ClearQueuedAudio(audio_);
        audio_dropped_bytes_ += queued;
        SDL_PauseAudioDevice(audio_, 1);
        audio_playing_ = false;
    }
    uint32_t skip = bytes > kAudioMaxQueuedBytes ? bytes - kAudioMaxQueuedBytes : 0;
    skip -= skip % 4;
    audio_dropped_bytes_ += skip;
    SDL_QueueAudio(audio_, reinterpret_cast<const uint8_t*>(stereo) + skip, bytes - skip);
    if (!audio_playing_ && SDL_GetQueuedAudioSize(audio_) >= kAudioPrerollBytes) {
        SDL_PauseAudioDevice(audio_, 0);
        audio_playing_ = true;
    }
}

void Window::Set(int port, bool small_on, uint8_t large_level)
{
    if (port < 0 || port > 1)
        return;
    Motors& m = motors_[port];
    m.small_on = small_on;
    m.large_level = large_level;
    m.sent_at_ms = 0;
    RefreshRumble(port);
}

void Window::RefreshRumble(int port)
{
    Motors& m = motors_[port];
    SDL_GameController* gc = keyboard_and_controllers_.ControllerFor(port);
    if (!gc)
        return;
    const uint64_t now = SDL_GetTicks64();
    const bool running = m.small_on || m.large_level != 0;
    if (m.sent_at_ms != 0 && (!running || now - m.sent_at_ms < kRumbleRefreshMs))
        return;
    // The small motor is the high-frequency one, on or off; the large one
    // takes the level on the low-frequency motor.
    SDL_GameControllerRumble(gc, static_cast<Uint16>(m.large_level * 257), m.small_on ? 0xFFFF : 0,
                             running ? kRumbleMs : 0);
    m.sent_at_ms = now ? now : 1;
}

}  // namespace console::host::sdl
