// Pad scripts: pad input as text, one event per line, so that headless runs
// and tests can press buttons, and a person's play can be replayed.
//
//   @<vblank> pad<N> connect | disconnect
//   @<vblank> pad<N> press <BUTTON> [for <n>]
//   @<vblank> pad<N> release <BUTTON>
//   @<vblank> pad<N> stick L|R <x> <y>
//   @<vblank> pad<N> pressure <BUTTON> <value>
//
// Times count vertical blanks since start-up (the pad library latches field
// k with Poll(k), the first field being 1).  Events of one field apply in file
// order; "for n" releases the button n fields later.  N is 0 or 1; stick and
// pressure values are bytes (decimal or 0x hex, 0x80 the stick centre).  A
// press sets the button's pressure to 0xFF and a release to 0; a pressure
// line overrides that until the button's next press or release.  '#' starts a
// comment.  Before the first event pad 0 is connected and idle, pad 1
// unplugged.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "host/pad_buttons.h"

namespace console::host {

// The input before any event: pad 0 connected and idle, pad 1 unplugged.
void DefaultPadInputs(PadInput pads[2]);

class PadScriptInput final : public InputSource {
public:
    // Reads a script; on failure returns false and says which line is wrong
    // (`origin` names the script in the message).  Replaces any earlier script.
    bool Parse(std::string_view text, const std::string& origin, std::string* error);
    bool Load(const std::string& path, std::string* error);

    // Applies every event up to and including `vblank`, then reports.
    void Poll(uint32_t vblank, PadInput pads[2]) override;

private:
    enum class Kind { kConnect, kDisconnect, kPress, kRelease, kStick, kPressure };
    struct Event {
        uint32_t vblank;
        uint32_t order;  // keeps file order among events of one field
        int pad;
        Kind kind;
        int index;       // button index, or 0/1 for the left/right stick
        uint8_t x, y;    // stick position, or the pressure in x
    };
    void Apply(const Event& event);

    std::vector<Event> events_;
    size_t next_ = 0;
    PadInput state_[2];
};

// The --pad-script input, or null when the option is not given.  A script
// that cannot be read ends the run with a message naming the line.
std::unique_ptr<InputSource> OpenPadScriptFromOptions();

}  // namespace console::host
