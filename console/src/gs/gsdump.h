// GS dumps: every write a run makes to the GS (general registers, image
// data, local -> host reads, resets) and, at each field boundary, the
// display registers, in one compact file, so that a run's GS work can be
// replayed without the game (tools/gsreplay) and compared field by field
// with the run's frame log.
//
// The file is the magic "KGSDUMP1" and then records, each a kind byte and
// the kind's fixed fields (little-endian), image records followed by their
// quadwords.
#pragma once

#include <ee/types.h>

#include <span>
#include <string>
#include <vector>

#include "gs/display.h"

namespace console::gs {

enum class DumpKind : u8 {
    kRegister = 1,   // a general register write
    kImage = 2,      // IMAGE data of a host -> local transfer
    kReadQwords = 3, // quadwords taken by a local -> host transfer
    kReadBytes = 4,  // bytes taken by a local -> host transfer (store image)
    kReset = 5,      // the drawing side reset
    kField = 6,      // a field boundary and the display registers read out at it
};

#pragma pack(push, 1)
struct DumpRegisterRecord {
    u8 address;
    u64 value;
};
struct DumpCountRecord {  // kImage, kReadQwords, kReadBytes
    u32 count;
};
struct DumpResetRecord {
    u8 clear_memory;
};
struct DumpFieldRecord {
    u32 field;
    u64 pmode, smode2, dispfb1, display1, dispfb2, display2, bgcolor;
};
#pragma pack(pop)
static_assert(sizeof(DumpRegisterRecord) == 9);
static_assert(sizeof(DumpCountRecord) == 4);
static_assert(sizeof(DumpResetRecord) == 1);
static_assert(sizeof(DumpFieldRecord) == 60);

inline constexpr char kDumpMagic[8] = {'K', 'G', 'S', 'D', 'U', 'M', 'P', '1'};

// Recording.  The file named by --gs-dump is opened at the first GS write of
// the run; these do nothing when there is none.
namespace dump_detail {
// False once it is known that nothing is recorded: register writes then
// skip the dump with one test.
extern bool g_may_record;
void RecordRegister(u32 address, u64 value);
}  // namespace dump_detail

inline void DumpRegister(u32 address, u64 value)
{
    if (dump_detail::g_may_record)
        dump_detail::RecordRegister(address, value);
}
void DumpImage(const u128* data, size_t qwc);
void DumpRead(DumpKind kind, size_t count);
void DumpReset(bool clear_memory);
void DumpField(u64 field, const DisplayRegisters& regs);

// Starts (or, with an empty path, stops) recording to `path` at once; false
// with a message when the file cannot be written.
bool StartGsDump(const std::string& path, std::string* error);

// One record of a dump as read back.
struct DumpRecord {
    DumpKind kind;
    u32 address = 0;
    u64 value = 0;
    u32 count = 0;                 // quadwords or bytes
    std::span<const u8> data;      // kImage: count x 16 bytes
    u32 field = 0;
    DisplayRegisters display;
};

// The records of a dump one at a time, for dumps too large to list whole
// (a record spans into the bytes, which stay as they are while it is used).
class DumpReader {
public:
    // False with a message when `bytes` is not a dump; nothing is read then.
    bool Open(std::span<const u8> bytes, std::string* error);
    // The next record; false at the end, or with a message naming the
    // offset of a bad record (truncated, unknown kind, image data past the
    // end of the file).
    bool Next(DumpRecord& record, std::string* error);
    // Whether Next met a bad record.
    bool Failed() const { return failed_; }

private:
    std::span<const u8> bytes_;
    size_t at_ = 0;
    bool failed_ = false;
};

// Checks a whole dump and lists its records (spans into `bytes`); false with
// a message naming the offset of the first bad record, as DumpReader does.
bool ParseGsDump(std::span<const u8> bytes, std::vector<DumpRecord>& records, std::string* error);

// Plays one record other than kField into the GS.
void ReplayRecord(const DumpRecord& record);

}  // namespace console::gs
