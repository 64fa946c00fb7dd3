// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "FirmwareStore.h"
#include "FtdiDriver.h"
#include "ResourceStore.h"
#include "WindowOps.h"
#include "ZandorModule.h"
#include "fmStart.h"

namespace app {

// The program's state for one run, wired to a window, a driver and the
// program's resources. Updater, UpdaterSim and the tests all build one.
struct Program {
    Program(WindowOps& window, boardlink::FtdiDriver& driver, image::ResourceStore& resources)
        : Link(driver, [&window] { window.Yield(); }),
          Image(resources, UnsupportedFlag),
          Form(window, Link, Image, UnsupportedFlag) {}

    std::int16_t UnsupportedFlag = 0;
    boardlink::ZandorModule Link;
    image::FirmwareStore Image;
    fmStart Form;
};

}  // namespace app
