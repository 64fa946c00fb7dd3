// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

namespace image {

// The demo release, for the simulated board only: version 1.6, length field
// 131,072, flash content a fixed pattern that differs per block. Not firmware.
std::vector<std::uint8_t> DemoImage(std::uint8_t versionByte = 0x16);

// The demo release packed once with a fixed seed, for runs that do not go
// through the program's embedded resources.
const std::vector<std::uint8_t>& DemoContainer();

}  // namespace image
