// SPDX-License-Identifier: MIT
#include "DemoRelease.h"

#include "FirmwareStore.h"
#include "ImageFormat.h"

namespace image {

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

const std::vector<std::uint8_t>& DemoContainer() {
    static const std::vector<std::uint8_t> container = [] {
        std::int16_t flag = 0;
        MemoryResources none;
        FirmwareStore store(none, flag);
        store.FirmwareImage = DemoImage();
        store.NextUniform = SeededUniform(7);
        store.ScrambleImage();
        return store.ImageContainer;
    }();
    return container;
}

}  // namespace image
