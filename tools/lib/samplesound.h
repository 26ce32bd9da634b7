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

// Sample `index` of effect bank `bank` (an index of kEffectBanks): a struck
// tone, a noise burst or a pitch sweep of its own, 0.06 to 0.15 seconds
// long.  SND_GUN's sample 20 is a bullet's whiz (a falling sweep that
// swells and fades) and SND_COMB's sample 3 a grapple (a low thud under a
// scrape).
std::vector<int16_t> SampleEffect(int bank, int index);
std::vector<int16_t> SampleWhiz();
std::vector<int16_t> SampleGrapple();

// The interface bank's sounds 1 to 10 (sound 0 is the chime): 1 a tick
// for a changed value, 2 a falling pair for a closed menu, 3 a low strike
// for the pause, 4 to 6 short blips nothing plays, 7 to 10 the projector's
// noises (a motor's whirr, a clack, a rattle, a tick of the gate).
std::vector<int16_t> SampleInterface(int index);

// A spoken line stand-in: syllables of a voiced buzz through two formants,
// its pitch and vowels chosen by `seed`, about 0.4 seconds.
std::vector<int16_t> SampleVoiceLine(int seed);
// The radio's lead-in (a click and a burst of static) and tail (a squelch),
// variant n.
std::vector<int16_t> SampleRadioLeadIn(int n);
std::vector<int16_t> SampleRadioTail(int n);

}  // namespace tools
