// Vibration: patterns of motor levels played on one pad's two motors.  Game
// code starts a pattern (an array of RumbleInfo steps in data) or an
// immediate ramp; each frame every running rumble steps its levels, and on
// every eighth frame the strongest levels go to the pad.
#pragma once

#include "ZevEngine2/Zev.h"

#include "ZevEngine2/PS2/Controller.h"

// One pattern step.  i8ActNum: 1 or 2 set motor i8ActNum - 1 and go straight
// on to the next step; -1 or -2 set motor -i8ActNum - 1 and wait until a
// motor's count runs out; -3 go back to the first step; anything else ends
// the pattern.
struct RumbleInfo {
    s8 i8ActNum;
    s8 i8Vel;      // change of the motor level per frame
    u8 u8Target;   // kept with the step; the levels do not aim at it
    u8 u8Count;    // frames the step lasts
};
static_assert(sizeof(RumbleInfo) == 4, "patterns are arrays of 4-byte steps in data");

// One running rumble.
struct RumbleInfoStatus {
    RumbleInfo* priStart;    // the pattern (null for an immediate rumble)
    RumbleInfo* priCurrent;  // the next step to parse (null: pattern ended)
    u8 ru8CurrValue[2];      // motor levels
    s8 ri8Vel[2];
    u8 ru8Target[2];
    u8 ru8Count[2];          // frames left of each motor's step

    // Reads steps from priCurrent up to the next waiting step.
    void ParseRumbleInfo();
    // One frame: steps the levels and writes them to levels[2]; 0 to keep
    // the rumble, -1 when it has ended.
    int Update(u8* levels);
};

class RumbleController {
public:
    enum { MAX_RUMBLES = 8 };

    int iControllerNumber;             // pad index
    int iNumRumbles;                   // 0..MAX_RUMBLES
    RumbleInfoStatus rris[MAX_RUMBLES];  // running rumbles, packed at the front

    // Both pads' controllers, with no rumbles.
    static void Init();
    // Once per frame: Update on both.
    static void UpdateAll(int iFrame);

    // Starts a pattern at the end of the list; its index, or -1 when
    // MAX_RUMBLES already run.
    int AddRumble(RumbleInfo* pri);
    // Starts a ramp of both motors without a pattern (velocity, target and
    // count of motor 0, then of motor 1); index or -1 as AddRumble.
    int AddRumbleImmediate(int vel0, int target0, int count0, int vel1, int target1, int count1);
    // Steps every running rumble; on frames that are multiples of 8 sends
    // the strongest levels to the pad.
    void Update(int iFrame);
};

extern RumbleController rumblecontrollers[2];
