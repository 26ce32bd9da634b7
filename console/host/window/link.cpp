#include "host/window/link.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/scheduler.h"

extern char** environ;

namespace console::host::window {
namespace {

// A window that answers nothing for this long is taken for gone.
constexpr int kSilenceMs = 30'000;
// How long a program asked to end may take before it is ended.
constexpr int kGoodbyeMs = 3'000;

std::string Errno(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// A descriptor moved above the ones the child gets, closed on exec.
int Above(int fd)
{
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return moved;
}

PadInput FromWire(const PadState& state)
{
    PadInput pad;
    pad.connected = state.connected != 0;
    pad.buttons = state.buttons;
    std::copy(std::begin(state.sticks), std::end(state.sticks), pad.sticks);
    std::copy(std::begin(state.pressure), std::end(state.pressure), pad.pressure);
    return pad;
}

}  // namespace

std::string DescribeEnding(int wait_status)
{
    if (WIFEXITED(wait_status))
        return "exit status " + std::to_string(WEXITSTATUS(wait_status));
    if (WIFSIGNALED(wait_status))
        return "killed by signal " + std::to_string(WTERMSIG(wait_status));
    return "ended (wait status " + std::to_string(wait_status) + ")";
}

WindowLink::~WindowLink()
{
    Close();
}

bool WindowLink::MakePictures(std::string* error)
{
    memory_ = memfd_create("korvalis-pictures", MFD_CLOEXEC);
    if (memory_ < 0) {
        *error = Errno("cannot make the picture memory");
        return false;
    }
    if (ftruncate(memory_, static_cast<off_t>(kPicturesBytes)) != 0) {
        *error = Errno("cannot size the picture memory");
        return false;
    }
    void* map = mmap(nullptr, kPicturesBytes, PROT_READ | PROT_WRITE, MAP_SHARED, memory_, 0);
    if (map == MAP_FAILED) {
        *error = Errno("cannot map the picture memory");
        return false;
    }
    pictures_ = static_cast<uint8_t*>(map);
    return true;
}

bool WindowLink::Start(const Settings& settings, std::string* error)
{
    Close();
    gone_.clear();
    ending_.clear();
    if (access(settings.program.c_str(), X_OK) != 0) {
        *error = "no window program " + settings.program + " (" + std::strerror(errno) + ")";
        return false;
    }
    if (!MakePictures(error)) {
        Close();
        return false;
    }
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        *error = Errno("cannot make the window's socket");
        Close();
        return false;
    }
    socket_ = pair[0];
    // The child's ends are first moved out of the way of descriptors 3 and 4.
    const int theirs = Above(pair[1]);
    memory_ = Above(memory_);
    if (theirs < 0 || memory_ < 0) {
        *error = Errno("cannot hand the window its descriptors");
        if (theirs >= 0)
            close(theirs);
        Close();
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs, kSocketFd);
    posix_spawn_file_actions_adddup2(&actions, memory_, kPicturesFd);
    char* argv[] = {const_cast<char*>(settings.program.c_str()), nullptr};
    const int spawned = posix_spawn(&pid_, settings.program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(theirs);
    if (spawned != 0) {
        pid_ = -1;
        *error = "cannot start " + settings.program + ": " + std::strerror(spawned);
        Close();
        return false;
    }
    channel_.Reset(socket_);
    if (!Handshake(settings, error)) {
        Close();
        return false;
    }
    return true;
}

bool WindowLink::Attach(int socket, const Settings& settings, std::string* error)
{
    Close();
    gone_.clear();
    ending_.clear();
    if (!MakePictures(error)) {
        Close();
        return false;
    }
    socket_ = socket;
    channel_.Reset(socket_);
    if (!Handshake(settings, error)) {
        Close();
        return false;
    }
    return true;
}

bool WindowLink::Handshake(const Settings& settings, std::string* error)
{
    const std::string who = settings.program.empty() ? "the window program" : settings.program;
    // What became of a program that stopped talking.
    auto ended = [&](const std::string& problem) {
        std::string ending = Reap(1000);
        *error = who + " ended before its window was open" + (ending.empty() ? "" : " (" + ending + ")");
        if (ending.empty())
            *error += ": " + problem;
        return false;
    };
    Message message;
    switch (channel_.Receive(&message, settings.answer_ms)) {
    case Channel::Status::kMessage: break;
    case Channel::Status::kNothing:
        *error = who + " did not answer within " + std::to_string(settings.answer_ms) + " ms";
        return false;
    case Channel::Status::kClosed: return ended(channel_.Problem());
    case Channel::Status::kBad:
        *error = who + " is not this build's window program: it sent " + channel_.Problem();
        return false;
    }
    const Hello hello = message.As<Hello>();
    if (message.kind != Kind::kHello || hello.magic != kMagic || hello.version != kProtocolVersion) {
        *error = who + " is not this build's window program (it does not greet as protocol version " +
                 std::to_string(kProtocolVersion) + " does)";
        return false;
    }
    const Setup setup{kMagic, kProtocolVersion, settings.scale, settings.sound ? 1u : 0u, kPictureSlots,
                      kMaxPictureSide};
    if (!channel_.Send(Kind::kSetup, setup))
        return ended(channel_.Problem());
    switch (channel_.Receive(&message, settings.answer_ms)) {
    case Channel::Status::kMessage: break;
    case Channel::Status::kNothing:
        *error = who + " did not open its window within " + std::to_string(settings.answer_ms) + " ms";
        return false;
    case Channel::Status::kClosed: return ended(channel_.Problem());
    case Channel::Status::kBad: *error = who + " sent " + channel_.Problem(); return false;
    }
    if (message.kind == Kind::kFailed) {
        *error = message.Text();
        return false;
    }
    if (message.kind != Kind::kReady) {
        *error = who + " sent a message of kind " + std::to_string(static_cast<uint32_t>(message.kind)) +
                 " instead of saying it is ready";
        return false;
    }
    sound_ = message.As<Ready>().sound != 0;
    return true;
}

bool WindowLink::Lost(const std::string& why)
{
    if (gone_.empty()) {
        gone_ = why;
        if (pid_ > 0) {
            const std::string ending = Reap(1000);
            if (!ending.empty())
                gone_ += " (the window program: " + ending + ")";
        }
    }
    return false;
}

bool WindowLink::SendOrLose(Kind kind, const void* payload, uint32_t bytes)
{
    if (!gone_.empty())
        return false;
    if (socket_ < 0)
        return Lost("the window is closed");
    if (!channel_.Send(kind, payload, bytes))
        return Lost(channel_.Problem());
    return true;
}

bool WindowLink::Handle(const Message& message)
{
    switch (message.kind) {
    case Kind::kShown: {
        const uint32_t slot = message.As<Shown>().slot;
        if (slot >= kPictureSlots || !busy_[slot])
            return Lost("the window program gave back picture slot " + std::to_string(slot) +
                        ", which it did not have");
        busy_[slot] = false;
        return true;
    }
    case Kind::kPads: {
        const Pads pads = message.As<Pads>();
        if (!pads_pending_ || pads.field != pads_field_)
            return Lost("the window program sent pads of field " + std::to_string(pads.field) +
                        ", which were not asked for");
        pads_ = pads;
        pads_pending_ = false;
        return true;
    }
    case Kind::kQuit: quit_ = true; return true;
    case Kind::kScreenshot: ++screenshots_; return true;
    default:
        return Lost("the window program sent a message of kind " +
                    std::to_string(static_cast<uint32_t>(message.kind)) + " out of turn");
    }
}

template <typename Done>
bool WindowLink::WaitFor(Done done)
{
    using Clock = std::chrono::steady_clock;
    auto heard = Clock::now();
    while (gone_.empty() && !done()) {
        Message message;
        switch (channel_.Receive(&message, 100)) {
        case Channel::Status::kMessage:
            heard = Clock::now();
            Handle(message);
            break;
        case Channel::Status::kNothing:
            // Waiting for the window is not the game being stuck.
            PetWatchdog();
            if (Clock::now() - heard > std::chrono::milliseconds(kSilenceMs))
                return Lost("the window program has not answered for " + std::to_string(kSilenceMs / 1000) + " s");
            break;
        case Channel::Status::kClosed: return Lost("the window program has gone: " + channel_.Problem());
        case Channel::Status::kBad: return Lost("the window program sent " + channel_.Problem());
        }
    }
    return gone_.empty();
}

bool WindowLink::Drain()
{
    if (!gone_.empty())
        return false;
    if (socket_ < 0)
        return Lost("the window is closed");
    for (;;) {
        Message message;
        switch (channel_.Receive(&message, 0)) {
        case Channel::Status::kMessage:
            if (!Handle(message))
                return false;
            break;
        case Channel::Status::kNothing: return true;
        case Channel::Status::kClosed: return Lost("the window program has gone: " + channel_.Problem());
        case Channel::Status::kBad: return Lost("the window program sent " + channel_.Problem());
        }
    }
}

bool WindowLink::Show(const RgbaImage& image, uint32_t field)
{
    if (!Drain())
        return false;
    if (image.width == 0 || image.height == 0 || image.width > kMaxPictureSide || image.height > kMaxPictureSide ||
        image.pixels.size() < size_t{image.width} * image.height) {
        if (image.width > kMaxPictureSide || image.height > kMaxPictureSide) {
            if (!warned_size_)
                std::fprintf(stderr, "console: a %ux%u picture is too large for the window; not shown\n",
                             image.width, image.height);
            warned_size_ = true;
        }
        return true;
    }
    const uint32_t slot = next_slot_;
    if (!WaitFor([&] { return !busy_[slot]; }))
        return false;
    std::memcpy(pictures_ + slot * kSlotBytes, image.pixels.data(), size_t{image.width} * image.height * 4);
    const Picture picture{slot, field, image.width, image.height};
    busy_[slot] = true;
    next_slot_ = (slot + 1) % kPictureSlots;
    return SendOrLose(Kind::kPicture, &picture, sizeof picture);
}

bool WindowLink::Play(const int16_t* stereo, size_t frames)
{
    if (!sound_)
        return gone_.empty();
    while (frames > 0) {
        const size_t piece = std::min<size_t>(frames, kSoundFramesPerMessage);
        if (!SendOrLose(Kind::kSound, stereo, static_cast<uint32_t>(piece * 4)))
            return false;
        stereo += piece * 2;
        frames -= piece;
    }
    return true;
}

bool WindowLink::ReadPads(uint32_t field, PadInput pads[2])
{
    const PollPads poll{field};
    pads_pending_ = true;
    pads_field_ = field;
    if (!SendOrLose(Kind::kPollPads, &poll, sizeof poll) || !WaitFor([&] { return !pads_pending_; })) {
        pads_pending_ = false;
        return false;
    }
    pads[0] = FromWire(pads_.pads[0]);
    pads[1] = FromWire(pads_.pads[1]);
    return true;
}

bool WindowLink::SetRumble(int port, bool small_on, uint8_t large_level)
{
    const Rumble rumble{static_cast<uint32_t>(port), small_on ? 1u : 0u, large_level};
    return SendOrLose(Kind::kRumble, &rumble, sizeof rumble);
}

bool WindowLink::TakeScreenshotRequest()
{
    if (screenshots_ == 0)
        return false;
    --screenshots_;
    return true;
}

std::string WindowLink::Reap(int wait_ms)
{
    if (pid_ <= 0)
        return ending_;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR)) {
            ending_ = done == pid_ ? DescribeEnding(status) : std::string("ended");
            pid_ = -1;
            return ending_;
        }
        if (std::chrono::steady_clock::now() >= until)
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void WindowLink::Close()
{
    // The program ends on the goodbye, or when its socket closes.
    if (socket_ >= 0 && gone_.empty())
        channel_.Send(Kind::kBye);
    if (socket_ >= 0)
        close(socket_);
    socket_ = -1;
    channel_.Reset(-1);
    if (pid_ > 0 && Reap(kGoodbyeMs).empty()) {
        kill(pid_, SIGKILL);
        Reap(kGoodbyeMs);
    }
    if (pictures_)
        munmap(pictures_, kPicturesBytes);
    pictures_ = nullptr;
    if (memory_ >= 0)
        close(memory_);
    memory_ = -1;
    sound_ = false;
    std::fill(std::begin(busy_), std::end(busy_), false);
    next_slot_ = 0;
    pads_pending_ = false;
    quit_ = false;
    screenshots_ = 0;
}

}  // namespace console::host::window
