// SPDX-License-Identifier: MIT
#include "DemoRelease.h"

#include "FirmwareStore.h"
#include "ImageCheck.h"

namespace sim {

const std::vector<std::uint8_t>& DemoContainer() {
    static const std::vector<std::uint8_t> container = [] {
        std::int16_t flag = 0;
        image::MemoryResources none;
        image::FirmwareStore store(none, flag);
        store.FirmwareImage = image::DemoImage();
        store.NextUniform = image::SeededUniform(7);
        store.ScrambleImage();
        return store.ImageContainer;
    }();
    return container;
}

}  // namespace sim
