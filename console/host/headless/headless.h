// The headless front end: no window and no sound device; the pictures go to
// files.  --frame-log FILE gets one line per field, "field crc32 width
// height" (decimal field number, the CRC-32 of the picture's RGBA bytes in
// eight hex digits, the size in pixels); --dump-frames DIR gets PNG files
// DIR/field-000123.png of the fields chosen by --dump-at LIST (comma-separated
// field numbers) and --dump-every N (every field that is a multiple of N).
// --wav FILE gets the sound (wav.h).
// Outputs are flushed and summarised when the run ends.  Pad input comes from
// --pad-script FILE, or is pad 0 connected and idle; --pad-record FILE writes
// it down as a script.  The window front end writes the same files through
// OpenRunFiles, so a run gives the same outputs with or without a window.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>

#include "host/host.h"

namespace console::host::headless {

struct Settings {
    std::string frame_log;      // empty: no frame log
    std::string dump_dir;       // empty: no dumps
    std::set<uint64_t> dump_at;
    uint64_t dump_every = 0;    // 0: off

    bool WantsPictures() const { return !frame_log.empty() || !dump_dir.empty(); }
    bool DumpsField(uint64_t field) const;
};

// Parses "12,300,301" into field numbers; false with a message on anything
// but comma-separated decimal numbers greater than 0.
bool ParseFieldList(std::string_view text, std::set<uint64_t>* fields, std::string* error);

// The settings the options ask for; false with a message when they do not
// make sense together (dumps chosen without a directory or the reverse, a bad
// number).
bool ReadSettings(Settings* settings, std::string* error);

// "DIR/field-000123.png".
std::string DumpPath(const std::string& dir, uint64_t field);

// The video sink: frame log and dumps.
class FrameOutput final : public VideoSink {
public:
    FrameOutput() = default;
    ~FrameOutput() override;
    FrameOutput(const FrameOutput&) = delete;
    FrameOutput& operator=(const FrameOutput&) = delete;

    // Opens the frame log (truncating it) and makes the dump directory.
    bool Open(const Settings& settings, std::string* error);
    void Present(const RgbaImage& image, uint32_t field, uint64_t vtime) override;
    // Flushes and closes the frame log and prints where the outputs went.
    // Safe to call twice.
    void Close();

    uint64_t FieldsLogged() const { return fields_logged_; }
    uint64_t DumpsWritten() const { return dumps_written_; }

private:
    Settings settings_;
    std::FILE* log_ = nullptr;
    uint64_t fields_logged_ = 0;
    uint64_t dumps_written_ = 0;
    bool open_ = false;
    // The CRC of the last picture logged, by its address and version.
    const RgbaImage* crc_image_ = nullptr;
    uint64_t crc_version_ = 0;
    uint32_t crc_ = 0;
};

// The files a run writes and reads as its options ask, whichever front end
// shows it.  Members are null where the options ask for nothing.
struct RunFiles {
    VideoSink* video = nullptr;      // --frame-log, --dump-frames
    AudioSink* audio = nullptr;      // --wav
    InputSource* script = nullptr;   // --pad-script
};

// Opens them (truncating the files written); false with a message when an
// option is wrong or a file cannot be made.
bool OpenRunFiles(RunFiles* files, std::string* error);

// The pads as `source` gives them, written down when --pad-record asks;
// `source` itself without the option.  Null with a message when the file
// cannot be made.
InputSource* RecordPadsIfAsked(InputSource& source, std::string* error);

// Flushes and closes them: the frame log, the sound still in the mixer
// (through the installed Backend's audio), the WAV file and the recording.
void CloseRunFiles();

// Reads the settings, opens the outputs and installs the headless Backend
// (a video sink only when pictures are asked for, the pad script as input;
// the shutdown flushes).
bool Install(std::string* error);

// Closes the outputs and installs the empty Backend (tests).
void Uninstall();

}  // namespace console::host::headless
