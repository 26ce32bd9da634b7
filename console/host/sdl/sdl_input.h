// A person's input as the console's two pads: the keyboard on pad 0, and
// game controllers (SDL's standard mapping) on pads 0 and 1 in the order they
// were plugged in.  Pad 0 is always connected (the keyboard is there); pad 1
// only while a second controller is.
//
// Keyboard: arrows d-pad; X cross, C circle, Z square, S triangle; Enter
// start, Backspace select; Q/E L1/R1, 1/3 L2/R2; I/J/K/L left stick; keypad
// 8/4/2/6 right stick.  Controllers: analogue triggers give the L2/R2
// pressures and count as pressed from a quarter of their travel; other
// buttons have pressure 0xFF while pressed.
#pragma once

#include <SDL.h>

#include <bitset>
#include <cstdint>
#include <vector>

#include "host/host.h"

namespace console::host::sdl {

class SdlInput final : public InputSource {
public:
    ~SdlInput() override;

    // Keys and controllers arriving or leaving; other events are ignored.
    void HandleEvent(const SDL_Event& event);
    // The merged state of keyboard and controllers now.
    void Poll(uint32_t vblank, PadInput pads[2]) override;

    // The controller playing pad `port`, or null.
    SDL_GameController* ControllerFor(int port) const;
    // Opens the controllers already plugged in.
    void OpenControllers();
    void CloseControllers();

private:
    void AddController(int device_index);
    void RemoveController(SDL_JoystickID id);

    std::bitset<SDL_NUM_SCANCODES> keys_;
    struct Pad {
        SDL_GameController* controller;
        SDL_JoystickID id;
    };
    std::vector<Pad> controllers_;  // in the order they were plugged in
};

}  // namespace console::host::sdl
