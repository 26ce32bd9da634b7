// A car's engine layers, ignition, horn and siren on the sound system's
// channels, and their release.
#include "vehicle_support.h"

#include "game/Guy.h"

namespace {

using namespace vehtest;

class CarSound : public VehicleWorld
{
protected:
    static const vchannel& Chan(int h) { return *sound.GetChannel(h); }
    // Handles of the channels started on the car bank since `from` free
    // channels, by sound.
    static std::vector<int> Playing(u16 index)
    {
        std::vector<int> r;
        for (int i = 0; i < SOUND_VCHANNELS; i++) {
            const vchannel* c = sound.GetChannel(i);
            if ((c->flags & VCHAN_START) && c->curbank == sndbank_car && c->bankindex == index)
                r.push_back(i);
        }
        return r;
    }
};

// Listens for the player's game events.
struct Events : public Object
{
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg == OM_SPECIAL)
            static_cast<Events*>(o)->heard.push_back(static_cast<SpecialMessage*>(data)->submsg);
        return 0;
    }
    Events() : Object(mh) {}
    std::vector<int> heard;
};

TEST_F(CarSound, PlayersCarLayersThreeEnginesOneIgnitionAndTellsItsEvents)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    Guy* player = new Guy;
    player->id = -1;
    Events events;
    player->gameeventobj = &events;
    v->rcoDriver = player;
    v->fEngine = 0.5f;
    v->gear = 2;
    const size_t ignitions = Playing(3).size();
    v->PlayEngineSFX();
    for (int i = 0; i < 3; i++)
        ASSERT_GE(v->enginesndchan[i], 0) << i;
    EXPECT_EQ(Chan(v->enginesndchan[0]).bankindex, 0);
    EXPECT_EQ(Chan(v->enginesndchan[1]).bankindex, 17);
    EXPECT_EQ(Chan(v->enginesndchan[2]).bankindex, 18);
    EXPECT_EQ(Playing(3).size(), ignitions + 1);   // the ignition
    EXPECT_EQ(events.heard, std::vector<int>{SMSG_EV_ENGINE_SFX});
    // Every channel follows the car.
    for (int c : v->enginesndchan)
        EXPECT_EQ(Chan(c).ppos, reinterpret_cast<VectorPos*>(&v->mat.w));
    // The layers' pitch and loudness follow the engine and the gear.
    EXPECT_FLOAT_EQ(Chan(v->enginesndchan[1]).volume, (0.5f * 0.5f + 0.5f) * 0.34f);
    EXPECT_EQ(Chan(v->enginesndchan[2]).maxVol, (0.5f * 0.25f + 0.25f) * 0.34f);
    EXPECT_EQ(Chan(v->enginesndchan[0]).minVolAt, 31.25f);
    // Started once: another round starts nothing new.
    v->PlayEngineSFX();
    EXPECT_EQ(Playing(3).size(), ignitions + 1);
    EXPECT_EQ(events.heard.size(), 1u);
    // Gone with the car: no channel held.
    const int free = sound.NumFreeChannels();
    v->bHorn = true;
    v->PlayEngineSFX();
    EXPECT_EQ(sound.NumFreeChannels(), free - 1);
    cars.clear();
    v->Delete();
    EXPECT_EQ(sound.NumFreeChannels(), free + 3);
    player->Delete();
}

TEST_F(CarSound, TrafficEngineIsQuietestStandingAndSlowInGear)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    Driver ai(7);
    v->rcoDriver = &ai;
    v->fEngine = 0.2f;
    v->gear = 0;
    const size_t ignitions = Playing(3).size();
    v->PlayEngineSFX();
    ASSERT_GE(v->enginesndchan[0], 0);
    EXPECT_EQ(v->enginesndchan[1], -1);
    const vchannel& c = Chan(v->enginesndchan[0]);
    EXPECT_EQ(c.bankindex, 1);
    EXPECT_TRUE(c.flags & VCHAN_DOPPLER);
    EXPECT_EQ(c.volume, 0.125f);
    EXPECT_EQ(Playing(3).size(), ignitions);   // no ignition for traffic
    // Slow in gear: a tenth.
    v->gear = 1;
    v->vel = Vector(0.0f, 0.0f, 0.001f, 0.0f);
    v->PlayEngineSFX();
    EXPECT_FLOAT_EQ(c.volume, 0.0125f);
    // During a cinematic drive half as loud.
    GameController gc;
    g_pgcTest = &gc;
    gc.mode = 11;
    v->gear = 0;
    v->PlayEngineSFX();
    EXPECT_EQ(c.volume, 0.06125f);
    g_pgcTest = nullptr;
    // The driver gone: all channels stop.
    v->rcoDriver = nullptr;
    v->PlayEngineSFX();
    EXPECT_EQ(v->enginesndchan[0], -1);
}

TEST_F(CarSound, HornsAndSirensByTypeAndDriver)
{
    CarFile f(0), police(27);
    Driver ai(7);
    Vehicle* v = Make(f, 4);   // horn type 2, siren 27
    v->rcoDriver = &ai;
    v->bHorn = true;
    v->bSiren = true;
    v->PlayEngineSFX();
    ASSERT_GE(v->iSndHorn, 0);
    ASSERT_GE(v->iSndSiren, 0);
    EXPECT_EQ(Chan(v->iSndHorn).bankindex, riHornSounds[2]);
    EXPECT_EQ(Chan(v->iSndSiren).bankindex, 27);
    v->bHorn = false;
    v->PlayEngineSFX();
    EXPECT_EQ(v->iSndHorn, -1);
    // A driver id below -199 gets no siren sound.
    Driver cine(-200);
    Vehicle* p = Make(police, 27);
    p->rcoDriver = &cine;
    p->bSiren = true;
    p->PlayEngineSFX();
    EXPECT_EQ(p->iSndSiren, -1);
    p->rcoDriver = &ai;
    p->PlayEngineSFX();
    ASSERT_GE(p->iSndSiren, 0);
    EXPECT_EQ(Chan(p->iSndSiren).bankindex, 30);
    // The cruiser's light bar goes on its mount; off, it goes.
    EXPECT_EQ(p->EnableSiren(), 1);
    Object* light = nullptr;
    for (Object* c = p->child; c != nullptr; c = c->sibling)
        if (c->id == 345)
            light = c;
    ASSERT_NE(light, nullptr);
    EXPECT_TRUE(light->flags & OBJF_SELFANIMATING);
    EXPECT_EQ(p->DisableSiren(), 1);
    EXPECT_FALSE(p->bSiren);
    for (Object* c = p->child; c != nullptr; c = c->sibling)
        EXPECT_NE(c->id, 345);
    // Without a light to take down it still switches off.
    EXPECT_EQ(v->DisableSiren(), 1);
    EXPECT_FALSE(v->bSiren);
    EXPECT_EQ(v->iSirenType(), 27);
    EXPECT_EQ(Make(f, 2)->iSirenType(), 0);
    EXPECT_EQ(Make(f, 16)->iSirenType(), 28);
    EXPECT_EQ(Make(f, 5)->iSirenType(), -1);
    v->rcoDriver = nullptr;
    p->rcoDriver = nullptr;
}

}  // namespace
