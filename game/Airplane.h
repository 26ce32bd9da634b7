// Placed aircraft that run along paths of their own: the jet taxis, rolls
// for take-off when it reaches its trigger, lifts off and flies away, while
// the aircraft following it wait until its triggers send them rolling.
// Shot down on the ground an aircraft brakes, explodes and reports the game
// won; the jet airborne or at the end of its path reports it lost.
#pragma once

#include "ZevEngine2/Object.h"
#include "game/EntParams.h"

class CollisionRecord;
class Spline;

class Airplane : public Object
{
public:
    // Its states; the jet is planetype 0, any other is a following aircraft.
    enum {
        AM_FOLLOWER_WAITING = -2,
        AM_FOLLOWER_NEW = -1,
        AM_TAXIING = 0,
        AM_ROLLING = 1,
        AM_SHOT_DOWN = 5,
        AM_AIRBORNE = 6,
    };
    // Record speeds to world units a frame, and the roll's and the
    // braking's accelerations a frame.
    static constexpr float kSpeedUnit = 0.002328333f;
    static constexpr float kAccelUnit = 0.000038805552f;
    static constexpr float kBrakeUnit = 0.00015522221f;
    static constexpr float kLiftOff = 0.3125f;        // the climb that makes it airborne
    static constexpr float kInvulnerable = 1000.0f;
    // Timer data: explode, report the shoot-down, report the escape.
    enum { TIMER_EXPLODE = 100, TIMER_DOWNED = 101, TIMER_ESCAPED = 102 };
    // The aircraft its triggers wake.
    static constexpr int kWokenByTrigger2 = -169;
    static constexpr int kWokenByTrigger3 = -168;

    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void UpdateEngineSound();
    int Collide(CollisionRecord& cr);

    Airplane_params app;
    Spline* pSpline;       // world-space path; owned
    float fLastT;          // path parameter; -1 until put on the path
    float fLastTVel;
    float fLastVel;
    float fGroundLevel;
    s32 iTriggeredFlags;   // bit 0: -169 woken; bit 1: -168 woken
    s32 iSound;
    float fStrength;

private:
    void Init();
    int Frame();
    int Timer(int kind);
    int Special(SpecialMessage* m);
    void PutOnPath();
    void Advance(float speed);
    void LiftOff();
    bool Jet() const { return app.planetype == 0; }
};

int Airplane_mh(Object* obj, OBJMESSAGE msg, void* data);
