#include "iop/modules.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <iop/kernel.h>

#include "core/diag.h"
#include "core/scheduler.h"
#include "iop/threadman.h"

namespace console::iop {
namespace {

struct Registered {
    std::string name;
    IopModuleStart start;
};

// Filled by static initialisers, so kept behind a function.
std::vector<Registered>& Registry()
{
    static std::vector<Registered> registry;
    return registry;
}

struct Resident {
    int id;
    std::string name;
};

struct Loaded {
    std::vector<Resident> modules;
    std::vector<const iop_library_t*> libraries;
    int next_id = 1;
};

Loaded& L()
{
    static Loaded loaded;
    return loaded;
}

std::string Report()
{
    std::string text = "resident modules:";
    if (L().modules.empty())
        text += " none";
    for (const Resident& r : L().modules)
        text += " " + r.name + "(#" + std::to_string(r.id) + ")";
    text += "; libraries:";
    if (L().libraries.empty())
        text += " none";
    for (const iop_library_t* lib : L().libraries)
        text += std::string(" ") + lib->name;
    return text;
}

const bool g_registered = [] {
    RegisterRebootHook("modules", [] { L() = Loaded{}; });
    RegisterStateReporter("iop modules", Report);
    return true;
}();

}  // namespace

IopModuleStart FindModuleStart(const std::string& name)
{
    for (const Registered& r : Registry())
        if (r.name == name)
            return r.start;
    return nullptr;
}

int AddResidentModule(const std::string& name)
{
    int id = L().next_id++;
    L().modules.push_back(Resident{id, name});
    return id;
}

bool ModuleResident(const char* name)
{
    for (const Resident& r : L().modules)
        if (r.name == name)
            return true;
    return false;
}

}  // namespace console::iop

bool console_register_iop_module(const char* name, IopModuleStart start)
{
    using console::iop::Registry;
    if (!name || !start || std::strlen(name) >= CONSOLE_MODULE_IMAGE_NAME_SIZE) {
        std::fprintf(stderr, "console: a module registration without a valid name or start function\n");
        return false;
    }
    if (console::iop::FindModuleStart(name)) {
        std::fprintf(stderr, "console: the IOP module \"%s\" is registered twice; the first one stays\n", name);
        return false;
    }
    Registry().push_back({name, start});
    return true;
}

int RegisterLibraryEntries(iop_library_t* library)
{
    using console::iop::L;
    console::iop::ChargeCall();
    if (!library || !library->name || library->name[0] == '\0' || std::strlen(library->name) > 8 ||
        (library->count > 0 && !library->entries)) {
        console::Diag(console::Level::kWarning, "iop", "RegisterLibraryEntries: a malformed export table");
        return KE_ERROR;
    }
    for (const iop_library_t* lib : L().libraries) {
        if (std::strcmp(lib->name, library->name) == 0) {
            console::Trace("iop", "library %s is already registered", library->name);
            return KE_ERROR;
        }
    }
    L().libraries.push_back(library);
    console::Trace("iop", "library %s version %u.%u registered with %u entries", library->name,
                   library->version >> 8, library->version & 0xFFu, library->count);
    return KE_OK;
}

const iop_library_t* QueryLibraryEntryTable(const char* name)
{
    using console::iop::L;
    console::iop::ChargeCall();
    if (!name)
        return nullptr;
    for (const iop_library_t* lib : L().libraries)
        if (std::strcmp(lib->name, name) == 0)
            return lib;
    return nullptr;
}
