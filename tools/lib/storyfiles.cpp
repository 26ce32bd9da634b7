// The story's files from the game's tables (see storyfiles.h).
// Standard headers come before the game's, whose common header renames the
// C library's heap and printing functions for game code.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/lib/storyfiles.h"

#include "tools/lib/adpcm.h"
#include "tools/lib/crimesets.h"
#include "tools/lib/humanoid.h"
#include "tools/lib/miscfiles.h"
#include "tools/lib/motion.h"
#include "tools/lib/sampledisc.h"
#include "tools/lib/samplesound.h"

#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/cine.h"

namespace tools {

std::string DiscPathOf(const char* gamePath)
{
    std::string path = gamePath;
    if (path.rfind("KORVALIS\\", 0) == 0)
        path = path.substr(9);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

namespace {

// Who each scene a row plays animates: the characters its step has made by
// the time the scene starts (the disc catalogue's test holds this to the
// steps themselves).
const std::vector<SceneCast> kCasts = {
    {1, {-3, -2, -1}}, {2, {-3, -2, -1}}, {3, {-3, -2, -1}}, {4, {-5, -4, -3, -2, -1}},
    {5, {-5, -4, -3, -2, -1}}, {6, {-5, -4, -3, -2, -1}}, {7, {-5, -4, -3, -2, -1}}, {8, {-5, -4, -3, -2, -1}},
    {9, {-5, -4, -3, -2, -1}}, {10, {-5, -4, -3, -2, -1}}, {11, {-7, -6, -5, -4, -3, -2, -1}}, {13, {-1}},
    {14, {-1}}, {15, {-2, -1}}, {16, {-2, -1}}, {19, {-1}}, {20, {-3, -2, -1}}, {21, {-103, -102, -3, -2, -1}},
    {22, {-1}}, {23, {-101, -3, -2, -1}}, {24, {-101, -4, -3, -2, -1}}, {25, {-5, -4, -3, -2, -1}},
    {26, {-5, -4, -3, -2, -1}}, {27, {-102, -101, -1}}, {30, {-101, -1}}, {31, {-101, -1}}, {32, {-1}},
    {33, {-103, -102, -3, -2, -1}}, {34, {-102, -101, -1}}, {35, {-102, -101, -1}}, {36, {-4, -3, -1}},
    {38, {-5, -3, -2, -1}}, {39, {-5, -3, -2, -1}}, {40, {-2, -1}}, {41, {-101, -4, -1}},
    {43, {-7, -6, -5, -4, -3, -1}}, {44, {-7, -6, -5, -4, -3, -1}}, {45, {-103, -102, -101, -7, -6, -5, -4, -1}},
    {46, {-103, -102, -101, -7, -6, -5, -4, -1}}, {47, {-1}}, {48, {-7, -6, -5, -4, -3, -1}}, {49, {-1}},
    {50, {-2, -1}}, {51, {-1}}, {52, {-1}}, {53, {-1}}, {55, {-2, -1}}, {56, {-5, -4, -3, -2, -1}},
    {57, {-2, -1}}, {58, {-2, -1}}, {59, {-5, -2, -1}}, {60, {-5, -2, -1}}, {61, {-2, -1}},
    {62, {-6, -5, -4, -3, -1}}, {63, {-5, -4, -3, -2, -1}}, {65, {-1}}, {66, {-1}}, {67, {-1}},
    {68, {-4, -3, -2, -1}}, {69, {-4, -3, -2, -1}}, {70, {-2, -1}}, {71, {-2, -1}}, {72, {-1}}, {73, {-1}},
    {74, {-6, -5, -4, -3, -2, -1}}, {75, {-6, -5, -1}}, {76, {-6, -5, -1}}, {77, {-7, -6, -5, -1}},
    {78, {-7, -6, -5, -2, -1}}, {79, {-7, -6, -5, -1}}, {80, {-7, -6, -5, -4, -3, -2, -1}},
    {81, {-7, -6, -5, -1}}, {82, {-7, -6, -5, -4, -3, -2, -1}}, {83, {-7, -6, -2, -1}},
    {84, {-7, -6, -4, -3, -2, -1}}, {85, {-6, -5, -2, -1}}, {86, {-7, -6, -5, -4, -3, -2, -1}},
    {87, {-101, -7, -6, -5, -4, -3, -2, -1}}, {88, {-1}}, {89, {-5, -3, -2, -1}}, {90, {-5, -3, -2, -1}},
    {91, {-4, -3, -2, -1}}, {92, {-4, -3, -2, -1}}, {94, {-2, -1}}, {95, {-7, -6, -5, -2, -1}},
    {96, {-11, -10, -9, -8, -7, -6, -5, -1}}, {97, {-101, -11, -10, -9, -8, -7, -6, -5, -1}}, {98, {-101, -1}},
    {99, {-7, -6, -5, -4, -3, -2, -1}}, {100, {-101, -7, -6, -5, -1}}, {101, {-1}},
    {102, {-6, -5, -4, -3, -2, -1}}, {104, {-2, -1}}, {105, {-5, -4, -3, -2, -1}}, {106, {-5, -4, -3, -2, -1}},
    {108, {-2, -1}}, {109, {-2, -1}}, {110, {-2, -1}}, {112, {-2, -1}}, {113, {-2, -1}},
    {114, {-7, -6, -5, -4, -3, -2, -1}}, {116, {-5, -4, -3, -2, -1}}, {117, {-5, -4, -3, -2, -1}},
    {118, {-5, -4, -3, -2, -1}}, {119, {-5, -4, -3, -2, -1}}, {120, {-4, -3, -2, -1}}, {121, {-6, -3, -2, -1}},
    {122, {-7, -6, -5, -4, -2, -1}}, {123, {-6, -3, -2, -1}}, {124, {-7, -6, -5, -4, -3, -2, -1}},
    {125, {-7, -6, -5, -4, -3, -2, -1}}, {126, {-4, -3, -2, -1}}, {127, {-4, -3, -2, -1}}, {128, {-2, -1}},
    {129, {-2, -1}}, {131, {-2, -1}}, {132, {-1}}, {133, {-3, -2, -1}}, {134, {-5, -4, -3, -2, -1}},
    {135, {-3, -2, -1}}, {136, {-3, -2, -1}}, {137, {-3, -2, -1}}, {139, {-8, -7, -6, -5, -4, -3, -2, -1}},
    {140, {-8, -7, -6, -5, -4, -3, -2, -1}}, {141, {-5, -4, -3, -2, -1}}, {142, {-3, -2, -1}},
    {143, {-5, -4, -3, -2, -1}}, {144, {-3, -2, -1}}, {145, {-11, -10, -9, -8, -7, -6, -5, -4, -3, -2, -1}},
    {146, {-2, -1}}, {147, {-4, -3, -2, -1}}, {148, {-8, -7, -6, -5, -4, -3, -2, -1}},
    {149, {-8, -7, -6, -5, -4, -3, -2, -1}}, {150, {-8, -7, -6, -5, -4, -3, -2, -1}},
};

// The scene camera's entry: a move from one view to another over the
// block, keyed at both ends.
AniChar CameraTrack(VectorPos eye0, VectorPos at0, VectorPos eye1, VectorPos at1, float zoom, u16 length)
{
    AniStream pos(ANIM_TYPE_POS), rot(ANIM_TYPE_QUAT), z(ANIM_TYPE_ZOOM);
    pos.Vec(0, eye0).Vec(length, eye1);
    rot.Rot(0, Quaternion(LookAlong(Normalise(VectorDir(at0 - eye0)))))
        .Rot(length, Quaternion(LookAlong(Normalise(VectorDir(at1 - eye1)))));
    z.Float(0, zoom).Float(length, zoom);
    AniChar c;
    c.length = length;
    c.bundles.push_back({0, {pos, rot, z}});
    return c;
}

// A figure standing at from, facing the camera; sparse keys keep the scene
// small.
AniChar Standing(MotionGenerator g, u16 length, VectorXYZ from)
{
    ClipRow row{0, g, MotionParams{0.0f, 1.0f, false, 0.0f, from, 0.0f}, length, false, {}, {}};
    row.keyStep = 30;
    return GenerateClip(row, SampleHumanoids()[0].look);
}

// Voice lines of each length come in this many variants.
constexpr int kVoiceVariants = 13;

// Half a second of a soft two-note chord on one of twelve roots.
std::vector<int16_t> SceneSound(int root)
{
    const size_t n = size_t(0.5 * 44100.0);
    const double hz = 196.0 * std::pow(2.0, double(root) / 12.0);
    std::vector<int16_t> pcm(n);
    for (size_t i = 0; i < n; i++) {
        const double t = double(i) / 44100.0;
        const double env = std::sin(3.14159265358979 * double(i) / double(n));
        pcm[i] = int16_t(1500.0 * env * (std::sin(6.283185307 * hz * t) + std::sin(6.283185307 * hz * 1.5 * t)));
    }
    return pcm;
}

}  // namespace

const std::vector<SceneCast>& StorySceneCasts()
{
    return kCasts;
}

CineScene StoryScene(const SceneCast& cast)
{
    // The player in the middle, the others beside him, alternately right
    // and left, a little further back the further out they stand.
    std::vector<int> order = {-1};
    for (int id : cast.actors)
        if (id != -1)
            order.push_back(id);
    std::vector<VectorPos> at;
    for (size_t i = 0; i < order.size(); i++) {
        const float side = i == 0 ? 0.0f : ((i & 1) ? 1.0f : -1.0f) * float((i + 1) / 2);
        at.push_back(VectorPos(0.4f * side, 0.0f, -0.1f * std::fabs(side)));
    }
    const float wide = 1.6f + 0.25f * float(order.size());
    const VectorPos eye0(0.3f, -0.8f, wide), at0(0.0f, -0.3f, 0.0f);
    const VectorPos eye1(0.35f, -0.55f, 1.3f), at1(0.0f, -0.45f, 0.0f);
    const u16 length = kStorySceneFrames;

    CineScene s;
    s.starts.push_back({5000, eye0, Quaternion(Matrix(true))});
    for (size_t i = 0; i < order.size(); i++)
        s.starts.push_back({order[i], at[i], Quaternion(Matrix(true))});
    AniGroup play, last;
    play.chars.push_back(CameraTrack(eye0, at0, eye1, at1, 1.6f, length));
    last.chars.push_back(CameraTrack(eye1, at1, eye1, at1, 1.6f, 1));
    for (size_t i = 0; i < order.size(); i++) {
        const VectorXYZ from(at[i][0], at[i][1], at[i][2]);
        play.chars.push_back(Standing(i == 0 ? kMotionGesture : kMotionIdle, length, from));
        last.chars.push_back(Standing(kMotionIdle, 1, from));
    }
    s.blocks = {play, last};
    return s;
}

bool AddStoryFiles(std::vector<PakInputFile>& files, std::string& error)
{
    // By the stored form: two names the look-up cannot tell apart are one
    // file (the scene table's "M11_S7B01" and "M11_S7B02" both find
    // "M11_S7B0").
    std::set<std::string> have;
    for (const PakInputFile& f : files)
        have.insert(PakStoredPath(f.path));
    auto lacks = [&](const std::string& path) { return have.insert(PakStoredPath(path)).second; };

    // The music table's pieces.
    for (int i = 0; i < NUM_SONGSAMPLES; i++) {
        const std::string path = DiscPathOf(songsamples[i].file);
        if (lacks(path))
            files.push_back({path, EncodeAdpcm(StoryMusic(i), AdpcmLoop::kRaw), "generated music"});
    }
    // Lines and scene sounds come in a few variants, each encoded once:
    // the encoder's search is most of the disc's making time.
    std::map<int, std::vector<u8>> encoded;
    auto voice = [&](int seed, int syllables) -> const std::vector<u8>& {
        const int variant = seed % kVoiceVariants;
        auto [it, fresh] = encoded.try_emplace(syllables * 1000 + variant);
        if (fresh)
            it->second = EncodeAdpcm(SampleVoiceLine(1000 + variant, syllables), AdpcmLoop::kRaw);
        return it->second;
    };
    // The player's voice table: two syllables a line.
    for (int row = 0; row < NUM_DACEVOTRAX; row++) {
        if (DaceVOTrax[row].file == nullptr)
            continue;
        const std::string path = DiscPathOf(DaceVOTrax[row].file);
        if (lacks(path))
            files.push_back({path, voice(row, 2), "generated voice"});
    }
    // Every line of every character voice bank: one syllable each.
    for (int bank = 0; bank <= NPCVOBank_LAST; bank++)
        for (int kind = 0; kind < NUM_NPCVOSUFFIXES; kind++) {
            const std::string path = std::string("DemoData/NPCVO/") + NPCVOPrefixes[bank] + NPCVOSuffixes[kind] + ".VB";
            if (lacks(path))
                files.push_back({path, voice(bank + kind, 1), "generated voice"});
        }
    // Every character of the model table in full detail, looking as its
    // low-detail figure does where the disc has one.
    std::vector<HumanoidCharacter> looks = SampleHumanoids();
    for (const HumanoidCharacter& c : CrimeCastHumanoids(looks))
        looks.push_back(c);
    for (const MdlFNInfo& m : rmfniMain) {
        char name[128];
        if (GetModelFileName(m.iID, name) == nullptr)
            continue;
        const std::string path = DiscPathOf(name);
        if (!lacks(path))
            continue;
        HumanoidLook look;
        look.charid = m.iID;
        look.height = 1.62f + 0.02f * float(m.iID % 13);
        look.build = 0.85f + 0.05f * float(m.iID % 7);
        look.shirt = Colour(u8(40 + (m.iID * 37) % 180), u8(40 + (m.iID * 53) % 180), u8(40 + (m.iID * 71) % 180), 128);
        look.trousers = Colour(u8(20 + (m.iID * 29) % 90), u8(20 + (m.iID * 43) % 90), u8(20 + (m.iID * 61) % 90), 128);
        for (const HumanoidCharacter& c : looks)
            if (c.look.charid == m.iID) {
                look = c.look;
                look.lowDetail = false;
                look.driverCopy = false;
            }
        PakInputFile f{path, {}, "generated model"};
        if (!WriteP2B(HumanoidFile(look), f.data, error)) {
            error = path + ": " + error;
            return false;
        }
        files.push_back(std::move(f));
    }
    // The props the steps load by name.
    for (const auto& [path, model] : StoryPropFiles()) {
        if (!lacks(path))
            continue;
        PakInputFile f{path, {}, "generated model"};
        if (!WriteP2B(model, f.data, error)) {
            error = path + ": " + error;
            return false;
        }
        files.push_back(std::move(f));
    }
    // Every scene of the scene table with its sound.
    for (int scene = 0; scene < NUM_CINEMATICS; scene++) {
        const std::string cin = "DemoData/Cine/" + DiscPathOf(CineNames[scene].CINFile);
        const std::string vb = "DemoData/Cine/" + DiscPathOf(CineNames[scene].VAGFile);
        if (lacks(cin)) {
            SceneCast cast{scene, {-1}};
            for (const SceneCast& c : kCasts)
                if (c.scene == scene)
                    cast = c;
            PakInputFile f{cin, {}, "generated scene"};
            if (!WriteCinema(StoryScene(cast), f.data, error)) {
                error = cin + ": " + error;
                return false;
            }
            files.push_back(std::move(f));
        }
        if (lacks(vb)) {
            auto [it, fresh] = encoded.try_emplace(-1 - scene % 12);
            if (fresh)
                it->second = EncodeAdpcm(SceneSound(scene % 12), AdpcmLoop::kRaw);
            files.push_back({vb, it->second, "generated scene sound"});
        }
    }
    return true;
}

}  // namespace tools
