#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <ee/memmap.h>
#include <ee/sif.h>
#include <iop/cdvd.h>
#include <iop/kernel.h>

#include "cdvd/disc.h"
#include "console/sif/iop_test_util.h"
#include "core/config.h"
#include "core/scheduler.h"
#include "iop/threadman.h"

namespace {

namespace fs = std::filesystem;
using console::Cycles;
using console::MicrosecondsToCycles;

constexpr uint32_t kSector = 2048;

std::vector<unsigned char> Pattern(size_t n, unsigned seed)
{
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<unsigned char>((i * 31 + seed) ^ (i >> 8));
    return v;
}

void WriteFile(const fs::path& path, const std::vector<unsigned char>& bytes)
{
    fs::create_directories(path.parent_path());
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    std::fclose(f);
}

// A disc directory with files in mixed case, one of them in a subdirectory
// whose host name is lower case.
class DiscDrive : public iop_test::IopTest {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/disc_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        pak_ = Pattern(5000, 1);
        bin_ = Pattern(2048, 2);
        WriteFile(root_ / "Korvalis" / "korvalis.pak", pak_);
        WriteFile(root_ / "b.bin", bin_);
        WriteFile(root_ / "a" / "x.dat", {0x77});
        WriteFile(root_ / "EMPTY.TXT", {});
        console::SetOption("disc", root_.string());
        IopTest::SetUp();
        buf_ = static_cast<unsigned char*>(AllocSysMemory(ALLOC_FIRST, 8 * kSector, nullptr));
        ASSERT_NE(buf_, nullptr);
        std::memset(buf_, 0xEE, 8 * kSector);
    }
    void TearDown() override
    {
        console::SetOption("disc", "");
        console::SetOption("cd-model", "fast");
        IopTest::TearDown();
        fs::remove_all(root_);
    }

    static uint32_t LsnOf(const char* name)
    {
        sceCdlFILE f{};
        EXPECT_EQ(sceCdSearchFile(&f, name), 1) << name;
        return f.lsn;
    }

    // Time of a command that moves the head, in the fast model.
    static Cycles FastTime(uint32_t sectors, bool seek)
    {
        return MicrosecondsToCycles(200) + (seek ? MicrosecondsToCycles(2000) : 0) +
               console::TransferCycles(uint64_t{sectors} * kSector, 10);
    }

    // Polls sceCdSync(1) in small steps; returns when it first reported done.
    Cycles PollUntilDone()
    {
        while (sceCdSync(1) == 1) {
            EXPECT_EQ(buf_[0], 0xEE);  // nothing lands before the end
            ee_spin(64);
        }
        return console::Now();
    }

    fs::path root_;
    std::vector<unsigned char> pak_, bin_;
    unsigned char* buf_ = nullptr;
};

TEST_F(DiscDrive, FilesAreFoundCaseInsensitively)
{
    sceCdlFILE f{};
    ASSERT_EQ(sceCdSearchFile(&f, "\\KORVALIS\\KORVALIS.PAK;1"), 1);
    EXPECT_EQ(f.size, 5000u);
    EXPECT_STREQ(f.name, "KORVALIS.PAK;1");
    EXPECT_EQ(LsnOf("\\korvalis\\Korvalis.pak"), f.lsn);
    EXPECT_EQ(LsnOf("/KORVALIS/KORVALIS.PAK;1"), f.lsn);
    EXPECT_EQ(LsnOf("\\B.BIN;1"), LsnOf("b.bin"));
    EXPECT_EQ(sceCdSearchFile(&f, "\\KORVALIS.PAK;1"), 0);
    EXPECT_EQ(sceCdSearchFile(&f, "\\KORVALIS\\KORVALIS.PA;1"), 0);
}

TEST_F(DiscDrive, FilesTakeWholeSectorsInSortedPathOrder)
{
    // A\X.DAT, B.BIN, EMPTY.TXT, KORVALIS\KORVALIS.PAK: one sector each for
    // the first three, the archive after them.
    uint32_t first = console::cdvd::kFirstFileLsn;
    EXPECT_EQ(LsnOf("\\A\\X.DAT;1"), first);
    EXPECT_EQ(LsnOf("\\B.BIN;1"), first + 1);
    EXPECT_EQ(LsnOf("\\EMPTY.TXT;1"), first + 2);
    EXPECT_EQ(LsnOf("\\KORVALIS\\KORVALIS.PAK;1"), first + 3);
    // The same after the index is rebuilt.
    console::ResetScheduler();
    EXPECT_EQ(LsnOf("\\KORVALIS\\KORVALIS.PAK;1"), first + 3);
}

// A folder that is a link to one elsewhere is read as the disc's own, its
// bytes included; a link back up the tree is not followed round again.
TEST_F(DiscDrive, LinkedFoldersAreReadAsTheirOwnAndALoopOnlyOnce)
{
    const fs::path elsewhere = root_.string() + "-elsewhere";
    struct Gone {
        fs::path path;
        ~Gone() { fs::remove_all(path); }
    } gone{elsewhere};
    const std::vector<unsigned char> level = Pattern(3000, 3);
    WriteFile(elsewhere / "Levels" / "level1.exm", level);
    fs::create_directory_symlink(elsewhere / "Levels", root_ / "Korvalis" / "Data");
    fs::create_directory_symlink(root_, root_ / "a" / "up");
    console::ResetScheduler();

    sceCdlFILE f{};
    ASSERT_EQ(sceCdSearchFile(&f, "\\KORVALIS\\DATA\\LEVEL1.EXM;1"), 1);
    EXPECT_EQ(f.size, 3000u);
    // The files of the tree, each once, the linked one among them, in path
    // order: A\X.DAT, B.BIN, EMPTY.TXT, KORVALIS\DATA\LEVEL1.EXM (two
    // sectors), KORVALIS\KORVALIS.PAK.
    const uint32_t first = console::cdvd::kFirstFileLsn;
    EXPECT_EQ(f.lsn, first + 3);
    EXPECT_EQ(LsnOf("\\KORVALIS\\KORVALIS.PAK;1"), first + 5);
    EXPECT_EQ(sceCdSearchFile(&f, "\\A\\UP\\B.BIN;1"), 0);
    ASSERT_EQ(sceCdRead(LsnOf("\\KORVALIS\\DATA\\LEVEL1.EXM;1"), 2, buf_, nullptr), 1);
    EXPECT_EQ(sceCdSync(0), 0);
    EXPECT_EQ(std::memcmp(buf_, level.data(), level.size()), 0);
}

TEST_F(DiscDrive, ReadsAreSectorExact)
{
    uint32_t lsn = LsnOf("\\KORVALIS\\KORVALIS.PAK;1");
    ASSERT_EQ(sceCdRead(lsn + 1, 2, buf_, nullptr), 1);
    EXPECT_EQ(sceCdSync(0), 0);
    // Bytes 2048..4999 of the file, then zeros to the end of the second sector.
    EXPECT_EQ(std::memcmp(buf_, pak_.data() + kSector, 5000 - kSector), 0);
    for (uint32_t i = 5000 - kSector; i < 2 * kSector; ++i)
        ASSERT_EQ(buf_[i], 0) << i;
    EXPECT_EQ(buf_[2 * kSector], 0xEE);  // nothing beyond the sectors asked for

    // Across files: X.DAT's one byte and its padding, then B.BIN.
    ASSERT_EQ(sceCdRead(console::cdvd::kFirstFileLsn, 2, buf_, nullptr), 1);
    EXPECT_EQ(sceCdSync(0), 0);
    EXPECT_EQ(buf_[0], 0x77);
    EXPECT_EQ(buf_[1], 0);
    EXPECT_EQ(std::memcmp(buf_ + kSector, bin_.data(), kSector), 0);
}

TEST_F(DiscDrive, SyncPollReportsBusyThenDoneAtTheModelledTime)
{
    uint32_t lsn = LsnOf("\\KORVALIS\\KORVALIS.PAK;1");
    Cycles start = console::Now();
    ASSERT_EQ(sceCdRead(lsn, 3, buf_, nullptr), 1);
    EXPECT_EQ(sceCdSync(1), 1);
    Cycles expect = FastTime(3, true);  // the head's position is unknown at first
    Cycles done = PollUntilDone();
    EXPECT_GE(done - start, expect);
    EXPECT_LT(done - start, expect + 300);
    EXPECT_EQ(std::memcmp(buf_, pak_.data(), pak_.size()), 0);

    // The next sectors are sequential: no seek time.
    std::memset(buf_, 0xEE, kSector);
    start = console::Now();
    ASSERT_EQ(sceCdRead(lsn + 3, 1, buf_, nullptr), 1);
    done = PollUntilDone();
    EXPECT_GE(done - start, FastTime(1, false));
    EXPECT_LT(done - start, FastTime(1, false) + 300);
}

TEST_F(DiscDrive, ModelsSetTheTimes)
{
    uint32_t lsn = LsnOf("\\B.BIN;1");
    console::SetOption("cd-model", "instant");
    console::ResetScheduler();
    buf_ = static_cast<unsigned char*>(AllocSysMemory(ALLOC_FIRST, kSector, nullptr));
    ASSERT_EQ(sceCdRead(lsn, 1, buf_, nullptr), 1);
    EXPECT_EQ(sceCdSync(1), 0);
    EXPECT_EQ(std::memcmp(buf_, bin_.data(), kSector), 0);

    console::SetOption("cd-model", "real");
    console::ResetScheduler();
    buf_ = static_cast<unsigned char*>(AllocSysMemory(ALLOC_FIRST, kSector, nullptr));
    Cycles start = console::Now();
    ASSERT_EQ(sceCdRead(lsn, 1, buf_, nullptr), 1);
    EXPECT_EQ(sceCdSync(0), 0);
    EXPECT_EQ(console::Now() - start, MicrosecondsToCycles(80'000) + console::TransferCycles(kSector, 4));
}

TEST_F(DiscDrive, SeekMakesTheNextReadSequentialAndStopForgetsThePosition)
{
    uint32_t lsn = LsnOf("\\KORVALIS\\KORVALIS.PAK;1");
    ASSERT_EQ(sceCdSeek(lsn), 1);
    EXPECT_EQ(sceCdSync(0), 0);
    Cycles start = console::Now();
    ASSERT_EQ(sceCdRead(lsn, 1, buf_, nullptr), 1);
    EXPECT_EQ(sceCdSync(0), 0);
    EXPECT_EQ(console::Now() - start, FastTime(1, false));
    EXPECT_EQ(sceCdStop(), 1);
    start = console::Now();
    ASSERT_EQ(sceCdRead(lsn + 1, 1, buf_, nullptr), 1);
    EXPECT_EQ(sceCdSync(0), 0);
    EXPECT_EQ(console::Now() - start, FastTime(1, true));
}

TEST_F(DiscDrive, ABusyDriveRefusesAnotherCommand)
{
    ASSERT_EQ(sceCdRead(LsnOf("\\B.BIN;1"), 1, buf_, nullptr), 1);
    EXPECT_EQ(sceCdRead(LsnOf("\\B.BIN;1"), 1, buf_ + kSector, nullptr), 0);
    EXPECT_EQ(sceCdSeek(0), 0);
    EXPECT_EQ(sceCdSync(0), 0);
    EXPECT_EQ(sceCdRead(LsnOf("\\B.BIN;1"), 1, buf_ + kSector, nullptr), 1);
}

int g_thread_result = -1;
Cycles g_woke_at = 0;
unsigned char* g_thread_buf = nullptr;

void Reader(void* arg)
{
    sceCdRead(*static_cast<uint32_t*>(arg), 2, g_thread_buf, nullptr);
    g_thread_result = sceCdSync(0);
    g_woke_at = console::Now();
}

TEST_F(DiscDrive, AThreadWaitingInSyncSleepsUntilTheReadCompletes)
{
    static uint32_t lsn;
    lsn = LsnOf("\\KORVALIS\\KORVALIS.PAK;1");
    g_thread_result = -1;
    g_thread_buf = buf_;
    iop_thread_t param{TH_C, 0, Reader, 0x800, 30};
    int t = CreateThread(&param);
    Cycles start = console::Now();
    StartThread(t, &lsn);
    console::SafePoint(0);
    iop_thread_info_t info{};
    ASSERT_EQ(ReferThreadStatus(t, &info), KE_OK);
    EXPECT_EQ(info.status, THS_WAIT);
    EXPECT_EQ(info.waitType, TSW_CDVD);
    ASSERT_TRUE(console::iop::WaitForIop("the reader", [] { return g_thread_result == 0; }));
    // The read command cost one kernel call before the drive started; the
    // thread wakes exactly when the read completes.
    EXPECT_EQ(g_woke_at - start, MicrosecondsToCycles(1) + FastTime(2, true));
    EXPECT_EQ(std::memcmp(buf_, pak_.data(), 2 * kSector), 0);
}

TEST_F(DiscDrive, DiskReadyTellsWhetherADiscIsThere)
{
    EXPECT_EQ(sceCdDiskReady(0), SCECdComplete);
    console::SetOption("disc", "");
    console::ResetScheduler();
    EXPECT_EQ(sceCdDiskReady(0), 0);
    sceCdlFILE f{};
    EXPECT_EQ(sceCdSearchFile(&f, "\\B.BIN;1"), 0);
}

TEST_F(DiscDrive, ReadsGoOnlyIntoIopMemory)
{
    console::ScopedDiagCapture capture;
    alignas(64) static unsigned char main_memory[kSector];
    EXPECT_EQ(sceCdRead(LsnOf("\\B.BIN;1"), 1, main_memory, nullptr), 0);
    EXPECT_TRUE(LogHas("not a block of IOP memory"));
}

TEST_F(DiscDrive, TheUpdateImageOnTheDiscIsFoundAtReboot)
{
    // The stand-in's image header: "CSIRX", format version 1, the name.
    std::vector<unsigned char> image(64, 0);
    std::memcpy(image.data(), "CSIRX", 5);
    image[8] = 1;
    std::memcpy(image.data() + 12, "IOPRP250", 8);
    WriteFile(root_ / "KORVALIS" / "IOPRP250.IMG", image);
    console::ResetScheduler();
    EXPECT_NE(sceSifRebootIop("cdrom0:\\KORVALIS\\IOPRP250.IMG;1"), 0);
    EXPECT_FALSE(LogHas("update image"));
    EXPECT_NE(sceSifRebootIop("cdrom0:\\KORVALIS\\MISSING.IMG;1"), 0);
    EXPECT_TRUE(LogHas("is not on the disc"));
}

}  // namespace
