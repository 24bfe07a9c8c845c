// For GoogleTest tests that play movies: without Chromium and the npm
// packages a developer's run skips them; CI runs the setup first, so there
// anything missing is a failure, not a silent skip.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/player/player_harness.h"
#include "platform/testing/test_support.h"

#define TW_REQUIRE_PLAYER()                                    \
    do {                                                       \
        std::string tw_player_why;                             \
        if (!TPlayerHarness::Available(&tw_player_why)) {      \
            TW_SKIP_OR_FAIL() << tw_player_why;                \
        }                                                      \
    } while (0)
