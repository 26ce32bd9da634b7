// The motion library of the humanoid rig: clip generators (walking and
// running with root motion in the root bundle, idles, strikes with their
// contact events, hits, falls, car transitions that meet the sample cars'
// doors and seats, gun poses and gestures), a catalogue that lists a group's
// clips row by row, and the group builder that writes a group's animation
// file and its sound bank of footsteps and cloth.
//
// Every clip drives all 22 bones of the rig (bundle id = the bone's
// animation id);
// sound keys name samples of the group's own bank.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "tools/lib/aniwrite.h"
#include "tools/lib/humanoid.h"

namespace tools {

enum MotionGenerator
{
    kMotionWalk,
    kMotionRun,
    kMotionIdle,
    kMotionStrike,
    kMotionHit,
    kMotionFall,
    kMotionCarGetIn,
    kMotionCarGetOut,
    kMotionGunPose,
    kMotionGesture,
    kMotionLeap,   // a spring forward, both arms thrown ahead; hurts nobody
    kMotionKick,   // a leg thrown out ahead, the foot leading
};

// Events the game's animation handlers read.
constexpr u16 kEventStrikeOn = 29;    // the striking limb starts to hurt
constexpr u16 kEventStrikeOff = 30;   // and stops

// Samples of a group's sound bank.
enum GroupSound : u16
{
    kSoundFootLeft,
    kSoundFootRight,
    kSoundCloth,
    kGroupSounds,
};

struct MotionParams
{
    float speed = 0.0f;       // root motion, units per frame (walks and runs)
    float amount = 1.0f;      // size of the swing, 1 = the library's usual
    bool left = false;        // which side (strikes, car doors, gestures)
    float sideways = 0.0f;    // root motion to the figure's right (+x), units per frame
    // Where the clip stands: its root path starts at `from` and the figure
    // faces `facing` radians about the vertical (a scene places its actors
    // by their clips).
    VectorXYZ from{0.0f, 0.0f, 0.0f};
    float facing = 0.0f;
};

struct ClipEvent
{
    u16 time;
    u16 event;
};
struct ClipSound
{
    u16 time;
    u16 sound;   // a GroupSound
};

// One clip of a catalogue: the index the game's table knows it by.
struct ClipRow
{
    int index;
    MotionGenerator generator;
    MotionParams params;
    u16 length;
    bool loop;
    std::vector<ClipEvent> events;
    std::vector<ClipSound> sounds;
    int strikeBone = kBoneRoot;   // the bundle that carries 29 and 30
    int keyStep = 0;              // frames between keys; 0 the library's usual
};

// The clip of a row for a figure; its events and sounds ride on the root
// bundle, 29 and 30 on the row's striking bone.  Strikes and kicks without
// events of their own get 29/30 at contact.  A strike throws its arm out
// straight ahead and a kick its leg, each stepping in and back, so that the
// fist or foot meets a foe who stands within fighting reach in front.
AniChar GenerateClip(const ClipRow& row, const HumanoidLook& figure);

struct AnimGroupFiles
{
    std::vector<u8> ani;   // the .ANI file: clip i is the row of index i
    std::vector<u8> snd;   // the group's Vags\<base>.SND bank
};

// Writes a group: clip k of the file is the row whose index is k.  Refused
// with a message when two rows share an index, an index is negative, or any
// index below tableSize (the game table's entries) has no row.
bool BuildAnimGroup(const std::vector<ClipRow>& catalogue, int tableSize, const HumanoidLook& figure,
                    AnimGroupFiles& out, std::string& error);

// A group's rows, added by index; Finish fills every index not given with
// a short standing clip and orders the rows.
class Catalogue
{
public:
    // mark: an event put beside a blow's hurting start (0: none).
    Catalogue(u16 mark, int size) : size(size), mark(mark) {}

    // Blows added from here on strike with a hand: their 29 and 30 ride on
    // the striking hand's bundle, so the event names the limb that hurts.
    Catalogue& StrikeWithHands()
    {
        hands = true;
        return *this;
    }

    Catalogue& Clip(int index, MotionGenerator g, u16 length, bool loop, MotionParams p = {},
                    std::vector<ClipEvent> events = {})
    {
        rows.push_back({index, g, p, length, loop, std::move(events), {}});
        return *this;
    }
    Catalogue& Loop(int index, MotionGenerator g, u16 length, MotionParams p = {})
    {
        return Clip(index, g, length, true, p);
    }
    Catalogue& Once(int index, MotionGenerator g, u16 length, std::vector<ClipEvent> events = {}, MotionParams p = {})
    {
        return Clip(index, g, length, false, p, std::move(events));
    }
    // A blow: it hurts from a third of the way in to half way (the mark
    // there), with the extras given.
    Catalogue& Blow(int index, u16 length, bool left, std::vector<ClipEvent> extra = {}, float amount = 1.0f)
    {
        Clip(index, kMotionStrike, length, false, {0.0f, amount, left}, BlowEvents(length, std::move(extra)));
        if (hands)
            rows.back().strikeBone = left ? kBoneLeftHand : kBoneRightHand;
        return *this;
    }
    // A kick: timed as a blow, its 29 and 30 on the kicking foot's bundle.
    Catalogue& Kick(int index, u16 length, bool left, std::vector<ClipEvent> extra = {}, float amount = 1.0f)
    {
        Clip(index, kMotionKick, length, false, {0.0f, amount, left}, BlowEvents(length, std::move(extra)));
        rows.back().strikeBone = left ? kBoneLeftFoot : kBoneRightFoot;
        return *this;
    }
    Catalogue& Gait(int index, MotionGenerator g, float speed, u16 length, bool loop = true, std::vector<ClipEvent> ev = {})
    {
        return Clip(index, g, length, loop, {speed, speed < 0.0f ? -1.0f : 1.0f, false}, std::move(ev));
    }
    // A looping step sideways: right > 0 carries the figure to its right
    // (+x), right < 0 to its left.
    Catalogue& SideStep(int index, float right, u16 length)
    {
        return Clip(index, kMotionWalk, length, true, {0.0f, 1.0f, right < 0.0f, right});
    }

    std::vector<ClipRow> Finish()
    {
        std::vector<bool> have(size_t(size), false);
        for (const ClipRow& r : rows)
            if (r.index >= 0 && r.index < size)
                have[size_t(r.index)] = true;
        for (int i = 0; i < size; i++)
            if (!have[size_t(i)])
                rows.push_back({i, kMotionIdle, {0.0f, 0.5f, false}, 30, false, {}, {}});
        std::stable_sort(rows.begin(), rows.end(), [](const ClipRow& a, const ClipRow& b) { return a.index < b.index; });
        return rows;
    }

private:
    std::vector<ClipEvent> BlowEvents(u16 length, std::vector<ClipEvent> extra) const
    {
        const u16 on = u16(0.35f * length), off = u16(0.5f * length);
        std::vector<ClipEvent> ev = {{on, kEventStrikeOn}};
        if (mark != 0)
            ev.push_back({on, mark});
        ev.push_back({off, kEventStrikeOff});
        for (ClipEvent e : extra)
            ev.push_back(e);
        std::stable_sort(ev.begin(), ev.end(), [](ClipEvent a, ClipEvent b) { return a.time < b.time; });
        return ev;
    }

    int size;
    u16 mark;
    bool hands = false;
    std::vector<ClipRow> rows;
};


}  // namespace tools
