// SPDX-License-Identifier: MIT
// Sizes and fixed values of the firmware image and its container.
#pragma once

#include <cstddef>
#include <cstdint>

namespace image {

inline constexpr std::size_t HeaderBytes = 8;
inline constexpr std::size_t FlashContentBytes = 131072;
inline constexpr std::size_t ImageBytes = HeaderBytes + FlashContentBytes;  // 131,080
inline constexpr std::size_t ContainerBytes = ImageBytes * 4;                // 524,320
// Where the release is stored among the program's resources.
inline constexpr const char* ResourceType = "JPG";
inline constexpr std::int16_t ReleaseResourceId = 100;
// The running key starts here in both directions; every container in the
// field was packed with it, so it never changes.
inline constexpr std::uint8_t StartingKey = 0xA5;

// A major and a minor number, 0..15 each; packed as high and low nibble.
struct VersionPair {
    std::uint8_t Major = 0;
    std::uint8_t Minor = 0;
    bool operator==(const VersionPair&) const = default;
};

}  // namespace image
