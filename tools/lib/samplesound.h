// Generated sounds of the sample disc beyond the chime and the music: the
// game's effect banks and the player's voice lines with the radio's lead-ins
// and tails.  Every sound is computed from its bank and index alone (a
// seeded generator for the noise), so the same build gives the same bytes.
#pragma once

#include <ee/types.h>

#include <string>
#include <vector>

namespace tools {

// Effects and voices play at this rate.
constexpr u32 kEffectRate = 22050;

// The effect banks: file name below DemoData/Vags and sample count.
struct EffectBank
{
    const char* file;
    int samples;
};
constexpr EffectBank kEffectBanks[] = {
    {"SND_COMB.SND", 18}, {"SND_DEST.SND", 37}, {"SND_VO.SND", 17}, {"SND_GUN.SND", 23}, {"SND_CAR.SND", 34},
};

// Sample `index` of effect bank `bank` (an index of kEffectBanks): the gun
// bank's own sounds (below) where it has one, SND_COMB's sample 3 a grapple
// (a low thud under a scrape), otherwise a struck tone, a noise burst or a
// pitch sweep of its own, 0.06 to 0.15 seconds long.  The whiz, SND_GUN's
// sample 20, is a falling sweep that swells and fades.
std::vector<int16_t> SampleEffect(int bank, int index);
std::vector<int16_t> SampleWhiz();
// The gun bank (kEffectBanks row kGunBank) has sounds for what the guns and
// their bullets do: 0-3 ricochets (a crack and a falling whine), 4 a bullet
// into something soft (a dull thud), 5 into something hard (a bright
// crack), 6-9 pistol shots, 12-15 automatic shots (clipped short), 16 and
// 17 shotgun shots (lower, longer), 19 a case landing (a high clink), 20
// the whiz, 21 the grenade launcher (a thump), 22 a grenade's clank.  Empty
// for the indexes no gun uses.
constexpr int kGunBank = 3;
std::vector<int16_t> SampleGunSound(int index);
std::vector<int16_t> SampleGrapple();

// The car bank's sounds that loop while a car plays them: the three engine
// layers (0, 17, 18), the skid (2), the horns (24..26) and the sirens
// (27..30); sample 1 is the traffic's engine.  Sample 20, a motor's hum,
// loops too: the car lift's climb and the driving course's walking targets
// hold it until they stop it.
bool CarSampleLoops(int index);
constexpr int kCarBank = 4;
// The car bank's sounds of their own (empty for the others): the car
// lift's 19 (its gears taking hold at the bottom), 20 (the motor's hum, a
// whole number of its waves in a whole number of blocks so that it loops
// without a seam), 21 (the stop at the top), 22 (the catch letting go) and
// 23 (the platform hitting bottom); 27 the ambulance's siren, two tones
// of half a second each, high then low, looping.
std::vector<int16_t> SampleCarSound(int index);
// The bank file of effect bank `bank` (an index of kEffectBanks).
bool BuildEffectBank(int bank, std::vector<u8>& out, std::string& error);
// The interface bank's sounds 1 to 10 (sound 0 is the chime): 1 a tick
// for a changed value, 2 a falling pair for a closed menu, 3 a low strike
// for the pause, 4 to 6 short blips nothing plays, 7 to 10 the projector's
// noises (a motor's whirr, a clack, a rattle, a tick of the gate).
std::vector<int16_t> SampleInterface(int index);

// A spoken line stand-in: syllables of a voiced buzz through two formants,
// its pitch and vowels chosen by `seed`, 0.13 seconds a syllable.
std::vector<int16_t> SampleVoiceLine(int seed, int syllables = 3);
// The radio's lead-in (a click and a burst of static) and tail (a squelch),
// variant n.
std::vector<int16_t> SampleRadioLeadIn(int n);
std::vector<int16_t> SampleRadioTail(int n);

}  // namespace tools
