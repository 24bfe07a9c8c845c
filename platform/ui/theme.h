// The desktop's native look, as the running platform plugin offers it: the
// parts of theme classes ("Button", "ScrollBar", ...) that its style can
// draw, drawn into a bitmap the caller's canvas blits, and the notice that
// the desktop's theme or palette changed. A plugin without a native look
// (the headless one) installs none: then no theme is active.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/bitmap.h"
#include "platform/colour.h"
#include "platform/fonts.h"
#include "platform/geometry.h"

class TUITheme {
public:
    virtual ~TUITheme() = default;
    // The class (one name of a theme class list, any letter case) has
    // parts the style can draw.
    virtual bool HasClass(const std::string& className) const = 0;
    // Draws the part in the state into a 32-bit bitmap with alpha (cleared
    // first), over the rectangle (in layout pixels: the bitmap's device
    // pixel ratio gives its density); false when the part has no
    // counterpart.
    virtual bool DrawPart(const std::string& className, int part, int state, TBitmap& target, const TRect& rect) = 0;
    // The part's own size (a check box's box, a scroll bar's arrow); false
    // when the style gives it none.
    virtual bool PartSize(const std::string& className, int part, int state, TSize& size) { return false; }
    // The width of the part's frame on each side, inside which its content
    // goes; false when the style gives none.
    virtual bool PartMargins(const std::string& className, int part, int state, TRect& margins) { return false; }
    // A colour of the part by the visual styles' property number (3801
    // border, 3802 fill, 3803 text, 3804 .. 3808 edges, 3810 .. 3814
    // gradient colours, ...); false when the style has none for it.
    virtual bool PartColor(const std::string& className, int part, int state, int property, TColor& color) {
        return false;
    }
};

// The look of the running plugin, or nullptr.
TUITheme* UITheme();
void SetUITheme(std::unique_ptr<TUITheme> theme);

// Listeners of a change of the desktop's theme or palette, called in the
// order they were added, on the user-interface thread.
int AddThemeChangeListener(std::function<void()> listener);
void RemoveThemeChangeListener(int id);
void NotifyThemeChanged();
