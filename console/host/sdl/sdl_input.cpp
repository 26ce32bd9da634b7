#include "host/sdl/sdl_input.h"

#include <algorithm>
#include <cstdio>

#include "host/pad_buttons.h"

namespace console::host::sdl {
namespace {

// Button bits of the pad library's 16-bit layout.
constexpr uint16_t kL2 = 0x0001, kR2 = 0x0002, kL1 = 0x0004, kR1 = 0x0008;
constexpr uint16_t kTriangle = 0x0010, kCircle = 0x0020, kCross = 0x0040, kSquare = 0x0080;
constexpr uint16_t kSelect = 0x0100, kL3 = 0x0200, kR3 = 0x0400, kStart = 0x0800;
constexpr uint16_t kUp = 0x1000, kRight = 0x2000, kDown = 0x4000, kLeft = 0x8000;

struct KeyButton {
    SDL_Scancode key;
    uint16_t bit;
};
constexpr KeyButton kKeyButtons[] = {
    {SDL_SCANCODE_UP, kUp},          {SDL_SCANCODE_RIGHT, kRight},    {SDL_SCANCODE_DOWN, kDown},
    {SDL_SCANCODE_LEFT, kLeft},      {SDL_SCANCODE_X, kCross},        {SDL_SCANCODE_C, kCircle},
    {SDL_SCANCODE_Z, kSquare},       {SDL_SCANCODE_S, kTriangle},     {SDL_SCANCODE_RETURN, kStart},
    {SDL_SCANCODE_BACKSPACE, kSelect}, {SDL_SCANCODE_Q, kL1},         {SDL_SCANCODE_E, kR1},
    {SDL_SCANCODE_1, kL2},           {SDL_SCANCODE_3, kR2},
};

// Stick keys: the negative and positive key of each stick byte (PadInput's
// order: right x, right y, left x, left y).
struct KeyAxis {
    SDL_Scancode minus, plus;
};
constexpr KeyAxis kKeyAxes[4] = {
    {SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_6},
    {SDL_SCANCODE_KP_8, SDL_SCANCODE_KP_2},
    {SDL_SCANCODE_J, SDL_SCANCODE_L},
    {SDL_SCANCODE_I, SDL_SCANCODE_K},
};

struct PadButtonMap {
    SDL_GameControllerButton button;
    uint16_t bit;
};
constexpr PadButtonMap kControllerButtons[] = {
    {SDL_CONTROLLER_BUTTON_A, kCross},          {SDL_CONTROLLER_BUTTON_B, kCircle},
    {SDL_CONTROLLER_BUTTON_X, kSquare},         {SDL_CONTROLLER_BUTTON_Y, kTriangle},
    {SDL_CONTROLLER_BUTTON_BACK, kSelect},      {SDL_CONTROLLER_BUTTON_START, kStart},
    {SDL_CONTROLLER_BUTTON_LEFTSTICK, kL3},     {SDL_CONTROLLER_BUTTON_RIGHTSTICK, kR3},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, kL1},  {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, kR1},
    {SDL_CONTROLLER_BUTTON_DPAD_UP, kUp},       {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kRight},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, kDown},   {SDL_CONTROLLER_BUTTON_DPAD_LEFT, kLeft},
};

constexpr SDL_GameControllerAxis kControllerAxes[4] = {
    SDL_CONTROLLER_AXIS_RIGHTX, SDL_CONTROLLER_AXIS_RIGHTY, SDL_CONTROLLER_AXIS_LEFTX, SDL_CONTROLLER_AXIS_LEFTY};

// A trigger counts as pressed from a quarter of its travel.
constexpr uint8_t kTriggerPressed = 0x40;

// -32768..32767 onto 0..255 with 0 at 0x80.
uint8_t StickByte(Sint16 value)
{
    return static_cast<uint8_t>((static_cast<int>(value) + 32768) >> 8);
}

// 0..32767 onto 0..255.
uint8_t TriggerByte(Sint16 value)
{
    return static_cast<uint8_t>(std::max(0, static_cast<int>(value)) * 255 / 32767);
}

// Pressure 0xFF for every pressed button that has one, keeping higher
// values already there (analogue triggers).
void PressButtons(PadInput& pad, uint16_t buttons)
{
    pad.buttons |= buttons;
    for (const PadButton& b : PadButtons())
        if ((buttons & b.bit) && b.pressure_index >= 0)
            pad.pressure[b.pressure_index] = 0xFF;
}

void ReadController(SDL_GameController* gc, PadInput& pad)
{
    uint16_t buttons = 0;
    for (const PadButtonMap& m : kControllerButtons)
        if (SDL_GameControllerGetButton(gc, m.button))
            buttons |= m.bit;
    for (int i = 0; i < 4; ++i)
        pad.sticks[i] = StickByte(SDL_GameControllerGetAxis(gc, kControllerAxes[i]));
    const uint8_t l2 = TriggerByte(SDL_GameControllerGetAxis(gc, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
    const uint8_t r2 = TriggerByte(SDL_GameControllerGetAxis(gc, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
    pad.pressure[FindPadButton("L2")->pressure_index] = l2;
    pad.pressure[FindPadButton("R2")->pressure_index] = r2;
    if (l2 >= kTriggerPressed)
        buttons |= kL2;
    if (r2 >= kTriggerPressed)
        buttons |= kR2;
    PressButtons(pad, static_cast<uint16_t>(buttons & ~(kL2 | kR2)));
    pad.buttons |= buttons & (kL2 | kR2);
}

}  // namespace

SdlInput::~SdlInput()
{
    CloseControllers();
}

void SdlInput::OpenControllers()
{
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_IsGameController(i))
            AddController(i);
}

void SdlInput::CloseControllers()
{
    for (const Pad& p : controllers_)
        SDL_GameControllerClose(p.controller);
    controllers_.clear();
}

void SdlInput::AddController(int device_index)
{
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(device_index);
    for (const Pad& p : controllers_)
        if (p.id == id)
            return;
    SDL_GameController* gc = SDL_GameControllerOpen(device_index);
    if (!gc) {
        std::fprintf(stderr, "console: game controller %d: %s\n", device_index, SDL_GetError());
        return;
    }
    controllers_.push_back({gc, id});
    std::fprintf(stderr, "console: game controller \"%s\" plays pad %zu\n", SDL_GameControllerName(gc),
                 std::min<size_t>(controllers_.size() - 1, 1));
}

void SdlInput::RemoveController(SDL_JoystickID id)
{
    for (auto it = controllers_.begin(); it != controllers_.end(); ++it) {
        if (it->id == id) {
            SDL_GameControllerClose(it->controller);
            controllers_.erase(it);
            return;
        }
    }
}

void SdlInput::HandleEvent(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        if (event.key.keysym.scancode < SDL_NUM_SCANCODES)
            keys_[event.key.keysym.scancode] = event.type == SDL_KEYDOWN;
        break;
    case SDL_CONTROLLERDEVICEADDED: AddController(event.cdevice.which); break;
    case SDL_CONTROLLERDEVICEREMOVED: RemoveController(event.cdevice.which); break;
    default: break;
    }
}

SDL_GameController* SdlInput::ControllerFor(int port) const
{
    if (port < 0 || static_cast<size_t>(port) >= controllers_.size())
        return nullptr;
    return controllers_[static_cast<size_t>(port)].controller;
}

void SdlInput::Poll(uint32_t, PadInput pads[2])
{
    pads[0] = PadInput{};
    pads[1] = PadInput{};
    pads[0].connected = true;
    for (int port = 0; port < 2; ++port) {
        if (SDL_GameController* gc = ControllerFor(port)) {
            pads[port].connected = true;
            ReadController(gc, pads[port]);
        }
    }
    // The keyboard plays pad 0 beside its controller: buttons add, and a
    // stick key pushes its axis to the end whatever the controller's stick.
    PadInput& pad = pads[0];
    uint16_t buttons = 0;
    for (const KeyButton& k : kKeyButtons)
        if (keys_[k.key])
            buttons |= k.bit;
    PressButtons(pad, buttons);
    for (int i = 0; i < 4; ++i) {
        const bool minus = keys_[kKeyAxes[i].minus], plus = keys_[kKeyAxes[i].plus];
        if (minus != plus)
            pad.sticks[i] = minus ? 0x00 : 0xFF;
    }
}

}  // namespace console::host::sdl
