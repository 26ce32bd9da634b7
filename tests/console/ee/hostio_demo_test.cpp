#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <ee/demo.h>
#include <ee/hostio.h>

#include "core/config.h"
#include "core/diag.h"
#include "host/host.h"

namespace {

class HostFiles : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/korvalis-hostio-XXXXXX";
        dir_ = mkdtemp(tmpl);
        console::SetOption("host-dir", dir_);
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string Read(const std::string& name)
    {
        std::ifstream f(dir_ + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    std::string dir_;
};

}  // namespace

TEST_F(HostFiles, WriteCreateTruncateLandsInHostDir)
{
    int fd = sceOpen("host0:shot.bmp", 0x602);
    ASSERT_GE(fd, 0);
    const char bytes[] = {'B', 'M', 0, 1, 2};
    EXPECT_EQ(sceWrite(fd, bytes, 5), 5);
    EXPECT_EQ(sceClose(fd), 0);
    EXPECT_EQ(Read("shot.bmp"), std::string(bytes, 5));

    fd = sceOpen("host:shot.bmp", SCE_WRONLY | SCE_CREAT | SCE_TRUNC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(sceWrite(fd, "x", 1), 1);
    sceClose(fd);
    EXPECT_EQ(Read("shot.bmp"), "x");
}

TEST_F(HostFiles, ReadsBackWhatWasWritten)
{
    int fd = sceOpen("host0:a.txt", 0x602);
    sceWrite(fd, "hello", 5);
    sceClose(fd);
    fd = sceOpen("host0:a.txt", SCE_RDONLY);
    char buf[8] = {};
    EXPECT_EQ(sceRead(fd, buf, 8), 5);
    EXPECT_STREQ(buf, "hello");
    sceClose(fd);
}

TEST_F(HostFiles, RefusesNamesOutsideTheHostDirectory)
{
    console::ScopedDiagCapture capture;
    EXPECT_LT(sceOpen("host0:../escape.txt", 0x602), 0);
    EXPECT_LT(sceOpen("host0:a/../../escape.txt", 0x602), 0);
    EXPECT_LT(sceOpen("cdrom0:\\FILE.BIN", SCE_RDONLY), 0);
    EXPECT_LT(sceOpen("host0:missing/dir/file", SCE_RDONLY), 0);
}

TEST(DemoLauncher, StartParametersComeFromOptions)
{
    console::SetOption("demo-aspect", "1");
    console::SetOption("demo-language", "3");
    u16 language = 99, aspect = 99, playmode = 99, inactive = 99, total = 99;
    sceeDemoStart(0, nullptr, &language, &aspect, &playmode, &inactive, &total);
    EXPECT_EQ(aspect, 1);
    EXPECT_EQ(language, 3);
    EXPECT_EQ(playmode, 0);
    EXPECT_EQ(total, 0);
    console::SetOption("demo-aspect", "0");
    console::SetOption("demo-language", "0");
}

namespace {
void FlagShutdown(int status)
{
    std::printf("shutdown hook ran with %d\n", status);
    std::fflush(stdout);
}
}  // namespace

TEST(DemoLauncherDeathTest, ExitAfterRunsFlushesAndEndsWithZero)
{
    EXPECT_EXIT(
        {
            console::host::Backend b;
            b.shutdown = &FlagShutdown;
            console::host::SetBackend(b);
            console::SetOption("exit-after-runs", "2");
            sceeDemoEnd();  // the first hand-back returns
            std::fprintf(stderr, "first run returned\n");
            sceeDemoEnd();
            std::fprintf(stderr, "not reached\n");
        },
        testing::ExitedWithCode(0), "first run returned");
}
