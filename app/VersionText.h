// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace app {

// "2.3": each number as the character 48 + n, so 10 shows as ':'.
std::string DigitVersionText(std::uint8_t major, std::uint8_t minor);
// "1. 6", "1. 12": the minor written in decimal after a sign space.
std::string FirmwareVersionText(std::uint8_t major, std::uint8_t minor);

}  // namespace app
