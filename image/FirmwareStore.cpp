// SPDX-License-Identifier: MIT
#include "FirmwareStore.h"

#include <chrono>
#include <random>
#include <stdexcept>

namespace image {

FirmwareStore::FirmwareStore(ResourceStore& resources, std::int16_t& unsupportedFlag)
    : resources_(resources), unsupportedFlag_(unsupportedFlag) {}

void FirmwareStore::LoadFirmwareImage() {
    unsupportedFlag_ = -1;
    // Any failure from here on ends the load silently with the flag at -1.
    try {
        auto bytes = resources_.Load(ResourceType, FirmwareResourceId);
        if (!bytes) return;
        ImageContainer = std::move(*bytes);
        UnscrambleImage();
        if (FirmwareImage.at(0) != 'F' || FirmwareImage.at(1) != 'W') return;
        const std::uint8_t version = FirmwareImage.at(3);
        ImageVersion.Major = version / 16;
        ImageVersion.Minor = version % 16;
        if (FirmwareImage.at(4) != 0) return;
        unsupportedFlag_ = 0;  // the length in bytes 5..7 takes no part
    } catch (const std::exception&) {
        // a short container, or memory exhausted: the image is not usable
    }
}

void FirmwareStore::UnscrambleImage() {
    FirmwareImage.assign(ImageBytes, 0);
    std::size_t n = 0;
    std::uint8_t key = StartingKey;  // only the running key's low 8 bits matter
    for (std::size_t i = 0; i < ImageBytes; ++i, n += 4) {
        const auto sum = static_cast<std::uint8_t>(ImageContainer.at(n + 1) +
                                                   ImageContainer.at(n + 2) +
                                                   ImageContainer.at(n + 3));
        FirmwareImage[i] = ImageContainer.at(n) ^ key ^ sum;
        key = static_cast<std::uint8_t>(key + sum);
    }
}

void FirmwareStore::ScrambleImage() {
    if (FirmwareImage.size() < ImageBytes) throw std::length_error("firmware image too short");
    ImageContainer.assign(ContainerBytes, 0);
    std::function<float()> uniform = NextUniform;
    if (!uniform) {
        const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
        uniform = SeededUniform(static_cast<std::uint32_t>(ticks ^ (ticks >> 32)));
    }
    std::size_t n = 0;
    std::uint8_t key = StartingKey;
    for (std::size_t i = 0; i < ImageBytes; ++i, n += 4) {
        const std::uint8_t f1 = FillerFromUniform(uniform());
        const std::uint8_t f2 = FillerFromUniform(uniform());
        const std::uint8_t f3 = FillerFromUniform(uniform());
        ImageContainer[n + 1] = f1;
        ImageContainer[n + 2] = f2;
        ImageContainer[n + 3] = f3;
        const auto sum = static_cast<std::uint8_t>(f1 + f2 + f3);
        ImageContainer[n] = FirmwareImage[i] ^ key ^ sum;
        key = static_cast<std::uint8_t>(key + sum);
    }
}

std::function<float()> SeededUniform(std::uint32_t seed) {
    return [engine = std::mt19937(seed)]() mutable {
        // 24 random bits fill a float's mantissa exactly: never rounds up to 1.
        return static_cast<float>(engine() >> 8) * (1.0f / 16777216.0f);
    };
}

std::uint8_t FillerFromUniform(float r) {
    // Computed in double: in single precision the largest r below 1 times 255
    // rounds to 255.0, which would give a filler of 256, stored as 0.
    const double value = static_cast<double>(r) * 255.0 + 1.0;
    if (!(value >= 1.0)) return 1;  // also a NaN from a broken source
    if (value >= 255.0) return 255;
    return static_cast<std::uint8_t>(value);
}

}  // namespace image
