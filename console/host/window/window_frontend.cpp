#include "host/window/window_frontend.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <span>
#include <system_error>

#include "core/config.h"
#include "core/diag.h"
#include "core/png.h"
#include "core/scheduler.h"
#include "host/headless/headless.h"
#include "host/headless/registry.h"

namespace console::host::window {
namespace {

class WindowFrontEnd final : public VideoSink, public AudioSink, public InputSource, public RumbleSink {
public:
    WindowFrontEnd(std::unique_ptr<WindowLink> link, const headless::RunFiles& files)
        : link_(std::move(link)), files_(files)
    {
    }

    void Present(const RgbaImage& image, uint32_t field, uint64_t vtime) override
    {
        if (files_.video)
            files_.video->Present(image, field, vtime);
        link_->Drain();
        Check();
        if (link_->TakeScreenshotRequest())
            WriteScreenshot(image, field);
        link_->Show(image, field);
        Check();
    }

    void Write(const int16_t* stereo, size_t frames) override
    {
        if (files_.audio)
            files_.audio->Write(stereo, frames);
        link_->Play(stereo, frames);
        Check();
    }

    // The pads at the field's latch: the script's when one is given, else
    // what the window's keys and controllers hold.
    void Poll(uint32_t vblank, PadInput pads[2]) override
    {
        if (files_.script) {
            files_.script->Poll(vblank, pads);
            link_->Drain();
        } else if (!link_->ReadPads(vblank, pads)) {
            pads[0] = PadInput{};
            pads[0].connected = true;
            pads[1] = PadInput{};
        }
        Check();
    }

    void Set(int port, bool small_on, uint8_t large_level) override
    {
        link_->SetRumble(port, small_on, large_level);
        Check();
    }

    // The files first, then the window: the sound still in the mixer goes to
    // both.
    void Close()
    {
        closing_ = true;
        headless::CloseRunFiles();
        link_->Close();
    }

    WindowLink& Link() { return *link_; }

private:
    // Ends the run when the window asked to or has gone; not while the run
    // is already ending.
    void Check()
    {
        if (closing_)
            return;
        if (link_->QuitAsked()) {
            std::fprintf(stderr, "console: the window was closed; ending the run\n");
            Terminate(0);
        }
        if (!link_->Gone().empty())
            Diag(Level::kFatal, "window", "%s; ending the run", link_->Gone().c_str());
    }

    static void WriteScreenshot(const RgbaImage& image, uint32_t field)
    {
        char name[48];
        std::snprintf(name, sizeof name, "korvalis-field-%06" PRIu32 ".png", field);
        std::string message;
        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(image.pixels.data()),
                                             static_cast<size_t>(image.width) * image.height * 4);
        if (WritePng(name, image.width, image.height, bytes, PngColor::kRgb, &message))
            std::fprintf(stderr, "console: screenshot written to %s\n", name);
        else
            std::fprintf(stderr, "console: screenshot failed: %s\n", message.c_str());
    }

    std::unique_ptr<WindowLink> link_;
    headless::RunFiles files_;
    bool closing_ = false;
};

std::unique_ptr<WindowFrontEnd>& Installed()
{
    static std::unique_ptr<WindowFrontEnd> front_end;
    return front_end;
}

void Shutdown(int)
{
    if (Installed())
        Installed()->Close();
}

const bool g_registered = [] {
    RegisterFrontEnd({"window", true, 10, &Install});
    return true;
}();

}  // namespace

std::string WindowProgramPath()
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (ec ? std::filesystem::path(".") : self.parent_path()) / "korvalis-window";
}

bool Install(std::string* error)
{
    (void)g_registered;
    const int64_t scale = GetInt("scale", 1);
    if (scale < 1 || scale > 8) {
        *error = "--scale wants 1 to 8, not " + GetString("scale");
        return false;
    }
    // Options that are wrong are told before a window opens.
    headless::Settings settings;
    if (!headless::ReadSettings(&settings, error))
        return false;
    WindowLink::Settings link_settings;
    link_settings.program = WindowProgramPath();
    link_settings.scale = static_cast<uint32_t>(scale);
    auto link = std::make_unique<WindowLink>();
    if (!link->Start(link_settings, error))
        return false;
    if (!link->HasSound())
        std::fprintf(stderr, "console: the window has no sound device; running silent\n");
    return InstallOn(std::move(link), error);
}

bool InstallOn(std::unique_ptr<WindowLink> link, std::string* error)
{
    headless::RunFiles files;
    if (!headless::OpenRunFiles(&files, error)) {
        link->Close();
        return false;
    }
    Installed() = std::make_unique<WindowFrontEnd>(std::move(link), files);
    WindowFrontEnd& front_end = *Installed();
    Backend backend;
    backend.video = &front_end;
    backend.audio = &front_end;
    backend.input = headless::RecordPadsIfAsked(front_end, error);
    backend.rumble = &front_end;
    backend.shutdown = &Shutdown;
    if (!backend.input) {
        Installed()->Close();
        Installed().reset();
        return false;
    }
    SetBackend(backend);
    if (!HasOption("clock"))
        SetClockPolicy(ClockPolicy::kRealTime);
    return true;
}

WindowLink* InstalledLink()
{
    return Installed() ? &Installed()->Link() : nullptr;
}

void Uninstall()
{
    if (Installed())
        Installed()->Close();
    SetBackend(Backend{});
    Installed().reset();
}

}  // namespace console::host::window
