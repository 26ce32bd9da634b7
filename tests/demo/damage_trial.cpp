#include "tests/demo/damage_trial.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "core/png.h"
#include "tests/demo/run_process.h"
#include "tools/lib/pak.h"
#include "tools/lib/sampledisc.h"

namespace demo_test {

namespace fs = std::filesystem;

namespace {

// A run that has not handed back by then has stalled: the losing branch
// hands back a little after field 10,000 on the sample disc; the winning
// branch's fist fight, fought by the pad pilot, may take longer.
constexpr int kFieldBound = 12000;
constexpr int kWinFieldBound = 20000;
// A game that neither ends nor counts fields for this long is ended from
// outside and counted as stalled.
constexpr int kWallSeconds = 900;

constexpr size_t kHeaderBytes = 64;
constexpr size_t kBodyBytes = 16;

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](char c) { return char(std::toupper(uint8_t(c))); });
    return s;
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The branch a case is played on: nobody at the pad (the drive lost, the spa
// and its shoot-out), or the pad pilot's winning script (the bar and its
// fight), for files only the winning branch reads.
enum class Branch { kLoss, kWin };

// What one run of the game showed.
struct Run {
    int status = -1;
    bool handedBack = false;
    long long handBackField = -1;
    std::string records;            // "2,5 3,12"
    std::string heap;               // the "Run over" line's free bytes
    uint32_t sound = 0;             // CRC of the recorded sound
    std::vector<std::string> output;
    std::vector<std::pair<uint32_t, uint32_t>> reads;   // disc sectors read: first, count
    uint32_t pakSector = 0;         // where the archive lies on the disc
};

// The disc below dir: the archive of `files` and the update image.
bool WriteDisc(const fs::path& dir, const std::vector<tools::PakInputFile>& files, std::string& error)
{
    std::vector<uint8_t> archive;
    if (!tools::BuildPak(files, tools::kSampleDiscRoot, archive, error))
        return false;
    std::error_code ec;
    fs::create_directories(dir / "KORVALIS", ec);
    return tools::WriteHostFile((dir / tools::kSampleDiscPak).string(), archive, error) &&
           tools::WriteHostFile((dir / tools::kSampleDiscUpdateImage).string(), tools::SampleUpdateImage(), error);
}

// The demo played on the disc in dir to its first hand-back (or the bound),
// headless, without pixels, its sound recorded; work files in dir.
Run PlayDemo(const fs::path& dir, const std::string& script, int bound)
{
    const fs::path trace = dir / "trace.txt", wav = dir / "sound.wav";
    const Outcome o = Execute("timeout -s KILL " + std::to_string(kWallSeconds) + " " + Korvalis() +
                              " --headless --gs-no-pixels --disc " + (dir / "disc").string() +
                              " --exit-after-runs 1 --exit-after-vblanks " + std::to_string(bound) +
                              " --pad-script " + script + " --trace demo,cd --trace-file " + trace.string() +
                              " --wav " + wav.string());
    Run r;
    r.status = o.status;
    r.output = Lines(o.output);
    for (const std::string& line : r.output) {
        unsigned long long freeBytes = 0;
        if (std::sscanf(line.c_str(), "Run over: %llu bytes of the heap free", &freeBytes) == 1)
            r.heap = std::to_string(freeBytes);
    }
    const std::string sound = Slurp(wav);
    r.sound = console::Crc32(std::span(reinterpret_cast<const uint8_t*>(sound.data()), sound.size()));
    for (const std::string& line : Lines(Slurp(trace))) {
        int run = 0, episode = 0, record = 0;
        unsigned long long field = 0, at = 0;
        unsigned first = 0, count = 0;
        char file[256];
        if (std::sscanf(line.c_str(), "[demo] run %d enters record %d,%d", &run, &episode, &record) == 3)
            r.records += (r.records.empty() ? "" : " ") + std::to_string(episode) + "," + std::to_string(record);
        else if (std::sscanf(line.c_str(), "[demo] run %d handed back (field %llu)", &run, &field) == 2 &&
                 !r.handedBack) {
            r.handedBack = true;
            r.handBackField = (long long)field;
        } else if (std::sscanf(line.c_str(), "[cd] %llu read %u sector(s) from %u", &at, &count, &first) == 3)
            r.reads.emplace_back(first, count);
        else if (std::sscanf(line.c_str(), "[cd] disc file %255s at sector %u", file, &first) == 2 &&
                 Upper(BaseName(file)) == "KORVALIS.PAK")
            r.pakSector = first;
    }
    std::error_code ec;
    fs::remove(wav, ec);
    return r;
}

// The files of `files` whose sectors the run read, by index.
std::set<size_t> FilesRead(const Run& run, const std::vector<tools::PakInputFile>& files, std::string& error)
{
    std::set<size_t> read;
    std::vector<uint8_t> archive;
    std::string root;
    std::vector<tools::PakEntry> entries;
    if (!tools::BuildPak(files, tools::kSampleDiscRoot, archive, error) ||
        !tools::ReadPak(archive, "sample disc", root, entries, error))
        return read;
    // The archive's entries by their stored path, as the files' paths store.
    std::map<std::string, const tools::PakEntry*> byPath;
    for (const tools::PakEntry& e : entries)
        byPath[e.path] = &e;
    for (size_t i = 0; i < files.size(); i++) {
        std::string stored;
        std::string component;
        std::istringstream in(files[i].path);
        while (std::getline(in, component, '/')) {
            std::string name = tools::PakStoredName(component);
            name.erase(name.find_last_not_of(' ') + 1);
            stored += (stored.empty() ? "" : "\\") + name;
        }
        auto it = byPath.find(stored);
        if (it == byPath.end()) {
            // The entries' paths may carry the root's name first.
            it = byPath.find(root + "\\" + stored);
            if (it == byPath.end())
                continue;
        }
        const tools::PakEntry& e = *it->second;
        const uint32_t from = run.pakSector + e.start, to = from + std::max<uint32_t>(1, (e.length + 2047) / 2048);
        for (const auto& [first, count] : run.reads)
            if (first < to && first + count > from) {
                read.insert(i);
                break;
            }
    }
    return read;
}

struct Result {
    std::string verdict;   // refused, used, stalled, crashed
    std::string detail;
};

// The case's run judged against the undamaged disc's run of the same branch.
Result Judge(const Run& damaged, const Run& good, const std::string& path, int bound)
{
    Result r;
    const std::string name = Upper(BaseName(path));
    const std::set<std::string> before(good.output.begin(), good.output.end());
    std::vector<std::string> naming;
    for (const std::string& line : damaged.output)
        if (before.count(line) == 0 && Upper(line).find(name) != std::string::npos)
            naming.push_back(line);
    if (damaged.status != 0) {
        r.verdict = "crashed";
        r.detail = damaged.status < 0 ? "ended by a signal" : "status " + std::to_string(damaged.status);
        if (!damaged.output.empty())
            r.detail += ": " + damaged.output.back();
        return r;
    }
    if (!damaged.handedBack) {
        r.verdict = "stalled";
        r.detail = "no hand-back by field " + std::to_string(bound) + " (records " + damaged.records + ")";
        if (!naming.empty())
            r.detail += "; " + naming.front();
        return r;
    }
    std::vector<std::string> differs;
    if (damaged.records != good.records)
        differs.push_back("records " + damaged.records);
    if (damaged.handBackField != good.handBackField)
        differs.push_back("hand-back at field " + std::to_string(damaged.handBackField));
    if (damaged.sound != good.sound)
        differs.push_back("sound");
    if (damaged.heap != good.heap)
        differs.push_back("heap " + damaged.heap);
    std::string changes;
    for (const std::string& d : differs)
        changes += (changes.empty() ? "" : ", ") + d;
    if (!naming.empty()) {
        r.verdict = "refused";
        r.detail = (naming.size() > 1 ? std::to_string(naming.size()) + " lines, first: " : "") + naming.front();
    } else {
        r.verdict = "used";
        r.detail = differs.empty() ? "the run is the undamaged disc's" : "differs: " + changes;
        return r;
    }
    if (!differs.empty())
        r.detail += " [" + changes + "]";
    return r;
}

std::vector<Damage> AllDamages()
{
    return {Damage::kTruncated, Damage::kHeaderFlipped, Damage::kBodyFlipped, Damage::kZeroed};
}

// Whether the disc's file is the one named (by its name, or by its path
// where two share a name; `name` in upper case).
bool Names(const tools::PakInputFile& f, const std::string& name)
{
    return Upper(BaseName(f.path)) == name || Upper(f.path) == name;
}

// The disc's files with the case done to file i: replaced by the host
// file's bytes, left off the disc, or damaged.
std::vector<tools::PakInputFile> WithCase(const std::vector<tools::PakInputFile>& files, size_t i,
                                          const DamageCase& c)
{
    std::vector<tools::PakInputFile> out = files;
    if (!c.with.empty()) {
        const std::string bytes = Slurp(c.with);
        out[i].data.assign(bytes.begin(), bytes.end());
    } else if (c.damage == Damage::kRemoved) {
        out.erase(out.begin() + std::ptrdiff_t(i));
    } else {
        out[i].data = Damaged(files[i].data, c.damage);
    }
    return out;
}

struct Options {
    fs::path dir;
    bool sample = false;
    int jobs = 4;
    std::vector<std::string> only;
    std::vector<std::pair<std::string, std::string>> replace;   // the disc's NAME, the host's FILE
};

bool ParseOptions(int argc, char** argv, Options& o)
{
    if (argc < 1)
        return false;
    o.dir = argv[0];
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        if (a == "--sample")
            o.sample = true;
        else if (a == "--jobs" && i + 1 < argc)
            o.jobs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--only" && i + 1 < argc) {
            std::istringstream in(argv[++i]);
            for (std::string name; std::getline(in, name, ',');)
                o.only.push_back(Upper(name));
        } else if (a == "--replace" && i + 1 < argc) {
            std::istringstream in(argv[++i]);
            for (std::string pair; std::getline(in, pair, ',');) {
                const size_t eq = pair.find('=');
                if (eq == std::string::npos || eq == 0 || eq + 1 == pair.size())
                    return false;
                o.replace.emplace_back(Upper(pair.substr(0, eq)), pair.substr(eq + 1));
            }
        } else
            return false;
    }
    return true;
}

}  // namespace

const char* DamageName(Damage d)
{
    switch (d) {
    case Damage::kTruncated: return "truncated";
    case Damage::kHeaderFlipped: return "header flipped";
    case Damage::kBodyFlipped: return "body flipped";
    case Damage::kZeroed: return "zeroed";
    case Damage::kRemoved: return "removed";
    }
    return "?";
}

std::vector<uint8_t> Damaged(std::span<const uint8_t> data, Damage d)
{
    std::vector<uint8_t> out(data.begin(), data.end());
    switch (d) {
    case Damage::kTruncated:
        out.resize(out.size() / 2);
        break;
    case Damage::kHeaderFlipped:
        for (size_t i = 0; i < std::min(out.size(), kHeaderBytes); i++)
            out[i] ^= 0xFF;
        break;
    case Damage::kBodyFlipped:
        if (out.size() > kHeaderBytes)
            for (int q = 1; q <= 3; q++) {
                const size_t at = kHeaderBytes + (out.size() - kHeaderBytes) * size_t(q) / 4;
                for (size_t i = at; i < std::min(out.size(), at + kBodyBytes); i++)
                    out[i] ^= 0xFF;
            }
        break;
    case Damage::kZeroed:
        std::fill(out.begin(), out.end(), 0);
        break;
    case Damage::kRemoved:
        break;
    }
    return out;
}

// A saved fuzz input: a model of three nodes whose checks pass, with no body
// parts, no gun and no hand.
std::string NotACharacter()
{
    return (fs::path(KORVALIS_SOURCE_DIR) / "tests" / "fuzz" / "corpus" / "model" / "says-marker-naming-no-model.p2b")
        .string();
}

std::vector<DamageCase> DamageSample()
{
    return {
        {"DemoData/Missions/MISSION2.EXM", Damage::kTruncated},
        {"DemoData/Missions/MISSION2.EXM", Damage::kHeaderFlipped},
        {"DemoData/Cine/M3/M3_S7.CIN", Damage::kTruncated},
        {"DemoData/Cine/M3/M3_S7.CIN", Damage::kHeaderFlipped},
        {"DemoData/Char/DACE.P2B", Damage::kTruncated},
        {"DemoData/Char/DACE.P2B", Damage::kHeaderFlipped},
        {"DemoData/Int/LEVEL3/SPPLRMG7.P2B", Damage::kTruncated},
        {"DemoData/Misc/BULLETS.P2B", Damage::kZeroed},
        {"DemoData/Char/DACEGUNS.ANI", Damage::kHeaderFlipped},
        {"DemoData/Char/NPCPFEM.ANI", Damage::kBodyFlipped},
        {"DemoData/Vags/SND_COMB.SND", Damage::kBodyFlipped},
        {"DemoData/Vags/DV207.VB", Damage::kHeaderFlipped},
        {"DemoData/DEMTITLE.IPU", Damage::kTruncated},
        {"DemoCity/TEST.MGD", Damage::kZeroed},
        // A well-formed model that is no character's, as the player, as a
        // gunman and as the player's gun.
        {"DemoData/Char/DACE.P2B", Damage::kZeroed, NotACharacter()},
        {"DemoData/Char/CHR143.P2B", Damage::kZeroed, NotACharacter()},
        {"DemoData/Misc/DACEGUN3.P2B", Damage::kZeroed, NotACharacter()},
    };
}

int WriteDamagedDisc(int argc, char** argv)
{
    std::vector<Damage> damages = AllDamages();
    damages.push_back(Damage::kRemoved);
    auto damage = std::find_if(damages.begin(), damages.end(),
                               [&](Damage d) { return argc == 3 && Upper(DamageName(d)) == Upper(argv[2]); });
    // A host file in place of the damage: its bytes replace the file's.
    const bool replace = argc == 3 && damage == damages.end() && fs::is_regular_file(argv[2]);
    if (argc != 3 || (damage == damages.end() && !replace)) {
        std::fprintf(stderr, "usage: demo_tests --damaged-disc DIR NAME 'truncated'|'header flipped'|'body "
                             "flipped'|'zeroed'|'removed'|FILE\n");
        return 2;
    }
    std::string error;
    std::vector<tools::PakInputFile> files;
    if (!tools::SampleDiscFiles(files, error)) {
        std::fprintf(stderr, "demo_tests: %s\n", error.c_str());
        return 1;
    }
    auto file = std::find_if(files.begin(), files.end(),
                             [&](const tools::PakInputFile& f) { return Names(f, Upper(argv[1])); });
    if (file == files.end()) {
        std::fprintf(stderr, "demo_tests: %s is not on the sample disc\n", argv[1]);
        return 2;
    }
    const std::string path = file->path;
    const DamageCase c{path, replace ? Damage::kZeroed : *damage, replace ? argv[2] : ""};
    if (!WriteDisc(argv[0], WithCase(files, size_t(file - files.begin()), c), error)) {
        std::fprintf(stderr, "demo_tests: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: the sample disc with %s %s\n", argv[0], path.c_str(),
                replace ? ("replaced by " + std::string(argv[2])).c_str() : DamageName(*damage));
    return 0;
}

int RunDamageTrial(int argc, char** argv)
{
    Options opt;
    if (!ParseOptions(argc, argv, opt)) {
        std::fprintf(stderr,
                     "usage: demo_tests --damage-trial DIR [--sample] [--jobs N] [--only NAME,...] "
                     "[--replace NAME=FILE,...]\n");
        return 2;
    }
    std::error_code ec;
    fs::create_directories(opt.dir, ec);
    std::string error;
    std::vector<tools::PakInputFile> files;
    if (!tools::SampleDiscFiles(files, error)) {
        std::fprintf(stderr, "demo_tests: %s\n", error.c_str());
        return 1;
    }
    const fs::path good = opt.dir / "good";
    if (!WriteDisc(good / "disc", files, error)) {
        std::fprintf(stderr, "demo_tests: %s\n", error.c_str());
        return 1;
    }
    const std::string loss = (fs::path(KORVALIS_SOURCE_DIR) / "tests" / "demo" / "scripts" / "loss.pad").string();
    const Run goodLoss = PlayDemo(good, loss, kFieldBound);
    if (!goodLoss.handedBack) {
        std::fprintf(stderr, "demo_tests: the undamaged disc's losing run does not hand back\n");
        return 1;
    }
    std::set<size_t> lossReads = FilesRead(goodLoss, files, error);
    if (lossReads.empty()) {
        std::fprintf(stderr, "demo_tests: the files read are not known: %s\n", error.c_str());
        return 1;
    }

    // The cases, and the winning branch for the files only it reads.
    std::vector<DamageCase> cases;
    auto index = [&](const std::string& path) {
        for (size_t i = 0; i < files.size(); i++)
            if (Upper(files[i].path) == Upper(path))
                return int(i);
        return -1;
    };
    if (opt.sample) {
        cases = DamageSample();
    } else if (!opt.replace.empty()) {
        for (const auto& [name, with] : opt.replace) {
            auto f = std::find_if(files.begin(), files.end(),
                                  [&](const tools::PakInputFile& f) { return Names(f, name); });
            if (f == files.end()) {
                std::fprintf(stderr, "demo_tests: %s is not on the sample disc\n", name.c_str());
                return 2;
            }
            if (!fs::is_regular_file(with)) {
                std::fprintf(stderr, "demo_tests: %s is not a file\n", with.c_str());
                return 2;
            }
            cases.push_back({f->path, Damage::kZeroed, with});
        }
    } else if (opt.only.empty()) {
        for (const tools::PakInputFile& f : files)
            for (Damage d : AllDamages())
                cases.push_back({f.path, d});
    } else {
        // The named files (by name, or by path where two share a name) in the
        // order named, so that a long trial meets the ones that matter most
        // first.
        for (const std::string& name : opt.only)
            for (const tools::PakInputFile& f : files)
                if (Names(f, name))
                    for (Damage d : AllDamages())
                        cases.push_back({f.path, d});
    }
    bool needWin = false;
    for (const DamageCase& c : cases) {
        const int i = index(c.path);
        if (i < 0) {
            std::fprintf(stderr, "demo_tests: %s is not on the sample disc\n", c.path.c_str());
            return 2;
        }
        needWin |= lossReads.count(size_t(i)) == 0;
    }
    Run goodWin;
    std::set<size_t> winReads;
    const std::string winScript = (opt.dir / "win.pad").string();
    if (needWin) {
        const Outcome piloted = Execute(Self().string() + " --pilot " + winScript + " " +
                                        (opt.dir / "pilot.log").string() + " --headless --disc " +
                                        (good / "disc").string() + " --gs-no-pixels --exit-after-runs 1" +
                                        " --exit-after-vblanks " + std::to_string(kWinFieldBound));
        if (piloted.status != 0) {
            std::fprintf(stderr, "demo_tests: the pad pilot's winning run failed:\n%s", piloted.output.c_str());
            return 1;
        }
        goodWin = PlayDemo(good, winScript, kWinFieldBound);
        if (!goodWin.handedBack) {
            std::fprintf(stderr, "demo_tests: the undamaged disc's winning run does not hand back\n");
            return 1;
        }
        winReads = FilesRead(goodWin, files, error);
    }
    // The full trial takes the files some run reads; the rest are never met.
    if (!opt.sample && opt.replace.empty())
        std::erase_if(cases, [&](const DamageCase& c) {
            const size_t i = size_t(index(c.path));
            return lossReads.count(i) == 0 && winReads.count(i) == 0;
        });
    std::printf("damaged-disc trial: %zu cases, %zu files read by the losing run, %zu by the winning run\n",
                cases.size(), lossReads.size(), winReads.size());
    std::printf("undamaged disc: losing run hands back at field %lld, winning run at %lld\n", goodLoss.handBackField,
                goodWin.handBackField);
    for (const auto& [branch, reads] : {std::pair{"losing", &lossReads}, std::pair{"winning", &winReads}}) {
        if (reads->empty())
            continue;
        std::printf("read by the %s run:", branch);
        for (size_t i : *reads)
            std::printf(" %s", files[i].path.c_str());
        std::printf("\n");
    }
    std::fflush(stdout);

    std::vector<Result> results(cases.size());
    std::atomic<size_t> next{0};
    std::mutex printing;
    auto work = [&] {
        for (size_t k; (k = next++) < cases.size();) {
            const DamageCase& c = cases[k];
            const size_t i = size_t(index(c.path));
            const bool win = lossReads.count(i) == 0;
            const std::vector<tools::PakInputFile> damaged = WithCase(files, i, c);
            const fs::path dir = opt.dir / ("case-" + std::to_string(k));
            std::string why;
            Result r;
            if (!WriteDisc(dir / "disc", damaged, why)) {
                r = {"not built", why};
            } else {
                const int bound = win ? kWinFieldBound : kFieldBound;
                const Run run = PlayDemo(dir, win ? winScript : loss, bound);
                r = Judge(run, win ? goodWin : goodLoss, c.path, bound);
            }
            std::error_code ignored;
            fs::remove_all(dir, ignored);
            results[k] = r;
            const std::lock_guard<std::mutex> lock(printing);
            const std::string damage = c.with.empty() ? DamageName(c.damage) : "replaced by " + BaseName(c.with);
            std::printf("| %s | %s | %s | %s | %s |\n", c.path.c_str(), damage.c_str(), win ? "win" : "loss",
                        r.verdict.c_str(), r.detail.c_str());
            std::fflush(stdout);
        }
    };
    std::vector<std::thread> workers;
    for (int j = 0; j < opt.jobs; j++)
        workers.emplace_back(work);
    for (std::thread& t : workers)
        t.join();

    std::map<std::string, int> counts;
    int faults = 0;
    for (const Result& r : results) {
        counts[r.verdict]++;
        faults += r.verdict == "stalled" || r.verdict == "crashed" || r.verdict == "not built";
    }
    std::printf("damaged-disc trial:");
    for (const auto& [verdict, n] : counts)
        std::printf(" %d %s", n, verdict.c_str());
    std::printf("\n");
    return faults == 0 ? 0 : 1;
}

}  // namespace demo_test
