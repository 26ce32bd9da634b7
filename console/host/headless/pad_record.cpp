#include "host/headless/pad_record.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "host/headless/pad_script.h"

namespace console::host {
namespace {

void Line(std::string& out, uint32_t vblank, int pad, const char* fmt, ...) __attribute__((format(__printf__, 4, 5)));

void Line(std::string& out, uint32_t vblank, int pad, const char* fmt, ...)
{
    char text[96];
    int n = std::snprintf(text, sizeof text, "@%u pad%d ", vblank, pad);
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text + n, sizeof text - static_cast<size_t>(n), fmt, args);
    va_end(args);
    out += text;
    out += '\n';
}

}  // namespace

void AppendPadScriptLines(uint32_t vblank, const PadInput before[2], const PadInput after[2], std::string& out)
{
    for (int pad = 0; pad < 2; ++pad) {
        const PadInput& a = before[pad];
        const PadInput& b = after[pad];
        if (a.connected != b.connected)
            Line(out, vblank, pad, "%s", b.connected ? "connect" : "disconnect");
        // What the reader's pressures will be after the presses and releases.
        uint8_t pressure[12];
        std::memcpy(pressure, a.pressure, sizeof pressure);
        for (const PadButton& button : PadButtons()) {
            bool was = (a.buttons & button.bit) != 0, is = (b.buttons & button.bit) != 0;
            if (was == is)
                continue;
            Line(out, vblank, pad, "%s %s", is ? "press" : "release", button.name);
            if (button.pressure_index >= 0)
                pressure[button.pressure_index] = is ? 0xFF : 0;
        }
        if (a.sticks[2] != b.sticks[2] || a.sticks[3] != b.sticks[3])
            Line(out, vblank, pad, "stick L 0x%02X 0x%02X", b.sticks[2], b.sticks[3]);
        if (a.sticks[0] != b.sticks[0] || a.sticks[1] != b.sticks[1])
            Line(out, vblank, pad, "stick R 0x%02X 0x%02X", b.sticks[0], b.sticks[1]);
        for (const PadButton& button : PadButtons()) {
            int i = button.pressure_index;
            if (i >= 0 && pressure[i] != b.pressure[i])
                Line(out, vblank, pad, "pressure %s 0x%02X", button.name, b.pressure[i]);
        }
    }
}

PadRecorder::PadRecorder(InputSource& source, std::FILE* file) : source_(source), file_(file)
{
    DefaultPadInputs(last_);
}

PadRecorder::~PadRecorder()
{
    Close();
}

std::unique_ptr<PadRecorder> PadRecorder::Open(InputSource& source, const std::string& path, std::string* error)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        if (error)
            *error = "cannot write the pad recording " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::fputs("# pad input recorded field by field; replay with --pad-script\n", file);
    return std::unique_ptr<PadRecorder>(new PadRecorder(source, file));
}

void PadRecorder::Poll(uint32_t vblank, PadInput pads[2])
{
    source_.Poll(vblank, pads);
    if (!file_)
        return;
    std::string lines;
    AppendPadScriptLines(vblank, last_, pads, lines);
    last_[0] = pads[0];
    last_[1] = pads[1];
    if (!lines.empty()) {
        std::fputs(lines.c_str(), file_);
        std::fflush(file_);
    }
}

void PadRecorder::Close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

}  // namespace console::host
