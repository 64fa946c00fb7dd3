// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "FtdiDriver.h"

namespace boardlink {

// The driver for real hardware: FTDI's D2XX library when it loads, then
// libftdi1 where the build includes it, each tried in turn for every open.
// A back end left out of the build answers every open with FT_DEVICE_NOT_FOUND.
std::unique_ptr<FtdiDriver> ChooseDriver();

}  // namespace boardlink
