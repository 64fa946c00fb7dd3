// SPDX-License-Identifier: MIT
// LoadFirmwareImage over arbitrary containers: raw bytes of any length, or a
// valid container of about the right length with bytes flipped.
#include <vector>

#include "DemoRelease.h"
#include "FirmwareStore.h"
#include "FuzzInput.h"


extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    std::vector<std::uint8_t> container;
    if ((in.Byte() & 1) == 0) {
        container.assign(in.Here(), in.Here() + in.Remaining());
    } else {
        // Around the exact length: a few bytes short to a few bytes over.
        const std::size_t length = image::ContainerBytes - 64 + in.Byte() % 128;
        container = image::DemoContainer();
        container.resize(length, in.Byte());
        while (!in.Empty()) {
            const std::uint32_t where = in.Number(3);
            // Half the flips land in the groups that carry the header.
            const std::size_t at = (where & 0x800000) ? (where % 64) : (where % length);
            container[at] ^= static_cast<std::uint8_t>(in.Byte() | 1);
        }
    }
    const std::size_t length = container.size();

    image::MemoryResources resources;
    resources.Put(image::ResourceType, image::ReleaseResourceId, std::move(container));
    std::int16_t flag = 7;
    image::FirmwareStore store(resources, flag);
    store.FirmwareResourceId = image::ReleaseResourceId;
    store.LoadFirmwareImage();

    FUZZ_CHECK(flag == 0 || flag == -1);
    if (length < image::ContainerBytes) FUZZ_CHECK(flag == -1);
    if (flag == 0) {
        const auto& img = store.FirmwareImage;
        FUZZ_CHECK(img.size() == image::ImageBytes);
        FUZZ_CHECK(img[0] == 'F' && img[1] == 'W' && img[4] == 0);
        FUZZ_CHECK(store.ImageVersion.Major == img[3] / 16 && store.ImageVersion.Minor == img[3] % 16);
    }
    return 0;
}
