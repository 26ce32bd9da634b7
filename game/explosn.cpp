// Explosions: the light flash.
#include "game/explosn.h"

#include "ZevEngine2/light.h"
#include "game/QuadTree.h"
#include "game/TestPart.h"

Object* LightFlash_Create(Colour _colour, float _range, Object* _followObj, float _timeOut)
{
    LightFlash* f = new LightFlash;
    if (f == nullptr)
        return nullptr;
    f->messagehandler = LightFlash::LightFlash_mh;
    f->colour = _colour;
    f->range = _range;
    f->followObj = _followObj;
    f->timeOut = _timeOut;
    if (!world.AddObject(f, nullptr)) {
        f->Delete();
        return nullptr;
    }
    return f;
}

int LightFlash::Init()
{
    // Nothing to follow: nowhere to light, so no frame calls.
    if (followObj != nullptr)
        flags |= OBJF_FRAMECALL;
    timer = 0.0f;
    return 0;
}

int LightFlash::Update()
{
    if (followObj == nullptr || followObj->IsDead()) {
        followObj = nullptr;
        Delete();
        return 0;
    }
    // A byte of 0x40 is a light of 1.0: 0x80 lights at twice full strength.
    VectorXYZ c(float(colour.r) * 0.015625f, float(colour.g) * 0.015625f, float(colour.b) * 0.015625f);
    if (timeOut > 0.0f) {
        timer += 1.0f;
        if (timer >= timeOut) {
            followObj = nullptr;
            Delete();
            return 0;
        }
        c = c * ((timeOut - timer) / timeOut);
    }
    Light light;
    light.SetColour(c);
    light.SetPos(followObj->GetWorldPos());
    light.SetPointLight(range, false);
    AddLight(light);
    return 0;
}

int LightFlash::LightFlash_mh(Object* obj, OBJMESSAGE msg, void*)
{
    return EffectObjectMessage<LightFlash>(obj, msg, LightFlash_mh);
}
