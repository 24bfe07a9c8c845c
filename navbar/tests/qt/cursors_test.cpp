// The library's cursors on Qt: a window set to one of them shows the
// cursor's own picture (made from our bitmap, with its hot spot), each
// cursor a picture of its own; the hand is the system's pointing hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "navbar/kr_gdiplus.h"
#include "navbar/lf_timer.h"
#include "platform/canvas.h"
#include "platform/ui/forms.h"
#include "platform/ui/qt/qt_testing.h"

namespace {

class TPlainControl : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
};

std::string Pixels(const TBitmap& picture) {
    std::string bytes;
    for (int32_t y = 0; y < picture.Height(); ++y)
        bytes.append(reinterpret_cast<const char*>(picture.ScanLine(y)), static_cast<size_t>(picture.Width()) * 4);
    return bytes;
}

}  // namespace

TEST(LfCursorsOnQt, EachCursorShowsItsOwnPicture) {
    ASSERT_TRUE(QtTesting::Running());
    LoadLibraryCursors();
    TForm form(nullptr);
    form.SetBounds(30, 30, 200, 120);
    auto* control = new TPlainControl(&form);
    control->SetBounds(10, 10, 100, 60);
    control->SetParent(&form);
    form.Show();
    // A window shows its cursor while the mouse is over it.
    QtTesting::MouseMove(*control, 20, 20);

    // A contact sheet of every cursor as Qt shows it, on grey.
    TBitmap sheet;
    sheet.SetPixelFormat(TPixelFormat::pf24bit);
    sheet.SetSize(16 * 36, 36);
    TCanvas canvas(sheet);
    canvas.Brush.Color = 0xA0A0A0;
    canvas.FillRect({0, 0, sheet.Width(), sheet.Height()});
    std::set<std::string> seen;
    int column = 0;
    for (TCursor id = crlfDragCopy; id <= crlfColorPicker; ++id, ++column) {
        SCOPED_TRACE(id);
        control->SetCursor(id);
        TBitmap shown;
        TPoint hotSpot;
        ASSERT_TRUE(QtTesting::WindowCursorPicture(*control, shown, hotSpot));
        const TlfCursorImage* cursor = ScreenCursor(id);
        ASSERT_NE(cursor, nullptr);
        EXPECT_EQ(hotSpot, cursor->HotSpot);
        ASSERT_EQ(shown.Width(), 32);
        ASSERT_EQ(shown.Height(), 32);
        // Qt's picture is ours: the same opaque pixels.
        int opaque = 0, differ = 0;
        for (int32_t y = 0; y < 32; ++y)
            for (int32_t x = 0; x < 32; ++x) {
                const uint8_t* a = shown.ScanLine(y) + x * 4;
                const uint8_t* b = cursor->Image.ScanLine(y) + x * 4;
                opaque += a[3] == 255;
                differ += a[3] != b[3] || (a[3] && (a[0] != b[0] || a[1] != b[1] || a[2] != b[2]));
                if (a[3] == 255) canvas.SetPixel(column * 36 + 2 + x, 2 + y, RGBColor(a[2], a[1], a[0]));
            }
        EXPECT_EQ(differ, 0);
        EXPECT_GT(opaque, 20);
        seen.insert(Pixels(shown));
    }
    EXPECT_EQ(seen.size(), 15u);  // no two alike

    // The hand is the system's; a system cursor shows no picture.
    control->SetCursor(crlfHand);
    TBitmap shown;
    TPoint hotSpot;
    EXPECT_FALSE(QtTesting::WindowCursorPicture(*control, shown, hotSpot));

    std::filesystem::create_directories(TW_ARTIFACT_DIR);
    TkrPNGImage png;
    png.LoadFromBitmap(sheet);
    png.SaveToFile(std::string(TW_ARTIFACT_DIR) + "/library-cursors.png");
}
