// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "FtdiDriver.h"

namespace boardlink {

// The driver for real hardware. Linux: FTDI's D2XX library when it loads,
// then libftdi1 where the build includes it, each tried in turn for every
// open; a back end left out of the build answers every open with
// FT_DEVICE_NOT_FOUND. Windows: FTD2XX.DLL.
std::unique_ptr<FtdiDriver> ChooseDriver();

}  // namespace boardlink
