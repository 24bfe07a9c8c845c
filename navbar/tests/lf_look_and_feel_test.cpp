// Look-and-feel objects follow their master until set, tell their listeners
// of a change once, choose their painter by kind, native style and skin
// name; the controller's values reach new objects; the painter registry
// and the painters' shared images.
#include <gtest/gtest.h>

#include "navbar/lf_look_and_feel.h"
#include "navbar/lf_office11.h"
#include "platform/ui/application.h"

using namespace lfColors;

namespace {

// The look-and-feel unit's global state ends with each test, as the
// program's end would end it.
class LookAndFeel : public ::testing::Test {
protected:
    void TearDown() override { FreeGlobalLookAndFeel(); }
};

// The look-and-feel unit's global state ends with each test, as the
// program's end would end it.
class PainterImages : public ::testing::Test {
protected:
    void TearDown() override { FreeGlobalLookAndFeel(); }
};

struct TRecorder {
    explicit TRecorder(TlfLookAndFeel& lf) {
        lf.OnChanged = [this](TlfLookAndFeel*, TlfLookAndFeelValues values) { changes.push_back(values); };
    }
    std::vector<TlfLookAndFeelValues> changes;
};

// A listener that can detach itself while it is told.
struct TListener : IlfLookAndFeelListener {
    void* ListenerObject() override { return this; }
    void MasterChanged(TlfLookAndFeel* sender, TlfLookAndFeelValues) override {
        ++heard;
        if (detachSelf) sender->DetachListener(this);
    }
    void MasterDestroying(TlfLookAndFeel*) override { ++destroying; }
    int heard = 0, destroying = 0;
    bool detachSelf = false;
};

TEST_F(LookAndFeel, FollowsItsMasterUntilSetAndNotifiesOnce) {
    Application();
    TlfLookAndFeel* root = GlobalLookAndFeel();
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->Kind(), lfUltraFlat);
    TlfLookAndFeel control(nullptr);
    EXPECT_EQ(control.Kind(), lfUltraFlat);
    EXPECT_FALSE(control.NativeStyle());
    EXPECT_EQ(control.CurrentPainter(), UltraFlatPainter());
    EXPECT_EQ(control.Master(), root);
    TRecorder heard(control);

    // Setting the value it already inherits assigns it without a change.
    control.SetKind(lfUltraFlat);
    EXPECT_EQ(control.AssignedValues(), lfvsKind);
    EXPECT_TRUE(heard.changes.empty());
    control.SetKind(lfOffice11);
    ASSERT_EQ(heard.changes.size(), 1u);
    EXPECT_EQ(heard.changes[0], lfvsKind);
    EXPECT_EQ(control.CurrentPainter(), Office11Painter());
    EXPECT_EQ(control.ResolvePainter(totScrollBar), Office11Painter());

    // A change of the root's kind no longer reaches it; native style does.
    heard.changes.clear();
    root->SetKind(lfFlat);
    EXPECT_TRUE(heard.changes.empty());
    root->SetNativeStyle(true);
    ASSERT_EQ(heard.changes.size(), 1u);
    EXPECT_EQ(heard.changes[0], lfvsNativeStyle);
    EXPECT_TRUE(control.NativeStyle());
    // No visual styles here (the headless plugin has no look): the painter
    // stays the one of the kind.
    EXPECT_EQ(control.ResolvePainter(totScrollBar), Office11Painter());

    // Clearing what is assigned makes it follow the root again.
    heard.changes.clear();
    control.ClearAssignedValues();
    EXPECT_EQ(control.Kind(), lfFlat);
    EXPECT_EQ(control.CurrentPainter(), FlatPainter());
    ASSERT_EQ(heard.changes.size(), 1u);
    EXPECT_EQ(heard.changes[0], lfvsKind);
    root->ClearAssignedValues();
    EXPECT_EQ(control.Kind(), lfUltraFlat);
    EXPECT_FALSE(control.NativeStyle());
}

TEST_F(LookAndFeel, MastersChainAndFreeingOneFallsBackToTheRoot) {
    Application();
    auto master = std::make_unique<TlfLookAndFeel>(nullptr);
    TlfLookAndFeel child(nullptr);
    child.SetMaster(master.get());
    EXPECT_EQ(child.Master(), master.get());
    TRecorder heard(child);
    master->SetKind(lfStandard);
    EXPECT_EQ(child.Kind(), lfStandard);
    ASSERT_EQ(heard.changes.size(), 1u);

    // Listeners: one that detaches itself does not make the next one miss
    // its notification.
    TListener leaving, staying;
    leaving.detachSelf = true;
    master->AttachListener(&leaving);
    master->AttachListener(&staying);
    master->SetKind(lfFlat);
    EXPECT_EQ(leaving.heard, 1);
    EXPECT_EQ(staying.heard, 1);
    EXPECT_EQ(child.Kind(), lfFlat);

    heard.changes.clear();
    master.reset();
    EXPECT_EQ(staying.destroying, 1);
    EXPECT_EQ(child.Master(), GlobalLookAndFeel());
    EXPECT_EQ(child.Kind(), lfUltraFlat);
    ASSERT_EQ(heard.changes.size(), 1u);
    EXPECT_EQ(heard.changes[0], lfvsKind);

    // Assign copies the own values and the master.
    TlfLookAndFeel copy(nullptr);
    TlfLookAndFeel source(nullptr);
    source.SetKind(lfOffice11);
    copy.Assign(source);
    EXPECT_EQ(copy.Kind(), lfOffice11);
    EXPECT_EQ(copy.AssignedValues(), lfvsKind);
}

TEST_F(LookAndFeel, ControllerDefaultsApplyToNewObjectsAndLeaveWithIt) {
    Application();
    auto controller = std::make_unique<TlfLookAndFeelController>(nullptr);
    EXPECT_EQ(LookAndFeelControllerCount(), 1);
    controller->SetKind(lfStandard);
    EXPECT_FALSE(controller->IsSkinNameStored());
    TlfLookAndFeel fresh(nullptr);
    EXPECT_EQ(fresh.Kind(), lfStandard);
    EXPECT_EQ(fresh.CurrentPainter(), StandardPainter());
    // A controller listens to the root alone.
    TlfLookAndFeel other(nullptr);
    other.AttachListener(controller.get());
    EXPECT_EQ(other.ListenerCount(), 0);
    // The last controller going clears the root's values.
    controller.reset();
    EXPECT_EQ(LookAndFeelControllerCount(), 0);
    EXPECT_EQ(GlobalLookAndFeel()->AssignedValues(), 0);
    EXPECT_EQ(fresh.Kind(), lfUltraFlat);
}

TEST_F(LookAndFeel, SkinNamesFindRegisteredPaintersAndFollowTheRegistry) {
    Application();
    TlfExtendedStylePainters& registry = *ExtendedStylePainters();
    TlfLookAndFeel lf(nullptr);
    // Not registered: the painter of the kind.
    lf.SetSkinName("Caramel");
    EXPECT_EQ(lf.ExtendedStylePainter(), nullptr);
    EXPECT_EQ(lf.CurrentPainter(), UltraFlatPainter());

    TRecorder heard(lf);
    registry.Register("caramel", StandardPainter());
    TlfPainterClass found = nullptr;
    EXPECT_TRUE(registry.FindPainterByName("CARAMEL", found));
    EXPECT_EQ(found, StandardPainter());
    EXPECT_EQ(registry.IndexOfName("Caramel"), 0);
    EXPECT_EQ(registry.IndexOfName("Lime"), -1);
    // The registry does not know the object yet: a change of its own skin
    // name makes it look again.
    lf.SetSkinName("CARAMEL");
    EXPECT_EQ(lf.ExtendedStylePainter(), StandardPainter());
    EXPECT_EQ(lf.CurrentPainter(), StandardPainter());
    EXPECT_EQ(registry.ListenerCount(), 1);
    // Now it listens: unregistering reaches it with all three values.
    heard.changes.clear();
    registry.Unregister("Caramel");
    ASSERT_EQ(heard.changes.size(), 1u);
    EXPECT_EQ(heard.changes[0], lfvsAll);
    EXPECT_EQ(lf.CurrentPainter(), UltraFlatPainter());
    EXPECT_EQ(registry.ListenerCount(), 0);
    EXPECT_EQ(registry.Count(), 0);
}

TEST_F(LookAndFeel, ASystemColourChangeRefreshesTheImagesFirstThenEveryObject) {
    Application();
    TlfLookAndFeel lf(nullptr);
    TRecorder heard(lf);
    TlfRadioButtonImageList& radios = RadioButtonImages();
    EXPECT_EQ(radios.Count(), 128);
    const int builds = radios.Builds();
    // A radio button painted looks its image up: nothing is built again.
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(16, 16);
    TCanvas canvas(bitmap);
    TlfCanvas lfCanvas(canvas);
    UltraFlatPainter()->PaintRadioButton(lfCanvas, 2, 2, esNormal, true, false, 0xFFFFFF, false);
    EXPECT_EQ(radios.Builds(), builds);
    const uint32_t before = bitmap.PixelColor(bitmap.ScanLine(2 + 6), 2);  // on the ring

    SetSystemColor(COLOR_BTNSHADOW, RGBColor(200, 0, 0));
    ASSERT_NE(PaletteListener(), nullptr);
    PaletteListener()->Perform(WM_SYSCOLORCHANGE);
    EXPECT_EQ(radios.Builds(), builds + 1);
    // Told by the listener and again through its master, the root.
    ASSERT_FALSE(heard.changes.empty());
    for (TlfLookAndFeelValues values : heard.changes) EXPECT_EQ(values, lfvsNativeStyle);
    UltraFlatPainter()->PaintRadioButton(lfCanvas, 2, 2, esNormal, true, false, 0xFFFFFF, false);
    const uint32_t after = bitmap.PixelColor(bitmap.ScanLine(2 + 6), 2);
    EXPECT_NE(before, after);
    EXPECT_EQ(after, 0xC80000u);
    ResetSystemColors();
    PaletteListener()->Perform(WM_SYSCOLORCHANGE);
}

TEST_F(PainterImages, RadioShapeRowGlyphsAndScrollPatterns) {
    Application();
    const TlfRadioButtonImageList& radios = RadioButtonImages();
    EXPECT_EQ(radios.ImageSize(), (TlfSize{12, 12}));
    // Every map index points at its own image.
    std::set<int> indexes;
    for (int kind = 0; kind < 4; ++kind)
        for (int state = 1; state <= 4; ++state)
            for (int bits = 0; bits < 8; ++bits)
                indexes.insert(radios.ImageIndex(static_cast<TlfLookAndFeelKind>(kind), static_cast<TlfElementState>(state),
                                                 bits & 1, bits & 2, bits & 4));
    EXPECT_EQ(indexes.size(), 128u);
    // The shape: outside corners, the ring halves, the body and the dot.
    const std::vector<uint8_t>& p = radios.Pattern();
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[static_cast<size_t>(0) * 12 + 5], 1);    // top of the outer ring
    EXPECT_EQ(p[static_cast<size_t>(11) * 12 + 6], 2);   // bottom of the outer ring
    EXPECT_EQ(p[static_cast<size_t>(5) * 12 + 5], 6);    // the dot
    std::set<uint8_t> codes(p.begin(), p.end());
    EXPECT_EQ(codes, (std::set<uint8_t>{0, 1, 2, 3, 4, 5, 6}));

    EXPECT_EQ(RowStateImages().Count(), 6);
    EXPECT_EQ(RowStateImages().Width(), 8);
    EXPECT_EQ(RowStateImages().Height(), 9);

    // The pressed pattern is darker; both repeat every 8 pixels.
    const TBitmap& normal = ScrollBarPattern(false);
    const TBitmap& pressed = ScrollBarPattern(true);
    ASSERT_EQ(normal.Width(), 8);
    ASSERT_EQ(pressed.Height(), 8);
    auto light = [](const TBitmap& b) {
        int sum = 0;
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x) {
                const uint32_t c = b.PixelColor(b.ScanLine(y), x);
                sum += int(c >> 16 & 255) + int(c >> 8 & 255) + int(c & 255);
            }
        return sum;
    };
    EXPECT_LT(light(pressed), light(normal));
    for (int32_t y = 0; y < 8; ++y)
        EXPECT_EQ(normal.PixelColor(normal.ScanLine(y), 0), normal.PixelColor(normal.ScanLine((y + 2) % 8), 0));
    // New system colours show in the next pattern asked for.
    SetSystemColor(COLOR_BTNFACE, RGBColor(0, 128, 0));
    EXPECT_EQ(ScrollBarPattern(false).PixelColor(ScrollBarPattern(false).ScanLine(0), 0), 0x008000u);
    ResetSystemColors();
    EXPECT_NE(ScrollBarPattern(false).PixelColor(ScrollBarPattern(false).ScanLine(0), 0), 0x008000u);
}

}  // namespace
