// IOP control from the main processor: reboot, synchronisation, the IOP heap
// and the module loader.  A module image reaches IOP memory by SIF DMA; the
// load request follows it over the same ordered channel, so the image has
// landed when the IOP reads its header.  The loader runs the module's start
// function in a new IOP thread and answers once it has returned.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <ee/memmap.h>
#include <ee/sif.h>
#include <iop/kernel.h>
#include <iop/module.h>

#include "cdvd/disc.h"
#include "core/config.h"
#include "core/diag.h"
#include "ee/memmap_internal.h"
#include "iop/modules.h"
#include "iop/sysmem.h"
#include "iop/threadman.h"
#include "sif/sif_internal.h"

namespace console::sif {
namespace {

// Priority of the thread running a module's start function (the loader's).
constexpr int kLoaderPriority = 8;

// Results of sceSifLoadModuleBuffer besides a module id.
constexpr int kLoadBadImage = -1;
constexpr int kLoadNotResident = -2;
constexpr int kLoadFailed = -3;

struct LoadJob {
    uintptr_t image = 0;
    std::vector<char> args;
    std::string name;
    IopModuleStart start = nullptr;
    bool done = false;
    int result = kLoadFailed;
};

struct Boot {
    bool loaded = false;
    int64_t reboot_failures = 0;
    int64_t sync_polls = 0;
    uint32_t next_job = 1;
    std::map<uint32_t, LoadJob> jobs;
};

Boot& B()
{
    static Boot boot;
    if (!boot.loaded) {
        boot.loaded = true;
        boot.reboot_failures = GetInt("iop-reboot-failures", 0);
    }
    return boot;
}

void Answer(uint32_t job, int result)
{
    Cycles at = DeliveryTime(Direction::kToEe, Latency());
    iop::ScheduleIop(at, "module load reply", [job, result] {
        auto it = B().jobs.find(job);
        if (it == B().jobs.end())
            return;
        it->second.result = result;
        it->second.done = true;
    });
}

// The module's start function, on its own IOP thread.
void LoaderThread(void* arg)
{
    uint32_t job = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg));
    auto it = B().jobs.find(job);
    if (it == B().jobs.end())
        return;
    std::string name = it->second.name;
    IopModuleStart start = it->second.start;
    // argv[0] is the module name, then the NUL-separated arguments.
    std::vector<std::string> words{name};
    const std::vector<char>& args = it->second.args;
    for (size_t i = 0; i < args.size();) {
        size_t n = strnlen(args.data() + i, args.size() - i);
        words.emplace_back(args.data() + i, n);
        i += n + 1;
    }
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    int rc = start(static_cast<int>(words.size()), argv.data());
    int result;
    if (rc == RESIDENT_END || rc == REMOVABLE_RESIDENT_END) {
        result = iop::AddResidentModule(name);
        Trace("iop", "%llu module %s resident as #%d", static_cast<unsigned long long>(Now()), name.c_str(), result);
    } else {
        result = kLoadNotResident;
        Trace("iop", "%llu module %s did not stay resident (%d)", static_cast<unsigned long long>(Now()),
              name.c_str(), rc);
    }
    Answer(job, result);
}

// The load request reaches the IOP: read the image header and start the
// module, or answer with a failure.
void LoadArrives(uint32_t job)
{
    auto it = B().jobs.find(job);
    if (it == B().jobs.end())
        return;
    LoadJob& j = it->second;
    LandDueDma();
    const uint8_t* h = reinterpret_cast<const uint8_t*>(j.image);
    uint32_t version = 0;
    std::memcpy(&version, h + 8, sizeof version);
    if (std::memcmp(h, CONSOLE_MODULE_IMAGE_MAGIC, 8) != 0 || version != CONSOLE_MODULE_IMAGE_VERSION) {
        Diag(Level::kWarning, "iop", "the image at 0x%08lx is not a module image", static_cast<unsigned long>(j.image));
        Answer(job, kLoadBadImage);
        return;
    }
    j.name.assign(reinterpret_cast<const char*>(h + CONSOLE_MODULE_IMAGE_NAME_OFFSET),
                  strnlen(reinterpret_cast<const char*>(h + CONSOLE_MODULE_IMAGE_NAME_OFFSET),
                          CONSOLE_MODULE_IMAGE_NAME_SIZE));
    j.start = iop::FindModuleStart(j.name);
    if (!j.start) {
        Diag(Level::kWarning, "iop", "no module called \"%s\" is known; the image is not loaded", j.name.c_str());
        Answer(job, kLoadBadImage);
        return;
    }
    Trace("iop", "%llu loading module %s", static_cast<unsigned long long>(Now()), j.name.c_str());
    int thread = iop::SpawnThread(LoaderThread, reinterpret_cast<void*>(static_cast<uintptr_t>(job)),
                                  kLoaderPriority, "module start");
    if (thread < 0)
        Answer(job, kLoadFailed);
}

bool OnEeMain(const char* call)
{
    if (CurrentContext() == Context::kMain)
        return true;
    Diag(Level::kError, "sif", "%s outside the main processor's main context", call);
    return false;
}

// "cdrom0:\DIR\FILE;1" -> "\DIR\FILE;1".
std::string DiscPath(const char* image)
{
    std::string path(image);
    size_t colon = path.find(':');
    if (colon != std::string::npos && path.compare(0, 5, "cdrom") == 0)
        path.erase(0, colon + 1);
    return path;
}

// What is wrong with an update image on the disc, or null: it must hold the
// 64-byte image header, "CSIRX", format version 1 and a terminated name.
const char* UpdateImageFault(const console::cdvd::DiscFile& file)
{
    if (file.size < 64)
        return "shorter than its 64-byte header";
    uint8_t sector[console::cdvd::kSectorSize];
    console::cdvd::ReadSectors(file.lsn, 1, sector);
    if (std::memcmp(sector, "CSIRX", 5) != 0)
        return "no \"CSIRX\" mark";
    if (sector[8] != 1)
        return "an unknown format version";
    if (std::memchr(sector + 12, 0, 32) == nullptr)
        return "its name is not terminated";
    return nullptr;
}

void ResetBoot()
{
    Boot& b = B();
    b.jobs.clear();
    b.sync_polls = 0;
    b.loaded = false;
}

const bool g_registered = [] {
    RegisterResetHook("sif boot", ResetBoot);
    return true;
}();

}  // namespace
}  // namespace console::sif

using console::Diag;
using console::Level;
using namespace console::sif;

int sceSifRebootIop(const char* image)
{
    console::SafePoint(0);
    if (!OnEeMain("sceSifRebootIop"))
        return 0;
    Boot& b = B();
    if (b.reboot_failures > 0) {
        --b.reboot_failures;
        console::Trace("sif", "reboot refused (%lld more refusals configured)",
                       static_cast<long long>(b.reboot_failures));
        return 0;
    }
    if (!image || !*image) {
        Diag(Level::kWarning, "sif", "IOP reboot without an update image");
    } else if (!console::cdvd::DiscPresent()) {
        Diag(Level::kWarning, "sif", "no disc: the IOP reboots without its update image %s", image);
    } else if (!console::cdvd::FindFile(DiscPath(image))) {
        Diag(Level::kWarning, "sif", "the IOP update image %s is not on the disc; the IOP reboots without it", image);
    } else if (const char* why = UpdateImageFault(*console::cdvd::FindFile(DiscPath(image)))) {
        Diag(Level::kWarning, "sif", "the IOP update image %s is damaged (%s); the IOP reboots without it", image, why);
    } else {
        console::Trace("sif", "IOP update image %s found on the disc", image);
    }
    console::iop::Reboot();
    b.jobs.clear();
    b.sync_polls = console::GetInt("iop-sync-polls", 2);
    return 1;
}

int sceSifSyncIop()
{
    console::SafePoint(console::GetCosts().poll_call);
    Boot& b = B();
    if (b.sync_polls > 0) {
        --b.sync_polls;
        return 0;
    }
    return 1;
}

int sceSifInitIopHeap()
{
    console::SafePoint(0);
    return 0;
}

void* sceSifAllocIopHeap(unsigned int size)
{
    console::SafePoint(0);
    return console::iop::AllocIopMemory(ALLOC_FIRST, size, nullptr);
}

int sceSifFreeIopHeap(void* p)
{
    console::SafePoint(0);
    return console::iop::FreeIopMemory(p);
}

int sceSifLoadModuleBuffer(const void* iop_addr, int arglen, const char* args)
{
    console::SafePoint(0);
    if (!OnEeMain("sceSifLoadModuleBuffer"))
        return kLoadFailed;
    if (console::ClassifyAddress(iop_addr, CONSOLE_MODULE_IMAGE_HEADER_SIZE) != console::Region::kIopRam) {
        Diag(Level::kError, "sif", "sceSifLoadModuleBuffer: 0x%08lx is not IOP memory",
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(iop_addr)));
        return kLoadBadImage;
    }
    if (arglen < 0 || (arglen > 0 && !args)) {
        Diag(Level::kError, "sif", "sceSifLoadModuleBuffer: %d argument bytes at %p", arglen,
             static_cast<const void*>(args));
        return kLoadFailed;
    }
    Boot& b = B();
    uint32_t job = b.next_job++;
    LoadJob& j = b.jobs[job];
    j.image = reinterpret_cast<uintptr_t>(iop_addr);
    if (arglen > 0)
        j.args.assign(args, args + arglen);
    console::Cycles at = DeliveryTime(Direction::kToIop, Latency());
    console::iop::ScheduleIop(at, "module load request", [job] { LoadArrives(job); });
    bool ok = console::iop::WaitForIop("a module's start function", [job] {
        auto it = B().jobs.find(job);
        return it == B().jobs.end() || it->second.done;
    });
    auto it = b.jobs.find(job);
    int result = ok && it != b.jobs.end() ? it->second.result : kLoadFailed;
    if (it != b.jobs.end())
        b.jobs.erase(it);
    return result;
}

int sceFsReset()
{
    console::SafePoint(0);
    return 0;
}
