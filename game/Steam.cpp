// The steam vent and the steam burst.
#include "game/Steam.h"

#include <algorithm>

#include "ZevEngine2/World.h"
#include "game/LevelEntity.h"
#include "game/QuadTree.h"
#include "game/smoke.h"

namespace {

constexpr float kFramesPerSecond = 60.0f;
// The most puffs a vent lets out in one frame: a record asking for more
// (a rate of countless puffs a second) gives this many, so that a frame
// always ends.
constexpr float kMaxPuffsPerFrame = 60.0f;
// A vent's puffs rise (y is down).
const VectorDir kRise(0.0f, -1.0f / 384.0f, 0.0f);

}  // namespace

int SteamGenerator::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<SteamGenerator>();
    return static_cast<SteamGenerator*>(o)->mh(msg, data);
}

int SteamGenerator::mh(OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_CINEMAFRAME | OBJF_FRAMECALL;
        timer = 0.0f;
        // A vent of no puffs keeps rate 0 and emits nothing.
        rate = sgp.puffsPerSec > 0.0f ? std::max(kFramesPerSecond / sgp.puffsPerSec, 1.0f / kMaxPuffsPerFrame) : 0.0f;
        return 0;
    case OM_FRAME:
        if (rate <= 0.0f)
            return 0;
        timer += world.playbackSpeed;
        while (rate <= timer) {
            FogPuff_Spawn(sgp.rect.Random(), kRise, sgp.size);
            timer -= rate;
        }
        return 0;
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

int SteamBurst::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<SteamBurst>();
    return static_cast<SteamBurst*>(o)->mh(msg, data);
}

int SteamBurst::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        pending = false;
        timer = 0.0f;
        return 0;
    case OM_SPECIAL:
        if (static_cast<SpecialMessage*>(data)->submsg == SMSG_PATH_POINT_REACHED)
            timer = sbp.timer * kFramesPerSecond;
        return 0;
    case OM_FRAME:
        if (timer > 0.0f) {
            timer -= world.playbackSpeed;
            if (!pending && sbp.puffsPerSec > 0.0f) {
                rate = int(kFramesPerSecond / sbp.puffsPerSec);
                if (rate < 1)
                    rate = 1;
                world.StopTimer(this);
                world.SetTimer(this, AnimTime(u32(rate) << 8), nullptr);
                pending = true;
            }
        }
        return 0;
    case OM_TIMER: {
        const VectorDir forward(mat.z[0], mat.z[1], mat.z[2]);
        SteamPuff_Spawn(sbp.rect.Random(), forward * (sbp.speed / 192.0f), 1.0f);
        pending = false;
        return 0;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}
