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
    // Drawn at the canvas's density and laid on its own pixels.
    const int32_t scale = canvas.Scale();
    TBitmap picture;
    picture.SetPixelFormat(TPixelFormat::pf32bit);
    picture.SetDevicePixelRatio(scale);
    picture.SetSize(w * scale, h * scale);
    if (!UITheme()->DrawPart(found->second, part, state, picture, TRect{0, 0, w, h})) return 1;
    TBitmap& target = canvas.Bitmap();
    // Premultiplied pixels over the canvas's.
    for (int32_t y = 0; y < h * scale; ++y) {
        const uint8_t* row = picture.ScanLine(y);
        const int32_t cy = rect.Top * scale + y;
        if (cy < 0 || cy >= target.Height()) continue;
        uint8_t* out = target.ScanLine(cy);
        for (int32_t x = 0; x < w * scale; ++x) {
            const int32_t cx = rect.Left * scale + x;
            if (clip && (cx < clip->Left * scale || cx >= clip->Right * scale || cy < clip->Top * scale ||
                         cy >= clip->Bottom * scale))
                continue;
            const uint8_t* p = row + x * 4;
            if (p[3] == 0 || !canvas.DevicePtVisible(cx, cy)) continue;
            const uint32_t under = target.PixelColor(out, cx);  // 0xRRGGBB
            uint32_t mixed = 0;
            for (int c = 0; c < 3; ++c) {
                const uint32_t source = p[c], back = (under >> (8 * c)) & 255;
                mixed |= std::min(255u, source + back * (255u - p[3]) / 255u) << (8 * c);
            }
            target.SetPixelColor(out, cx, mixed);
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

int32_t DrawThemeText(TTheme theme, TCanvas& canvas, int part, int state, const std::string& text, uint32_t format,
                      const TRect& rect) {
    return DrawThemeText(theme, canvas, part, state, AnsiToWide(text), format, rect);
}

namespace {

// The class of an open theme, or nullptr.
const std::string* ThemeClass(TTheme theme) {
    const auto found = OpenThemes().find(theme);
    return found == OpenThemes().end() || !UITheme() ? nullptr : &found->second;
}

// The part drawn alone into a picture with alpha; false when it has no
// counterpart.
bool DrawAlone(const std::string& cls, int part, int state, int32_t w, int32_t h, TBitmap& picture) {
    if (w <= 0 || h <= 0) return false;
    picture.SetPixelFormat(TPixelFormat::pf32bit);
    picture.SetDevicePixelRatio(1);
    picture.SetSize(w, h);
    return UITheme()->DrawPart(cls, part, state, picture, TRect{0, 0, w, h});
}

}  // namespace

int32_t GetThemeBackgroundContentRect(TTheme theme, int part, int state, const TRect& bounding, TRect& content) {
    content = bounding;
    const std::string* cls = ThemeClass(theme);
    TRect margins{};
    if (!cls || !UITheme()->PartMargins(*cls, part, state, margins)) return kThemeFailed;
    content = TRect{bounding.Left + margins.Left, bounding.Top + margins.Top, bounding.Right - margins.Right,
                    bounding.Bottom - margins.Bottom};
    if (content.Right < content.Left) content.Right = content.Left;
    if (content.Bottom < content.Top) content.Bottom = content.Top;
    return 0;
}

int32_t GetThemePartSize(TTheme theme, int part, int state, const TRect* rect, int kind, TSize& size) {
    size = TSize{0, 0};
    const std::string* cls = ThemeClass(theme);
    if (!cls) return kThemeFailed;
    if (kind == TS_DRAW && rect) {
        size = TSize{rect->Right - rect->Left, rect->Bottom - rect->Top};
        return 0;
    }
    return UITheme()->PartSize(*cls, part, state, size) ? 0 : kThemeFailed;
}

int32_t GetThemePartSize(TTheme theme, int part, int state, int kind, TSize& size) {
    return GetThemePartSize(theme, part, state, nullptr, kind, size);
}

int32_t GetThemeBackgroundRegion(TTheme theme, int part, int state, const TRect& rect, TRegion& region) {
    region = TRegion();
    const std::string* cls = ThemeClass(theme);
    TBitmap picture;
    if (!cls || !DrawAlone(*cls, part, state, rect.Right - rect.Left, rect.Bottom - rect.Top, picture)) return kThemeFailed;
    // Runs of covered pixels a row.
    for (int32_t y = 0; y < picture.Height(); ++y) {
        const uint8_t* row = picture.ScanLine(y);
        for (int32_t x = 0; x < picture.Width();) {
            if (row[x * 4 + 3] == 0) {
                ++x;
                continue;
            }
            const int32_t start = x;
            while (x < picture.Width() && row[x * 4 + 3] != 0) ++x;
            region.Combine(TRegion(TRect{rect.Left + start, rect.Top + y, rect.Left + x, rect.Top + y + 1}), RGN_OR);
        }
    }
    return 0;
}

int32_t DrawThemeEdge(TTheme theme, TCanvas& canvas, int part, int state, const TRect& rect, uint32_t edge,
                      uint32_t flags, TRect* content) {
    (void)part;
    (void)state;
    if (!ThemeClass(theme)) return kThemeFailed;
    // Outer edge first, then the inner one, each a pixel wide.
    TRect r = rect;
    const struct {
        uint32_t Raised, Sunken;
        int LightRaised, DarkRaised, LightSunken, DarkSunken;
    } rings[] = {
        {BDR_RAISEDOUTER, BDR_SUNKENOUTER, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT},
        {BDR_RAISEDINNER, BDR_SUNKENINNER, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW, COLOR_3DDKSHADOW, COLOR_3DLIGHT},
    };
    const TCanvasBrush keep = canvas.Brush;
    canvas.Brush.Style = BS_SOLID;
    for (const auto& ring : rings) {
        if (!(edge & (ring.Raised | ring.Sunken)) || r.Right <= r.Left || r.Bottom <= r.Top) continue;
        const bool sunken = (edge & ring.Sunken) != 0;
        const TColor light = GetSysColor(sunken ? ring.LightSunken : ring.LightRaised);
        const TColor dark = GetSysColor(sunken ? ring.DarkSunken : ring.DarkRaised);
        canvas.Brush.Color = static_cast<uint32_t>(light);
        if (flags & BF_LEFT) canvas.FillRect(TRect{r.Left, r.Top, r.Left + 1, r.Bottom});
        if (flags & BF_TOP) canvas.FillRect(TRect{r.Left, r.Top, r.Right, r.Top + 1});
        canvas.Brush.Color = static_cast<uint32_t>(dark);
        if (flags & BF_RIGHT) canvas.FillRect(TRect{r.Right - 1, r.Top, r.Right, r.Bottom});
        if (flags & BF_BOTTOM) canvas.FillRect(TRect{r.Left, r.Bottom - 1, r.Right, r.Bottom});
        if (flags & BF_LEFT) ++r.Left;
        if (flags & BF_TOP) ++r.Top;
        if (flags & BF_RIGHT) --r.Right;
        if (flags & BF_BOTTOM) --r.Bottom;
    }
    if ((flags & BF_MIDDLE) && r.Right > r.Left && r.Bottom > r.Top) {
        canvas.Brush.Color = static_cast<uint32_t>(GetSysColor(COLOR_BTNFACE));
        canvas.FillRect(r);
    }
    canvas.Brush = keep;
    if (content) *content = (flags & BF_ADJUST) ? r : rect;
    return 0;
}

bool IsThemeBackgroundPartiallyTransparent(TTheme theme, int part, int state) {
    const std::string* cls = ThemeClass(theme);
    TBitmap picture;
    if (!cls || !DrawAlone(*cls, part, state, 32, 32, picture)) return false;
    for (int32_t y = 0; y < picture.Height(); ++y)
        for (int32_t x = 0; x < picture.Width(); ++x)
            if (picture.ScanLine(y)[x * 4 + 3] != 255) return true;
    return false;
}

int32_t GetThemeColor(TTheme theme, int part, int state, int property, TColor& color) {
    const std::string* cls = ThemeClass(theme);
    if (!cls || !UITheme()->PartColor(*cls, part, state, property, color)) return kThemeFailed;
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
