#include "navbar/lf_painter_images.h"

#include <algorithm>
#include <cctype>

#include "navbar/lf_office11.h"
#include "platform/region.h"

using namespace lfColors;

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// The system's radio button: a 12 x 12 circle in its 13 x 13 cell, with a
// 4 x 4 dot in the middle when checked.
constexpr int32_t kRadioWidth = 12, kRadioHeight = 12;
constexpr TRect kRadioDot{4, 4, 8, 8};

bool LowerRight(int32_t i, int32_t j, int32_t cw, int32_t ch) {
    const int64_t a = int64_t{ch - 1} * (cw - j - 1), b = int64_t{i} * (cw - 1);
    return a < b || (a == b && j >= cw / 2);
}

}  // namespace

// ------------------------------------------------------------------ registry

void TlfExtendedStylePainters::Register(const std::string& name, TlfPainterClass painter) {
    const int index = IndexOfName(name);
    if (index >= 0) Items(index)->Painter = painter;
    else entries_.Add(std::make_unique<TlfExtendedStylePainterInfo>(TlfExtendedStylePainterInfo{name, painter}));
    Changed();
}

void TlfExtendedStylePainters::Unregister(const std::string& name) {
    const int index = IndexOfName(name);
    if (index < 0) return;
    // The object list has no deletion of one entry: rebuild it without it.
    TlfObjectList<TlfExtendedStylePainterInfo> kept;
    for (int i = 0; i < Count(); ++i)
        if (i != index) kept.Add(std::make_unique<TlfExtendedStylePainterInfo>(*Items(i)));
    entries_.Clear();
    for (int i = 0; i < kept.Count(); ++i) entries_.Add(std::make_unique<TlfExtendedStylePainterInfo>(*kept.Items(i)));
    Changed();
}

bool TlfExtendedStylePainters::FindPainterByName(const std::string& name, TlfPainterClass& painter) const {
    const int index = IndexOfName(name);
    if (index < 0) return false;
    painter = Items(index)->Painter;
    return true;
}

int TlfExtendedStylePainters::IndexOfName(const std::string& name) const {
    const std::string wanted = Lower(name);
    for (int i = 0; i < Count(); ++i)
        if (Lower(Items(i)->Name) == wanted) return i;
    return -1;
}

void TlfExtendedStylePainters::AttachListener(IlfSkinPaintersListener* listener) {
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void TlfExtendedStylePainters::DetachListener(IlfSkinPaintersListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void TlfExtendedStylePainters::Changed() {
    // A listener may detach itself (or another) while it is told.
    const std::vector<IlfSkinPaintersListener*> listeners = listeners_;
    for (IlfSkinPaintersListener* listener : listeners)
        if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) listener->SkinPaintersChanged();
}

TlfExtendedStylePainters* ExtendedStylePainters() {
    static TlfExtendedStylePainters registry;
    return &registry;
}

// ------------------------------------------------------------------ radio buttons

TlfRadioButtonImageList::TlfRadioButtonImageList() : images_(kRadioWidth, kRadioHeight) {
    const int32_t cw = kRadioWidth, ch = kRadioHeight;
    auto at = [&](int32_t i, int32_t j) -> uint8_t& { return pattern_[static_cast<size_t>(i) * cw + j]; };
    pattern_.assign(static_cast<size_t>(cw) * ch, 0);
    const TRegion shape = TRegion::RoundRect(TRect{0, 0, cw, ch}, cw - 1, ch - 1);
    shapeMask_ = std::make_unique<TBitmap>();
    shapeMask_->SetPixelFormat(TPixelFormat::pf24bit);
    shapeMask_->SetSize(cw, ch);
    // The outline: pixels of the shape next to one outside it.
    for (int32_t i = 0; i < ch; ++i)
        for (int32_t j = 0; j < cw; ++j) {
            const bool inside = shape.Contains(j, i);
            shapeMask_->SetPixelColor(shapeMask_->ScanLine(i), j, inside ? 0x000000 : 0xFFFFFF);
            if (!inside) continue;
            const bool edge = !shape.Contains(j - 1, i) || !shape.Contains(j + 1, i) || !shape.Contains(j, i - 1) ||
                              !shape.Contains(j, i + 1);
            if (edge) at(i, j) = LowerRight(i, j, cw, ch) ? 2 : 1;
        }
    // The interior, from the middle outwards on each row.
    for (int32_t i = 1; i < ch - 1; ++i) {
        for (int32_t j = cw / 2 - 1; j >= 0 && at(i, j) == 0; --j) at(i, j) = 5;
        for (int32_t j = cw / 2; j < cw && at(i, j) == 0; ++j) at(i, j) = 5;
    }
    // The inner ring: the interior cells next to the outer ring.
    std::vector<uint8_t> ring(pattern_.size(), 0);
    auto mark = [&](int32_t i, int32_t j) { ring[static_cast<size_t>(i) * cw + j] = 1; };
    int32_t firstRow = -1, lastRow = -1;
    for (int32_t i = 1; i < ch - 1; ++i) {
        int32_t left = -1, right = -1;
        for (int32_t j = 0; j < cw; ++j)
            if (at(i, j) == 5) {
                if (left < 0) left = j;
                right = j;
            }
        if (left < 0) continue;
        if (firstRow < 0) firstRow = i;
        lastRow = i;
        mark(i, left);
        mark(i, right);
    }
    for (int32_t j = 1; j < cw - 1; ++j) {
        int32_t top = -1, bottom = -1;
        for (int32_t i = 0; i < ch; ++i)
            if (at(i, j) == 5) {
                if (top < 0) top = i;
                bottom = i;
            }
        if (top < 0) continue;
        mark(top, j);
        mark(bottom, j);
    }
    for (int32_t j = 0; j < cw; ++j) {
        if (firstRow >= 0 && at(firstRow, j) == 5) mark(firstRow, j);
        if (lastRow >= 0 && at(lastRow, j) == 5) mark(lastRow, j);
    }
    for (int32_t i = 0; i < ch; ++i)
        for (int32_t j = 0; j < cw; ++j)
            if (ring[static_cast<size_t>(i) * cw + j] && at(i, j) == 5) at(i, j) = LowerRight(i, j, cw, ch) ? 4 : 3;
    // The dot.
    const TRegion dot = TRegion::Ellipse(kRadioDot);
    for (int32_t i = 0; i < ch; ++i)
        for (int32_t j = 0; j < cw; ++j)
            if (dot.Contains(j, i)) at(i, j) = 6;
    indexMap_.assign(128, -1);
    Rebuild();
}

TlfSize TlfRadioButtonImageList::ImageSize() const { return {kRadioWidth, kRadioHeight}; }

int TlfRadioButtonImageList::ImageIndex(TlfLookAndFeelKind kind, TlfElementState state, bool isChecked, bool flagB,
                                        bool flagA) const {
    const int s = std::clamp(static_cast<int>(state), 1, 4);
    return indexMap_[static_cast<size_t>((s - 1) + 4 * isChecked + 8 * kind + 32 * flagA + 64 * flagB)];
}

void TlfRadioButtonImageList::Rebuild() {
    if (images_.Count() > 0) return;
    ++builds_;
    const TlfOffice11PainterColors office = Office11PainterColors();
    TBitmap image;
    image.SetPixelFormat(TPixelFormat::pf24bit);
    image.SetSize(kRadioWidth, kRadioHeight);
    for (int flagB = 0; flagB < 2; ++flagB)
        for (int flagA = 0; flagA < 2; ++flagA)
            for (int kind = 0; kind < 4; ++kind)
                for (int checked = 0; checked < 2; ++checked)
                    for (int state = 1; state <= 4; ++state) {
                        const auto s = static_cast<TlfElementState>(state);
                        TColor body;
                        if (kind == lfOffice11) {
                            body = s == esNormal ? clWindow : Office11Painter()->ButtonFaceColor(s);
                        } else if (s == esDisabled) {
                            body = clBtnFace;
                        } else if (kind == lfUltraFlat) {
                            body = s == esHot ? HotSelectionColor() : s == esPressed ? PressedSelectionColor() : clWindow;
                        } else {
                            body = s == esPressed ? clBtnFace : clWindow;
                        }
                        TColor table[7] = {0x000000, 0, 0, 0, 0, body, 0};
                        const bool lit = flagB || s == esHot || s == esPressed || (flagA && s != esDisabled);
                        switch (kind) {
                            case lfFlat:
                                table[1] = clBtnShadow, table[2] = clBtnHighlight, table[3] = cl3DLight, table[4] = cl3DLight;
                                break;
                            case lfStandard:
                                table[1] = clBtnShadow, table[2] = clBtnHighlight, table[3] = cl3DDkShadow, table[4] = cl3DLight;
                                break;
                            case lfUltraFlat:
                                table[1] = table[2] = lit ? clHighlight : clBtnShadow;
                                table[3] = table[4] = body;
                                break;
                            default:
                                table[1] = table[2] = s == esDisabled ? office.DisabledText
                                                      : lit           ? office.SelectedBorder
                                                                      : clBtnText;
                                table[3] = table[4] = body;
                                break;
                        }
                        if (!checked) table[6] = body;
                        else if (s == esDisabled) table[6] = kind == lfOffice11 ? office.DisabledText : clBtnShadow;
                        else table[6] = clWindowText;
                        for (int32_t i = 0; i < kRadioHeight; ++i)
                            for (int32_t j = 0; j < kRadioWidth; ++j) {
                                const TColor rgb = ColorToRGB(table[pattern_[static_cast<size_t>(i) * kRadioWidth + j]]);
                                image.SetPixelColor(image.ScanLine(i), j,
                                                    uint32_t(RedOf(rgb)) << 16 | uint32_t(GreenOf(rgb)) << 8 | BlueOf(rgb));
                            }
                        const int mapIndex = (state - 1) + 4 * checked + 8 * kind + 32 * flagA + 64 * flagB;
                        indexMap_[static_cast<size_t>(mapIndex)] = images_.Add(image, shapeMask_.get());
                    }
}

void TlfRadioButtonImageList::PaintImage(TlfCanvas& canvas, int32_t x, int32_t y, TColor backColor,
                                         TlfLookAndFeelKind kind, TlfElementState state, bool isChecked, bool flagB,
                                         bool flagA) const {
    const int index = ImageIndex(kind, state, isChecked, flagB, flagA);
    if (backColor == clDefault) {
        images_.Draw(canvas.Canvas(), x, y, index);
        return;
    }
    TBitmap composed;
    composed.SetPixelFormat(TPixelFormat::pf24bit);
    composed.SetSize(kRadioWidth, kRadioHeight);
    TCanvas on(composed);
    on.Brush.Color = static_cast<uint32_t>(backColor);
    on.FillRect(TRect{0, 0, kRadioWidth, kRadioHeight});
    images_.Draw(on, 0, 0, index);
    canvas.Draw(x, y, composed);
}

namespace {
std::unique_ptr<TlfRadioButtonImageList>& RadioList() {
    static std::unique_ptr<TlfRadioButtonImageList> list;
    return list;
}
}  // namespace

TlfRadioButtonImageList& RadioButtonImages() {
    if (!RadioList()) RadioList() = std::make_unique<TlfRadioButtonImageList>();
    return *RadioList();
}

TlfRadioButtonImageList* RadioButtonImagesIfMade() { return RadioList().get(); }

// ------------------------------------------------------------------ row-state glyphs

const TlfImageList& RowStateImages() {
    static const TlfImageList images = [] {
        // 8 x 9 glyphs: '#' black, '.' white (transparent).
        static const char* const glyphs[6][9] = {
            {"........", "..#.....", "..##....", "..###...", "..####..", "..###...", "..##....", "..#.....", "........"},
            {"........", ".....##.", "....#.##", "...#.##.", "..#.##..", ".#.##...", ".###....", ".##.....", "........"},
            {"........", "...#....", ".#.#.#..", "..###...", "#######.", "..###...", ".#.#.#..", "...#....", "........"},
            {"........", "........", "........", "........", "##.##.##", "##.##.##", "........", "........", "........"},
            {"........", "#.......", "##......", "###.....", "####....", "###.##.#", "##..##.#", "#.......", "........"},
            {"........", "#######.", ".#####..", "..###...", "...#....", "...#....", "...#....", "...#....", "........"},
        };
        TlfImageList list(8, 9);
        TBitmap glyph;
        glyph.SetPixelFormat(TPixelFormat::pf24bit);
        glyph.SetSize(8, 9);
        for (const auto& rows : glyphs) {
            for (int32_t y = 0; y < 9; ++y)
                for (int32_t x = 0; x < 8; ++x)
                    glyph.SetPixelColor(glyph.ScanLine(y), x, rows[y][x] == '#' ? 0x000000 : 0xFFFFFF);
            list.Add(glyph, nullptr, 0xFFFFFF);
        }
        return list;
    }();
    return images;
}

// ------------------------------------------------------------------ scroll-bar patterns

namespace {
TBitmap& Pattern(bool pressed) {
    static TBitmap patterns[2];
    return patterns[pressed ? 1 : 0];
}
// The colours the patterns were last painted in.
TColor gPatternColors[3] = {-1, -1, -1};
void PatternColors(TColor (&colors)[3]) {
    colors[0] = ColorToRGB(clBtnHighlight);
    colors[1] = ColorToRGB(clBtnFace);
    colors[2] = ColorToRGB(cl3DDkShadow);
}
}  // namespace

void UpdateScrollBarPatterns() {
    PatternColors(gPatternColors);
    for (int pressed = 0; pressed < 2; ++pressed) {
        TBitmap& bitmap = Pattern(pressed != 0);
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        bitmap.SetSize(8, 8);
        const TColor odd = ColorToRGB(pressed ? cl3DDkShadow : clBtnHighlight);
        const TColor even = pressed ? 0x000000 : ColorToRGB(clBtnFace);
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x) {
                const TColor c = (x % 2) != (y % 2) ? odd : even;
                bitmap.SetPixelColor(bitmap.ScanLine(y), x, uint32_t(RedOf(c)) << 16 | uint32_t(GreenOf(c)) << 8 | BlueOf(c));
            }
    }
}

const TBitmap& ScrollBarPattern(bool pressed) {
    // Painted again when the system colours changed since (whoever was
    // told of the change).
    TColor now[3];
    PatternColors(now);
    if (Pattern(pressed).Empty() || !std::equal(std::begin(now), std::end(now), std::begin(gPatternColors)))
        UpdateScrollBarPatterns();
    return Pattern(pressed);
}

TlfSize SystemCheckBoxSize() { return {13, 13}; }

void PainterImagesPaletteChanged() {
    if (TlfRadioButtonImageList* list = RadioButtonImagesIfMade()) {
        list->Clear();
        list->Rebuild();
    }
}
