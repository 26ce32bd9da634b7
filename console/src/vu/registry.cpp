// The microprogram registry: programs (id, name, load address, size) and
// their entries, keyed by (program id, slot index) so that a lookup answers
// with whatever image program memory holds at the address now.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/diag.h"
#include "vu/machine.h"

namespace console::vu {
namespace {

struct Program {
    uint16_t id;
    std::string name;
    uint32_t load;          // byte address
    uint32_t instructions;
};

struct Registry {
    std::vector<Program> programs;
    std::deque<vu1::Entry> entries;  // a deque: entry pointers stay valid as it grows
    std::vector<bool> valid;         // entries that passed the checks of Rebuild
    std::unordered_map<uint32_t, const vu1::Entry*> by_key;
    bool dirty = true;
    uint32_t generation = 1;
};

Registry& R()
{
    static Registry registry;
    return registry;
}

// Lookups are made for every command of every block, so each program memory
// slot remembers what it resolved to, until the slot or the registry changes.
struct CacheSlot {
    uint64_t value = 0;
    const vu1::Entry* entry = nullptr;
    uint32_t generation = 0;
};
CacheSlot g_cache[vu1::kProgramInstructions];

uint32_t Key(uint16_t program, uint32_t index)
{
    return uint32_t{program} << 16 | (index & 0xFFFF);
}

const Program* FindProgram(uint16_t id)
{
    for (const Program& p : R().programs)
        if (p.id == id)
            return &p;
    return nullptr;
}

// Checks every entry against its program and builds the key map.  Problems
// are reported here, at the first use after registration, because programs
// and entries register from static initialisers in any order.
void Rebuild()
{
    Registry& r = R();
    if (!r.dirty)
        return;
    r.dirty = false;
    ++r.generation;
    r.by_key.clear();
    r.valid.assign(r.entries.size(), false);
    for (size_t i = 0; i < r.entries.size(); ++i) {
        vu1::Entry& e = r.entries[i];
        const Program* p = FindProgram(e.program);
        if (p == nullptr) {
            Diag(Level::kError, "vu", "VU1 entry %s at 0x%04" PRIX32 " names program %u, which is not registered",
                 e.name, e.address, e.program);
            continue;
        }
        if (e.address < p->load || (e.address - p->load) % 8 != 0 ||
            (e.address - p->load) / 8 >= p->instructions) {
            Diag(Level::kError, "vu",
                 "VU1 entry %s at 0x%04" PRIX32 " lies outside program %s (0x%04" PRIX32 "..0x%04" PRIX32
                 ") or is not on an instruction",
                 e.name, e.address, p->name.c_str(), p->load, p->load + 8 * p->instructions - 1);
            continue;
        }
        e.index = (e.address - p->load) / 8;
        auto [it, inserted] = r.by_key.emplace(Key(e.program, e.index), &e);
        if (!inserted) {
            Diag(Level::kError, "vu", "VU1 entries %s and %s are both registered at 0x%04" PRIX32 " of program %s",
                 it->second->name, e.name, e.address, p->name.c_str());
            continue;
        }
        r.valid[i] = true;
    }
}

const char* NameOf(uint16_t id)
{
    const Program* p = FindProgram(id);
    return p ? p->name.c_str() : "an unregistered program";
}

// The registered entries of `program` nearest below and above `address` in a
// copy of the program loaded at `load`.
std::string NearestEntries(uint16_t program, uint32_t load, uint32_t address)
{
    const Registry& r = R();
    const vu1::Entry* below = nullptr;
    const vu1::Entry* above = nullptr;
    uint32_t below_at = 0;
    uint32_t above_at = 0;
    for (size_t i = 0; i < r.entries.size(); ++i) {
        const vu1::Entry& e = r.entries[i];
        if (!r.valid[i] || e.program != program)
            continue;
        const uint32_t at = load + 8 * e.index;
        if (at <= address && (below == nullptr || at > below_at)) {
            below = &e;
            below_at = at;
        }
        if (at > address && (above == nullptr || at < above_at)) {
            above = &e;
            above_at = at;
        }
    }
    if (below == nullptr && above == nullptr)
        return "no entries are registered for it";
    std::string out = "nearest entries: ";
    char at[32];
    if (below) {
        std::snprintf(at, sizeof at, " at 0x%04" PRIX32, below_at);
        out += below->name;
        out += at;
    }
    if (above) {
        std::snprintf(at, sizeof at, " at 0x%04" PRIX32, above_at);
        out += below ? ", " : "";
        out += above->name;
        out += at;
    }
    return out;
}

// A run of slots holding consecutive slots of one image, around `slot`: used
// to name the resident image in reports.
void ResidentRun(uint32_t slot, uint16_t* program, uint32_t* load)
{
    const uint64_t v = vu1::Vu1().Prog()[slot];
    *program = static_cast<uint16_t>(v & 0xFFFF);
    *load = 8 * (slot - static_cast<uint32_t>(v >> 32));
}

}  // namespace

std::string DescribeResident(uint32_t vu_address)
{
    char text[512];
    if (vu_address % 8 != 0) {
        std::snprintf(text, sizeof text, "0x%04" PRIX32 " is not an instruction address (not a multiple of 8)",
                      vu_address);
        return text;
    }
    if (vu_address >= vu1::kProgramBytes) {
        std::snprintf(text, sizeof text, "0x%04" PRIX32 " lies beyond the 16 KiB program memory", vu_address);
        return text;
    }
    const uint32_t slot = vu_address / 8;
    const uint64_t v = vu1::Vu1().Prog()[slot];
    if (v == 0) {
        // Name the nearest loaded image below, which is usually the one a
        // missing overlay upload should have extended.
        uint32_t s = slot;
        while (s > 0 && vu1::Vu1().Prog()[s] == 0)
            --s;
        if (vu1::Vu1().Prog()[s] == 0 || (static_cast<uint32_t>(vu1::Vu1().Prog()[s]) & 0xFFFF0000u) != vu1::kSlotMagic) {
            std::snprintf(text, sizeof text, "nothing is loaded at 0x%04" PRIX32 " (program memory is empty below it)",
                          vu_address);
            return text;
        }
        uint16_t program = 0;
        uint32_t load = 0;
        ResidentRun(s, &program, &load);
        std::snprintf(text, sizeof text,
                      "nothing is loaded at 0x%04" PRIX32 "; the image below ends at 0x%04" PRIX32
                      " (%s, id %u, loaded at 0x%04" PRIX32 ")",
                      vu_address, 8 * s + 7, NameOf(program), program, load);
        return text;
    }
    if ((static_cast<uint32_t>(v) & 0xFFFF0000u) != vu1::kSlotMagic) {
        std::snprintf(text, sizeof text, "slot 0x%04" PRIX32 " holds 0x%016" PRIX64 ", not a placeholder instruction",
                      vu_address, v);
        return text;
    }
    uint16_t program = 0;
    uint32_t load = 0;
    ResidentRun(slot, &program, &load);
    Rebuild();
    std::snprintf(text, sizeof text, "%s (id %u) is resident, instruction %" PRIu32 " of its image loaded at 0x%04" PRIX32
                  "; %s",
                  NameOf(program), program, static_cast<uint32_t>(v >> 32), load,
                  NearestEntries(program, load, vu_address).c_str());
    return text;
}

const vu1::Entry* LookupFor(uint32_t vu_address, const char* what)
{
    const vu1::Entry* e = vu1::TryLookup(vu_address);
    if (e != nullptr)
        return e;
    char message[768];
    std::snprintf(message, sizeof message, "%s: no VU1 routine at 0x%04" PRIX32 ": %s", what, vu_address,
                  DescribeResident(vu_address).c_str());
    ReportError(message);
    return nullptr;
}

}  // namespace console::vu

namespace vu1 {

using console::Diag;
using console::Level;
using namespace console::vu;

bool RegisterProgram(u16 id, const char* name, u32 load_address, u32 instructions)
{
    Registry& r = R();
    if (FindProgram(id) != nullptr) {
        Diag(Level::kError, "vu", "VU1 program id %u registered twice (%s, %s)", id, NameOf(id), name);
        return false;
    }
    if (load_address % 8 != 0 || load_address + 8 * uint64_t{instructions} > kProgramBytes) {
        Diag(Level::kError, "vu", "VU1 program %s: load address 0x%04" PRIX32 " and %" PRIu32
             " instructions do not fit program memory", name, load_address, instructions);
        return false;
    }
    r.programs.push_back(Program{id, name, load_address, instructions});
    r.dirty = true;
    return true;
}

bool RegisterEntry(u16 program, u32 address, const char* name, Fn fn)
{
    if (fn == nullptr) {
        Diag(Level::kError, "vu", "VU1 entry %s registered without a function", name);
        return false;
    }
    Registry& r = R();
    r.entries.push_back(Entry{program, address, 0, name, fn});
    r.dirty = true;
    return true;
}

const Entry* TryLookup(u32 vu_address)
{
    if (vu_address % 8 != 0 || vu_address >= kProgramBytes)
        return nullptr;
    Rebuild();
    const Registry& r = R();
    const uint32_t slot = vu_address / 8;
    const uint64_t v = Vu1().Prog()[slot];
    CacheSlot& c = g_cache[slot];
    if (c.generation == r.generation && c.value == v)
        return c.entry;
    const Entry* found = nullptr;
    if ((static_cast<uint32_t>(v) & 0xFFFF0000u) == kSlotMagic) {
        auto it = r.by_key.find(Key(static_cast<uint16_t>(v & 0xFFFF), static_cast<uint32_t>(v >> 32)));
        if (it != r.by_key.end() && (v >> 32) <= 0xFFFF)
            found = it->second;
    }
    c = CacheSlot{v, found, r.generation};
    return found;
}

const Entry* Lookup(u32 vu_address)
{
    return LookupFor(vu_address, "VU1 dispatch");
}

const Entry* Find(u16 program, const char* name)
{
    Rebuild();
    const Registry& r = R();
    for (size_t i = 0; i < r.entries.size(); ++i) {
        const Entry& e = r.entries[i];
        if (!r.valid[i] || e.program != program || std::strcmp(e.name, name) != 0)
            continue;
        const Program* p = FindProgram(program);
        const uint32_t slot = p->load / 8 + e.index;
        if (Vu1().Prog()[slot] == Slot(program, e.index))
            return &e;
        char message[768];
        std::snprintf(message, sizeof message, "%s of %s is not resident at 0x%04" PRIX32 ": %s", name,
                      p->name.c_str(), 8 * slot, DescribeResident(8 * slot).c_str());
        ReportError(message);
        return nullptr;
    }
    char message[256];
    std::snprintf(message, sizeof message, "no VU1 routine named %s is registered in %s (id %u)", name,
                  NameOf(program), program);
    ReportError(message);
    return nullptr;
}

const char* ProgramName(u16 id)
{
    const Program* p = FindProgram(id);
    return p ? p->name.c_str() : nullptr;
}

}  // namespace vu1
