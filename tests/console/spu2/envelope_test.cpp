#include <gtest/gtest.h>

#include "spu2/envelope.h"

namespace {

using console::spu2::Envelope;
using console::spu2::EnvelopePhase;
using console::spu2::kDefaultAdsr1;
using console::spu2::kDefaultAdsr2;

// ADSR1 from its fields.
uint16_t Adsr1(bool attack_exp, int attack_shift, int attack_step, int decay_shift, int sustain_level)
{
    return static_cast<uint16_t>((attack_exp ? 0x8000 : 0) | attack_shift << 10 | attack_step << 8 |
                                 decay_shift << 4 | sustain_level);
}

// ADSR2 from its fields.
uint16_t Adsr2(bool sustain_exp, bool sustain_down, int sustain_shift, int sustain_step, bool release_exp,
               int release_shift)
{
    return static_cast<uint16_t>((sustain_exp ? 0x8000 : 0) | (sustain_down ? 0x4000 : 0) | sustain_shift << 8 |
                                 sustain_step << 6 | (release_exp ? 0x20 : 0) | release_shift);
}

TEST(SpuEnvelope, DefaultEnvelopeIsFullInThreeSamplesAndHeld)
{
    ASSERT_EQ(kDefaultAdsr1, Adsr1(false, 0, 0, 0, 15));
    ASSERT_EQ(kDefaultAdsr2, Adsr2(false, false, 31, 3, false, 0));
    Envelope env;
    env.KeyOn();
    // Attack shift 0, step +7: 7 << 11 = 14336 every sample.
    env.Tick(kDefaultAdsr1, kDefaultAdsr2);
    EXPECT_EQ(env.Level(), 14336);
    env.Tick(kDefaultAdsr1, kDefaultAdsr2);
    EXPECT_EQ(env.Level(), 28672);
    env.Tick(kDefaultAdsr1, kDefaultAdsr2);
    EXPECT_EQ(env.Level(), 0x7FFF);
    // Sustain level (15 + 1) * 0x800 is above the peak: straight to sustain.
    EXPECT_EQ(env.Phase(), EnvelopePhase::kSustain);
    for (int i = 0; i < 48000; ++i)
        env.Tick(kDefaultAdsr1, kDefaultAdsr2);
    EXPECT_EQ(env.Level(), 0x7FFF);
    // Release shift 0, step -8: -16384 a sample.
    env.KeyOff();
    env.Tick(kDefaultAdsr1, kDefaultAdsr2);
    EXPECT_EQ(env.Level(), 0x7FFF - 16384);
    env.Tick(kDefaultAdsr1, kDefaultAdsr2);
    EXPECT_EQ(env.Level(), 0);
    EXPECT_EQ(env.Phase(), EnvelopePhase::kOff);
}

TEST(SpuEnvelope, ShiftsAboveElevenWaitAndBelowElevenScaleTheStep)
{
    const uint16_t adsr2 = kDefaultAdsr2;
    // Shift 13, step +7: a step of 7 every 1 << 2 = 4 samples.
    Envelope slow;
    slow.KeyOn();
    const uint16_t a13 = Adsr1(false, 13, 0, 0, 15);
    for (int i = 1; i <= 12; ++i) {
        slow.Tick(a13, adsr2);
        EXPECT_EQ(slow.Level(), (i / 4) * 7) << "sample " << i;
    }
    // Shift 9, step +4: 4 << 2 = 16 every sample.
    Envelope fast;
    fast.KeyOn();
    const uint16_t a9 = Adsr1(false, 9, 3, 0, 15);
    for (int i = 1; i <= 5; ++i)
        fast.Tick(a9, adsr2);
    EXPECT_EQ(fast.Level(), 80);
}

TEST(SpuEnvelope, ExponentialAttackSlowsAboveThreeQuarters)
{
    const uint16_t a = Adsr1(true, 11, 0, 0, 15);  // +7 every sample, then every 4 above 0x6000
    Envelope env;
    env.KeyOn();
    int ticks = 0;
    while (env.Level() <= 0x6000) {
        env.Tick(a, kDefaultAdsr2);
        ++ticks;
    }
    EXPECT_EQ(ticks, (0x6000 / 7) + 1);
    const int32_t at = env.Level();
    for (int i = 0; i < 3; ++i) {
        env.Tick(a, kDefaultAdsr2);
        EXPECT_EQ(env.Level(), at);
    }
    env.Tick(a, kDefaultAdsr2);
    EXPECT_EQ(env.Level(), at + 7);
}

TEST(SpuEnvelope, DecayFallsInProportionToTheLevelDownToTheSustainLevel)
{
    // Attack shift 0 (full in 3 samples), decay shift 4 (-8 << 7 = -1024
    // times level / 0x8000 each sample), sustain level (7 + 1) * 0x800.
    const uint16_t a = Adsr1(false, 0, 0, 4, 7);
    Envelope env;
    env.KeyOn();
    for (int i = 0; i < 3; ++i)
        env.Tick(a, kDefaultAdsr2);
    ASSERT_EQ(env.Phase(), EnvelopePhase::kDecay);
    int32_t before = env.Level();
    while (env.Phase() == EnvelopePhase::kDecay) {
        env.Tick(a, kDefaultAdsr2);
        const int32_t drop = before - env.Level();
        const int32_t expected = (1024 * before + 32767) / 32768;  // the scaled step, rounded away from 0
        EXPECT_EQ(drop, expected) << "from " << before;
        before = env.Level();
    }
    EXPECT_EQ(env.Phase(), EnvelopePhase::kSustain);
    EXPECT_LE(env.Level(), 0x4000);
    EXPECT_GT(env.Level(), 0x4000 - 1024);
}

TEST(SpuEnvelope, SustainCanFallToZeroWithoutEndingTheVoice)
{
    const uint16_t a = Adsr1(false, 0, 0, 0, 15);
    const uint16_t d = Adsr2(false, true, 0, 0, false, 0);  // sustain -8 << 11 a sample
    Envelope env;
    env.KeyOn();
    for (int i = 0; i < 10; ++i)
        env.Tick(a, d);
    EXPECT_EQ(env.Level(), 0);
    EXPECT_EQ(env.Phase(), EnvelopePhase::kSustain);
    EXPECT_TRUE(env.Active());
    env.KeyOff();
    env.Tick(a, d);
    EXPECT_EQ(env.Phase(), EnvelopePhase::kOff);
}

TEST(SpuEnvelope, ExponentialReleaseReachesZero)
{
    const uint16_t d = Adsr2(false, false, 31, 3, true, 8);  // -8 << 3 scaled by the level
    Envelope env;
    env.KeyOn();
    for (int i = 0; i < 3; ++i)
        env.Tick(kDefaultAdsr1, d);
    env.KeyOff();
    int ticks = 0;
    int32_t before = env.Level();
    while (env.Active() && ticks < 1'000'000) {
        env.Tick(kDefaultAdsr1, d);
        EXPECT_LT(env.Level(), before);
        before = env.Level();
        ++ticks;
    }
    EXPECT_FALSE(env.Active());
    EXPECT_EQ(env.Level(), 0);
}

}  // namespace
