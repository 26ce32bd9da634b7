// I/O-processor modules: registration of a module's start function, its
// resident result, and export tables.
#pragma once

#include "ee/types.h"
#include "iop/module_image.h"

// What a start function returns.
#define RESIDENT_END 0            // stays loaded; the loader returns its id
#define NO_RESIDENT_END 1         // unloads; the loader returns a negative value
#define REMOVABLE_RESIDENT_END 2  // stays loaded, like RESIDENT_END

// A module's entry: argv[0] is the module name, then the loader's arguments.
typedef int (*IopModuleStart)(int argc, char* argv[]);

// Registers the start function of the module called `name`, found by the
// loader through an image naming it (<iop/module_image.h>).  Used through
// CONSOLE_IOP_MODULE at namespace scope.
bool console_register_iop_module(const char* name, IopModuleStart start);

#define CONSOLE_IOP_MODULE_CAT2(a, b) a##b
#define CONSOLE_IOP_MODULE_CAT(a, b) CONSOLE_IOP_MODULE_CAT2(a, b)
#define CONSOLE_IOP_MODULE(name, start_function)                                                  \
    [[maybe_unused]] static const bool CONSOLE_IOP_MODULE_CAT(console_iop_module_, __LINE__) = \
        console_register_iop_module(name, start_function)

// An export table: a library's name (up to 8 characters), version and entry
// points.  The first four entries are the kernel's standard ones (start,
// reserved, stop, reserved); a module's own entries follow.
struct iop_library_t
{
    const char* name;
    u16 version;  // major << 8 | minor
    u16 count;    // number of entries
    void* const* entries;
};

// Records an export table until the next reboot.  0, or KE_ERROR when the
// table is malformed or a library of that name is already registered.
int RegisterLibraryEntries(iop_library_t* library);

// The registered table of library `name`, or null.
const iop_library_t* QueryLibraryEntryTable(const char* name);
