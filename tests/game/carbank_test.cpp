// The car bank the game loads from the sample disc, heard through the sound
// module as the car lift and the ambulance's siren play it: the lift's five
// sounds in the order of its trip, its motor humming all the way up, and the
// siren wailing high and low until it is gone.
#include "ZevEngine2/PS2/soundstream_support.h"
#include "ZevEngine2/PS2/stream_disc.h"
#include "game/explode_support.h"

#include "tools/lib/samplesound.h"

#include <functional>
#include <vector>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Utilities.h"
#include "game/controller_support.h"
#include "game/GameModes.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/TunnelGrate.h"

namespace {

class CarBank : public streamsound::StreamSoundTest
{
protected:
    void SetUp() override
    {
        StreamSoundTest::SetUp();
        world.Clear();
        world.playbackSpeed = 1.0f;
        gametest::Controller();
        savedBank = sndbank_car;
        std::vector<u8> bank;
        std::string error;
        ASSERT_TRUE(tools::BuildEffectBank(tools::kCarBank, bank, error)) << error;
        Start({{"DemoData/Vags/SND_CAR.SND", bank, "test"}});
        sndbank_car = sound.LoadSoundBank("KORVALIS\\DemoData\\Vags\\SND_CAR.SND", true);
        ASSERT_NE(sndbank_car, 0xFFFF);
    }
    void TearDown() override
    {
        world.Clear();
        sndbank_car = savedBank;
        StreamSoundTest::TearDown();
    }
    // One displayed frame with a world tick (after `first`); the car-bank
    // sounds started in it are noted.
    void Tick(const std::function<void()>& first = nullptr)
    {
        Frame([&] {
            if (first)
                first();
            world.Update();
            for (int i = 0; i < SOUND_VCHANNELS; i++) {
                const vchannel* c = sound.GetChannel(i);
                if ((c->flags & VCHAN_START) && c->curbank == sndbank_car)
                    started.push_back(c->bankindex);
            }
        });
    }
    // The loudest of the tones in a window of 0.1 s ending at sample `at`.
    double ToneBefore(const std::vector<double>& x, size_t at, double hz)
    {
        return streamsound::ToneAt(x, at - 4800, 4800, hz);
    }

    unsigned short savedBank = 0xFFFF;
    std::vector<int> started;
};

TEST_F(CarBank, TheLiftPlaysItsTripAndItsMotorHumsAllTheWayUp)
{
    auto* lift = reinterpret_cast<CarLift*>(intptr_t(CarLift_mh(nullptr, OM_CREATE, nullptr)));
    lift->mat = TransMatrix(0.0f, -2.0f, 0.0f);
    world.AddObject(lift, nullptr);
    // A character steps on facing out from its middle: the catch lets go.
    auto* walker = new (Object::operator new(sizeof(explodetest::Listener))) explodetest::Listener;
    walker->messagehandler = explodetest::Listener::mh;
    walker->type = OBJT_CHARACTER;
    walker->mat = TransMatrix(VectorPos(0.6f, -2.0f, 0.8f));
    CollSphereEnd ball(MakeCollisionID(1, 1), Sphere(VectorPos(0, 0, 0), 1.0f));
    CollisionRecord cr(lift, walker);
    cr.Set(ball.Chain(), ball.Chain(), lift, walker);
    cr.SaveMatrix(lift->GetWorldMatrix(), walker->GetWorldMatrix());
    Tick();
    Tick([&] { lift->SendMessage(OM_COLLISION, &cr); });
    ASSERT_EQ(lift->mode, 1);
    while (lift->mode != 3 && world.time < 1000)
        Tick();
    ASSERT_EQ(lift->mode, 3);
    const int chan = lift->carliftsfxchan;
    ASSERT_GE(chan, 0);
    // The climb takes 181 frames; the motor's half-second sound plays on
    // for all of them.
    while (lift->mode == 3 && world.time < 1400) {
        Tick();
        if (lift->mode == 3)
            ASSERT_TRUE(sound.IsPlaying(chan)) << "frame " << world.time;
    }
    EXPECT_EQ(lift->mode, 0);
    EXPECT_EQ(started, (std::vector<int>{22, 23, 19, 20, 21}));
    const std::vector<double> x = Left();
    const size_t top = NowSample();
    // Just before the top: the hum's 100 Hz, loud.
    EXPECT_GT(ToneBefore(x, top - 4800, 22050.0 * 50 / 11032), 1000.0);
    // Stopped at the top: once the clank has died away, nothing.
    for (int i = 0; i < 50; i++)
        Tick();
    const std::vector<double> after = Left();
    EXPECT_EQ(LongestSilence(after, NowSample() - 4800, NowSample()), 4800u);
    walker->Delete();
}

TEST_F(CarBank, TheSirenWailsHighAndLowUntilItIsGone)
{
    auto* a = reinterpret_cast<AmbulanceSound*>(
        intptr_t(AmbulanceSound::AmbulanceSound_mh(nullptr, OM_CREATE, nullptr)));
    Tick([&] { world.AddObject(a, nullptr); });
    const int chan = a->iSoundChan;
    ASSERT_GE(chan, 0);
    // Up over 120 frames, down over 120: still sounding two seconds in,
    // long past its half-second of tones.
    for (int i = 0; i < 130; i++)
        Tick();
    EXPECT_TRUE(sound.IsPlaying(chan));
    EXPECT_EQ(started, std::vector<int>{27});
    // Over one second (two halves of 0.5 s each), both tones ring.
    const std::vector<double> x = Left();
    const size_t now = NowSample();
    const double high = 22050.0 * 240 / 5516, low = 22050.0 * 193 / 5516;
    double bestHigh = 0, bestLow = 0;
    for (size_t at = now - 48000 + 4800; at <= now; at += 2400) {
        bestHigh = std::max(bestHigh, ToneBefore(x, at, high));
        bestLow = std::max(bestLow, ToneBefore(x, at, low));
    }
    EXPECT_GT(bestHigh, 1000.0);
    EXPECT_GT(bestLow, 1000.0);
    // "About 120 up, 120 down": each half runs from 120 in 7-frame steps
    // until it reaches 0 or below, 18 steps (126 frames); 36 steps in all,
    // then it is gone, 252 frames after it was added (about 240).
    auto present = [&] {
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            if (!l->data->IsDead() && l->data->messagehandler == &AmbulanceSound::AmbulanceSound_mh)
                return true;
        return false;
    };
    int frames = 131;
    while (present() && frames < 400) {
        Tick();
        frames++;
    }
    EXPECT_EQ(frames, 36 * 7);
    for (int i = 0; i < 10; i++)
        Tick();
    const std::vector<double> after = Left();
    EXPECT_EQ(LongestSilence(after, NowSample() - 4800, NowSample()), 4800u);
}

}  // namespace
