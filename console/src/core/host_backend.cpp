#include "host/host.h"

#include "core/diag.h"

namespace console::host {
namespace {

class NullVideo final : public VideoSink {
public:
    void Present(const RgbaImage&, uint32_t, uint64_t) override {}
};
class NullAudio final : public AudioSink {
public:
    void Write(const int16_t*, size_t) override {}
};
// With no front end, pad 0 is connected and idle.
class IdleInput final : public InputSource {
public:
    void Poll(uint32_t, PadInput pads[2]) override
    {
        pads[0] = PadInput{};
        pads[0].connected = true;
        pads[1] = PadInput{};
    }
};
class NullRumble final : public RumbleSink {
public:
    void Set(int, bool, uint8_t) override {}
};

NullVideo g_null_video;
NullAudio g_null_audio;
IdleInput g_idle_input;
NullRumble g_null_rumble;
Backend g_backend;

void RunBackendShutdown(int status)
{
    if (g_backend.shutdown)
        g_backend.shutdown(status);
}

}  // namespace

void SetBackend(const Backend& backend)
{
    g_backend = backend;
    SetShutdownHook(&RunBackendShutdown);
}

const Backend& GetBackend()
{
    return g_backend;
}

VideoSink& Video()
{
    return g_backend.video ? *g_backend.video : g_null_video;
}

AudioSink& Audio()
{
    return g_backend.audio ? *g_backend.audio : g_null_audio;
}

InputSource& Input()
{
    return g_backend.input ? *g_backend.input : g_idle_input;
}

RumbleSink& Rumble()
{
    return g_backend.rumble ? *g_backend.rumble : g_null_rumble;
}

}  // namespace console::host
