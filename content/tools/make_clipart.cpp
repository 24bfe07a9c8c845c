// Makes the clip art and the sound that ship with the application, from
// code, into the folder named on the command line (the program folder's
// "clipart/"): pictures drawn anti-aliased with the project's own canvas
// and written with the image library's PNG (with alpha) and JPEG writers,
// and a short chime synthesised into a 16-bit mono WAVE file.
//
// The output is the same on every run: nothing depends on the time, the
// machine's fonts or a random source.
//
//   make_clipart <folder>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_vidurer_io.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/graphics.h"
#include "platform/riff.h"
#include "platform/stream.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// ------------------------------------------------------------ colours

uint32_t Argb(uint32_t rgb, uint32_t alpha = 255) { return alpha << 24 | (rgb & 0xFFFFFF); }

// The colour t of the way from a to b (both 0xRRGGBB), opaque.
uint32_t Mix(uint32_t a, uint32_t b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double ca = (a >> shift) & 255, cb = (b >> shift) & 255;
        out |= static_cast<uint32_t>(std::lround(ca + (cb - ca) * t)) << shift;
    }
    return 0xFF000000 | out;
}

// ------------------------------------------------------------ drawing

struct TPt {
    double X, Y;
};

TGraphicsBrush Brush(uint32_t argb) {
    TGraphicsBrush brush;
    brush.Color = argb;
    return brush;
}

TGraphicsPen Pen(uint32_t argb, float width) {
    TGraphicsPen pen;
    pen.Color = argb;
    pen.Width = width;
    return pen;
}

TGraphicsPath PathOf(const std::vector<TPt>& points, int32_t fillMode = kFillWinding) {
    TGraphicsPath path(fillMode);
    for (size_t i = 0; i + 1 < points.size(); ++i)
        path.AddLine(points[i].X, points[i].Y, points[i + 1].X, points[i + 1].Y);
    path.CloseFigure();
    return path;
}

void FillShape(TGraphics& g, uint32_t argb, const std::vector<TPt>& points) { g.FillPath(Brush(argb), PathOf(points)); }

void Disc(TGraphics& g, uint32_t argb, double cx, double cy, double rx, double ry) {
    g.FillEllipse(Brush(argb), cx - rx, cy - ry, 2 * rx, 2 * ry);
}

// A closed outline of n points, shape(t) for t over one turn.
std::vector<TPt> Outline(int n, const std::function<TPt(double)>& shape) {
    std::vector<TPt> points;
    for (int i = 0; i < n; ++i) points.push_back(shape(2 * kPi * i / n));
    return points;
}

// A figure lit from a point: copies of the outline, each smaller and drawn
// nearer the light, going from the shade colour to the lit colour. The
// outline is given by its points around (cx, cy) at scale 1.
void ShadedShape(TGraphics& g, const std::vector<TPt>& outline, double cx, double cy, double lightX, double lightY,
                 uint32_t shade, uint32_t lit, int steps = 48) {
    for (int i = 0; i < steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        const double scale = 1.0 - 0.88 * t;
        const double ox = cx + (lightX - cx) * t, oy = cy + (lightY - cy) * t;
        std::vector<TPt> points;
        points.reserve(outline.size());
        for (const TPt& p : outline) points.push_back({ox + (p.X - cx) * scale, oy + (p.Y - cy) * scale});
        FillShape(g, Mix(shade, lit, std::pow(t, 0.7)), points);
    }
}

// A soft glow: many faint discs, more of them towards the centre.
void Glow(TGraphics& g, uint32_t rgb, double cx, double cy, double inner, double outer, int steps, uint32_t alpha) {
    for (int i = 0; i < steps; ++i) {
        const double r = outer - (outer - inner) * i / steps;
        Disc(g, Argb(rgb, alpha), cx, cy, r, r);
    }
}

// A four-pointed sparkle.
void Sparkle(TGraphics& g, uint32_t argb, double cx, double cy, double r) {
    std::vector<TPt> points;
    for (int i = 0; i < 8; ++i) {
        const double a = kPi / 4 * i - kPi / 2;
        const double d = i % 2 == 0 ? r : r * 0.22;
        points.push_back({cx + d * std::cos(a), cy + d * std::sin(a)});
    }
    FillShape(g, argb, points);
}

// ------------------------------------------------------------ pictures

struct TArt {
    std::string Name;
    int Width;
    int Height;
    bool Alpha;
    std::function<void(TGraphics&)> Draw;
};

void DrawSun(TGraphics& g) {
    const double cx = 128, cy = 128;
    Glow(g, 0xFFE082, cx, cy, 70, 126, 28, 9);
    for (int i = 0; i < 16; ++i) {
        const double a = 2 * kPi * i / 16;
        const double tip = i % 2 == 0 ? 120 : 100, half = i % 2 == 0 ? 0.13 : 0.10;
        std::vector<TPt> ray = {{cx + 62 * std::cos(a - half), cy + 62 * std::sin(a - half)},
                                {cx + tip * std::cos(a), cy + tip * std::sin(a)},
                                {cx + 62 * std::cos(a + half), cy + 62 * std::sin(a + half)}};
        FillShape(g, i % 2 == 0 ? 0xFFFFA000 : 0xFFFFC107, ray);
    }
    auto circle = Outline(96, [&](double t) { return TPt{cx + 70 * std::cos(t), cy + 70 * std::sin(t)}; });
    ShadedShape(g, circle, cx, cy, cx - 26, cy - 28, 0xF57C00, 0xFFF59D);
    // Cheeks, eyes and a smile: a friendly sun for intros.
    Disc(g, Argb(0xFF7043, 90), cx - 38, cy + 16, 12, 8);
    Disc(g, Argb(0xFF7043, 90), cx + 38, cy + 16, 12, 8);
    Disc(g, 0xFF6D3B00, cx - 22, cy - 10, 7, 9);
    Disc(g, 0xFF6D3B00, cx + 22, cy - 10, 7, 9);
    Disc(g, 0xFFFFFFFF, cx - 24, cy - 13, 2.5, 2.5);
    Disc(g, 0xFFFFFFFF, cx + 20, cy - 13, 2.5, 2.5);
    g.DrawArc(Pen(0xFF6D3B00, 5), cx - 26, cy - 12, 52, 44, 30, 120);
}

void DrawBalloon(TGraphics& g) {
    const double cx = 100, cy = 112, rx = 78, ry = 100;
    // The string, swaying, from the knot down.
    TGraphicsPath string(kFillAlternate);
    double lastX = cx, lastY = cy + ry + 16;
    for (int i = 1; i <= 40; ++i) {
        const double y = cy + ry + 16 + i * 2.0;
        const double x = cx + 7 * std::sin(i * 0.32);
        string.AddLine(lastX, lastY, x, y);
        lastX = x;
        lastY = y;
    }
    g.DrawPath(Pen(0xFF6D4C41, 2), string);
    // The knot.
    FillShape(g, 0xFFA31515,
              {{cx - 9, cy + ry + 18}, {cx + 9, cy + ry + 18}, {cx + 3, cy + ry - 2}, {cx - 3, cy + ry - 2}});
    // The body: an egg, narrower at the bottom.
    auto egg = Outline(120, [&](double t) {
        return TPt{cx + rx * std::sin(t) * (0.91 + 0.09 * std::cos(t)), cy - ry * std::cos(t)};
    });
    ShadedShape(g, egg, cx, cy, cx - 30, cy - 45, 0xA31515, 0xFF6F61);
    // The shine.
    Disc(g, Argb(0xFFFFFF, 150), cx - 36, cy - 48, 13, 26);
    Disc(g, Argb(0xFFFFFF, 200), cx - 20, cy - 80, 6, 6);
}

void DrawStar(TGraphics& g) {
    const double cx = 128, cy = 136, outer = 120, inner = 50;
    std::vector<TPt> tips;
    for (int i = 0; i < 10; ++i) {
        const double a = -kPi / 2 + kPi / 5 * i;
        const double r = i % 2 == 0 ? outer : inner;
        tips.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    // A soft shadow below, then the star's facets: each point is two
    // triangles, one lit and one in shade, which makes it look cut.
    std::vector<TPt> shadow;
    for (const TPt& p : tips) shadow.push_back({p.X + 5, p.Y + 7});
    FillShape(g, Argb(0x000000, 60), shadow);
    for (int i = 0; i < 10; ++i) {
        const TPt& a = tips[i];
        const TPt& b = tips[(i + 1) % 10];
        const bool lit = (i % 2 == 0) == (i < 5);
        FillShape(g, lit ? 0xFFFFE082 : 0xFFFFB300, {{cx, cy}, a, b});
    }
    g.DrawPath(Pen(0xFFE65100, 3), PathOf(tips));
    Sparkle(g, 0xFFFFFFFF, cx - 34, cy - 30, 12);
    Sparkle(g, Argb(0xFFF59D, 230), 226, 34, 16);
    Sparkle(g, Argb(0xFFF59D, 230), 30, 40, 11);
    Sparkle(g, Argb(0xFFF59D, 230), 222, 222, 9);
}

void DrawGift(TGraphics& g) {
    // Shadow on the floor.
    Disc(g, Argb(0x000000, 55), 128, 238, 100, 12);
    // Box front and side.
    g.FillRectangle(Brush(0xFFE53935), 44, 120, 134, 116);
    FillShape(g, 0xFFB71C1C, {{177.5, 119.5}, {213.5, 105.5}, {213.5, 219.5}, {177.5, 235.5}});
    // Lid: front, side and top.
    g.FillRectangle(Brush(0xFFF44336), 36, 96, 150, 30);
    FillShape(g, 0xFFC62828, {{185.5, 95.5}, {221.5, 81.5}, {221.5, 111.5}, {185.5, 125.5}});
    FillShape(g, 0xFFEF5350, {{35.5, 95.5}, {71.5, 81.5}, {221.5, 81.5}, {185.5, 95.5}});
    // Ribbon round the box.
    g.FillRectangle(Brush(0xFFFFD54F), 100, 96, 24, 140);
    FillShape(g, 0xFFFFCA28, {{185.5, 103.5}, {221.5, 89.5}, {221.5, 101.5}, {185.5, 115.5}});
    FillShape(g, 0xFFFFCA28, {{177.5, 160.5}, {213.5, 146.5}, {213.5, 158.5}, {177.5, 172.5}});
    g.FillRectangle(Brush(0xFFFFD54F), 44, 160, 134, 12);
    FillShape(g, 0xFFFFE082, {{99.5, 95.5}, {135.5, 81.5}, {159.5, 81.5}, {123.5, 95.5}});
    // The bow: two loops with their holes, two tails and the knot.
    const double bx = 128, by = 74;
    for (int side : {-1, 1}) {
        TGraphicsPath loop(kFillAlternate);
        loop.AddArc(bx + side * 30 - 30, by - 22, 60, 40, 0, 360);
        loop.CloseFigure();
        loop.AddArc(bx + side * 30 - 17, by - 12, 34, 20, 0, 360);
        loop.CloseFigure();
        g.FillPath(Brush(0xFFFFC107), loop);
        g.DrawArc(Pen(0xFFFF8F00, 2), bx + side * 30 - 30, by - 22, 60, 40, 0, 360);
        FillShape(g, 0xFFFFB300,
                  {{bx, by}, {bx + side * 26, by + 30}, {bx + side * 16, by + 34}, {bx + side * 4, by + 6}});
    }
    Disc(g, 0xFFFFA000, bx, by, 11, 10);
    Disc(g, Argb(0xFFFFFF, 120), bx - 3, by - 3, 4, 3);
    Sparkle(g, Argb(0xFFFFFF, 220), 60, 140, 9);
}

void DrawHeart(TGraphics& g) {
    const double cx = 120, cy = 112, s = 6.6;
    auto heart = Outline(160, [&](double t) {
        const double x = 16 * std::pow(std::sin(t), 3);
        const double y = 13 * std::cos(t) - 5 * std::cos(2 * t) - 2 * std::cos(3 * t) - std::cos(4 * t);
        return TPt{cx + s * x, cy - s * y};
    });
    std::vector<TPt> shadow;
    for (const TPt& p : heart) shadow.push_back({p.X + 4, p.Y + 6});
    FillShape(g, Argb(0x000000, 50), shadow);
    ShadedShape(g, heart, cx, cy, cx - 40, cy - 45, 0xAD1457, 0xFF80AB);
    Disc(g, Argb(0xFFFFFF, 160), cx - 58, cy - 52, 16, 10);
    Disc(g, Argb(0xFFFFFF, 200), cx - 36, cy - 62, 5, 5);
}

// Sky, sun, clouds, hills, a lake and trees: a backdrop for banners.
void DrawLandscape(TGraphics& g) {
    const int w = 400, h = 300, horizon = 170;
    for (int y = 0; y < horizon; ++y)
        g.FillRectangle(Brush(Mix(0x1E88E5, 0xFFE0B2, std::pow(double(y) / horizon, 1.6))), 0, y, w, 1);
    Glow(g, 0xFFF9C4, 300, 92, 26, 80, 24, 12);
    Disc(g, 0xFFFFF8E1, 300, 92, 26, 26);
    auto cloud = [&](double x, double y, double k) {
        for (const auto& [dx, dy, r] : std::vector<std::tuple<double, double, double>>{
                 {0, 0, 18}, {20, -8, 22}, {44, -2, 18}, {62, 4, 13}, {-16, 6, 12}, {28, 8, 16}})
            Disc(g, Argb(0xFFFFFF, 235), x + dx * k, y + dy * k, r * k, r * k * 0.9);
    };
    cloud(70, 60, 1.0);
    cloud(190, 40, 0.7);
    cloud(350, 150, 0.55);
    // Hills: each a band under a sum of waves, lighter when further away.
    auto hills = [&](double base, double amp, double f1, double f2, double phase, uint32_t rgb) {
        std::vector<TPt> points = {{-1, double(h + 1)}};
        for (int x = 0; x <= w; x += 4)
            points.push_back(
                {double(x), base - amp * (0.6 * std::sin(x * f1 + phase) + 0.4 * std::sin(x * f2 + 2 * phase))});
        points.push_back({double(w + 1), double(h + 1)});
        FillShape(g, 0xFF000000 | rgb, points);
    };
    hills(150, 26, 0.012, 0.031, 0.5, 0x90A4AE);
    hills(172, 20, 0.018, 0.043, 2.1, 0x81C784);
    // The lake, with the sky mirrored as stripes.
    g.FillRectangle(Brush(0xFF4FC3F7), 0, 196, w, 40);
    for (int i = 0; i < 9; ++i)
        g.FillRectangle(Brush(Argb(0xFFFFFF, 70)), 30 + i * 41 + (i % 3) * 7, 202 + (i * 13) % 30, 22 + (i % 4) * 6, 2);
    hills(246, 10, 0.02, 0.05, 4.0, 0x43A047);
    g.FillRectangle(Brush(0xFF388E3C), 0, 262, w, h - 262);
    // Trees: a trunk and three rounds of leaves.
    auto tree = [&](double x, double y, double k) {
        g.FillRectangle(Brush(0xFF6D4C41), x - 4 * k, y - 30 * k, 8 * k, 30 * k);
        Disc(g, 0xFF2E7D32, x, y - 42 * k, 22 * k, 20 * k);
        Disc(g, 0xFF388E3C, x - 10 * k, y - 50 * k, 14 * k, 13 * k);
        Disc(g, 0xFF66BB6A, x + 6 * k, y - 56 * k, 11 * k, 10 * k);
    };
    tree(48, 256, 1.0);
    tree(86, 262, 0.8);
    tree(342, 252, 1.1);
    tree(372, 266, 0.7);
    // Flowers in the meadow.
    for (int i = 0; i < 14; ++i) {
        const double x = 120 + i * 15 + (i % 3) * 4, y = 274 + (i * 7) % 20;
        Disc(g, i % 2 ? 0xFFFFEB3B : 0xFFFFFFFF, x, y, 3, 3);
        Disc(g, 0xFFFF9800, x, y, 1.2, 1.2);
    }
}

// ------------------------------------------------------------ output

void FillBitmap(TBitmap& bitmap, uint8_t value) {
    for (int y = 0; y < bitmap.Height(); ++y) std::memset(bitmap.ScanLine(y), value, size_t(bitmap.Width()) * 3);
}

TBitmap Rendered(const TArt& art, uint8_t background) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(art.Width, art.Height);
    FillBitmap(bitmap, background);
    TCanvas canvas(bitmap);
    TGraphics graphics(canvas);
    graphics.SetAntialias(true);
    art.Draw(graphics);
    return bitmap;
}

// The picture with its alpha channel. The drawing is made twice, over black
// and over white: where a pixel lets a part k of the background through,
// the two differ by 255 k, and over black it is the colour already
// multiplied by its opacity.
void MakePicture(const TArt& art, TIEBitmap& picture) {
    const TBitmap black = Rendered(art, 0);
    const TBitmap white = art.Alpha ? Rendered(art, 255) : TBitmap();
    picture.Allocate(art.Width, art.Height, ie24RGB);
    TIEBitmap* alpha = art.Alpha ? picture.GetAlphaChannel() : nullptr;
    for (int y = 0; y < art.Height; ++y) {
        const uint8_t* b = black.ScanLine(y);
        uint8_t* out = picture.GetScanline(y);
        if (!alpha) {
            std::memcpy(out, b, size_t(art.Width) * 3);
            continue;
        }
        const uint8_t* wt = white.ScanLine(y);
        uint8_t* mask = alpha->GetScanline(y);
        for (int x = 0; x < art.Width * 3; x += 3) {
            int through = 0;
            for (int c = 0; c < 3; ++c) through += wt[x + c] - b[x + c];
            const int a = std::clamp(255 - (through + 1) / 3, 0, 255);
            mask[x / 3] = static_cast<uint8_t>(a);
            for (int c = 0; c < 3; ++c)
                out[x + c] = a == 0 ? 255 : static_cast<uint8_t>(std::min(255, (b[x + c] * 255 + a / 2) / a));
        }
    }
    if (alpha) IEUpdateAlphaFullFlag(*alpha);
}

void SavePicture(const TArt& art, const std::filesystem::path& folder) {
    TVidurErIO io;
    MakePicture(art, *io.Bitmap());
    io.ImageParams.JpegQuality = 90;
    io.ImageParams.PngCompression = 9;
    const std::string path = (folder / art.Name).string();
    io.SaveToFile(path);
    if (io.AbortFlag) throw std::runtime_error("cannot write " + path + ": " + io.LastError());
}

// A two-note chime: each note a struck bell, partials at the ratios of a
// bell with their own decays, the second note entering while the first
// rings on.
std::vector<int16_t> Chime(int rate, double seconds) {
    struct TPartial {
        double Ratio, Level, Decay;
    };
    static const TPartial kBell[] = {
        {1.0, 1.0, 2.2}, {2.0, 0.45, 3.5}, {2.76, 0.28, 5.0}, {5.40, 0.12, 8.0}, {0.5, 0.2, 1.6}};
    struct TNote {
        double Start, Frequency, Level;
    };
    static const TNote kNotes[] = {{0.0, 1318.51, 0.55}, {0.32, 987.77, 0.6}};
    const size_t count = static_cast<size_t>(rate * seconds);
    std::vector<double> mix(count, 0.0);
    for (const TNote& note : kNotes) {
        for (size_t i = static_cast<size_t>(note.Start * rate); i < count; ++i) {
            const double t = double(i) / rate - note.Start;
            const double attack = std::min(1.0, t / 0.004);
            double v = 0;
            for (const TPartial& p : kBell)
                v += p.Level * std::exp(-p.Decay * t) * std::sin(2 * kPi * note.Frequency * p.Ratio * t);
            mix[i] += note.Level * attack * v;
        }
    }
    // Fade the last tenth of a second to silence, then scale to -3 dB.
    const size_t fade = static_cast<size_t>(0.1 * rate);
    for (size_t i = count - fade; i < count; ++i) mix[i] *= double(count - i) / fade;
    double peak = 0;
    for (double v : mix) peak = std::max(peak, std::abs(v));
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(std::lround(mix[i] / peak * 0.707 * 32767));
    return samples;
}

void SaveWave(const std::filesystem::path& path, const std::vector<int16_t>& samples, uint32_t rate) {
    const std::string temporary = path.string() + ".part";
    {
        TFileStream file(temporary, TFileMode::Create);
        TRiffWriter riff(file);
        riff.BeginList(FourCC("RIFF"), FourCC("WAVE"));
        const uint16_t channels = 1, bits = 16, align = channels * bits / 8;
        uint8_t format[16];
        auto put16 = [&](int at, uint16_t v) { format[at] = v & 255, format[at + 1] = v >> 8; };
        auto put32 = [&](int at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
        put16(0, 1);  // PCM
        put16(2, channels);
        put32(4, rate);
        put32(8, rate * align);
        put16(12, align);
        put16(14, bits);
        riff.WriteChunk(FourCC("fmt "), format, sizeof format);
        std::vector<uint8_t> data(samples.size() * 2);
        for (size_t i = 0; i < samples.size(); ++i) {
            const auto v = static_cast<uint16_t>(samples[i]);
            data[2 * i] = v & 255;
            data[2 * i + 1] = v >> 8;
        }
        riff.WriteChunk(FourCC("data"), data.data(), data.size());
        riff.End();
        file.Close();
    }
    std::filesystem::rename(temporary, path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_clipart <folder>\n");
        return 2;
    }
    try {
        const std::filesystem::path folder = argv[1];
        std::filesystem::create_directories(folder);
        const std::vector<TArt> arts = {
            {"Sun.png", 256, 256, true, DrawSun},     {"Balloon.png", 200, 300, true, DrawBalloon},
            {"Star.png", 256, 256, true, DrawStar},   {"Gift.png", 256, 256, true, DrawGift},
            {"Heart.png", 240, 220, true, DrawHeart}, {"Landscape.jpg", 400, 300, false, DrawLandscape},
        };
        for (const TArt& art : arts) SavePicture(art, folder);
        constexpr uint32_t kRate = 22050;
        SaveWave(folder / "Chime.wav", Chime(kRate, 2.5), kRate);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_clipart: %s\n", error.what());
        return 1;
    }
    return 0;
}
