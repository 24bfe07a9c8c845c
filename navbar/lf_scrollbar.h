// The painted scroll bar: its arrows, thumb and tracks are drawn by the
// look-and-feel painter of its look and feel, so it matches the flat,
// ultra-flat, Office 2003, classic or themed look around it. It keeps its
// geometry in a view-info object, paints into an off-screen bitmap copied
// to the window in one block, repeats arrow and track clicks with a timer
// that starts slow (400 ms) and then speeds up (60 ms), and tracks the thumb
// with a tolerance zone around the bar. The wheel scrolls three lines a
// notch, and the arrow, page and Home/End keys scroll as on the bar itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "navbar/lf_graphics.h"
#include "navbar/lf_look_and_feel.h"
#include "navbar/lf_painters.h"
#include "navbar/lf_theme.h"
#include "navbar/lf_timer.h"
#include "platform/errors.h"
#include "platform/ui/control.h"

// An operation a control cannot do in its present state (a property set
// out of its range).
class EInvalidOperation : public Exception {
    using Exception::Exception;
};

enum TScrollBarKind : uint8_t { sbHorizontal = 0, sbVertical = 1 };
enum TScrollCode : uint8_t {
    scLineUp = 0, scLineDown = 1, scPageUp = 2, scPageDown = 3, scPosition = 4, scTrack = 5, scTop = 6, scBottom = 7,
    scEndScroll = 8,
};
using TScrollEvent = std::function<void(TComponent* sender, TScrollCode code, int& position)>;

// The system's cancel-mode message: the bar loses the mouse.
constexpr uint32_t WM_CANCELMODE = 0x001F;

class TlfScrollBar;

class TlfScrollBarViewInfo {
public:
    explicit TlfScrollBarViewInfo(TlfScrollBar* scrollBar) : scrollBar_(scrollBar) {}
    virtual ~TlfScrollBarViewInfo() = default;
    virtual void Calculate() { CalculateRects(); }
    virtual void CalculateRects();
    // The thumb alone (and the page areas, which follow it).
    void ComputeThumbRect();
    void CalculatePageRects();

    TRect BottomRightArrowRect{}, PageDownRect{}, PageUpRect{};
    TlfScrollBar* ScrollBar() const { return scrollBar_; }
    TRect ThumbnailRect{};
    int32_t ThumbnailSize = 8;
    TRect TopLeftArrowRect{};

private:
    TlfScrollBar* scrollBar_;
};

class TlfScrollBar : public TCustomControl {
public:
    explicit TlfScrollBar(TComponent* owner);
    ~TlfScrollBar() override;

    TScrollBarKind Kind() const { return kind_; }
    void SetKind(TScrollBarKind kind);
    int16_t LargeChange() const { return largeChange_; }
    void SetLargeChange(int16_t value) { largeChange_ = value; }
    int16_t SmallChange() const { return smallChange_; }
    void SetSmallChange(int16_t value) { smallChange_ = value; }
    TlfLookAndFeel& LookAndFeel() { return *lookAndFeel_; }
    // Copies the values of another look and feel.
    void SetLookAndFeel(const TlfLookAndFeel& value) { lookAndFeel_->Assign(value); }
    int Max() const { return max_; }
    void SetMax(int value) { AssignScrollParams(min_, value, position_, pageSize_, true); }
    int Min() const { return min_; }
    void SetMin(int value) { AssignScrollParams(value, max_, position_, pageSize_, true); }
    int PageSize() const { return pageSize_; }
    void SetPageSize(int value) { AssignScrollParams(min_, max_, position_, value, true); }
    int Position() const { return position_; }
    void SetPosition(int value) { AssignScrollParams(min_, max_, value, pageSize_, true); }
    bool UnlimitedTracking = false;
    bool Ctl3D() const { return ctl3D_ || realCtl3D_; }
    void SetCtl3D(bool value);
    TNotifyEvent OnChange;
    TScrollEvent OnScroll;

    // The one way Min, Max, PageSize and Position change; "Scrollbar
    // property out of range" when Max is below Min or PageSize.
    void AssignScrollParams(int min, int max, int position, int pageSize, bool redraw);
    void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;

    // The painter of the bar's look and feel for scroll bars.
    TlfPainterClass Painter() const;
    TlfScrollBarViewInfo& ViewInfo() { return *viewInfo_; }
    TlfScrollBarPart GetScrollBarPart(const TPoint& p);
    TlfScrollBarPart State() const { return state_; }
    TlfScrollBarPart HotPart() const { return hotPart_; }
    TlfTimer& Timer() { return *timer_; }
    // The bar's picture as it was last painted.
    const TBitmap& Bitmap() const { return bitmap_; }
    // Paints the bar into its off-screen bitmap now.
    void PaintToBitmap();
    // The state each part is painted in.
    TlfElementState PartState(TlfScrollBarPart part) const;
    // The position the thumb's place gives.
    int PositionFromThumb() const;
    void ApplyScroll(TScrollCode code);
    void StopScrolling();

protected:
    void Paint() override;
    virtual void Scroll(TScrollCode code, int& position);
    void Changed();

private:
    friend class TlfScrollBarViewInfo;
    void LookAndFeelChanged();
    void ThemeChanged();
    void UpdateThumbSize();
    void TimerTick();
    void MouseDown(int x, int y);
    void MouseMove(int x, int y);
    void MouseUp(int x, int y);
    void ScrollPart(TlfScrollBarPart part);
    bool Dragging() const { return state_ == partThumb; }

    TScrollBarKind kind_ = sbHorizontal;
    int16_t largeChange_ = 1, smallChange_ = 1;
    int max_ = 100, min_ = 0, pageSize_ = 0, position_ = 0;
    bool ctl3D_ = true, realCtl3D_ = false;
    std::unique_ptr<TlfLookAndFeel> lookAndFeel_;
    TlfCustomBitmap bitmap_;
    std::unique_ptr<TlfScrollBarViewInfo> viewInfo_;
    std::unique_ptr<TlfTimer> timer_;
    std::unique_ptr<TkrThemeChangedNotificator> themeNotificator_;
    std::unique_ptr<TlfSystemPaletteChangedNotifier> paletteNotifier_;
    TlfScrollBarPart state_ = partNone, hotPart_ = partNone;
    TPoint downMousePos_{}, saveThumbnailPos_{}, mousePos_{-1, -1};
    int savePosition_ = 0;
    bool mouseInside_ = false;
};
