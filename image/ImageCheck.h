// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ImageFormat.h"

namespace image {

// Why `bytes` is not a usable firmware image, or nothing when it is one.
std::optional<std::string> ImageRefusal(const std::vector<std::uint8_t>& bytes);

// The 24-bit length field in bytes 5..7 (big-endian); informational only.
std::uint32_t ImageLengthField(const std::vector<std::uint8_t>& bytes);

// The demo release the build embeds when no image is named: version 1.6,
// length field 131,072, flash content a fixed pattern that differs per block.
std::vector<std::uint8_t> DemoImage(std::uint8_t versionByte = 0x16);

}  // namespace image
