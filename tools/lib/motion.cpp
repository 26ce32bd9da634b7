// The motion library and the group builder (see motion.h).
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/lib/adpcm.h"
#include "tools/lib/mdlgroup.h"
#include "tools/lib/motion.h"
#include "tools/lib/samplesound.h"

namespace tools {

namespace {

constexpr float kPi = 3.1415927f;
constexpr int kKeyStep = 5;   // frames between rotation keys

struct Pose
{
    VectorXYZ ang[kHumanoidBones];   // Euler angles per bone
    VectorXYZ root;                  // root position
};

float Smooth(float u) { return u * u * (3.0f - 2.0f * u); }

constexpr float kHalfPi = 1.5707964f;
// How far a strike and a kick carry the body in, as parts of its height.
constexpr float kStrikeStep = 0.4f;
constexpr float kKickStep = 0.25f;

// A blow's reach over its clip: out from 0 to full at kBlowPeak of the clip
// (the end of the time it hurts, from 0.35 on), then back.
constexpr float kBlowPeak = 0.5f;
float StrikeCurve(float u)
{
    return u < kBlowPeak ? Smooth(u / kBlowPeak) : 1.0f - Smooth((u - kBlowPeak) / (1.0f - kBlowPeak));
}

// Rest pose with the root at its place after u of the clip.
Pose PoseAt(const ClipRow& row, float u, const HumanoidLook& fig)
{
    Pose p;
    for (VectorXYZ& a : p.ang)
        a = VectorXYZ(0, 0, 0);
    p.root = VectorXYZ(0, 0, 0);
    const MotionParams& m = row.params;
    const float t = u * float(row.length);
    const float ph = 2.0f * kPi * u;
    const int arm = m.left ? kBoneLeftUpperArm : kBoneRightUpperArm;
    switch (row.generator) {
    case kMotionWalk:
    case kMotionRun: {
        const bool run = row.generator == kMotionRun;
        const float swing = (run ? 0.8f : 0.45f) * m.amount;
        // A step sideways opens and closes the legs instead of swinging them.
        const int legAxis = m.speed == 0.0f && m.sideways != 0.0f ? 2 : 0;
        p.ang[kBoneLeftThigh][legAxis] = -swing * std::sin(ph);
        p.ang[kBoneRightThigh][legAxis] = swing * std::sin(ph);
        p.ang[kBoneLeftShin][0] = swing * std::max(0.0f, std::sin(ph + kPi * 0.5f));
        p.ang[kBoneRightShin][0] = swing * std::max(0.0f, -std::sin(ph + kPi * 0.5f));
        p.ang[kBoneLeftUpperArm][0] = 0.6f * swing * std::sin(ph);
        p.ang[kBoneRightUpperArm][0] = -0.6f * swing * std::sin(ph);
        p.ang[kBoneLeftLowerArm][0] = p.ang[kBoneRightLowerArm][0] = run ? -1.2f : -0.2f;
        p.ang[kBoneTorso][0] = run ? 0.15f : 0.03f;
        p.root = VectorXYZ(m.sideways * t, -0.02f * std::fabs(std::sin(ph)) * HumanoidStature(fig), m.speed * t);
        break;
    }
    case kMotionIdle:
        p.ang[kBoneTorso][0] = 0.03f * m.amount * std::sin(ph);
        p.ang[kBoneHead][1] = 0.1f * m.amount * std::sin(ph * 0.5f);
        p.ang[kBoneLeftUpperArm][2] = -0.08f;
        p.ang[kBoneRightUpperArm][2] = 0.08f;
        break;
    case kMotionStrike: {
        // Wind up, strike out at 0.4 of the clip, recover: the arm swings up
        // from the guard (the elbow bent) to straight ahead at the
        // shoulder's height, the striking shoulder turned forward, the body
        // stepping in and back again.
        const float s = StrikeCurve(u);
        p.ang[arm][1] = -(kHalfPi + 0.15f * (m.amount - 1.0f)) * s;
        p.ang[arm + 1][1] = -1.4f * (1.0f - s);
        p.ang[kBoneTorso][1] = (m.left ? 0.4f : -0.4f) * s;
        p.root = VectorXYZ(0, 0, m.speed * t + kStrikeStep * HumanoidStature(fig) * s);
        break;
    }
    case kMotionKick: {
        // The thigh lifts, the knee bent, and the leg is thrown out straight
        // ahead at the hip's height as the body steps in; then back.
        const float s = StrikeCurve(u);
        const int thigh = m.left ? kBoneLeftThigh : kBoneRightThigh;
        p.ang[thigh][0] = kHalfPi * s;
        p.ang[thigh + 1][0] = -4.0f * s * (1.0f - s);
        p.ang[kBoneTorso][0] = -0.2f * s;   // leaning back over the standing leg
        p.root = VectorXYZ(0, 0, m.speed * t + kKickStep * HumanoidStature(fig) * s);
        break;
    }
    case kMotionLeap: {
        // Crouch, then spring: the arms go back and are thrown ahead, the
        // body carried on like a lunge's.
        const float s = u < 0.4f ? -Smooth(u / 0.4f) : -1.0f + 2.0f * Smooth((u - 0.4f) / 0.6f);
        p.ang[kBoneLeftUpperArm][0] = p.ang[kBoneRightUpperArm][0] = -1.2f * m.amount * s;
        p.ang[kBoneTorso][0] = 0.3f * m.amount * std::sin(kPi * u);
        p.root = VectorXYZ(0, 0, m.speed * t);
        break;
    }
    case kMotionHit:
        p.ang[kBoneTorso][0] = 0.4f * m.amount * std::sin(kPi * u);
        p.ang[kBoneHead][0] = 0.3f * m.amount * std::sin(kPi * u);
        break;
    case kMotionFall: {
        float s = Smooth(u);
        p.ang[kBoneRoot][0] = 1.5707964f * s;
        p.root = VectorXYZ(0, 0, -0.5f * HumanoidStature(fig) * s);
        p.ang[kBoneLeftUpperArm][2] = -1.0f * s;
        p.ang[kBoneRightUpperArm][2] = 1.0f * s;
        break;
    }
    case kMotionCarGetIn:
    case kMotionCarGetOut: {
        // From the get-in point to the seat (or back), sitting down on the
        // way; the sample cars' left get-in point and seat set the travel.
        float s = Smooth(u);
        if (row.generator == kMotionCarGetOut)
            s = 1.0f - s;
        const float side = m.left ? 1.0f : -1.0f;
        VectorXYZ getin(-1.5f * side, 0.3f, 0.5f), seat(-0.4f * side, 0.0f, 0.2f);
        p.root = (seat - getin) * s;
        p.ang[kBoneLeftThigh][0] = p.ang[kBoneRightThigh][0] = -1.5707964f * s;
        p.ang[kBoneLeftShin][0] = p.ang[kBoneRightShin][0] = 1.5707964f * s;
        p.ang[kBoneRoot][1] = side * 1.5707964f * (1.0f - s);
        break;
    }
    case kMotionGunPose:
        p.ang[arm][0] = -1.5f * m.amount;
        p.ang[arm + 1][0] = -0.1f;
        p.ang[kBoneHead][1] = m.left ? 0.2f : -0.2f;
        break;
    case kMotionGesture:
        p.ang[arm][2] = (m.left ? -1.0f : 1.0f) * 2.2f * m.amount;
        p.ang[arm + 1][2] = (m.left ? -0.4f : 0.4f) * std::sin(2.0f * ph);
        break;
    }
    return p;
}

std::vector<ClipEvent> EventsOf(const ClipRow& row)
{
    if (!row.events.empty() || (row.generator != kMotionStrike && row.generator != kMotionKick))
        return row.events;
    u16 on = u16(0.35f * row.length), off = u16(0.5f * row.length);
    return {{on, kEventStrikeOn}, {off, kEventStrikeOff}};
}

std::vector<ClipSound> SoundsOf(const ClipRow& row)
{
    if (!row.sounds.empty())
        return row.sounds;
    if (row.generator == kMotionWalk || row.generator == kMotionRun)
        return {{0, kSoundFootLeft}, {u16(row.length / 2), kSoundFootRight}};
    if (row.generator == kMotionStrike || row.generator == kMotionKick || row.generator == kMotionLeap ||
        row.generator == kMotionFall ||
        row.generator == kMotionCarGetIn ||
        row.generator == kMotionCarGetOut)
        return {{0, kSoundCloth}};
    return {};
}

}  // namespace

AniChar GenerateClip(const ClipRow& row, const HumanoidLook& figure)
{
    AniChar c;
    c.flags = row.loop ? 1 : 0;
    c.length = row.length;
    std::vector<u16> times;
    for (int t = 0; t < row.length; t += row.keyStep > 0 ? row.keyStep : kKeyStep)
        times.push_back(u16(t));
    times.push_back(row.length);
    if (row.generator == kMotionStrike || row.generator == kMotionKick) {
        // A blow is keyed at its full reach and wherever it starts and
        // stops hurting too, so that the pose there is the blow's own.
        times.push_back(u16(std::lround(kBlowPeak * float(row.length))));
        for (const ClipEvent& e : EventsOf(row))
            if (e.time <= row.length)
                times.push_back(e.time);
        std::sort(times.begin(), times.end());
        times.erase(std::unique(times.begin(), times.end()), times.end());
    }
    std::vector<Pose> poses;
    for (u16 t : times)
        poses.push_back(PoseAt(row, row.length ? float(t) / float(row.length) : 0.0f, figure));
    VectorXYZ end = poses.back().root;
    c.deltaX = end[0];
    c.deltaY = end[1];
    c.deltaZ = end[2];

    for (int b = 0; b < kHumanoidBones; b++) {
        AniBundle bundle;
        bundle.id = HumanoidAnimId(b);
        // The root alone carries the clip's placement; the other bones
        // turn with it.
        const Matrix place = b == kBoneRoot ? RotY(row.params.facing) : Matrix(true);
        AniStream rot(ANIM_TYPE_QUAT);
        for (size_t k = 0; k < times.size(); k++)
            rot.Rot(times[k], Quaternion(RotMatrix(poses[k].ang[b]) * RotMatrix(HumanoidBoneRest(b)) * place));
        if (b == kBoneGrab) {
            // The grab point undoes the root's turn, so that it stays on the
            // ground in front of the feet however the body tips (a falling
            // body lands when this point meets the ground).
            AniStream grabRot(ANIM_TYPE_QUAT), grabPos(ANIM_TYPE_POS);
            for (size_t k = 0; k < times.size(); k++) {
                const Matrix undo = RotMatrix(poses[k].ang[kBoneRoot]).Transpose();
                grabRot.Rot(times[k], Quaternion(undo));
                grabPos.Vec(times[k], VectorXYZ((undo * Vector(HumanoidBoneOffset(figure, kBoneGrab), 1.0f)).xyz()));
            }
            bundle.streams.push_back(std::move(grabPos));
            bundle.streams.push_back(std::move(grabRot));
            c.bundles.push_back(std::move(bundle));
            continue;
        }
        if (b == kBoneRoot) {
            AniStream pos(ANIM_TYPE_POS);
            const VectorPos from(row.params.from);
            for (size_t k = 0; k < times.size(); k++)
                pos.Vec(times[k], VectorXYZ((from + place * VectorDir(poses[k].root)).v));
            bundle.streams.push_back(std::move(pos));
        }
        bundle.streams.push_back(std::move(rot));
        const bool strikes = b == row.strikeBone;
        if (b == kBoneRoot || strikes) {
            std::vector<ClipEvent> events;
            for (const ClipEvent& e : EventsOf(row)) {
                const bool strike = e.event == kEventStrikeOn || e.event == kEventStrikeOff;
                if ((strike && strikes) || (!strike && b == kBoneRoot))
                    events.push_back(e);
            }
            std::vector<ClipSound> sounds = b == kBoneRoot ? SoundsOf(row) : std::vector<ClipSound>{};
            if (!events.empty() || !sounds.empty()) {
                struct Key
                {
                    u16 time;
                    bool sound;
                    u16 value;
                };
                std::vector<Key> keys;
                for (const ClipEvent& e : events)
                    keys.push_back({e.time, false, e.event});
                for (const ClipSound& s : sounds)
                    keys.push_back({s.time, true, s.sound});
                std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.time < b.time; });
                AniStream inst(ANIM_TYPE_INSTANT);
                for (const Key& k : keys) {
                    if (k.sound) {
                        AniSound s;
                        s.sound = k.value;
                        s.maxVolAt = 5.0f;
                        s.minVolAt = 30.0f;
                        inst.Sound(k.time, s);
                    } else {
                        inst.Event(k.time, k.value);
                    }
                }
                bundle.streams.push_back(std::move(inst));
            }
        }
        c.bundles.push_back(std::move(bundle));
    }
    return c;
}

namespace {

// Footsteps: a short thump of noise; cloth: a longer soft rustle.
std::vector<int16_t> GroupSample(int which)
{
    const int n = which == kSoundCloth ? 4000 : 1800;
    std::vector<int16_t> pcm(size_t(n), 0);
    u32 seed = 0x1234u + u32(which) * 977u;
    float low = 0.0f;
    for (int i = 0; i < n; i++) {
        seed = seed * 1103515245u + 12345u;
        float noise = float(int((seed >> 16) & 0x7FFF) - 16384) / 16384.0f;
        low += (noise - low) * (which == kSoundCloth ? 0.5f : 0.15f);
        float env = std::exp(-float(i) / float(n) * (which == kSoundCloth ? 3.0f : 6.0f));
        float amp = which == kSoundCloth ? 5000.0f : 14000.0f;
        if (which == kSoundFootRight)
            amp *= 0.9f;
        pcm[size_t(i)] = int16_t(low * env * amp);
    }
    return pcm;
}

}  // namespace

bool BuildAnimGroup(const std::vector<ClipRow>& catalogue, int tableSize, const HumanoidLook& figure,
                    AnimGroupFiles& out, std::string& error)
{
    std::vector<const ClipRow*> byIndex(size_t(std::max(tableSize, 0)), nullptr);
    for (const ClipRow& r : catalogue) {
        if (r.index < 0 || r.index >= tableSize) {
            error = "clip index " + std::to_string(r.index) + " is outside the table's " + std::to_string(tableSize) +
                    " entries";
            return false;
        }
        if (byIndex[size_t(r.index)] != nullptr) {
            error = "two clips for index " + std::to_string(r.index);
            return false;
        }
        byIndex[size_t(r.index)] = &r;
    }
    for (int i = 0; i < tableSize; i++) {
        if (byIndex[size_t(i)] == nullptr) {
            error = "no clip for index " + std::to_string(i) + " of the table";
            return false;
        }
    }
    AniGroup g;
    for (const ClipRow* r : byIndex)
        g.chars.push_back(GenerateClip(*r, figure));
    if (!WriteAni(g, out.ani, error))
        return false;
    std::vector<BankInput> sounds;
    for (int k = 0; k < kGroupSounds; k++) {
        BankInput in;
        in.name = "group sound " + std::to_string(k);
        in.sound.samples = GroupSample(k);
        in.sound.rate = kEffectRate;
        sounds.push_back(std::move(in));
    }
    return BuildSoundBank(sounds, BankLayout::kLayout1, 0, out.snd, error);
}

}  // namespace tools
