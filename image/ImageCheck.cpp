// SPDX-License-Identifier: MIT
#include "ImageCheck.h"

namespace image {

std::optional<std::string> ImageRefusal(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != ImageBytes)
        return "image is " + std::to_string(bytes.size()) + " bytes, not " +
               std::to_string(ImageBytes);
    if (bytes[0] != 'F' || bytes[1] != 'W') return "image does not start with \"FW\"";
    if (bytes[4] != 0) return "image byte 4 is " + std::to_string(bytes[4]) + ", not 0";
    return std::nullopt;
}

std::uint32_t ImageLengthField(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < HeaderBytes) return 0;
    return static_cast<std::uint32_t>(bytes[5]) << 16 | static_cast<std::uint32_t>(bytes[6]) << 8 |
           bytes[7];
}

}  // namespace image
