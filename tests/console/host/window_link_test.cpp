// The game's side of the window: the link to the window program and the
// window front end.  Peers that are not the window program are played by a
// thread at the other end of a socket; the window program itself runs on
// SDL's dummy video and sound drivers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "console/host/png_reader.h"
#include "core/config.h"
#include "core/scheduler.h"
#include "host/host.h"
#include "host/window/link.h"
#include "host/window/window_frontend.h"

extern char** environ;

namespace {

namespace window = console::host::window;
using console::host::PadInput;
using console::host::RgbaImage;
using window::Channel;
using window::Kind;
using window::Message;
using window::WindowLink;

// A peer played by a thread over a socket pair; `play` gets its end.
class FakePeer {
public:
    explicit FakePeer(std::function<void(Channel&)> play)
    {
        int pair[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        ours_ = pair[0];
        theirs_ = pair[1];
        thread_ = std::thread([this, play = std::move(play)] {
            Channel channel(theirs_);
            play(channel);
            close(theirs_);
        });
    }
    ~FakePeer()
    {
        if (ours_ >= 0)
            shutdown(ours_, SHUT_RDWR);
        thread_.join();
    }
    // The game's end, handed to the link (which closes it).
    int Take()
    {
        const int fd = ours_;
        ours_ = -1;
        return fd;
    }

private:
    int ours_ = -1, theirs_ = -1;
    std::thread thread_;
};

// The window program's side of the greeting, as far as `upto` goes:
// 1 hello, 2 the setup read, 3 ready.
void Greet(Channel& peer, int upto = 3)
{
    peer.Send(Kind::kHello, window::Hello{window::kMagic, window::kProtocolVersion});
    if (upto < 2)
        return;
    Message setup;
    ASSERT_EQ(peer.Receive(&setup, 5000), Channel::Status::kMessage);
    ASSERT_EQ(setup.kind, Kind::kSetup);
    if (upto >= 3)
        peer.Send(Kind::kReady, window::Ready{0});
}

// Pads as a window with nothing pressed would answer them.
window::Pads IdlePads(uint32_t field)
{
    window::Pads pads{};
    pads.field = field;
    pads.pads[0].connected = 1;
    for (window::PadState& pad : pads.pads)
        for (uint8_t& stick : pad.sticks)
            stick = 0x80;
    return pads;
}

WindowLink::Settings QuickSettings()
{
    WindowLink::Settings settings;
    settings.answer_ms = 300;
    return settings;
}

RgbaImage Picture(uint32_t width, uint32_t height, uint32_t field)
{
    RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(size_t{width} * height);
    for (size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u + field);
    return image;
}

void UseDummyDrivers()
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// The build's window program, on SDL's dummy drivers.
testing::AssertionResult StartWindowProgram(WindowLink& link)
{
    UseDummyDrivers();
    WindowLink::Settings settings;
    settings.program = KORVALIS_WINDOW_PROGRAM;
    std::string error;
    if (!link.Start(settings, &error))
        return testing::AssertionFailure() << error;
    return testing::AssertionSuccess();
}

TEST(WindowLink, RefusesAPeerThatIsNotItsWindowProgram)
{
    struct Case {
        const char* what;
        std::function<void(Channel&)> play;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"says nothing", [](Channel& peer) { Message m; peer.Receive(&m, 2000); }, "did not answer within 300 ms"},
        {"hangs up at once", [](Channel&) {}, "ended before its window was open"},
        {"greets with another magic",
         [](Channel& peer) { peer.Send(Kind::kHello, window::Hello{0x12345678, window::kProtocolVersion}); },
         "is not this build's window program"},
        {"greets as another version",
         [](Channel& peer) { peer.Send(Kind::kHello, window::Hello{window::kMagic, window::kProtocolVersion + 1}); },
         "is not this build's window program"},
        {"sends what no end knows",
         [](Channel& peer) {
             const uint32_t junk[4] = {77, 5, 0, 0};
             send(peer.Fd(), junk, sizeof junk, MSG_NOSIGNAL);
         },
         "it sent a message of kind 77 with 5 bytes"},
        {"sends a hello too short",
         [](Channel& peer) {
             const uint32_t short_hello[3] = {static_cast<uint32_t>(Kind::kHello), 4, window::kMagic};
             send(peer.Fd(), short_hello, sizeof short_hello, MSG_NOSIGNAL);
         },
         "with 4 bytes"},
        {"cannot open its window",
         [](Channel& peer) {
             Greet(peer, 2);
             const std::string why = "cannot open the window: no display here";
             peer.Send(Kind::kFailed, why.data(), static_cast<uint32_t>(why.size()));
         },
         "cannot open the window: no display here"},
        {"answers out of turn",
         [](Channel& peer) {
             Greet(peer, 2);
             peer.Send(Kind::kPads, IdlePads(1));
         },
         "instead of saying it is ready"},
        {"hangs up after its hello", [](Channel& peer) { Greet(peer, 2); }, "ended before its window was open"},
    };
    for (const Case& c : cases) {
        FakePeer peer(c.play);
        WindowLink link;
        std::string error;
        EXPECT_FALSE(link.Attach(peer.Take(), QuickSettings(), &error)) << c.what;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(link.Pictures(), nullptr) << c.what;
    }

    // A program that is not there, and one that is no window program.
    WindowLink link;
    std::string error;
    WindowLink::Settings settings = QuickSettings();
    settings.program = "/nonexistent/korvalis-window";
    EXPECT_FALSE(link.Start(settings, &error));
    EXPECT_NE(error.find("no window program /nonexistent/korvalis-window"), std::string::npos) << error;
    settings.program = "/bin/true";
    EXPECT_FALSE(link.Start(settings, &error));
    EXPECT_NE(error.find("/bin/true ended before its window was open (exit status 0)"), std::string::npos) << error;
}

// A peer that breaks the protocol after the greeting loses the link, and
// every later call says so.
TEST(WindowLink, APeerBreakingTheProtocolLaterIsGone)
{
    FakePeer peer([](Channel& p) {
        Greet(p);
        Message m;
        ASSERT_EQ(p.Receive(&m, 5000), Channel::Status::kMessage);
        ASSERT_EQ(m.kind, Kind::kPollPads);
        p.Send(Kind::kShown, window::Shown{1});  // a slot it never had
        p.Receive(&m, 2000);
    });
    WindowLink link;
    std::string error;
    ASSERT_TRUE(link.Attach(peer.Take(), QuickSettings(), &error)) << error;
    PadInput pads[2];
    EXPECT_FALSE(link.ReadPads(1, pads));
    EXPECT_NE(link.Gone().find("gave back picture slot 1"), std::string::npos) << link.Gone();
    EXPECT_FALSE(link.Show(Picture(4, 4, 1), 1));
    EXPECT_FALSE(link.Drain());
}

// Starts the window program by hand with `socket` as its descriptor 3 and no
// picture memory; its standard error goes to `errors`.
pid_t SpawnWindowProgram(int socket, int errors)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, socket, window::kSocketFd);
    posix_spawn_file_actions_adddup2(&actions, errors, 2);
    char program[] = KORVALIS_WINDOW_PROGRAM;
    char* argv[] = {program, nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, program, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    return text;
}

TEST(WindowProgram, RefusesAPeerThatIsNotTheGame)
{
    UseDummyDrivers();
    struct Case {
        const char* what;
        window::Setup setup;
    };
    const Case cases[] = {
        {"another magic", {0x12345678, window::kProtocolVersion, 1, 0, window::kPictureSlots, window::kMaxPictureSide}},
        {"another version", {window::kMagic, window::kProtocolVersion + 1, 1, 0, window::kPictureSlots,
                             window::kMaxPictureSide}},
        {"other picture slots", {window::kMagic, window::kProtocolVersion, 1, 0, 3, window::kMaxPictureSide}},
    };
    for (const Case& c : cases) {
        int pair[2], errors[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        ASSERT_EQ(pipe2(errors, O_CLOEXEC), 0);
        const pid_t pid = SpawnWindowProgram(pair[1], errors[1]);
        close(pair[1]);
        close(errors[1]);
        Channel game(pair[0]);
        Message hello;
        ASSERT_EQ(game.Receive(&hello, 10'000), Channel::Status::kMessage) << c.what;
        EXPECT_EQ(hello.kind, Kind::kHello);
        EXPECT_EQ(hello.As<window::Hello>().magic, window::kMagic);
        EXPECT_EQ(hello.As<window::Hello>().version, window::kProtocolVersion);
        game.Send(Kind::kSetup, c.setup);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_EQ(window::DescribeEnding(status), "exit status 2") << c.what;
        EXPECT_NE(ReadAll(errors[0]).find("refusing a peer that is not this build's korvalis"), std::string::npos)
            << c.what;
        close(errors[0]);
        close(pair[0]);
    }
}

TEST(WindowLink, CarriesPicturesSoundPadsAndMotorsToTheWindowProgram)
{
    WindowLink link;
    ASSERT_TRUE(StartWindowProgram(link));
    EXPECT_TRUE(link.HasSound());  // SDL's dummy sound driver
    EXPECT_GT(link.Pid(), 0);
    // More pictures than slots, of several sizes, pads asked in between: each
    // answer is for the field asked.
    for (uint32_t field = 1; field <= 8; ++field) {
        const RgbaImage picture = field % 3 ? Picture(640, 512, field) : Picture(320, 224, field);
        ASSERT_TRUE(link.Show(picture, field)) << link.Gone();
        std::vector<int16_t> sound(960 * 2, static_cast<int16_t>(field * 100));
        ASSERT_TRUE(link.Play(sound.data(), 960)) << link.Gone();
        PadInput pads[2];
        ASSERT_TRUE(link.ReadPads(field, pads)) << link.Gone();
        EXPECT_TRUE(pads[0].connected);
        EXPECT_EQ(pads[0].buttons, 0);
        EXPECT_EQ(pads[0].sticks[3], 0x80);
        EXPECT_FALSE(pads[1].connected);
    }
    // Sound longer than one message, motors, and a picture too large to show.
    std::vector<int16_t> second(48000 * 2, 1000);
    EXPECT_TRUE(link.Play(second.data(), 48000));
    EXPECT_TRUE(link.SetRumble(0, true, 200));
    EXPECT_TRUE(link.SetRumble(1, false, 0));
    EXPECT_TRUE(link.Show(Picture(window::kMaxPictureSide + 1, 2, 9), 9));
    EXPECT_TRUE(link.Drain());
    EXPECT_FALSE(link.QuitAsked());
    EXPECT_EQ(link.Gone(), "");
    link.Close();
    EXPECT_EQ(link.Ending(), "exit status 0");
}

TEST(WindowLink, NoticesTheWindowProgramGoing)
{
    WindowLink link;
    ASSERT_TRUE(StartWindowProgram(link));
    ASSERT_TRUE(link.Show(Picture(64, 64, 1), 1));
    ASSERT_TRUE(link.HasSound());
    kill(link.Pid(), SIGKILL);
    // The pads are the first question it cannot answer.
    PadInput pads[2];
    EXPECT_FALSE(link.ReadPads(1, pads));
    EXPECT_NE(link.Gone().find("killed by signal 9"), std::string::npos) << link.Gone();
    const std::vector<int16_t> sound(4, 0);
    EXPECT_FALSE(link.Show(Picture(64, 64, 2), 2));
    EXPECT_FALSE(link.Play(sound.data(), 2));
    EXPECT_FALSE(link.SetRumble(0, true, 1));
    EXPECT_FALSE(link.Drain());
    link.Close();
}

// The front end over a peer that presses F12 before the pads of field 1 and
// then, at the pads of field 2, either closes the window or hangs up.
class WindowFrontEnd : public testing::Test {
protected:
    enum class Ending { kQuit, kHangUp };

    void SetUp() override
    {
        // Named by the build and the test, not the process: the death tests'
        // runs write here and the test reads what they left.
        dir_ = std::filesystem::path(testing::TempDir()) /
               ("window-frontend-" + std::to_string(std::hash<std::string>()(KORVALIS_WINDOW_PROGRAM)) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        saved_dir_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        console::SetOption("frame-log", (dir_ / "frames.log").string());
        console::SetOption("wav", (dir_ / "sound.wav").string());
    }
    void TearDown() override
    {
        window::Uninstall();
        peer_.reset();
        std::filesystem::current_path(saved_dir_);
        console::ResetConfig();
        console::ResetScheduler();
        std::filesystem::remove_all(dir_);
    }

    void Install(Ending ending)
    {
        peer_ = std::make_unique<FakePeer>([ending](Channel& p) {
            Greet(p);
            for (Message m; p.Receive(&m, 5000) == Channel::Status::kMessage;) {
                if (m.kind == Kind::kPicture)
                    p.Send(Kind::kShown, window::Shown{m.As<window::Picture>().slot});
                if (m.kind != Kind::kPollPads)
                    continue;
                const uint32_t field = m.As<window::PollPads>().field;
                if (field == 1)
                    p.Send(Kind::kScreenshot);
                if (field == 2 && ending == Ending::kHangUp)
                    return;
                if (field == 2)
                    p.Send(Kind::kQuit);
                p.Send(Kind::kPads, IdlePads(field));
            }
        });
        auto link = std::make_unique<WindowLink>();
        std::string error;
        ASSERT_TRUE(link->Attach(peer_->Take(), QuickSettings(), &error)) << error;
        ASSERT_TRUE(window::InstallOn(std::move(link), &error)) << error;
    }

    // Two fields with the run's sound, the pads of field 1 in between, then
    // the pads of field 2, where the peer ends the run.
    static void PlayTwoFields()
    {
        std::vector<int16_t> sound(960 * 2, 1234);
        PadInput pads[2];
        console::host::Video().Present(Picture(64, 32, 1), 1, 0);
        console::host::Audio().Write(sound.data(), 960);
        console::host::Input().Poll(1, pads);
        console::host::Video().Present(Picture(64, 32, 2), 2, 0);
        console::host::Audio().Write(sound.data(), 960);
        console::host::Input().Poll(2, pads);
    }

    // The ended run's frame log has both fields, and its WAV file both
    // fields' sound with the header completed at the end of the run.
    void ExpectCompleteFiles() const
    {
        const std::vector<std::string> log = FrameLog();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0].substr(0, 2), "1 ");
        EXPECT_EQ(log[1].substr(0, 2), "2 ");
        std::ifstream in(dir_ / "sound.wav", std::ios::binary);
        unsigned char header[44] = {};
        in.read(reinterpret_cast<char*>(header), sizeof header);
        const uint32_t data_size =
            header[40] | header[41] << 8 | header[42] << 16 | static_cast<uint32_t>(header[43]) << 24;
        EXPECT_EQ(data_size, 2u * 960 * 4);
        EXPECT_EQ(std::filesystem::file_size(dir_ / "sound.wav"), 44u + 2 * 960 * 4);
    }

    std::vector<std::string> FrameLog() const
    {
        std::vector<std::string> lines;
        std::ifstream in(dir_ / "frames.log");
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    std::filesystem::path dir_, saved_dir_;
    std::unique_ptr<FakePeer> peer_;
};

TEST_F(WindowFrontEnd, F12WritesTheNextPictureAndClosingTheWindowEndsTheRunWithItsFiles)
{
    Install(Ending::kQuit);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(PlayTwoFields(), testing::ExitedWithCode(0), "the window was closed");
    ExpectCompleteFiles();
    // F12 came before the pads of field 1: the next picture is written.
    png_reader::Picture png;
    ASSERT_TRUE(png_reader::Load((dir_ / "korvalis-field-000002.png").string(), png));
    EXPECT_EQ(png.width, 64u);
    EXPECT_EQ(png.height, 32u);
    const RgbaImage second = Picture(64, 32, 2);
    EXPECT_EQ(png.At(5, 3), second.pixels[3 * 64 + 5]);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "korvalis-field-000001.png"));
}

TEST_F(WindowFrontEnd, TheWindowProgramGoingEndsTheRunWithItsFiles)
{
    Install(Ending::kHangUp);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(PlayTwoFields(), testing::ExitedWithCode(3), "the window program has gone");
    ExpectCompleteFiles();
}

}  // namespace
