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

using TTheme = intptr_t;  // 0: no theme

enum TkrThemedObjectType : uint8_t {
    totButton, totClock, totComboBox, totEdit, totExplorerBar, totHeader, totListBox, totListView, totMenu, totPage,
    totProgress, totRebar, totScrollBar, totSpin, totStartPanel, totStatus, totTab, totTaskBand, totTaskBar,
    totToolBar, totToolTip, totTrackBar, totTrayNotify, totTreeView, totWindow,
};
constexpr int kThemedObjectTypeCount = 25;
const char* ThemeClassList(TkrThemedObjectType type);

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
