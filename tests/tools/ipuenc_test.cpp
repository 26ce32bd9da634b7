#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "console/host/png_reader.h"
#include "tools/lib/ipuenc.h"

#include "ZevEngine2/PS2/IPUBitmap.h"

#include <ee/regs.h>

using namespace tools;

namespace {

// A picture with smooth gradients, hard edges and fine detail, the kinds of
// content a title picture has.
IpuImage TestPicture(int w, int h)
{
    IpuImage img = SamplePicture("test", w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            u8* p = &img.rgba[(size_t(y) * w + x) * 4];
            if (x > w / 2 && y > h / 2 && ((x / 4 + y / 4) & 1))  // a grey checker
                p[0] = p[1] = p[2] = 200;
        }
    return img;
}

// Grey noise: no chroma, every luma coefficient in use.
IpuImage GreyNoise(int w, int h, u32 seed)
{
    IpuImage img{w, h, std::vector<u8>(size_t(w) * h * 4, 255)};
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const u8 v = u8(32 + (seed >> 24) % 192);
        img.rgba[i * 4] = img.rgba[i * 4 + 1] = img.rgba[i * 4 + 2] = v;
    }
    return img;
}

std::vector<u8> Encode(const IpuImage& img, IpuEncodeOptions options = {})
{
    std::vector<u8> file;
    std::string error;
    EXPECT_TRUE(EncodeIpu(img, options, file, error)) << error;
    return file;
}

double RoundTripPsnr(const IpuImage& img, IpuEncodeOptions options = {})
{
    std::vector<u8> file = Encode(img, options);
    IpuImage back;
    std::string error;
    EXPECT_TRUE(DecodeIpu(file, back, error)) << error;
    EXPECT_EQ(back.width, img.width);
    EXPECT_EQ(back.height, img.height);
    return IpuPsnr(img, back);
}

// A directory of the test's own under the temporary directory, named by the
// process so that parallel runs never share files, and removed with
// everything in it however the test ends.
struct ScratchDir
{
    ScratchDir()
        : dir(std::filesystem::temp_directory_path() / ("ipuenc_test_" + std::to_string(getpid())))
    {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~ScratchDir() { std::filesystem::remove_all(dir); }
    std::string Path(const char* name) const { return (dir / name).string(); }

    std::filesystem::path dir;
};

}  // namespace

TEST(IpuEnc, FlagBitsLandOnTheIpuCtrlFieldsTheyName)
{
    // The loader writes (flags & IPUF_CTRLMASK) << 16 to IPU_CTRL: each of the
    // encoder's stream flags must arrive in the register field of its name,
    // and the two layout flags must not arrive at all.
    auto ctrl = [](u8 flags) {
        const u32 value = u32(flags & IPUF_CTRLMASK) << 16;
        tIPU_CTRL c;
        std::memcpy(&c, &value, sizeof c);
        return c;
    };
    EXPECT_EQ(ctrl(kIpuDcPrecision10).IDP, 2u);   // 8 + 2 bits
    EXPECT_EQ(ctrl(kIpuAlternateScan).AS, 1u);
    EXPECT_EQ(ctrl(kIpuIntraVlcTable).IVF, 1u);
    EXPECT_EQ(ctrl(kIpuNonLinearQuant).QST, 1u);
    EXPECT_EQ(ctrl(kIpuMpeg1).MP1, 1u);
    EXPECT_EQ(IPUF_COLUMNS & IPUF_CTRLMASK, 0);
    EXPECT_EQ(IPUF_DCTTYPE & IPUF_CTRLMASK, 0);
    // All seven flags are distinct bits.
    const u8 all[] = {IPUF_COLUMNS, IPUF_DCTTYPE, kIpuDcPrecision10, kIpuAlternateScan, kIpuIntraVlcTable,
                      kIpuNonLinearQuant, kIpuMpeg1};
    u8 seen = 0;
    for (u8 f : all) {
        EXPECT_EQ(f & (f - 1), 0) << int(f);
        EXPECT_EQ(seen & f, 0) << int(f);
        seen |= f;
    }
}

TEST(IpuEnc, FileHasTheHeaderAndAStreamEndingInAStartCode)
{
    IpuImage img = TestPicture(40, 24);
    std::vector<u8> file = Encode(img, {IPUF_COLUMNS, 1});
    ASSERT_GE(file.size(), 32u);
    IPUBitmap header;
    std::memcpy(&header, file.data(), sizeof header);
    EXPECT_EQ(std::string(header.id, 4), "ipum");
    EXPECT_EQ(header.Width(), 40);
    EXPECT_EQ(header.Height(), 24);
    EXPECT_EQ(header.NumFrames(), 1);
    EXPECT_EQ(header.NumMacroblocks(), 3 * 2);
    EXPECT_EQ(header.length, file.size() - 16);
    EXPECT_EQ(header.length % 16, 0u);
    EXPECT_EQ(file[16], IPUF_COLUMNS);  // the flags byte comes first
    // The last non-zero bytes are the sequence end code, on a byte boundary.
    size_t end = file.size();
    while (file[end - 1] == 0)
        --end;
    ASSERT_GE(end, 20u);
    EXPECT_EQ(std::vector<u8>(file.begin() + long(end) - 4, file.begin() + long(end)),
              (std::vector<u8>{0x00, 0x00, 0x01, 0xB7}));
    EXPECT_LT(file.size() - end, 16u);
}

TEST(IpuEnc, FirstMacroblockCarriesAQuantiserOtherThanOne)
{
    IpuImage img = TestPicture(32, 16);
    std::vector<u8> fine = Encode(img, {0, 1});
    std::vector<u8> coarse = Encode(img, {0, 12});
    // Increment "1", then type "1" (intra) or "01" and the code 01100.
    EXPECT_EQ(fine[17] >> 6, 0b11);
    EXPECT_EQ(coarse[17] >> 3, 0b10101100 >> 3);
    EXPECT_LT(coarse.size(), fine.size());
}

TEST(IpuEnc, RoundTripKeepsThirtyFiveDecibelsAtTheGameSize)
{
    IpuImage img = TestPicture(640, 512);
    EXPECT_GE(RoundTripPsnr(img), 35.0);
}

TEST(IpuEnc, RoundTripHoldsForEveryFlagTheDecoderHonours)
{
    // Sides that are not multiples of 16 repeat their edge into the last
    // macroblocks.
    IpuImage img = TestPicture(100, 70);
    const u8 flag_sets[] = {0,
                            IPUF_COLUMNS,
                            IPUF_DCTTYPE,
                            kIpuDcPrecision10,
                            kIpuAlternateScan,
                            kIpuIntraVlcTable,
                            kIpuNonLinearQuant,
                            kIpuMpeg1,
                            u8(IPUF_COLUMNS | IPUF_DCTTYPE | kIpuDcPrecision10 | kIpuAlternateScan |
                               kIpuIntraVlcTable | kIpuNonLinearQuant)};
    for (u8 flags : flag_sets) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << int(flags));
        EXPECT_GE(RoundTripPsnr(img, {flags, 1}), 35.0);
    }
}

TEST(IpuEnc, EscapesAndLongCodesSurviveTheRoundTrip)
{
    // Noise needs large levels, long codes and escapes in every block.
    IpuImage noise = GreyNoise(48, 32, 7);
    EXPECT_GE(RoundTripPsnr(noise, {0, 1}), 35.0);
    EXPECT_GE(RoundTripPsnr(noise, {kIpuIntraVlcTable, 1}), 35.0);
    // MPEG-1's escapes carry levels up to 255 in two forms.
    EXPECT_GE(RoundTripPsnr(noise, {kIpuMpeg1, 1}), 35.0);
}

TEST(IpuEnc, ColumnOrderStoresTheSamePictureDifferently)
{
    IpuImage img = TestPicture(64, 48);
    std::vector<u8> rows = Encode(img, {0, 1});
    std::vector<u8> cols = Encode(img, {IPUF_COLUMNS, 1});
    EXPECT_NE(std::vector<u8>(rows.begin() + 17, rows.end()), std::vector<u8>(cols.begin() + 17, cols.end()));
    IpuImage a, b;
    std::string error;
    ASSERT_TRUE(DecodeIpu(rows, a, error)) << error;
    ASSERT_TRUE(DecodeIpu(cols, b, error)) << error;
    EXPECT_EQ(a.rgba, b.rgba);
}

TEST(IpuEnc, FlatColourComesBackExactly)
{
    // A colour whose YCbCr lands on whole values: decoded by the BT.601
    // integer conversion it is exact.
    IpuImage img{32, 32, {}};
    for (int i = 0; i < 32 * 32; ++i)
        img.rgba.insert(img.rgba.end(), {255, 255, 255, 255});
    std::vector<u8> file = Encode(img);
    IpuImage back;
    std::string error;
    ASSERT_TRUE(DecodeIpu(file, back, error)) << error;
    EXPECT_EQ(back.rgba, img.rgba);
}

TEST(IpuEnc, RefusesWhatItCannotEncode)
{
    std::vector<u8> file;
    std::string error;
    EXPECT_FALSE(EncodeIpu(IpuImage{}, {}, file, error));
    EXPECT_NE(error.find("picture size"), std::string::npos);
    IpuImage wrong{16, 16, std::vector<u8>(10)};
    EXPECT_FALSE(EncodeIpu(wrong, {}, file, error));
    EXPECT_NE(error.find("pixel buffer"), std::string::npos);
    IpuImage ok = TestPicture(16, 16);
    EXPECT_FALSE(EncodeIpu(ok, {0, 0}, file, error));
    EXPECT_FALSE(EncodeIpu(ok, {0, 32}, file, error));
    EXPECT_NE(error.find("quantiser 32"), std::string::npos);
    // Noise this large needs more than one IPU transfer at the finest scale.
    EXPECT_FALSE(EncodeIpu(GreyNoise(1024, 1024, 3), {0, 1}, file, error));
    EXPECT_NE(error.find("coarser quantiser"), std::string::npos);
}

TEST(IpuEnc, DecodeRefusesBrokenFiles)
{
    std::vector<u8> file = Encode(TestPicture(48, 48));
    IpuImage img;
    std::string error;
    std::vector<u8> short_file(file.begin(), file.begin() + 40);
    EXPECT_FALSE(DecodeIpu(short_file, img, error));
    EXPECT_NE(error.find("does not fit"), std::string::npos);
    std::vector<u8> bad_id = file;
    bad_id[0] = 'X';
    EXPECT_FALSE(DecodeIpu(bad_id, img, error));
    // Stream bytes zeroed in the middle: the macroblocks break off.
    std::vector<u8> broken = file;
    std::fill(broken.begin() + 60, broken.begin() + 80, 0);
    EXPECT_FALSE(DecodeIpu(broken, img, error));
    EXPECT_NE(error.find("macroblock"), std::string::npos);
}

// Headers naming pictures far larger than any screen are refused with a
// message, before an image of their size is made.
TEST(IpuEnc, HugePictureSizesAreRefusedWithAMessage)
{
    std::vector<u8> file = Encode(TestPicture(48, 48));
    IpuImage img;
    std::string error;
    for (u16 side : {u16(0xFFFF), u16(2049)}) {
        std::vector<u8> huge = file;
        std::memcpy(&huge[8], &side, 2);
        std::memcpy(&huge[10], &side, 2);
        EXPECT_FALSE(DecodeIpu(huge, img, error));
        EXPECT_NE(error.find("is larger than 4194304 pixels"), std::string::npos) << error;
    }

    const ScratchDir scratch;
    const std::string path = scratch.Path("huge.ppm");
    {
        std::ofstream out(path, std::ios::binary);
        out << "P6\n65535 65535\n255\n" << "tiny";
    }
    EXPECT_FALSE(ReadPpm(path, img, error));
    EXPECT_NE(error.find("65535 x 65535 is larger than"), std::string::npos) << error;

    const std::string out = scratch.Path("huge.ipu");
    const char* sample[] = {"--sample", "title", "65535x65535", out.c_str()};
    EXPECT_EQ(RunIpuEnc(sample), 2);
}

TEST(IpuEnc, ReadsBinaryPpm)
{
    const ScratchDir scratch;
    const std::string path = scratch.Path("in.ppm");
    {
        std::ofstream out(path, std::ios::binary);
        out << "P6\n# made by a test\n3 2\n255\n";
        const u8 px[18] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30, 40, 50, 60, 70, 80, 90};
        out.write(reinterpret_cast<const char*>(px), sizeof px);
    }
    IpuImage img;
    std::string error;
    ASSERT_TRUE(ReadPpm(path, img, error)) << error;
    EXPECT_EQ(img.width, 3);
    EXPECT_EQ(img.height, 2);
    EXPECT_EQ(std::vector<u8>(img.rgba.begin() + 12, img.rgba.begin() + 16), (std::vector<u8>{10, 20, 30, 255}));
    {
        std::ofstream out(path, std::ios::binary);
        out << "P6\n3 2\n255\n" << "short";
    }
    EXPECT_FALSE(ReadPpm(path, img, error));
    EXPECT_NE(error.find("pixel data ends"), std::string::npos);
}

TEST(IpuEnc, ProgramWritesSamplesPreviewsAndArrays)
{
    const ScratchDir scratch;
    const std::string ipu = scratch.Path("title.ipu");
    const std::string png = scratch.Path("title.png");
    const std::string cpp = scratch.Path("title.cpp");
    const char* make[] = {"--sample", "title", "64x48", "--columns", ipu.c_str()};
    EXPECT_EQ(RunIpuEnc(make), 0);
    std::ifstream in(ipu, std::ios::binary);
    std::vector<u8> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    IpuImage img;
    std::string error;
    ASSERT_TRUE(DecodeIpu(file, img, error)) << error;
    EXPECT_EQ(img.width, 64);
    EXPECT_EQ(file, Encode(SamplePicture("title", 64, 48), {IPUF_COLUMNS, 1}));

    const char* preview[] = {"--preview", ipu.c_str(), png.c_str()};
    EXPECT_EQ(RunIpuEnc(preview), 0);
    // The preview is the decoded picture, pixel for pixel.
    std::ifstream png_in(png, std::ios::binary);
    const std::vector<u8> png_file((std::istreambuf_iterator<char>(png_in)), std::istreambuf_iterator<char>());
    png_reader::Picture pic;
    ASSERT_TRUE(png_reader::Decode(png_file, pic));
    ASSERT_EQ(pic.width, 64u);
    ASSERT_EQ(pic.height, 48u);
    int differing = 0;
    for (u32 y = 0; y < 48; ++y)
        for (u32 x = 0; x < 64; ++x) {
            const u8* want = &img.rgba[(size_t(y) * 64 + x) * 4];
            differing += (pic.At(x, y) & 0xFFFFFF) != u32(want[0] | want[1] << 8 | want[2] << 16);
        }
    EXPECT_EQ(differing, 0);

    const char* array[] = {"--sample", "loading", "32x32", "--cpp", "LoadScrn", cpp.c_str()};
    EXPECT_EQ(RunIpuEnc(array), 0);
    std::ifstream text(cpp);
    std::string source((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>());
    EXPECT_NE(source.find("alignas(64) extern const unsigned char LoadScrn[] = {"), std::string::npos);
    EXPECT_NE(source.find("0x69, 0x70, 0x75, 0x6D,"), std::string::npos);  // "ipum"

    const char* bad[] = {"--sample", "title", "0x48", ipu.c_str()};
    EXPECT_EQ(RunIpuEnc(bad), 2);
}

TEST(IpuEnc, SamplePicturesDifferByName)
{
    EXPECT_NE(SamplePicture("title", 32, 32).rgba, SamplePicture("end1", 32, 32).rgba);
    EXPECT_EQ(SamplePicture("title", 32, 32).rgba, SamplePicture("title", 32, 32).rgba);
}
