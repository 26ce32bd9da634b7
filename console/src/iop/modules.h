// Loaded IOP modules: the registry of start functions (CONSOLE_IOP_MODULE),
// the modules resident since the last reboot, and the export tables.
#pragma once

#include <string>

#include <iop/module.h>

namespace console::iop {

// The start function registered for `name`, or null.
IopModuleStart FindModuleStart(const std::string& name);

// Records a module that stayed resident; returns its id (1, 2, ...).
int AddResidentModule(const std::string& name);

// True while a module called `name` is resident (services such as the pad
// library and the sound library check for their modules).
bool ModuleResident(const char* name);

}  // namespace console::iop
