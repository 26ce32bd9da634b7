#include "host/headless/headless.h"

#include <bit>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <system_error>

#include "core/config.h"
#include "core/diag.h"
#include "core/png.h"
#include "host/headless/pad_record.h"
#include "host/headless/pad_script.h"
#include "host/headless/registry.h"
#include "host/headless/wav.h"
#include "spu2/spu2.h"

namespace console::host::headless {
namespace {

static_assert(std::endian::native == std::endian::little,
              "a picture's pixels are written as bytes in red, green, blue, alpha order");

bool ParseCount(std::string_view text, uint64_t* value)
{
    if (text.empty() || text.size() > 18)
        return false;
    uint64_t v = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(ch - '0');
    }
    *value = v;
    return true;
}

FrameOutput& Output()
{
    static FrameOutput output;
    return output;
}

// The --pad-script input; without one the pads are the default idle ones.
std::unique_ptr<InputSource>& PadScript()
{
    static std::unique_ptr<InputSource> script;
    return script;
}

// The --pad-record output.
std::unique_ptr<PadRecorder>& Recorder()
{
    static std::unique_ptr<PadRecorder> recorder;
    return recorder;
}

// The --wav output.
WavWriter& Wav()
{
    static WavWriter wav;
    return wav;
}

// Pad 0 connected and idle, for a recording without a script.
class IdleInput final : public InputSource {
public:
    void Poll(uint32_t, PadInput pads[2]) override { DefaultPadInputs(pads); }
};

void ShutdownOutputs(int)
{
    CloseRunFiles();
}

bool InstallFrontEnd(std::string* error)
{
    return Install(error);
}

const bool g_registered = [] {
    RegisterFrontEnd({"headless", false, 0, &InstallFrontEnd});
    return true;
}();

}  // namespace

bool Settings::DumpsField(uint64_t field) const
{
    if (dump_dir.empty())
        return false;
    return dump_at.count(field) != 0 || (dump_every != 0 && field % dump_every == 0);
}

bool ParseFieldList(std::string_view text, std::set<uint64_t>* fields, std::string* error)
{
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string_view item = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        uint64_t field = 0;
        if (!ParseCount(item, &field) || field == 0) {
            *error = "--dump-at wants comma-separated field numbers from 1, not '" + std::string(text) + "'";
            return false;
        }
        fields->insert(field);
        if (comma == std::string_view::npos)
            return true;
        start = comma + 1;
    }
}

bool ReadSettings(Settings* settings, std::string* error)
{
    Settings s;
    s.frame_log = GetString("frame-log");
    s.dump_dir = GetString("dump-frames");
    // An option given as an empty string (an empty CONSOLE_* variable) counts
    // as not given.
    const bool has_at = !GetString("dump-at").empty(), has_every = !GetString("dump-every").empty();
    if (has_at && !ParseFieldList(GetString("dump-at"), &s.dump_at, error))
        return false;
    if (has_every) {
        const std::string every = GetString("dump-every");
        if (!ParseCount(every, &s.dump_every) || s.dump_every == 0) {
            *error = "--dump-every wants a number of fields from 1, not '" + every + "'";
            return false;
        }
    }
    if (s.dump_dir.empty() && (has_at || has_every)) {
        *error = "--dump-at and --dump-every need --dump-frames DIR";
        return false;
    }
    if (!s.dump_dir.empty() && !has_at && !has_every) {
        *error = "--dump-frames needs --dump-at LIST or --dump-every N to choose the fields";
        return false;
    }
    *settings = std::move(s);
    return true;
}

std::string DumpPath(const std::string& dir, uint64_t field)
{
    char name[40];
    std::snprintf(name, sizeof name, "field-%06" PRIu64 ".png", field);
    return dir + "/" + name;
}

FrameOutput::~FrameOutput()
{
    if (log_)
        std::fclose(log_);
}

bool FrameOutput::Open(const Settings& settings, std::string* error)
{
    Close();
    settings_ = settings;
    fields_logged_ = 0;
    dumps_written_ = 0;
    if (!settings_.frame_log.empty()) {
        log_ = std::fopen(settings_.frame_log.c_str(), "w");
        if (!log_) {
            *error = "cannot write the frame log " + settings_.frame_log + ": " + std::strerror(errno);
            return false;
        }
    }
    if (!settings_.dump_dir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(settings_.dump_dir, ec);
        if (ec || !std::filesystem::is_directory(settings_.dump_dir)) {
            *error = "cannot make the frame dump directory " + settings_.dump_dir +
                     (ec ? ": " + ec.message() : std::string(": not a directory"));
            if (log_)
                std::fclose(log_);
            log_ = nullptr;
            return false;
        }
        std::fprintf(stderr, "console: frame dumps go to %s/field-NNNNNN.png\n", settings_.dump_dir.c_str());
    }
    open_ = true;
    return true;
}

void FrameOutput::Present(const RgbaImage& image, uint32_t field, uint64_t)
{
    if (!open_)
        return;
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(image.pixels.data()),
                                         image.pixels.size() * sizeof(uint32_t));
    if (log_) {
        // A picture refreshed in place and unchanged since the last field
        // keeps its CRC.
        if (image.version == 0 || &image != crc_image_ || image.version != crc_version_) {
            crc_ = Crc32(bytes);
            crc_image_ = image.version != 0 ? &image : nullptr;
            crc_version_ = image.version;
        }
        std::fprintf(log_, "%" PRIu32 " %08" PRIx32 " %" PRIu32 " %" PRIu32 "\n", field, crc_, image.width,
                     image.height);
        ++fields_logged_;
    }
    if (settings_.DumpsField(field)) {
        std::string message;
        if (WritePng(DumpPath(settings_.dump_dir, field), image.width, image.height, bytes, PngColor::kRgb, &message))
            ++dumps_written_;
        else
            Diag(Level::kError, "video", "frame dump of field %" PRIu32 ": %s", field, message.c_str());
    }
}

void FrameOutput::Close()
{
    if (!open_)
        return;
    open_ = false;
    if (log_) {
        const bool ok = std::fclose(log_) == 0;
        log_ = nullptr;
        std::fprintf(stderr, "console: frame log %s: %" PRIu64 " fields%s\n", settings_.frame_log.c_str(),
                     fields_logged_, ok ? "" : " (writing it failed)");
    }
    if (!settings_.dump_dir.empty())
        std::fprintf(stderr, "console: %" PRIu64 " frame dumps written to %s\n", dumps_written_,
                     settings_.dump_dir.c_str());
    std::fflush(stderr);
}

bool OpenRunFiles(RunFiles* files, std::string* error)
{
    Settings settings;
    if (!ReadSettings(&settings, error))
        return false;
    FrameOutput& output = Output();
    if (!output.Open(settings, error))
        return false;
    const std::string wav = GetString("wav");
    if (!wav.empty() && !Wav().Open(wav, error))
        return false;
    PadScript() = GetString("pad-script").empty() ? nullptr : OpenPadScriptFromOptions();
    *files = RunFiles{};
    files->video = settings.WantsPictures() ? &output : nullptr;
    files->audio = Wav().IsOpen() ? &Wav() : nullptr;
    files->script = PadScript().get();
    return true;
}

InputSource* RecordPadsIfAsked(InputSource& source, std::string* error)
{
    Recorder().reset();
    const std::string path = GetString("pad-record");
    if (path.empty())
        return &source;
    Recorder() = PadRecorder::Open(source, path, error);
    return Recorder().get();
}

void CloseRunFiles()
{
    Output().Close();
    // The sound up to the moment the run ends, then the completed file.
    spu2::FlushAudio();
    Wav().Close();
    if (Recorder())
        Recorder()->Close();
}

bool Install(std::string* error)
{
    RunFiles files;
    if (!OpenRunFiles(&files, error))
        return false;
    static IdleInput idle;
    InputSource* input = files.script;
    if (!GetString("pad-record").empty()) {
        input = RecordPadsIfAsked(files.script ? *files.script : idle, error);
        if (!input)
            return false;
    }
    Backend backend;
    backend.video = files.video;
    backend.input = input;
    backend.audio = files.audio;
    backend.shutdown = &ShutdownOutputs;
    SetBackend(backend);
    return true;
}

void Uninstall()
{
    Output().Close();
    Wav().Close();
    SetBackend(Backend{});
    Recorder().reset();
    PadScript().reset();
}

}  // namespace console::host::headless
