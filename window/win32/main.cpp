// SPDX-License-Identifier: MIT
// Updater.exe: replaces the application firmware of a board in update mode.
#include "Win32.h"

#include <commctrl.h>
#include <objbase.h>

#include "DriverChoice.h"
#include "Program.h"
#include "SingleInstanceMutex.h"
#include "Win32MainWindow.h"
#include "Win32Resources.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Taken before anything else, so a second copy never opens the interface.
    app::SingleInstanceMutex single(L"Zandor.Updater");

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the photograph's decoder

    int status = 0;
    {
        app::Win32MainWindow window(instance, &single);
        auto driver = boardlink::ChooseDriver();
        app::Win32Resources resources;
        app::Program program(window, *driver, resources);
        window.SetHandlers(&program.Form);
        window.Start();
        if (!window.Finished()) status = window.Run();
    }
    CoUninitialize();
    return status;
}
