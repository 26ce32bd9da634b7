// The pad's sixteen buttons as the host side names them: in pad scripts, in
// recordings and in the window's key and controller mapping.  Header only, so
// the window program (built for the host's own architecture) shares it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace console::host {

// One of the sixteen buttons: its script name, its bit in PadInput::buttons
// and its index in PadInput::pressure (-1 for buttons without pressure).
struct PadButton {
    const char* name;
    uint16_t bit;
    int pressure_index;
};

// Bit order of the pad library's button word; pressure bytes come in the
// order right, left, up, down, triangle, circle, cross, square, L1, R1, L2, R2.
inline constexpr PadButton kPadButtons[16] = {
    {"L2", 0x0001, 10},       {"R2", 0x0002, 11},     {"L1", 0x0004, 8},     {"R1", 0x0008, 9},
    {"TRIANGLE", 0x0010, 4},  {"CIRCLE", 0x0020, 5},  {"CROSS", 0x0040, 6},  {"SQUARE", 0x0080, 7},
    {"SELECT", 0x0100, -1},   {"L3", 0x0200, -1},     {"R3", 0x0400, -1},    {"START", 0x0800, -1},
    {"UP", 0x1000, 2},        {"RIGHT", 0x2000, 0},   {"DOWN", 0x4000, 3},   {"LEFT", 0x8000, 1},
};

// The buttons in bit order (L2 = bit 0 ... LEFT = bit 15).
inline std::span<const PadButton> PadButtons()
{
    return kPadButtons;
}

// By name, upper case; null when there is no such button.
inline const PadButton* FindPadButton(std::string_view name)
{
    for (const PadButton& b : kPadButtons)
        if (name == b.name)
            return &b;
    return nullptr;
}

}  // namespace console::host
