// SPDX-License-Identifier: MIT
// The container built into the program unpacks to the image the build was given.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "FirmwareStore.h"
#include "QtResources.h"

TEST(EmbeddedRelease, UnpacksToTheBuildsImage) {
    std::ifstream in(UPDATER_RELEASE_IMAGE, std::ios::binary);
    ASSERT_TRUE(in) << UPDATER_RELEASE_IMAGE;
    const std::vector<std::uint8_t> expected((std::istreambuf_iterator<char>(in)),
                                             std::istreambuf_iterator<char>());
    app::QtResources resources;
    const auto container = resources.Load(image::ResourceType, image::ReleaseResourceId);
    ASSERT_TRUE(container.has_value());
    EXPECT_EQ(container->size(), image::ContainerBytes);

    std::int16_t flag = 0;
    image::FirmwareStore store(resources, flag);
    store.FirmwareResourceId = image::ReleaseResourceId;
    store.LoadFirmwareImage();
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(store.FirmwareImage, expected);
}

TEST(EmbeddedRelease, OtherIdentifiersAreMissing) {
    app::QtResources resources;
    EXPECT_FALSE(resources.Load(image::ResourceType, 101).has_value());
    EXPECT_FALSE(resources.Load("BIN", 100).has_value());
}
