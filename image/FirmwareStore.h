// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ImageFormat.h"
#include "ResourceStore.h"

namespace image {

/*
 * The embedded firmware release: the scrambled container, the image unpacked
 * from it and the image's version.
 *
 * Each group of four container bytes carries one image byte XORed with the
 * low byte of a running key and with the sum of the group's three filler
 * bytes; the key grows by each group's filler sum. Packing draws the fillers
 * at random, so every packing of one image differs and all unpack alike.
 */
class FirmwareStore {
public:
    // `unsupportedFlag` is the program's shared flag: -1 while no usable image is loaded.
    FirmwareStore(ResourceStore& resources, std::int16_t& unsupportedFlag);

    std::int16_t FirmwareResourceId = 0;
    std::vector<std::uint8_t> ImageContainer;
    std::vector<std::uint8_t> FirmwareImage;
    VersionPair ImageVersion;

    // Loads the container from the resources, unpacks it and checks the header.
    // Never reports anything but the flag: 0 usable, -1 not.
    void LoadFirmwareImage();
    // ImageContainer -> FirmwareImage. Throws std::out_of_range on a short container.
    void UnscrambleImage();
    // FirmwareImage (131,080 bytes) -> a new ImageContainer with fresh fillers.
    void ScrambleImage();

    // Uniform values in [0, 1) for the fillers; when empty, ScrambleImage
    // seeds a generator from the clock.
    std::function<float()> NextUniform;

private:
    ResourceStore& resources_;
    std::int16_t& unsupportedFlag_;
};

// A generator of single-precision uniform values in [0, 1), exactly below 1.
std::function<float()> SeededUniform(std::uint32_t seed);
// The filler a uniform value gives: 1..255, never 0.
std::uint8_t FillerFromUniform(float r);

}  // namespace image
