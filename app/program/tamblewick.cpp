// The program body: starts the toolkit, sets the application's title,
// creates the main window and runs the loop until the main window closes.
//
// A failure while the window is made is shown in a message box (the window
// still opens when only a step of its creation failed); one that leaves no
// window to run ends the program with the message and status 1.
//
// --report-first-paint writes "painted" to the standard output once the
// screen has shown the main window, then closes it (for timing the start).

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

#include "app/program/form_main.h"

int main(int argc, char** argv) {
    bool reportFirstPaint = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--report-first-paint") == 0) reportFirstPaint = true;

    // The program's windows are Qt's, on the desktop it runs on.
    setenv("TW_UI_PLATFORM", "qt", 0);
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!(display && *display) && !(wayland && *wayland) && !(platform && *platform)) {
        std::fprintf(stderr, "Tamblewick cannot start: there is no display (DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM).\n");
        return 1;
    }
    std::unique_ptr<TApplicationScope> toolkit;
    try {
        toolkit = std::make_unique<TApplicationScope>(argc, argv);
    } catch (const std::exception& error) {
        // No toolkit, no message box: the terminal is all there is.
        std::fprintf(stderr, "Tamblewick cannot start: %s\n", error.what());
        return 1;
    }
    int status = 0;
    {
        std::unique_ptr<TFormMain> main;
        try {
            UcApplication().SetWideTitle(u"Orvu Tamblewick");
            main = std::make_unique<TFormMain>(nullptr);
            Application().MainForm = main.get();
        } catch (const std::exception& error) {
            Application().ShowException(error);
            status = 1;
        }
        if (main) {
            try {
                main->FormCreate();
            } catch (const std::exception& error) {
                Application().ShowException(error);
            }
            if (reportFirstPaint) {
                main->Show();
                Application().RunUntil([&] {
                    return Application().Terminated() || (main->NativeWindow() && main->NativeWindow()->FramesShown() > 0);
                });
                std::printf("painted\n");
                std::fflush(stdout);
                Application().Terminate();
            }
            Application().Run();
        }
    }
    // Every window is gone: the toolkit (and Qt's application) goes last.
    toolkit.reset();
    return status;
}
