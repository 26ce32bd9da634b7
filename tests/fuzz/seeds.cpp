// The seeds of each target's corpus, made by our own writers.
#include "fuzz_target.h"

#include <cmath>
#include <stdexcept>

#include "tools/lib/adpcm.h"
#include "tools/lib/aniwrite.h"
#include "tools/lib/cinefile.h"
#include "tools/lib/city.h"
#include "tools/lib/crimesets.h"
#include "tools/lib/drivecourse.h"
#include "tools/lib/ipuenc.h"
#include "tools/lib/lighttext.h"
#include "tools/lib/mdlgroup.h"
#include "tools/lib/p2b.h"
#include "tools/lib/p2b_sample.h"
#include "tools/lib/pak.h"
#include "tools/lib/setupfile.h"

#include "fuzz_city.h"
#include "fuzz_vehicles.h"

namespace fuzz {

namespace {

std::vector<int16_t> Tone(int n, double period)
{
    std::vector<int16_t> pcm(static_cast<size_t>(n));
    for (int i = 0; i < n; i++)
        pcm[size_t(i)] = int16_t(8000.0 * std::sin(6.283185307179586 * i / period));
    return pcm;
}

void Add(std::vector<Seed>& out, std::string name, bool ok, std::vector<u8> bytes, const std::string& error)
{
    if (!ok)
        throw std::runtime_error(name + ": " + error);
    out.push_back({std::move(name), std::move(bytes)});
}

std::vector<Seed> Archives()
{
    std::vector<Seed> out;
    std::vector<u8> pak;
    std::string error;
    bool ok = tools::BuildPak({{"dir/file.ext", std::vector<u8>(300, 1), ""},
                               {"dir/sub/deep.bin", std::vector<u8>(70, 2), ""},
                               {"other/a.txt", std::vector<u8>(5, 3), ""},
                               {"top.bin", std::vector<u8>(2100, 4), ""}},
                              "KORVALIS", pak, error);
    Add(out, "four-files.pak", ok, pak, error);
    ok = tools::BuildPak({{"one.bin", std::vector<u8>(16, 5), ""}}, "KORVALIS", pak, error);
    Add(out, "one-file.pak", ok, pak, error);
    return out;
}

std::vector<Seed> Models()
{
    std::vector<Seed> out;
    std::vector<u8> bytes;
    std::string error;
    bool ok = tools::WriteP2B(tools::SampleCubeFile(), bytes, error);
    Add(out, "cube.p2b", ok, bytes, error);
    ok = tools::WriteP2B(tools::SampleArmFile(), bytes, error);
    Add(out, "arm.p2b", ok, bytes, error);
    return out;
}

std::vector<Seed> Anims()
{
    tools::AniGroup group;
    tools::AniChar walk;
    walk.flags = 1;
    walk.length = 30;
    tools::AniBundle root;
    root.id = 0;
    tools::AniStream pos(ANIM_TYPE_POS);
    pos.Vec(0, {0, 0, 0}).Vec(10, {1, 2, 3}).Vec(30, {0, 0, 0});
    tools::AniStream rot(ANIM_TYPE_COMP_QUAT);
    rot.Rot(0, Quaternion(true)).Rot(15, Quaternion(Vector(0.0f, 0.70710677f, 0.0f, 0.70710677f)));
    tools::AniStream events(ANIM_TYPE_INSTANT);
    events.Event(5, 2).Flag(6, 1, 2);
    root.streams = {pos, rot, events};
    tools::AniBundle arm;
    arm.id = 3;
    tools::AniStream q(ANIM_TYPE_QUAT);
    q.Rot(0, Quaternion(true)).Rot(20, Quaternion(Vector(0.70710677f, 0.0f, 0.0f, 0.70710677f)));
    tools::AniStream zoom(ANIM_TYPE_ZOOM);
    zoom.Float(0, 1.0f).Float(10, 2.0f);
    arm.streams = {q, zoom};
    walk.bundles = {root, arm};
    tools::AniChar idle;
    idle.length = 1;
    group.chars = {walk, idle};

    std::vector<Seed> out;
    std::vector<u8> bytes;
    std::string error;
    bool ok = tools::WriteAni(group, bytes, error);
    Add(out, "walk.ani", ok, bytes, error);
    return out;
}

std::vector<Seed> Pictures()
{
    std::vector<Seed> out;
    std::vector<u8> bytes;
    std::string error;
    bool ok = tools::EncodeIpu(tools::SamplePicture("seed", 40, 24), {0, 4}, bytes, error);
    Add(out, "rows.ipu", ok, bytes, error);
    ok = tools::EncodeIpu(tools::SamplePicture("seed", 24, 40), {IPUF_COLUMNS | IPUF_DCTTYPE, 8}, bytes, error);
    Add(out, "columns.ipu", ok, bytes, error);
    return out;
}

std::vector<Seed> Sounds()
{
    std::vector<Seed> out;
    std::vector<u8> bytes;
    std::string error;
    const tools::PcmSound tone{Tone(300, 37.0), 22050};
    const tools::PcmSound beep{Tone(100, 11.0), 48000};
    // A bank is not a WAVE file nor a WAVE file a bank: the target takes
    // neither whole, so each seed leads the fuzzer into one of the two.
    bool ok = tools::BuildSoundBank({{"tone", tone, tools::AdpcmLoop::kOneShot, 0},
                                     {"beep", beep, tools::AdpcmLoop::kWhole, 0}},
                                    tools::BankLayout::kLayout1, 0, bytes, error);
    Add(out, "layout1.snd", ok, bytes, error);
    ok = tools::BuildSoundBank({{"tone", tone, tools::AdpcmLoop::kOneShot, 3}}, tools::BankLayout::kLayout2, 0x12,
                               bytes, error);
    Add(out, "layout2.snd", ok, bytes, error);
    Add(out, "tone.wav", true, tools::MakeWav(tone.samples, tone.rate), "");
    return out;
}

std::vector<u8> Text(const std::string& s)
{
    return std::vector<u8>(s.begin(), s.end());
}

std::vector<Seed> Texts()
{
    return {{"lights.txt", Text("LightSet Night\r\n  Ambient 20 20 40\n\tDirectional 1 -1 0  200 180 160\n"
                                "; a comment\n\n  ; an indented comment\nLightSet Day\n  Ambient 90 90 90")},
            {"long.txt", Text(std::string(70, 'K') + " " + std::string(300, 'v') + "\n\xFF" "After 1\n")}};
}

std::vector<Seed> PadScripts()
{
    return {{"play.pad", Text("# a short play\n@1 pad0 press START for 2\n@10 pad0 stick L 0x20 200\n"
                              "@12 pad1 connect\n@12 pad1 pressure CROSS 0x40\n@20 pad0 release START\n"
                              "@30 pad1 disconnect\n")}};
}

std::vector<Seed> CityIndexes()
{
    return {{"test.idx", SampleCityFiles().idx}};
}

std::vector<Seed> CityLayouts()
{
    return {{"test.exp", SampleCityFiles().exp}};
}

// Every cell record of the sample city, cut from the cells file where its
// index says.
std::vector<Seed> CityCells()
{
    const tools::CityFiles& city = SampleCityFiles();
    const IndexTable* index = reinterpret_cast<const IndexTable*>(city.idx.data());
    std::vector<Seed> out;
    for (int z = -64; z < 192; z++)
        for (int x = -64; x < 192; x++) {
            u32 offset = 0, size = 0;
            if (!index->Find(x, z, offset, size) || size == 0)
                continue;
            out.push_back({"cell" + std::to_string(x) + "_" + std::to_string(z) + ".mgd",
                           std::vector<u8>(city.mgd.begin() + offset, city.mgd.begin() + offset + size)});
        }
    return out;
}

std::vector<Seed> Missions()
{
    std::vector<Seed> out{{"mission2.exm", tools::WriteMission(tools::SampleMission2())}};
    for (int episode : {1, 3, 4})
        out.push_back({"episode" + std::to_string(episode) + ".exm", tools::WriteMission(tools::SampleMission(episode))});
    return out;
}

std::vector<Seed> SetupSeeds(const std::vector<tools::NamedSetup>& files)
{
    std::vector<Seed> out;
    for (const tools::NamedSetup& f : files) {
        std::vector<u8> bytes;
        std::string error;
        const bool ok = tools::WriteSetup(f.setup, bytes, error);
        std::string name = f.path;
        for (char& c : name)
            if (c == '/')
                c = '_';
        Add(out, name, ok, bytes, error);
    }
    return out;
}

std::vector<Seed> Setups()
{
    std::vector<tools::NamedSetup> files = tools::SampleSetupFiles();
    files.push_back({"Int/DRV24/COURSE1.P2B", tools::CourseSetup()});
    return SetupSeeds(files);
}

std::vector<Seed> CrimeSets()
{
    return SetupSeeds(tools::CrimeSetupFiles());
}

std::vector<Seed> Cinemas()
{
    std::vector<Seed> out;
    for (const tools::NamedScene& n : tools::SampleScenes()) {
        std::vector<u8> bytes;
        std::string error;
        const bool ok = tools::WriteCinema(n.scene, bytes, error);
        std::string name = n.path + ".cin";
        for (char& c : name)
            if (c == '/')
                c = '_';
        Add(out, name, ok, bytes, error);
    }
    return out;
}

std::vector<Seed> VehicleDirs()
{
    return {{"vehicles.exp", SampleVehicleGroupFiles().dir}};
}

std::vector<Seed> Vehicles()
{
    std::vector<Seed> out;
    for (int type : {1, 14, 27}) {
        std::vector<u8> bytes;
        std::string error;
        const bool ok = tools::WriteP2B(tools::SampleVehicleFile(type), bytes, error);
        Add(out, "type" + std::to_string(type) + ".p2b", ok, bytes, error);
    }
    return out;
}

std::vector<Seed> Lightings()
{
    return {{"lighting.txt", Text(tools::LightingSetsText())}};
}

struct SeedSource
{
    const char* target;
    std::vector<Seed> (*seeds)();
};

const SeedSource kSources[] = {
    {"archive", Archives},     {"model", Models},           {"anim", Anims},           {"picture", Pictures},
    {"sound", Sounds},         {"text", Texts},             {"padscript", PadScripts}, {"cityindex", CityIndexes},
    {"citylayout", CityLayouts}, {"citycell", CityCells},   {"mission", Missions},     {"setup", Setups},
    {"cinema", Cinemas},       {"vehicledir", VehicleDirs}, {"vehicle", Vehicles},     {"lighting", Lightings},
    {"crimes", CrimeSets},
};

}  // namespace

std::vector<std::string> SeededTargets()
{
    std::vector<std::string> out;
    for (const SeedSource& s : kSources)
        out.push_back(s.target);
    return out;
}

std::vector<Seed> Seeds(const std::string& target)
{
    for (const SeedSource& s : kSources)
        if (target == s.target)
            return s.seeds();
    return {};
}

}  // namespace fuzz
