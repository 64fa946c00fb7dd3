// SPDX-License-Identifier: MIT
// UpdaterPack: makes the scrambled release container from a firmware image,
// and unpacks a container to show what it holds.
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "DemoRelease.h"
#include "FileIo.h"
#include "FirmwareStore.h"
#include "ImageCheck.h"

namespace {

constexpr const char* Usage =
    "Usage: UpdaterPack [--seed N] IMAGE CONTAINER\n"
    "       UpdaterPack --unpack CONTAINER [IMAGE]\n"
    "       UpdaterPack --demo-image IMAGE\n"
    "\n"
    "Packs a firmware image (131,080 bytes: \"FW\", byte 3 the version, byte 4\n"
    "zero, the length in bytes 5-7, then 131,072 bytes of flash content) into\n"
    "the scrambled 524,320-byte container that Updater carries. The fillers are\n"
    "random, seeded from the clock, or from N for a reproducible build.\n"
    "\n"
    "--unpack checks a container as Updater does, prints the version it holds\n"
    "and, given IMAGE, writes the unpacked image there.\n"
    "--demo-image writes the demo release (version 1.6) for the simulated board.\n"
    "\n"
    "Outputs are written to a temporary file and renamed, so a failure never\n"
    "leaves a partial file. Exit status 0 on success, 1 on refusal, 2 on misuse.\n";

int Fail(const std::string& reason, int status = 1) {
    std::cerr << "UpdaterPack: " << reason << "\n";
    return status;
}

int Pack(const std::string& imagePath, const std::string& containerPath,
         const std::string& seedText) {
    std::optional<std::uint32_t> seed;
    if (!seedText.empty()) {
        try {
            std::size_t used = 0;
            seed = static_cast<std::uint32_t>(std::stoul(seedText, &used, 0));
            if (used != seedText.size()) throw std::invalid_argument(seedText);
        } catch (const std::exception&) {
            return Fail("bad seed '" + seedText + "'", 2);
        }
    }
    auto bytes = tools::ReadFileBytes(imagePath);
    if (!bytes) return Fail("cannot read " + imagePath);
    if (auto refusal = image::ImageRefusal(*bytes)) return Fail(*refusal);

    std::int16_t flag = 0;
    image::MemoryResources none;
    image::FirmwareStore store(none, flag);
    store.FirmwareImage = std::move(*bytes);
    if (seed) store.NextUniform = image::SeededUniform(*seed);
    store.ScrambleImage();
    if (auto error = tools::WriteFileAtomically(containerPath, store.ImageContainer); !error.empty())
        return Fail(error);
    return 0;
}

int Unpack(const std::string& containerPath, const std::string& imagePath) {
    auto bytes = tools::ReadFileBytes(containerPath);
    if (!bytes) return Fail("cannot read " + containerPath);
    const std::size_t length = bytes->size();
    image::MemoryResources resources;
    resources.Put(image::ResourceType, image::ReleaseResourceId, std::move(*bytes));
    std::int16_t flag = 0;
    image::FirmwareStore store(resources, flag);
    store.FirmwareResourceId = image::ReleaseResourceId;
    store.LoadFirmwareImage();
    if (length < image::ContainerBytes)
        return Fail("container is " + std::to_string(length) + " bytes, shorter than " +
                    std::to_string(image::ContainerBytes));
    const auto refusal = image::ImageRefusal(store.FirmwareImage);
    std::cout << "container: " << length << " bytes\n"
              << "version: " << int(store.ImageVersion.Major) << "." << int(store.ImageVersion.Minor)
              << "\nlength field: " << image::ImageLengthField(store.FirmwareImage) << "\n"
              << "verdict: " << (flag == 0 ? "usable" : "refused (" + refusal.value_or("?") + ")")
              << "\n";
    if (!imagePath.empty()) {
        if (auto error = tools::WriteFileAtomically(imagePath, store.FirmwareImage); !error.empty())
            return Fail(error);
    }
    return flag == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Fail(std::string("missing arguments\n") + Usage, 2);
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << Usage;
        return 0;
    }
    if (args[0] == "--unpack") {
        if (args.size() < 2 || args.size() > 3) return Fail("--unpack takes CONTAINER [IMAGE]", 2);
        return Unpack(args[1], args.size() == 3 ? args[2] : std::string());
    }
    if (args[0] == "--demo-image") {
        if (args.size() != 2) return Fail("--demo-image takes IMAGE", 2);
        if (auto error = tools::WriteFileAtomically(args[1], image::DemoImage()); !error.empty())
            return Fail(error);
        return 0;
    }
    std::string seed;
    if (args[0] == "--seed") {
        if (args.size() < 2) return Fail("--seed takes a number", 2);
        seed = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() != 2) return Fail(std::string("expected IMAGE CONTAINER\n") + Usage, 2);
    return Pack(args[0], args[1], seed);
}
