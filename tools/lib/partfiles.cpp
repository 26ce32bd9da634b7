// Writers of the resident particle model files.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/partfiles.h"

#include "ZevEngine2/PS2/Model.h"
#include "game/TestPart.h"

namespace tools {

namespace {

// Alpha of a soft disc: 1 at the centre falling to 0 at radius 1.
double Soft(double r)
{
    return r >= 1.0 ? 0.0 : (1.0 - r * r) * (1.0 - r * r);
}

// One size x size frame from an alpha function of (x, y) in [-1, 1].
template <class F>
void PaintFrame(RgbaImage& img, int size, int frame, F alpha)
{
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const double fx = (x + 0.5) / size * 2.0 - 1.0, fy = (y + 0.5) / size * 2.0 - 1.0;
            const double a = std::min(std::max(alpha(fx, fy), 0.0), 1.0);
            u8* p = &img.rgba[(size_t((frame * size + y) * size + x)) * 4];
            p[0] = p[1] = p[2] = 255;
            p[3] = u8(std::lround(a * 255.0));
        }
}

ParticleLook NewLook(int size, int frames)
{
    ParticleLook l;
    l.size = size;
    l.frames.width = size;
    l.frames.height = size * frames;
    l.frames.rgba.assign(size_t(size) * size * frames * 4, 0);
    return l;
}

}  // namespace

ParticleLook PuffLook(int size, u8 grey, double peak)
{
    ParticleLook l = NewLook(size, 1);
    PaintFrame(l.frames, size, 0, [=](double x, double y) { return peak * Soft(std::sqrt(x * x + y * y)); });
    for (size_t i = 0; i < l.frames.rgba.size(); i += 4)
        l.frames.rgba[i] = l.frames.rgba[i + 1] = l.frames.rgba[i + 2] = grey;
    return l;
}

ParticleLook FlameLook(int size)
{
    ParticleLook l = NewLook(size, 1);
    // Five tongues round a bright core.
    PaintFrame(l.frames, size, 0, [](double x, double y) {
        const double r = std::sqrt(x * x + y * y), a = std::atan2(y, x);
        return Soft(r / (0.75 + 0.25 * std::cos(5.0 * a)));
    });
    return l;
}

ParticleLook DropLook(int size)
{
    ParticleLook l = NewLook(size, 1);
    PaintFrame(l.frames, size, 0, [](double x, double y) { return std::sqrt(x * x + y * y) < 0.6 ? 1.0 : 0.0; });
    return l;
}

ParticleLook BurstLook(int size, int frames)
{
    ParticleLook l = NewLook(size, frames);
    for (int f = 0; f < frames; f++) {
        // A ring that widens and thins frame by frame.
        const double radius = 0.3 + 0.6 * f / std::max(frames - 1, 1), width = 0.35 - 0.2 * f / std::max(frames, 1);
        PaintFrame(l.frames, size, f, [=](double x, double y) {
            const double d = std::fabs(std::sqrt(x * x + y * y) - radius) / width;
            return Soft(d);
        });
    }
    return l;
}

bool WriteParticleFile(const std::vector<ParticleLook>& looks, std::vector<u8>& out, std::string& error)
{
    P2BFile file;
    for (size_t i = 0; i < looks.size(); i++) {
        const ParticleLook& l = looks[i];
        P2BTexture t;
        if (!ConvertTexture(l.frames, TexFormat::kCT32, t.texture, error)) {
            error = "particle look " + std::to_string(i) + ": " + error;
            return false;
        }
        file.textures.push_back(std::move(t));
        file.parts.push_back(PS2Part{u16(i), u16(l.size), u16(l.size), u16(l.frames.height / l.size)});
        file.AddNode(-1, MakeNode(MDL_NOGEOM));
    }
    // The parameter blocks follow the file, one quadword each; the written
    // size does not depend on the nodes' extra2, so the first pass gives
    // their place.
    std::vector<u8> first;
    if (!WriteP2B(file, first, error))
        return false;
    const u32 base = u32((first.size() + 15) & ~size_t(15));
    for (size_t i = 0; i < file.nodes.size(); i++)
        file.nodes[i].extra2 = base + u32(16 * i);
    if (!WriteP2B(file, out, error))
        return false;
    if (out.size() != first.size()) {
        error = "particle file: its size changed with the parameter blocks' offsets";
        return false;
    }
    out.resize(base + 16 * file.nodes.size(), 0);
    for (size_t i = 0; i < file.nodes.size(); i++) {
        const GenericParticle_params params{PartRef{int(i)}};
        std::memcpy(&out[base + 16 * i], &params, sizeof(params));
    }
    return true;
}

bool ResidentParticleFiles(std::vector<NamedFile>& files, std::string& error)
{
    const struct
    {
        const char* name;
        std::vector<ParticleLook> looks;
    } kFiles[] = {
        // Tyre smoke is added to the picture, puff over puff where the
        // wheels spin: a dim, thin puff, so that a cloud of them lightens
        // the road to a soft grey instead of burning it white.
        {"SKIDSMKE.P2B", {PuffLook(32, kTyreSmokeGrey, kTyreSmokePeak)}},
        {"ENGFIRE.P2B", {PuffLook(32), PuffLook(32), FlameLook(32)}},
        {"SMKPUFF.P2B", {PuffLook(32)}},
        {"SHROOM.P2B", {FlameLook(32), BurstLook(32, 4)}},
        {"GEYSER.P2B", {DropLook(16)}},
        {"DUSTPUFF.P2B", {PuffLook(32)}},
    };
    files.clear();
    for (const auto& f : kFiles) {
        NamedFile nf{f.name, {}};
        if (!WriteParticleFile(f.looks, nf.data, error)) {
            error = std::string(f.name) + ": " + error;
            return false;
        }
        files.push_back(std::move(nf));
    }
    return true;
}

bool SplashParticleFile(NamedFile& file, std::string& error)
{
    file = NamedFile{"SPLASH.P2B", {}};
    if (!WriteParticleFile({PuffLook(16)}, file.data, error)) {
        error = "SPLASH.P2B: " + error;
        return false;
    }
    return true;
}

}  // namespace tools
