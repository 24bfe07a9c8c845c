// The processing component: sizes and captions, undo and redo, the
// pixel-format gate, and a view seen through its interface.
#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/core/ie_proc.h"

namespace {

void Pattern(TIEBitmap& b, int32_t w, int32_t h) {
    b.Allocate(w, h, ie24RGB);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) b.SetPixelTRGB(x, y, TRGB{uint8_t(x * 7), uint8_t(y * 11), uint8_t(x ^ y)});
}

bool SamePixels(TIEBitmap& a, TIEBitmap& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetPixelFormat() != b.GetPixelFormat())
        return false;
    for (int32_t y = 0; y < a.GetHeight(); ++y)
        for (int32_t x = 0; x < a.GetWidth(); ++x)
            if (!(a.GetPixelRGB(x, y) == b.GetPixelRGB(x, y))) return false;
    return true;
}

// Whether this process holds the file open (temporary files are unlinked at
// creation, so only the descriptor shows them).
bool HeldOpen(const std::string& file) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        auto target = std::filesystem::read_symlink(entry.path(), error);
        if (!error && target.string().rfind(file, 0) == 0) return true;
    }
    return false;
}

// A view with one bitmap and a background, counting its refreshes.
class FakeView : public TIEView {
public:
    TIEBitmap bitmap;
    TColor background = 0x123456;
    int updates = 0;
    TBitmapChangeEvent listener;
    int32_t RegisterBitmapChangeEvent(TBitmapChangeEvent event) override {
        listener = std::move(event);
        return 7;
    }
    void RemoveBitmapChangeEvent(int32_t handle) override {
        if (handle == 7) listener = nullptr;
    }
    TBitmap* GetBitmap() override { return nullptr; }
    TIEBitmap* GetIEBitmap() override { return &bitmap; }
    void Update() override { ++updates; }
    void ImageChange() override {}
    TColor GetBackground() override { return background; }
    void SetBackground(TColor color) override { background = color; }
};

}  // namespace

TEST(ProcTest, SizesAndCaptionsOfResampleAndRotate) {
    struct Case {
        int32_t width, height;
        int32_t expectedWidth, expectedHeight;  // 0: nothing happens
        std::string caption;
    };
    // On a 400 x 200 image.
    const Case cases[] = {
        {-1, 300, 600, 300, "Resample -1,300"},
        {-5, 0, 5, 200, "Resample -5,0"},
        {0, 0, 400, 200, "Resample 0,0"},
        {100, -1, 100, 50, "Resample 100,-1"},
        {-1, 0, 400, 200, "Resample -1,0"},       // the aspect of the unchanged height
        {-1, -150, 0, 0, ""},  // both negative: nothing
        {-1, 1, 2, 1, "Resample -1,1"},
        {-1, -1, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        TIEBitmap bitmap;
        Pattern(bitmap, 400, 200);
        TVidurErProc proc;
        proc.AutoUndo = true;
        proc.SetAttachedIEBitmap(&bitmap);
        proc.Resample(c.width, c.height, rfTriangle);
        if (c.expectedWidth == 0) {
            EXPECT_EQ(bitmap.GetWidth(), 400);
            EXPECT_EQ(proc.GetUndoCount(), 0);
            continue;
        }
        EXPECT_EQ(bitmap.GetWidth(), c.expectedWidth);
        EXPECT_EQ(bitmap.GetHeight(), c.expectedHeight);
        ASSERT_EQ(proc.GetUndoCount(), 1);
        EXPECT_EQ(proc.GetUndoCaption(0), c.caption);
    }
    TIEBitmap bitmap;
        Pattern(bitmap, 20, 20);
    TVidurErProc proc;
    proc.AutoUndo = true;
    proc.SetAttachedIEBitmap(&bitmap);
    proc.Rotate(0, false, 0, clWhite);
    EXPECT_EQ(proc.GetUndoCount(), 0);
    for (auto [angle, caption] : {std::pair{30.0, "Rotate 30"}, std::pair{12.5, "Rotate 12.5"}, std::pair{-0.1, "Rotate -0.1"}}) {
        proc.Rotate(angle, false, 0, clWhite);
        EXPECT_EQ(proc.GetUndoCaption(0), caption);
    }
}

TEST(ProcTest, UndoRestoresExactlyWithinTheLimitAndFreesItsFiles) {
    TIEBitmap bitmap;
        Pattern(bitmap, 50, 40);
    TIEBitmap original;
    original.Assign(bitmap);
    TVidurErProc proc;
    proc.AutoUndo = true;
    proc.SetAttachedIEBitmap(&bitmap);
    int saves = 0;
    proc.OnSaveUndo = [&](TVidurErProc&, TIEUndoSource) { ++saves; };

    proc.Resample(23, 17, rfLanczos3);
    ASSERT_EQ(bitmap.GetWidth(), 23);
    ASSERT_EQ(proc.GetUndoCount(), 1);
    // The copy lives in a temporary file, which goes with its entry.
    const TIEBitmap* copy = proc.GetUndoImage(0);
    ASSERT_EQ(copy->GetLocation(), ieFile);
    const std::string file = copy->FileBuffer().FileName();
    EXPECT_TRUE(HeldOpen(file));

    proc.Undo(true);
    EXPECT_TRUE(SamePixels(bitmap, original));
    proc.Undo();  // the entry stays: the same state again
    EXPECT_TRUE(SamePixels(bitmap, original));
    proc.Redo();
    EXPECT_EQ(bitmap.GetWidth(), 23);
    proc.ClearUndoAt(0);
    EXPECT_EQ(proc.GetUndoCount(), 0);
    EXPECT_FALSE(HeldOpen(file));

    // Limit 1 keeps the newest, 3 drops the oldest on the fourth save, 0
    // saves nothing and fires nothing.
    proc.ClearAllRedo();
    proc.UndoLimit = 3;
    for (int i = 0; i < 4; ++i) proc.Rotate(90, false, 0, clWhite);
    EXPECT_EQ(proc.GetUndoCount(), 3);
    EXPECT_EQ(proc.GetUndoSource(0), ieuImage);
    EXPECT_EQ(proc.GetUndoSource(-1), ieuUnknown);
    proc.UndoLimit = 1;
    proc.Rotate(90, false, 0, clWhite);
    EXPECT_EQ(proc.GetUndoCount(), 1);
    const int before = saves;
    proc.UndoLimit = 0;
    proc.Rotate(90, false, 0, clWhite);
    EXPECT_EQ(saves, before);
    EXPECT_EQ(proc.GetUndoCount(), 1);

    // A 1 x 100 image: no entry, but the event fires.
    TIEBitmap thin;
        Pattern(thin, 1, 100);
    proc.UndoLimit = 1;
    proc.ClearAllUndo();
    proc.SetAttachedIEBitmap(&thin);
    proc.SaveUndo(ieuImage);
    EXPECT_EQ(proc.GetUndoCount(), 0);
    EXPECT_EQ(saves, before + 1);
    // Entries needing a view are neither saved nor restored without one.
    proc.SaveUndo(ieuSelection);
    proc.SaveUndo(ieuLayer);
    EXPECT_EQ(proc.GetUndoCount(), 0);
}

TEST(ProcTest, PixelFormatGate) {
    struct Case {
        TIEPixelFormat from;
        TIEPixelFormatSet allowed;
        bool autoConvert;
        bool result;
        TIEPixelFormat to;
    };
    const Case cases[] = {
        {ie1g, {ie24RGB}, true, true, ie24RGB},
        {ie24RGB, {ie8g}, true, true, ie8g},
        {ieCMYK, {ie1g}, true, true, ie1g},  // no preference fits: the scan from the top
        {ie24RGB, {}, true, true, ie24RGB},
        {ie8g, {ie1g, ie16g}, true, true, ie16g},
        {ie24RGB, {ie8g}, false, false, ie24RGB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.from));
        TIEBitmap bitmap(4, 4, c.from);
        bitmap.Fill(0);
        TVidurErProc proc;
        proc.AutoConvertFormat = c.autoConvert;
        proc.SetAttachedIEBitmap(&bitmap);
        EXPECT_EQ(proc.PrepareBitmap(c.allowed), c.result);
        EXPECT_EQ(bitmap.GetPixelFormat(), c.to);
    }
    TVidurErProc none;
    none.SetAttachedIEBitmap(nullptr);
    EXPECT_FALSE(none.PrepareBitmap({}));
    none.Resample(10, 10, rfTriangle);  // nothing to do, no crash
}

TEST(ProcTest, AnAttachedViewIsFollowedAndRefreshed) {
    auto view = std::make_unique<FakeView>();
    Pattern(view->bitmap, 30, 20);
    TVidurErProc proc(view.get());
    EXPECT_TRUE(proc.AutoUndo);
    proc.SetAttachedVidurEr(view.get());
    EXPECT_EQ(proc.GetIEBitmap(), &view->bitmap);
    EXPECT_EQ(proc.GetBackground(), 0x123456);
    proc.Rotate(90, false, 0, static_cast<TColor>(-1));
    EXPECT_EQ(view->bitmap.GetWidth(), 20);
    EXPECT_GT(view->updates, 0);
    int finished = 0;
    proc.OnFinishWork = [&](TVidurErProc&) { ++finished; };
    proc.Resample(10, 10, rfNone);
    EXPECT_EQ(finished, 2);  // once by ResampleTo, once by Resample

    // The view goes away: the component carries on with an empty own bitmap.
    view->listener(true);
    view.reset();
    EXPECT_EQ(proc.AttachedVidurEr(), nullptr);
    ASSERT_NE(proc.GetIEBitmap(), nullptr);
    EXPECT_TRUE(proc.GetIEBitmap()->IsEmpty());
}
