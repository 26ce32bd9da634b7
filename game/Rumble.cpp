// Vibration patterns on the pads' motors.
#include "game/Rumble.h"

RumbleController rumblecontrollers[2];

void RumbleInfoStatus::ParseRumbleInfo()
{
    // A pattern that loops back without a waiting step would loop here for
    // ever: a second jump back within one parse ends it instead.
    int loops = 0;
    while (priCurrent) {
        RumbleInfo* step = priCurrent;
        switch (step->i8ActNum) {
        case -3:
            if (++loops > 1) {
                priCurrent = 0;
                return;
            }
            priCurrent = priStart;
            break;
        case 1:
        case 2:
        case -1:
        case -2: {
            int motor = step->i8ActNum > 0 ? step->i8ActNum - 1 : -step->i8ActNum - 1;
            ri8Vel[motor] = step->i8Vel;
            ru8Target[motor] = step->u8Target;
            ru8Count[motor] = step->u8Count;
            priCurrent++;
            if (step->i8ActNum < 0)
                return;
            break;
        }
        default:
            priCurrent = 0;
            return;
        }
    }
}

int RumbleInfoStatus::Update(u8* levels)
{
    bool finished = false;
    for (int m = 0; m < 2; m++) {
        if (ru8Count[m] == 0)
            continue;
        ru8Count[m]--;
        int level = ru8CurrValue[m] + ri8Vel[m];
        if (level < 0)
            level = 0;
        if (level > 255)
            level = 255;
        ru8CurrValue[m] = (u8)level;
        if (ru8Count[m] == 0)
            finished = true;
    }
    levels[0] = ru8CurrValue[0];
    levels[1] = ru8CurrValue[1];
    if (!finished)
        return 0;
    if (!priStart || !priCurrent)
        return -1;
    ParseRumbleInfo();
    return priCurrent ? 0 : -1;
}

void RumbleController::Init()
{
    for (int i = 0; i < 2; i++) {
        rumblecontrollers[i].iControllerNumber = i;
        rumblecontrollers[i].iNumRumbles = 0;
    }
}

void RumbleController::UpdateAll(int iFrame)
{
    rumblecontrollers[0].Update(iFrame);
    rumblecontrollers[1].Update(iFrame);
}

int RumbleController::AddRumble(RumbleInfo* pri)
{
    if (iNumRumbles >= MAX_RUMBLES)
        return -1;
    int index = iNumRumbles++;
    RumbleInfoStatus& s = rris[index];
    memset(&s, 0, sizeof s);
    s.priStart = pri;
    s.priCurrent = pri;
    s.ParseRumbleInfo();
    return index;
}

int RumbleController::AddRumbleImmediate(int vel0, int target0, int count0, int vel1, int target1, int count1)
{
    if (iNumRumbles >= MAX_RUMBLES)
        return -1;
    int index = iNumRumbles++;
    RumbleInfoStatus& s = rris[index];
    memset(&s, 0, sizeof s);
    s.ri8Vel[0] = (s8)vel0;
    s.ru8Target[0] = (u8)target0;
    s.ru8Count[0] = (u8)count0;
    s.ri8Vel[1] = (s8)vel1;
    s.ru8Target[1] = (u8)target1;
    s.ru8Count[1] = (u8)count1;
    return index;
}

void RumbleController::Update(int iFrame)
{
    int max0 = 0, max1 = 0;
    int i = 0;
    while (i < iNumRumbles) {
        u8 levels[2];
        int result = rris[i].Update(levels);
        if (levels[0] > max0)
            max0 = levels[0];
        if (levels[1] > max1)
            max1 = levels[1];
        if (result < 0) {
            for (int j = i + 1; j < iNumRumbles; j++)
                rris[j - 1] = rris[j];
            iNumRumbles--;
        } else {
            i++;
        }
    }
    if (iFrame % 8 == 0)
        controller[iControllerNumber].SetActuators(max0, max1);
}
