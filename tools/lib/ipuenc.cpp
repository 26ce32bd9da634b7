// The still-picture encoder.
// Standard and stand-in headers come before the game's, whose common header
// renames the C library's heap, printing and rounding functions for game code.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "console/src/core/png.h"
#include "console/src/ipu/intra_decoder.h"
#include "console/src/ipu/mpeg_tables.h"
#include "tools/lib/ipuenc.h"

#include "ZevEngine2/PS2/IPUBitmap.h"

namespace tools {

namespace ipu = console::ipu;

namespace {

// The stream the decoder takes in one transfer.
constexpr size_t kMaxStreamBytes = size_t{0xFFFF} * 16;

class BitWriter
{
public:
    void Put(u32 code, int length)
    {
        for (int i = length - 1; i >= 0; --i) {
            acc_ = static_cast<u8>(acc_ << 1 | ((code >> i) & 1));
            if (++fill_ == 8) {
                bytes_.push_back(acc_);
                acc_ = 0;
                fill_ = 0;
            }
        }
    }
    void Put(ipu::Vlc vlc) { Put(vlc.code, vlc.length); }
    // Zero bits up to the next byte boundary.
    void Align()
    {
        if (fill_)
            Put(0, 8 - fill_);
    }
    std::vector<u8>& Bytes() { return bytes_; }

private:
    std::vector<u8> bytes_;
    u8 acc_ = 0;
    int fill_ = 0;
};

// basis[x][u] = C(u) / 2 * cos((2x + 1) u pi / 16): the same transform pair as
// the decoder's inverse DCT.
struct DctBasis
{
    double b[8][8];
    DctBasis()
    {
        for (int x = 0; x < 8; ++x)
            for (int u = 0; u < 8; ++u)
                b[x][u] = (u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 * std::cos((2 * x + 1) * u * std::numbers::pi / 16.0);
    }
};

void ForwardDct(const double (&samples)[64], double (&coefficients)[64])
{
    static const DctBasis basis;
    double rows[64];
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u) {
            double s = 0.0;
            for (int x = 0; x < 8; ++x)
                s += basis.b[x][u] * samples[y * 8 + x];
            rows[y * 8 + u] = s;
        }
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double s = 0.0;
            for (int y = 0; y < 8; ++y)
                s += basis.b[y][v] * rows[y * 8 + u];
            coefficients[v * 8 + u] = s;
        }
}

// RGB to YCbCr as the exact inverse of the decoder's conversion, so that a
// colour survives the round trip as closely as 8-bit samples allow.
struct ColourMatrix
{
    double m[3][3];  // rows Y - 16, Cb - 128, Cr - 128 from R, G, B
    ColourMatrix()
    {
        const double d[3][3] = {{298 / 256.0, 0.0, 409 / 256.0},
                                {298 / 256.0, -100 / 256.0, -208 / 256.0},
                                {298 / 256.0, 516 / 256.0, 0.0}};
        const double det = d[0][0] * (d[1][1] * d[2][2] - d[1][2] * d[2][1]) -
                           d[0][1] * (d[1][0] * d[2][2] - d[1][2] * d[2][0]) +
                           d[0][2] * (d[1][0] * d[2][1] - d[1][1] * d[2][0]);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
                m[r][c] = (d[r1][c1] * d[r2][c2] - d[r1][c2] * d[r2][c1]) / det;
            }
    }
};

int RoundSample(double v)
{
    return std::clamp(static_cast<int>(std::lround(v)), 0, 255);
}

// A macroblock's samples before the DCT.
struct MacroblockPlanes
{
    double y[256];
    double cb[64];
    double cr[64];
};

void ExtractMacroblock(const IpuImage& img, int mbx, int mby, MacroblockPlanes& out)
{
    static const ColourMatrix cm;
    double cb[256];
    double cr[256];
    for (int y = 0; y < 16; ++y) {
        const int sy = std::min(mby * 16 + y, img.height - 1);
        for (int x = 0; x < 16; ++x) {
            const int sx = std::min(mbx * 16 + x, img.width - 1);
            const u8* p = &img.rgba[(static_cast<size_t>(sy) * img.width + sx) * 4];
            double yy = 16.0, b = 128.0, r = 128.0;
            for (int c = 0; c < 3; ++c) {
                yy += cm.m[0][c] * p[c];
                b += cm.m[1][c] * p[c];
                r += cm.m[2][c] * p[c];
            }
            out.y[y * 16 + x] = RoundSample(yy);
            cb[y * 16 + x] = b;
            cr[y * 16 + x] = r;
        }
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int i = y * 2 * 16 + x * 2;
            out.cb[y * 8 + x] = RoundSample((cb[i] + cb[i + 1] + cb[i + 16] + cb[i + 17]) / 4.0);
            out.cr[y * 8 + x] = RoundSample((cr[i] + cr[i + 1] + cr[i + 16] + cr[i + 17]) / 4.0);
        }
}

// Field DCT when the two fields are smoother vertically than the frame.
bool PreferFieldDct(const MacroblockPlanes& mb)
{
    double frame = 0.0, field = 0.0;
    for (int x = 0; x < 16; ++x) {
        for (int y = 0; y < 15; ++y)
            frame += std::abs(mb.y[y * 16 + x] - mb.y[(y + 1) * 16 + x]);
        for (int y = 0; y < 14; ++y)
            field += std::abs(mb.y[y * 16 + x] - mb.y[(y + 2) * 16 + x]);
    }
    return field * 15.0 < frame * 14.0;
}

struct CodeIndex
{
    // Index into the table of (run, level), or -1.
    std::array<std::array<int, 41>, 32> index;
    explicit CodeIndex(ipu::DctTable table)
    {
        for (auto& row : index)
            row.fill(-1);
        std::span<const ipu::DctVlc> codes = ipu::DctCodes(table);
        for (size_t i = 0; i < codes.size(); ++i)
            index[codes[i].run][codes[i].level] = static_cast<int>(i);
    }
};

class Encoder
{
public:
    explicit Encoder(const IpuEncodeOptions& options)
        : options_(options),
          pc_(ipu::PictureControl::FromCtrl(static_cast<u32>(options.flags & IPUF_CTRLMASK) << 16)),
          table_(pc_.intra_vlc_format && !pc_.mpeg1 ? ipu::DctTable::kOne : ipu::DctTable::kZero),
          scan_(pc_.alternate_scan ? ipu::AlternateScan() : ipu::ZigzagScan()),
          qs_(ipu::QuantiserScale(options.quantiser, pc_.non_linear_q, pc_.mpeg1))
    {
        const int mid = pc_.mpeg1 ? 128 : 128 << pc_.idp;
        pred_[0] = pred_[1] = pred_[2] = mid;
    }

    void Macroblock(BitWriter& w, const MacroblockPlanes& mb, bool first)
    {
        w.Put(ipu::MacroblockAddressIncrementCodes()[0].code, ipu::MacroblockAddressIncrementCodes()[0].length);
        const bool quant = first && options_.quantiser != 1;
        w.Put(quant ? ipu::kMbTypeIntraQuant : ipu::kMbTypeIntra);
        bool field = false;
        if (options_.flags & IPUF_DCTTYPE) {
            field = PreferFieldDct(mb);
            w.Put(field ? 1 : 0, 1);
        }
        if (quant)
            w.Put(static_cast<u32>(options_.quantiser), 5);
        double samples[64];
        for (int block = 0; block < 4; ++block) {
            const int x0 = (block & 1) * 8;
            for (int r = 0; r < 8; ++r) {
                const int y = field ? (block >> 1) + 2 * r : (block >> 1) * 8 + r;
                std::copy_n(mb.y + y * 16 + x0, 8, samples + r * 8);
            }
            Block(w, samples, 0);
        }
        std::copy_n(mb.cb, 64, samples);
        Block(w, samples, 1);
        std::copy_n(mb.cr, 64, samples);
        Block(w, samples, 2);
    }

private:
    void Block(BitWriter& w, const double (&samples)[64], int component)
    {
        double f[64];
        ForwardDct(samples, f);

        const int dc_mult = pc_.mpeg1 ? 8 : ipu::IntraDcMultiplier(pc_.idp);
        const int dc_max = pc_.mpeg1 ? 255 : (256 << pc_.idp) - 1;
        const int dc = std::clamp(static_cast<int>(std::lround(f[0] / dc_mult)), 0, dc_max);
        const int diff = dc - pred_[component];
        pred_[component] = dc;
        int size = 0;
        for (int a = diff < 0 ? -diff : diff; a; a >>= 1)
            ++size;
        w.Put(component == 0 ? ipu::DcSizeLuma()[size] : ipu::DcSizeChroma()[size]);
        if (size)
            w.Put(static_cast<u32>(diff > 0 ? diff : diff + (1 << size) - 1), size);

        // Reconstruction is about level * W * scale / 16 (MPEG-2 doubles the
        // scale against MPEG-1 and divides by 32 instead of 16).
        const std::array<u8, 64>& matrix = ipu::DefaultIntraMatrix();
        const double step_scale = pc_.mpeg1 ? 8.0 : 16.0;
        const int max_level = pc_.mpeg1 ? 255 : 2047;
        int run = 0;
        for (int n = 1; n < 64; ++n) {
            const int pos = scan_[n];
            const double q = qs_ ? f[pos] * step_scale / (matrix[pos] * qs_) : 0.0;
            const int level = std::clamp(static_cast<int>(std::lround(q)), -max_level, max_level);
            if (level == 0) {
                ++run;
                continue;
            }
            Coefficient(w, run, level);
            run = 0;
        }
        w.Put(ipu::DctEndOfBlock(table_));
    }

    void Coefficient(BitWriter& w, int run, int level)
    {
        static const CodeIndex zero(ipu::DctTable::kZero);
        static const CodeIndex one(ipu::DctTable::kOne);
        const CodeIndex& codes = table_ == ipu::DctTable::kOne ? one : zero;
        const int magnitude = level < 0 ? -level : level;
        if (run < 32 && magnitude < 41) {
            const int i = codes.index[run][magnitude];
            if (i >= 0) {
                const ipu::DctVlc& c = ipu::DctCodes(table_)[static_cast<size_t>(i)];
                w.Put(c.code, c.length);
                w.Put(level < 0 ? 1 : 0, 1);
                return;
            }
        }
        w.Put(ipu::kDctEscape);
        w.Put(static_cast<u32>(run), 6);
        if (!pc_.mpeg1) {
            w.Put(static_cast<u32>(level) & 0xFFF, 12);
        } else if (magnitude < 128) {
            w.Put(static_cast<u32>(level) & 0xFF, 8);
        } else if (level > 0) {
            w.Put(0x00, 8);
            w.Put(static_cast<u32>(level), 8);
        } else {
            w.Put(0x80, 8);
            w.Put(static_cast<u32>(level + 256), 8);
        }
    }

    IpuEncodeOptions options_;
    ipu::PictureControl pc_;
    ipu::DctTable table_;
    const std::array<u8, 64>& scan_;
    int qs_;
    int pred_[3];
};

// The largest picture the readers take: four times the screen, far more
// than GS memory holds, and an RGBA image well inside a 32-bit address space.
constexpr u64 kMaxPicturePixels = 2048 * 2048;

bool PictureSizeFits(u64 width, u64 height, std::string& error)
{
    if (width * height > kMaxPicturePixels) {
        error = "picture size " + std::to_string(width) + " x " + std::to_string(height) + " is larger than " +
                std::to_string(kMaxPicturePixels) + " pixels";
        return false;
    }
    return true;
}

bool ParseHeader(std::span<const u8> file, IPUBitmap& header, std::string& error)
{
    if (file.size() < sizeof header) {
        error = "shorter than the 16-byte header";
        return false;
    }
    std::memcpy(&header, file.data(), sizeof header);
    if (std::memcmp(header.id, "ipum", 4) != 0) {
        error = "not an \"ipum\" picture";
        return false;
    }
    if (header.width == 0 || header.height == 0 || header.nframes == 0) {
        error = "no picture in it";
        return false;
    }
    if (header.length == 0 || header.length > file.size() - sizeof header) {
        error = "its stream length " + std::to_string(header.length) + " does not fit the file";
        return false;
    }
    return PictureSizeFits(header.width, header.height, error);
}

u32 Fnv1a(std::string_view s)
{
    u32 h = 2166136261u;
    for (char c : s)
        h = (h ^ static_cast<u8>(c)) * 16777619u;
    return h;
}

double Smoothstep(double e0, double e1, double x)
{
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

bool WriteFile(const std::string& path, std::span<const u8> bytes, std::string& error)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool ReadFile(const std::string& path, std::vector<u8>& bytes, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::string CppArray(std::string_view symbol, std::span<const u8> bytes)
{
    std::string text = "// Generated by ipuenc: a still picture (\"ipum\", " + std::to_string(bytes.size()) +
                       " bytes).\n";
    text += "alignas(64) extern const unsigned char " + std::string(symbol) + "[] = {";
    char hex[16];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%s0x%02X,", i % 16 ? " " : "\n    ", bytes[i]);
        text += hex;
    }
    text += "\n};\n";
    // The loader checks the picture's stream against the bytes it has.
    text += "extern const unsigned int " + std::string(symbol) + "Size = " + std::to_string(bytes.size()) + ";\n";
    return text;
}

constexpr const char* kUsage =
    "usage: ipuenc [--columns] [--quantiser N] [--flags 0xNN] [--cpp SYMBOL] (IN.ppm | --sample NAME WxH) OUT\n"
    "       ipuenc --preview IN.IPU OUT.png\n";

}  // namespace

bool EncodeIpu(const IpuImage& img, const IpuEncodeOptions& options, std::vector<u8>& file, std::string& error)
{
    if (img.width < 1 || img.height < 1 || img.width > 0xFFFF || img.height > 0xFFFF) {
        error = "picture size " + std::to_string(img.width) + " x " + std::to_string(img.height) +
                " is outside 1..65535";
        return false;
    }
    if (img.rgba.size() != static_cast<size_t>(img.width) * img.height * 4) {
        error = "pixel buffer holds " + std::to_string(img.rgba.size()) + " bytes, not width x height x 4";
        return false;
    }
    if (options.quantiser < 1 || options.quantiser > 31) {
        error = "quantiser " + std::to_string(options.quantiser) + " is outside 1..31";
        return false;
    }

    const int mbw = (img.width + 15) / 16;
    const int mbh = (img.height + 15) / 16;
    const bool columns = options.flags & IPUF_COLUMNS;
    BitWriter w;
    w.Put(options.flags, 8);
    Encoder encoder(options);
    MacroblockPlanes planes;
    for (int i = 0; i < mbw * mbh; ++i) {
        const int mbx = columns ? i / mbh : i % mbw;
        const int mby = columns ? i % mbh : i / mbw;
        ExtractMacroblock(img, mbx, mby, planes);
        encoder.Macroblock(w, planes, i == 0);
    }
    w.Align();
    for (u8 b : {0x00, 0x00, 0x01, 0xB7})
        w.Put(b, 8);
    std::vector<u8>& stream = w.Bytes();
    stream.resize((stream.size() + 15) / 16 * 16, 0);
    if (stream.size() > kMaxStreamBytes) {
        error = "the stream takes " + std::to_string(stream.size()) + " bytes, more than one IPU transfer (" +
                std::to_string(kMaxStreamBytes) + "); use a coarser quantiser";
        return false;
    }

    IPUBitmap header;
    std::memcpy(header.id, "ipum", 4);
    header.length = static_cast<u32>(stream.size());
    header.width = static_cast<u16>(img.width);
    header.height = static_cast<u16>(img.height);
    header.nframes = 1;
    file.resize(sizeof header + stream.size());
    std::memcpy(file.data(), &header, sizeof header);
    std::memcpy(file.data() + sizeof header, stream.data(), stream.size());
    return true;
}

bool DecodeIpu(std::span<const u8> file, IpuImage& img, std::string& error)
{
    IPUBitmap header;
    if (!ParseHeader(file, header, error))
        return false;
    std::span<const u8> stream = file.subspan(sizeof header, header.length);
    const u8 flags = stream[0];
    const ipu::PictureControl pc = ipu::PictureControl::FromCtrl(static_cast<u32>(flags & IPUF_CTRLMASK) << 16);
    ipu::SliceState slice = ipu::SliceState::Start(pc, 1);
    ipu::BitReader bits(stream, 8);

    const int mbw = (header.width + 15) / 16;
    const int mbh = (header.height + 15) / 16;
    img.width = header.width;
    img.height = header.height;
    img.rgba.assign(static_cast<size_t>(img.width) * img.height * 4, 0);
    ipu::MacroblockSamples mb;
    u8 rgb[ipu::kRgb32MacroblockBytes];
    for (int i = 0; i < mbw * mbh; ++i) {
        const ipu::DecodeResult r = ipu::DecodeIntraMacroblock(bits, pc, flags & IPUF_DCTTYPE, slice, mb);
        if (r.status != ipu::DecodeStatus::kOk) {
            error = "macroblock " + std::to_string(i) + " at bit " + std::to_string(bits.Position()) + ": " +
                    r.what;
            return false;
        }
        ipu::ConvertRgb32(mb, rgb);
        const bool columns = flags & IPUF_COLUMNS;
        const int mbx = columns ? i / mbh : i % mbw;
        const int mby = columns ? i % mbh : i / mbw;
        for (int y = 0; y < 16; ++y) {
            const int py = mby * 16 + y;
            for (int x = 0; x < 16; ++x) {
                const int px = mbx * 16 + x;
                if (px >= img.width || py >= img.height)
                    continue;
                u8* o = &img.rgba[(static_cast<size_t>(py) * img.width + px) * 4];
                std::memcpy(o, rgb + (y * 16 + x) * 4, 3);
                o[3] = 255;
            }
        }
    }
    return true;
}

double IpuPsnr(const IpuImage& a, const IpuImage& b)
{
    double sum = 0.0;
    size_t n = 0;
    for (size_t i = 0; i < a.rgba.size() && i < b.rgba.size(); ++i) {
        if (i % 4 == 3)
            continue;
        const double d = double(a.rgba[i]) - double(b.rgba[i]);
        sum += d * d;
        ++n;
    }
    if (n == 0 || sum == 0.0)
        return std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

bool ReadPpm(const std::string& path, IpuImage& img, std::string& error)
{
    std::vector<u8> bytes;
    if (!ReadFile(path, bytes, error))
        return false;
    size_t pos = 0;
    // Header fields separated by white space, '#' comments to the line's end.
    auto field = [&](long& value) {
        for (;;) {
            while (pos < bytes.size() && std::strchr(" \t\r\n", bytes[pos]))
                ++pos;
            if (pos < bytes.size() && bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n')
                    ++pos;
                continue;
            }
            break;
        }
        value = 0;
        size_t digits = 0;
        while (pos < bytes.size() && bytes[pos] >= '0' && bytes[pos] <= '9' && digits < 9) {
            value = value * 10 + (bytes[pos++] - '0');
            ++digits;
        }
        return digits > 0;
    };
    long w = 0, h = 0, maxval = 0;
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') {
        error = path + ": not a binary PPM (P6)";
        return false;
    }
    pos = 2;
    if (!field(w) || !field(h) || !field(maxval) || pos >= bytes.size()) {
        error = path + ": bad PPM header";
        return false;
    }
    ++pos;  // the single white-space byte before the pixels
    if (maxval != 255 || w < 1 || h < 1 || w > 0xFFFF || h > 0xFFFF) {
        error = path + ": only 8-bit PPMs of 1 to 65535 pixels a side are read";
        return false;
    }
    if (!PictureSizeFits(u64(w), u64(h), error)) {
        error = path + ": " + error;
        return false;
    }
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (bytes.size() - pos < pixels * 3) {
        error = path + ": pixel data ends at offset " + std::to_string(bytes.size()) + ", expected " +
                std::to_string(pos + pixels * 3);
        return false;
    }
    img.width = static_cast<int>(w);
    img.height = static_cast<int>(h);
    img.rgba.resize(pixels * 4);
    for (size_t i = 0; i < pixels; ++i) {
        std::memcpy(&img.rgba[i * 4], &bytes[pos + i * 3], 3);
        img.rgba[i * 4 + 3] = 255;
    }
    return true;
}

IpuImage SamplePicture(std::string_view name, int width, int height)
{
    IpuImage img;
    img.width = width;
    img.height = height;
    img.rgba.resize(static_cast<size_t>(width) * height * 4);
    const u32 seed = Fnv1a(name);
    auto hue = [](double h, double (&rgb)[3]) {
        for (int c = 0; c < 3; ++c)
            rgb[c] = 0.5 + 0.5 * std::cos(2.0 * std::numbers::pi * (h + c / 3.0));
    };
    double top[3], bottom[3], disc[3];
    hue((seed & 0xFF) / 256.0, top);
    hue(((seed >> 8) & 0xFF) / 256.0, bottom);
    hue(((seed >> 16) & 0xFF) / 256.0, disc);
    const double cx = width * (0.3 + 0.4 * ((seed >> 24) & 0xF) / 15.0);
    const double cy = height * 0.45;
    const double radius = std::min(width, height) * 0.25;
    for (int y = 0; y < height; ++y) {
        const double t = height > 1 ? double(y) / (height - 1) : 0.0;
        // A light horizon band three fifths of the way down.
        const double band = Smoothstep(0.58, 0.6, t) - Smoothstep(0.64, 0.66, t);
        for (int x = 0; x < width; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            const double inside = 1.0 - Smoothstep(radius - 2.0, radius + 2.0, d);
            u8* p = &img.rgba[(static_cast<size_t>(y) * width + x) * 4];
            for (int c = 0; c < 3; ++c) {
                double v = (top[c] * (1.0 - t) + bottom[c] * t) * 0.8;
                v = v * (1.0 - band) + 0.95 * band;
                v = v * (1.0 - inside) + disc[c] * inside;
                p[c] = static_cast<u8>(std::clamp(std::lround(v * 255.0), 0L, 255L));
            }
            p[3] = 255;
        }
    }
    return img;
}

int RunIpuEnc(std::span<const char* const> args)
{
    IpuEncodeOptions options;
    std::string cpp_symbol, sample, sample_size, preview;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        const bool has_value = i + 1 < args.size();
        if (a == "--columns") {
            options.flags |= IPUF_COLUMNS;
        } else if (a == "--quantiser" && has_value) {
            options.quantiser = std::atoi(args[++i]);
        } else if (a == "--flags" && has_value) {
            options.flags |= static_cast<u8>(std::strtoul(args[++i], nullptr, 0));
        } else if (a == "--cpp" && has_value) {
            cpp_symbol = args[++i];
        } else if (a == "--sample" && i + 2 < args.size()) {
            sample = args[++i];
            sample_size = args[++i];
        } else if (a == "--preview" && has_value) {
            preview = args[++i];
        } else if (a.starts_with("--")) {
            std::fprintf(stderr, "ipuenc: unknown option %s\n%s", args[i], kUsage);
            return 2;
        } else {
            positional.emplace_back(a);
        }
    }
    std::string error;
    if (!preview.empty()) {
        if (positional.size() != 1) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        std::vector<u8> file;
        IpuImage img;
        if (!ReadFile(preview, file, error) || !DecodeIpu(file, img, error) ||
            !console::WritePng(positional[0], static_cast<u32>(img.width), static_cast<u32>(img.height), img.rgba,
                               console::PngColor::kRgb, &error)) {
            std::fprintf(stderr, "ipuenc: %s: %s\n", preview.c_str(), error.c_str());
            return 1;
        }
        return 0;
    }

    IpuImage img;
    if (!sample.empty()) {
        char* end = nullptr;
        const long w = std::strtol(sample_size.c_str(), &end, 10);
        const long h = *end == 'x' ? std::strtol(end + 1, &end, 10) : 0;
        if (positional.size() != 1 || *end != '\0' || w < 1 || h < 1 || w > 0xFFFF || h > 0xFFFF) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (!PictureSizeFits(u64(w), u64(h), error)) {
            std::fprintf(stderr, "ipuenc: %s\n", error.c_str());
            return 2;
        }
        img = SamplePicture(sample, static_cast<int>(w), static_cast<int>(h));
    } else {
        if (positional.size() != 2) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (!ReadPpm(positional[0], img, error)) {
            std::fprintf(stderr, "ipuenc: %s\n", error.c_str());
            return 1;
        }
    }
    const std::string& out_path = positional.back();
    std::vector<u8> file;
    if (!EncodeIpu(img, options, file, error)) {
        std::fprintf(stderr, "ipuenc: %s\n", error.c_str());
        return 1;
    }
    bool written;
    if (cpp_symbol.empty()) {
        written = WriteFile(out_path, file, error);
    } else {
        const std::string text = CppArray(cpp_symbol, file);
        written = WriteFile(out_path, std::span(reinterpret_cast<const u8*>(text.data()), text.size()), error);
    }
    if (!written) {
        std::fprintf(stderr, "ipuenc: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace tools
