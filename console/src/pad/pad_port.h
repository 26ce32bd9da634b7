// One controller port as the pad manager sees it: the pad's identification,
// its modes, the set-up command that is running and the data latched at the
// last vertical blank.  Pure state: the library (libpad.cpp) feeds it the
// host's input at each field and forwards motor values to the host.
#pragma once

#include <array>
#include <cstdint>

#include "host/host.h"

namespace console::pad {

// Values reported by scePadGetState.
enum class PadState : int {
    kDisconnected = 0,
    kFinding = 1,
    kFound = 2,
    kExecuting = 5,
    kStable = 6,
};

// Fields a newly plugged pad spends being identified.
constexpr uint32_t kFindFields = 2;

// Data sizes: header, buttons, then half-words of analogue data.
constexpr uint8_t kIdDigital = 0x41;
constexpr uint8_t kIdAnalog = 0x73;
constexpr uint8_t kIdPressure = 0x79;
constexpr int kReadBufferSize = 32;

enum class Command { kSetMainMode, kEnterPressMode, kExitPressMode, kSetActAlign };

class PadPort {
public:
    // Opening starts identification at once when the last latched input saw
    // a pad; otherwise the port waits for one.
    void Open(const host::PadInput& last_input);
    void Close();
    bool IsOpen() const { return open_; }

    // A vertical blank: takes the host's input for this port and advances the
    // identification and command timers.  Returns true when the pad was
    // unplugged at this field (its motors must stop).
    bool Latch(const host::PadInput& input);

    PadState State() const { return state_; }
    bool Ready() const { return state_ == PadState::kFound || state_ == PadState::kStable; }
    bool Connected() const { return state_ != PadState::kDisconnected; }

    // Starts a set-up command lasting `fields` vertical blanks (0: done at
    // once).  `argument` is the mode offset of kSetMainMode.  Refused (false)
    // unless the pad is ready.
    bool StartCommand(Command command, uint32_t fields, int argument = 0);

    // The scePadRead layout; returns the number of valid bytes, 0 while the
    // pad is not ready or executing a command.
    int Read(uint8_t* rdata) const;

    bool Analog() const { return analog_; }
    bool PressureMode() const { return pressure_; }
    uint8_t DataId() const;

    // The motor alignment, kept while the port is open.
    std::array<uint8_t, 6> alignment{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    // The motor values last applied (motor 0 on/off, motor 1 level).
    bool small_on = false;
    uint8_t large_level = 0;

private:
    void Unplug();
    void Finish();

    bool open_ = false;
    PadState state_ = PadState::kDisconnected;
    uint32_t find_left_ = 0;
    uint32_t command_left_ = 0;
    Command command_ = Command::kSetMainMode;
    int argument_ = 0;
    bool analog_ = false;
    bool pressure_ = false;
    host::PadInput data_;
};

}  // namespace console::pad
