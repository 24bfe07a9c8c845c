#include "navbar/lf_theme.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

#include "platform/codepage.h"
#include "platform/ui/theme.h"

namespace {

constexpr const char* kClassLists[kThemedObjectTypeCount] = {
    "Button", "Clock", "ComboBox", "Edit", "ExplorerBar", "Header", "ListBox", "ListView", "Menu",
    "Page", "Progress", "Rebar", "ScrollBar", "Spin", "StartPanel", "Status", "Tab", "TaskBand",
    "TaskBar", "ToolBar", "ToolTip", "TrackBar", "TrayNotify", "TreeView", "Window",
};

std::u16string UpperWide(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

// Open themes: the class of the look each stands for.
std::map<TTheme, std::string>& OpenThemes() {
    static std::map<TTheme, std::string> themes;
    return themes;
}

struct TManager {
    bool Started = false;
    bool Active = false;
    int Listener = 0;
    TTheme Handles[kThemedObjectTypeCount] = {};
    std::u16string Lists[kThemedObjectTypeCount];
    std::vector<TkrThemeChangedNotificator*> Notificators;
} gManager;

void ThemeChanged() {
    ReleaseAllThemeHandles();
    gManager.Active = IsThemeActive();
    const std::vector<TkrThemeChangedNotificator*> notificators = gManager.Notificators;
    for (TkrThemeChangedNotificator* n : notificators)
        if (std::find(gManager.Notificators.begin(), gManager.Notificators.end(), n) != gManager.Notificators.end() &&
            n->OnThemeChanged)
            n->OnThemeChanged();
}

// The manager starts with the first use after the look is there.
void EnsureStarted() {
    if (gManager.Started || !ThemeLibraryBound()) return;
    gManager.Started = true;
    gManager.Active = IsThemeActive();
    gManager.Listener = AddThemeChangeListener(ThemeChanged);
}

}  // namespace

const char* ThemeClassList(TkrThemedObjectType type) { return kClassLists[type]; }

bool ThemeLibraryBound() { return UITheme() != nullptr; }

bool IsThemeActive() { return UITheme() != nullptr; }

TTheme OpenThemeData(const std::u16string& classList) {
    TUITheme* theme = UITheme();
    if (!theme) return 0;
    static TTheme next = 0;
    // The first class of the list the look can draw.
    size_t start = 0;
    while (start <= classList.size()) {
        size_t end = classList.find(u';', start);
        if (end == std::u16string::npos) end = classList.size();
        const std::string name = WideToUtf8(classList.substr(start, end - start));
        if (!name.empty() && theme->HasClass(name)) {
            OpenThemes()[++next] = name;
            return next;
        }
        start = end + 1;
    }
    return 0;
}

int32_t CloseThemeData(TTheme theme) { return OpenThemes().erase(theme) ? 0 : 1; }

int32_t DrawThemeBackground(TTheme theme, TCanvas& canvas, int part, int state, const TRect& rect, const TRect* clip) {
    const auto found = OpenThemes().find(theme);
    if (found == OpenThemes().end() || !UITheme()) return 1;
    const int32_t w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
    if (w <= 0 || h <= 0) return 0;
    TBitmap picture;
    picture.SetPixelFormat(TPixelFormat::pf32bit);
    picture.SetSize(w, h);
    if (!UITheme()->DrawPart(found->second, part, state, picture, TRect{0, 0, w, h})) return 1;
    // Premultiplied pixels over the canvas's.
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = picture.ScanLine(y);
        for (int32_t x = 0; x < w; ++x) {
            const int32_t cx = rect.Left + x, cy = rect.Top + y;
            if (clip && (cx < clip->Left || cx >= clip->Right || cy < clip->Top || cy >= clip->Bottom)) continue;
            const uint8_t* p = row + x * 4;
            if (p[3] == 0 || !canvas.PtVisible(cx, cy)) continue;
            const TColor under = canvas.GetPixel(cx, cy);
            TColor out = 0;
            for (int c = 0; c < 3; ++c) {
                const int source = p[2 - c], back = (under >> (8 * c)) & 255;
                out |= std::min(255, source + back * (255 - p[3]) / 255) << (8 * c);
            }
            canvas.SetPixel(cx, cy, out);
        }
    }
    return 0;
}

int32_t DrawThemeText(TTheme theme, TCanvas& canvas, int part, int state, const std::u16string& text, uint32_t format,
                      const TRect& rect) {
    if (OpenThemes().find(theme) == OpenThemes().end()) return 1;
    TRect r = rect;
    const int32_t keep = canvas.Brush.Style;
    canvas.Brush.Style = BS_NULL;
    canvas.DrawText(text, r, format);
    canvas.Brush.Style = keep;
    return 0;
}

bool GetCurrentThemeName(std::string& fileName, std::string& colorName, std::string& sizeName) {
    // Qt's styles are not visual-style files: they carry no such names.
    fileName.clear();
    colorName.clear();
    sizeName.clear();
    return false;
}

bool ThemeActive() {
    EnsureStarted();
    return gManager.Started && gManager.Active;
}

bool VisualStylesActive(std::initializer_list<TkrThemedObjectType> classes) {
    if (!ThemeActive() || !ThemeLibraryBound()) return false;
    for (TkrThemedObjectType type : classes)
        if (AcquireThemeHandle(type) == 0) return false;
    return true;
}

bool VisualStylesActive(TkrThemedObjectType type) { return VisualStylesActive({type}); }

TTheme AcquireThemeHandle(TkrThemedObjectType type, const std::u16string& classList) {
    if (!ThemeActive() || !ThemeLibraryBound()) return 0;
    TTheme& handle = gManager.Handles[type];
    std::u16string& stored = gManager.Lists[type];
    if (handle) {
        if (classList.empty() || UpperWide(classList) == UpperWide(stored)) return handle;
        CloseThemeData(handle);
        handle = 0;
    }
    std::u16string list = classList;
    if (list.empty()) list = stored.empty() ? Utf8ToWide(kClassLists[type]) : stored;
    handle = OpenThemeData(list);
    if (handle) stored = list;
    else stored.clear();
    return handle;
}

intptr_t ReleaseThemeHandle(TkrThemedObjectType type) {
    if (!ThemeActive() || !ThemeLibraryBound()) return 1;
    TTheme& handle = gManager.Handles[type];
    if (!handle) return 0;
    const intptr_t result = CloseThemeData(handle);
    handle = 0;
    gManager.Lists[type].clear();
    return result;
}

void ReleaseAllThemeHandles() {
    for (TTheme& handle : gManager.Handles)
        if (handle) {
            CloseThemeData(handle);
            handle = 0;
        }
}

TkrThemeChangedNotificator::TkrThemeChangedNotificator() {
    EnsureStarted();
    if (gManager.Started) {
        gManager.Notificators.push_back(this);
        listed_ = true;
    }
}

TkrThemeChangedNotificator::~TkrThemeChangedNotificator() {
    if (listed_) gManager.Notificators.erase(std::remove(gManager.Notificators.begin(), gManager.Notificators.end(), this),
                                             gManager.Notificators.end());
}
