// The sample disc, built from generated sounds, pictures and models.
// Standard headers come before the game's, whose common header renames the
// C library's heap and printing functions for game code.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <numbers>
#include <string>
#include <system_error>
#include <vector>

#include "tools/lib/drivecourse.h"
#include "tools/lib/gunfiles.h"
#include "tools/lib/miscfiles.h"
#include "tools/lib/sidegamefiles.h"
#include "tools/lib/stillcards.h"
#include "tools/lib/storyfiles.h"
#include "tools/lib/sampledisc.h"
#include "tools/lib/partfiles.h"
#include "tools/lib/props.h"

#include "tools/lib/adpcm.h"
#include "tools/lib/city.h"
#include "tools/lib/humanoid.h"
#include "tools/lib/ipuenc.h"
#include "tools/lib/mdlgroup.h"
#include "tools/lib/p2b.h"
#include "tools/lib/p2b_sample.h"
#include "tools/lib/npcfiles.h"
#include "tools/lib/pedfiles.h"
#include "tools/lib/playerfiles.h"
#include "tools/lib/samplesound.h"
#include "tools/lib/setupfile.h"
#include "tools/lib/cinefile.h"
#include "tools/lib/crimesets.h"
#include "tools/lib/skyfile.h"

#include "core/png.h"

namespace tools {

namespace {

constexpr double kPi = std::numbers::pi;

// Adds a struck tone to out from sample `at`: partials of `hz` (ratio and
// relative level each), a 4 ms attack and an exponential decay with time
// constant `decay` seconds, for `seconds`.
struct Partial
{
    double ratio;
    double level;
};

void AddStrike(std::vector<double>& out, double rate, double at_seconds, double hz, double amplitude,
               std::span<const Partial> partials, double decay, double seconds)
{
    const size_t start = size_t(at_seconds * rate);
    const size_t n = size_t(seconds * rate);
    const double attack = 0.004 * rate;
    for (size_t i = 0; i < n && start + i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double env = std::min(1.0, double(i) / attack) * std::exp(-t / decay);
        double v = 0.0;
        for (const Partial& p : partials)
            // Higher partials die away faster, as a struck bar's do.
            v += p.level * std::exp(-t * (p.ratio - 1.0) / (2.0 * decay)) * std::sin(2.0 * kPi * hz * p.ratio * t);
        out[start + i] += amplitude * env * v;
    }
}

std::vector<int16_t> ToPcm(const std::vector<double>& in)
{
    std::vector<int16_t> out(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        out[i] = int16_t(std::lround(std::clamp(in[i], -32767.0, 32767.0)));
    return out;
}

// Picture file names of the demo flow's screens and the still each shows.
struct PictureFile
{
    const char* path;
    const char* still;
};

constexpr PictureFile kPictures[] = {
    {"DemoData/DEMTITLE.IPU", "DEMTITLE"}, {"DemoData/DEMOSCR1.IPU", "DEMOSCR1"},
    {"DemoData/DEMOSCR2.IPU", "DEMOSCR2"}, {"DemoData/DEMOSCR3.IPU", "DEMOSCR3"},
    {"DemoData/DEMOEND1.IPU", "DEMOEND1"}, {"DemoData/DEMOEND2.IPU", "DEMOEND2"},
    {"DemoData/DEMOEND3.IPU", "DEMOEND3"}, {"DemoData/DEMOEND4.IPU", "DEMOEND4"},
    {"DemoData/DEMOEND5.IPU", "DEMOEND5"}, {"DemoData/ZEVWORKS.IPU", "ZEVWORKS"},
};

// The disc's stills fill the whole 640 x 512 frame: the loading screen
// prints "loading..." and the continue prompt at y 464 over them (below a
// shorter picture they would stand on the frame's clear grey, which is
// their own colour).
constexpr int kPictureWidth = 640;
constexpr int kPictureHeight = 512;

bool AddModel(std::vector<PakInputFile>& files, const char* path, const P2BFile& model, std::string& error)
{
    PakInputFile f{path, {}, "generated model"};
    if (!WriteP2B(model, f.data, error)) {
        error = std::string(path) + ": " + error;
        return false;
    }
    files.push_back(std::move(f));
    return true;
}

}  // namespace

std::vector<int16_t> SampleChime()
{
    static constexpr Partial kBell[] = {{1.0, 1.0}, {2.76, 0.35}, {5.40, 0.15}};
    std::vector<double> mix(size_t(1.2 * kChimeRate), 0.0);
    AddStrike(mix, kChimeRate, 0.0, 1318.51, 7000.0, kBell, 0.25, 1.2);   // E6
    AddStrike(mix, kChimeRate, 0.3, 1046.50, 7000.0, kBell, 0.30, 0.9);   // C6
    return ToPcm(mix);
}

namespace {

// Bars of eighth notes at 120 beats a minute (a note every 0.25 s), the
// melody played `passes` times over a held low note per bar (semitones from
// middle C): the demo's pieces are two bars played twice.
std::vector<int16_t> PluckedPhrase(std::span<const int> melody, std::span<const int> bass, int passes)
{
    static constexpr Partial kPluck[] = {{1.0, 1.0}, {2.0, 0.4}, {3.0, 0.15}};
    static constexpr Partial kBass[] = {{1.0, 1.0}, {2.0, 0.2}};
    constexpr double kNote = 0.25;
    constexpr int kNotesPerBar = 8;
    const double bar = kNote * kNotesPerBar;
    const double pass = bar * double(bass.size());
    const double seconds = pass * passes;
    auto hz = [](int semitones) { return 261.63 * std::pow(2.0, semitones / 12.0); };
    std::vector<double> mix(size_t(seconds * kMusicRate), 0.0);
    for (int p = 0; p < passes; ++p) {
        const double base = p * pass;
        for (size_t b = 0; b < bass.size(); ++b)
            AddStrike(mix, kMusicRate, base + double(b) * bar, hz(bass[b]), 3000.0, kBass, 0.8, 2.0);
        for (size_t i = 0; i < melody.size(); ++i)
            AddStrike(mix, kMusicRate, base + double(i) * kNote, hz(melody[i]), 4000.0, kPluck, 0.18, 0.6);
    }
    // The last strikes are cut at the end: fade the final 50 ms to silence.
    const size_t fade = size_t(0.05 * kMusicRate);
    for (size_t i = 0; i < fade; ++i)
        mix[mix.size() - 1 - i] *= double(i) / double(fade);
    return ToPcm(mix);
}

}  // namespace

std::vector<int16_t> SampleMusic()
{
    // C, D, E, G, A over two octaves.
    static constexpr int kMelody[16] = {0, 2, 4, 7, 9, 7, 4, 2, 0, 4, 7, 12, 9, 7, 4, 2};
    static constexpr int kBass[2] = {-12, -15};
    return PluckedPhrase(kMelody, kBass, 2);
}

std::vector<int16_t> SampleDemoMusic()
{
    // The same scale in A minor, climbing.
    static constexpr int kMelody[16] = {-3, 0, 2, 4, 7, 4, 2, 0, -3, 2, 4, 9, 7, 4, 2, 0};
    static constexpr int kBass[2] = {-15, -20};
    return PluckedPhrase(kMelody, kBass, 2);
}

std::vector<int16_t> SampleDriveToMusic()
{
    // The C-major pentatonic moved up to D, rising to the upper octave.
    static constexpr int kMelody[16] = {2, 4, 6, 9, 11, 14, 11, 9, 2, 6, 9, 14, 16, 14, 11, 9};
    static constexpr int kBass[2] = {-10, -17};
    return PluckedPhrase(kMelody, kBass, 2);
}

std::vector<int16_t> StoryMusic(int piece)
{
    // Eight notes walked over the pentatonic scale in the piece's own key:
    // each step moves by the piece's own stride through the scale, so no
    // two pieces share a tune.
    static constexpr int kScale[10] = {0, 2, 4, 7, 9, 12, 14, 16, 19, 21};
    const int key = (piece * 5) % 12 - 6;
    const int stride = 1 + piece % 4;
    int melody[8];
    for (int i = 0, at = piece % 5; i < 8; i++, at = (at + stride + (i & 1)) % 10)
        melody[i] = key + kScale[at];
    const int bass[1] = {key - 12};
    return PluckedPhrase(melody, bass, 1);
}

std::vector<std::string> SampleVoiceFiles()
{
    std::vector<std::string> names = {"CB_101A", "CB_101B"};
    for (int n = 1; n <= 4; n++)
        names.push_back("CB_OP_0" + std::to_string(n));
    for (int n = 1; n <= 4; n++)
        names.push_back("CB_GE_0" + std::to_string(n));
    // The player's lines on the demo's path: the drive's (rows 145..170) and
    // the fist fight's and the shoot-out's (171..243).
    for (int row = 145; row <= 243; row++)
        names.push_back("DV" + std::to_string(row));
    // The timed drive's start, lateness, arrival and lost race (262..277)
    // and the player's death (326, 327).
    for (int row = 262; row <= 277; row++)
        names.push_back("DV" + std::to_string(row));
    for (int row : {326, 327})
        names.push_back("DV" + std::to_string(row));
    return names;
}

bool SampleDiscFiles(std::vector<PakInputFile>& files, std::string& error)
{
    files.clear();

    BankInput chime;
    chime.name = "chime";
    chime.sound.samples = SampleChime();
    chime.sound.rate = kChimeRate;
    // The interface bank: the chime, then the menus' and the film look's
    // sounds by their numbers.
    std::vector<BankInput> ui = {chime};
    for (int i = 1; i < kInterfaceSamples; i++) {
        BankInput in;
        in.name = "interface sample " + std::to_string(i);
        in.sound.samples = SampleInterface(i);
        in.sound.rate = kEffectRate;
        ui.push_back(std::move(in));
    }
    PakInputFile bank{"DemoData/Vags/SND_UI.SND", {}, "generated sound bank"};
    if (!BuildSoundBank(ui, BankLayout::kLayout1, 0, bank.data, error)) {
        error = bank.path + ": " + error;
        return false;
    }
    files.push_back(std::move(bank));

    // Streamed data carries no loop flags: the streaming module marks the
    // pieces it writes into the ring buffer.
    files.push_back({"DemoData/Vags/CITYBUSY.VB", EncodeAdpcm(SampleMusic(), AdpcmLoop::kRaw), "generated music"});

    files.push_back({"DemoData/Vags/DEMO.VB", EncodeAdpcm(SampleDemoMusic(), AdpcmLoop::kRaw), "generated music"});
    files.push_back({"DemoData/Vags/DRIVETO.VB", EncodeAdpcm(SampleDriveToMusic(), AdpcmLoop::kRaw), "generated music"});

    for (size_t b = 0; b < std::size(kEffectBanks); b++) {
        PakInputFile f{std::string("DemoData/Vags/") + kEffectBanks[b].file, {}, "generated sound bank"};
        if (!BuildEffectBank(int(b), f.data, error))
            return false;
        files.push_back(std::move(f));
    }

    int seed = 0;
    for (const std::string& name : SampleVoiceFiles()) {
        std::vector<int16_t> pcm = name.starts_with("CB_OP")   ? SampleRadioLeadIn(name.back() - '0')
                                   : name.starts_with("CB_GE") ? SampleRadioTail(name.back() - '0')
                                                               : SampleVoiceLine(seed++);
        files.push_back({"DemoData/Vags/" + name + ".VB", EncodeAdpcm(pcm, AdpcmLoop::kRaw), "generated voice"});
    }
    // The pedestrians' lines are short: one syllable each.
    for (const std::string& name : PedVoiceFiles())
        files.push_back(
            {"DemoData/" + name + ".VB", EncodeAdpcm(SampleVoiceLine(seed++, 1), AdpcmLoop::kRaw), "generated voice"});

    ModelGroup vehicles;
    PakInputFile dir{"DemoData/Veh/VEHICLES.EXP", {}, "generated vehicle group"};
    PakInputFile data{"DemoData/Veh/VEHICLES.EXM", {}, "generated vehicle group"};
    if (!SampleVehicleGroup(vehicles, error) || !WriteModelGroup(vehicles, dir.data, data.data, error)) {
        error = "DemoData/Veh/VEHICLES.EXP: " + error;
        return false;
    }
    files.push_back(std::move(dir));
    files.push_back(std::move(data));

    if (!AddModel(files, "DemoData/Sample/CUBE.P2B", SampleCubeFile(), error) ||
        !AddModel(files, "DemoData/Sample/ARM.P2B", SampleArmFile(), error) ||
        !AddModel(files, "DemoData/Misc/SKY.P2B", SkyModelFile(), error) ||
        !AddModel(files, "DemoData/Misc/EXPLSPPF.P2B", ExplosionShapesFile(false), error) ||
        !AddModel(files, "DemoData/Misc/EXPLMSHR.P2B", ExplosionShapesFile(true), error) ||
        !AddModel(files, "DemoData/Misc/ATTNGLOW.P2B", AttentionGlowFile(), error) ||
        !AddModel(files, "DemoData/Misc/PHONE.P2B", PhoneFile(), error))
        return false;
    for (const auto& [path, model] : WeaponModelFiles())
        if (!AddModel(files, path.c_str(), model, error))
            return false;
    for (const auto& [path, model] : ResidentMiscFiles())
        if (!AddModel(files, path.c_str(), model, error))
            return false;
    for (const auto& [path, model] : SideGameFiles())
        if (!AddModel(files, path.c_str(), model, error))
            return false;
    {
        AnimGroupFiles mutant;
        if (!BuildMutantGroup(mutant, error))
            return false;
        files.push_back({"DemoData/Char/MUTANT.ANI", std::move(mutant.ani), "generated animation group"});
        files.push_back({"DemoData/Vags/MUTANT.SND", std::move(mutant.snd), "generated sound bank"});
    }
    for (const HumanoidCharacter& c : SampleHumanoids())
        if (!AddModel(files, c.path.c_str(), HumanoidFile(c.look), error))
            return false;
    for (const HumanoidCharacter& c : SampleCastHumanoids())
        if (!AddModel(files, c.path.c_str(), HumanoidFile(c.look), error))
            return false;
    // The player's groups, then the enemies': each group file and its bank.
    auto addGroups = [&](const std::vector<PlayerGroup>& groups,
                         bool (*build)(const PlayerGroup&, AnimGroupFiles&, std::string&)) {
        for (const PlayerGroup& g : groups) {
            AnimGroupFiles group;
            if (!build(g, group, error))
                return false;
            files.push_back({std::string("DemoData/Char/") + g.base + ".ANI", std::move(group.ani), "generated animation group"});
            files.push_back({std::string("DemoData/Vags/") + g.base + ".SND", std::move(group.snd), "generated sound bank"});
        }
        return true;
    };
    if (!addGroups(PlayerGroups(), BuildPlayerGroup) || !addGroups(NPCGroups(), BuildNPCGroup) ||
        !addGroups(PedGroups(), BuildPedGroup))
        return false;

    std::vector<NamedSetup> setups = SampleSetupFiles();
    for (NamedSetup& n : SideGameSetups())
        setups.push_back(std::move(n));
    setups.push_back({"Int/DRV24/COURSE1.P2B", CourseSetup()});
    for (const NamedSetup& n : setups) {
        PakInputFile f{"DemoData/" + n.path, {}, "generated set-up"};
        if (!WriteSetup(n.setup, f.data, error)) {
            error = f.path + ": " + error;
            return false;
        }
        files.push_back(std::move(f));
    }

    for (const NamedScene& n : SampleScenes()) {
        PakInputFile f{"DemoData/Cine/" + n.path + ".CIN", {}, "generated scene"};
        if (!WriteCinema(n.scene, f.data, error)) {
            error = f.path + ": " + error;
            return false;
        }
        files.push_back(std::move(f));
        files.push_back(
            {"DemoData/Cine/" + n.path + ".VB", EncodeAdpcm(n.sound, AdpcmLoop::kRaw), "generated scene sound"});
    }

    CityFiles city;
    if (!WriteCity(SampleCity(), city, error)) {
        error = "DemoCity: " + error;
        return false;
    }
    files.push_back({"DemoCity/TEST.IDX", std::move(city.idx), "generated city index"});
    files.push_back({"DemoCity/TEST.EXP", std::move(city.exp), "generated city layout"});
    files.push_back({"DemoCity/TEST.MGD", std::move(city.mgd), "generated city cells"});
    files.push_back({"DemoCity/TEST.EXM", std::move(city.exm), "generated city models"});
    files.push_back({"DemoData/Missions/MISSION1.EXM", WriteMission(SampleMission1()), "generated mission"});
    files.push_back({"MISSIONS/MISSION1.EXM", WriteMission(SampleMissionTest()), "generated mission"});
    files.push_back({"DemoData/Missions/MISSION2.EXM", WriteMission(SampleMission2()), "generated mission"});
    files.push_back({"DemoData/Missions/MISSION3.EXM", WriteMission(SampleMission3()), "generated mission"});
    files.push_back({"DemoData/Missions/MISSION4.EXM", WriteMission(SampleMission4()), "generated mission"});
    files.push_back({"DemoData/Missions/MISSION5.EXM", WriteMission(SampleMission5()), "generated mission"});
    files.push_back({"DemoData/Missions/MISSION6.EXM", WriteMission(SampleMission6()), "generated mission"});
    files.push_back({"DemoData/Missions/MISSION7.EXM", WriteMission(SampleMission7()), "generated mission"});
    for (int episode = 8; episode <= 12; episode++) {
        const std::string name = episode < 10 ? "MISSION" + std::to_string(episode) : "MISION" + std::to_string(episode);
        files.push_back({"DemoData/Missions/" + name + ".EXM", WriteMission(SampleMission(episode)), "generated mission"});
    }
    files.push_back({"DemoData/Missions/MISION99.EXM", WriteMission(SampleMission99()), "generated mission"});
    std::vector<NamedFile> particles;
    if (!ResidentParticleFiles(particles, error) || !SplashParticleFile(particles.emplace_back(), error))
        return false;
    for (NamedFile& f : particles)
        files.push_back({"DemoData/Misc/" + f.name, std::move(f.data), "generated particle images"});

    for (const PictureFile& p : kPictures) {
        PakInputFile f{p.path, {}, "generated picture"};
        if (!EncodeIpu(DiscStill(p.still, kPictureWidth, kPictureHeight), IpuEncodeOptions{}, f.data, error)) {
            error = f.path + ": " + error;
            return false;
        }
        files.push_back(std::move(f));
    }

    // The random crimes' set-up files and low-detail casts come last, so
    // that the files before them keep their places in the archive (and the
    // start-up its reading times).
    for (const NamedSetup& n : CrimeSetupFiles()) {
        PakInputFile f{"DemoData/" + n.path, {}, "generated set-up"};
        if (!WriteSetup(n.setup, f.data, error)) {
            error = f.path + ": " + error;
            return false;
        }
        files.push_back(std::move(f));
    }
    for (const HumanoidCharacter& c : CrimeCastHumanoids(SampleHumanoids()))
        if (!AddModel(files, c.path.c_str(), HumanoidFile(c.look), error))
            return false;
    // Later additions go after them, for the same reason.
    if (!AddModel(files, kMutantFilePath, MutantFile(), error))
        return false;
    // Every other file the game's tables name: the story's music, voices,
    // characters, props and scenes.
    return AddStoryFiles(files, error);
}

bool BuildSampleDisc(std::vector<u8>& archive, std::string& error)
{
    std::vector<PakInputFile> files;
    return SampleDiscFiles(files, error) && BuildPak(files, kSampleDiscRoot, archive, error);
}

std::vector<u8> SampleUpdateImage()
{
    // "CSIRX" magic, format version 1, a 32-byte name, zero padding to 64.
    std::vector<u8> image(64, 0);
    std::memcpy(image.data(), "CSIRX", 5);
    image[8] = 1;
    std::memcpy(image.data() + 12, "IOPRP250", 8);
    return image;
}

namespace {

// Writes `bytes` to `path` through a temporary beside it, so an interrupted
// run never leaves half a file.
bool WriteReplacing(const std::filesystem::path& path, const std::vector<u8>& bytes, std::string& error)
{
    std::error_code ec;
    const std::filesystem::path part = path.string() + ".part";
    if (!WriteHostFile(part.string(), bytes, error))
        return false;
    std::filesystem::rename(part, path, ec);
    if (ec) {
        error = path.string() + ": cannot be replaced (" + ec.message() + ")";
        std::filesystem::remove(part, ec);
        return false;
    }
    return true;
}

}  // namespace

std::string DiscManifest(const std::vector<PakInputFile>& files, std::span<const u8> archive,
                         std::span<const u8> update)
{
    std::vector<std::pair<std::string, std::span<const u8>>> rows;
    for (const PakInputFile& f : files)
        rows.emplace_back(f.path, f.data);
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    rows.emplace_back(kSampleDiscPak, archive);
    rows.emplace_back(kSampleDiscUpdateImage, update);
    std::string out;
    char line[64];
    for (const auto& [path, bytes] : rows) {
        std::snprintf(line, sizeof line, "%08x %10zu ", unsigned(console::Crc32(bytes)), bytes.size());
        out += line + path + "\n";
    }
    return out;
}

bool WriteSampleDisc(const std::string& dir, std::string& error)
{
    std::vector<PakInputFile> files;
    std::vector<u8> archive;
    if (!SampleDiscFiles(files, error) || !BuildPak(files, kSampleDiscRoot, archive, error))
        return false;
    const std::vector<u8> update = SampleUpdateImage();
    const std::string manifest = DiscManifest(files, archive, update);
    const std::filesystem::path pak = std::filesystem::path(dir) / kSampleDiscPak;
    std::error_code ec;
    std::filesystem::create_directories(pak.parent_path(), ec);
    if (ec) {
        error = pak.parent_path().string() + ": cannot be made (" + ec.message() + ")";
        return false;
    }
    return WriteReplacing(pak, archive, error) &&
           WriteReplacing(std::filesystem::path(dir) / kSampleDiscUpdateImage, update, error) &&
           WriteReplacing(std::filesystem::path(dir) / kSampleDiscManifest,
                          std::vector<u8>(manifest.begin(), manifest.end()), error);
}

int RunMkDisc(std::span<const char* const> args)
{
    if (args.size() != 1 || std::string_view(args[0]).starts_with("-")) {
        std::fputs("usage: mkdisc DIR   write the sample disc (DIR/KORVALIS/KORVALIS.PAK)\n", stderr);
        return 2;
    }
    std::string error;
    if (!WriteSampleDisc(args[0], error)) {
        std::fprintf(stderr, "mkdisc: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stdout, "mkdisc: sample disc written to %s/%s\n", args[0], kSampleDiscPak);
    return 0;
}

}  // namespace tools
