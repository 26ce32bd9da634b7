#include "pad/pad_port.h"

#include <cstring>

namespace console::pad {

void PadPort::Open(const host::PadInput& last_input)
{
    *this = PadPort{};
    open_ = true;
    data_ = last_input;
    if (last_input.connected) {
        state_ = PadState::kFinding;
        find_left_ = kFindFields;
    }
}

void PadPort::Close()
{
    *this = PadPort{};
}

void PadPort::Unplug()
{
    // A pad plugged in again starts over in digital mode with no command.
    state_ = PadState::kDisconnected;
    find_left_ = 0;
    command_left_ = 0;
    analog_ = false;
    pressure_ = false;
    small_on = false;
    large_level = 0;
}

void PadPort::Finish()
{
    switch (command_) {
    case Command::kSetMainMode:
        analog_ = argument_ != 0;
        if (!analog_)
            pressure_ = false;
        break;
    case Command::kEnterPressMode: pressure_ = true; break;
    case Command::kExitPressMode: pressure_ = false; break;
    case Command::kSetActAlign: break;
    }
    state_ = PadState::kStable;
}

bool PadPort::Latch(const host::PadInput& input)
{
    data_ = input;
    if (!open_)
        return false;
    if (!input.connected) {
        bool was_connected = state_ != PadState::kDisconnected;
        Unplug();
        return was_connected;
    }
    switch (state_) {
    case PadState::kDisconnected:
        state_ = PadState::kFinding;
        find_left_ = kFindFields;
        break;
    case PadState::kFinding:
        if (--find_left_ == 0)
            state_ = PadState::kFound;
        break;
    case PadState::kExecuting:
        if (--command_left_ == 0)
            Finish();
        break;
    case PadState::kFound:
    case PadState::kStable:
        break;
    }
    return false;
}

bool PadPort::StartCommand(Command command, uint32_t fields, int argument)
{
    if (!Ready())
        return false;
    command_ = command;
    argument_ = argument;
    if (fields == 0) {
        Finish();
        return true;
    }
    state_ = PadState::kExecuting;
    command_left_ = fields;
    return true;
}

uint8_t PadPort::DataId() const
{
    if (!analog_)
        return kIdDigital;
    return pressure_ ? kIdPressure : kIdAnalog;
}

int PadPort::Read(uint8_t* rdata) const
{
    if (!Ready())
        return 0;
    uint8_t id = DataId();
    int length = 2 + 2 * (id & 0x0F);
    uint8_t out[kReadBufferSize] = {};
    out[0] = 0;
    out[1] = id;
    // Buttons travel active low, high byte first.
    uint16_t low_active = static_cast<uint16_t>(~data_.buttons);
    out[2] = static_cast<uint8_t>(low_active >> 8);
    out[3] = static_cast<uint8_t>(low_active);
    std::memcpy(out + 4, data_.sticks, 4);
    std::memcpy(out + 8, data_.pressure, 12);
    std::memcpy(rdata, out, static_cast<size_t>(length));
    return length;
}

}  // namespace console::pad
