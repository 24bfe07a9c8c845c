// The tests of windows need the Qt plugin running.
#pragma once

#include "platform/testing/test_support.h"
#include "platform/ui/qt/qt_testing.h"

#define REQUIRE_QT()                                                              \
    if (!QtTesting::Running()) {                                                  \
        TW_SKIP_OR_FAIL() << "the Qt plugin is not running (TW_UI_PLATFORM=qt)"; \
    }
