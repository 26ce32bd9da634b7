#include "gs/gsdump.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/config.h"
#include "core/diag.h"
#include "gs/drawthreads.h"
#include "gs/gs.h"
#include "gs/gs_local.h"
#include "gs/regs.h"

namespace console::gs {
namespace {

// -1: --gs-dump not looked at yet; 0: no dump; 1: recording.
int g_state = -1;
std::FILE* g_file = nullptr;

bool Recording()
{
    if (g_state < 0) {
        g_state = 0;
        const std::string path = GetString("gs-dump");
        std::string error;
        if (!path.empty() && !StartGsDump(path, &error))
            Diag(Level::kError, "gs", "%s", error.c_str());
    }
    dump_detail::g_may_record = g_state == 1;
    return g_state == 1;
}

void Put(DumpKind kind, const void* record, size_t size)
{
    const u8 k = static_cast<u8>(kind);
    std::fwrite(&k, 1, 1, g_file);
    std::fwrite(record, size, 1, g_file);
}

template <typename Record>
bool Take(std::span<const u8> bytes, size_t& at, Record& record)
{
    if (bytes.size() - at < sizeof record)
        return false;
    std::memcpy(&record, bytes.data() + at, sizeof record);
    at += sizeof record;
    return true;
}

}  // namespace

bool StartGsDump(const std::string& path, std::string* error)
{
    if (g_file)
        std::fclose(g_file);
    g_file = nullptr;
    g_state = 0;
    dump_detail::g_may_record = false;
    if (path.empty())
        return true;
    g_file = std::fopen(path.c_str(), "wb");
    if (!g_file) {
        if (error)
            *error = "cannot write the GS dump " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fwrite(kDumpMagic, sizeof kDumpMagic, 1, g_file);
    g_state = 1;
    dump_detail::g_may_record = true;
    return true;
}

namespace dump_detail {
bool g_may_record = true;  // until --gs-dump is looked at

void RecordRegister(u32 address, u64 value)
{
    if (!Recording())
        return;
    const DumpRegisterRecord r{static_cast<u8>(address), value};
    Put(DumpKind::kRegister, &r, sizeof r);
}
}  // namespace dump_detail

void DumpImage(const u128* data, size_t qwc)
{
    if (!Recording())
        return;
    const DumpCountRecord r{static_cast<u32>(qwc)};
    Put(DumpKind::kImage, &r, sizeof r);
    std::fwrite(data, sizeof(u128), qwc, g_file);
}

void DumpRead(DumpKind kind, size_t count)
{
    if (!Recording())
        return;
    const DumpCountRecord r{static_cast<u32>(count)};
    Put(kind, &r, sizeof r);
}

void DumpReset(bool clear_memory)
{
    if (!Recording())
        return;
    const DumpResetRecord r{static_cast<u8>(clear_memory ? 1 : 0)};
    Put(DumpKind::kReset, &r, sizeof r);
}

void DumpField(u64 field, const DisplayRegisters& d)
{
    if (!Recording())
        return;
    const DumpFieldRecord r{static_cast<u32>(field), d.pmode,    d.smode2,   d.dispfb1,
                            d.display1,              d.dispfb2, d.display2, d.bgcolor};
    Put(DumpKind::kField, &r, sizeof r);
    // A run may end at any field: what is recorded up to it is kept.
    std::fflush(g_file);
}

namespace {

bool DumpFault(size_t at, const char* what, std::string* error)
{
    if (error) {
        char text[160];
        std::snprintf(text, sizeof text, "GS dump: %s at byte %zu", what, at);
        *error = text;
    }
    return false;
}

}  // namespace

bool DumpReader::Open(std::span<const u8> bytes, std::string* error)
{
    bytes_ = {};
    at_ = 0;
    failed_ = false;
    if (bytes.size() < sizeof kDumpMagic || std::memcmp(bytes.data(), kDumpMagic, sizeof kDumpMagic) != 0)
        return DumpFault(0, "not a GS dump (no KGSDUMP1 header)", error);
    bytes_ = bytes;
    at_ = sizeof kDumpMagic;
    return true;
}

bool DumpReader::Next(DumpRecord& rec, std::string* error)
{
    if (at_ >= bytes_.size())
        return false;
    const size_t start = at_;
    auto fail = [&](const char* what) {
        at_ = bytes_.size();
        failed_ = true;
        return DumpFault(start, what, error);
    };
    rec.kind = static_cast<DumpKind>(bytes_[at_++]);
    switch (rec.kind) {
    case DumpKind::kRegister: {
        DumpRegisterRecord r;
        if (!Take(bytes_, at_, r))
            return fail("truncated register record");
        rec.address = r.address;
        rec.value = r.value;
        return true;
    }
    case DumpKind::kImage:
    case DumpKind::kReadQwords:
    case DumpKind::kReadBytes: {
        DumpCountRecord r;
        if (!Take(bytes_, at_, r))
            return fail("truncated transfer record");
        rec.count = r.count;
        if (rec.kind == DumpKind::kImage) {
            if ((bytes_.size() - at_) / sizeof(u128) < r.count)
                return fail("image transfer past the end of the dump");
            rec.data = bytes_.subspan(at_, size_t{r.count} * sizeof(u128));
            at_ += rec.data.size();
        }
        return true;
    }
    case DumpKind::kReset: {
        DumpResetRecord r;
        if (!Take(bytes_, at_, r))
            return fail("truncated reset record");
        rec.value = r.clear_memory;
        return true;
    }
    case DumpKind::kField: {
        DumpFieldRecord r;
        if (!Take(bytes_, at_, r))
            return fail("truncated field record");
        rec.field = r.field;
        rec.display = {r.pmode, r.smode2, r.dispfb1, r.display1, r.dispfb2, r.display2, r.bgcolor};
        return true;
    }
    }
    return fail("unknown record kind");
}

bool ParseGsDump(std::span<const u8> bytes, std::vector<DumpRecord>& records, std::string* error)
{
    records.clear();
    DumpReader reader;
    if (!reader.Open(bytes, error))
        return false;
    DumpRecord rec;
    while (reader.Next(rec, error))
        records.push_back(rec);
    if (reader.Failed()) {
        records.clear();
        return false;
    }
    return true;
}

void ReplayRecord(const DumpRecord& r)
{
    switch (r.kind) {
    case DumpKind::kRegister: WriteRegister(r.address, r.value); return;
    case DumpKind::kImage: {
        // The quadwords are copied to aligned storage: the file gives no
        // alignment.
        std::vector<u128> qw(r.count);
        std::memcpy(qw.data(), r.data.data(), r.data.size());
        WriteImageData(qw.data(), qw.size());
        return;
    }
    case DumpKind::kReadQwords: {
        std::vector<u128> qw(r.count);
        ReadImageData(qw.data(), qw.size());
        return;
    }
    case DumpKind::kReadBytes: {
        std::vector<u8> bytes(r.count);
        WaitForOpenTransfer();
        TheGs().transfer.ReadImageBytes(bytes.data(), bytes.size());
        return;
    }
    case DumpKind::kReset: ResetGs(r.value != 0); return;
    case DumpKind::kField: return;
    }
}

}  // namespace console::gs
