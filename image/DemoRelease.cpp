// SPDX-License-Identifier: MIT
#include "DemoRelease.h"

#include "FirmwareStore.h"
#include "ImageCheck.h"

namespace image {

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
