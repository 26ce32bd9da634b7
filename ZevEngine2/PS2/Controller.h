// Game pads: one Controller per port keeps one frame's input read through the
// pad library (the button word, the raw data block with the analogue bytes,
// the pad type) and the pad's motor values.  controller[0] and controller[1]
// are ports 0 and 1.
#pragma once

#include "ZevEngine2/Zev.h"

#include <ee/pad.h>

// Pad types: the high nibble of the data block's second byte.
enum ContType {
    PADT_DISCONNECTED = 0,
    PADT_NEGCON = 2,
    PADT_ANALOGSTICK = 5,
    PADT_NAMCOGUN = 6,
    PADT_DUALSHOCK = 7,
};

// Set-up of a pad, one command per frame: analogue mode, then pressure mode,
// then plain reading.
enum ContInitMode {
    CONM_DISCONNECTED = 0,
    CONM_SETANALOG = 1,
    CONM_SETPRESSURE = 2,
    CONM_READING = 3,
};

// Bits of the pad word's low half (held); the same bits << 16 are the
// buttons newly pressed this frame.
enum ControllerButton {
    BUT_TRIGGER_L2 = 0x0001,
    BUT_TRIGGER_R2 = 0x0002,
    BUT_TRIGGER_L = 0x0004,
    BUT_TRIGGER_R = 0x0008,
    BUT_TRIANGLE = 0x0010,
    BUT_CIRCLE = 0x0020,
    BUT_CROSS = 0x0040,
    BUT_SQUARE = 0x0080,
    BUT_SELECT = 0x0100,
    BUT_THUMB_L = 0x0200,
    BUT_THUMB_R = 0x0400,
    BUT_START = 0x0800,
    BUT_PAD_UP = 0x1000,
    BUT_PAD_RIGHT = 0x2000,
    BUT_PAD_DOWN = 0x4000,
    BUT_PAD_LEFT = 0x8000,
};

// Analogue bytes: index i is rdata[4 + i].  Sticks are 0..255 with 0x80 the
// centre; pressures 0..255.
enum ControllerAnalog {
    ANA_RX = 0,
    ANA_RY = 1,
    ANA_LX = 2,
    ANA_LY = 3,
    ANA_PAD_RIGHT = 4,
    ANA_PAD_LEFT = 5,
    ANA_PAD_UP = 6,
    ANA_PAD_DOWN = 7,
    ANA_TRIANGLE = 8,
    ANA_CIRCLE = 9,
    ANA_CROSS = 10,
    ANA_SQUARE = 11,
    ANA_L1 = 12,
    ANA_R1 = 13,
    ANA_L2 = 14,
    ANA_R2 = 15,
    // A steering pad reports its wheel and pedals in the first bytes.
    ANA_WHEEL = 0,
    ANA_PEDAL_R = 1,
    ANA_PEDAL_L = 2,
};

// Motor state.  rucDirect and rucPrevDirect are the six bytes the pad library
// takes, laid out by rucAlignment (byte i drives motor rucAlignment[i]).
struct Actuator {
    u8 rucAlignment[6];
    u32 u32Value0;        // small motor: 1 on, 0 off
    u8 rucDirect[6];      // values to send
    u32 u32Value1;        // large motor level 0..255
    u8 rucPrevDirect[6];  // values last sent
    u8 state;
    u8 enabled;           // the pad has motors and their alignment is set
};

class Controller {
public:
    u8 pad_dma_buf[256] __attribute__((aligned(64)));  // the pad library's area for this port
    Actuator actuator;
    u8 rdata[32];       // last raw data block
    u32 pad;            // bits 0..15 held, bits 16..31 newly pressed this frame
    ContType pad_type;
    u8 port, slot;
    u8 cont_init_mode;  // ContInitMode
    u8 analogOn;        // wanted analogue mode
    u8 pressureOn;      // wanted pressure-sensitive mode

    // Starts the pad library and opens both pads with their motors.
    static void Init();
    // Once per frame: reads both pads, then sends changed motor values.
    static void Update();
    // Sends each pad's motor values when they changed and the pad is ready.
    static void UpdateActuators();

    // Opens port/slot; the pad counts as disconnected, sticks centred, until
    // its set-up has run.
    void Open(int port, int slot);
    // Waits while the pad executes a command; returns the pad state.
    int Sync();
    // Reads this frame's input and runs one step of the pad's set-up.
    void Read();

    // Motor values: small >= 128 turns the small motor on; large is the large
    // motor's level.
    void SetActuators(int small, int large)
    {
        SetActuator0(small);
        SetActuator1(large);
    }
    void SetActuator0(int small) { actuator.u32Value0 = small >= 128 ? 1 : 0; }
    void SetActuator1(int large) { actuator.u32Value1 = (u32)large; }
    void UpdateActuator();
    void InitActuators();

    // Buttons held (low half of the pad word) and newly pressed (high half
    // moved down), as ControllerButton bits.
    u32 Pad() const { return pad & 0xFFFF; }
    u32 Hit() const { return pad >> 16; }
    ContType Type() const { return pad_type; }
    void SetType(ContType t) { pad_type = t; }

    // Analogue byte i (ControllerAnalog), and the same as a float: sticks
    // -1 (left, up) .. +1 (right, down) around 0x80, pressures 0 .. 1.
    u8 Analog(int i) const { return rdata[4 + i]; }
    float AnalogF(int i) const
    {
        if (i < 4)
            return ((int)rdata[4 + i] - 128) * (1.0f / 128.0f);
        return rdata[4 + i] * (1.0f / 255.0f);
    }

    // Held: any of `buttons`; any at all (or of a set); exactly `buttons` and
    // nothing else; every one of `buttons`.
    bool Down(u32 buttons) const { return (Pad() & buttons) != 0; }
    bool AnyDown(u32 buttons = 0xFFFF) const { return (Pad() & buttons) != 0; }
    bool OnlyDown(u32 buttons) const { return Pad() == buttons; }
    bool AllDown(u32 buttons) const { return (Pad() & buttons) == buttons; }
    // Newly pressed this frame: any of `buttons`; any at all (or of a set);
    // exactly `buttons` and nothing else; a combination completed this frame
    // (every one of `buttons` held and at least one of them new).
    bool Hit(u32 buttons) const { return (Hit() & buttons) != 0; }
    bool AnyHit(u32 buttons = 0xFFFF) const { return (Hit() & buttons) != 0; }
    bool OnlyHit(u32 buttons) const { return Hit() == buttons; }
    bool MultiHit(u32 buttons) const { return AllDown(buttons) && (Hit() & buttons) != 0; }

    // The wanted modes; a change runs the pad's set-up again.
    void SetAnalog(bool on)
    {
        if (analogOn != (u8)on)
            cont_init_mode = CONM_DISCONNECTED;
        analogOn = on;
    }
    void Pressure(bool on)
    {
        if (pressureOn != (u8)on)
            cont_init_mode = CONM_DISCONNECTED;
        pressureOn = on;
    }

    // No buttons, raw data cleared, sticks centred.
    void ZeroData()
    {
        pad = 0;
        memset(rdata, 0, sizeof rdata);
        rdata[4 + ANA_RX] = rdata[4 + ANA_RY] = rdata[4 + ANA_LX] = rdata[4 + ANA_LY] = 0x80;
    }
};

extern Controller controller[2];
