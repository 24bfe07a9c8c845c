// The visual-styles binding and theme manager: one open theme per themed
// class, reopened after the desktop's theme changes, and the objects that
// hear of such a change. Themes come from the running platform plugin's
// look (platform/ui/theme.h; Qt's style on the Qt plugin): a class or part
// with no counterpart there has no theme (handle 0) and the painters take
// their own classic drawing.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "platform/canvas.h"
#include "platform/region.h"

using TTheme = intptr_t;  // 0: no theme

enum TkrThemedObjectType : uint8_t {
    totButton, totClock, totComboBox, totEdit, totExplorerBar, totHeader, totListBox, totListView, totMenu, totPage,
    totProgress, totRebar, totScrollBar, totSpin, totStartPanel, totStatus, totTab, totTaskBand, totTaskBar,
    totToolBar, totToolTip, totTrackBar, totTrayNotify, totTreeView, totWindow,
};
constexpr int kThemedObjectTypeCount = 25;
const char* ThemeClassList(TkrThemedObjectType type);

// Results of the binding's calls: 0 done; kThemeFailed when the theme is not
// open, or the part has no counterpart in the desktop's look (then nothing is
// drawn and the painters take their classic drawing).
constexpr int32_t kThemeFailed = 1;

// Edges of DrawThemeEdge (the system's DrawEdge bits).
enum : uint32_t {
    BDR_RAISEDOUTER = 0x1, BDR_SUNKENOUTER = 0x2, BDR_RAISEDINNER = 0x4, BDR_SUNKENINNER = 0x8,
    EDGE_RAISED = 0x5, EDGE_SUNKEN = 0xA, EDGE_ETCHED = 0x6, EDGE_BUMP = 0x9,
    BF_LEFT = 0x1, BF_TOP = 0x2, BF_RIGHT = 0x4, BF_BOTTOM = 0x8, BF_RECT = 0xF, BF_MIDDLE = 0x800,
    BF_ADJUST = 0x2000,
};
// Sizes GetThemePartSize answers: the smallest, the part's own, the size
// it takes when drawn into the rectangle.
enum : int { TS_MIN = 0, TS_TRUE = 1, TS_DRAW = 2 };

// The binding.
bool ThemeLibraryBound();
bool IsThemeActive();
TTheme OpenThemeData(const std::u16string& classList);
int32_t CloseThemeData(TTheme theme);  // 0 (S_OK) or an error
// Draws the part into the canvas over rect (clipped to clip when given);
// 0 when drawn.
int32_t DrawThemeBackground(TTheme theme, TCanvas& canvas, int part, int state, const TRect& rect,
                            const TRect* clip = nullptr);
int32_t DrawThemeText(TTheme theme, TCanvas& canvas, int part, int state, const std::u16string& text,
                      uint32_t format, const TRect& rect);
// 8-bit text in the system code page.
int32_t DrawThemeText(TTheme theme, TCanvas& canvas, int part, int state, const std::string& text, uint32_t format,
                      const TRect& rect);
// The part's content area inside bounding (its frame left out); without a
// theme content is bounding.
int32_t GetThemeBackgroundContentRect(TTheme theme, int part, int state, const TRect& bounding, TRect& content);
// The part's size of the kind (TS_MIN, TS_TRUE, TS_DRAW); TS_DRAW is the
// rectangle's size when one is given.
int32_t GetThemePartSize(TTheme theme, int part, int state, const TRect* rect, int kind, TSize& size);
int32_t GetThemePartSize(TTheme theme, int part, int state, int kind, TSize& size);
// The pixels the part covers when drawn over rect.
int32_t GetThemeBackgroundRegion(TTheme theme, int part, int state, const TRect& rect, TRegion& region);
// Edges drawn with the system colours (the edge and BF_* flags of the
// system's DrawEdge); with BF_ADJUST content becomes the area inside them.
int32_t DrawThemeEdge(TTheme theme, TCanvas& canvas, int part, int state, const TRect& rect, uint32_t edge,
                      uint32_t flags, TRect* content = nullptr);
// Some pixels of the part let what is under them show; false without a theme.
bool IsThemeBackgroundPartiallyTransparent(TTheme theme, int part, int state);
// A colour of the part by property number (3801 border, 3802 fill, 3803
// text, 3810 and 3811 the gradient's colours, ...).
int32_t GetThemeColor(TTheme theme, int part, int state, int property, TColor& color);
// The file, colour and size names of the desktop's visual style; false
// when it has none.
bool GetCurrentThemeName(std::string& fileName, std::string& colorName, std::string& sizeName);

// The manager.
bool ThemeActive();
bool VisualStylesActive(std::initializer_list<TkrThemedObjectType> classes = {});
bool VisualStylesActive(TkrThemedObjectType type);
TTheme AcquireThemeHandle(TkrThemedObjectType type, const std::u16string& classList = u"");
intptr_t ReleaseThemeHandle(TkrThemedObjectType type);
void ReleaseAllThemeHandles();

class TkrThemeChangedNotificator {
public:
    TkrThemeChangedNotificator();
    ~TkrThemeChangedNotificator();
    TkrThemeChangedNotificator(const TkrThemeChangedNotificator&) = delete;
    TkrThemeChangedNotificator& operator=(const TkrThemeChangedNotificator&) = delete;
    std::function<void()> OnThemeChanged;

private:
    bool listed_ = false;
};
