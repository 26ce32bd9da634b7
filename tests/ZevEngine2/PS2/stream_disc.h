// Test support for the disc streamer: a synthetic disc directory holding a
// KORVALIS.PAK made by the archive builder, a machine started from power-on,
// and the streaming module loaded onto the I/O processor.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <ee/sif.h>

#include "core/config.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/console_out.h"
#include "tools/lib/pak.h"

namespace streamtest {

// Bytes that differ from file to file and from offset to offset, so a read
// from the wrong place shows.
inline std::vector<u8> Pattern(size_t n, u32 seed)
{
    std::vector<u8> v(n);
    u32 x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; i++) {
        x = x * 1103515245u + 12345u;
        v[i] = u8(x >> 16);
    }
    return v;
}

// A pattern that is sound data as the sound processor decodes it: each
// 16-byte block's first byte a shift of at most 12 and a filter of at most
// 4, its flag byte 0.
inline std::vector<u8> SoundPattern(size_t n, u32 seed)
{
    std::vector<u8> v = Pattern(n, seed);
    for (size_t i = 0; i + 16 <= n; i += 16) {
        v[i] = u8((v[i] >> 4) % 5 << 4 | (v[i] & 15) % 13);
        v[i + 1] = 0;
    }
    return v;
}

inline size_t CountOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

class DiscTest : public testing::Test {
protected:
    void SetUp() override
    {
        console::ResetScheduler();
        console::ClearDiagLog();
        console::ClearConsoleText();
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        // The process id keeps runs of the same test in other build trees apart.
        disc_ = testing::TempDir() + "stream_disc_" + info->test_suite_name() + "_" + info->name() + "_" +
                std::to_string(getpid());
        std::filesystem::remove_all(disc_);
        std::filesystem::create_directories(disc_ + "/KORVALIS");
        console::SetOption("disc", disc_);
    }

    void TearDown() override
    {
        console::SetOption("disc", "");
        console::SetOption("cd-model", "fast");  // tests may choose another drive
        console::ResetScheduler();
        console::ClearDiagLog();
        std::filesystem::remove_all(disc_);
    }

    // Builds the archive from files and puts it on the disc.
    void MakeDisc(const std::vector<tools::PakInputFile>& files)
    {
        std::vector<u8> pak;
        std::string error;
        ASSERT_TRUE(tools::BuildPak(files, "KORVALIS", pak, error)) << error;
        WritePak(pak);
    }

    void WritePak(const std::vector<u8>& pak)
    {
        std::string error;
        ASSERT_TRUE(tools::WriteHostFile(disc_ + "/KORVALIS/KORVALIS.PAK", pak, error)) << error;
    }

    std::string disc_;
};

}  // namespace streamtest

// The game's streamer client, started on the disc above.  Game headers come
// after every standard header (Zev.h renames the C library's names).
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/Streamer.h"

namespace streamtest {

class StreamerTest : public DiscTest {
protected:
    void SetUp() override
    {
        DiscTest::SetUp();
        // The machine was rebooted: the client starts over, as after power-on.
        irxloaded = 0;
        initialized = 0;
        numvfdsallocated = 0;
        sceSifInitRpc(0);
        sceSifInitIopHeap();
    }

    void TearDown() override
    {
        // Leave no call in flight across the reset; the streamer's server
        // and a sound module started on this machine go with it, so the
        // clients start over as after power-on.
        while (StreamerIsBusy()) {
        }
        SoundForgetModule();
        DiscTest::TearDown();
        irxloaded = 0;
        initialized = 0;
        numvfdsallocated = 0;
    }

    // Builds the disc and starts the streamer on it.
    void StartWith(const std::vector<tools::PakInputFile>& files)
    {
        MakeDisc(files);
        ASSERT_EQ(StreamerInit(), 1);
    }
};

}  // namespace streamtest
