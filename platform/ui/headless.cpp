#include "platform/ui/headless.h"

#include <cstdio>

#include "platform/codepage.h"
#include "platform/ui/application.h"

void THeadlessWindow::SetScrollBar(int bar, bool shown, bool enabled, int min, int max, int page, int position) {
    bars_[bar == 0 ? 0 : 1] = {shown, enabled, min, max, page, position};
}

std::unique_ptr<TNativeWindow> THeadlessBackend::CreateNativeWindow(TWinControl& control, TNativeWindow*) {
    return std::make_unique<THeadlessWindow>(control);
}

void THeadlessBackend::WaitForEvents(int64_t timeoutMs) {
    if (timeoutMs > 0) now_ += static_cast<uint64_t>(timeoutMs);
}

int THeadlessBackend::GetSystemMetric(TSystemMetric metric) const {
    switch (metric) {
        case SM_CXVSCROLL:
        case SM_CYHSCROLL: return 17;
        case SM_CXBORDER:
        case SM_CYBORDER: return 1;
        case SM_CXEDGE:
        case SM_CYEDGE: return 2;
    }
    return 0;
}

void THeadlessBackend::RunUntil(const std::function<bool()>& done) {
    while (!done()) Application().HandleMessage();
}

int TUIBackend::MessageBox(const std::u16string& text, const std::u16string& caption, uint32_t flags) {
    std::fprintf(stderr, "%s: %s\n", WideToUtf8(caption).c_str(), WideToUtf8(text).c_str());
    return (flags & 0xF) == MB_YESNO ? IDYES : IDOK;
}
