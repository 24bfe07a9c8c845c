// The headless plugin the pixel and timer tests run on, and its virtual
// clock moved forward with the toolkit's loop run after it.
#pragma once

#include <stdexcept>

#include "platform/ui/application.h"
#include "platform/ui/headless.h"

inline THeadlessBackend& Headless() {
    Application();
    THeadlessBackend* headless = HeadlessBackend();
    if (!headless) throw std::runtime_error("these tests run on the headless plugin");
    return *headless;
}

inline void Advance(uint64_t ms) {
    Headless().AdvanceTime(ms);
    Application().ProcessMessages();
}
