#include "navbar/lf_office11.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "navbar/lf_graphics.h"
#include "navbar/lf_theme.h"

namespace {

struct TSchemeState {
    uint8_t Scheme = 0;
    bool Themed = false;
    bool Computed = false;
    int Users = 0;
    TColor Dark = 0, Light = 0;
    TNavPaneColors NavPane{};
} gState;

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    const int64_t p = int64_t{a} * b;
    return static_cast<int32_t>((p >= 0 ? p + c / 2 : p - c / 2) / c);
}

TColor PerChannel(TColor color, int (*f)(int, int), int arg) {
    const TColor rgb = ColorToRGB(color);
    TColor out = 0;
    for (int s = 0; s < 24; s += 8) out |= (f((rgb >> s) & 255, arg) & 255) << s;
    return out;
}

void Compute() {
    gState.Scheme = DetectOffice11Scheme();
    gState.Themed = VisualStylesActive() && gState.Scheme != 0;
    static const TColor darks[] = {0, 0x764127, 0x335E51, 0x755454};
    if (gState.Themed) {
        gState.Dark = darks[gState.Scheme];
        gState.Light = 0xFFFFFF;
    } else {
        gState.Dark = MixRGB(SysColor(COLOR_BTNSHADOW), SysColor(COLOR_WINDOW), 76);
        gState.Light = ColorToRGB(SysColor(COLOR_WINDOW));
    }
    TNavPaneColors& c = gState.NavPane;
    if (gState.Themed) {
        const int i = gState.Scheme - 1;
        static const TColor border[] = {0x962D00, 0x5E8D75, 0x947C7C}, caption1[] = {0xFBE5D3, 0xDBF5F2, 0xF8F1F0},
                            caption2[] = {0xE4AE88, 0x97C9BC, 0xBA9EA0}, header1[] = {0xD68759, 0x82C0AF, 0xBFA7A8},
                            header2[] = {0x933803, 0x447A63, 0x916F70};
        c = TNavPaneColors{border[i], caption1[i], caption2[i], 0xDCFFFF, 0x5BC0F7, 0x94E6FB, 0x1595EE, 0x087FE8,
                           0x7CDAF7, header1[i], header2[i], 0xFFFFFF, header1[i], header2[i]};
    } else {
        const TColor face = SysColor(COLOR_BTNFACE);
        c.BorderColor = NearestScreenColor(SysColor(COLOR_BTNSHADOW));
        c.GroupCaptionColor1 = NearestScreenColor(PerChannel(face, [](int v, int) { return v * 127 / 255 + 128; }, 0));
        c.GroupCaptionColor2 = NearestScreenColor(PerChannel(face, [](int v, int) { return v + 4 - v * 4 / 255; }, 0));
        c.HotTrackedColor1 = c.HotTrackedColor2 = NearestScreenColor(MixSystemShades(-2, 30, 72));
        c.SelectedColor1 = c.SelectedColor2 = MixSystemShades(41, 11, 48);
        c.SelectedHotTrackedColor1 = c.SelectedHotTrackedColor2 = NearestScreenColor(MixSystemShades(14, 44, 40));
        c.HeaderColor1 = c.HeaderColor2 = c.BorderColor;
        c.HeaderFontColor = ColorToRGB(SysColor(COLOR_HIGHLIGHTTEXT));
        c.SplitterColor1 = NearestScreenColor(face);
        c.SplitterColor2 = c.BorderColor;
    }
    gState.Computed = true;
}

}  // namespace

uint8_t Office11SchemeFromTheme(const std::string& fileName, const std::string& colorName, int windowsMajor) {
    const size_t slash = fileName.find_last_of("/\\");
    const std::string file = Upper(slash == std::string::npos ? fileName : fileName.substr(slash + 1));
    if (file != "LUNA.MSSTYLES" && windowsMajor <= 5) return 0;
    const std::string color = Upper(colorName);
    if (color == "NORMALCOLOR") return 1;
    if (color == "HOMESTEAD") return 2;
    if (color == "METALLIC") return 3;
    return 0;
}

uint8_t DetectOffice11Scheme() {
    if (!VisualStylesActive()) return 0;
    std::string fileName, colorName, sizeName;
    if (!GetCurrentThemeName(fileName, colorName, sizeName)) return 0;
    // Windows major version 5 (XP) is what the names were made for.
    return Office11SchemeFromTheme(fileName, colorName, 5);
}

uint8_t Office11SchemeIndex() {
    if (!gState.Computed) Compute();
    return gState.Scheme;
}

bool Office11Themed() {
    if (!gState.Computed) Compute();
    return gState.Themed;
}

void AcquireOffice11Colors() {
    if (gState.Users == 0 && !gState.Computed) Compute();
    ++gState.Users;
}

void RecomputeOffice11Colors() { Compute(); }

void DiscardOffice11Colors() {
    if (gState.Users > 0) --gState.Users;
}

int Office11ColorUsers() { return gState.Users; }

TColor GripFingerDarkColor() {
    if (!gState.Computed) Compute();
    return gState.Dark;
}

TColor GripFingerLightColor() {
    if (!gState.Computed) Compute();
    return gState.Light;
}

const TNavPaneColors& NavPaneColors() {
    if (!gState.Computed) Compute();
    return gState.NavPane;
}

TColor MixSystemShades(int facePercent, int highlightPercent, int windowPercent) {
    return MixSelectionColor(static_cast<int8_t>(facePercent), static_cast<int8_t>(highlightPercent),
                             static_cast<int8_t>(windowPercent));
}

TColor MixRGB(TColor color1, TColor color2, int percent) {
    const TColor a = ColorToRGB(color1), b = ColorToRGB(color2);
    TColor out = 0;
    for (int s = 0; s < 24; s += 8)
        out |= std::min(255, MulDiv((a >> s) & 255, percent, 100) + MulDiv((b >> s) & 255, 100 - percent, 100)) << s;
    return NearestScreenColor(out);
}

TColor ScaleColor(TColor color, int percent) {
    return PerChannel(color, [](int v, int p) { return static_cast<int>(std::nearbyint(v * p / 100.0)); }, percent);
}

TColor FadeColor(TColor color, int percent) {
    return PerChannel(color, [](int v, int p) {
        return static_cast<int>(std::nearbyint(v * p / 100.0) + std::nearbyint(255 - p / 100.0 * 255));
    }, percent);
}

void FillRectSolid(TCanvas& canvas, const TRect& r, TColor color) {
    const TCanvasBrush keep = canvas.Brush;
    canvas.Brush = TCanvasBrush{static_cast<uint32_t>(color), BS_SOLID, 0};
    canvas.FillRect(r);
    canvas.Brush = keep;
}

void FillRectGradient(TCanvas& canvas, const TRect& r, TColor fromColor, TColor toColor, bool horizontal) {
    const TColor from = ColorToRGB(fromColor), to = ColorToRGB(toColor);
    if (from == to) {
        FillRectSolid(canvas, r, fromColor);
        return;
    }
    // The system's GradientFill is not here: the software bands.
    const int32_t start = horizontal ? r.Left : r.Top, extent = horizontal ? r.Right - r.Left : r.Bottom - r.Top;
    if (extent <= 0) return;
    const int32_t bands = std::min(extent, 256);
    int32_t bandStart = start;
    for (int32_t i = 0; i < bands; ++i) {
        const int32_t bandEnd = start + MulDiv(i + 1, extent, bands);
        TColor color = from;
        if (bands > 1)
            for (int s = 0; s < 24; s += 8) {
                const int a = (from >> s) & 255, b = (to >> s) & 255;
                color = (color & ~(255 << s)) | ((a + MulDiv(i, b - a, bands - 1)) & 255) << s;
            }
        if (bandEnd > bandStart)
            FillRectSolid(canvas, horizontal ? TRect{bandStart, r.Top, bandEnd, r.Bottom} : TRect{r.Left, bandStart, r.Right, bandEnd},
                          color);
        bandStart = bandEnd;
        if (bandEnd >= start + extent) break;
    }
}

void DrawGripDots(TCanvas& canvas, const TRect& r, bool horizontal, TColor dark, TColor light) {
    if (dark == clDefault) dark = GripFingerDarkColor();
    if (light == clDefault) light = GripFingerLightColor();
    const int32_t span = horizontal ? r.Bottom - r.Top : r.Right - r.Left;
    const int32_t rest = ((span % 4) + 4) % 4;
    const int32_t offset = rest <= 1 ? rest : rest / 2;
    TRect cell{r.Left, r.Top, r.Left + 4, r.Top + 4};
    if (horizontal) cell = TRect{cell.Left, cell.Top + offset, cell.Right, cell.Bottom + offset};
    else cell = TRect{cell.Left + offset, cell.Top, cell.Right + offset, cell.Bottom};
    for (bool first = true; first || (horizontal ? cell.Bottom <= r.Bottom : cell.Right <= r.Right); first = false) {
        const TRect inner{cell.Left + 1, cell.Top + 1, cell.Right - 1, cell.Bottom - 1};
        FillRectSolid(canvas, inner, light);
        FillRectSolid(canvas, TRect{inner.Left - 1, inner.Top - 1, inner.Right - 1, inner.Bottom - 1}, dark);
        if (horizontal) cell = TRect{cell.Left, cell.Top + 4, cell.Right, cell.Bottom + 4};
        else cell = TRect{cell.Left + 4, cell.Top, cell.Right + 4, cell.Bottom};
    }
}

void DrawCornerGrip(TCanvas& canvas, const TRect& r, TColor dark, TColor light) {
    TRect row{r.Right - 12, r.Bottom - 3, r.Right, r.Bottom};
    for (int i = 0; i < 3; ++i) {
        DrawGripDots(canvas, row, false, dark, light);
        row = TRect{row.Left + 4, row.Top - 4, row.Right, row.Bottom - 4};
    }
}
