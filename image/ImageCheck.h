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

}  // namespace image
