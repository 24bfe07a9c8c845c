// The platform plugin under the toolkit: native windows with a surface to
// paint on, the clock and the wait for events. Nothing above platform/ui
// sees which plugin runs. The headless plugin keeps every window as an
// in-memory surface and takes its mouse and key events from the caller (tests
// and CI run on it); a plugin for real windows registers itself the same way.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/bitmap.h"
#include "platform/geometry.h"
#include "platform/ui/messages.h"

class TWinControl;

// One native window of a control. Positions are in the parent window's
// client coordinates (the screen's for a top-level window).
class TNativeWindow {
public:
    virtual ~TNativeWindow() = default;
    virtual void SetBounds(const TRect& bounds) = 0;
    virtual void SetVisible(bool visible) = 0;
    // The pixels of the client area (32 bits per pixel), sized by the
    // toolkit before each paint.
    virtual TBitmap& Surface() = 0;
    // The painted area of the surface is ready to be shown.
    virtual void Present(const TRect& area) = 0;
    virtual void SetCursor(TCursor cursor) = 0;
    // The scroll bars drawn by the platform: shown, range, page, position.
    virtual void SetScrollBar(int bar, bool shown, bool enabled, int min, int max, int page, int position) = 0;
};

class TUIBackend {
public:
    virtual ~TUIBackend() = default;
    virtual std::string Name() const = 0;
    virtual std::unique_ptr<TNativeWindow> CreateNativeWindow(TWinControl& control, TNativeWindow* parent) = 0;
    // Milliseconds on a clock that only moves forward.
    virtual uint64_t Now() = 0;
    // Waits until an event arrives, Wake is called or timeout ms pass.
    virtual void WaitForEvents(int64_t timeoutMs) = 0;
    // Ends a wait from any thread.
    virtual void Wake() = 0;
    // Moves the platform's pending input into the application's queue.
    virtual void PumpEvents() = 0;
    virtual int GetSystemMetric(TSystemMetric metric) const = 0;
};

// Plugins register a maker under a name; TW_UI_PLATFORM picks one, else
// the first that says it can run here, else "headless".
using TUIBackendMaker = std::function<std::unique_ptr<TUIBackend>()>;
void RegisterUIBackend(const std::string& name, TUIBackendMaker maker, std::function<bool()> canRun);
