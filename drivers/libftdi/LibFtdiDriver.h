// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "FtdiDriver.h"

namespace boardlink {

// The open-source libftdi1 back end: the driver interface over libusb, for
// machines without FTDI's library. It detaches the kernel's ftdi_sio driver
// while the interface is open and reattaches it on close. A build without
// libftdi1 gets a stand-in whose every open reports FT_DEVICE_NOT_FOUND.
std::unique_ptr<FtdiDriver> MakeLibFtdiDriver();

}  // namespace boardlink
