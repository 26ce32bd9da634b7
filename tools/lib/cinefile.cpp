// Cinema file writer and the sample scenes.
#include "tools/lib/cinefile.h"

#include <cmath>
#include <cstring>

#include "tools/lib/humanoid.h"
#include "tools/lib/motion.h"

#include "ZevEngine2/Utilities/CinCont.h"

namespace tools {

namespace {

size_t Align16(size_t n)
{
    return (n + 15) & ~size_t(15);
}

template <class T>
void Put(std::vector<u8>& out, size_t at, const T& v)
{
    std::memcpy(out.data() + at, &v, sizeof v);
}

}  // namespace

bool WriteCinema(const CineScene& scene, std::vector<u8>& out, std::string& error)
{
    if (scene.blocks.size() < 2) {
        error = "a scene needs a block of animation and the final poses";
        return false;
    }
    std::vector<std::vector<u8>> blocks;
    for (size_t b = 0; b < scene.blocks.size(); b++) {
        if (scene.blocks[b].chars.size() < scene.starts.size()) {
            error = "block " + std::to_string(b) + " has " + std::to_string(scene.blocks[b].chars.size()) +
                    " entries for " + std::to_string(scene.starts.size()) + " start locations";
            return false;
        }
        std::string why;
        if (!WriteAni(scene.blocks[b], blocks.emplace_back(), why)) {
            error = "block " + std::to_string(b) + ": " + why;
            return false;
        }
    }
    CinemaFile h{};
    h.numBlock = u32(blocks.size());
    h.numObj = u32(scene.starts.size());
    h.block = sizeof(CinemaFile);
    h.startOffset = u32(Align16(h.block + h.numBlock * sizeof(CinemaFileBlock)));
    size_t at = Align16(h.startOffset + h.numObj * sizeof(CinemaStartLoc));
    std::vector<CinemaFileBlock> table;
    for (const std::vector<u8>& b : blocks) {
        table.push_back({u32(at), u32(b.size())});
        at = Align16(at + b.size());
    }
    out.assign(at, 0);
    Put(out, 0, h);
    for (size_t b = 0; b < table.size(); b++) {
        Put(out, h.block + b * sizeof(CinemaFileBlock), table[b]);
        std::memcpy(out.data() + table[b].offset, blocks[b].data(), blocks[b].size());
    }
    for (size_t i = 0; i < scene.starts.size(); i++) {
        const CineStart& s = scene.starts[i];
        CinemaStartLoc l{s.pos[0], s.pos[1], s.pos[2], s.id, s.rot[0], s.rot[1], s.rot[2], s.rot[3]};
        Put(out, h.startOffset + i * sizeof(CinemaStartLoc), l);
    }
    return true;
}

namespace {

constexpr u16 kShot = 60;

// The camera's entry for one block: a still shot from eye toward at.
AniChar CameraShot(VectorPos eye, VectorPos at, float zoom)
{
    AniStream pos(ANIM_TYPE_POS), rot(ANIM_TYPE_QUAT), z(ANIM_TYPE_ZOOM);
    const VectorDir d = Normalise(VectorDir(at - eye));
    const Quaternion q(LookAlong(d));
    pos.Vec(0, eye).Vec(kShot, eye);
    rot.Rot(0, q).Rot(kShot, q);
    z.Float(0, zoom).Float(kShot, zoom);
    AniChar c;
    c.length = kShot;
    c.bundles.push_back({0, {pos, rot, z}});
    return c;
}

// A figure's clip standing at `from` and facing `facing` in the scene.
AniChar Figure(MotionGenerator g, float speed, u16 length, VectorXYZ from, float facing = 0.0f)
{
    ClipRow row{0, g, MotionParams{speed, 1.0f, false, 0.0f, from, facing}, length, false, {}, {}};
    return GenerateClip(row, SampleHumanoids()[0].look);
}

std::vector<int16_t> Hum(float seconds, float hz)
{
    const size_t n = size_t(seconds * 44100.0f);
    std::vector<int16_t> pcm(n);
    for (size_t i = 0; i < n; i++)
        pcm[i] = int16_t(3000.0f * std::sin(6.2831853f * hz * float(i) / 44100.0f));
    return pcm;
}

}  // namespace

std::vector<NamedScene> SampleScenes()
{
    std::vector<NamedScene> scenes;
    {
        // Sized for the figure (a 1.8 m man stands 0.5625 high): the
        // player walks up over two shots and stops 0.8 short of the cast
        // member, who faces him and gestures in the last.
        NamedScene s{"M2/M2_S4", {}, Hum(3.0f, 220.0f)};
        constexpr float kWalkSpeed = 0.01f, kTurned = 3.1415927f;
        const VectorPos playerAt(0, 0, -1.6f), castAt(0, 0, 0.4f);
        const VectorPos eyes[3] = {VectorPos(1.4f, -0.55f, -2.6f), VectorPos(0.45f, -0.5f, -1.6f),
                                   VectorPos(-0.35f, -0.5f, 1.1f)};
        const VectorPos looks[3] = {VectorPos(0, -0.3f, -0.6f), VectorPos(0, -0.42f, 0.4f),
                                    VectorPos(0, -0.42f, -0.4f)};
        s.scene.starts = {{5000, eyes[0], Quaternion(Matrix(true))},
                          {-1, playerAt, Quaternion(Matrix(true))},
                          {-2, castAt, Quaternion(RotY(kTurned))}};
        // Where the player stands after b shots of walking.
        auto walked = [&](int b) { return VectorXYZ(playerAt[0], playerAt[1], playerAt[2] + kWalkSpeed * kShot * b); };
        for (int b = 0; b < 3; b++) {
            AniGroup g;
            g.chars.push_back(CameraShot(eyes[b], looks[b], 1.6f + 0.2f * float(b)));
            g.chars.push_back(b < 2 ? Figure(kMotionWalk, kWalkSpeed, kShot, walked(b))
                                    : Figure(kMotionIdle, 0.0f, kShot, walked(2)));
            g.chars.push_back(Figure(b == 2 ? kMotionGesture : kMotionIdle, 0.0f, kShot, castAt, kTurned));
            s.scene.blocks.push_back(std::move(g));
        }
        AniGroup last;
        last.chars.push_back(CameraShot(eyes[2], looks[2], 2.0f));
        last.chars.push_back(Figure(kMotionIdle, 0.0f, 1, walked(2)));
        last.chars.push_back(Figure(kMotionIdle, 0.0f, 1, castAt, kTurned));
        s.scene.blocks.push_back(std::move(last));
        scenes.push_back(std::move(s));
    }
    {
        // The bar after the fight, sized as the fight's scene: the player
        // and the cast member stand where that scene left them; one still
        // shot from just in front of the player, past the cast member,
        // across the room to its back, where the two thugs of the fight
        // stand by their places.
        NamedScene s{"M2/M2_S5", {}, Hum(1.5f, 262.0f)};
        constexpr float kTurned = 3.1415927f;
        const VectorPos playerAt(0, 0, -1.6f), castAt(0, 0, 0.4f);
        const VectorPos eye(-0.4f, -0.45f, -0.9f), look(0, -0.6f, 5.0f);
        s.scene.starts = {{5000, eye, Quaternion(Matrix(true))},
                          {-1, playerAt, Quaternion(Matrix(true))},
                          {-2, castAt, Quaternion(RotY(kTurned))}};
        AniGroup g, last;
        g.chars.push_back(CameraShot(eye, look, 0.9f));
        g.chars.push_back(Figure(kMotionIdle, 0.0f, kShot, playerAt));
        g.chars.push_back(Figure(kMotionIdle, 0.0f, kShot, castAt, kTurned));
        last.chars.push_back(CameraShot(eye, look, 0.9f));
        last.chars.push_back(Figure(kMotionIdle, 0.0f, 1, playerAt));
        last.chars.push_back(Figure(kMotionIdle, 0.0f, 1, castAt, kTurned));
        s.scene.blocks = {g, last};
        scenes.push_back(std::move(s));
    }
    {
        // Sized for the figure as the bar's is: one shot from in front of
        // the player and off to his right, at his eye height, framing him
        // from head to foot while he stands and waits.
        NamedScene s{"M3/M3_S7", {}, Hum(1.0f, 330.0f)};
        const VectorPos eye(-0.3f, -0.5f, 1.4f), look(0, -0.36f, 0);
        s.scene.starts = {{5000, eye, Quaternion(Matrix(true))}, {-1, VectorPos(0, 0, 0), Quaternion(Matrix(true))}};
        AniGroup g, last;
        g.chars.push_back(CameraShot(eye, look, 2.0f));
        g.chars.push_back(Figure(kMotionIdle, 0.0f, kShot, VectorXYZ(0, 0, 0)));
        last.chars.push_back(CameraShot(eye, look, 2.0f));
        last.chars.push_back(Figure(kMotionIdle, 0.0f, 1, VectorXYZ(0, 0, 0)));
        s.scene.blocks = {g, last};
        scenes.push_back(std::move(s));
    }
    return scenes;
}

}  // namespace tools
