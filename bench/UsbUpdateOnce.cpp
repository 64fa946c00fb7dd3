// SPDX-License-Identifier: MIT
// One whole update through the production libftdi1 back end, over whatever
// libusb-1.0 the loader finds: the FT232R model (LD_LIBRARY_PATH naming its
// folder) or Debian's own, on a kernel with an FT232R plugged in. Prints the
// time from "Flash Device" to "Flash Complete!"; exit status 0 when the
// update completed. bench/usb-calibration.sh runs it both ways with
// libusb-trace.so preloaded.
#include <chrono>
#include <cstdio>

#include "DemoRelease.h"
#include "ImageFormat.h"
#include "LibFtdiDriver.h"
#include "Program.h"
#include "RecordingWindow.h"

int main() {
    auto driver = boardlink::MakeLibFtdiDriver();
    sim::RecordingWindow window;
    window.recordYields = false;
    image::MemoryResources resources;
    resources.Put(image::ResourceType, image::ReleaseResourceId, image::DemoContainer());
    app::Program program(window, *driver, resources);
    window.SetHandlers(&program.Form);
    window.Start();
    window.Click(0);  // Find Device
    const auto start = std::chrono::steady_clock::now();
    window.Click(1);  // Flash Device
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("update: %s in %.2f s\n", window.statusText.c_str(), took.count());
    const bool complete = window.statusText == "Flash Complete!";
    window.Click(3);  // Ok!
    program.Form.Form_Unload();
    return complete ? 0 : 1;
}
