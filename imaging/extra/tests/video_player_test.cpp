// Video files read by frames (made by ffmpeg), and the player drawing a file
// into an image view's window: frames announced from its thread, drawn where
// the view shows its image, the end announced by the event message.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "imaging/core/ie_view.h"
#include "imaging/extra/ie_video_player.h"
#include "platform/errors.h"
#include "platform/testing/test_support.h"
#include "platform/ui/application.h"
#include "platform/video/video_file.h"

namespace {

// Ten red frames then five blue ones, 64 x 48 at 25 frames a second,
// losslessly coded.
std::string RedThenBlue() {
    std::filesystem::create_directories(TW_FIXTURE_DIR);
    return MakeFixture(std::string(TW_FIXTURE_DIR) + "/red-then-blue.mkv",
                       "ffmpeg -y -f lavfi -i color=c=red:s=64x48:r=25:d=0.4 -f lavfi -i color=c=blue:s=64x48:r=25:d=0.2 "
                       "-filter_complex '[0][1]concat=n=2:v=1' -c:v ffv1 -pix_fmt bgr0 {out}");
}

// What the view needs of an input/output component here: nothing but the
// video object the base gives.
struct TStubIO : TIEViewIO {
    void LoadFromStreamFormat(TStream&, int32_t) override {}
    bool GetNativePixelFormat() override { return false; }
    void SetNativePixelFormat(bool) override {}
    void SetParamsSize(int32_t, int32_t) override {}
    void SetOnProgress(TIEProgressEvent) override {}
    void SetOnFinishWork(std::function<void()>) override {}
};

bool Reddish(uint32_t rgb) { return (rgb >> 16) > 200 && (rgb & 255) < 60; }
bool Bluish(uint32_t rgb) { return (rgb & 255) > 200 && (rgb >> 16) < 60; }

}  // namespace

TEST(VideoFile, ReadsEveryFrameAndRefusesWhatIsNoVideo) {
    if (!ToolInstalled("ffmpeg")) TW_SKIP_OR_FAIL() << "ffmpeg is not installed";
    const std::string file = RedThenBlue();
    ASSERT_FALSE(file.empty());
    TVideoFile video(file);
    EXPECT_EQ(video.Width(), 64);
    EXPECT_EQ(video.Height(), 48);
    EXPECT_NEAR(video.FrameDuration(), 40, 0.5);
    TBitmap frame;
    int count = 0;
    uint32_t first = 0, last = 0;
    while (video.ReadFrame(frame)) {
        const uint8_t* p = frame.ScanLine(20) + 3 * 30;
        last = uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
        if (count++ == 0) first = last;
    }
    EXPECT_EQ(count, 15);
    EXPECT_TRUE(Reddish(first)) << std::hex << first;
    EXPECT_TRUE(Bluish(last)) << std::hex << last;
    video.Rewind();
    EXPECT_TRUE(video.ReadFrame(frame));

    const std::string text = std::string(TW_FIXTURE_DIR) + "/not-a-video.txt";
    { std::FILE* f = std::fopen(text.c_str(), "w"); std::fputs("hello", f); std::fclose(f); }
    try {
        TVideoFile bad(text);
        FAIL() << "a text file opened as video";
    } catch (const Exception& error) {
        EXPECT_NE(std::string(error.what()).find("not-a-video.txt"), std::string::npos) << error.what();
    }
}

TEST(VideoPlayer, PlaysAFileIntoTheViewsWindow) {
    if (!ToolInstalled("ffmpeg")) TW_SKIP_OR_FAIL() << "ffmpeg is not installed";
    const std::string file = RedThenBlue();
    ASSERT_FALSE(file.empty());
    IEUseVideoFilePlayer();
    IESetViewIOMaker([](TVidurErView&) { return std::make_unique<TStubIO>(); });

    TCustomControl form(nullptr);
    form.SetBounds(0, 0, 200, 160);
    form.Handle();
    TVidurErView view(&form);
    view.SetBorderStyle(bsNone);
    view.SetScrollBars(ssNone);
    view.SetBounds(0, 0, 160, 120);
    view.GetIEBitmap()->Allocate(64, 48, ie24RGB);
    view.GetIEBitmap()->Fill(0x808080);
    view.SetParent(&form);
    view.Update();
    int frames = 0, events = 0;
    view.OnDShowNewFrame = [&](TVidurErView&) { ++frames; };
    view.OnDShowEvent = [&](TVidurErView&) { ++events; };

    auto* player = dynamic_cast<TIEVideoFilePlayer*>(view.GetVidurErIO()->GetDirectShow());
    ASSERT_NE(player, nullptr);
    EXPECT_FALSE(view.VideoOverlay());  // stopped
    player->FileInput = file;
    player->Connect();
    EXPECT_TRUE(view.VideoOverlay());  // paused on the first frame
    view.Invalidate();
    Application().ProcessMessages();
    auto shown = [&](int32_t x, int32_t y) {
        const uint8_t* p = view.NativeWindow()->Surface().ScanLine(y) + 4 * x;
        return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    };
    const int32_t cx = view.BitmapToViewX(32), cy = view.BitmapToViewY(24);
    player->Run();
    bool sawRed = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (events == 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Application().ProcessMessages();
        if (frames > 0 && frames < 8) sawRed |= Reddish(shown(cx, cy));
    }
    EXPECT_EQ(events, 1);
    EXPECT_EQ(frames, 14);  // every frame after the first
    EXPECT_TRUE(sawRed);
    EXPECT_TRUE(Bluish(shown(cx, cy))) << std::hex << shown(cx, cy);
    EXPECT_EQ(shown(2, 2), shown(158, 118));  // the background around it stays
    EXPECT_FALSE(Bluish(shown(2, 2)));
    EXPECT_EQ(player->GetState(), 1);
    TIEBitmap sample;
    player->GetSample(sample);
    EXPECT_EQ(sample.GetWidth(), 64);
    EXPECT_EQ(sample.GetPixelFormat(), ie24RGB);
    player->Disconnect();
    EXPECT_FALSE(view.VideoOverlay());
    IESetViewIOMaker(nullptr);
}
