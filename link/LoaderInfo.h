// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace boardlink {

// What the board's loader told in its last identify reply. All zero at start.
struct LoaderInfo {
    std::uint8_t HardwareMajor = 0;
    std::uint8_t HardwareMinor = 0;
    std::uint8_t FirmwareMajor = 0;
    std::uint8_t FirmwareMinor = 0;
    std::int16_t BlankDeviceFlag = 0;  // -1: last reply had mode 3 and version 255
};

}  // namespace boardlink
