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
#include "platform/geometry.h"

class TUITheme {
public:
    virtual ~TUITheme() = default;
    // The class (one name of a theme class list, any letter case) has
    // parts the style can draw.
    virtual bool HasClass(const std::string& className) const = 0;
    // Draws the part in the state into a 32-bit bitmap with alpha (cleared
    // first), over the rectangle; false when the part has no counterpart.
    virtual bool DrawPart(const std::string& className, int part, int state, TBitmap& target, const TRect& rect) = 0;
};

// The look of the running plugin, or nullptr.
TUITheme* UITheme();
void SetUITheme(std::unique_ptr<TUITheme> theme);

// Listeners of a change of the desktop's theme or palette, called in the
// order they were added, on the user-interface thread.
int AddThemeChangeListener(std::function<void()> listener);
void RemoveThemeChangeListener(int id);
void NotifyThemeChanged();
