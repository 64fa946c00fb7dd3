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

std::vector<std::uint8_t> DemoImage(std::uint8_t versionByte) {
    std::vector<std::uint8_t> bytes(ImageBytes, 0);
    bytes[0] = 'F';
    bytes[1] = 'W';
    bytes[3] = versionByte;
    bytes[5] = static_cast<std::uint8_t>(FlashContentBytes >> 16);
    bytes[6] = static_cast<std::uint8_t>(FlashContentBytes >> 8);
    bytes[7] = static_cast<std::uint8_t>(FlashContentBytes);
    for (std::size_t i = 0; i < FlashContentBytes; ++i) {
        const std::size_t block = i / 2048;
        bytes[HeaderBytes + i] =
            static_cast<std::uint8_t>(i * 7 + block * 13 + (i >> 8) + std::size_t{versionByte} * 31);
    }
    return bytes;
}

}  // namespace image
