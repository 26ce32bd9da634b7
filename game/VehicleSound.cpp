// A car's engine, horn and siren sounds, and the siren's flashing light.
// Every channel follows the car: its position pointer is the car's matrix
// row w.
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/modelfile.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

float g_fEngineScaleVolume = 0.34f;
const int riHornSounds[3] = {25, 24, 26};

namespace {

constexpr s16 kSirenLightId = 345;
constexpr int kSirenLightSlot = 159;

bool QuietEngines()
{
    return g_pgcTest != nullptr && g_pgcTest->mode == 11;
}

}  // namespace

// A channel of this car: it follows the car's position; the object it may
// have followed before is let go.
static void Follow(int ch, Vehicle* v)
{
    vchannel* c = sound.GetChannel(ch);
    if (c == nullptr)
        return;
    c->obj = nullptr;
    c->ppos = reinterpret_cast<VectorPos*>(&v->mat.w);
}

// The engine's fall-off: silent from 31.25 away, full volume at the car.
static void Falloff(int ch, float volume)
{
    vchannel* c = sound.GetChannel(ch);
    if (c == nullptr)
        return;
    c->minVol = 0.0f;
    c->minVolAt = 31.25f;
    c->maxVol = volume;
    c->maxVolAt = 0.0f;
}

void Vehicle::StopSFX(int* chan)
{
    if (*chan < 0)
        return;
    sound.Stop(*chan);
    sound.FreeChannel(*chan);
    *chan = -1;
}

void Vehicle::StopEngineSFX()
{
    for (int& c : enginesndchan)
        StopSFX(&c);
    StopSFX(&iSndHorn);
    StopSFX(&iSndSiren);
}

void Vehicle::PlayEngineSFX()
{
    const bool driver = HasDriver();
    const int id = DriverId();
    const bool player = driver && id == -1;
    const bool ai = !player;

    // 1. Start.
    if ((enginesndchan[0] == -1 || enginesndchan[1] == -1) && driver && fEngine > 0.0f) {
        if (enginesndchan[0] < 0) {
            const int ch = sound.AllocChannel(false);
            if (ch >= 0) {
                enginesndchan[0] = ch;
                sound.Play(ch, sndbank_car, ai ? 1 : 0);
                if (ai)
                    sound.SetDoppler(ch, true);
                Follow(ch, this);
                if (id < 0 && !QuietEngines()) {
                    const int ign = sound.AllocChannel(false);
                    if (ign >= 0) {
                        sound.Play(ign, sndbank_car, 3);
                        Follow(ign, this);
                    }
                    Object* events = PlayerEvents();
                    if (events != nullptr) {
                        SpecialMessage m(SMSG_EV_ENGINE_SFX, this);
                        events->SendMessage(OM_SPECIAL, &m);
                    }
                }
            }
        }
        if (player && enginesndchan[0] >= 0) {
            for (int i = 1; i <= 2; i++) {
                if (enginesndchan[i] >= 0)
                    continue;
                const int ch = sound.AllocChannel(false);
                if (ch < 0)
                    continue;
                enginesndchan[i] = ch;
                sound.Play(ch, sndbank_car, i == 1 ? 17 : 18);
                Follow(ch, this);
            }
        }
    } else if (!driver) {
        StopEngineSFX();
    }
    // 2. Engine.
    if (enginesndchan[0] >= 0) {
        if (player) {
            const float vol[3] = {g_fEngineScaleVolume, (fEngine * 0.5f + 0.5f) * g_fEngineScaleVolume,
                                  (fEngine * 0.25f + 0.25f) * g_fEngineScaleVolume};
            const float pitch[3] = {0.5f, fEngine * 1.6f + 0.5f,
                                    float(std::abs(int(gear))) * 0.125f + 0.125f + fEngine * 0.25f};
            for (int i = 0; i < 3; i++) {
                if (enginesndchan[i] < 0)
                    continue;
                sound.SetPitch(enginesndchan[i], pitch[i], 0.0f);
                sound.SetVolume(enginesndchan[i], vol[i], 0.0f);
                Falloff(enginesndchan[i], vol[i]);
            }
        } else {
            const float base = QuietEngines() ? 0.06125f : 0.125f;
            float volume = base;
            if (gear != 0 && !bPeelOut)
                volume = base * std::min(std::max(Length(vel.xyz()) * 21.4746f, 0.1f), 1.0f);
            sound.SetPitch(enginesndchan[0], fEngine * 0.5f + 0.35f, 0.0f);
            sound.SetVolume(enginesndchan[0], volume, 0.0f);
            Falloff(enginesndchan[0], volume);
        }
    }
    // 3. Horn.
    if (iSndHorn >= 0 && !bHorn)
        StopSFX(&iSndHorn);
    if (iSndHorn < 0 && bHorn) {
        const int ch = sound.AllocChannel(false);
        if (ch >= 0) {
            iSndHorn = ch;
            sound.Play(ch, sndbank_car, u16(riHornSounds[rvi[i16VehType].i8HornType]));
            if (ai)
                sound.SetDoppler(ch, true);
            Follow(ch, this);
        }
    }
    // 4. Siren.
    if (iSndSiren >= 0 && !bSiren)
        StopSFX(&iSndSiren);
    if (iSndSiren < 0 && bSiren && driver && id >= -199) {
        const int ch = sound.AllocChannel(false);
        if (ch >= 0) {
            iSndSiren = ch;
            const int t = i16VehType;
            sound.Play(ch, sndbank_car, t == 4 ? 27 : t == 16 ? 28 : t == 27 ? 30 : 29);
            if (ai)
                sound.SetDoppler(ch, true);
            Follow(ch, this);
        }
    }
}

int Vehicle::iSirenType()
{
    switch (i16VehType) {
    case 0:
    case 1:
    case 2:
    case 3:
        return 0;
    case 4:
        return 27;
    case 16:
        return 28;
    case 27:
        return 30;
    default:
        return -1;
    }
}

int Vehicle::EnableSiren()
{
    const NODE* body = mdlfile != nullptr && i16OrigIndex >= 0 && i16OrigIndex < mdlfile->nNodes
                           ? &mdlfile->nodes[i16OrigIndex]
                           : nullptr;
    const int t = i16VehType;
    Object* light = nullptr;
    NODE* mount = nullptr;
    if (t >= 0 && t <= 3 && body != nullptr) {
        // A portable light on the roof mount, from the resident model.
        mount = mdlfile->FindNode1(body->child, 0x8082);
        MDLFILE* mf = mount != nullptr ? g_GlobalMFI.GetMF(kSirenLightSlot, false) : nullptr;
        if (mf != nullptr)
            light = mf->GetHierarchy(0, sizeof(Object), GH_ANIMATE);
    } else if ((t == 4 || t == 16 || t == 27) && body != nullptr) {
        // The car's own light bar.
        NODE* bar = mdlfile->FindNodeById1(0, 4);
        mount = mdlfile->FindNode1(body->child, 0x8079);
        if (bar != nullptr && mount != nullptr) {
            light = mdlfile->GetHierarchy(u16(bar - mdlfile->nodes), sizeof(Object), GH_ANIMATE);
            if (light != nullptr)
                light->messagehandler = AnimLoopProc;
        }
    }
    if (light != nullptr) {
        light->id = kSirenLightId;
        Attach(light, mount);
        world.StartAnimating(light);
    }
    bSiren = true;
    return 1;
}

int Vehicle::DisableSiren()
{
    for (Object* c = child; c != nullptr; c = c->sibling) {
        if (c->id == kSirenLightId) {
            c->Detach();
            c->Delete();
            break;
        }
    }
    bSiren = false;
    return 1;
}
