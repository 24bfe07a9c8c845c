// Texts in embedded fonts as the real player draws them, beside ImageMagick's
// drawing of the same text from the same font file at the same size: a static
// text with accented letters and the euro sign, a dynamic HTML text in a bold
// italic face whose variable a frame script changes, and a line longer than
// one text record holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "movie/fonts.h"
#include "movie/texts.h"
#include "platform/codepage.h"
#include "platform/player/player_harness.h"
#include "platform/player/player_test_support.h"
#include "player_files.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

namespace {

const std::string kFontFolder = "/usr/share/fonts/truetype/dejavu/";

std::string TempPath(const std::string& name) { return PlayerTempPath("tw_texts_player", name); }

#define TW_REQUIRE_TOOLS(fontFile)                                                    \
    do {                                                                              \
        TW_REQUIRE_PLAYER();                                                          \
        std::string tw_why;                                                           \
        if (!ImageMagickReady(tw_why)) {                                              \
            if (std::getenv("CI")) FAIL() << tw_why;                                  \
            GTEST_SKIP() << tw_why;                                                   \
        }                                                                             \
        if (!std::filesystem::exists(fontFile)) {                                     \
            if (std::getenv("CI")) FAIL() << fontFile << " is missing";               \
            GTEST_SKIP() << fontFile << " is missing (scripts/setup.sh installs it)"; \
        }                                                                             \
    } while (0)

struct TGrey {
    int width = 0, height = 0;
    std::vector<uint8_t> value;  // 0 black .. 255 white
    uint8_t At(int x, int y) const { return value[size_t(y) * width + x]; }
};

TGrey FromFrame(const TPlayerFrame& frame) {
    TGrey grey{frame.width, frame.height, {}};
    for (size_t i = 0; i + 3 < frame.rgba.size(); i += 4)
        grey.value.push_back(static_cast<uint8_t>((frame.rgba[i] + frame.rgba[i + 1] + frame.rgba[i + 2]) / 3));
    return grey;
}

// ImageMagick's drawing of text in black on white, the baseline's left end
// at (x, y), at a size of px pixels to the em.
TGrey ImageMagickText(const std::string& fontFile, int px, const std::string& utf8, int width, int height, int x,
                      int y) {
    // The texts here hold no single quote, so single quotes pass them whole.
    const std::string command = "convert -size " + std::to_string(width) + "x" + std::to_string(height) +
                                " xc:white -font '" + fontFile + "' -pointsize " + std::to_string(px) +
                                " -density 72 -fill black -annotate +" + std::to_string(x) + "+" + std::to_string(y) +
                                " '" + utf8 + "' -depth 8 gray:-";
    TGrey grey{width, height, {}};
    FILE* pipe = popen(command.c_str(), "r");
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) grey.value.insert(grey.value.end(), buffer, buffer + got);
    EXPECT_EQ(pclose(pipe), 0) << command;
    EXPECT_EQ(grey.value.size(), size_t(width) * height);
    return grey;
}

struct TInk {
    int count = 0;
    TRect box{1 << 30, 1 << 30, -1, -1};
    int Width() const { return box.Right - box.Left + 1; }
    int Height() const { return box.Bottom - box.Top + 1; }
};

// Pixels at least half dark, within a region (window order, exclusive end).
TInk InkOf(const TGrey& grey, const TRect& region) {
    TInk ink;
    for (int y = region.Top; y < region.Bottom; ++y)
        for (int x = region.Left; x < region.Right; ++x)
            if (grey.At(x, y) < 128) {
                ++ink.count;
                ink.box.Left = std::min(ink.box.Left, x);
                ink.box.Top = std::min(ink.box.Top, y);
                ink.box.Right = std::max(ink.box.Right, x);
                ink.box.Bottom = std::max(ink.box.Bottom, y);
            }
    return ink;
}

void SavePng(const TGrey& grey, const std::string& path) {
    const std::string command = "convert -size " + std::to_string(grey.width) + "x" + std::to_string(grey.height) +
                                " -depth 8 gray:- '" + path + "'";
    FILE* pipe = popen(command.c_str(), "w");
    std::fwrite(grey.value.data(), 1, grey.value.size(), pipe);
    pclose(pipe);
}

void ExpectSameInk(const TInk& player, const TInk& drawn, bool comparePlace) {
    ASSERT_GT(drawn.count, 0);
    ASSERT_GT(player.count, 0) << "the player drew no text";
    if (comparePlace) {
        EXPECT_NEAR(player.box.Left, drawn.box.Left, 2);
        EXPECT_NEAR(player.box.Top, drawn.box.Top, 2);
        EXPECT_NEAR(player.box.Right, drawn.box.Right, 2);
        EXPECT_NEAR(player.box.Bottom, drawn.box.Bottom, 2);
    } else {
        EXPECT_NEAR(player.Width(), drawn.Width(), 2);
        EXPECT_NEAR(player.Height(), drawn.Height(), 2);
    }
    EXPECT_NEAR(player.count, drawn.count, 0.1 * drawn.count) << player.count << " against " << drawn.count;
}

}  // namespace

TEST(PlayerTexts, StaticTextAsImageMagickDrawsIt) {
    const std::string fontFile = kFontFolder + "DejaVuSans.ttf";
    TW_REQUIRE_TOOLS(fontFile);
    constexpr int kWidth = 480, kHeight = 100, kPx = 36, kX = 20, kTop = 20;
    const std::u16string text = u"Caf\u00e9 \u00e0 10 \u20ac \u00dcber";
    TFlashMovie movie(0, 0, kWidth, kHeight, 12, true);
    movie.SetVersion(8);
    movie.GetBackgroundColor().SetRGB(SWFRGB(255, 255, 255));
    TFlashFont* font = movie.AddFontByName("DejaVu Sans", false, false, kPx, false);
    TFlashText* shown = movie.AddTextAtPoint(text, SWFRGBA(0, 0, 0, 255), font, TPoint{kX, kTop}, 0);
    movie.PlaceObject(shown, 1);
    movie.ShowFrame();
    movie.MakeStream();
    const std::string swfPath = TempPath("static.swf");
    movie.SaveToFile(swfPath);

    TPlayedMovie played = TPlayerHarness::Shared().Play(swfPath, 1);
    ASSERT_EQ(played.frames.size(), 1u);
    TGrey player = FromFrame(played.frames[0]);
    SavePng(player, TempPath("static-player.png"));
    // The record's baseline: the top plus the ascent at this size.
    const int baseline = kTop + static_cast<int>(std::lround(font->Ascent / 1024.0 * kPx));
    TGrey drawn = ImageMagickText(fontFile, kPx, WideToUtf8(text), kWidth, kHeight, kX, baseline);
    SavePng(drawn, TempPath("static-imagemagick.png"));
    const TRect all{0, 0, kWidth, kHeight};
    ExpectSameInk(InkOf(player, all), InkOf(drawn, all), true);
}

// A bold italic HTML text draws with the embedded outlines of that face (its
// ink has the shape of ImageMagick's drawing from the same file), and a frame
// script's assignment to the text's variable changes what is shown.
TEST(PlayerTexts, DynamicHtmlTextFollowsItsVariable) {
    const std::string fontFile = kFontFolder + "DejaVuSans-BoldOblique.ttf";
    TW_REQUIRE_TOOLS(fontFile);
    constexpr int kWidth = 400, kHeight = 80, kPx = 30;
    TFlashMovie movie(0, 0, kWidth, kHeight, 12, true);
    movie.SetVersion(8);
    movie.GetBackgroundColor().SetRGB(SWFRGB(255, 255, 255));
    TFlashFont* font = movie.AddFontByName("DejaVu Sans", true, true, kPx, false);
    font->AddWideChars(u"Moved");
    TFlashText* text = movie.AddDynamicText("caption", u"Hello", SWFRGBA(0, 0, 0, 255), font, TRect{10, 10, 390, 70});
    text->SetHTML(true);
    text->NoSelect = true;
    text->ReadOnly = true;
    movie.PlaceObject(text, 1);
    movie.ShowFrame();
    TFlashActionScript& actions = movie.GetFrameActions();
    actions.Push({"caption", "Moved"}, {0, 0});
    actions.SetVariable();
    actions.Stop();
    movie.ShowFrame();
    movie.MakeStream();
    const std::string swfPath = TempPath("dynamic.swf");
    movie.SaveToFile(swfPath);

    TPlayedMovie played = TPlayerHarness::Shared().Play(swfPath, 2);
    ASSERT_EQ(played.frames.size(), 2u);
    const TRect field{10, 10, 390, 70};
    TGrey first = FromFrame(played.frames[0]);
    TGrey second = FromFrame(played.frames[1]);
    SavePng(first, TempPath("dynamic-1.png"));
    SavePng(second, TempPath("dynamic-2.png"));
    ExpectSameInk(InkOf(first, field), InkOf(ImageMagickText(fontFile, kPx, "Hello", kWidth, kHeight, 20, 50), field),
                  false);
    ExpectSameInk(InkOf(second, field), InkOf(ImageMagickText(fontFile, kPx, "Moved", kWidth, kHeight, 20, 50), field),
                  false);
}

// 304 glyphs: more than one record holds. The ink runs without a gap to where
// FreeType's unhinted advances end the line (ImageMagick hints the advances
// of so small a size to whole pixels, and its strokes are too faint to
// compare by count).
TEST(PlayerTexts, LongTextRendersCompletely) {
    const std::string fontFile = kFontFolder + "DejaVuSans.ttf";
    TW_REQUIRE_TOOLS(fontFile);
    constexpr int kWidth = 1000, kHeight = 40, kPx = 10, kX = 5, kTop = 10;
    std::u16string line;
    for (int i = 0; i < 300; ++i) line += i % 2 ? u'l' : u'i';
    line += u"WWWW";
    TFlashMovie movie(0, 0, kWidth, kHeight, 12, true);
    movie.SetVersion(8);
    movie.GetBackgroundColor().SetRGB(SWFRGB(255, 255, 255));
    TFlashFont* font = movie.AddFontByName("DejaVu Sans", false, false, kPx, false);
    TFlashText* shown = movie.AddTextAtPoint(line, SWFRGBA(0, 0, 0, 255), font, TPoint{kX, kTop}, 0);
    movie.PlaceObject(shown, 1);
    movie.ShowFrame();
    movie.MakeStream();
    const std::string swfPath = TempPath("long.swf");
    movie.SaveToFile(swfPath);

    TPlayedMovie played = TPlayerHarness::Shared().Play(swfPath, 1);
    ASSERT_EQ(played.frames.size(), 1u);
    TGrey player = FromFrame(played.frames[0]);
    SavePng(player, TempPath("long-player.png"));
    FT_Library library;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(library, fontFile.c_str(), 0, &face), 0);
    double end = 0, inkStart = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        ASSERT_EQ(FT_Load_Char(face, line[i], FT_LOAD_NO_SCALE), 0);
        FT_BBox box;
        FT_Outline_Get_CBox(&face->glyph->outline, &box);
        if (i == 0) inkStart = box.xMin;
        if (i + 1 == line.size()) end += box.xMax;
        else end += face->glyph->advance.x;
    }
    const double perUnit = double(kPx) / face->units_per_EM;
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    const int expectedLeft = kX + static_cast<int>(inkStart * perUnit);
    const int expectedRight = kX + static_cast<int>(end * perUnit);
    ASSERT_LT(expectedRight, kWidth - 20);
    const TRect all{0, 0, kWidth, kHeight};
    TInk ink = InkOf(player, all);
    EXPECT_NEAR(ink.box.Left, expectedLeft, 2);
    // Each advance is rounded to a whole em unit and then to a twip, up to
    // 0.6 twips a glyph: at most 10 pixels over the whole line, where one
    // lost record would cost hundreds.
    EXPECT_NEAR(ink.box.Right, expectedRight, 10);
    for (int x = ink.box.Left; x + 10 <= ink.box.Right; x += 10)
        EXPECT_GT(InkOf(player, TRect{x, 0, x + 10, kHeight}).count, 0) << "no ink at x = " << x;
}
