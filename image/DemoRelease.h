// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

namespace image {

// The demo release packed once with a fixed seed, for runs that do not go
// through the program's embedded resources.
const std::vector<std::uint8_t>& DemoContainer();

}  // namespace image
