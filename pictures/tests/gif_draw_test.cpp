// Drawing and animating GIF pictures: every frame of animations made by
// gifsicle and ImageMagick, composed by the painter, equals ImageMagick's
// coalesced frame (a contact sheet of them is saved to look at); the
// painter keeps the frames' delays, the loop count, the speed and a forced
// frame on the headless plugin's clock; a threaded painter in a window
// stops cleanly when the window goes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pictures/gif_draw.h"
#include "pictures/png_object.h"
#include "pictures/tests/gif_test_support.h"
#include "platform/ui/headless.h"

namespace {

// A frame of one colour (a 2-entry local table: the colour and black).
TGIFSubImage& AddFlatFrame(TGIFImage& gif, int left, int top, int width, int height, TGIFColor colour, int delay,
                           int disposal) {
    auto frame = std::make_unique<TGIFSubImage>(&gif);
    frame->SetLeft(left);
    frame->SetTop(top);
    frame->SetWidth(width);
    frame->SetHeight(height);
    frame->LocalTable().Add(colour);
    frame->LocalTable().Add({0, 0, 0});
    std::fill(frame->IndexData().begin(), frame->IndexData().end(), uint8_t{0});
    auto control = std::make_unique<TGIFGraphicControlExtension>(frame.get());
    control->SetDelayTime(delay);
    control->SetDisposalMethod(disposal);
    frame->AddExtension(std::move(control));
    return gif.GetSubImage(gif.AddImage(std::move(frame)));
}

uint32_t PixelAt(const TBitmap& bitmap, int x, int y) { return bitmap.PixelColor(bitmap.ScanLine(y), x); }

void AdvanceClock(uint64_t ms) {
    HeadlessBackend()->AdvanceTime(ms);
    Application().ProcessMessages();
}

}  // namespace

TEST(GifDrawTools, EveryFrameEqualsImageMagicksCoalescedFrame) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("gifsicle");
    const std::string dir = FixtureDir() + "/draw";
    std::filesystem::create_directories(dir);
    auto at = [&](const std::string& name) { return dir + "/" + name; };
    RunCommand("convert -size 40x30 gradient:white-blue -colors 40 " + at("f0.gif"));
    RunCommand("convert -size 16x12 xc:red -fill blue -draw 'rectangle 4,4 9,9' -transparent blue " + at("f1.gif"));
    RunCommand("convert -size 10x8 gradient:green-yellow -colors 20 " + at("f2.gif"));
    RunCommand("convert -size 12x10 gradient:magenta-black -colors 12 " + at("f3.gif"));
    RunCommand("convert -size 14x6 xc:orange " + at("f4.gif"));
    RunCommand("convert -size 9x9 xc:none -fill navy -draw 'circle 4,4 4,1' " + at("f5.gif"));
    RunCommand("gifsicle -m --disposal none " + at("f0.gif") + " --disposal background --position 5,4 " + at("f1.gif") +
               " --disposal previous --position 20,10 " + at("f2.gif") +
               " --disposal asis --interlace --position 2,15 " + at("f3.gif") + " --disposal background --position 24,1 " +
               at("f4.gif") + " --disposal none --position 3,3 " + at("f5.gif") + " -o " + at("anim.gif"));
    RunCommand("convert -delay 5 -dispose Previous -size 24x16 gradient:red-blue -dispose None -size 24x16 "
               "gradient:green-black -loop 0 " + at("magick.gif"));

    std::vector<TBitmap> sheet;
    for (const std::string name : {"anim.gif", "magick.gif"}) {
        SCOPED_TRACE(name);
        TGIFImage gif;
        gif.LoadFromFile(at(name));
        const int frames = gif.Count();
        const std::string raw = RunCommand("convert '" + at(name) + "' -coalesce -depth 8 rgba:- 2>/dev/null");
        const size_t frameBytes = static_cast<size_t>(gif.Width()) * gif.Height() * 4;
        ASSERT_EQ(raw.size(), frameBytes * frames);
        TGIFPainter painter(gif, poAnimate | poTransparent, TRect{0, 0, gif.Width(), gif.Height()}, nullptr, 0);
        painter.Start();
        for (int frame = 0; frame < frames; ++frame) {
            ASSERT_EQ(painter.ShownFrame(), frame);
            const TBitmap& picture = painter.Picture();
            size_t differences = 0;
            for (int y = 0; y < gif.Height(); ++y)
                for (int x = 0; x < gif.Width(); ++x) {
                    const auto* p = reinterpret_cast<const uint8_t*>(raw.data()) + frameBytes * frame +
                                    (static_cast<size_t>(y) * gif.Width() + x) * 4;
                    if (p[3] != 255) continue;  // ImageMagick's transparent canvas
                    if (PixelAt(picture, x, y) != (uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2])) ++differences;
                }
            EXPECT_EQ(differences, 0u) << "frame " << frame;
            sheet.push_back(picture);
            painter.Advance();
        }
        EXPECT_TRUE(painter.Finished());
    }
    // The contact sheet: every composed frame side by side, four times larger.
    int width = 0, height = 0;
    for (const TBitmap& b : sheet) {
        width += b.Width() * 4 + 4;
        height = std::max(height, b.Height() * 4);
    }
    TBitmap contact = MakeBitmap(width, height, TPixelFormat::pf24bit);
    int left = 0;
    for (const TBitmap& b : sheet) {
        for (int y = 0; y < b.Height() * 4; ++y)
            for (int x = 0; x < b.Width() * 4; ++x)
                contact.SetPixelColor(contact.ScanLine(y), left + x, PixelAt(b, x / 4, y / 4));
        left += b.Width() * 4 + 4;
    }
    TPNGObject png;
    png.LoadFromBitmap(contact);
    png.SaveToFile(at("contact_sheet.png"));
    EXPECT_TRUE(std::filesystem::exists(at("contact_sheet.png")));
}

TEST(GifDraw, PainterKeepsDelaysLoopsSpeedAndForcedFrameOnTheToolkitClock) {
    ASSERT_NE(HeadlessBackend(), nullptr);
    TGIFImage gif;
    gif.SetWidth(8);
    gif.SetHeight(8);
    AddFlatFrame(gif, 0, 0, 8, 8, {255, 0, 0}, 10, 1);
    AddFlatFrame(gif, 2, 2, 4, 4, {0, 255, 0}, 1, 2);
    AddFlatFrame(gif, 0, 0, 8, 8, {0, 0, 255}, 0, 5);
    auto loop = std::make_unique<TGIFAppExtNSLoop>(&gif.GetSubImage(0));
    loop->LoopCount = 3;
    gif.GetSubImage(0).AddExtension(std::move(loop));

    int restarts = 0, ends = 0;
    gif.OnLoopRestart = [&](TGIFPainter&) { ++restarts; };
    gif.OnPainterEnd = [&](TGIFPainter&) { ++ends; };
    TGIFPainter painter(gif, poAnimate | poRepeat | poTransparent, TRect{0, 0, 8, 8}, nullptr, 0);
    painter.Start();
    EXPECT_EQ(painter.ShownFrame(), 0);
    EXPECT_EQ(painter.NextWait(), 120) << "10 units of 12 ms";
    AdvanceClock(119);
    EXPECT_EQ(painter.ShownFrame(), 0);
    AdvanceClock(1);
    EXPECT_EQ(painter.ShownFrame(), 1);
    EXPECT_EQ(PixelAt(painter.Picture(), 3, 3), 0x00FF00u);
    EXPECT_EQ(painter.NextWait(), 36) << "a delay of 1 is shown for 3 units";
    AdvanceClock(36);
    // Disposal 5: the frame is not drawn and the animation goes on.
    EXPECT_EQ(painter.ShownFrame(), 2);
    EXPECT_EQ(PixelAt(painter.Picture(), 0, 0), 0xFF0000u);
    EXPECT_EQ(painter.NextWait(), 120) << "a delay of 0 uses 10 units";
    // Three passes in all, then the end.
    for (int i = 0; i < 20 && !painter.Finished(); ++i) AdvanceClock(static_cast<uint64_t>(painter.NextWait()));
    EXPECT_TRUE(painter.Finished());
    EXPECT_EQ(painter.PaintCount(), 9);
    EXPECT_EQ(restarts, 2);
    EXPECT_EQ(ends, 1);

    // Twice the speed halves the waits.
    gif.PlaybackSpeed = 200;
    TGIFPainter fast(gif, poAnimate, TRect{0, 0, 8, 8}, nullptr, 0);
    fast.Start();
    EXPECT_EQ(fast.NextWait(), 60);

    // Not animating: the forced frame is drawn, and no painter starts.
    gif.PaintOptions = poTransparent;
    gif.ForcedFrame = 1;
    TBitmap target = MakeBitmap(8, 8, TPixelFormat::pf24bit);
    TCanvas canvas(target);
    canvas.Brush.Color = 0xFFFFFF;
    canvas.FillRect(TRect{0, 0, 8, 8});
    gif.Draw(canvas, TRect{0, 0, 8, 8});
    EXPECT_EQ(PixelAt(target, 3, 3), 0x00FF00u);
    EXPECT_EQ(PixelAt(target, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(gif.DrawPainter(), nullptr);
}

TEST(GifDraw, ThreadedPainterPostsToItsWindowAndStopsWithIt) {
    auto view = std::make_unique<TGIFView>(nullptr);
    TGIFImage& gif = view->Image();
    gif.SetWidth(6);
    gif.SetHeight(6);
    AddFlatFrame(gif, 0, 0, 6, 6, {255, 0, 0}, 2, 1);
    AddFlatFrame(gif, 0, 0, 6, 6, {0, 0, 255}, 2, 1);
    gif.GetSubImage(0).AddExtension(std::make_unique<TGIFAppExtNSLoop>(&gif.GetSubImage(0)));
    // Without waiting: a threaded painter at a negative speed.
    gif.PlaybackSpeed = -1;
    view->SetBounds(0, 0, 6, 6);
    view->Handle();
    view->Invalidate();
    Application().ProcessMessages();
    ASSERT_NE(gif.DrawPainter(), nullptr);
    EXPECT_TRUE(gif.DrawPainter()->Threaded());
    Application().RunUntil([&] { return gif.DrawPainter()->PaintCount() >= 8; });
    EXPECT_EQ(gif.DrawPainter()->LoopCount(), -1) << "a loop count of 0 repeats without end when threaded";
    // The window goes with its painter; messages still queued find nobody.
    view.reset();
    Application().ProcessMessages();
}

TEST(GifDraw, PaletteAndRenderedBitmap) {
    TGIFImage gif;
    gif.SetWidth(6);
    gif.SetHeight(4);
    gif.GlobalColorMap().Add({10, 20, 30});
    gif.GlobalColorMap().Add({200, 100, 0});
    auto frame = std::make_unique<TGIFSubImage>(&gif);
    frame->SetLeft(2);
    frame->SetWidth(2);
    frame->SetHeight(2);
    std::fill(frame->IndexData().begin(), frame->IndexData().end(), uint8_t{1});
    gif.AddImage(std::move(frame));
    // Not dithering on screens of 24 bits: the global table.
    std::vector<TPaletteEntry> palette = gif.GetPalette();
    ASSERT_EQ(palette.size(), 2u);
    EXPECT_EQ(palette[1].peRed, 200);
    gif.SetPalette({});
    gif.PaintOptions = poDither;
    EXPECT_EQ(gif.GetPalette().size(), 216u) << "the web palette when dithering";
    gif.SetPalette({TPaletteEntry{1, 2, 3, 0}});
    EXPECT_EQ(gif.GetPalette().size(), 1u);
    // The first frame on the logical screen, the rest the background colour.
    TBitmap bitmap;
    gif.AssignTo(bitmap);
    ASSERT_EQ(bitmap.Width(), 6);
    EXPECT_EQ(PixelAt(bitmap, 2, 0), 0xC86400u);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), 0x0A141Eu);
}
