// The player's pad turned into a car's controls: steering, throttle and
// brakes with the gear changes between forward and reverse, the hand brake,
// horn and siren, the peel-out start and the special moves, each gated by the
// player's car abilities.
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/MathsLocal.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

int g_iDamageWheel = -1;

namespace {

// A stick byte with its dead zone taken out: -88..87, 0 inside the zone.
int DeadZoned(u8 byte, int zone)
{
    const int a = int(byte) - 128;
    if (std::abs(a) < zone)
        return 0;
    return a >= 0 ? a - zone : a + zone;
}

constexpr int kStickZone = 40;
constexpr int kNegConZone = 8;
// Steering beyond this counts as hard for the special moves; moving is
// faster than the second.
constexpr float kHardSteer = 0.1309f;
constexpr float kMoving = 0.0582083f;

// A bit of a tap result; -1 (input not active this frame) has none.
bool Tap(int result, int bit)
{
    return result > 0 && (result & bit) != 0;
}

// steer toward target through the rate: small differences at once, larger
// ones at most limit a frame, and none against a turn under way.
float SteerStep(float target, float current, float delta, float small, float limit)
{
    const float diff = target - current;
    if (fabsf(diff) < small)
        return diff;
    if (fabsf(delta) < 1.0f || (diff < 0.0f) == (delta < 0.0f))
        return std::min(std::max(diff, -limit), limit);
    return 0.0f;
}

}  // namespace

int ButtonTapInfo::DownUpdate()
{
    const int now = world.time;
    int r = 0;
    if (now - iLastDownTime >= 4) {
        // A new press.
        const int prev = rgiLastEdgeTime[1];
        if (now - prev < 30) {
            r = 1;
            if (rgiLastEdgeTime[0] != 0 && prev - rgiLastEdgeTime[0] < 30)
                r = 3;
        }
        rgiLastEdgeTime[0] = prev;
        rgiLastEdgeTime[1] = now;
    }
    iLastDownTime = now;
    return r;
}

bool ButtonTapInfo::Hit() const
{
    return rgiLastEdgeTime[1] == world.time;
}

void Vehicle::ControlVehicle(Controller& pad)
{
    const int now = world.time;
    const u32 held = pad.Pad();
    const u32 hit = pad.Hit();
    const bool negcon = pad.pad_type == PADT_NEGCON;
    const float v = Dot(vel.xyz(), mat.z.xyz());
    const float speed = Length(vel.xyz());

    // 1.
    const int s = DeadZoned(pad.rdata[4 + ANA_RY], kStickZone);
    // 2.
    if (g_iDamageWheel != -1) {
        const int i = std::min(std::max(g_iDamageWheel, 0), 3);
        if (wheel[i] != nullptr)
            wheel[i]->CauseDamage();
        g_iDamageWheel = -1;
    }
    // 3. A tap sounds the horn for at least 16 frames.
    if (held & BUT_PAD_RIGHT) {
        if (!bHorn)
            iLastTimeStartHorn = now;
        bHorn = true;
    } else if (now - iLastTimeStartHorn > 15) {
        bHorn = false;
    }
    // 4.
    if (hit & BUT_PAD_LEFT) {
        const int siren = iSirenType();
        if (siren > 0) {
            if (bSiren)
                DisableSiren();
            else
                EnableSiren();
        } else if (siren == 0 && HasDriver()) {
            // A portable light: the driver puts it on the roof or takes it in.
            SpecialMessage m(bSiren ? SMSG_PLAYER_ANIM_B : SMSG_PLAYER_ANIM_A, this);
            rcoDriver->SendMessage(OM_SPECIAL, &m);
        }
    }
    // 5.
    if (negcon) {
        const int d = DeadZoned(pad.rdata[4 + ANA_RX], kNegConZone);
        if (d != 0)
            steer = float(d) * 0.00436332f;
        else
            steer -= steer * speed;
    } else {
        const int d = DeadZoned(pad.rdata[4 + ANA_LX], kStickZone);
        if (d != 0) {
            const float step =
                SteerStep(float(d) * 0.00594999f, steer, fDeltaSteer, 0.00818123f, bCycle ? 0.0523599f : 0.0392699f);
            fDeltaSteer = step;
            steer += step;
            if (d <= -71)
                btiSteerLeft.DownUpdate();
            else if (d >= 71)
                btiSteerRight.DownUpdate();
        } else {
            fDeltaSteer = 0.0f;
            steer -= steer * std::max(0.0465667f, speed);
        }
    }
    // 6.
    if (bCycle) {
        const int e = -DeadZoned(pad.rdata[4 + ANA_LY], kStickZone);
        if (e != 0) {
            const float step = SteerStep(float(e) * 0.0113636f, fForwardBackLean, fDeltaFBLean, 0.015625f, 0.0523599f);
            fDeltaFBLean = step;
            fForwardBackLean += step;
        } else {
            fDeltaFBLean = 0.0f;
            fForwardBackLean -= fForwardBackLean * std::max(0.0465667f, speed);
        }
    }
    // 7.
    if (steeringwheel != nullptr) {
        const Vector at = steeringwheel->mat.w;
        steeringwheel->mat = RotZ(steer * steeringratio);
        steeringwheel->mat.w = at;
    }
    // 8. Peel-out: armed while both face buttons are held, fired when square
    // is let go with cross still down.
    const bool cross = (held & BUT_CROSS) != 0, square = (held & BUT_SQUARE) != 0;
    if (!bPeelOut) {
        if (CarAbility(PEEL_OUT) && fabsf(v) < 0.0116417f &&
            (((hit & BUT_CROSS) && square) || (cross && (hit & BUT_SQUARE)))) {
            bPeelOut = true;
            if (gear < 0) {
                gear = 1;
                fEngine = 0.25f;
            }
        }
    } else if (!(cross && square)) {
        bPeelOut = false;
        if (cross && iBurstTimeLeft == 0 && vSpecialMove == VSpecialMove_None) {
            vSpecialMove = VSpecialMove_PeelOutBurst;
            iTotalBurstTime = iBurstTimeLeft = 15;
            fBurstAccelValue = 0.00931333f;
        }
    }
    // 9.
    int a = -1, b = -1, h = -1;
    if (negcon) {
        fAccel = float(int(pad.rdata[5]) - 128) * (1.0f / 255000.0f);
        fBrake = float(int(pad.rdata[6]) - 128) * (1.0f / 255000.0f);
    } else if (bPeelOut || (!cross && !square && s == 0)) {
        fAccel = std::max(fAccel - 0.0000666667f, 0.0f);
        fBrake = std::max(fBrake - 0.000666667f, 0.0f);
    } else {
        const bool forward = gear >= 1;
        const u32 accel = forward ? BUT_CROSS : BUT_SQUARE;
        const u32 brake = forward ? BUT_SQUARE : BUT_CROSS;
        const int t = forward ? -s : s;
        if (gear != 0 && ((held & accel) || t > 0)) {
            a = btiAccel.DownUpdate();
            fAccel = t > 0 ? float(std::min(t, 88)) * 0.0000113636f : std::min(fAccel + 0.0000666667f, 0.001f);
        } else {
            fAccel = std::max(fAccel - 0.000266667f, 0.0f);
        }
        if ((held & brake) || t < 0) {
            b = btiBrake.DownUpdate();
            fBrake = t < 0 ? float(std::min(-t, 88)) * 0.000113636f : std::min(fBrake + 0.000666667f, 0.01f);
            // Braking nearly stopped turns the car's direction round.
            if ((forward && v < 0.00520833f) || (!forward && v > -0.0232833f)) {
                int next = 0;
                if (gear < 0)
                    next = 1;
                else if (!(held & accel))
                    next = forward ? -2 : 1;
                if (next != 0) {
                    vel[0] -= mat.z[0] * v;
                    vel[1] -= mat.z[1] * v;
                    vel[2] -= mat.z[2] * v;
                    gear = s8(next);
                    fEngine = 0.25f;
                }
            }
        } else {
            fBrake = std::max(fBrake - 0.000666667f, 0.0f);
        }
    }
    // 10.
    if ((held & (BUT_TRIGGER_L2 | BUT_CIRCLE)) && !bPeelOut) {
        h = btiHandBrake.DownUpdate();
        fHandBrake = 0.02f;
    } else {
        fHandBrake = 0.0f;
    }
    // 11.
    switch (vSpecialMove) {
    case VSpecialMove_None:
        break;
    case VSpecialMove_EmergencyStop:
        if (b < 0 || --iBurstTimeLeft <= 0)
            vSpecialMove = VSpecialMove_None;
        return;
    case VSpecialMove_BackSwitchBlade:
    case VSpecialMove_FrontSwitchBlade:
        fEngine = 0.8f;
        if (--iBurstTimeLeft <= 0)
            vSpecialMove = VSpecialMove_None;
        return;
    case VSpecialMove_90DegreeTurn:
        if (--iBurstTimeLeft <= 0)
            vSpecialMove = VSpecialMove_None;
        return;
    case VSpecialMove_TwoWheels_Left:
    case VSpecialMove_TwoWheels_Right:
        if (a < 0 || --iBurstTimeLeft <= 0 || v < 0.0232833f)
            vSpecialMove = VSpecialMove_None;
        return;
    case VSpecialMove_Boost:
    case VSpecialMove_Nitro: {
        const bool nitro = vSpecialMove == VSpecialMove_Nitro;
        if (a < 0) {
            iBurstTimeLeft = 0;
            vSpecialMove = VSpecialMove_None;
        } else if (!nitro && Tap(a, 2) && CarAbility(NITRO_UPGRADE)) {
            vSpecialMove = VSpecialMove_Nitro;
            iBurstTimeLeft = 30;
        } else if (iBurstTimeLeft == 0) {
            vSpecialMove = VSpecialMove_None;
        } else {
            const float push = float(iBurstTimeLeft / 30 + 1) * (nitro ? 0.00232833f : 0.00116417f);
            TimeScaledApplyLocalForce(VectorDir(0.0f, 0.0f, push), VectorPos(0.0f, 0.0f, 0.0f));
            iBurstTimeLeft--;
        }
        return;
    }
    default:
        return;
    }

    // Start checks.
    const VectorXZ hd = Normalise(VectorXZ(mat.z[0], mat.z[2]));
    const float x = hd[0], z = hd[2];
    const bool hard = fabsf(steer) > kHardSteer;
    if (gear >= 1) {
        if (v > 0.06985f && Tap(a, 1)) {
            ButtonTapInfo& L = btiSteerLeft;
            ButtonTapInfo& R = btiSteerRight;
            if (CarAbility(TWOWHEEL_TRICK) && L.rgiLastEdgeTime[0] < R.rgiLastEdgeTime[1] &&
                R.rgiLastEdgeTime[1] < L.rgiLastEdgeTime[1] && L.rgiLastEdgeTime[1] - L.rgiLastEdgeTime[0] < 30 &&
                now - L.rgiLastEdgeTime[1] < 30) {
                vSpecialMove = VSpecialMove_TwoWheels_Left;
                iBurstTimeLeft = 300;
                L.rgiLastEdgeTime[0] = L.rgiLastEdgeTime[1] = 0;
            } else if (CarAbility(TWOWHEEL_TRICK) && R.rgiLastEdgeTime[0] < L.rgiLastEdgeTime[1] &&
                       L.rgiLastEdgeTime[1] < R.rgiLastEdgeTime[1] &&
                       R.rgiLastEdgeTime[1] - R.rgiLastEdgeTime[0] < 30 && now - R.rgiLastEdgeTime[1] < 30) {
                vSpecialMove = VSpecialMove_TwoWheels_Right;
                iBurstTimeLeft = 300;
                R.rgiLastEdgeTime[0] = R.rgiLastEdgeTime[1] = 0;
            } else if (v < fMaxCarSpeed * 0.5f &&
                       (CarAbility(DOWNSHIFT_BOOST) || (CarAbility(NITRO_UPGRADE) && Tap(a, 2)))) {
                const bool nitro = CarAbility(NITRO_UPGRADE) && Tap(a, 2);
                iBurstTimeLeft = 30;
                iLastPropelTime = now;
                vSpecialMove = nitro ? VSpecialMove_Nitro : VSpecialMove_Boost;
            }
        } else if (Tap(h, 1)) {
            if (CarAbility(FWD_180DEGREES) && v > kMoving && hard) {
                vSpecialMove = VSpecialMove_FrontSwitchBlade;
                vMiscSpecial = Vector(-x, 0.0f, -z, steer < 0.0f ? -1.0f : 1.0f);
                gear = s8(-std::min(int(gear), 2));
                iBurstTimeLeft = 90;
            }
        } else if ((hit & (BUT_TRIGGER_L2 | BUT_CIRCLE)) && a >= 0) {
            if (CarAbility(TURN90_DEGREES) && v > kMoving && hard) {
                vSpecialMove = VSpecialMove_90DegreeTurn;
                iBurstTimeLeft = 90;
                vMiscSpecial = steer < 0.0f ? Vector(-z, 0.0f, x, -1.0f) : Vector(z, 0.0f, -x, 1.0f);
            }
        } else if (Tap(b, 1)) {
            if (CarAbility(EMERGENCY_STOP) && v > kMoving && hard) {
                vSpecialMove = VSpecialMove_EmergencyStop;
                iBurstTimeLeft = 90;
                vMiscSpecial = steer < 0.0f ? Vector(-z, 0.0f, x, -1.0f) : Vector(z, 0.0f, -x, 1.0f);
            }
        }
    } else if (Tap(h, 1) && CarAbility(BACK_180DEGREES) && fabsf(v) > kMoving && hard) {
        vSpecialMove = VSpecialMove_BackSwitchBlade;
        vMiscSpecial = Vector(-x, 0.0f, -z, steer < 0.0f ? 1.0f : -1.0f);
        iBurstTimeLeft = 90;
        gear = s8(-gear);
    }
}

int Vehicle::PinVehicle(bool side)
{
    const VectorXZ hd = Normalise(VectorXZ(mat.z[0], mat.z[2]));
    const float x = hd[0], z = hd[2];
    const float alpha = side ? -2.35619f : 2.35619f;
    const float c = cosf(alpha), s = sinf(alpha);
    vMiscSpecial = Vector(c * x + s * z, 0.0f, -s * x + c * z, side ? -1.0f : 1.0f);
    vSpecialMove = VSpecialMove_BeingPinned;
    iBurstTimeLeft = 90;
    return 0;
}
