// The demo disc's still cards: gradients with film grain, text drawn from
// the game's glyph tables, the sample city's skyline in silhouette and its
// streets seen from above with a route along them.
#include "tools/lib/stillcards.h"

#include <algorithm>
#include <cmath>
#include <queue>
#include <string>
#include <vector>

#include "tools/lib/city.h"
#include "tools/lib/fontgen.h"

namespace tools {

namespace {

struct Rgb
{
    double r, g, b;
};

class Canvas
{
public:
    Canvas(int w, int h) : w_(w), h_(h), px_(size_t(w) * h, Rgb{0, 0, 0}) {}

    int Width() const { return w_; }
    int Height() const { return h_; }

    // Blends c over pixel (x, y) with opacity a.
    void Blend(int x, int y, Rgb c, double a)
    {
        if (x < 0 || y < 0 || x >= w_ || y >= h_ || a <= 0.0)
            return;
        Rgb& p = px_[size_t(y) * w_ + x];
        a = std::min(a, 1.0);
        p = {p.r + (c.r - p.r) * a, p.g + (c.g - p.g) * a, p.b + (c.b - p.b) * a};
    }

    void VerticalGradient(Rgb top, Rgb bottom)
    {
        for (int y = 0; y < h_; y++) {
            const double t = double(y) / std::max(1, h_ - 1);
            for (int x = 0; x < w_; x++)
                px_[size_t(y) * w_ + x] = {top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                                           top.b + (bottom.b - top.b) * t};
        }
    }

    void FillRect(int x0, int y0, int x1, int y1, Rgb c, double a = 1.0)
    {
        for (int y = std::max(0, y0); y < std::min(h_, y1); y++)
            for (int x = std::max(0, x0); x < std::min(w_, x1); x++)
                Blend(x, y, c, a);
    }

    // A line of half-width r with soft edges.
    void Line(double x0, double y0, double x1, double y1, double r, Rgb c)
    {
        const int minx = int(std::min(x0, x1) - r - 2), maxx = int(std::max(x0, x1) + r + 2);
        const int miny = int(std::min(y0, y1) - r - 2), maxy = int(std::max(y0, y1) + r + 2);
        const double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
        for (int y = miny; y <= maxy; y++)
            for (int x = minx; x <= maxx; x++) {
                double t = len2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / len2 : 0.0;
                t = std::clamp(t, 0.0, 1.0);
                const double d = std::hypot(x - (x0 + t * dx), y - (y0 + t * dy));
                Blend(x, y, c, std::clamp(r + 0.5 - d, 0.0, 1.0));
            }
    }

    void Disc(double cx, double cy, double r, Rgb c) { Line(cx, cy, cx, cy, r, c); }

    // Even film grain from a seeded generator.
    void Grain(u32 seed, double amount)
    {
        u32 x = seed * 2654435761u + 1u;
        for (Rgb& p : px_) {
            x = x * 1664525u + 1013904223u;
            const double n = (double(x >> 8) / 16777216.0 - 0.5) * amount;
            p = {p.r + n, p.g + n, p.b + n};
        }
    }

    IpuImage Image() const
    {
        IpuImage img;
        img.width = w_;
        img.height = h_;
        img.rgba.reserve(px_.size() * 4);
        auto byte = [](double v) { return u8(std::clamp(std::lround(v * 255.0), 0L, 255L)); };
        for (const Rgb& p : px_)
            img.rgba.insert(img.rgba.end(), {byte(p.r), byte(p.g), byte(p.b), 255});
        return img;
    }

private:
    int w_, h_;
    std::vector<Rgb> px_;
};

// Text from the game's glyph tables, each grid cell `scale` pixels.
int TextWidth(std::string_view text, int scale)
{
    int w = 0;
    for (unsigned char c : text) {
        BaseGlyph g;
        w += (GlyphFor(c, false, g) ? g.width : 3) + 1;
    }
    return w * scale;
}

void Text(Canvas& cv, std::string_view text, int x, int y, int scale, Rgb c)
{
    for (unsigned char ch : text) {
        BaseGlyph g;
        if (!GlyphFor(ch, false, g)) {
            x += 4 * scale;
            continue;
        }
        for (size_t row = 0; row < g.rows.size(); row++)
            for (int col = 0; col < g.width; col++)
                if (g.rows[row] >> col & 1)
                    cv.FillRect(x + col * scale, y + int(row) * scale, x + (col + 1) * scale,
                                y + (int(row) + 1) * scale, c);
        x += (g.width + 1) * scale;
    }
}

void CentredText(Canvas& cv, std::string_view text, int y, int scale, Rgb c)
{
    Text(cv, text, (cv.Width() - TextWidth(text, scale)) / 2, y, scale, c);
}

const CityDescription& City()
{
    static const CityDescription city = SampleCity();
    return city;
}

// The city's buildings against the sky: one block per placed model, its
// height from the model and its place, along the bottom of the card.
void Skyline(Canvas& cv, int baseY, Rgb c)
{
    const CityDescription& city = City();
    const double scale = cv.Width() / 300.0;
    for (const CityInstance& in : city.instances) {
        const u32 h = (u32(in.model) * 2654435761u) ^ (u32(std::lround(in.pos.z() * 7.0f)) * 40503u);
        const double height = 30.0 + double(h % 140u);
        const double width = 10.0 + double((h >> 8) % 16u);
        const double x = (double(in.pos.x()) + 150.0) * scale;
        cv.FillRect(int(x - width / 2), int(baseY - height), int(x + width / 2), baseY, c);
        // A few lit windows.
        for (int wy = int(baseY - height) + 8; wy < baseY - 8; wy += 14)
            if ((h >> (wy % 13)) & 1)
                cv.FillRect(int(x - 2), wy, int(x + 2), wy + 5, Rgb{0.95, 0.8, 0.45}, 0.6);
    }
    cv.FillRect(0, baseY, cv.Width(), cv.Height(), c);
}

// The streets from above within a square box at (bx, by) of `size` pixels.
struct MapView
{
    double bx, by, size;
    double X(double wx) const { return bx + (wx + 150.0) / 300.0 * size; }
    double Y(double wz) const { return by + (wz + 150.0) / 300.0 * size; }
};

double HalfWidth(const CityDescription& city, int type)
{
    double w = 3.0;
    if (type >= 0 && size_t(type) < city.roadtypes.size())
        for (const VectorXY& p : city.roadtypes[size_t(type)].full)
            w = std::max(w, double(std::fabs(p.x())));
    return w;
}

// A segment's centre line as points.
std::vector<std::pair<double, double>> SegmentPoints(const CityDescription& city, const CitySegment& s)
{
    const VectorPos& a = city.junctions[size_t(s.jtn[0])].pos;
    const VectorPos& b = city.junctions[size_t(s.jtn[1])].pos;
    std::vector<std::pair<double, double>> pts;
    if (s.straight) {
        pts = {{a.x(), a.z()}, {b.x(), b.z()}};
        return pts;
    }
    for (int i = 0; i <= 16; i++) {
        const double t = i / 16.0, u = 1.0 - t;
        const double x = u * u * u * a.x() + 3 * u * u * t * s.c1.x() + 3 * u * t * t * s.c2.x() + t * t * t * b.x();
        const double z = u * u * u * a.z() + 3 * u * u * t * s.c1.z() + 3 * u * t * t * s.c2.z() + t * t * t * b.z();
        pts.push_back({x, z});
    }
    return pts;
}

void Streets(Canvas& cv, const MapView& v, Rgb road, Rgb block)
{
    const CityDescription& city = City();
    cv.FillRect(int(v.bx), int(v.by), int(v.bx + v.size), int(v.by + v.size), block);
    const double k = v.size / 300.0;
    for (const CitySegment& s : city.segments) {
        if (s.jtn[0] < 0 || s.jtn[1] < 0)
            continue;
        const auto pts = SegmentPoints(city, s);
        const double r = HalfWidth(city, s.type) * k;
        for (size_t i = 1; i < pts.size(); i++)
            cv.Line(v.X(pts[i - 1].first), v.Y(pts[i - 1].second), v.X(pts[i].first), v.Y(pts[i].second), r, road);
    }
}

int NearestJunction(double x, double z)
{
    const CityDescription& city = City();
    int best = 0;
    double bestD = 1e30;
    for (size_t j = 0; j < city.junctions.size(); j++) {
        const double d = std::hypot(city.junctions[j].pos.x() - x, city.junctions[j].pos.z() - z);
        if (d < bestD) {
            bestD = d;
            best = int(j);
        }
    }
    return best;
}

// The shortest way along the streets between the junctions nearest to two
// places, drawn as a red line with the start and the goal marked.
void Route(Canvas& cv, const MapView& v, double x0, double z0, double x1, double z1)
{
    const CityDescription& city = City();
    const int from = NearestJunction(x0, z0), to = NearestJunction(x1, z1);
    std::vector<double> dist(city.junctions.size(), 1e30);
    std::vector<int> via(city.junctions.size(), -1);
    using Item = std::pair<double, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
    dist[size_t(from)] = 0;
    open.push({0.0, from});
    while (!open.empty()) {
        const auto [d, j] = open.top();
        open.pop();
        if (d > dist[size_t(j)])
            continue;
        for (size_t s = 0; s < city.segments.size(); s++) {
            const CitySegment& seg = city.segments[s];
            if (seg.jtn[0] < 0 || seg.jtn[1] < 0 || (seg.jtn[0] != j && seg.jtn[1] != j))
                continue;
            const int other = seg.jtn[0] == j ? seg.jtn[1] : seg.jtn[0];
            const VectorPos& a = city.junctions[size_t(j)].pos;
            const VectorPos& b = city.junctions[size_t(other)].pos;
            const double nd = d + std::hypot(a.x() - b.x(), a.z() - b.z());
            if (nd < dist[size_t(other)]) {
                dist[size_t(other)] = nd;
                via[size_t(other)] = int(s);
                open.push({nd, other});
            }
        }
    }
    const Rgb red{0.8, 0.1, 0.08};
    const double r = 2.5;
    for (int j = to; j != from && via[size_t(j)] >= 0;) {
        const CitySegment& seg = city.segments[size_t(via[size_t(j)])];
        const auto pts = SegmentPoints(city, seg);
        for (size_t i = 1; i < pts.size(); i++)
            cv.Line(v.X(pts[i - 1].first), v.Y(pts[i - 1].second), v.X(pts[i].first), v.Y(pts[i].second), r, red);
        j = seg.jtn[0] == j ? seg.jtn[1] : seg.jtn[0];
    }
    cv.Line(v.X(x0), v.Y(z0), v.X(city.junctions[size_t(from)].pos.x()), v.Y(city.junctions[size_t(from)].pos.z()),
            r, red);
    cv.Line(v.X(x1), v.Y(z1), v.X(city.junctions[size_t(to)].pos.x()), v.Y(city.junctions[size_t(to)].pos.z()), r,
            red);
    cv.Disc(v.X(x0), v.Y(z0), 6, Rgb{0.1, 0.3, 0.8});
    cv.Disc(v.X(x1), v.Y(z1), 8, red);
    cv.Disc(v.X(x1), v.Y(z1), 3, Rgb{1, 1, 1});
}

// A briefing card: the title above the street map, the goal's name beside it.
struct Paper
{
    Rgb top, bottom, ink, block;
};

IpuImage Briefing(int w, int h, u32 seed, const Paper& paper, const char* title, const char* goal, double gx,
                  double gz)
{
    Canvas cv(w, h);
    cv.VerticalGradient(paper.top, paper.bottom);
    CentredText(cv, title, 24, 3, paper.ink);
    const MapView v{40.0, 78.0, double(std::min(w, h) - 110)};
    Streets(cv, v, {0.95, 0.93, 0.88}, paper.block);
    Route(cv, v, -84.0, 38.5, gx, gz);
    const int tx = int(v.bx + v.size) + 20;
    Text(cv, "to:", tx, 120, 2, paper.ink);
    Text(cv, goal, tx, 150, 2, {0.6, 0.08, 0.05});
    Text(cv, "from:", tx, 220, 2, paper.ink);
    Text(cv, "Elm Street", tx, 250, 2, {0.1, 0.25, 0.6});
    cv.Grain(seed, 0.05);
    return cv.Image();
}

// A card of text lines over a gradient and the skyline.
IpuImage Card(int w, int h, u32 seed, Rgb top, Rgb bottom, Rgb ink, std::initializer_list<const char*> lines,
              int scale)
{
    Canvas cv(w, h);
    cv.VerticalGradient(top, bottom);
    Skyline(cv, h - 40, {0.04, 0.04, 0.06});
    int y = 70;
    for (const char* line : lines) {
        CentredText(cv, line, y, scale, ink);
        y += 14 * scale;
        scale = std::max(2, scale / 2);
    }
    cv.Grain(seed, 0.06);
    return cv.Image();
}

}  // namespace

IpuImage DiscStill(std::string_view name, int width, int height)
{
    // Each card's grain has a seed of its own.
    auto s = [](u32 n) { return n; };
    if (name == "ZEVWORKS") {
        Canvas cv(width, height);
        cv.VerticalGradient({0.08, 0.08, 0.1}, {0.2, 0.18, 0.22});
        CentredText(cv, "ZEVWORKS", height / 2 - 60, 8, {0.92, 0.88, 0.75});
        cv.FillRect(width / 2 - 150, height / 2 + 50, width / 2 + 150, height / 2 + 54, {0.8, 0.3, 0.1});
        CentredText(cv, "interactive", height / 2 + 70, 3, {0.7, 0.68, 0.6});
        cv.Grain(s(1), 0.07);
        return cv.Image();
    }
    if (name == "DEMTITLE")
        return Card(width, height, s(2), {0.95, 0.55, 0.25}, {0.35, 0.12, 0.35}, {0.1, 0.05, 0.1},
                    {"KORVALIS", "demo"}, 8);
    // The briefings: a paper map by day, the bar by night, the spa on green.
    if (name == "DEMOSCR1")
        return Briefing(width, height, s(3), {{0.86, 0.82, 0.7}, {0.7, 0.64, 0.52}, {0.15, 0.1, 0.08}, {0.55, 0.52, 0.45}},
                        "Race to the Red Lantern Bar", "Red Lantern", 70.0, -25.5);
    if (name == "DEMOSCR2")
        return Briefing(width, height, s(4), {{0.1, 0.12, 0.25}, {0.02, 0.03, 0.1}, {0.95, 0.85, 0.6}, {0.2, 0.22, 0.35}},
                        "The Red Lantern Bar", "Red Lantern", 70.0, -25.5);
    if (name == "DEMOSCR3")
        return Briefing(width, height, s(5), {{0.6, 0.75, 0.62}, {0.3, 0.45, 0.35}, {0.05, 0.15, 0.08}, {0.35, 0.5, 0.4}},
                        "The Spa", "The Spa", 60.0, -60.0);
    if (name == "DEMOEND1")
        return Card(width, height, s(6), {0.1, 0.15, 0.35}, {0.5, 0.3, 0.45}, {0.95, 0.9, 0.8},
                    {"thanks for playing", "the streets wait for you"}, 5);
    if (name == "DEMOEND2")
        return Card(width, height, s(7), {0.2, 0.35, 0.55}, {0.75, 0.75, 0.7}, {0.05, 0.08, 0.15},
                    {"drive the city", "chase, race and tail"}, 5);
    if (name == "DEMOEND3")
        return Card(width, height, s(8), {0.55, 0.1, 0.08}, {0.15, 0.05, 0.05}, {0.98, 0.85, 0.6},
                    {"fight hand to hand", "throws, sweeps and combos"}, 5);
    if (name == "DEMOEND4")
        return Card(width, height, s(9), {0.1, 0.3, 0.15}, {0.02, 0.08, 0.05}, {0.85, 0.95, 0.8},
                    {"take the shot", "lock on and aim"}, 5);
    if (name == "DEMOEND5")
        return Card(width, height, s(10), {0.15, 0.15, 0.15}, {0.35, 0.35, 0.4}, {0.95, 0.95, 0.95},
                    {"made by", "the korvalis team", "with our own tools"}, 5);
    return SamplePicture(name, width, height);
}

}  // namespace tools
