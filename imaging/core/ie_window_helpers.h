// Window odds and ends of the image library over the toolkit: the
// scroll-bar calls of the views (the flat scroll bars of the original
// platform have no counterpart; the flag is accepted and the toolkit's bars
// used), the owner-window lookup, centring a window on the screen, the
// remote-session test and the clipboard opener.
#pragma once

#include <cstdint>

#include "platform/ui/control.h"

struct TIEScrollInfo {
    bool SetRange = false, SetPage = false, SetPosition = false;
    int32_t Min = 0, Max = 0, Page = 0, Position = 0;
};

void IESetScrollRange(TWinControl& window, int bar, int32_t min, int32_t max, bool redraw, bool flat);
void IESetScrollInfo(TWinControl& window, int bar, const TIEScrollInfo& info, bool redraw, bool flat);
void IESetScrollPage(TWinControl& window, int bar, int32_t page, bool redraw, bool flat);
void IESetScrollPos(TWinControl& window, int bar, int32_t position, bool redraw, bool flat);
void IEEnableScrollBar(TWinControl& window, int bar, int arrows, bool flat);
void IEShowScrollBar(TWinControl& window, int bar, bool show, bool flat);

// The first windowed control among the component and its owners whose
// window exists; nullptr when none.
TWinControl* IEFindHandle(TComponent* component);
// Centred horizontally, a third of the free height from the top.
void IECenterWindow(TWinControl& window);
// No session of this platform draws through a remote protocol the view
// must spare.
inline bool IEIsRemoteSession() { return false; }
// The toolkit's clipboard is never held by another program.
inline bool IEOpenClipboard() { return true; }
