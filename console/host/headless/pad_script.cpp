#include "host/headless/pad_script.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/config.h"
#include "core/diag.h"

namespace console::host {
namespace {

std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

// A whole word as an unsigned number (decimal or 0x hex) no larger than max.
bool Number(std::string_view word, uint64_t max, uint64_t* value)
{
    std::string text(word);
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end != text.c_str() + text.size() || v > max)
        return false;
    *value = v;
    return true;
}

int ButtonIndex(const PadButton* button)
{
    return static_cast<int>(button - kPadButtons);
}

}  // namespace

void DefaultPadInputs(PadInput pads[2])
{
    pads[0] = PadInput{};
    pads[0].connected = true;
    pads[1] = PadInput{};
}

bool PadScriptInput::Parse(std::string_view text, const std::string& origin, std::string* error)
{
    events_.clear();
    next_ = 0;
    DefaultPadInputs(state_);
    std::vector<Event> events;
    uint32_t order = 0;
    int line_number = 0;
    auto fail = [&](const std::string& why) {
        if (error)
            *error = origin + ":" + std::to_string(line_number) + ": " + why;
        return false;
    };
    while (!text.empty()) {
        ++line_number;
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        std::vector<std::string_view> w = Words(line);
        if (w.empty())
            continue;

        Event e{};
        uint64_t v = 0;
        if (w[0].size() < 2 || w[0][0] != '@' || !Number(w[0].substr(1), UINT32_MAX, &v))
            return fail("expected @<vblank> at the start of the line");
        e.vblank = static_cast<uint32_t>(v);
        if (w.size() < 3)
            return fail("expected pad<N> and an action after the time");
        if (w[1] == "pad0")
            e.pad = 0;
        else if (w[1] == "pad1")
            e.pad = 1;
        else
            return fail("unknown pad '" + std::string(w[1]) + "' (pad0 or pad1)");
        std::string_view action = w[2];
        size_t expected_words = 3;
        uint32_t hold_for = 0;
        if (action == "connect" || action == "disconnect") {
            e.kind = action == "connect" ? Kind::kConnect : Kind::kDisconnect;
        } else if (action == "press" || action == "release" || action == "pressure") {
            if (w.size() < 4)
                return fail("expected a button after '" + std::string(action) + "'");
            const PadButton* button = FindPadButton(w[3]);
            if (!button)
                return fail("unknown button '" + std::string(w[3]) + "'");
            e.index = ButtonIndex(button);
            expected_words = 4;
            if (action == "press") {
                e.kind = Kind::kPress;
                if (w.size() > 4) {
                    if (w[4] != "for" || w.size() < 6 || !Number(w[5], UINT32_MAX - e.vblank, &v) || v == 0)
                        return fail("expected 'for <fields>' with at least one field");
                    hold_for = static_cast<uint32_t>(v);
                    expected_words = 6;
                }
            } else if (action == "release") {
                e.kind = Kind::kRelease;
            } else {
                e.kind = Kind::kPressure;
                if (button->pressure_index < 0)
                    return fail(std::string("button ") + button->name + " has no pressure");
                if (w.size() < 5 || !Number(w[4], 0xFF, &v))
                    return fail("expected a pressure of 0 to 255");
                e.x = static_cast<uint8_t>(v);
                expected_words = 5;
            }
        } else if (action == "stick") {
            e.kind = Kind::kStick;
            if (w.size() < 6 || (w[3] != "L" && w[3] != "R"))
                return fail("expected 'stick L|R <x> <y>'");
            e.index = w[3] == "L" ? 0 : 1;
            uint64_t x = 0, y = 0;
            if (!Number(w[4], 0xFF, &x) || !Number(w[5], 0xFF, &y))
                return fail("stick positions are bytes, 0 to 255");
            e.x = static_cast<uint8_t>(x);
            e.y = static_cast<uint8_t>(y);
            expected_words = 6;
        } else {
            return fail("unknown action '" + std::string(action) + "'");
        }
        if (w.size() != expected_words)
            return fail("unexpected '" + std::string(w[expected_words]) + "' at the end of the line");
        e.order = order++;
        events.push_back(e);
        if (hold_for) {
            Event release = e;
            release.kind = Kind::kRelease;
            release.vblank = e.vblank + hold_for;
            events.push_back(release);
        }
    }
    // A "for" release sorts by its own field, ahead of later lines' events
    // of that field.
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.vblank != b.vblank ? a.vblank < b.vblank : a.order < b.order;
    });
    events_ = std::move(events);
    return true;
}

bool PadScriptInput::Load(const std::string& path, std::string* error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (error)
            *error = path + ": cannot open the pad script";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return Parse(text.str(), path, error);
}

void PadScriptInput::Apply(const Event& e)
{
    PadInput& pad = state_[e.pad];
    switch (e.kind) {
    case Kind::kConnect: pad.connected = true; break;
    case Kind::kDisconnect: pad.connected = false; break;
    case Kind::kPress:
    case Kind::kRelease: {
        const PadButton& b = kPadButtons[e.index];
        bool down = e.kind == Kind::kPress;
        pad.buttons = static_cast<uint16_t>(down ? pad.buttons | b.bit : pad.buttons & ~b.bit);
        if (b.pressure_index >= 0)
            pad.pressure[b.pressure_index] = down ? 0xFF : 0;
        break;
    }
    case Kind::kStick:
        // PadInput's sticks: right x, right y, left x, left y.
        pad.sticks[e.index == 0 ? 2 : 0] = e.x;
        pad.sticks[e.index == 0 ? 3 : 1] = e.y;
        break;
    case Kind::kPressure: pad.pressure[kPadButtons[e.index].pressure_index] = e.x; break;
    }
}

void PadScriptInput::Poll(uint32_t vblank, PadInput pads[2])
{
    while (next_ < events_.size() && events_[next_].vblank <= vblank)
        Apply(events_[next_++]);
    pads[0] = state_[0];
    pads[1] = state_[1];
}

std::unique_ptr<InputSource> OpenPadScriptFromOptions()
{
    // An empty value (an empty CONSOLE_PAD_SCRIPT) counts as not given.
    if (GetString("pad-script").empty())
        return nullptr;
    auto script = std::make_unique<PadScriptInput>();
    std::string error;
    if (!script->Load(GetString("pad-script"), &error))
        Diag(Level::kFatal, "pad", "%s", error.c_str());
    return script;
}

}  // namespace console::host
