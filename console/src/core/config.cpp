#include "core/config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace console {
namespace {

struct OptionSpec {
    const char* name;
    bool takes_value;
    const char* help;
};

// Every option the stand-in understands.  Flags take no value.
constexpr OptionSpec kOptions[] = {
    {"headless", false, "never open a window"},
    {"strict", false, "any error ends the run with a non-zero status"},
    {"clock", true, "virtual|realtime"},
    {"disc", true, "host folder whose files are the disc's files"},
    {"host-dir", true, "directory behind host0: files"},
    {"exit-after-vblanks", true, "end the run after N fields"},
    {"exit-after-runs", true, "end the run after N launcher hand-backs"},
    {"start", true, "EP,REC: the episode and script record a run starts at (default 2,5)"},
    {"exit-on-console", true, "end the run when console output matches REGEX"},
    {"frame-log", true, "write one CRC line per field to FILE"},
    {"dump-frames", true, "directory for PNG frame dumps"},
    {"dump-at", true, "comma-separated fields to dump"},
    {"dump-every", true, "dump every Nth field"},
    {"wav", true, "write the sound output to FILE"},
    {"pad-script", true, "pad input script"},
    {"pad-record", true, "record pad input as a script to FILE"},
    {"scale", true, "window scale"},
    {"trace", true, "comma-separated trace categories"},
    {"trace-file", true, "trace output file"},
    {"watchdog-sec", true, "wall-clock seconds without a safe point before abort"},
    {"hw-lag", false, "kicks from the main context wait for the next wait"},
    {"dump-gs-at", true, "dump GS memory at FIELD"},
    {"gs-dump", true, "record every GS write of the run to FILE (tools/gsreplay plays it)"},
    {"gs-threads", true, "GS draw threads, 0..8 (default: cores minus one)"},
    {"gs-no-pixels", false, "the GS draws no pixels (runs that need the logic, not the pictures)"},
    {"sif-latency-us", true, "SIF request and reply delivery time"},
    {"cd-model", true, "instant|fast|real"},
    {"spu-xfer-mbps", true, "sound-RAM transfer rate"},
    {"pad-cmd-fields", true, "fields a pad command takes"},
    {"pad-align-fields", true, "fields a pad actuator alignment takes"},
    {"ee-spin-cycles", true, "bus cycles per ee_spin iteration"},
    {"reg-access-cycles", true, "bus cycles per register accessor"},
    {"poll-call-cycles", true, "bus cycles per polling library call"},
    {"iop-call-us", true, "IOP time per IOP kernel call, in microseconds"},
    {"iop-spin-cycles", true, "IOP cycles per iop_spin iteration"},
    {"sif-dma-us", true, "fixed time of a SIF DMA transfer"},
    {"sif-dma-mbps", true, "SIF DMA rate"},
    {"deadlock-sec", true, "virtual seconds a wait may see only clock ticks"},
    {"ee-heap-mib", true, "size of the game's heap arena"},
    {"iop-free-kib", true, "free IOP memory"},
    {"iop-sync-polls", true, "sceSifSyncIop polls that report a reboot still in progress"},
    {"iop-reboot-failures", true, "sceSifRebootIop calls refused before one is accepted (tests)"},
    {"demo-aspect", true, "launcher aspect flag"},
    {"demo-language", true, "launcher language"},
    {"demo-playmode", true, "launcher play mode"},
    {"vu1-dump", true, "append the VU1 dump written with each VU1 error to FILE"},
};

std::map<std::string, std::string, std::less<>>& Values()
{
    static std::map<std::string, std::string, std::less<>> values;
    return values;
}

bool g_strict_default = false;

const OptionSpec* Find(std::string_view name)
{
    for (const auto& o : kOptions)
        if (name == o.name)
            return &o;
    return nullptr;
}

std::string EnvName(const char* option)
{
    std::string env = "CONSOLE_";
    for (const char* p = option; *p; ++p)
        env += (*p == '-') ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    return env;
}

}  // namespace

void ResetConfig()
{
    Values().clear();
}

void Configure(int& argc, char** argv, ConfigureMode mode)
{
    g_strict_default = (mode == ConfigureMode::kTest);
    for (const auto& o : kOptions) {
        if (const char* v = std::getenv(EnvName(o.name).c_str()))
            Values()[o.name] = v;
    }
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strncmp(arg, "--", 2) != 0 || arg[2] == '\0') {
            argv[out++] = argv[i];
            continue;
        }
        std::string_view body(arg + 2);
        std::string_view value;
        bool has_inline = false;
        if (auto eq = body.find('='); eq != std::string_view::npos) {
            value = body.substr(eq + 1);
            body = body.substr(0, eq);
            has_inline = true;
        }
        const OptionSpec* option = Find(body);
        if (!option) {
            if (mode == ConfigureMode::kTest || body == "help") {
                argv[out++] = argv[i];
                continue;
            }
            std::fprintf(stderr, "console: unknown option --%.*s\n%s", static_cast<int>(body.size()), body.data(),
                         Usage().c_str());
            std::exit(2);
        }
        if (option->takes_value && !has_inline) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "console: option --%s needs a value\n", option->name);
                std::exit(2);
            }
            value = argv[++i];
        } else if (!option->takes_value) {
            value = has_inline ? value : std::string_view("1");
        }
        Values()[option->name] = std::string(value);
    }
    argv[out] = nullptr;
    argc = out;
}

bool HasOption(std::string_view name)
{
    return Values().find(name) != Values().end();
}

std::string GetString(std::string_view name, std::string_view fallback)
{
    auto it = Values().find(name);
    return it == Values().end() ? std::string(fallback) : it->second;
}

int64_t GetInt(std::string_view name, int64_t fallback)
{
    auto it = Values().find(name);
    if (it == Values().end())
        return fallback;
    char* end = nullptr;
    long long v = std::strtoll(it->second.c_str(), &end, 0);
    if (end == it->second.c_str() || *end != '\0') {
        std::fprintf(stderr, "console: option --%.*s wants a number, not '%s'\n", static_cast<int>(name.size()),
                     name.data(), it->second.c_str());
        std::exit(2);
    }
    return v;
}

bool GetFlag(std::string_view name)
{
    auto it = Values().find(name);
    if (it == Values().end())
        return false;
    return it->second != "0" && it->second != "false" && it->second != "no";
}

void SetOption(std::string_view name, std::string_view value)
{
    Values()[std::string(name)] = std::string(value);
}

bool Strict()
{
    if (HasOption("strict"))
        return GetFlag("strict");
    return g_strict_default;
}

std::string Usage()
{
    std::string text = "console options (also as CONSOLE_* environment variables):\n";
    for (const auto& o : kOptions) {
        char line[160];
        std::snprintf(line, sizeof line, "  --%s%s  %s\n", o.name, o.takes_value ? " VALUE" : "", o.help);
        text += line;
    }
    return text;
}

}  // namespace console
