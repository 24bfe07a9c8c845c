// Metafiles written by an independent program, converted into a movie and
// played in the real player, against the same program's own picture of the
// same drawing: rectangles, an ellipse, a polyline, a Bezier path, a text and
// a clip. And a movie built from the XML form, played with its script.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <cmath>
#include <cstring>
#include <map>

#include "movie/flash_canvas.h"
#include "movie/flash_movie.h"
#include "platform/player/player_harness.h"
#include "platform/player/player_test_support.h"
#include "platform/stream.h"

namespace {

std::string Folder() {
    std::filesystem::path folder = std::filesystem::path(TW_FIXTURE_DIR) / "metafile-player";
    std::filesystem::create_directories(folder);
    return folder.string();
}

bool ToolReady(const std::string& probe) { return std::system((probe + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<uint8_t> RunForBytes(const std::string& command) {
    std::vector<uint8_t> bytes;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    pclose(pipe);
    return bytes;
}

constexpr int kWidth = 240, kHeight = 160;

// Every shape in its own colour, so that each colour's area is one shape's.
const char* kDrawing = R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="240" height="160" viewBox="0 0 240 160">
  <defs><clipPath id="c"><circle cx="200" cy="120" r="30"/></clipPath></defs>
  <rect x="10" y="10" width="60" height="40" fill="#ff0000"/>
  <rect x="80" y="10" width="40" height="60" fill="#0000ff"/>
  <ellipse cx="170" cy="40" rx="50" ry="25" fill="#00c000"/>
  <polyline points="10,70 40,110 70,70" fill="none" stroke="#000000" stroke-width="8"/>
  <path d="M 80 150 C 90 80, 140 80, 150 150 Z" fill="#ff00ff"/>
  <text x="10" y="152" font-family="DejaVu Sans" font-weight="bold" font-size="36" fill="#008080">Hi</text>
  <rect x="160" y="80" width="80" height="80" fill="#ff8000" clip-path="url(#c)"/>
</svg>
)svg";

// Every colour's area must overlap Inkscape's by this much at least.
constexpr double kLeastOverlap = 0.9;

struct TColour {
    const char* name;
    uint8_t r, g, b;
};
const TColour kColours[] = {{"white", 255, 255, 255}, {"red", 255, 0, 0},       {"blue", 0, 0, 255},
                            {"green", 0, 192, 0},     {"black", 0, 0, 0},       {"magenta", 255, 0, 255},
                            {"teal", 0, 128, 128},    {"orange", 255, 128, 0}};
constexpr int kMixed = -1;

// The nearest colour of the palette, or kMixed when the pixel is nearer an
// even mix of two of them: an edge pixel half green and half white is not
// teal, though teal is the palette colour nearest to it.
int Classify(const uint8_t* p) {
    int best = kMixed;
    double bestDistance = 1e9;
    auto consider = [&](double r, double g, double b, int index) {
        double dr = p[0] - r, dg = p[1] - g, db = p[2] - b;
        double d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            best = index;
            bestDistance = d;
        }
    };
    const int n = int(std::size(kColours));
    for (int i = 0; i < n; ++i) consider(kColours[i].r, kColours[i].g, kColours[i].b, i);
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            consider((kColours[i].r + kColours[j].r) / 2.0, (kColours[i].g + kColours[j].g) / 2.0,
                     (kColours[i].b + kColours[j].b) / 2.0, kMixed);
    return best;
}

// The metafile converted into a movie and played; each colour's area
// against the judge's picture.
void CompareWithJudge(const std::string& emf, const std::vector<uint8_t>& judge, const std::string& name) {
    TFlashMovie movie(0, 0, kWidth, kHeight, 12, true);
    movie.GetBackgroundColor().SetRGB(TSWFRGBRec{255, 255, 255});
    TEnhMetafile metafile;
    metafile.LoadFromFile(emf);
    // Inkscape's frame is a little larger than its page (64.00 x 43.00 mm for
    // 63.50 x 42.33): the drawing is shown at the frame's own size, 96 pixels
    // to the inch, as the page is in Inkscape's picture. The rectangle is ten
    // times that size and the placement a tenth, to keep a tenth of a pixel.
    const double frameWidth = (metafile.Frame.Right + 1 - metafile.Frame.Left) * 96.0 / 254.0;
    const double frameHeight = (metafile.Frame.Bottom + 1 - metafile.Frame.Top) * 96.0 / 254.0;
    TFlashCanvas& canvas = movie.GetCanvas();
    canvas.DrawMetafile(TRect{0, 0, int32_t(std::lround(frameWidth)), int32_t(std::lround(frameHeight))}, metafile, true);
    TFlashPlaceObject* placed = canvas.PlaceDrawing(1, true);
    ASSERT_TRUE(placed);
    placed->SetScale(0.1f, 0.1f);
    movie.ShowFrame();
    const std::string swf = Folder() + "/" + name + ".swf";
    movie.MakeStream();
    movie.SaveToFile(swf);

    TPlayedMovie played = TPlayerHarness::Shared().Play(swf, 1);
    ASSERT_EQ(played.frames.size(), 1u);
    const TPlayerFrame& frame = played.frames.back();
    ASSERT_EQ(frame.width, kWidth);
    ASSERT_EQ(frame.height, kHeight);
    {
        // Kept beside Inkscape's picture, for a person to compare.
        FILE* pipe = popen(("convert -size 240x160 -depth 8 rgba:- '" + Folder() + "/" + name + "-player.png'").c_str(), "w");
        ASSERT_NE(pipe, nullptr);
        std::fwrite(frame.rgba.data(), 1, frame.rgba.size(), pipe);
        pclose(pipe);
    }
    std::map<int, int> both, either;
    for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) {
        int a = Classify(&frame.rgba[i * 4]), b = Classify(&judge[i * 4]);
        ++either[a];
        if (a == b) ++both[a];
        else ++either[b];
    }
    for (int i = 1; i < int(std::size(kColours)); ++i) {
        SCOPED_TRACE(kColours[i].name);
        ASSERT_GT(either[i], 0);
        const double overlap = double(both[i]) / either[i];
        std::printf("%s: %-8s intersection over union %.3f (%d of %d pixels)\n", name.c_str(), kColours[i].name, overlap,
                    both[i], either[i]);
        EXPECT_GE(overlap, kLeastOverlap);
    }
}

}  // namespace

// Inkscape writes its text as outlines unless told to keep it as text: both
// forms are judged, the second through the metafile's text records and the
// movie's own font.
TEST(PlayerMetafile, InkscapeDrawingAsInkscapeShowsIt) {
    TW_REQUIRE_PLAYER();
    if (!ToolReady("inkscape --version")) TW_SKIP_OR_FAIL() << "Inkscape is not installed (scripts/setup.sh installs it)";
    if (!ToolReady("convert -version")) TW_SKIP_OR_FAIL() << "ImageMagick is not installed";
    const std::string folder = Folder();
    const std::string svg = folder + "/drawing.svg", emf = folder + "/drawing.emf", png = folder + "/drawing.png";
    const std::string textEmf = folder + "/drawing-text.emf";
    WriteFileBytes(svg, kDrawing, std::strlen(kDrawing));
    // A settings folder of its own, whose preferences keep text as text.
    const std::string settings = folder + "/inkscape-settings";
    std::filesystem::create_directories(settings + "/inkscape");
    const char* preferences = R"(<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<inkscape xmlns:inkscape="http://www.inkscape.org/namespaces/inkscape" version="1">
  <group id="extensions" org.inkscape.output.emf.textToPath="false" />
</inkscape>
)";
    WriteFileBytes(settings + "/inkscape/preferences.xml", preferences, std::strlen(preferences));
    ASSERT_TRUE(ToolReady("inkscape --export-type=emf --export-filename='" + emf + "' '" + svg + "'"));
    ASSERT_TRUE(ToolReady("XDG_CONFIG_HOME='" + settings + "' inkscape --export-type=emf --export-filename='" + textEmf +
                          "' '" + svg + "'"));
    ASSERT_TRUE(ToolReady("inkscape --export-type=png --export-background=white --export-background-opacity=1 "
                          "--export-filename='" + png + "' '" + svg + "'"));
    std::vector<uint8_t> judge = RunForBytes("convert '" + png + "' -depth 8 rgba:-");
    ASSERT_EQ(judge.size(), size_t(kWidth) * kHeight * 4);
    {
        SCOPED_TRACE("outlines");
        CompareWithJudge(emf, judge, "outlines");
    }
    {
        SCOPED_TRACE("text records");
        TEnhMetafile check;
        check.LoadFromFile(textEmf);
        bool hasText = false;
        for (const TEmfRecord& r : check.Records()) hasText = hasText || r.Type() == EMR_EXTTEXTOUTW;
        ASSERT_TRUE(hasText) << "Inkscape wrote the text as outlines in spite of its settings";
        CompareWithJudge(textEmf, judge, "text");
    }
}

// A movie in the XML form, with a shape placed by name with clip actions,
// a frame script and a metafile, played: its pixels and its trace.
TEST(PlayerMetafile, XmlMovieRunsInThePlayer) {
    TW_REQUIRE_PLAYER();
    const std::string folder = Folder();
    {
        TEmfRecorder rec(TRect{0, 0, 2646, 2646});
        std::vector<uint8_t> brush, box;
        for (int32_t v : {1, 0, 0x0000FF, 0}) PutI32(brush, v);
        rec.UseHandle(1);
        rec.Add(EMR_CREATEBRUSHINDIRECT, brush);
        std::vector<uint8_t> select;
        PutI32(select, 1);
        rec.Add(EMR_SELECTOBJECT, select);
        for (int32_t v : {0, 0, 40, 30}) PutI32(box, v);
        rec.Add(EMR_RECTANGLE, box);
        std::vector<uint8_t> bytes = rec.Finish();
        WriteFileBytes(folder + "/red.emf", bytes.data(), bytes.size());
    }
    const std::string xml = R"(<Flash XMin="0" YMin="0" XMax="4800" YMax="3200" FPS="12" Version="8" BgColor="#FFFFFF">
        <Shape IDStr="box" Color="#0000FF"><Edges><MoveTo X="0" Y="0"/><LineTo X="30" Y="0"/><LineTo X="30" Y="30"/><LineTo X="0" Y="30"/><LineTo X="0" Y="0"/></Edges></Shape>
        <Place IDStr="box" Depth="2" Name="clip"><Matrix X="20" Y="20"/>
          <EventActions><Actions Event="Load"><Push><Value Type="str">loaded</Value></Push><Trace/></Actions></EventActions>
        </Place>
        <Metafile File="red.emf" XMin="100" YMin="50" XMax="140" YMax="80" Depth="3"/>
        <Actions><Push><Value Type="str">frame one</Value></Push><Trace/></Actions>
        <Frame/>
      </Flash>)";
    TXmlDocument document;
    document.LoadFromString(xml);
    TFlashMovie movie(0, 0, 10, 10, 12, true);
    movie.Settings.BaseFolder = folder;
    ASSERT_TRUE(movie.LoadFromXml(document.Root(), true));
    const std::string swf = folder + "/xml.swf";
    movie.MakeStream();
    movie.SaveToFile(swf);
    TPlayedMovie played = TPlayerHarness::Shared().Play(swf, 1);
    ASSERT_EQ(played.frames.size(), 1u);
    const TPlayerFrame& frame = played.frames.back();
    EXPECT_EQ(Pixel(frame, 35, 35), (TPlayerPixel{0, 0, 255, 255}));    // the shape, moved by 20 pixels
    // The metafile's 100-pixel frame stretched onto 40 x 30 at (100, 50): its
    // 40 x 30 rectangle covers (100, 50) to (116, 59).
    EXPECT_EQ(Pixel(frame, 108, 54), (TPlayerPixel{255, 0, 0, 255}));
    EXPECT_EQ(Pixel(frame, 125, 54), (TPlayerPixel{255, 255, 255, 255}));
    EXPECT_EQ(Pixel(frame, 200, 120), (TPlayerPixel{255, 255, 255, 255}));
    std::string traced;
    for (const std::string& line : played.trace) traced += line + "|";
    EXPECT_NE(traced.find("frame one"), std::string::npos) << traced;
    EXPECT_NE(traced.find("loaded"), std::string::npos) << traced;
}

// The usual transparent picture of old metafiles: a mask ANDed onto the page,
// then the picture ORed over it. Where the mask is white the page shows
// through; where it is black the picture's own colour shows.
TEST(PlayerMetafile, MaskAndPictureBlitsShowAPictureWithHoles) {
    TW_REQUIRE_PLAYER();
    auto ints = [](std::initializer_list<int32_t> values) {
        std::vector<uint8_t> out;
        for (int32_t v : values) PutI32(out, v);
        return out;
    };
    TEmfRecorder rec(TRect{0, 0, 1587, 1587});  // 60 pixels
    rec.UseHandle(1);
    rec.Add(EMR_CREATEBRUSHINDIRECT, ints({1, 0, 0xFF0000, 0}));  // blue
    rec.Add(EMR_SELECTOBJECT, ints({1}));
    rec.Add(EMR_SELECTOBJECT, ints({static_cast<int32_t>(0x80000008)}));  // no pen
    rec.Add(EMR_RECTANGLE, ints({0, 0, 60, 60}));
    const std::vector<uint8_t> head = ints({10, 10, 49, 49, 10, 10, 40, 40});
    // A 2 x 2 picture of 24 bits blitted onto 40 x 40 pixels.
    auto add = [&](int32_t rop, int32_t left, int32_t right) {
        std::vector<uint8_t> p = head;
        for (uint8_t b : ints({rop, 0, 0, 0x3F800000, 0, 0, 0x3F800000, 0, 0, 0, 0, 100, 40, 140, 16,
                               40, 2, 2, 1 | 24 << 16, 0, 0, 0, 0, 0, 0}))
            p.push_back(b);
        // Each row: the left pixel's three bytes, the right pixel's, two of padding.
        for (int row = 0; row < 2; ++row) {
            for (int32_t colour : {left, right})
                for (int i = 0; i < 3; ++i) p.push_back(static_cast<uint8_t>(colour >> (8 * i)));
            p.push_back(0);
            p.push_back(0);
        }
        rec.Add(EMR_BITBLT, p);
    };
    add(0x8800C6, 0xFFFFFF, 0x000000);  // the mask: white left (a hole), black right
    add(0xEE0086, 0x000000, 0xFF0000);  // the picture: black left, red right (blue, green, red bytes)
    std::vector<uint8_t> bytes = rec.Finish();
    TEnhMetafile metafile;
    metafile.LoadFromBytes(bytes);

    TFlashMovie movie(0, 0, 60, 60, 12, true);
    movie.GetBackgroundColor().SetRGB(TSWFRGBRec{255, 255, 255});
    TFlashCanvas& canvas = movie.GetCanvas();
    canvas.DrawMetafile(TRect{0, 0, 60, 60}, metafile, true);
    ASSERT_TRUE(canvas.PlaceDrawing(1, true));
    movie.ShowFrame();
    const std::string swf = Folder() + "/mask.swf";
    movie.MakeStream();
    movie.SaveToFile(swf);
    TPlayedMovie played = TPlayerHarness::Shared().Play(swf, 1);
    ASSERT_EQ(played.frames.size(), 1u);
    const TPlayerFrame& frame = played.frames.back();
    EXPECT_EQ(Pixel(frame, 5, 5), (TPlayerPixel{0, 0, 255, 255}));    // the page
    // Away from the middle, where the smoothed picture mixes its two columns.
    EXPECT_EQ(Pixel(frame, 14, 30), (TPlayerPixel{0, 0, 255, 255}));   // through the hole
    EXPECT_EQ(Pixel(frame, 46, 30), (TPlayerPixel{255, 0, 0, 255}));   // the picture
}

