// The toolkit starts once for the whole program, on the plugin the
// environment names (Qt's offscreen one under ctest), and stops after the
// last test: every window of the tests is gone by then.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "platform/ui/application.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Qt's offscreen plugin unless the caller chose another.
    setenv("TW_UI_PLATFORM", "qt", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("XDG_RUNTIME_DIR", "/tmp/tw-xdg-runtime", 0);
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) ::mkdir(runtime, 0700);
    TApplicationScope toolkit(argc, argv);
    return RUN_ALL_TESTS();
}
