// The trigger volumes a level places: the player-mode trigger, the camera
// zone and the enemy wave.  Each tests the player every 2 to 5 frames.
#include "game/GameFEnt.h"

#include "ZevEngine2/Utilities.h"
#include "game/Camera.h"
#include "game/QuadTree.h"

namespace {

// The next test 2 to 5 frames on: the top two bits of the 31-bit draw.
void Rearm(Object* o)
{
    world.SetTimer(o, AnimTime(u32(2 + (rand() >> 29)) << 8), nullptr);
}

bool Inside(const Extent* volumes, int n, VectorPos p)
{
    for (int i = 0; i < n; i++)
        if (volumes[i].IsValid() && volumes[i].Within(p))
            return true;
    return false;
}

template <class T>
int Create(OBJMESSAGEHANDLER mh)
{
    auto* t = new T;
    if (t != nullptr)
        t->messagehandler = mh;
    return int(reinterpret_cast<intptr_t>(t));
}

}  // namespace

const VectorPos TriggerInitPos(1e12f, 1e12f, 1e12f);

bool TriggerValid(const Extent& first, const Extent& second, int mode, VectorPos p, VectorPos last)
{
    const bool valid1 = first.IsValid(), valid2 = second.IsValid();
    const bool in1 = valid1 && first.Within(p), in2 = valid2 && second.Within(p);
    switch (mode) {
    case 0:
        return in1 || in2;
    case 1:
        return valid1 && valid2 && in1 && in2;
    case 2:
        if (!valid1 || !valid2)
            return in1 || in2;
        return in2 && !in1 && first.Within(last);
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------

int DaceModeTrigger::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return Create<DaceModeTrigger>(staticmh);
    return static_cast<DaceModeTrigger*>(o)->mh(msg, data);
}

int DaceModeTrigger::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_SPECIAL: {
        const auto* m = static_cast<SpecialMessage*>(data);
        if (m->submsg == SMSG_MODE_START)
            gameeventobj = m->obj;
        return 0;
    }
    case OM_TIMER: {
        Object* player = PlayerObject();
        if (player != nullptr && Inside(&dmtp.trigger1, 4, player->GetWorldPos())) {
            if (dmtp.task_exit != 0) {
                SendSpecial(gameeventobj, SMSG_MODE_FINISHED, this);
            } else {
                player->mat = mat;
                for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
                    Object* o = l->data;
                    if (o != nullptr && !o->IsDead() && o->type == OBJT_CAMERA)
                        SendSpecial(o, SMSG_CAM_CHECK_TRIGGERS);
                }
            }
        }
        Rearm(this);
        return 0;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

int DaceCamTrigger::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return Create<DaceCamTrigger>(staticmh);
    return static_cast<DaceCamTrigger*>(o)->mh(msg, data);
}

int DaceCamTrigger::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_SPECIAL: {
        const auto* m = static_cast<SpecialMessage*>(data);
        if (m->submsg == SMSG_MODE_START)
            gameeventobj = m->obj;
        return 0;
    }
    case OM_TIMER: {
        Object* player = PlayerObject();
        if (player != nullptr && Inside(&dctp.trigger1, 4, player->GetWorldPos()))
            SendSpecial(player, SMSG_PLAYER_SET_CAMERA, reinterpret_cast<Object*>(&dctp));
        Rearm(this);
        return 0;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

int EnemyWaveTrigger::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return Create<EnemyWaveTrigger>(staticmh);
    return static_cast<EnemyWaveTrigger*>(o)->mh(msg, data);
}

bool EnemyWaveTrigger::TriggerValid() const
{
    Object* player = PlayerObject();
    if (player == nullptr)
        return false;
    return ::TriggerValid(ewtp.trigger1, ewtp.trigger2, ewtp.triggermode, player->GetWorldPos(), lastdacepos);
}

void EnemyWaveTrigger::RaiseStage()
{
    if (gameeventobj == nullptr)
        return;
    if (SendSpecial(gameeventobj, SMSG_MODE_GET_STAGE) < ewtp.wave)
        SendSpecial(gameeventobj, SMSG_MODE_SET_STAGE, this, int(ewtp.wave));
}

int EnemyWaveTrigger::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        lastdacepos = TriggerInitPos;
        return 0;
    case OM_SPECIAL: {
        const auto* m = static_cast<SpecialMessage*>(data);
        if (m->submsg == SMSG_MODE_START)
            gameeventobj = m->obj;
        return 0;
    }
    case OM_TIMER: {
        Object* player = PlayerObject();
        const VectorPos here = player != nullptr ? player->GetWorldPos() : lastdacepos;
        if (lastdacepos == TriggerInitPos)
            lastdacepos = here;
        if (data == this) {
            RaiseStage();
        } else if (TriggerValid()) {
            if (ewtp.delay <= 0.0f)
                RaiseStage();
            else
                world.SetTimer(this, AnimTime(KVWorld::RecordFrames(ewtp.delay) << 8), this);
        } else {
            Rearm(this);
        }
        lastdacepos = here;
        return 0;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}
